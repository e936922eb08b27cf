#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "tests/crashreport/LoopbackHttpServer.h"
#include "tests/testlib/TestEnvironment.h"
#include "toolkit/KZCrashReportSubmitWindowController.h"

// The window collects as it opens, will not close while the report is on its
// way, and throws the working folder away when it closes afterwards.
TEST(KZCrashReportSubmitWindow, RefusesToCloseWhileSubmitting)
{
    LoopbackHttpServer server{QByteArray()}; // holds its answer back
    qputenv("TROVIX_WEBSITE_URL", server.baseUrl());
    KZCrashReportSubmitWindowController window;
    window.show();
    auto *status = window.findChild<QLabel *>(QStringLiteral("statusLabel"));
    auto *submit = window.findChild<QPushButton *>(QStringLiteral("submitButton"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Problem Report for Trovix"));
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("Collecting"))) << status->text().toStdString();
    ASSERT_TRUE(kztest::waitUntil([&] { return submit->isEnabled(); }, 60000));
    const QString dir = window.report()->dirPath();
    ASSERT_TRUE(QFileInfo(window.report()->collectDirPath()).isDir());

    QTest::mouseClick(submit, Qt::LeftButton);
    ASSERT_TRUE(kztest::waitUntil([&] { return server.complete(); }));
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("Sending... ("))) << status->text().toStdString();
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(QFileInfo::exists(dir));

    server.release("200 OK");
    ASSERT_TRUE(kztest::waitUntil([&] { return status->text() == QStringLiteral("Sent Successfully."); }));
    EXPECT_FALSE(submit->isEnabled());
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(QFileInfo::exists(dir));
    qunsetenv("TROVIX_WEBSITE_URL");
}
