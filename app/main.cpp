// Trovix: finds files and folders by walking the file system, without an index.
#include <QApplication>
#include <QIcon>

#include "app/AppDelegate.h"
#include "platform/KZResourceLimits.h"
#include "platform/KZUnixSignals.h"
#include "results/KZFinderFileIcon.h"
#include "scope/KZBookmarkFileURL.h"
#include "support/KZFunctions.h"
#include "toolkit/KZCriticalAlert.h"
#include "toolkit/KZSetAsideAlert.h"

int main(int argc, char *argv[])
{
    // A search walks with a descriptor per folder level.
    kzplatform::kzRaiseOpenFileLimit();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trovix"));
    QApplication::setOrganizationDomain(QStringLiteral("trovix.org"));
    QApplication::setApplicationVersion(KZFunctions::appVersion());
    QApplication::setDesktopFileName(KZBundleIdentifier);
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1/org.trovix.Trovix.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    // Closing the last window keeps its controller, but until a global hot key
    // can bring it back, nothing could reach a windowless Trovix: it quits.
    QApplication::setQuitOnLastWindowClosed(true);
    KZCriticalAlert::install();
    KZSetAsideAlert::install();
    KZFinderFileIcon::ensureIconTheme();
    KZBookmarkFileURL::setIconProvider([](const QString &path, int size) {
        return QVariant::fromValue(KZFinderFileIcon::iconForFileAtPathWithSize(path, size));
    });

    AppDelegate delegate;
    // A logout or `kill` ends Trovix the way the Quit command does.
    kzWatchTerminationSignals(&app, [](int) { QApplication::quit(); });
    delegate.applicationDidFinishLaunching();
    return app.exec();
}
