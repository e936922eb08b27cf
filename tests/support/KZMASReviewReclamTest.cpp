#include <QUrl>

#include <gtest/gtest.h>

#include "support/KZMASReviewReclam.h"
#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

// The reminder asked on the first launch, or too often: its first launch must
// only start the clock, questions come fifteen days apart, and "Rate It Now"
// keeps it away for a year. Each launch re-reads the settings from disk.
TEST(KZMASReviewReclam, AsksOnlyOnTheDueLaunches)
{
    kztest::resetTestEnvironment();
    qputenv("TROVIX_WEBSITE_URL", "http://127.0.0.1:9");
    const QDateTime start = QDateTime::fromString(QStringLiteral("2026-03-01T10:00:00"), Qt::ISODate);
    QDateTime clock = start;
    bool answer = false;
    QStringList titles;
    QList<QUrl> opened;
    KZMASReviewReclam::setClock([&] { return clock; });
    KZMASReviewReclam::setAskUser([&](const QString &title, const QString &) {
        titles.append(title);
        return answer;
    });
    KZMASReviewReclam::setOpenURL([&](const QUrl &url) {
        opened.append(url);
        return true;
    });

    struct Launch {
        qint64 day;
        bool rate; // the answer, when asked
        bool asked;
    };
    const Launch launches[] = {
        {0, true, false},   {14, true, false},  {15, false, true}, // "Remind Me Later"
        {29, true, false},  {30, true, true},                      // "Rate It Now"
        {45, true, false},  {394, true, false}, {395, false, true}, // a year after rating
        {409, true, false}, {410, false, true},
    };
    for (const Launch &launch : launches) {
        KZUserDefaults::resetStandardUserDefaults();
        clock = start.addDays(launch.day);
        answer = launch.rate;
        const qsizetype before = titles.size();
        const bool rated = KZMASReviewReclam::displayReclamIfNecessaryProductId(QStringLiteral("trovix"), 2);
        EXPECT_EQ(titles.size() - before, launch.asked ? 1 : 0) << "day " << launch.day;
        EXPECT_EQ(rated, launch.asked && launch.rate) << "day " << launch.day;
        if (launch.day == 0) {
            EXPECT_EQ(KZUserDefaults::standardUserDefaults().dateForKey(KZMASReviewReclamCheckReviewDateKey), start);
        }
    }
    ASSERT_FALSE(titles.isEmpty());
    EXPECT_EQ(titles.first(), QStringLiteral("Enjoying Trovix?"));
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:9?page=review&app=trovix"))});
    KZMASReviewReclam::setClock({});
    KZMASReviewReclam::setAskUser({});
    KZMASReviewReclam::setOpenURL({});
}
