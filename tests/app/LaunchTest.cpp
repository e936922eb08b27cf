#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include "tests/testlib/TestEnvironment.h"

// The real executable on the test's own display: it must come up with its
// search window, titled with its scope (the home folder: the full path, since
// "~" alone says little), and quit when asked.
TEST(TrovixLaunch, ShowsItsWindowOnTheDisplay)
{
    QProcess app;
    app.setProgram(QStringLiteral(TROVIX_APP_PATH));
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start();
    ASSERT_TRUE(app.waitForStarted(10000));

    QString found;
    const bool shown = kztest::waitUntil(
        [&] {
            QProcess search;
            search.start(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                          QLatin1Char('^') + QRegularExpression::escape(QDir::homePath()) + QLatin1Char('$'),
                          QStringLiteral("getwindowname")});
            search.waitForFinished(5000);
            found = QString::fromUtf8(search.readAllStandardOutput()).trimmed();
            return !found.isEmpty();
        },
        15000);
    EXPECT_TRUE(shown);
    EXPECT_EQ(found, QDir::homePath());

    app.terminate();
    EXPECT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
}
