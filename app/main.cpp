// Trovix: finds files and folders by walking the file system, without an index.
#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "app/AppDelegate.h"
#include "app/AppInstance.h"
#include "app/AppLaunch.h"
#include "app/KZCheckForUpdatesWindows.h"
#include "crashreport/KZCrashReporter.h"
#include "platform/KZResourceLimits.h"
#include "platform/KZUnixSignals.h"
#include "results/KZFinderFileIcon.h"
#include "scope/KZBookmarkFileURL.h"
#include "support/KZFunctions.h"
#include "toolkit/KZCrashReportSubmitWindowController.h"
#include "toolkit/KZCriticalAlert.h"
#include "toolkit/KZMASReviewReclamAlert.h"
#include "toolkit/KZSetAsideAlert.h"
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
    KZMASReviewReclamAlert::install();
    KZCheckForUpdatesWindows::install();
    // A logout or `kill` ends Trovix the way the Quit command does.
    kzWatchTerminationSignals(&app, [](int) { QApplication::quit(); });
    AppLaunch launch(delegate);
    launch.run();
    return app.exec();
}
