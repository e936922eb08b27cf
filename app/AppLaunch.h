// The launch and the end of a Trovix process, in their one order: the crash
// reporter's bookkeeping, the menus' services, the review reminder, the
// silent update check, the saved global shortcut, the usage record, the
// first search window, and last the offer to report the previous run's crash;
// at the end the searches stop, then the clean-end mark. GUI thread.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class AppDelegate;
namespace kzplatform {
class KZFileLock;
}

class AppLaunch : public QObject
{
    Q_OBJECT
public:
    enum Step {
        CrashReporterLoaded,
        MenuServices,
        ReviewReminder,
        UpdateCheck,
        HotKey,
        UsageRecord,
        FirstWindow,
        CrashOffer,
        SearchesStopped,
        CrashReporterTerminated,
    };
    Q_ENUM(Step)

    explicit AppLaunch(AppDelegate &delegate, QObject *parent = nullptr);
    ~AppLaunch() override;

    // Told at the start of each step (tests watch the order here).
    void setStepObserver(std::function<void(Step)> observer) { m_observer = std::move(observer); }

    // The launch, once.
    void run();
    // The end, once, after a launch; runs when the application is about to quit.
    void end();
    // True when this process keeps the crash bookkeeping: it holds the
    // user's running lock (a Trovix beside it that the bus did not reach
    // keeps it otherwise, and its unfinished run is no crash).
    bool watchesCrashes() const { return m_watchesCrashes; }

private:
    void step(Step step);

    AppDelegate &m_delegate;
    std::function<void(Step)> m_observer;
    std::unique_ptr<kzplatform::KZFileLock> m_runningLock;
    bool m_watchesCrashes = false;
    bool m_ran = false;
    bool m_terminated = false;
};
