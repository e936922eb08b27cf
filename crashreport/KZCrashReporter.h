// Crash detection at launch and the decision to offer a problem report.
// "KZCrashReporter-LoadedStatus" is 1 while Trovix runs and 0 after a clean
// end; a launch that finds 1 counts the previous run as a crash unless the
// system has been up for less than a minute (the run ended with a restart).
// GUI thread.
#pragma once

#include <QString>
#include <functional>

class KZCrashReporter
{
public:
    static KZCrashReporter &sharedInstance();

    // At launch: the counters and the loaded status.
    void applicationLoaded();
    // At a clean termination.
    void applicationTerminated();
    bool needsDisplayReclam() const { return m_needsDisplayReclam; }
    // 0 after a crash (also asks for an update check), 1 from the Help menu.
    // Clears needsDisplayReclam and opens the report window through the presenter.
    void presentToUserWithMode(int mode);

    // The launch's last step: after applicationLoaded() found that the
    // previous run crashed, the report window (mode 0). True when offered.
    bool offerReportAfterCrash();

    // The installation's random identifier, made on first need.
    static QString jetonId();
    // Where the fatal-signal handler writes: $XDG_STATE_HOME/org.trovix.Trovix/crashes.
    static QString crashesDirPath();
    // Installs the fatal-signal handler for that folder (main, before threads).
    static bool installFatalSignalHandler();

    // The GUI opens the report window here (mode as above).
    void setPresenter(std::function<void(int mode)> presenter) { m_presenter = std::move(presenter); }
    // The update checker's check on the crash reporter's behalf.
    void setUpdateCheckHook(std::function<void()> hook) { m_updateCheck = std::move(hook); }
    // Tests read the uptime from another file.
    void setUptimePathForTesting(const QString &path) { m_uptimePath = path; }
    // Forgets the state of this process (tests simulating launches).
    void resetForTesting() { m_needsDisplayReclam = false; }

private:
    KZCrashReporter() = default;
    bool m_needsDisplayReclam = false;
    QString m_uptimePath = QStringLiteral("/proc/uptime");
    std::function<void(int)> m_presenter;
    std::function<void()> m_updateCheck;
};

inline const char *const KZCrashReporterTable = "KZCrashReporter";
