// Takes the preferences window's screenshot for the documentation, on the
// display it is given (a private Xvfb: scripts/screenshots.sh preferences):
// three excluded folders, one of them switched off, two skipped folder names
// and a recorded shortcut.
//
//   preferences_screenshots OUTPUT_DIR
#include <QApplication>
#include <QVBoxLayout>
#include <QDir>
#include <QTest>

#include "app/PreferencesWindowController.h"
#include "app/SkipNamesListView.h"
#include "scope/ScopeDirManager.h"
#include "support/KZHotKeyRepresentation.h"
#include "tests/app/HotKeyTestSupport.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QString out = kztest::screenshotOutputDir(argc, argv, "preferences_screenshots");
    if (out.isNull())
        return 1;
    const QString home = QDir::cleanPath(ScopeDirManager::homeDirPath());
    ScopeDirManager *manager = ScopeDirManager::sharedInstance();
    for (const char *rel : {"Projects/linux/build", "Music/Archive", ".cache"}) {
        QDir(home).mkpath(QString::fromLatin1(rel));
        manager->addExcludedDir(home + QLatin1Char('/') + QString::fromLatin1(rel));
    }
    manager->setStateOfExcludedDir(false, home + QStringLiteral("/Music/Archive"));
    for (const QString &name : {QStringLiteral(".git"), QStringLiteral("node_modules")})
        manager->addExcludedName(name);
    KZHotKeyRepresentation(49, KZModifierControl | KZModifierOption, true).saveToUserDefaults(); // Ctrl+Alt+Space
    std::unique_ptr<KZHotKeyCenter> center(kztest::newX11Center());
    PreferencesWindowController prefs(center.get());
    prefs.skipNamesContainer()->addWidget(new SkipNamesListView(&prefs));
    prefs.show();
    prefs.activateWindow();
    if (!QTest::qWaitForWindowActive(&prefs))
        return 1;
    QTest::qWait(200);
    return kztest::saveScreenshot(prefs.grab(), out + QStringLiteral("/preferences-window.png")) ? 0 : 1;
}
