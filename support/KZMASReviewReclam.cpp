#include "support/KZMASReviewReclam.h"

#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "support/KZUserDefaults.h"

namespace {

struct Hooks {
    KZMASReviewReclam::AskUser ask;
    KZMASReviewReclam::OpenURL open;
    KZMASReviewReclam::Clock clock;
};

Hooks &hooks()
{
    static Hooks h;
    return h;
}

QDateTime now()
{
    return hooks().clock ? hooks().clock() : QDateTime::currentDateTime();
}

// Seconds from date to now; a date in the future (the clock was set back)
// counts as just now, so the reminder waits rather than nags.
qint64 secondsSince(const QDateTime &date, const QDateTime &current)
{
    return std::max<qint64>(0, date.secsTo(current));
}

} // namespace

void KZMASReviewReclam::setAskUser(AskUser ask)
{
    hooks().ask = std::move(ask);
}

void KZMASReviewReclam::setOpenURL(OpenURL open)
{
    hooks().open = std::move(open);
}

void KZMASReviewReclam::setClock(Clock clock)
{
    hooks().clock = std::move(clock);
}

QUrl KZMASReviewReclam::pageURL(const QString &productId, int storeKind)
{
    if (productId.isEmpty())
        return QUrl();
    const QString id = QString::fromLatin1(QUrl::toPercentEncoding(productId));
    switch (storeKind) {
    case StoreKindSoftwareCenter:
        return QUrl(QStringLiteral("appstream://") + id);
    case StoreKindDownloadSite:
        return KZ_WebSiteURL(QStringLiteral("?page=review&app=") + id);
    default:
        return QUrl();
    }
}

bool KZMASReviewReclam::openPageProductId(const QString &productId, int storeKind)
{
    if (productId.isEmpty()) {
        KZLOG_CRITICAL_F(QStringLiteral("productId==nil"));
        return false;
    }
    const QUrl url = pageURL(productId, storeKind);
    if (url.isEmpty()) {
        KZLOG_WARNING_F(QStringLiteral("unknown storeKind:%1").arg(storeKind));
        return false;
    }
    if (!hooks().open || !hooks().open(url)) {
        KZLOG_WARNING_F(QStringLiteral("openURL==NO url:%1").arg(url.toString()));
        return false;
    }
    return true;
}

bool KZMASReviewReclam::displayReclamIfNecessaryProductId(const QString &productId, int storeKind)
{
    if (productId.isEmpty())
        KZLOG_CRITICAL_F(QStringLiteral("productId==nil"));
    if (KZFunctions::appVersion().isEmpty())
        KZLOG_CRITICAL_F(QStringLiteral("appVersion==nil"));

    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    const QDateTime current = now();
    const QDateTime checked = defaults.dateForKey(KZMASReviewReclamCheckReviewDateKey);
    if (!checked.isValid()) {
        // The first launch only starts the clock.
        defaults.setDate(current, KZMASReviewReclamCheckReviewDateKey);
        defaults.synchronize();
        return false;
    }
    if (secondsSince(checked, current) < kRemindInterval)
        return false;
    const QDateTime rated = defaults.dateForKey(KZMASReviewReclamCheckReviewRatedDateKey);
    if (rated.isValid() && secondsSince(rated, current) < kRatedInterval)
        return false;

    defaults.setDate(current, KZMASReviewReclamCheckReviewDateKey);
    defaults.synchronize();
    const QString title = KZStringWithFormat(KZLocalizedString("KZMASReviewReclam_title", KZMASReviewReclamTable),
                                             {KZLocalizedString("Trovix")});
    const QString message = KZLocalizedString("KZMASReviewReclam_msg", KZMASReviewReclamTable);
    if (!hooks().ask || !hooks().ask(title, message))
        return false;
    defaults.setDate(current, KZMASReviewReclamCheckReviewRatedDateKey);
    defaults.synchronize();
    openPageProductId(productId, storeKind);
    return true;
}
