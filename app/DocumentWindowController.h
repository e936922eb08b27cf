// The search window's controller: the search bar (scope, field, count label,
// spinner, saved-searches button), the rules editor area and the content area
// (results, drag-and-drop assistant or no-access view). It turns typing into
// canonical criteria, starts and stops search sessions, follows their
// notification and collapses the window to its bar while nothing is found.
// GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>
#include <functional>

#include "results/ResultsViewController.h"
#include "rules/RulesEditorViewController.h"
#include "rules/SavedSearches.h"
#include "rules/widgets/KZRulesEditorView.h"
#include "scope/ScopeDirManager.h"
#include "toolkit/KZOverView.h"

class AssistantDaDView;
class DocumentWindow;
class DocumentWindowController;
class KZFileSearchObject;
class KZSpinnerView;
class QAbstractButton;
class QAction;
class QDialog;
class QLineEdit;
class QLabel;
class QMenu;
class QPropertyAnimation;
class QPushButton;
class QThreadPool;
class SearchBarBgView;
class SearchTextField;

// The application side of a search window.
class DocumentWindowControllerOwner
{
public:
    virtual ~DocumentWindowControllerOwner() = default;
    virtual void documentWindowControllerDidEnd(DocumentWindowController *controller) = 0;
};

// What the window asks of the scope chooser that sits at the left of its bar.
class DocumentWindowScopeChooser
{
public:
    virtual ~DocumentWindowScopeChooser() = default;
    virtual QWidget *view() = 0;
    virtual void updateUIWithScopeKind(qint64 kind, const ScopeDirManager::SelectionObject &scopeObject) = 0;
    virtual void presentOpenPanel() = 0;
};

