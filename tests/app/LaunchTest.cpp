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
#include <QThread>

#include <gtest/gtest.h>
#include <csignal>
#include <memory>

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
