// The application's delegate: owns the search windows, opens the first one at
// launch, opens more with File > New Window (at most five), shows them all
// when the application becomes active again, and routes the File menu's
// result commands to the key search window. GUI thread.
#pragma once

#include <QList>
#include <QObject>
#include <functional>

#include "app/DocumentWindowController.h"

class QAction;
class KZHotKey;
class QMenuBar;
class PreferencesWindowController;

class AppDelegate : public QObject, public DocumentWindowControllerOwner
{
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    static constexpr int kMaxDocumentWindows = 5;

    void applicationDidFinishLaunching();
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
    quint64 activesCount() const { return _activesCount; }

private:
    void createActions();
    void installMenuBar(DocumentWindow *window);
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
    std::function<bool()> m_hotKeyPressIgnored;
    PreferencesWindowController *m_preferencesWindowController = nullptr;
    bool m_launchesInBackground = false;
    bool m_hotKeyRegistered = false;
};
