#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "tests/testlib/TestEnvironment.h"

// The real executable on the test's own display: it must come up with its
// search window, titled with its scope (the home folder: the full path, since
// "~" alone says little), and quit when asked.
TEST(TrovixLaunch, ShowsItsWindowOnTheDisplay)
{
    QProcess app;
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(QStringLiteral(TROVIX_APP_PATH), {});
    ASSERT_TRUE(app.waitForStarted(10000));

    const QString title = QLatin1Char('^') + QRegularExpression::escape(QDir::homePath()) + QLatin1Char('$');
    QString found;
    EXPECT_TRUE(kztest::waitUntil(
        [&] {
            QProcess search;
            search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                     QStringLiteral("--name"), title, QStringLiteral("getwindowname")});
            search.waitForFinished(5000);
            found = QString::fromUtf8(search.readAllStandardOutput()).trimmed();
            return !found.isEmpty();
        },
        15000));
    EXPECT_EQ(found, QDir::homePath());

    app.terminate();
    EXPECT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
}
