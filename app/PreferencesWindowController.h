// The preferences window: the folders excluded from every search (each with
// its check box, added by a folder panel or a drop, revealed by a double
// click), the global shortcut (its switch and recording field), starting at
// login, and the check-for-update button. The scope manager keeps the
// excluded folders, the settings the shortcut, the autostart folder the login
// item: this window only shows and edits them, and reads them again after
// every change. Created once and kept. GUI thread.
#pragma once

#include <QFileDialog>
#include <QPointer>
#include <QVariantList>
#include <QWidget>
#include <functional>

#include "app/KZHotKeyFieldView.h"

class QCheckBox;
class QLabel;
class QMimeData;
class QModelIndex;
class QPushButton;
class QTableView;
class QToolButton;
class QVBoxLayout;
class KZHotKeyCenter;
class ExcludedDirsModel;

class PreferencesWindowController : public QWidget, public KZHotKeyFieldViewObserver
{
    Q_OBJECT
public:
    // center: the default center when null.
    explicit PreferencesWindowController(KZHotKeyCenter *center = nullptr, QWidget *parent = nullptr);
    ~PreferencesWindowController() override;

    // Told after every registration or unregistration of the shortcut whether
    // tag 1 is held now.
    void setHotKeyRegisteredHandler(std::function<void(bool)> handler) { m_hotKeyRegistered = std::move(handler); }
    // The button stays hidden until something can check for updates.
    void setCheckForUpdateAvailable(bool available);

    // Where the list of skipped folder names goes, below the excluded folders.
    QVBoxLayout *skipNamesContainer() const { return m_skipNamesContainer; }

    // The row title of an excluded folder: "~/..." inside the home folder,
    // the full path for the home folder itself and anything outside it.
    static QString titleOfExcludedPath(const QString &path);

    // updateUIExcludedDirs: the rows again from the scope manager.
    void updateUIExcludedDirs();
    // tableView:validateDrop: / acceptDrop: — above row (or at the end with
    // -1); only existing folders of the drop are added, in its order. The
    // drop fails when none was.
    bool validateDrop(const QMimeData *data, int row) const;
    bool acceptDrop(const QMimeData *data, int row);
    // The check box of a row: excludes (true) or includes the folder at once.
    void setExcludedState(int row, bool state);
    // tableViewDoubleAction: — the name column reveals the folder.
    void tableViewDoubleAction(const QModelIndex &index);
    // The login item's state shown again (1 on, -1 mixed, 0 off).
    void showLoginItemStatus();

    bool hotKeyFieldViewDidChangeWithKeyCode(KZHotKeyFieldView *view, quint64 keyCode, quint64 modifierFlags,
                                             bool isEnabled) override;

    QTableView *excludedTableView() const { return excludedTbV; }
    QCheckBox *hotKeyButton() const { return m_hotKeyButton; }
    KZHotKeyFieldView *hotKeyField() const { return m_hotKeyField; }
    QCheckBox *relaunchOnLoginButton() const { return m_relaunchOnLoginButton; }
    QCheckBox *usageReportButton() const { return m_usageReportButton; }
    QToolButton *excludedAddButton() const { return m_excludedAddButton; }
    QToolButton *excludedRemoveButton() const { return m_excludedRemoveButton; }
    QPushButton *checkForUpdateButton() const { return m_checkForUpdateButton; }
    QFileDialog *addPanel() const { return m_addPanel; }

signals:
    void checkForUpdateRequested();

protected:
    bool event(QEvent *e) override;

private:
    void windowDidLoad();
    void presentAddPanel();
    void removeSelected();
    void relaunchOnLoginClicked();
    void updateRemoveButton();

    KZHotKeyCenter *m_center;
    std::function<void(bool)> m_hotKeyRegistered;
    ExcludedDirsModel *m_model = nullptr;
    QTableView *excludedTbV = nullptr;
    QToolButton *m_excludedAddButton = nullptr;
    QToolButton *m_excludedRemoveButton = nullptr;
    QVBoxLayout *m_skipNamesContainer = nullptr;
    QCheckBox *m_hotKeyButton = nullptr;
    KZHotKeyFieldView *m_hotKeyField = nullptr;
    QLabel *m_hotKeyMessage = nullptr;
    QCheckBox *m_relaunchOnLoginButton = nullptr;
    QCheckBox *m_usageReportButton = nullptr;
    QPushButton *m_checkForUpdateButton = nullptr;
    QPointer<QFileDialog> m_addPanel;
    int m_loginStatus = 0;
};
