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

} // namespace

TEST(KZLog, EntryFormatOfEverySeverity)
{
    kztest::LogCapture capture;
    KZLog::logDiag(QStringLiteral("d"));
    KZLog::logInfo(QStringLiteral("i"));
    KZLog::logWarning(QStringLiteral("w"));
    KZLog::logError(QStringLiteral("x"));
    KZLog::logCriticalException(QStringLiteral("c"));
    KZLog::logWithSeverity(3, QStringLiteral("y"), QStringLiteral("Error Domain=POSIX Code=2"));
    KZLog::logWithSeverity(4, QStringLiteral("empty error"), QStringLiteral(""));

    const QStringList expected = {
        QStringLiteral("DIAG d"),
        QStringLiteral("INFO i"),
        QStringLiteral("WARNING w"),
        QStringLiteral("ERROR x"),
        QStringLiteral("CRITIRAL EXCEPTION c"),
        QStringLiteral("WARNING y\n{Error Domain=POSIX Code=2\n}"),
        QStringLiteral("ERROR empty error\n{\n}"),
    };
    EXPECT_EQ(capture.entries(), expected);
    const auto records = capture.records();
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(records[0].first, KZLogSeverityDiag);
    EXPECT_EQ(records[4].first, KZLogSeverityCriticalException);
}

TEST(KZLog, DebugWritesNothing)
{
    kztest::LogCapture capture;
    KZLog::logDebug(QStringLiteral("hidden"));
    KZLog::logWithSeverity(KZLogSeverityDebug, QStringLiteral("hidden too"));
    EXPECT_TRUE(capture.entries().isEmpty());
}

TEST(KZLog, CallerShapes)
{
    kztest::LogCapture capture;
    Receiver r;
    r.fail();
    functionThatFails();
    const QStringList e = capture.entries();
    ASSERT_EQ(e.size(), 2);
    // "%s(%d) %@ %@": method, line, receiver, message
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ERROR fail\\(\\d+\\) <\\(anonymous namespace\\)::Receiver: 0x[0-9a-f]+> scopeDir==nil$"))
                    .match(e[0]).hasMatch()) << e[0].toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^WARNING functionThatFails\\(\\d+\\) lstat!=0$")).match(e[1]).hasMatch())
        << e[1].toStdString();
    EXPECT_EQ(KZAlertMessage(QStringLiteral("ScopeDirManager"), "saveToDisk", 12, QStringLiteral("m")),
              QStringLiteral("[ScopeDirManager saveToDisk 12]\nm"));
}

TEST(KZLog, CriticalWithoutPresenterIsOnlyLoggedFromAnyThread)
{
    kztest::LogCapture capture;
    KZLog::setCriticalPresenter({});
    QThread *worker = QThread::create([] {
        KZLog::logCriticalException(QStringLiteral("from worker"));
        KZLog::showCritialException(QStringLiteral("from worker"));
    });
    worker->start();
    ASSERT_TRUE(worker->wait(5000));
    delete worker;
    EXPECT_EQ(capture.entries(), QStringList{QStringLiteral("CRITIRAL EXCEPTION from worker")});
}

TEST(KZLog, CriticalFromWorkerWaitsForTheGuiThread)
{
    QStringList shown;
    Qt::HANDLE shownOn = nullptr;
    KZLog::setCriticalPresenter([&](const QString &m) {
        shown.append(m);
        shownOn = QThread::currentThreadId();
    });
    bool returned = false;
    QThread *worker = QThread::create([&] {
        KZLog::showCritialException(QStringLiteral("boom"));
        returned = true; // only after the presenter ran
    });
    worker->start();
    EXPECT_TRUE(kztest::waitUntil([&] { return returned; }));
    worker->wait();
    delete worker;
    KZLog::setCriticalPresenter({});
    EXPECT_EQ(shown, QStringList{QStringLiteral("boom")});
    EXPECT_EQ(shownOn, QThread::currentThreadId());
}

TEST(KZLog, ReturnWithMessageHelpers)
{
    QString out;
    EXPECT_FALSE(KZ_ReturnNoWithMessage(QStringLiteral("no scope"), &out));
    EXPECT_EQ(out, QStringLiteral("no scope"));
    EXPECT_FALSE(KZ_ReturnNoWithMessage(QStringLiteral("ignored"), nullptr));
    EXPECT_EQ(KZ_ReturnNilWithMessage(QStringLiteral("nil"), &out), nullptr);
    EXPECT_EQ(out, QStringLiteral("nil"));
    EXPECT_EQ(KZ_ReturnNULLWithMessage(QStringLiteral("null"), &out), nullptr);
    EXPECT_EQ(out, QStringLiteral("null"));
    EXPECT_EQ(KZ_ReturnIntegerWithMessage(-3, QStringLiteral("int"), &out), -3);
    EXPECT_EQ(out, QStringLiteral("int"));
}
