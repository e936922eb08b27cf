#include "app/AppDelegate.h"

#include <QAction>
#include <QAbstractItemView>
#include <QApplication>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>
#include <QMessageBox>
#include <algorithm>
#include <mutex>

#include "app/DocumentWindow.h"
#include "app/KZHotKey.h"
#include "app/KZHotKeyCenter.h"
#include "app/PreferencesWindowController.h"
#include "app/ScopeDirChooser.h"
#include "app/SkipNamesListView.h"
#include "scope/ScopeDirManager.h"
#include "results/ResultsExport.h"
#include "results/ResultsListViewController.h"
#include "results/ResultsViewController.h"
#include "support/KZFunctions.h"
#include "support/KZHotKeyRepresentation.h"
#include "support/KZUserDefaults.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"

namespace {

ResultsListViewController *resultsListOf(DocumentWindowController *controller)
{
    return controller && controller->resultsViewController()
        ? controller->resultsViewController()->resultsListViewController()
        : nullptr;
}

void registerEnglish()
{
    static std::once_flag once;
    std::call_once(once, [] {
        KZLocalization::registerEnglish(KZLocalizationMainTable, {
            {"HELP_GOTO_WEBSITE", "Trovix Website"},
            {"HELP_CONTACT_SUPPORT_OR_FEEDBACK", "Contact Support or Send Feedback"},
            {"HELP_EMAIL_SUPPORT", "Email Support"},
            {"HELP_SUBMIT_REPORT", "Send a Problem Report…"},
        });
    });
}

const QString kStoredBuildKey = QStringLiteral("KZCheckForUpdates-cBuild");

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

    registerEnglish();
    m_copyPathAction = make("mi_edit_copyPath", "Copy Path", QKeySequence::Copy);
    m_selectAllAction = make("mi_edit_selectAll", "Select All", QKeySequence::SelectAll);
    m_findAction = make("mi_edit_find", "Find", QKeySequence::Find);
    // Each search window answers Ctrl+F itself, bare windows included; the
    // item only shows the key, which would otherwise be ambiguous.
    m_findAction->setShortcutContext(Qt::WidgetShortcut);
    m_preferencesAction = make("mi_app_preferences", "Preferences…", QKeySequence(QStringLiteral("Ctrl+,")));
    m_preferencesAction->setMenuRole(QAction::PreferencesRole);
    connect(m_copyPathAction, &QAction::triggered, this, &AppDelegate::mi_edit_copyPath);
    connect(m_selectAllAction, &QAction::triggered, this, &AppDelegate::mi_edit_selectAll);
    connect(m_findAction, &QAction::triggered, this, &AppDelegate::mi_edit_find);
    connect(m_preferencesAction, &QAction::triggered, this, &AppDelegate::mi_app_preferences);

    // The results list's own commands, told apart by tag and represented object.
    auto view = [&](const char *name, const char *title, int tag, const QString &object) {
        QAction *action = make(name, title, QKeySequence());
        action->setData(tag);
        action->setProperty("representedObject", object);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, action] { mi_view(action); });
        m_viewActions.append(action);
    };
    view("mi_view_details", "Show Details", ResultsListViewController::TagDetails, QStringLiteral("1"));
    view("mi_view_details", "Show Metadata", ResultsListViewController::TagDetails, QStringLiteral("2"));
    using List = ResultsListViewController;
    for (int column : {List::ColumnDateModified, List::ColumnDateCreated, List::ColumnSize}) {
        static const char *const titles[] = {"", "Date Modified", "Date Created", "File Size"};
        view("mi_view_column", titles[column], List::TagColumn, List::columnIdentifier(column));
    }

    const struct {
        const char *title;
        int tag;
    } help[] = {{"HELP_GOTO_WEBSITE", 1}, {"HELP_CONTACT_SUPPORT_OR_FEEDBACK", 2}, {"HELP_EMAIL_SUPPORT", 3},
                {"HELP_SUBMIT_REPORT", 5}, {"Changelog…", 6}};
    for (const auto &[title, tag] : help) {
        QAction *action = make("mi_help", title, QKeySequence());
        action->setData(tag);
        connect(action, &QAction::triggered, this, [this, action] { mi_help(action); });
        m_helpActions.append(action);
    }
    m_checkForUpdateAction = new QAction(KZLocalizedString("Check For Update…", "KZCheckForUpdates"), this);
    m_checkForUpdateAction->setObjectName(QStringLiteral("checkForUpdateFromMenuItem"));
    m_checkForUpdateAction->setData(0);
    connect(m_checkForUpdateAction, &QAction::triggered, this, &AppDelegate::checkForUpdateFromMenuItem);
    // Only a per-user install offers it (see setUninstaller).
    m_uninstallAction = make("mi_appUninstallAction", "Uninstall Trovix…", QKeySequence());
    m_uninstallAction->setVisible(false);
    connect(m_uninstallAction, &QAction::triggered, this, &AppDelegate::mi_appUninstallAction);
    m_aboutAction = make("mi_help_about", "About Trovix", QKeySequence());
    m_aboutAction->setMenuRole(QAction::AboutRole);
    connect(m_aboutAction, &QAction::triggered, this, &AppDelegate::mi_help_about);
    validateMenuItems();
}

