#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>
#include <csignal>
#include <memory>

#include "app/AppDelegate.h"
#include "app/AppLaunch.h"
#include "app/KZHotKeyCenter.h"
#include "crashreport/KZCrashReporter.h"
#include "platform/KZHotKeyKeys.h"
#include "support/KZHotKeyRepresentation.h"
#include "support/KZMASReviewReclam.h"
#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

// The real executable, run on the test's display and its private session bus.
class Trovix
{
public:
    explicit Trovix(const QStringList &arguments, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(TROVIX_APP_PATH), arguments);
        EXPECT_TRUE(m_process.waitForStarted(10000));
    }
    ~Trovix()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid(), SIGCONT);
        m_process.terminate();
        EXPECT_TRUE(m_process.waitForFinished(30000));
        EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
    }
    qint64 pid() const { return m_process.processId(); }
    QProcess &process() { return m_process; }

    // The titles of its windows on screen.
    QStringList visibleWindowTitles() const
    {
        QStringList titles;
        for (const QString &id : xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                          QString::number(pid())}))
            titles += xdotool({QStringLiteral("getwindowname"), id});
        titles.sort();
        return titles;
    }
    bool waitForTitles(const QStringList &titles, int timeoutMs = 15000) const
    {
        return kztest::waitUntil([&] { return visibleWindowTitles() == titles; }, timeoutMs);
    }

private:
    static QStringList xdotool(const QStringList &arguments)
    {
        QProcess tool;
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(5000);
        return QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QProcess m_process;
};

// A second process run to its end: its exit code, or -1 when it kept running.
int runToEnd(const QStringList &arguments, int timeoutMs = 10000)
{
    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(QStringLiteral(TROVIX_APP_PATH), arguments);
    if (!second.waitForFinished(timeoutMs)) {
        second.kill();
        second.waitForFinished();
        return -1;
    }
    return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
}

// The maker's web site on 127.0.0.1: it keeps the request line of every
// request, whole, and answers 404 (no version file, an ignored usage answer).
class Site : public QObject
{
public:
    Site()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                const qsizetype at = buffer->toLower().indexOf("content-length:");
                const qsizetype length = at < 0 || at > end ? 0 : buffer->mid(at + 15, buffer->indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
                if (end < 0 || buffer->size() - end - 4 < length)
                    return;
                requests += QString::fromLatin1(buffer->left(buffer->indexOf("\r\n")));
                socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
        });
    }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort()); }
    // True once a request line starting with each prefix arrived.
    bool waitForRequests(const QStringList &prefixes)
    {
        return kztest::waitUntil([&] {
            return std::all_of(prefixes.begin(), prefixes.end(), [&](const QString &prefix) {
                return std::any_of(requests.begin(), requests.end(), [&](const QString &r) { return r.startsWith(prefix); });
            });
        }, 15000);
    }
    QStringList requests;

private:
    QTcpServer m_server;
};

QVariant storedSetting(const QString &key)
{
    const QString conf = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Trovix/Trovix.conf");
    return QSettings(conf, QSettings::IniFormat).value(key);
}

bool busNameOwned()
{
    return kztest::waitUntil(
        [] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.trovix.Trovix")); },
        15000);
}

} // namespace

// A run that was killed is noticed at the next launch, which offers the
// report after its window; a run that quit is not.
TEST(TrovixLaunch, OffersTheReportAfterAKilledRun)
{
    {
        Trovix killed({});
        ASSERT_TRUE(killed.waitForTitles({QDir::homePath()}));
        // Killed once the launch is over (the offer is its last step).
        QThread::msleep(1500);
        ::kill(killed.pid(), SIGKILL);
        killed.process().waitForFinished();
    }
    {
        Trovix afterCrash({});
        EXPECT_TRUE(afterCrash.waitForTitles({QDir::homePath(), QStringLiteral("Problem Report for Trovix")}))
            << afterCrash.visibleWindowTitles().join(QLatin1Char('|')).toStdString();
    }
    Trovix afterQuit({});
    EXPECT_TRUE(afterQuit.waitForTitles({QDir::homePath()}));
}

