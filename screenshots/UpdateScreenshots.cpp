// Takes the screenshots of the update windows for the documentation, on the
// display it is given (a private Xvfb: scripts/screenshots.sh update): a new
// version offered, its download under way, and the install done, waiting for
// the relaunch.
//
//   update_screenshots OUTPUT_DIR
#include <QApplication>
#include <QIcon>
#include <QTest>

#include "app/KZCheckForUpdatesWindows.h"
#include "support/KZFunctions.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trovix"));
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(TROVIX_SOURCE_DIR "/data/icons/64/org.trovix.Trovix.png")));
    const QString out = kztest::screenshotOutputDir(argc, argv, "update_screenshots");
    if (out.isNull())
        return 1;
    KZCheckForUpdates checker;
    KZCheckForUpdatesWindows windows(&checker);

    KZUpdateWindowState state;
    state.windowTitle = QStringLiteral("Trovix Update");
    state.newVersionTitle = QStringLiteral("A new version of Trovix is available!");
    state.newVersionMessage = QStringLiteral("Trovix is now in version 0.2.0 (2).");
    state.newVersionButton = QStringLiteral("Install Update");
    state.newVersionVisible = true;
    bool ok = true;
    const auto shoot = [&](QDialog *window, const char *name) {
        window->activateWindow();
        QTest::qWaitForWindowExposed(window);
        QTest::qWait(300);
        ok = kztest::saveScreenshot(window->grab(), out + QLatin1Char('/') + QLatin1String(name)) && ok;
    };
    windows.windowStateChanged(state);
    shoot(windows.newVersionWindow(), "update-new-version.png");

    state.newVersionVisible = false;
    state.updatingVisible = true;
    state.updatingTitle = QStringLiteral("Downloading update…");
    state.barIndeterminate = false;
    state.barMaximum = 9 * 1024 * 1024;
    state.barValue = 3 * 1024 * 1024 + 300 * 1024;
    state.barLabel = KZFunctions::stringFromBytesWithBin1024Style(state.barValue) + QStringLiteral(" of ")
        + KZFunctions::stringFromBytesWithBin1024Style(state.barMaximum);
    windows.windowStateChanged(state);
    shoot(windows.updatingWindow(), "update-downloading.png");

    state.updatingTitle = QStringLiteral("Waiting relaunch…");
    state.barValue = state.barMaximum;
    state.barLabel.clear();
    state.relaunchEnabled = true;
    windows.windowStateChanged(state);
    shoot(windows.updatingWindow(), "update-waiting-relaunch.png");
    return ok ? 0 : 1;
}
