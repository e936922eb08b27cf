// Trovix: finds files and folders by walking the file system, without an index.
#include <QApplication>
#include <QMainWindow>

#include "platform/KZUnixSignals.h"
#include "support/KZFunctions.h"
#include "toolkit/KZCriticalAlert.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trovix"));
    QApplication::setOrganizationDomain(QStringLiteral("trovix.org"));
    QApplication::setApplicationVersion(KZFunctions::appVersion());
    QApplication::setDesktopFileName(KZBundleIdentifier);
    KZCriticalAlert::install();
    // A logout or `kill` ends Trovix the way the Quit command does.
    kzWatchTerminationSignals(&app, [](int) { QApplication::quit(); });

    QMainWindow window;
    window.setObjectName(QStringLiteral("DocumentWindow"));
    window.setWindowTitle(QStringLiteral("Trovix"));
    window.resize(720, 120);
    window.show();
    return app.exec();
}
