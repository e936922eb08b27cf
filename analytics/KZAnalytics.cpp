#include "analytics/KZAnalytics.h"
#include "support/KZWebAddressPolicy.h"

#include <QHostAddress>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "support/KZFunctions.h"
#include "support/KZLog.h"
#include "support/KZScrambled.h"
#include "support/KZUserDefaults.h"

namespace
{

constexpr auto kUsagePage = kzScramble("usage");
const QString kJetonId = QStringLiteral("KZAnalytics-jetonId");
constexpr int kTimeoutMs = 15 * 1000;

bool environmentSet(const char *name)
{
    return qEnvironmentVariable(name).trimmed() == QLatin1String("1");
}

} // namespace

KZAnalytics &KZAnalytics::sharedInstance()
{
    static KZAnalytics *instance = new KZAnalytics;
    return *instance;
}

QString KZAnalytics::jetonId()
{
    return KZUserDefaults::standardUserDefaults().identifierForKey(kJetonId);
}

KZAnalytics::Pairs KZAnalytics::usagePairs()
{
    const QString hardware
        = QStringLiteral("%1 - %2 - %3")
              .arg(KZMacInfo::macModelType(), KZMacInfo::processorInfo(),
                  KZFunctions::stringFromBytesWithBin1024Style(static_cast<qint64>(KZMacInfo::physicalMemory())));
    return {
        { QStringLiteral("App"),
            QStringLiteral("%1 %2 (%3)")
                .arg(KZFunctions::appName(), KZFunctions::appVersion(), KZFunctions::appBuild()) },
        { QStringLiteral("Jeton"), jetonId() },
        { QStringLiteral("System"), KZDeviceInfo::productSystemName() },
        { QStringLiteral("Hardware"), hardware },
        { QStringLiteral("Locale"), QLocale().name() },
        { QStringLiteral("Install-Type"), QStringLiteral("Standalone") },
    };
}

QByteArray KZAnalytics::formBody(const Pairs &pairs)
{
    QByteArray body;
    for (const auto &[name, value] : pairs) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

QString KZAnalytics::reasonNotToSend()
{
    if (environmentSet("TROVIX_DEVELOPER_MACHINE"))
        return QStringLiteral("developer machine");
    if (environmentSet("DO_NOT_TRACK"))
        return QStringLiteral("DO_NOT_TRACK");
    if (environmentSet("TROVIX_NO_ANALYTICS"))
        return QStringLiteral("TROVIX_NO_ANALYTICS");
    if (!KZUserDefaults::standardUserDefaults().boolForKey(KZAnalyticsEnabledKey, true))
        return QStringLiteral("switched off");
    return QString();
}

QUrl KZAnalytics::usageURL()
{
    return KZ_WebPageURL(kUsagePage.data, static_cast<qsizetype>(kUsagePage.length()), KZWebPageAppendPHP).toUrl();
}

bool KZAnalytics::isAllowedURL(const QUrl &url)
{
    return kzIsAllowedWebURL(url);
}

bool KZAnalytics::sendUsageAtLaunch()
{
    if (m_sent)
        return false;
    m_sent = true;
    const QString reason = reasonNotToSend();
    if (!reason.isEmpty()) {
        KZLog::logDebug(QStringLiteral("usage record skipped: %1").arg(reason));
        return false;
    }
    const QUrl url = usageURL();
    if (!isAllowedURL(url)) {
        KZLOG_ERROR_M(QStringLiteral("refused url:%1").arg(url.toString()));
        return false;
    }
    const QByteArray body = formBody(usagePairs());
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setTransferTimeout(kTimeoutMs);
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkReply *reply = m_network->post(request, body);
    // The answer does not matter; only the reply object is let go.
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    return true;
}