QList<QAction *> AppDelegate::menuActions() const
{
    QList<QAction *> actions{m_newWindowAction, m_openAction, m_showInFinderAction, m_displayInfoAction,
                             m_exportResultsAction, m_closeWindowAction, m_quitAction, m_copyPathAction,
                             m_selectAllAction, m_findAction, m_preferencesAction};
    actions += m_viewActions;
    actions += m_helpActions;
    actions += {m_checkForUpdateAction, m_uninstallAction, m_aboutAction};
    return actions;
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

    QMenu *edit = window->menuBar()->addMenu(KZLocalizedString("Edit"));
    edit->addAction(m_copyPathAction);
    edit->addAction(m_selectAllAction);
    edit->addSeparator();
    edit->addAction(m_findAction);
    edit->addSeparator();
    edit->addAction(m_preferencesAction);

    QMenu *view = window->menuBar()->addMenu(KZLocalizedString("View"));
    for (QAction *action : std::as_const(m_viewActions)) {
        view->addAction(action);
        if (action == m_viewActions.at(1))
            view->addSeparator();
    }
    connect(view, &QMenu::aboutToShow, this, &AppDelegate::updateViewMenuMarks);

    QMenu *help = window->menuBar()->addMenu(KZLocalizedString("Help"));
    help->addActions(m_helpActions);
    help->addSeparator();
    help->addAction(m_checkForUpdateAction);
    help->addAction(m_uninstallAction);
    help->addSeparator();
    help->addAction(m_aboutAction);

    for (QMenu *menu : {file, edit, view, help}) {
        menu->setToolTipsVisible(true);
        connect(menu, &QMenu::aboutToShow, this, &AppDelegate::validateMenuItems);
    }
}

void AppDelegate::updateViewMenuMarks()
{
    ResultsListViewController *list = keyResultsList();
    for (QAction *action : std::as_const(m_viewActions)) {
        const QString object = action->property("representedObject").toString();
        if (action->objectName() == QLatin1String("mi_view_details")) {
            action->setChecked(list && list->detailsMode() == object.toInt());
            continue;
        }
        static const char *const titles[] = {"", "Date Modified", "Date Created", "File Size"};
        const int status = list ? list->visibleColsStatus(object) : 0;
        QString title = KZLocalizedString(titles[ResultsListViewController::columnOfIdentifier(object)]);
        // A menu item has no mixed state: the automatic one is told in words.
        if (status == -1)
            title += QStringLiteral(" (") + KZLocalizedString("Automatic") + QStringLiteral(")");
        action->setText(title);
        action->setCheckable(status != -1);
        action->setChecked(status == 1);
    }
}

bool AppDelegate::storedBuildIsNewer()
{
    const qint64 stored = KZUserDefaults::standardUserDefaults().integerForKey(kStoredBuildKey, 0);
    const qint64 running = KZFunctions::appBuild().toLongLong();
    if (stored <= running)
        return false;
    KZLOG_WARNING_F(QStringLiteral("stored build:%1 > running build:%2").arg(stored).arg(running));
    return true;
}

void AppDelegate::applicationDidFinishLaunching()
{
    registerSavedHotKey();
    openFirstWindow();
}

void AppDelegate::registerSavedHotKey()
{
    KZHotKeyCenter *center = KZHotKeyCenter::defaultCenter();
    connect(center, &KZHotKeyCenter::pressedHotKey, this, &AppDelegate::hotKeyCenterPressedHotKey,
            Qt::UniqueConnection);
    center->tryToRegisterHotKeyRepresentation(KZHotKeyRepresentation::hotKeyRepresentationFromUserDefaults(), 1);
    const QList<KZHotKey *> hotKeys = center->hotKeys();
    // With the shortcut there, closing the last window keeps Trovix running.
    setHotKeyRegistered(std::any_of(hotKeys.begin(), hotKeys.end(), [](KZHotKey *k) { return k->tag() == 1; }));
}

void AppDelegate::openFirstWindow()
{
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
        m_preferencesWindowController->skipNamesContainer()->addWidget(
            new SkipNamesListView(m_preferencesWindowController));
        connect(m_preferencesWindowController, &PreferencesWindowController::checkForUpdateRequested, this,
                [this] {
                    if (m_updateCheckByUser)
                        m_updateCheckByUser();
                });
    }
    m_preferencesWindowController->setCheckForUpdateAvailable(bool(m_updateCheckByUser));
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

