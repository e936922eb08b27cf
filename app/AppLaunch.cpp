#include "app/AppLaunch.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdlib>

#include "analytics/KZAnalytics.h"
#include "app/AppDelegate.h"
#include "app/KZAppUninstaller.h"
#include "crashreport/KZCrashReporter.h"
#include "platform/KZFileLock.h"
#include "support/KZFunctions.h"
#include "toolkit/KZMASReviewReclamAlert.h"
#include "update/KZCheckForUpdates.h"
#include "update/KZUpdateInstaller.h"

namespace {
// The launch whose end has not run yet, for the exit handler below.
AppLaunch *s_running = nullptr;
} // namespace

AppLaunch::AppLaunch(AppDelegate &delegate, QObject *parent)
    : QObject(parent)
    , m_delegate(delegate)
{
}

AppLaunch::~AppLaunch()
{
    if (s_running == this)
        s_running = nullptr;
}

void AppLaunch::step(Step step)
{
    if (m_observer)
        m_observer(step);
}

void AppLaunch::run()
{
    if (m_ran)
        return;
    m_ran = true;

    // Each running Trovix of this user holds a lock that its end, crash or
    // not, lets go. Beside one that holds it (no session bus, or one that does
    // not answer), the run that looks unfinished is that one's, not a crash:
    // this process keeps out of the bookkeeping.
    step(CrashReporterLoaded);
    m_runningLock = std::make_unique<kzplatform::KZFileLock>();
    const QString stateDir = QFileInfo(KZCrashReporter::crashesDirPath()).path();
    QDir().mkpath(stateDir);
    m_watchesCrashes = m_runningLock->lock(QFile::encodeName(stateDir + QStringLiteral("/running.lock")), 0);
    if (m_watchesCrashes)
        KZCrashReporter::sharedInstance().applicationLoaded();
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppLaunch::end);
    // A display that goes away (a logout, a compositor that ended) makes Qt
    // call exit() from inside the event loop: no crash, and no report to offer
    // at the next launch.
    s_running = this;
    static const bool exitHandlerSet = std::atexit([] {
        if (s_running && s_running->m_watchesCrashes && !s_running->m_terminated)
            KZCrashReporter::sharedInstance().applicationTerminated();
    }) == 0;
    Q_UNUSED(exitHandlerSet);

    step(MenuServices);
    m_delegate.setPreferencesOpener([this] { m_delegate.showPreferences(); });
    m_delegate.setProblemReportPresenter([](int mode) { KZCrashReporter::sharedInstance().presentToUserWithMode(mode); });
    KZCheckForUpdates *updates = KZCheckForUpdates::sharedInstance();
    m_delegate.setUpdateCheckerByUser([updates] { updates->synchronizeByUser(); });
    KZCrashReporter::sharedInstance().setUpdateCheckHook([updates] { updates->synchronizeFromCrashReport(); });
    // Uninstall Trovix… appears once a worker has found a per-user install.
    auto *uninstallCheck = new QFutureWatcher<bool>(this);
    connect(uninstallCheck, &QFutureWatcher<bool>::finished, this, [this, uninstallCheck] {
        if (uninstallCheck->result())
            m_delegate.setUninstaller([] { KZAppUninstaller::sharedInstance().beginAsSheetForWindow(nullptr, {}); });
        uninstallCheck->deleteLater();
    });
    uninstallCheck->setFuture(
        QtConcurrent::run([] { return KZAppUninstaller::isOfferedForPrefix(KZUpdateInstaller::runningPrefix()); }));

    // Every fifteen days at most (never in the first, nor within a year of a
    // rating), ask for a review.
    step(ReviewReminder);
    KZMASReviewReclamAlert::displayReclamIfNecessary();

    step(UpdateCheck);
    updates->setAppBuild(KZFunctions::appBuild().toLongLong(), KZ_WebSiteURL(QStringLiteral("trovix.version")));
    updates->synchronizeAtLaunch();

    step(HotKey);
    m_delegate.registerSavedHotKey();

    step(UsageRecord);
    KZAnalytics::sendAtLaunch();

    step(FirstWindow);
    m_delegate.openFirstWindow();

    // After a crash, offer to send its report.
    step(CrashOffer);
    if (m_watchesCrashes)
        KZCrashReporter::sharedInstance().offerReportAfterCrash();
}

void AppLaunch::end()
{
    if (m_terminated || !m_ran)
        return;
    m_terminated = true;
    step(SearchesStopped);
    m_delegate.applicationWillTerminate();
    step(CrashReporterTerminated);
    if (m_watchesCrashes)
        KZCrashReporter::sharedInstance().applicationTerminated();
}
