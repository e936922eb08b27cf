// The anonymous usage record: once per launch, a form POST to the maker's usage
// page with the application's version, the system, the hardware, the locale
// and a random installation identifier. Nothing depends on the answer: a
// failed request is neither retried nor shown.
//
// Nothing is sent on the maker's own test machines (TROVIX_DEVELOPER_MACHINE=1),
// when DO_NOT_TRACK=1 or TROVIX_NO_ANALYTICS=1 is set, or when the user turned
// "KZAnalytics-Enabled" off.
#pragma once

#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QVector>

class QNetworkAccessManager;

inline const QString KZAnalyticsEnabledKey = QStringLiteral("KZAnalytics-Enabled");

class KZAnalytics : public QObject
{
public:
    using Pairs = QVector<QPair<QString, QString>>;

    static KZAnalytics &sharedInstance();
    // The one call of the launch sequence.
    static void sendAtLaunch() { sharedInstance().sendUsageAtLaunch(); }

    // "KZAnalytics-jetonId", created on first need and kept.
    static QString jetonId();
    // App, Jeton, System, Hardware, Locale, Install-Type, in that order.
    static Pairs usagePairs();
    // "name=value&name=value", names and values percent-escaped as UTF-8.
    static QByteArray formBody(const Pairs &pairs);
    // Why nothing may be sent ("DO_NOT_TRACK", "switched off", ...), or empty.
    static QString reasonNotToSend();
    static QUrl usageURL();
    // HTTPS anywhere, plain HTTP only to the loopback address.
    static bool isAllowedURL(const QUrl &url);

    // Starts the request the first time in a process; true when it did.
    bool sendUsageAtLaunch();

    void resetForTesting() { m_sent = false; }

private:
    KZAnalytics() = default;

    bool m_sent = false;
    QNetworkAccessManager *m_network = nullptr;
};