ResultsListViewController *AppDelegate::keyResultsList() const
{
    return resultsListOf(keyDocumentWindowController());
}

void AppDelegate::mi_edit_selectAll()
{
    DocumentWindowController *controller = keyDocumentWindowController();
    QWidget *focus = controller ? controller->window()->focusWidget() : nullptr;
    if (auto *field = qobject_cast<QLineEdit *>(focus))
        field->selectAll();
    else if (auto *list = qobject_cast<QAbstractItemView *>(focus))
        list->selectAll();
}

void AppDelegate::mi_edit_find()
{
    if (DocumentWindowController *controller = keyDocumentWindowController()) {
        controller->mSearchField()->setFocus(Qt::ShortcutFocusReason);
        controller->mSearchField()->selectAll();
    }
}

void AppDelegate::mi_app_preferences()
{
    if (m_preferencesOpener)
        m_preferencesOpener();
}

void AppDelegate::setPreferencesOpener(const std::function<void()> &opener)
{
    m_preferencesOpener = opener;
    validateMenuItems();
}

void AppDelegate::mi_view(QAction *item)
{
    if (ResultsListViewController *list = keyResultsList())
        list->documentWindowPerformMenuItem(item);
}

void AppDelegate::mi_help(QAction *item)
{
    QUrl url;
    switch (item->data().toInt()) {
    case 1:
        url = KZ_WebSiteURL();
        break;
    case 2:
        url = KZ_WebSiteURL(QStringLiteral("?page=support&app=trovix"));
        break;
    case 3:
        url = QUrl(QStringLiteral("mailto:%1").arg(KZ_SupportEmail()));
        break;
    case 5:
        if (m_problemReportPresenter)
            m_problemReportPresenter(1);
        return;
    case 6:
        url = KZ_WebSiteURL(QStringLiteral("changelog.php?&app=trovix"));
        break;
    default:
        return;
    }
    if (!QDesktopServices::openUrl(url))
        KZLOG_WARNING_M(QStringLiteral("openUrl==NO url:%1").arg(url.toString()));
}

void AppDelegate::setProblemReportPresenter(const std::function<void(int)> &presenter)
{
    m_problemReportPresenter = presenter;
    validateMenuItems();
}

void AppDelegate::checkForUpdateFromMenuItem()
{
    if (m_updateCheckByUser)
        m_updateCheckByUser();
}

void AppDelegate::setUpdateCheckerByUser(const std::function<void()> &check)
{
    m_updateCheckByUser = check;
    validateMenuItems();
}

void AppDelegate::mi_appUninstallAction()
{
    if (m_uninstaller)
        m_uninstaller();
}

void AppDelegate::setUninstaller(const std::function<void()> &uninstall)
{
    m_uninstaller = uninstall;
    m_uninstallAction->setVisible(bool(m_uninstaller));
}

void AppDelegate::mi_help_about()
{
    QMessageBox::about(QApplication::activeWindow(), KZLocalizedString("About Trovix"),
                       QStringLiteral("<b>Trovix</b><p>%1</p><p>%2</p>")
                           .arg(KZStringWithFormat(KZLocalizedString("Version %@ (build %@)"),
                                                   {KZFunctions::appVersion(), KZFunctions::appBuild()}),
                                KZLocalizedString("Finds files and folders by walking the file system, without an index.")));
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
    if (item == m_openAction || item == m_showInFinderAction || item == m_displayInfoAction ||
        item == m_copyPathAction) {
        DocumentWindowController *controller = keyDocumentWindowController();
        return controller && controller->documentWindowValidateMenuItem(item);
    }
    if (item == m_exportResultsAction)
        return ResultsExport::canExport(keyResultsList());
    if (item == m_selectAllAction || item == m_findAction)
        return keyDocumentWindowController() != nullptr;
    if (m_viewActions.contains(item))
        return keyResultsList() != nullptr;
    if (item == m_preferencesAction)
        return bool(m_preferencesOpener);
    if (item == m_checkForUpdateAction)
        return bool(m_updateCheckByUser);
    if (m_helpActions.contains(item) && item->data().toInt() == 5)
        return bool(m_problemReportPresenter);
    return true;
}

void AppDelegate::validateMenuItems()
{
    for (QAction *action : menuActions())
        action->setEnabled(validateMenuItem(action));
    // An item that waits for a part of Trovix says so instead of looking dead.
    m_preferencesAction->setToolTip(m_preferencesOpener ? QString()
                                                        : KZLocalizedString("The preferences window is not available."));
    m_checkForUpdateAction->setToolTip(m_updateCheckByUser ? QString()
                                                           : KZLocalizedString("This build has no update checker."));
    m_helpActions.at(3)->setToolTip(m_problemReportPresenter ? QString()
                                                             : KZLocalizedString("This build cannot send problem reports."));
}