// A second trovix hands its request to the running one and exits 0: --toggle
// shows the windows of a background start and then hides them, no argument
// shows them, --new-window adds one, PATH (or its file:// address) opens a
// window searching there; bad arguments exit 2.
TEST(TrovixLaunch, SecondProcessHandsItsRequestToTheFirst)
{
    kztest::TempTree tree;
    const QString folder = tree.mkdir(QStringLiteral("projects"));
    // Launchers hand over addresses (Exec=trovix %U), escaped.
    const QString spaced = tree.mkdir(QStringLiteral("old notes"));
    const QString spacedUrl = QUrl::fromLocalFile(spaced).toString(QUrl::FullyEncoded);
    Trovix first({QStringLiteral("--background")});
    ASSERT_TRUE(busNameOwned());
    EXPECT_TRUE(first.visibleWindowTitles().isEmpty());
    EXPECT_EQ(runToEnd({QStringLiteral("--toggle")}), 0);
    EXPECT_TRUE(first.waitForTitles({QDir::homePath()}));
    const struct {
        QStringList arguments;
        int exitCode;
        QStringList titles;
    } steps[] = {
        {{QStringLiteral("--toggle")}, 0, {}},
        {{}, 0, {QDir::homePath()}},
        {{QStringLiteral("--new-window")}, 0, {QDir::homePath(), QDir::homePath()}},
        {{QStringLiteral("--bogus")}, 2, {QDir::homePath(), QDir::homePath()}},
        {{tree.path(QStringLiteral("missing"))}, 2, {QDir::homePath(), QDir::homePath()}},
        {{folder}, 0, {QDir::homePath(), QDir::homePath(), folder}},
        {{QStringLiteral("https://example.org/")}, 2, {QDir::homePath(), QDir::homePath(), folder}},
        {{spacedUrl}, 0, {QDir::homePath(), QDir::homePath(), spaced, folder}},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.arguments.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(runToEnd(step.arguments), step.exitCode);
        EXPECT_TRUE(first.waitForTitles(step.titles)) << first.visibleWindowTitles().join(QLatin1Char('|')).toStdString();
    }
}

// Without a session bus, or when the running one does not answer (stopped
// here), a new process runs alone with its own window, within the time box.
TEST(TrovixLaunch, RunsAloneWithoutABusOrAnAnswer)
{
    QProcessEnvironment noBus = QProcessEnvironment::systemEnvironment();
    noBus.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    for (const bool stopFirst : {false, true}) {
        SCOPED_TRACE(stopFirst ? "first stopped" : "no bus");
        const QProcessEnvironment env = stopFirst ? QProcessEnvironment::systemEnvironment() : noBus;
        Trovix first({}, env);
        // Its window is titled with its scope: the home folder, as a full path.
        ASSERT_TRUE(first.waitForTitles({QDir::homePath()}));
        if (stopFirst) {
            ASSERT_TRUE(busNameOwned());
            // Stopped while it writes its settings, the first would keep their
            // lock and the second could never write its own: it is stopped once
            // the layout passes of its launch (which store the list's columns) are over.
            QThread::msleep(1500);
            ASSERT_EQ(::kill(first.pid(), SIGSTOP), 0);
        }
        QElapsedTimer clock;
        clock.start();
        Trovix second({}, env);
        EXPECT_TRUE(second.waitForTitles({QDir::homePath()}, 20000));
        EXPECT_LT(clock.elapsed(), 15000);
        EXPECT_EQ(second.process().state(), QProcess::Running);
    }
}

// A newer Trovix stored its build in the settings: this older copy ends at
// once, before any window opens, and leaves the session's name free.
TEST(TrovixLaunch, EndsWhenANewerBuildRanBefore)
{
    const QString conf = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Trovix/Trovix.conf");
    QDir().mkpath(QFileInfo(conf).path());
    {
        QSettings settings(conf, QSettings::IniFormat);
        settings.setValue(QStringLiteral("KZCheckForUpdates-cBuild"), TROVIX_BUILD_NUMBER + 1);
    }
    EXPECT_EQ(runToEnd({}), 1);
    EXPECT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.trovix.Trovix")));
    QFile::remove(conf);
}

// The launch runs its steps in one order: crash reporter first, then the
// menus' services, review reminder, update check, saved shortcut, usage
// record, first window, and the crash offer last (after a crashed run); the
// end stops the searches before it marks a clean end.
TEST(TrovixLaunch, RunsItsStepsInOrderAndEndsCleanly)
{
    kztest::resetTestEnvironment();
    Site site;
    qputenv("TROVIX_WEBSITE_URL", site.baseUrl().toUtf8());
    constexpr quint64 kK = 40;
    KZHotKeyRepresentation(kK, KZModifierControl | KZModifierOption, true).saveToUserDefaults();
    // The previous run crashed on a machine up for a while.
    KZUserDefaults::standardUserDefaults().setObject(1, QStringLiteral("KZCrashReporter-LoadedStatus"));
    kztest::TempTree tree;
    KZCrashReporter &reporter = KZCrashReporter::sharedInstance();
    reporter.setUptimePathForTesting(tree.writeFile(QStringLiteral("uptime"), "86400.00 1000.00\n"));
    QList<int> offers;
    reporter.setPresenter([&](int mode) { offers.append(mode); });
    KZMASReviewReclam::setAskUser([](const QString &, const QString &) {
        ADD_FAILURE() << "the first launch only starts the review clock";
        return false;
    });

    AppDelegate delegate;
    AppLaunch launch(delegate);
    QList<AppLaunch::Step> steps;
    launch.setStepObserver([&](AppLaunch::Step step) {
        steps.append(step);
        const bool hotKey = KZHotKeyCenter::defaultCenter()->hotKeyWithKeyCode(kK, KZModifierControl | KZModifierOption);
        const qsizetype windows = delegate.documentWindowControllers().size();
        switch (step) {
        case AppLaunch::MenuServices:
            EXPECT_EQ(KZUserDefaults::standardUserDefaults().integerForKey(QStringLiteral("KZCrashReporter-LoadedStatus"), 0), 1);
            break;
        case AppLaunch::UsageRecord:
            EXPECT_TRUE(hotKey) << "the shortcut comes before the usage record";
            EXPECT_EQ(windows, 0) << "the window comes after it";
            break;
        case AppLaunch::CrashOffer:
            EXPECT_EQ(windows, 1);
            EXPECT_TRUE(offers.isEmpty());
            break;
        default:
            break;
        }
    });
    launch.run();
    EXPECT_EQ(steps, (QList<AppLaunch::Step>{AppLaunch::CrashReporterLoaded, AppLaunch::MenuServices,
                                             AppLaunch::ReviewReminder, AppLaunch::UpdateCheck, AppLaunch::HotKey,
                                             AppLaunch::UsageRecord, AppLaunch::FirstWindow, AppLaunch::CrashOffer}));
    EXPECT_TRUE(launch.watchesCrashes());
    EXPECT_EQ(offers, QList<int>{0});
    EXPECT_TRUE(KZUserDefaults::standardUserDefaults().objectForKey(QStringLiteral("KZMASReviewReclam-CheckReviewDate")).isValid());
    EXPECT_TRUE(site.waitForRequests({QStringLiteral("GET /trovix.version"), QStringLiteral("POST /usage")})) << site.requests.join(QLatin1Char('|')).toStdString();

    steps.clear();
    launch.end();
    EXPECT_EQ(steps, (QList<AppLaunch::Step>{AppLaunch::SearchesStopped, AppLaunch::CrashReporterTerminated}));
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().integerForKey(QStringLiteral("KZCrashReporter-LoadedStatus"), 1), 0);
    KZHotKeyCenter::defaultCenter()->unregisterHotKeyWithTag(1);
    KZMASReviewReclam::setAskUser({});
    reporter.setPresenter({});
    reporter.setUptimePathForTesting(QStringLiteral("/proc/uptime"));
    reporter.resetForTesting();
    qunsetenv("TROVIX_WEBSITE_URL");
}

