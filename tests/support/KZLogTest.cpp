#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include "support/KZLog.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

struct Receiver {
    void fail() { KZLOG_ERROR_M(QStringLiteral("scopeDir==nil")); }
};

void functionThatFails()
{
    KZLOG_WARNING_F(QStringLiteral("lstat!=0"));
}

// Runs fn on a new thread and waits for it, processing events meanwhile.
void onWorker(const std::function<void()> &fn)
{
    bool done = false;
    QThread *worker = QThread::create([&] {
        fn();
        done = true;
    });
    worker->start();
    EXPECT_TRUE(kztest::waitUntil([&] { return done; }));
    worker->wait();
    delete worker;
}

} // namespace

TEST(KZLog, EntryFormatOfEverySeverityAndCaller)
{
    kztest::LogCapture capture;
    KZLog::logDiag(QStringLiteral("d"));
    KZLog::logDebug(QStringLiteral("hidden"));
    KZLog::logWithSeverity(KZLogSeverityDebug, QStringLiteral("hidden too"));
    KZLog::logInfo(QStringLiteral("i"));
    KZLog::logWarning(QStringLiteral("w"));
    KZLog::logError(QStringLiteral("x"));
    KZLog::logCriticalException(QStringLiteral("c"));
    KZLog::logWithSeverity(3, QStringLiteral("y"), QStringLiteral("Error Domain=POSIX Code=2"));
    KZLog::logWithSeverity(4, QStringLiteral("empty error"), QStringLiteral(""));
    Receiver().fail();
    functionThatFails();

    const QStringList e = capture.entries();
    ASSERT_EQ(e.size(), 9);
    EXPECT_EQ(e.mid(0, 7), (QStringList{QStringLiteral("DIAG d"), QStringLiteral("INFO i"), QStringLiteral("WARNING w"),
                                        QStringLiteral("ERROR x"), QStringLiteral("CRITIRAL EXCEPTION c"),
                                        QStringLiteral("WARNING y\n{Error Domain=POSIX Code=2\n}"),
                                        QStringLiteral("ERROR empty error\n{\n}")}));
    EXPECT_EQ(capture.records()[4].first, KZLogSeverityCriticalException);
    // "%s(%d) %@ %@": method, line, receiver, message.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ERROR fail\\(\\d+\\) <\\(anonymous namespace\\)::Receiver: 0x[0-9a-f]+> scopeDir==nil$"))
                    .match(e[7]).hasMatch()) << e[7].toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^WARNING functionThatFails\\(\\d+\\) lstat!=0$")).match(e[8]).hasMatch())
        << e[8].toStdString();
    EXPECT_EQ(KZAlertMessage(QStringLiteral("ScopeDirManager"), "saveToDisk", 12, QStringLiteral("m")),
              QStringLiteral("[ScopeDirManager saveToDisk 12]\nm"));
}

TEST(KZLog, CriticalFromAWorkerIsShownOnTheGuiThreadOrOnlyLogged)
{
    kztest::LogCapture capture;
    KZLog::setCriticalPresenter({});
    onWorker([] {
        KZLog::logCriticalException(QStringLiteral("from worker"));
        KZLog::showCritialException(QStringLiteral("from worker"));
    });
    EXPECT_EQ(capture.entries(), QStringList{QStringLiteral("CRITIRAL EXCEPTION from worker")});

    QStringList shown;
    Qt::HANDLE shownOn = nullptr;
    KZLog::setCriticalPresenter([&](const QString &m) {
        shown.append(m);
        shownOn = QThread::currentThreadId();
    });
    // The worker returns only after the presenter ran.
    onWorker([&] { KZLog::showCritialException(QStringLiteral("boom")); EXPECT_EQ(shown.size(), 1); });
    KZLog::setCriticalPresenter({});
    EXPECT_EQ(shown, QStringList{QStringLiteral("boom")});
    EXPECT_EQ(shownOn, QThread::currentThreadId());
}
