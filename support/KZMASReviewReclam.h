// Asks the user, at most every fifteen days and not within a year of having
// said yes, to rate Trovix where it came from. Class operations only; the
// application calls displayReclamIfNecessaryProductId once per launch.
// GUI thread. The question itself and the opening of a page are hooks, so
// this stays Qt Core: the interface installs them (KZMASReviewReclamAlert).
#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <functional>

inline const QString KZMASReviewReclamCheckReviewDateKey = QStringLiteral("KZMASReviewReclam-CheckReviewDate");
inline const QString KZMASReviewReclamCheckReviewRatedDateKey = QStringLiteral("KZMASReviewReclam-CheckReviewRatedDate");
// The string table of the reminder's texts.
inline constexpr const char *KZMASReviewReclamTable = "KZMASReviewReclam";

class KZMASReviewReclam
{
public:
    // 1: the desktop's software centre (AppStream component id);
    // 2: the review page of the maker's web site (the site's product name).
    enum StoreKind { StoreKindSoftwareCenter = 1, StoreKindDownloadSite = 2 };

    static constexpr qint64 kRemindInterval = 1296000; // 15 days, in seconds
    static constexpr qint64 kRatedInterval = 31536000; // 365 days

    // Asks (title, message) and answers true for "Rate It Now".
    using AskUser = std::function<bool(const QString &title, const QString &message)>;
    // Opens an address on the desktop; true when it was handed over.
    using OpenURL = std::function<bool(const QUrl &url)>;
    using Clock = std::function<QDateTime()>;

    // Empty hooks restore the defaults: no question (answers "Remind Me
    // Later"), nothing opened, the system clock.
    static void setAskUser(AskUser ask);
    static void setOpenURL(OpenURL open);
    static void setClock(Clock clock);

    // True when the user chose to rate; the store page is then opened.
    static bool displayReclamIfNecessaryProductId(const QString &productId, int storeKind);
    // True when the store page of the kind was opened.
    static bool openPageProductId(const QString &productId, int storeKind);
    // The store page's address; empty for no product or an unknown kind.
    static QUrl pageURL(const QString &productId, int storeKind);
};
