// The alerts: the critical error shown on the GUI thread for a worker that
// waits, the files set aside, the review reminder, and the dark-mode question.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>

#include <gtest/gtest.h>

#include "support/KZArchive.h"
#include "support/KZLog.h"
#include "support/KZUserDefaults.h"
#include "tests/testlib/OpenedUrls.h"
#include "tests/testlib/TestEnvironment.h"
#include "toolkit/KZCriticalAlert.h"
#include "toolkit/KZMASReviewReclamAlert.h"
#include "toolkit/KZOSAppearance.h"
#include "toolkit/KZSetAsideAlert.h"

namespace {

// The message boxes on screen, of the given name when one is given.
QList<QMessageBox *> visibleAlerts(const QString &name = QString())
{
    QList<QMessageBox *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible() && (name.isNull() || box->objectName() == name))
            boxes.append(box);
    return boxes;
}

} // namespace

TEST(KZCriticalAlert, ShownOnTheGuiThreadWhileTheWorkerWaits)
{
    KZCriticalAlert::install();
    QStringList seen;
    std::atomic<bool> workerReturned = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QMessageBox *box : visibleAlerts()) {
            EXPECT_FALSE(workerReturned) << "the worker waits for the user";
            seen = QStringList{box->text(), box->informativeText()};
            for (QAbstractButton *b : box->buttons())
                seen.append(b->text());
            for (QAbstractButton *b : box->buttons()) {
                if (b->text() == QStringLiteral("Ok"))
                    b->click();
            }
        }
    });
    poll.start(20);
    std::unique_ptr<QThread> worker(QThread::create([&] {
        KZLog::showCritialException(QStringLiteral("[Walker run 12]\nscopeDir==nil"));
        workerReturned = true;
    }));
    worker->start();
    EXPECT_TRUE(kztest::waitUntil([&] { return bool(workerReturned); }, 10000));
    worker->wait();
    KZLog::setCriticalPresenter({});
    ASSERT_EQ(seen.size(), 5);
    EXPECT_TRUE(seen.at(0).contains(QStringLiteral("toolkit_gui_tests")));
    EXPECT_EQ(seen.at(1), QStringLiteral("[Walker run 12]\nscopeDir==nil"));
    QStringList buttons = seen.mid(2);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("Contact Support"), QStringLiteral("Ok"), QStringLiteral("Send Crash Report")}));
}

TEST(KZOSAppearance, DarkModeFollowsThePaletteAndIsRememberedUntilAskedAgain)
{
    const QPalette saved = QApplication::palette();
    for (const auto &[window, dark] : {std::pair{QColor(30, 30, 30), true}, std::pair{QColor(240, 240, 240), false}}) {
        QPalette palette = saved;
        palette.setColor(QPalette::Window, window);
        QApplication::setPalette(palette);
        EXPECT_EQ(KZ_OSAppearance::sharedInstance().isDarkModeCached(), true) << "the first answer stays";
        EXPECT_EQ(KZ_OSAppearance::sharedInstance().isDarkMode(), dark);
    }
    QApplication::setPalette(saved);
}


// A file set aside because it could not be read went unnoticed in the window;
// each one must be logged as a warning and shown once in an alert.
TEST(KZSetAsideAlert, EachFileSetAsideIsLoggedAndShownOnce)
{
    KZSetAsideAlert::install();
    kztest::LogCapture log;
    kztest::TempTree tree;
    const QStringList files = {tree.writeFile(QStringLiteral("SavedSearches"), "not an archive"),
                               tree.writeFile(QStringLiteral("FavoriteDirs"), "not an archive")};
    for (const QString &file : files)
        EXPECT_FALSE(kz_unarchivedObjectAtFile(file, file.section(QLatin1Char('/'), -1)));

    // Both, set aside before the window could show anything, in one alert.
    ASSERT_TRUE(kztest::waitUntil([] { return !visibleAlerts(QStringLiteral("KZSetAsideAlert")).isEmpty(); }, 5000));
    ASSERT_EQ(visibleAlerts(QStringLiteral("KZSetAsideAlert")).size(), 1);
    QMessageBox *box = visibleAlerts(QStringLiteral("KZSetAsideAlert")).first();
    for (const QString &aside : {files[0] + QStringLiteral(".bad"), files[1] + QStringLiteral(".bad")}) {
        EXPECT_TRUE(box->informativeText().contains(aside)) << box->informativeText().toStdString();
        int warnings = 0;
        for (const auto &[severity, entry] : log.records())
            warnings += severity == KZLogSeverityWarning && entry.contains(aside) ? 1 : 0;
        EXPECT_EQ(warnings, 1) << aside.toStdString();
    }
    box->button(QMessageBox::Ok)->click();
    EXPECT_FALSE(kztest::waitUntil([] { return !visibleAlerts(QStringLiteral("KZSetAsideAlert")).isEmpty(); }, 300)) << "shown once";
    KZSetAsideAlert::uninstall();
}

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
