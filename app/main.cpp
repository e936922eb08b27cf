// Trovix: finds files and folders by walking the file system, without an index.
#include <QApplication>
#include <QMainWindow>

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

    QMainWindow window;
    window.setObjectName(QStringLiteral("DocumentWindow"));
    window.setWindowTitle(QStringLiteral("Trovix"));
    window.resize(720, 120);
    window.show();
    return app.exec();
}
