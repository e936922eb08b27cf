#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/KZUserDefaults.h"
#include "tests/testlib/OpenedUrls.h"
#include "tests/testlib/TestEnvironment.h"
#include "toolkit/KZMASReviewReclamAlert.h"

// The reminder asked on the first launch, or too often: the first launch only
// starts the clock, questions come fifteen days apart, "Rate It Now" opens the
// store page and keeps the reminder away for a year. Settings re-read each launch.
TEST(KZMASReviewReclam, AsksOnlyOnTheDueLaunchesAndOpensTheStore)
{
    kztest::resetTestEnvironment();
    qputenv("TROVIX_WEBSITE_URL", "http://127.0.0.1:9");
    kztest::OpenedUrls site(QStringLiteral("http")), store(QStringLiteral("appstream"));
    const QDateTime start = QDateTime::fromString(QStringLiteral("2026-03-01T10:00:00"), Qt::ISODate);
    QDateTime clock = start;
    QString answer;
    QStringList seen; // the last alert's texts and buttons
    KZMASReviewReclamAlert::install();
    KZMASReviewReclam::setClock([&] { return clock; });
    KZMASReviewReclam::setAskUser([&](const QString &title, const QString &message) {
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            seen = {box->objectName(), box->text()};
            for (QAbstractButton *button : box->buttons())
                seen << button->text();
            for (QAbstractButton *button : box->buttons())
                if (button->text() == answer)
                    return button->click();
            box->reject(); // not expected to be asked: close it all the same
        });
        return KZMASReviewReclamAlert::runAlert(title, message);
    });
    const std::pair<int, const char *> launches[] = { // day, answer when asked ("" = not asked)
        {0, ""}, {14, ""}, {15, "Remind Me Later"}, {29, ""}, {30, "Rate It Now"}, {45, ""}, {394, ""},
        {395, "Remind Me Later"}, {409, ""}, {410, "Rate It Now"}};
    for (const auto &[day, expected] : launches) {
        KZUserDefaults::resetStandardUserDefaults();
        clock = start.addDays(day);
        answer = QString::fromLatin1(expected);
        seen.clear();
        const bool rated = KZMASReviewReclam::displayReclamIfNecessaryProductId(KZReviewReclamProductId, 2);
        EXPECT_EQ(!seen.isEmpty(), !answer.isEmpty()) << "day " << day;
        EXPECT_EQ(rated, answer == QLatin1String("Rate It Now")) << "day " << day;
        if (!seen.isEmpty()) {
            EXPECT_EQ(seen.join(u'|'), QLatin1String("KZMASReviewReclam|Enjoying Trovix?|Rate It Now|Remind Me Later"));
        }
    }
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().dateForKey(KZMASReviewReclamCheckReviewDateKey), start.addDays(410));
    EXPECT_EQ(site.urls, QList<QUrl>(2, QUrl(QStringLiteral("http://127.0.0.1:9?page=review&app=trovix"))));
    EXPECT_TRUE(KZMASReviewReclam::openPageProductId(QStringLiteral("org.trovix.Trovix"), 1));
    EXPECT_EQ(store.urls, QList<QUrl>{QUrl(QStringLiteral("appstream://org.trovix.Trovix"))});
    KZMASReviewReclam::setClock({});
    KZMASReviewReclam::setAskUser({});
}
