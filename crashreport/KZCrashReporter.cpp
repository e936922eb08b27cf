#include "crashreport/KZCrashReporter.h"
#include "platform/KZXdgDirs.h"

#include <QDateTime>
#include <QDir>

#include "platform/KZFatalSignals.h"
#include "platform/KZMachineFacts.h"
#include "support/KZFunctions.h"
#include "support/KZLog.h"
#include "support/KZUserDefaults.h"

namespace {
const QString kLoadedStatus = QStringLiteral("KZCrashReporter-LoadedStatus");
const QString kNumberOfCrashs = QStringLiteral("KZCrashReporter-NumberOfCrashs");
const QString kStartCount = QStringLiteral("KZCrashReporter-StartCount");
const QString kFirstLaunchDate = QStringLiteral("KZCrashReporter-FirstLaunchDate");
const QString kJetonId = QStringLiteral("KZCrashReporter-jetonId");
const QString kUserRef = QStringLiteral("KZCrashReporter-UserRef");
} // namespace

KZCrashReporter &KZCrashReporter::sharedInstance()
{
    static KZCrashReporter reporter;
    return reporter;
}

void KZCrashReporter::applicationLoaded()
{
    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    if (!defaults.dateForKey(kFirstLaunchDate).isValid())
        defaults.setDate(QDateTime::currentDateTime(), kFirstLaunchDate);
    const qint64 loadedStatus = defaults.integerForKey(kLoadedStatus, 0);
    defaults.setObject(1, kLoadedStatus);
    if (loadedStatus != 0) {
        // A run that a restart ended within the first minute is no crash.
        const double uptime = kzplatform::kzUptimeSeconds(m_uptimePath);
        if (uptime >= 60) {
            defaults.setObject(defaults.integerForKey(kNumberOfCrashs, 0) + 1, kNumberOfCrashs);
            m_needsDisplayReclam = true;
        }
    }
    defaults.setObject(defaults.integerForKey(kStartCount, 0) + 1, kStartCount);
    defaults.synchronize();
}

void KZCrashReporter::applicationTerminated()
{
    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    defaults.setObject(0, kLoadedStatus);
    defaults.synchronize();
}

void KZCrashReporter::presentToUserWithMode(int mode)
{
    m_needsDisplayReclam = false;
    if (m_presenter)
        m_presenter(mode);
    else
        KZLOG_WARNING_M(QStringLiteral("presenter==nil mode:%1").arg(mode));
    if (mode == 0 && m_updateCheck)
        m_updateCheck();
}

bool KZCrashReporter::offerReportAfterCrash()
{
    if (!m_needsDisplayReclam)
        return false;
    presentToUserWithMode(0);
    return true;
}

QString KZCrashReporter::jetonId()
{
    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    if (defaults.contains(kUserRef))
        defaults.removeObjectForKey(kUserRef);
    return defaults.identifierForKey(kJetonId);
}

QString KZCrashReporter::crashesDirPath()
{
    return kzplatform::kzXdgBaseDir("XDG_STATE_HOME", ".local/state") + QLatin1Char('/') + KZBundleIdentifier + QStringLiteral("/crashes");
}

bool KZCrashReporter::installFatalSignalHandler()
{
    const QByteArray build = QStringLiteral("%1 (%2)").arg(KZFunctions::appVersion(), KZFunctions::appBuild()).toUtf8();
    if (kzplatform::kzInstallFatalSignalHandler(crashesDirPath().toLocal8Bit(), build))
        return true;
    KZLOG_ERROR_F(QStringLiteral("kzInstallFatalSignalHandler==NO dir:%1").arg(crashesDirPath()));
    return false;
}
