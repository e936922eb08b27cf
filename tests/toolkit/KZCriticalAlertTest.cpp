#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/KZLog.h"
#include "toolkit/KZCriticalAlert.h"
#include "toolkit/KZOSAppearance.h"
#include "tests/testlib/TestEnvironment.h"

TEST(KZCriticalAlert, ShownOnTheGuiThreadWhileTheWorkerWaits)
{
    KZCriticalAlert::install();
    QStringList buttons;
    QString informative, title;
    bool workerReturned = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible())
                continue;
            title = box->text();
            informative = box->informativeText();
            for (QAbstractButton *b : box->buttons())
                buttons.append(b->text());
            EXPECT_FALSE(workerReturned); // the worker waits for the user
            for (QAbstractButton *b : box->buttons())
                if (b->text() == QStringLiteral("Ok"))
                    b->click();
        }
    });
    poll.start(20);
    QThread *worker = QThread::create([&] {
        KZLog::showCritialException(QStringLiteral("[Walker run 12]\nscopeDir==nil"));
        workerReturned = true;
    });
    worker->start();
    EXPECT_TRUE(kztest::waitUntil([&] { return workerReturned; }, 10000));
    worker->wait();
    delete worker;
    poll.stop();
    KZLog::setCriticalPresenter({});
    EXPECT_EQ(informative, QStringLiteral("[Walker run 12]\nscopeDir==nil"));
    EXPECT_TRUE(title.contains(QStringLiteral("toolkit_gui_tests")));
    EXPECT_EQ(buttons.size(), 3);
    EXPECT_TRUE(buttons.contains(QStringLiteral("Send Crash Report")));
    EXPECT_TRUE(buttons.contains(QStringLiteral("Contact Support")));
    EXPECT_TRUE(buttons.contains(QStringLiteral("Ok")));
}

TEST(KZOSAppearance, DarkModeFollowsThePalette)
{
    const QPalette saved = QApplication::palette();
    QPalette dark = saved;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    QApplication::setPalette(dark);
    EXPECT_TRUE(KZ_OSAppearance::sharedInstance().isDarkMode());
    EXPECT_TRUE(KZ_OSAppearance::sharedInstance().isDarkModeCached());
    QPalette light = saved;
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    QApplication::setPalette(light);
    EXPECT_TRUE(KZ_OSAppearance::sharedInstance().isDarkModeCached()); // remembered until asked again
    EXPECT_FALSE(KZ_OSAppearance::sharedInstance().isDarkMode());
    QApplication::setPalette(saved);
}
