// Takes the problem-report window's screenshots for the documentation, on the
// display it is given (a private Xvfb: scripts/screenshots.sh crash-report):
// while the report is collected, and after it reached a loopback server.
//
//   crash_report_screenshots OUTPUT_DIR
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/crashreport/LoopbackHttpServer.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"
#include "toolkit/KZCrashReportSubmitWindowController.h"

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QString out = kztest::screenshotOutputDir(argc, argv, "crash_report_screenshots");
    if (out.isNull())
        return 1;
    LoopbackHttpServer server;
    qputenv("TROVIX_WEBSITE_URL", server.baseUrl());
    KZCrashReportSubmitWindowController window;
    window.show();
    auto *status = window.findChild<QLabel *>(QStringLiteral("statusLabel"));
    auto *submit = window.findChild<QPushButton *>(QStringLiteral("submitButton"));
    // The step the collection is at, shown while it runs.
    if (!kztest::waitUntil([&] { return status->text().contains(QStringLiteral("ASL")); }) ||
        !kztest::saveScreenshot(window.grab(), out + QStringLiteral("/crash-report-collecting.png")))
        return 1;
    if (!kztest::waitUntil([&] { return submit->isEnabled(); }, 20000))
        return 1;
    QTest::mouseClick(submit, Qt::LeftButton);
    if (!kztest::waitUntil([&] { return status->text() == QStringLiteral("Sent Successfully."); }))
        return 1;
    QTest::qWait(100);
    return kztest::saveScreenshot(window.grab(), out + QStringLiteral("/crash-report-sent.png")) ? 0 : 1;
}
