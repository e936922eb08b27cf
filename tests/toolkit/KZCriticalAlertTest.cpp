// The critical-error alert, shown on the GUI thread for a worker that waits,
// and the dark-mode question.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>

#include <gtest/gtest.h>

#include "support/KZLog.h"
#include "toolkit/KZCriticalAlert.h"
#include "toolkit/KZOSAppearance.h"
#include "tests/testlib/TestEnvironment.h"

TEST(KZCriticalAlert, ShownOnTheGuiThreadWhileTheWorkerWaits)
{
    KZCriticalAlert::install();
    QStringList seen;
    std::atomic<bool> workerReturned = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible())
                continue;
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
