// Trovix: finds files and folders by walking the file system, without an index.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <QIcon>
#include <cstdio>

#include "analytics/KZAnalytics.h"
#include "app/AppDelegate.h"
#include "app/AppInstance.h"
#include "app/KZAppUninstaller.h"
#include "app/KZCheckForUpdatesWindows.h"
#include "crashreport/KZCrashReporter.h"
#include "platform/KZFileLock.h"
#include "platform/KZResourceLimits.h"
#include "platform/KZUnixSignals.h"
#include "results/KZFinderFileIcon.h"
#include "scope/KZBookmarkFileURL.h"
#include "support/KZFunctions.h"
#include "toolkit/KZCrashReportSubmitWindowController.h"
#include "toolkit/KZCriticalAlert.h"
#include "toolkit/KZMASReviewReclamAlert.h"
#include "toolkit/KZSetAsideAlert.h"
#include "update/KZCheckForUpdates.h"
#include "update/KZUpdateInstaller.h"

int main(int argc, char *argv[])
{
    // A search walks with a descriptor per folder level.
    kzplatform::kzRaiseOpenFileLimit();
    // A crash leaves its backtrace for the next launch's report.
    KZCrashReporter::installFatalSignalHandler();

    // The update's privileged step (run through pkexec): no display, no bus.
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == KZUpdateInstaller::ReplaceOption) {
        QCoreApplication core(argc, argv);
        return KZUpdateInstaller::runReplaceCommand(QCoreApplication::arguments().mid(2));
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trovix"));
    QApplication::setOrganizationDomain(QStringLiteral("trovix.org"));
    QApplication::setApplicationVersion(KZFunctions::appVersion());
    QApplication::setDesktopFileName(KZBundleIdentifier);

    AppLaunchRequest request;
    QString output, error;
    if (!AppLaunchRequest::fromArguments(QApplication::arguments(), &request, &output, &error)) {
        std::fputs(qPrintable(error.isEmpty() ? output : QStringLiteral("trovix: %1\n").arg(error)),
                   error.isEmpty() ? stdout : stderr);
        return error.isEmpty() ? 0 : 2;
    }
    // A newer Trovix ran with these settings: this older copy ends before it
    // opens a window or answers for the session.
    if (AppDelegate::storedBuildIsNewer())
        return 1;
    // A Trovix already runs in this session: it takes the request.
    AppInstance instance;
    if (instance.start(request) == AppInstance::HandedOver)
        return 0;

    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1/org.trovix.Trovix.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    KZCriticalAlert::install();
    KZCrashReportSubmitWindowController::install();
    KZSetAsideAlert::install();
    KZFinderFileIcon::ensureIconTheme();
    KZBookmarkFileURL::setIconProvider([](const QString &path, int size) {
        return QVariant::fromValue(KZFinderFileIcon::iconForFileAtPathWithSize(path, size));
    });

    AppDelegate delegate;
    delegate.setLaunchesInBackground(request.kind == AppLaunchRequest::Background);
    QObject::connect(&instance, &AppInstance::activateRequested, &delegate, &AppDelegate::showWindowsFromRequest);
    QObject::connect(&instance, &AppInstance::openRequested, &delegate, &AppDelegate::openSearchWindowAtPath);
    QObject::connect(&instance, &AppInstance::toggleRequested, &delegate, &AppDelegate::toggleWindowsFromHotKey);
    QObject::connect(&instance, &AppInstance::newWindowRequested, &delegate, &AppDelegate::mi_file_newWindow);
    if (request.kind == AppLaunchRequest::Open)
        AppDelegate::proposeScopePath(request.path);
    delegate.setPreferencesOpener([&delegate] { delegate.showPreferences(); });
    delegate.setProblemReportPresenter([](int mode) { KZCrashReporter::sharedInstance().presentToUserWithMode(mode); });
    // Every fifteen days at most (never in the first, nor within a year of a
    // rating), ask for a review.
    KZMASReviewReclamAlert::install();
    KZMASReviewReclamAlert::displayReclamIfNecessary();
    KZCheckForUpdatesWindows::install();
    KZCheckForUpdates *updates = KZCheckForUpdates::sharedInstance();
    updates->setAppBuild(KZFunctions::appBuild().toLongLong(), KZ_WebSiteURL(QStringLiteral("trovix.version")));
    delegate.setUpdateCheckerByUser([updates] { updates->synchronizeByUser(); });
    KZCrashReporter::sharedInstance().setUpdateCheckHook([updates] { updates->synchronizeFromCrashReport(); });
    updates->synchronizeAtLaunch();
    KZAnalytics::sendAtLaunch();
    // Uninstall Trovix… appears once a worker has found a per-user install.
    auto *uninstallCheck = new QFutureWatcher<bool>(&delegate);
    QObject::connect(uninstallCheck, &QFutureWatcher<bool>::finished, &delegate, [uninstallCheck, &delegate] {
        if (uninstallCheck->result())
            delegate.setUninstaller([] { KZAppUninstaller::sharedInstance().beginAsSheetForWindow(nullptr, {}); });
        uninstallCheck->deleteLater();
    });
    uninstallCheck->setFuture(
        QtConcurrent::run([] { return KZAppUninstaller::isOfferedForPrefix(KZUpdateInstaller::runningPrefix()); }));
    // A logout or `kill` ends Trovix the way the Quit command does.
    kzWatchTerminationSignals(&app, [](int) { QApplication::quit(); });
    delegate.applicationDidFinishLaunching();
    // Last step of the launch: after a crash, offer to send its report. Each
    // running Trovix of this user holds a lock that its end, crash or not,
    // lets go. Beside one that holds it (no session bus, or one that does not
    // answer), the run that looks unfinished is that one's, not a crash: this
    // process keeps out of the bookkeeping.
    kzplatform::KZFileLock runningLock;
    const QString stateDir = QFileInfo(KZCrashReporter::crashesDirPath()).path();
    QDir().mkpath(stateDir);
    const bool watchesCrashes = runningLock.lock(QFile::encodeName(stateDir + QStringLiteral("/running.lock")), 0);
    if (watchesCrashes)
        KZCrashReporter::sharedInstance().checkAtLaunch();
    const int status = app.exec();
    if (watchesCrashes)
        KZCrashReporter::sharedInstance().applicationTerminated();
    return status;
}
