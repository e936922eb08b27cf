#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <tuple>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "crashreport/KZCrashReport.h"
#include "crashreport/KZCrashReporter.h"
#include "platform/KZFatalSignals.h"
#include "support/KZUserDefaults.h"
#include "tests/crashreport/LoopbackHttpServer.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

struct Recorder : KZCrashReportDelegate {
    QList<QVariantMap> collecting, submitting;
    void crashReportCollectingProgress(const QVariantMap &p) override { collecting.append(p); }
    void crashReportSubmittingProgress(const QVariantMap &p) override { submitting.append(p); }
    int lastSubmit() const { return submitting.isEmpty() ? 0 : submitting.last().value(QStringLiteral("progression")).toInt(); }
};

} // namespace

// A run is a real process: it registers its launch and then quits cleanly or
// is killed; the next launch decides on the report window.
TEST(KZCrashReporter, DetectsARunThatNeverTerminated)
{
    // how the run ended, whether it quit cleanly, /proc/uptime, report window at the next launch
    const std::tuple<const char *, bool, const char *, bool> cases[] = {
        {"clean exit", true, "5000.00 9000.00\n", false},
        {"killed before termination", false, "5000.00 9000.00\n", true},
        {"killed, system up for under a minute", false, "42.50 80.00\n", false},
    };
    for (const auto &[name, cleanExit, uptime, expectWindow] : cases) {
        SCOPED_TRACE(name);
        kztest::resetTestEnvironment();
        kztest::TempTree tree;
        KZCrashReporter &reporter = KZCrashReporter::sharedInstance();
        reporter.setUptimePathForTesting(tree.writeFile(QStringLiteral("uptime"), uptime));
        reporter.resetForTesting();
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            reporter.applicationLoaded();
            if (cleanExit)
                reporter.applicationTerminated();
            else
                raise(SIGKILL);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_EQ(WIFSIGNALED(status), !cleanExit);
        KZUserDefaults::resetStandardUserDefaults();

        QList<int> shownModes;
        int updateChecks = 0;
        reporter.setPresenter([&](int mode) { shownModes.append(mode); });
        reporter.setUpdateCheckHook([&] { ++updateChecks; });
        reporter.applicationLoaded();
        EXPECT_EQ(reporter.offerReportAfterCrash(), expectWindow);
        EXPECT_EQ(shownModes, expectWindow ? QList<int>{0} : QList<int>{});
        EXPECT_EQ(updateChecks, expectWindow ? 1 : 0);
        EXPECT_FALSE(reporter.needsDisplayReclam());
        KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
        EXPECT_EQ(defaults.integerForKey(QStringLiteral("KZCrashReporter-StartCount")), 2);
        EXPECT_EQ(defaults.integerForKey(QStringLiteral("KZCrashReporter-NumberOfCrashs")), expectWindow ? 1 : 0);
        reporter.setPresenter({});
        reporter.setUpdateCheckHook({});
    }
    KZCrashReporter::sharedInstance().setUptimePathForTesting(QStringLiteral("/proc/uptime"));
}

TEST(KZCrashReporter, FatalSignalLeavesACrashFileAndStillKills)
{
    struct Case {
        const char *name;
        int signo;
        void (*crash)();
    } cases[] = {
        {"abort", SIGABRT, [] { abort(); }},
        {"write to an unmapped page", SIGSEGV, [] {
             volatile std::uintptr_t address = 16;
             *reinterpret_cast<volatile int *>(address) = 1;
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString crashes = dir.path() + QStringLiteral("/state/crashes");
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            if (!kzplatform::kzInstallFatalSignalHandler(crashes.toLocal8Bit(), "0.1.0 (77)"))
                _exit(3);
            c.crash();
            _exit(4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), c.signo);
        const QStringList files = QDir(crashes).entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1);
        EXPECT_TRUE(files[0].startsWith(QStringLiteral("trovix-")));
        EXPECT_TRUE(files[0].endsWith(QStringLiteral("-%1.crash").arg(pid)));
        const QByteArray text = kztest::readFile(crashes + QLatin1Char('/') + files[0]);
        EXPECT_TRUE(text.contains("Signal: " + QByteArray(c.signo == SIGABRT ? "SIGABRT" : "SIGSEGV"))) << text.data();
        EXPECT_TRUE(text.contains("Build: 0.1.0 (77)\n"));
        // Frames, each with its binary: the test program itself at least.
        const QByteArray frames = text.mid(text.indexOf("Backtrace:\n") + 11);
        EXPECT_GE(frames.count('\n'), 3);
        EXPECT_TRUE(frames.contains("crashreport_tests")) << text.data();
    }
}

