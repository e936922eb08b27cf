// Takes the screenshot of the uninstall confirmation for the documentation,
// on the display it is given (a private Xvfb: scripts/screenshots.sh uninstall),
// and answers "Cancel", so nothing is removed.
//
//   uninstall_screenshots OUTPUT_DIR
#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/KZAppUninstaller.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trovix"));
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(TROVIX_SOURCE_DIR "/data/icons/64/org.trovix.Trovix.png")));
    const QString out = kztest::screenshotOutputDir(argc, argv, "uninstall_screenshots");
    if (out.isNull())
        return 1;
    bool ok = false;
    QTimer::singleShot(100, [&] {
        auto *alert = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!alert)
            return;
        QTest::qWaitForWindowExposed(alert);
        QTest::qWait(300);
        ok = kztest::saveScreenshot(alert->grab(), out + QStringLiteral("/uninstall-confirmation.png"));
        for (QAbstractButton *button : alert->buttons())
            if (button->text() == QLatin1String("Cancel"))
                button->click();
    });
    KZAppUninstaller::sharedInstance().beginAsSheetForWindow(nullptr, {});
    return ok && !KZAppUninstaller::sharedInstance().hasRun() ? 0 : 1;
}