// `trovix` on a fresh home, with the maker's site on 127.0.0.1: its window
// opens, the site sees the update check and the usage record, the review
// clock starts, and a `kill` ends it cleanly. Fifteen days later the review
// reminder comes before the window.
TEST(TrovixLaunch, FreshHomeRunsTheWholeLaunchAgainstTheSite)
{
    kztest::resetTestEnvironment();
    Site site;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TROVIX_WEBSITE_URL"), site.baseUrl());
    env.remove(QStringLiteral("DO_NOT_TRACK"));
    {
        Trovix trovix({}, env);
        ASSERT_TRUE(trovix.waitForTitles({QDir::homePath()}));
        EXPECT_TRUE(site.waitForRequests({QStringLiteral("GET /trovix.version"), QStringLiteral("POST /usage")}))
            << site.requests.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(storedSetting(QStringLiteral("KZCrashReporter-LoadedStatus")).toInt(), 1);
        EXPECT_TRUE(storedSetting(QStringLiteral("KZMASReviewReclam-CheckReviewDate")).isValid());
        trovix.process().terminate();
        ASSERT_TRUE(trovix.process().waitForFinished(30000));
        EXPECT_EQ(trovix.process().exitCode(), 0);
        EXPECT_EQ(storedSetting(QStringLiteral("KZCrashReporter-LoadedStatus")).toInt(), 0);
    }
    {
        const QString conf = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Trovix/Trovix.conf");
        QSettings(conf, QSettings::IniFormat)
            .setValue(QStringLiteral("KZMASReviewReclam-CheckReviewDate"), QDateTime::currentDateTime().addDays(-16));
    }
    Trovix later({}, env);
    ASSERT_TRUE(later.waitForTitles({QStringLiteral("Enjoying Trovix?")})) << later.visibleWindowTitles().join(QLatin1Char('|')).toStdString();
    // "Remind Me Later" (Escape) lets the launch go on to the window.
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    EXPECT_TRUE(later.waitForTitles({QDir::homePath()})) << later.visibleWindowTitles().join(QLatin1Char('|')).toStdString();
}

// A display that goes away (a logout) makes Qt end the process through
// exit(): the run ended, it did not crash, so the next launch must not offer
// a problem report.
TEST(TrovixLaunch, ALostDisplayIsNoCrash)
{
    kztest::resetTestEnvironment();
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                        QStringLiteral("800x600x24")});
    ASSERT_TRUE(xvfb.waitForReadyRead(10000));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(xvfb.readAllStandardOutput().trimmed()));
    env.insert(QStringLiteral("TROVIX_WEBSITE_URL"), QStringLiteral("http://127.0.0.1:9/"));
    QProcess trovix;
    trovix.setProcessEnvironment(env);
    trovix.start(QStringLiteral(TROVIX_APP_PATH), {});
    ASSERT_TRUE(kztest::waitUntil([] { return storedSetting(QStringLiteral("KZCrashReporter-LoadedStatus")).toInt() == 1; }, 15000));
    xvfb.terminate();
    ASSERT_TRUE(trovix.waitForFinished(15000));
    xvfb.waitForFinished();
    EXPECT_EQ(trovix.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(storedSetting(QStringLiteral("KZCrashReporter-LoadedStatus")).toInt(), 0);
}
