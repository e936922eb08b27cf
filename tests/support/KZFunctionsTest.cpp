// The support library: byte counts, commands, folders, machine facts, strings,
// the stored hot key form and the log.
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/KZHotKeyKeys.h"
#include "support/KZFunctions.h"
#include "support/KZHotKeyRepresentation.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "support/KZScrambled.h"
#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

TEST(KZFunctions, ByteCounts)
{
    const std::pair<qint64, const char *> fallback[] = {
        {0, "Zero Byte"}, {1024, "1 KB"},        {1536, "2 KB"},       {1572864, "1.5 MB"},
        {2097152, "2 MB"}, {1610612736, "1.50 GB"}, {3LL << 40, "3 TB"},
    };
    for (const auto &[count, text] : fallback)
        EXPECT_EQ(KZFunctions::stringFromBytesFallback(count), QString::fromUtf8(text)) << count;
    EXPECT_TRUE(KZFunctions::stringFromBytesFallback(-1).isNull());
    EXPECT_TRUE(KZFunctions::stringFromBytesWithBin1024Style(-5).isNull());
    EXPECT_EQ(KZFunctions::stringFromBytesWithBin1024Style(1536), QStringLiteral("1.50 kB"));
    // The platform formatter says "1 bytes"; one byte is singular.
    EXPECT_EQ(KZFunctions::stringFromBytesWithBin1024Style(1), QStringLiteral("1 byte"));
    EXPECT_EQ(KZFunctions::stringFromBytesWithBin1024Style(2), QStringLiteral("2 bytes"));
}

