// The content of the search window while it shows results: the results list
// alone, or the list beside the details pane in a split view (mode 1 the
// file's preview and facts, mode 2 its metadata table; mode 0 no pane). It
// hands the scope and the session to the list, passes the session's
// notifications on and points the pane at the list's single selection.
// GUI thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QSplitter>
#include <QVariantMap>

#include "results/ResultsListViewController.h"

class FileMdItemViewController;
class FilePreviewView;
class KZFileSearchObject;
class QWidget;
class ResultsViewController;

// The two-pane split view; its divider is drawn in the separator colour. A
// dragged divider stops where the list would be narrower than 340 or the pane
// narrower than 240; on resizing, the pane keeps its width. Saves no layout.
class ContentMainSplitView : public QSplitter
{
    Q_OBJECT
public:
    static constexpr int kMinListWidth = 340;
    static constexpr int kMinDetailsWidth = 240;

    explicit ContentMainSplitView(QWidget *parent = nullptr);
    // A proposed divider position (left edge of the divider) made legal.
    int constrainSplitPosition(int proposed) const;
    // Widens a pane below its minimum, taking the width from the other one.
    void enforceMinimumPaneWidths();

protected:
    QSplitterHandle *createHandle() override;
    void resizeEvent(QResizeEvent *event) override;
};

// Fills its bounds with the views' background colour: pane 1 of the split view.
class SplitDetailsBgView : public QWidget
{
    Q_OBJECT
public:
    explicit SplitDetailsBgView(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
};

// The owner (the search window).
class ResultsViewControllerDelegate
{
public:
    virtual ~ResultsViewControllerDelegate() = default;
    virtual void resultsViewControllerDidChange(ResultsViewController *controller, const QVariantMap &change) = 0;
};

class ResultsViewController : public QObject, public ResultsListViewControllerDelegate
{
    Q_OBJECT
public:
    explicit ResultsViewController(QObject *parent = nullptr);
    ~ResultsViewController() override;

    // The view that the window puts in its content area.
    QWidget *view();
    void setDelegateController(ResultsViewControllerDelegate *delegate) { m_delegateController = delegate; }

    // Stores both; makes the list on the first call with a scope folder and
    // hands it the scope and the session.
    void updateUI(const QString &scopeDir, KZFileSearchObject *searchObject);
    // No: the list leaves the view. Yes: the list is shown in it.
    void setHasResults(bool hasResults);
    bool hasResults() const { return m_hasResults; }

    // Passed to the list while a scope and a session are set and the list is shown.
    void not_fileSearchObjectDidUpdated(QObject *object, const QVariantMap &userInfo);
    void not_windowDidBecomeMain();
    void not_windowDidResize();

    ResultsListViewController *resultsListViewController() const { return m_listController; }
    // The details selection last reported by the list: {"path", "isRegular"}.
    QVariantMap detailsSelection() const { return m_detailsSelection; }

    void resultsListViewControllerChanged(ResultsListViewController *controller, const QVariantMap &change) override;

    // 0 no pane, 1 details, 2 metadata.
    int detailsViewMode() const { return m_detailsViewMode; }
    // Shows the pane of the current mode for the current selection.
    void updateUIDetails();
    // Made on first use; null before.
    ContentMainSplitView *mSplitView() const { return m_splitView; }
    FilePreviewView *fileTreePreviewView() const { return m_fileTreePreviewView; }
    FileMdItemViewController *fileMdItemViewController() const { return m_fileMdItemViewController; }

private:
    bool isListShown() const;
    bool isSplitViewShown() const;
    QWidget *detailsViewForMode(int mode);
    void placeDetailsView(QWidget *detailsView);

    QWidget *m_view = nullptr;
    ResultsListViewController *m_listController = nullptr;
    ResultsViewControllerDelegate *m_delegateController = nullptr;
    QString m_scopeDir;
    QPointer<KZFileSearchObject> m_searchObject;
    bool m_hasResults = false;
    QVariantMap m_detailsSelection;
    int m_detailsViewMode = 0;
    ContentMainSplitView *m_splitView = nullptr;
    SplitDetailsBgView *m_detailsPane = nullptr;
    FilePreviewView *m_fileTreePreviewView = nullptr;
    FileMdItemViewController *m_fileMdItemViewController = nullptr;
};