class DocumentWindowController : public QObject,
                                 public KZOverViewDelegateProtocol,
                                 public ResultsViewControllerDelegate,
                                 public RulesEditorViewControllerDelegate
{
    Q_OBJECT
public:
    // windowSetup runs on the new window before it first collapses (the
    // application installs its menu bar there, which the bar's height counts).
    explicit DocumentWindowController(const std::function<void(DocumentWindow *)> &windowSetup = {},
                                      QObject *parent = nullptr);
    ~DocumentWindowController() override;

    DocumentWindow *window() const { return m_window; }
    DocumentWindowControllerOwner *delegateController() const { return m_delegateController; }
    void setDelegateController(DocumentWindowControllerOwner *owner) { m_delegateController = owner; }
    // Not owned; its view takes the scope area of the bar.
    void setScopeDirChooser(DocumentWindowScopeChooser *chooser);

    void showWindowAnimated();
    void hideWindowAnimated();
    bool documentWindowValidateMenuItem(QAction *item);
    void documentWindowPerformMenuItem(QAction *item);

    // Search field.
    void controlTextDidChange();
    // Return: searches at once; always handled.
    bool insertNewline();
    void searchTextFieldCancelOperation();
    // Down in the field: the keyboard moves into the shown results.
    void searchTextFieldMoveDown();
    void tryStartSearching();
    // -1 no usable scope, 0 nothing to search for, 1 go (scope and criteria set).
    int evaluateStartableSearch(QString *scopeDir, QVariantList *criteria);
    void startSearch(const QString &scopeDir, const QVariantList &criteria);
    void stopSearch();
    // Also cancels a pending start and stops the spinner.
    void stopSearchAndSpinner();

    // Scope check and reset of the window.
    void updateUI();
    void updateUISearchField();
    void updateUISearchLabelInfo(const QString &text);

    void setIsWindowToggled(bool toggled, bool animated = false);
    bool isWindowToggled() const;
    // The content area: the view shown, or none.
    void showContentView(QWidget *view);
    QWidget *contentView() const { return _cContentView; }
    void updateFrameOfContentView();
    void setShowResults(bool show);
    // The drag-and-drop assistant in the content area (shown by updateUI when
    // there is no scope folder).
    void showAssistant();

    // The scope chooser changed the scope ({"kind": 1}).
    void scopeDirChooserAction(const QVariantMap &info);
    bool assistantDnDViewProposeURL(const QUrl &url);
    void noAccessChangeAction();
    void assistantChangeAction();

    // Window delegate.
    bool windowShouldClose() { return true; }
    void windowWillClose();
    void windowDidResize();
    void windowDidBecomeMain();

    // The saved-searches button.
    void overViewDrawRect(KZOverView *view, QPainter *painter, const QRect &rect, int state) override;
    void overViewDidPressed(KZOverView *view, const QVariantMap &info) override;

    void resultsViewControllerDidChange(ResultsViewController *, const QVariantMap &) override { }
    // {"kind": "criteriaChanged"} searches again at once; {"kind": "rowsChanged",
    // "rowOffset"} grows or shrinks the window by the rows' height, top edge fixed.
    void rulesEditorViewControllerDidChange(RulesEditorViewController *controller, const QVariantMap &change) override;

    // Saved searches: the button's menu, its commands (tag 1 "Save", tag 2
    // "Save As…", tag 3 a saved search) and the save sheet's buttons.
    QMenu *savedSearchesMenu();
    void mi_savedSearches(QAction *item);
    // Reloads the editor with the record's rows, selects the record (so that
    // "Save" updates it) and searches again.
    void loadSavedSearch(const SavedSearchRef &record);
    // "Save" with no rule row left removes the saved search, once the user
    // answers "Remove" to the window-modal question "removeSavedSearchAlert".
    void confirmRemovingSavedSearch(const SavedSearchRef &record);
    void saveSearchAction(QAbstractButton *sender);
    QDialog *saveSearchSheet() const { return m_ssSheet; }
    QLineEdit *mSsField() const { return m_ssField; }
    QPushButton *mSsOkButton() const { return m_ssOkButton; }
    RulesEditorViewController *rulesEditorViewController() { return &_rulesEditorViewController; }

    // State, for the application and tests.
    KZFileSearchObject *searchObject() const { return _searchObject; }
    QString scopeDir() const { return _scopeDir; }
    bool isValid() const { return _isValid; }
    ResultsViewController *resultsViewController() const { return _resultsViewController; }
    SearchTextField *mSearchField() const { return m_searchField; }
    QLabel *mSearchLabel() const { return m_searchLabel; }
    QLabel *mSearchPlaceHolder() const { return m_searchPlaceHolder; }
    KZSpinnerView *mSearchingIndicator() const { return m_searchingIndicator; }
    KZOverView *mSearchesOverView() const { return m_searchesOverView; }
    KZRulesEditorView *rulesEditorView() const { return m_rulesEditorView; }
    QWidget *assistantView() const { return m_assistantView; }
    QWidget *noAccessView() const { return m_noAccessView; }
    QLabel *noAccessMesg() const { return m_noAccessMesg; }
    QLabel *noAccessImageView() const { return m_noAccessImageView; }
    QSize prevWinSize() const { return _prevWinSize; }
    bool isSearchPending() const { return m_startTimer.isActive(); }
    // How many sessions this window has started.
    int searchCount() const { return m_searchCount; }
    bool isWinShowing() const { return _isWinShowing; }

    // The process-wide queue of the search sessions: two walks at once.
    static QThreadPool *searchQueue();
    // The settings key of the last closed window's position ("x,y").
    static QString frameOriginKey();
    // The wait between the last keystroke and the search.
    static constexpr int kSearchDelay = 250;
    static constexpr int kMinExpandedWidth = 600;
    static constexpr int kMinExpandedHeight = 350;
    static constexpr int kFadeDuration = 250;

private:
    void loadWindow(const std::function<void(DocumentWindow *)> &windowSetup);
    void applyCollapsedSize();
    void n_fileSearchObjectUpdated(QObject *object, const QVariantMap &userInfo);
    void setCanSearch(bool canSearch);
    void updateResults(const QString &scopeDir, KZFileSearchObject *searchObject);
    void showNoAccess(const QString &message, const QString &iconPath);
    void layoutSearchBar();
    int collapsedHeight() const;
    QVariantList rulesCanonizedCriteria() const;
    KZRuleRows rulesEditorViewCriteria() const;
    void openSaveSearchSheet();
    QSize screenSize() const;

    DocumentWindow *m_window = nullptr;
    DocumentWindowControllerOwner *m_delegateController = nullptr;
    DocumentWindowScopeChooser *m_scopeChooser = nullptr;

    // Qt sizes a window without the window manager's title bar, so no
    // allowance for it is added to the bar's height.
    double _wTitleSz = 0.0;
    QString _scopeDir;
    bool _isValid = false;
    KZFileSearchObject *_searchObject = nullptr;
    ResultsViewController *_resultsViewController = nullptr;
    QWidget *_cContentView = nullptr;
    QSize _prevWinSize;
    double _searchPlaceHolderSz = 0.0;
    bool _isWinShowing = false;

    SearchBarBgView *m_searchBar = nullptr;
    QWidget *m_scopeArea = nullptr;
    SearchTextField *m_searchField = nullptr;
    QLabel *m_searchPlaceHolder = nullptr;
    QLabel *m_searchLabel = nullptr;
    KZSpinnerView *m_searchingIndicator = nullptr;
    KZOverView *m_searchesOverView = nullptr;
    KZRulesEditorView *m_rulesEditorView = nullptr;
    QWidget *m_contentArea = nullptr;
    QWidget *m_assistantView = nullptr;
    AssistantDaDView *m_assistantDnDView = nullptr;
    QLabel *m_accessMsgLabel = nullptr;
    QPushButton *m_assistantButton = nullptr;
    QWidget *m_noAccessView = nullptr;
    QLabel *m_noAccessImageView = nullptr;
    QLabel *m_noAccessMesg = nullptr;
    QPushButton *m_noAccessButton = nullptr;
    QPointer<QPropertyAnimation> m_fade;
    RulesEditorViewController _rulesEditorViewController;
    QDialog *m_ssSheet = nullptr;
    QLineEdit *m_ssField = nullptr;
    QPushButton *m_ssOkButton = nullptr;
    QPushButton *m_ssCancelButton = nullptr;
    QTimer m_startTimer;
    int m_searchCount = 0;
    // The editor shows the rows of the selected saved search.
    bool m_loadedSavedSearch = false;
};
