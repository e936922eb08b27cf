#include "scope/KZFinderSharedFavorites.h"

#include <QFile>

#include "platform/KZSidebarPlaces.h"
#include "scope/KZBookmarkFileURL.h"
#include "support/KZLog.h"

QList<QUrl> KZFinderSharedFavorites::favoriteURLs()
{
    QList<QUrl> urls;
    for (const QByteArray &bytes : kzplatform::kzSidebarFavoritePaths()) {
        const QString path = QFile::decodeName(bytes);
        if (!KZPathSurvivesEncoding(path) || QFile::encodeName(path) != bytes) {
            KZLOG_WARNING_F(QStringLiteral("path not representable, skipped path:%1").arg(path));
            continue;
        }
        urls.append(QUrl::fromLocalFile(path));
    }
    return urls;
}
