// The application's delegate: owns the search windows, opens the first one at
// launch, opens more with File > New Window (at most five), shows them all
// when the application becomes active again, and routes the File menu's
// result commands to the key search window. GUI thread.
#pragma once

#include <QList>
#include <QObject>

#include "app/DocumentWindowController.h"

class QAction;
class KZHotKey;
class QMenuBar;

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
    // Enables every action by the menu rules.
    void validateMenuItems();
    bool validateMenuItem(QAction *item);

    void documentWindowControllerDidEnd(DocumentWindowController *controller) override;
    // hotKeyCenter:pressedHotKey: — a registered global shortcut was pressed.
    void hotKeyCenterPressedHotKey(KZHotKey *hotKey);

    QList<DocumentWindowController *> documentWindowControllers() const { return _documentWindowControllers; }
    QAction *newWindowAction() const { return m_newWindowAction; }
    QAction *openAction() const { return m_openAction; }
    QAction *showInFinderAction() const { return m_showInFinderAction; }
    QAction *displayInfoAction() const { return m_displayInfoAction; }
    QAction *closeWindowAction() const { return m_closeWindowAction; }
    QAction *quitAction() const { return m_quitAction; }
    quint64 activesCount() const { return _activesCount; }

private:
    void createActions();
    void installMenuBar(DocumentWindow *window);
    DocumentWindowController *keyDocumentWindowController() const;
    void routeFileMenu(QAction *item);

    quint64 _activesCount = 0;
    QList<DocumentWindowController *> _documentWindowControllers;
    QAction *m_newWindowAction = nullptr;
    QAction *m_openAction = nullptr;
    QAction *m_showInFinderAction = nullptr;
    QAction *m_displayInfoAction = nullptr;
    QAction *m_closeWindowAction = nullptr;
    QAction *m_quitAction = nullptr;
};