TEST(KZFunctions, ExecuteCommandReportsStatusAndBothStreams)
{
    kztest::TempTree tree;
    int status = -1;
    QString out, err;
    const auto run = [&](const QByteArray &body, const QStringList &args = {},
                         const std::optional<QProcessEnvironment> &env = std::nullopt, const QString &dir = QString()) {
        const QString tool = tree.writeFile(QStringLiteral("tool.sh"), "#!/bin/sh\n" + body);
        tree.chmod(QStringLiteral("tool.sh"), 0755);
        return KZFunctions::executeCommand(tool, args, env, dir, &status, &out, &err);
    };
    ASSERT_TRUE(run("echo oops >&2\nexit 3\n"));
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(err, QStringLiteral("oops\n"));
    // Output that is not text is reported as such.
    ASSERT_TRUE(run("printf '\\377\\376abc'\n"));
    EXPECT_EQ(out, QStringLiteral("outString==nil"));
    QProcessEnvironment env;
    env.insert(QStringLiteral("TROVIX_X"), QStringLiteral("42"));
    ASSERT_TRUE(run("printf '%s|' \"$@\" \"$TROVIX_X\"; pwd\n", {QStringLiteral("a b"), QStringLiteral("c")}, env,
                    tree.root()));
    EXPECT_EQ(out, QStringLiteral("a b|c|42|%1\n").arg(tree.root()));

    // 4 MiB on each stream, interleaved, far beyond a pipe's 64 KiB buffer, do not deadlock.
    ASSERT_TRUE(run("i=0\nwhile [ $i -lt 64 ]; do\n"
                    "  head -c 65536 /dev/zero | tr '\\0' o\n"
                    "  head -c 65536 /dev/zero | tr '\\0' e >&2\n"
                    "  i=$((i+1))\ndone\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, QString(64 * 65536, QLatin1Char('o')));
    EXPECT_EQ(err, QString(64 * 65536, QLatin1Char('e')));

    // What is not an executable file is refused.
    for (const QString &path : {QString(), QStringLiteral("/"), tree.root(), tree.path(QStringLiteral("missing")),
                                tree.writeFile(QStringLiteral("plain.txt"), "x")}) {
        status = 7;
        EXPECT_FALSE(KZFunctions::executeCommand(path, {}, &status, &out, &err)) << path.toStdString();
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(out.isEmpty() && err.isEmpty());
    }
}

TEST(KZFunctions, FoldersFollowXdgAndReplaceOnlyWhenAllowed)
{
    kztest::resetTestEnvironment();
    const QString support = KZFunctions::appSupportPath();
    EXPECT_EQ(support, qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/org.trovix.Trovix"));
    EXPECT_TRUE(QFileInfo(support).isDir());

    kztest::TempTree tree;
    const QString file = tree.writeFile(QStringLiteral("thing"), "keep me");
    EXPECT_FALSE(KZFunctions::checkDirectoryAtPath(file, false));
    EXPECT_TRUE(QFileInfo(file).isFile());
    EXPECT_TRUE(KZFunctions::checkDirectoryAtPath(file, true));
    EXPECT_TRUE(QFileInfo(file).isDir());
    EXPECT_TRUE(KZFunctions::checkDirectoryAtPath(tree.path(QStringLiteral("a/b/c")), false));
    EXPECT_TRUE(QFileInfo(tree.path(QStringLiteral("a/b/c"))).isDir());
}

// The machine facts of the crash report and the usage record, and the
// scrambled page names.
TEST(KZFunctions, MachineFactsAndScrambledNames)
{
    EXPECT_GT(KZMacInfo::physicalMemory(), 0u);
    KZMacInfo::MemoryStatistics stats;
    EXPECT_TRUE(KZMacInfo::getMemoryStatistics(&stats));
    EXPECT_GT(stats.freeCount + stats.activeCount + stats.inactiveCount, 0u);
    const std::pair<double, const char *> uptimes[] = {
        {200000, "200000, 2.31 days"},   {172800, "172800, 48.00 hours"},   {7200, "7200, 2.00 hours"},
        {3700, "3700, 1.03 hour"},       {3600, "3600, 60.00 minutes"},     {119, "119, 119 sec(s)"},
    };
    for (const auto &[seconds, text] : uptimes)
        EXPECT_EQ(KZMacInfo::formatUptime(seconds), QString::fromUtf8(text));

    constexpr auto page = kzScramble("crash");
    QByteArray scrambled(page.data, static_cast<qsizetype>(page.length()));
    EXPECT_EQ(KZ_StringDelacement(scrambled.size(), scrambled.data(), 0), QStringLiteral("crash"));
    QByteArray junk("!!!not base64");
    EXPECT_TRUE(KZ_StringDelacement(junk.size(), junk.data(), 0).isNull());
}

TEST(KZLocalization, SymbolicKeysAndFormats)
{
    KZLocalization::registerEnglish("TestTable", {{"KZTest_key", "Words"}});
    EXPECT_EQ(KZLocalizedString("KZTest_key", "TestTable"), QStringLiteral("Words"));
    EXPECT_EQ(KZLocalizedString("No translation here", "TestTable"), QStringLiteral("No translation here"));
    EXPECT_EQ(KZLocalizedString("KZTest_key"), QStringLiteral("KZTest_key"));
    EXPECT_EQ(KZStringWithFormat(QStringLiteral("%@ of %d (%.2f%%) %ld %lu %s"),
                                 {QStringLiteral("a"), QStringLiteral("2"), QStringLiteral("3.00"), QStringLiteral("4"),
                                  QStringLiteral("5"), QStringLiteral("x")}),
              QStringLiteral("a of 2 (3.00%) 4 5 x"));
    EXPECT_EQ(KZStringWithFormat(QStringLiteral("%@ and %@"), {QStringLiteral("one")}), QStringLiteral("one and %@"));
}

TEST(KZHotKeyRepresentation, ReadsAndWritesTheStoredForm)
{
    // text, then key code, modifier flags and enabled when it reads
    const std::pair<const char *, std::optional<std::tuple<quint64, quint64, bool>>> rows[] = {
        {"KZHotKeyRepresentation-49-1048576-1", std::tuple{49, 1048576, true}},
        {"anything-49-1048576-0", std::tuple{49, 1048576, false}},
        {"-12abc-zz-7", std::tuple{12, 0, true}},
        {"KZHotKeyRepresentation-49-1048576", std::nullopt},
        {"KZHotKeyRepresentation-49-1048576-1-1", std::nullopt},
    };
    for (const auto &[text, expected] : rows) {
        const auto rep = KZHotKeyRepresentation::initWithStringRepresentation(QString::fromLatin1(text));
        ASSERT_EQ(rep.has_value(), expected.has_value()) << text;
        if (rep)
            EXPECT_EQ(std::make_tuple(rep->keyCode(), rep->modifierFlags(), rep->isEnabled()), *expected) << text;
    }
    KZHotKeyRepresentation(49, KZModifierCommand, true).saveToUserDefaults();
    KZUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().stringForKey(QStringLiteral("HotKey-StringRepresentation")),
              QStringLiteral("KZHotKeyRepresentation-49-1048576-1"));
    EXPECT_EQ(KZHotKeyRepresentation::hotKeyRepresentationFromUserDefaults()->keyCode(), 49u);
}

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
