#include <QLocale>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include "analytics/KZAnalytics.h"
#include "support/KZFunctions.h"
#include "support/KZUserDefaults.h"
#include "tests/crashreport/LoopbackHttpServer.h"
#include "tests/testlib/TestEnvironment.h"

// Each launch posts the six pairs once to a loopback usage page, unless the
// environment or the preference says no; then nothing reaches the server.
TEST(KZAnalytics, SendsTheRecordOncePerLaunchUnlessRefused)
{
    struct Case {
        const char *variable; // set to "1", or none
        bool switchedOn;
        bool expectSent;
    } cases[] = {
        { "DO_NOT_TRACK", true, false }, { "TROVIX_NO_ANALYTICS", true, false },
        { "TROVIX_DEVELOPER_MACHINE", true, false }, // the maker's test machine
        { nullptr, false, false }, { nullptr, true, true },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.variable ? c.variable : c.switchedOn ? "default" : "switched off");
        kztest::resetTestEnvironment();
        if (!c.switchedOn)
            KZUserDefaults::standardUserDefaults().setObject(false, KZAnalyticsEnabledKey);
        if (c.variable)
            qputenv(c.variable, "1");
        LoopbackHttpServer server;
        qputenv("TROVIX_WEBSITE_URL", server.baseUrl());
        KZAnalytics &analytics = KZAnalytics::sharedInstance();
        analytics.resetForTesting();

        EXPECT_EQ(analytics.sendUsageAtLaunch(), c.expectSent);
        EXPECT_FALSE(analytics.sendUsageAtLaunch());
        if (c.expectSent) {
            ASSERT_TRUE(kztest::waitUntil([&] { return server.complete(); }));
        }
        EXPECT_FALSE(kztest::waitUntil(
            [&] { return server.connections() > 1 || (!c.expectSent && server.connections() > 0); }, 300));
        if (c.variable)
            qunsetenv(c.variable);
        if (!c.expectSent)
            continue;

        EXPECT_EQ(server.requestLine(), "POST /usage.php HTTP/1.1");
        const QByteArray body = server.body();
        EXPECT_FALSE(body.contains(' ') || body.contains('(') || body.contains('/')) << body.constData();
        QStringList names, values;
        for (const auto &[name, value] : QUrlQuery(QString::fromLatin1(body)).queryItems(QUrl::FullyDecoded)) {
            names << name;
            values << value;
        }
        EXPECT_EQ(names, QStringLiteral("App Jeton System Hardware Locale Install-Type").split(QLatin1Char(' ')));
        const QString jeton
            = KZUserDefaults::standardUserDefaults().stringForKey(QStringLiteral("KZAnalytics-jetonId"));
        const QString expected
            = QStringLiteral("%1 %2 \\(%3\\)\n%4\nLinux .+\n.* - .+ Ghz \\(\\d+\\) - .+\n%5\nStandalone")
                  .arg(KZFunctions::appName(), KZFunctions::appVersion(), KZFunctions::appBuild(),
                      QRegularExpression::escape(jeton), QLocale().name());
        EXPECT_TRUE(QRegularExpression(QStringLiteral("\\A") + expected + QStringLiteral("\\z"))
                        .match(values.join(QLatin1Char('\n')))
                        .hasMatch())
            << values.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(jeton.size(), 36);
    }
    qunsetenv("TROVIX_WEBSITE_URL");
}
