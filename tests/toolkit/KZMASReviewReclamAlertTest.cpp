#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/KZUserDefaults.h"
#include "tests/testlib/OpenedUrls.h"
#include "tests/testlib/TestEnvironment.h"
#include "toolkit/KZMASReviewReclamAlert.h"

namespace {

// Clicks the alert's button titled `title` once the alert shows; records the
// alert's texts and button titles.
void answerAlert(const QString &title, QStringList *seen)
{
    QTimer::singleShot(0, [title, seen] {
        QMessageBox *box = nullptr;
        kztest::waitUntil([&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->objectName() == QLatin1String("KZMASReviewReclam"))
                    box = qobject_cast<QMessageBox *>(w);
            return box != nullptr;
        });
        if (!box)
            return;
        *seen << box->text() << box->informativeText();
        for (QAbstractButton *button : box->buttons())
            *seen << button->text();
        for (QAbstractButton *button : box->buttons())
            if (button->text() == title)
                return button->click();
    });
}

} // namespace

// The due reminder must show its alert, and only "Rate It Now" may open the
// store page and hold the reminder off; each store kind opens its own address.
TEST(KZMASReviewReclamAlert, AnswersOpenTheStorePage)
{
    kztest::resetTestEnvironment();
    qputenv("TROVIX_WEBSITE_URL", "http://127.0.0.1:9");
    const QDateTime now = QDateTime::currentDateTime();
    KZMASReviewReclam::setClock([now] { return now; });
    kztest::OpenedUrls site(QStringLiteral("http"));
    kztest::OpenedUrls store(QStringLiteral("appstream"));
    for (const QString &answer : {QStringLiteral("Remind Me Later"), QStringLiteral("Rate It Now")}) {
        KZUserDefaults::standardUserDefaults().setDate(now.addDays(-15), KZMASReviewReclamCheckReviewDateKey);
        QStringList seen;
        answerAlert(answer, &seen);
        const bool rated = KZMASReviewReclamAlert::displayReclamIfNecessary();
        EXPECT_EQ(rated, answer == QLatin1String("Rate It Now"));
        ASSERT_EQ(seen.size(), 4) << answer.toStdString();
        EXPECT_EQ(seen[0], QStringLiteral("Enjoying Trovix?"));
        EXPECT_TRUE(seen[1].contains(QStringLiteral("rate it"))) << seen[1].toStdString();
        EXPECT_TRUE(seen.contains(QStringLiteral("Rate It Now")) && seen.contains(QStringLiteral("Remind Me Later")));
        EXPECT_EQ(KZUserDefaults::standardUserDefaults().dateForKey(KZMASReviewReclamCheckReviewRatedDateKey).isValid(), rated);
        EXPECT_EQ(site.urls.size(), rated ? 1 : 0);
    }
    EXPECT_EQ(site.urls.value(0), QUrl(QStringLiteral("http://127.0.0.1:9?page=review&app=trovix")));
    EXPECT_TRUE(KZMASReviewReclam::openPageProductId(QStringLiteral("org.trovix.Trovix"), 1));
    EXPECT_EQ(store.urls, QList<QUrl>{QUrl(QStringLiteral("appstream://org.trovix.Trovix"))});
    EXPECT_FALSE(KZMASReviewReclam::openPageProductId(QStringLiteral("trovix"), 3));
    KZMASReviewReclam::setClock({});
}