TEST(KZCrashReport, CollectsWithoutJournalAndUploadsToLoopback)
{
    kztest::resetTestEnvironment();
    kztest::LogCapture log;
    // No journalctl, ldd or coredumpctl on this PATH.
    QTemporaryDir emptyBin;
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", emptyBin.path().toLocal8Bit());
    kztest::writeText(KZCrashReporter::crashesDirPath() + QStringLiteral("/trovix-1700000000-42.crash"),
                      "Signal: SIGSEGV (11)\n" + QDir::homePath().toUtf8() + "/.local/bin/trovix(+0x1234)\n");
    // The temporary directory is shared by every account: a link planted at
    // the working folder's name once had another folder emptied.
    kztest::TempTree victim;
    const QString kept = victim.writeFile(QStringLiteral("keep.txt"), "mine");
    const QString planted = QDir::tempPath() + QStringLiteral("/org.trovix.Trovix-KZCrashReporter");
    ASSERT_EQ(::symlink(QFile::encodeName(victim.root()).constData(), QFile::encodeName(planted).constData()), 0);

    Recorder recorder;
    KZCrashReport report(&recorder);
    report.startCollect();
    ASSERT_TRUE(kztest::waitUntil([&] {
        return !recorder.collecting.isEmpty() && recorder.collecting.last().value(QStringLiteral("progression")) == 2;
    }));
    qputenv("PATH", savedPath);
    const QString collected = report.collectDirPath();
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_FALSE(collected.startsWith(planted + QLatin1Char('/'))) << collected.toStdString();
    EXPECT_TRUE(QFileInfo(collected).fileName().startsWith(QStringLiteral("crashreport_tests_%1_").arg(KZCrashReport::jetonId())));
    EXPECT_TRUE(kztest::readFile(collected + QStringLiteral("/Env Profile.tlg")).contains("SystemVersion: Linux "));
    EXPECT_TRUE(kztest::readFile(collected + QStringLiteral("/ASL trovix.tlg"))
                    .startsWith("----------- KZCrashReporter ASL Collect -----------\n"));
    EXPECT_EQ(kztest::readFile(collected + QStringLiteral("/CrashReports-User/trovix-1700000000-42.crash")),
              "Signal: SIGSEGV (11)\n/home/xxx/.local/bin/trovix(+0x1234)\n");

    // A refusing server first, then one that takes the report.
    const std::tuple<QByteArray, int, QString> cases[] = {
        {"503 service unavailable", -1, QStringLiteral("Service Unavailable")}, {"200 OK", 3, QString()}};
    for (const auto &[statusLine, progression, error] : cases) {
        SCOPED_TRACE(statusLine.constData());
        LoopbackHttpServer server(statusLine);
        qputenv("TROVIX_WEBSITE_URL", server.baseUrl());
        recorder.submitting.clear();
        report.startSubmit();
        EXPECT_TRUE(report.isSubmitting());
        ASSERT_TRUE(kztest::waitUntil([&] { return recorder.lastSubmit() == -1 || recorder.lastSubmit() == 3; }));
        EXPECT_EQ(recorder.lastSubmit(), progression);
        EXPECT_EQ(recorder.submitting.last().value(QStringLiteral("error")).toString(), error);
        EXPECT_EQ(server.requestLine(), "POST /crashreport.php?file=" + QFileInfo(report.zipPath()).fileName().toUtf8() +
                                            "&app=crashreport_tests&appbuild=" TROVIX_BUILD_NUMBER_TEXT " HTTP/1.1");
        EXPECT_TRUE(server.body().startsWith("PK\x03\x04"));
        EXPECT_EQ(server.body(), kztest::readFile(report.zipPath()));
    }
    qunsetenv("TROVIX_WEBSITE_URL");
    const QString dir = report.dirPath();
    EXPECT_TRUE(report.cleanDir());
    EXPECT_FALSE(QFileInfo::exists(dir));
}

TEST(KZCrashReport, UploadsOnlyOverHttpsOrToLoopback)
{
    const std::pair<const char *, bool> cases[] = {
        {"https://www.trovix.org/crashreport.php", true}, {"http://127.0.0.1:8080/x", true},
        {"http://localhost/x", true},   {"http://[::1]:80/x", true},
        {"http://www.trovix.org/x", false}, {"ftp://127.0.0.1/x", false}, {"http://10.0.0.1/x", false},
    };
    for (const auto &[url, allowed] : cases)
        EXPECT_EQ(KZCrashReport::isAllowedUploadURL(QUrl(QString::fromLatin1(url))), allowed) << url;
}
