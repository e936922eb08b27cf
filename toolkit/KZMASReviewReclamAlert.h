// The review reminder's alert, and the launch's one call to it: installs the
// alert and the desktop's URL opener into KZMASReviewReclam, then asks when it
// is due. GUI thread.
#pragma once

#include <QString>

#include "support/KZMASReviewReclam.h"

// The product's name on the maker's web site.
inline const QString KZReviewReclamProductId = QStringLiteral("trovix");

class KZMASReviewReclamAlert
{
public:
    // The launch's call; true when the user chose to rate (the page is open then).
    static bool displayReclamIfNecessary(const QString &productId = KZReviewReclamProductId,
                                         int storeKind = KZMASReviewReclam::StoreKindDownloadSite);
    // Sets the alert and QDesktopServices::openUrl as the reminder's hooks.
    static void install();
    // The modal alert (object name "KZMASReviewReclam"), brought to the front;
    // true for "Rate It Now".
    static bool runAlert(const QString &title, const QString &message);
};
