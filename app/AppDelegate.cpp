#include "app/AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>

#include "app/DocumentWindow.h"
#include "app/KZHotKey.h"
#include "app/KZHotKeyCenter.h"
#include "app/PreferencesWindowController.h"
#include "app/ScopeDirChooser.h"
#include "scope/ScopeDirManager.h"
#include "results/ResultsExport.h"
#include "results/ResultsViewController.h"
#include "support/KZHotKeyRepresentation.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"

namespace {

ResultsListViewController *resultsListOf(DocumentWindowController *controller)
{
    return controller && controller->resultsViewController()
        ? controller->resultsViewController()->resultsListViewController()
        : nullptr;
}

} // namespace

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
{
    createActions();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            applicationDidBecomeActive();
        else if (state == Qt::ApplicationInactive)
            applicationDidResignActive();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
    updateQuitOnLastWindowClosed();
}

AppDelegate::~AppDelegate()
{
    qDeleteAll(_documentWindowControllers);
    delete m_preferencesWindowController;
}

void AppDelegate::createActions()
{
    auto make = [this](const char *name, const char *title, const QKeySequence &shortcut) {
        auto *action = new QAction(KZLocalizedString(title), this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        return action;
    };
    m_newWindowAction = make("mi_file_newWindow", "New Window", QKeySequence::New);
    m_openAction = make("mi_file_open", "Open", QKeySequence::Open);
    m_showInFinderAction = make("mi_file_showInFinder", "Show in File Manager", QKeySequence(QStringLiteral("Ctrl+R")));
    m_displayInfoAction = make("mi_file_displayFinderInfo", "Properties", QKeySequence(QStringLiteral("Ctrl+I")));
    m_exportResultsAction = make("mi_file_exportResults", "Export Results…", QKeySequence());
    m_closeWindowAction = make("mi_file_close", "Close Window", QKeySequence::Close);
    m_quitAction = make("mi_app_quit", "Quit", QKeySequence::Quit);
    connect(m_newWindowAction, &QAction::triggered, this, &AppDelegate::mi_file_newWindow);
    connect(m_openAction, &QAction::triggered, this, &AppDelegate::mi_file_open);
    connect(m_showInFinderAction, &QAction::triggered, this, &AppDelegate::mi_file_showInFinder);
    connect(m_displayInfoAction, &QAction::triggered, this, &AppDelegate::mi_file_displayFinderInfo);
    connect(m_exportResultsAction, &QAction::triggered, this, &AppDelegate::mi_file_exportResults);
    connect(m_closeWindowAction, &QAction::triggered, this, [] {
        if (QWidget *window = QApplication::activeWindow())
            window->close();
    });
    connect(m_quitAction, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void AppDelegate::installMenuBar(DocumentWindow *window)
{
    QMenu *file = window->menuBar()->addMenu(KZLocalizedString("File"));
    file->addAction(m_newWindowAction);
    file->addSeparator();
    file->addAction(m_openAction);
    file->addAction(m_showInFinderAction);
    file->addAction(m_displayInfoAction);
    file->addSeparator();
    file->addAction(m_exportResultsAction);
    file->addSeparator();
    file->addAction(m_closeWindowAction);
    file->addAction(m_quitAction);
    connect(file, &QMenu::aboutToShow, this, &AppDelegate::validateMenuItems);
}

void AppDelegate::applicationDidFinishLaunching()
{
    KZHotKeyCenter *center = KZHotKeyCenter::defaultCenter();
    connect(center, &KZHotKeyCenter::pressedHotKey, this, &AppDelegate::hotKeyCenterPressedHotKey,
            Qt::UniqueConnection);
    center->tryToRegisterHotKeyRepresentation(KZHotKeyRepresentation::hotKeyRepresentationFromUserDefaults(), 1);
    const QList<KZHotKey *> hotKeys = center->hotKeys();
    // With the shortcut there, closing the last window keeps Trovix running.
    setHotKeyRegistered(std::any_of(hotKeys.begin(), hotKeys.end(), [](KZHotKey *k) { return k->tag() == 1; }));
    if (!m_launchesInBackground)
        mi_file_newWindow();
}

void AppDelegate::hotKeyCenterPressedHotKey(KZHotKey *hotKey)
{
    KZLOG_INFO_M(QStringLiteral("hotKeyCenter:pressedHotKey: tag:%1").arg(hotKey->tag()));
    if (hotKey->tag() == 1)
        toggleWindowsFromHotKey();
}

void AppDelegate::applicationDidBecomeActive()
{
    // The first activation is the launch itself: the first window is showing already.
    if (_activesCount++ == 0)
        return;
    for (DocumentWindowController *controller : std::as_const(_documentWindowControllers))
        controller->showWindowAnimated();
}

void AppDelegate::applicationDidResignActive()
{
    ++_activesCount;
}

void AppDelegate::applicationWillTerminate()
{
    for (DocumentWindowController *controller : std::as_const(_documentWindowControllers))
        controller->stopSearch();
}

void AppDelegate::mi_file_newWindow()
{
    if (_documentWindowControllers.size() >= kMaxDocumentWindows)
        return;
    auto *controller = new DocumentWindowController([this](DocumentWindow *window) { installMenuBar(window); });
    controller->setDelegateController(this);
    // Each window has its own scope chooser; it lives as long as the window's controller.
    auto *chooser = new ScopeDirChooser(controller);
    chooser->setObservator(controller);
    controller->setScopeDirChooser(chooser);
    _documentWindowControllers.append(controller);
    controller->showWindowAnimated();
    validateMenuItems();
}

void AppDelegate::documentWindowControllerDidEnd(DocumentWindowController *controller)
{
    // The last window stays in the list so that activation brings it back.
    if (_documentWindowControllers.size() >= 2 && _documentWindowControllers.removeOne(controller))
        controller->deleteLater();
    validateMenuItems();
}

void AppDelegate::toggleWindowsFromHotKey()
{
    if (m_hotKeyPressIgnored && m_hotKeyPressIgnored())
        return;
    // Hidden windows leave the focus with no window of ours, but X11 may keep
    // calling the application active: with none on screen, the press shows them.
    const bool anyShown = std::any_of(_documentWindowControllers.cbegin(), _documentWindowControllers.cend(),
                                      [](DocumentWindowController *c) { return c->window()->isVisible(); });
    if (QGuiApplication::applicationState() != Qt::ApplicationActive || !anyShown) {
        showAllWindows();
        return;
    }
    for (DocumentWindowController *controller : std::as_const(_documentWindowControllers))
        controller->hideWindowAnimated();
}

void AppDelegate::showWindowsFromRequest()
{
    showAllWindows();
}

void AppDelegate::showAllWindows()
{
    // Started in the background: the first window opens now.
    if (_documentWindowControllers.isEmpty()) {
        mi_file_newWindow();
        return;
    }
    for (DocumentWindowController *controller : std::as_const(_documentWindowControllers)) {
        controller->showWindowAnimated();
        controller->window()->raise();
    }
    _documentWindowControllers.last()->window()->activateWindow();
}

bool AppDelegate::proposeScopePath(const QString &path)
{
    if (ScopeDirManager::sharedInstance()->proposeSelectionWithDirPath(path))
        return true;
    KZLOG_WARNING_F(QStringLiteral("proposeSelectionWithDirPath refused path:%1").arg(path));
    return false;
}

void AppDelegate::openSearchWindowAtPath(const QString &path)
{
    if (!proposeScopePath(path))
        return;
    DocumentWindowController *target = nullptr;
    for (DocumentWindowController *controller : std::as_const(_documentWindowControllers)) {
        if (!controller->window()->isVisible()) {
            target = controller;
            break;
        }
    }
    if (!target && _documentWindowControllers.size() < kMaxDocumentWindows) {
        // A new window reads the scope it was just given.
        mi_file_newWindow();
        return;
    }
    if (!target)
        target = keyDocumentWindowController() ? keyDocumentWindowController() : _documentWindowControllers.last();
    target->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
    target->showWindowAnimated();
    target->window()->raise();
    target->window()->activateWindow();
}

void AppDelegate::setLaunchesInBackground(bool background)
{
    m_launchesInBackground = background;
    updateQuitOnLastWindowClosed();
}

void AppDelegate::setHotKeyRegistered(bool registered)
{
    m_hotKeyRegistered = registered;
    updateQuitOnLastWindowClosed();
}

void AppDelegate::showPreferences()
{
    if (!m_preferencesWindowController) {
        m_preferencesWindowController = new PreferencesWindowController(KZHotKeyCenter::defaultCenter());
        m_preferencesWindowController->setHotKeyRegisteredHandler([this](bool registered) {
            setHotKeyRegistered(registered);
        });
        // The shortcut being recorded there must not toggle the windows.
        setHotKeyPressIgnored([this] {
            return m_preferencesWindowController && m_preferencesWindowController->isActiveWindow();
        });
    }
    m_preferencesWindowController->show();
    m_preferencesWindowController->raise();
    m_preferencesWindowController->activateWindow();
}

void AppDelegate::updateQuitOnLastWindowClosed()
{
    // Without a hot key or a background start nothing could bring a
    // windowless Trovix back: closing the last window quits.
    QApplication::setQuitOnLastWindowClosed(!m_launchesInBackground && !m_hotKeyRegistered);
}

DocumentWindowController *AppDelegate::keyDocumentWindowController() const
{
    auto *window = qobject_cast<DocumentWindow *>(QApplication::activeWindow());
    return window ? window->controller() : nullptr;
}

void AppDelegate::mi_file_exportResults()
{
    if (DocumentWindowController *controller = keyDocumentWindowController())
        ResultsExport::exportResults(resultsListOf(controller), controller->window());
}

void AppDelegate::routeFileMenu(QAction *item)
{
    if (DocumentWindowController *controller = keyDocumentWindowController())
        controller->documentWindowPerformMenuItem(item);
}

bool AppDelegate::validateMenuItem(QAction *item)
{
    if (item == m_newWindowAction)
        return _documentWindowControllers.size() < kMaxDocumentWindows;
    if (item == m_openAction || item == m_showInFinderAction || item == m_displayInfoAction) {
        DocumentWindowController *controller = keyDocumentWindowController();
        return controller && controller->documentWindowValidateMenuItem(item);
    }
    if (item == m_exportResultsAction)
        return ResultsExport::canExport(resultsListOf(keyDocumentWindowController()));
    return true;
}

void AppDelegate::validateMenuItems()
{
    for (QAction *action : {m_newWindowAction, m_openAction, m_showInFinderAction, m_displayInfoAction,
                            m_exportResultsAction, m_closeWindowAction, m_quitAction})
        action->setEnabled(validateMenuItem(action));
}
