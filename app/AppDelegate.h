// The application's delegate: owns the search windows, opens the first one at
// launch, opens more with File > New Window (at most five), shows them all
// when the application becomes active again, builds each window's menus
// (File, Edit, View, Help) and routes their result commands to the key search
// window. GUI thread.
#pragma once

#include <QList>
#include <QObject>
#include <functional>

#include "app/DocumentWindowController.h"

class QAction;
class KZHotKey;
class QMenuBar;
class ResultsListViewController;
class PreferencesWindowController;

class AppDelegate : public QObject, public DocumentWindowControllerOwner
{
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    static constexpr int kMaxDocumentWindows = 5;

    // The delegate's part of the launch: the saved shortcut under tag 1, then
    // the first search window (none for a background start).
    void applicationDidFinishLaunching();
    void registerSavedHotKey();
    void openFirstWindow();
    void applicationDidBecomeActive();
    void applicationDidResignActive();
    void applicationWillTerminate();

    // File menu actions (their objectName is the action's name).
    void mi_file_newWindow();
    void mi_file_open() { routeFileMenu(m_openAction); }
    void mi_file_showInFinder() { routeFileMenu(m_showInFinderAction); }
    void mi_file_displayFinderInfo() { routeFileMenu(m_displayInfoAction); }
    // Every result of the key window's search, to a file the user names.
    void mi_file_exportResults();
    // Edit menu: Copy Path goes to the key window's results like the File
    // commands; Select All to its focused field or list; Find to its search field.
    void mi_edit_copyPath() { routeFileMenu(m_copyPathAction); }
    void mi_edit_selectAll();
    void mi_edit_find();
    // Preferences…: calls the opener; the item stays disabled (with a tool
    // tip) while no opener is set.
    void mi_app_preferences();
    void setPreferencesOpener(const std::function<void()> &opener);
    // View menu: the details pane modes and the optional columns of the key
    // window's results list; the check marks are read when the menu opens.
    void mi_view(QAction *item);
    // Help menu, by tag: 1 web site, 2 support page, 3 support e-mail,
    // 5 problem report, 6 changelog; any other tag does nothing.
    void mi_help(QAction *item);
    // Tag 5 asks the problem reporter to offer sending a report (mode 1);
    // without one the item is disabled with a tool tip.
    void setProblemReportPresenter(const std::function<void(int mode)> &presenter);
    // Check For Update…: a check on the user's behalf; disabled with a tool
    // tip while no update checker is set.
    void checkForUpdateFromMenuItem();
    void setUpdateCheckerByUser(const std::function<void()> &check);
    // Uninstall Trovix…: shown only once an uninstaller is set (a per-user
    // install; the package manager removes what it installed).
    void mi_appUninstallAction();
    void setUninstaller(const std::function<void()> &uninstall);
    QAction *uninstallAction() const { return m_uninstallAction; }
    void mi_help_about();

    // The build stored by a newer Trovix ("KZCheckForUpdates-cBuild") is
    // greater than this one's: this older copy must not run.
    static bool storedBuildIsNewer();

    // Enables every action by the menu rules.
    void validateMenuItems();
    bool validateMenuItem(QAction *item);

    void documentWindowControllerDidEnd(DocumentWindowController *controller) override;
    // hotKeyCenter:pressedHotKey: — a registered global shortcut was pressed.
    void hotKeyCenterPressedHotKey(KZHotKey *hotKey);

    // The global hot key's press (and `trovix --toggle`): an inactive
    // application shows every search window and takes the focus; an active
    // one hides them (each window decides whether it may).
    void toggleWindowsFromHotKey();
    // Presses are ignored while this answers true (the preferences window is
    // key: the user is recording a shortcut there).
    void setHotKeyPressIgnored(const std::function<bool()> &predicate) { m_hotKeyPressIgnored = predicate; }
    // A second `trovix`: every search window comes forward, the first one
    // opens when there is none.
    void showWindowsFromRequest();
    // `trovix PATH`: the folder is proposed as the scope; once accepted, a
    // hidden window, else a new one, else the key window searches there.
    void openSearchWindowAtPath(const QString &path);
    // The scope manager decides; a refusal is logged.
    static bool proposeScopePath(const QString &path);
    // Started with --background (no first window), or with a registered hot
    // key: closing the last window then keeps Trovix running.
    void setLaunchesInBackground(bool background);
    void setHotKeyRegistered(bool registered);
    // Edit > Preferences…: the preferences window, made on first use and kept;
    // the global hot key does nothing while it is the key window.
    void showPreferences();
    PreferencesWindowController *preferencesWindowController() const { return m_preferencesWindowController; }

    QList<DocumentWindowController *> documentWindowControllers() const { return _documentWindowControllers; }
    QAction *newWindowAction() const { return m_newWindowAction; }
    QAction *openAction() const { return m_openAction; }
    QAction *showInFinderAction() const { return m_showInFinderAction; }
    QAction *displayInfoAction() const { return m_displayInfoAction; }
    QAction *exportResultsAction() const { return m_exportResultsAction; }
    QAction *closeWindowAction() const { return m_closeWindowAction; }
    QAction *quitAction() const { return m_quitAction; }
    QAction *copyPathAction() const { return m_copyPathAction; }
    QAction *preferencesAction() const { return m_preferencesAction; }
    // Every action of the menus (their objectName is the action's name).
    QList<QAction *> menuActions() const;
    quint64 activesCount() const { return _activesCount; }

private:
    void createActions();
    void installMenuBar(DocumentWindow *window);
    void updateViewMenuMarks();
    ResultsListViewController *keyResultsList() const;
    DocumentWindowController *keyDocumentWindowController() const;
    void routeFileMenu(QAction *item);
    void showAllWindows();
    void updateQuitOnLastWindowClosed();

    quint64 _activesCount = 0;
    QList<DocumentWindowController *> _documentWindowControllers;
    QAction *m_newWindowAction = nullptr;
    QAction *m_openAction = nullptr;
    QAction *m_showInFinderAction = nullptr;
    QAction *m_displayInfoAction = nullptr;
    QAction *m_exportResultsAction = nullptr;
    QAction *m_closeWindowAction = nullptr;
    QAction *m_quitAction = nullptr;
    QAction *m_copyPathAction = nullptr;
    QAction *m_selectAllAction = nullptr;
    QAction *m_findAction = nullptr;
    QAction *m_preferencesAction = nullptr;
    QList<QAction *> m_viewActions;
    QList<QAction *> m_helpActions;
    QAction *m_checkForUpdateAction = nullptr;
    QAction *m_uninstallAction = nullptr;
    QAction *m_aboutAction = nullptr;
    std::function<void()> m_preferencesOpener;
    std::function<void(int)> m_problemReportPresenter;
    std::function<void()> m_updateCheckByUser;
    std::function<void()> m_uninstaller;
    std::function<bool()> m_hotKeyPressIgnored;
    PreferencesWindowController *m_preferencesWindowController = nullptr;
    bool m_launchesInBackground = false;
    bool m_hotKeyRegistered = false;
};
