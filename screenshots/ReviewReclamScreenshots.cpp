// Takes the review reminder's screenshot for the documentation, on the display
// it is given (a private Xvfb: scripts/screenshots.sh review).
//
//   review_reclam_screenshots OUTPUT_DIR
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "support/KZUserDefaults.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"
#include "toolkit/KZMASReviewReclamAlert.h"

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QString out = kztest::screenshotOutputDir(argc, argv, "review_reclam_screenshots");
    if (out.isNull())
        return 1;
    // Due: the clock started fifteen days ago.
    KZUserDefaults::standardUserDefaults().setDate(QDateTime::currentDateTime().addDays(-15),
                                                   KZMASReviewReclamCheckReviewDateKey);
    bool saved = false;
    QTimer::singleShot(0, [&] {
        QWidget *box = nullptr;
        kztest::waitUntil([&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->objectName() == QLatin1String("KZMASReviewReclam"))
                    box = w;
            return box != nullptr;
        });
        if (!box)
            return;
        QTest::qWait(200);
        saved = kztest::saveScreenshot(box->grab(), out + QStringLiteral("/review-reminder.png"));
        static_cast<QMessageBox *>(box)->reject(); // "Remind Me Later"
    });
    KZMASReviewReclamAlert::displayReclamIfNecessary();
    return saved ? 0 : 1;
}
