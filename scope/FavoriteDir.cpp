#include "scope/FavoriteDir.h"

#include "support/KZLog.h"

namespace {
const QString kUniqueIdKey = QStringLiteral("uniqueId");
const QString kKindKey = QStringLiteral("kind");
} // namespace

std::shared_ptr<FavoriteDir> FavoriteDir::create(const QUrl &url, const QString &path, int *outStatus)
{
    std::shared_ptr<FavoriteDir> dir(new FavoriteDir);
    if (!dir->initWithURL(url, path, outStatus))
        return nullptr;
    return dir;
}

std::shared_ptr<FavoriteDir> FavoriteDir::fromArchive(const QCborMap &map)
{
    std::shared_ptr<FavoriteDir> dir(new FavoriteDir);
    if (!dir->initWithCoder(map))
        return nullptr;
    const QCborValue uniqueId = map.value(kUniqueIdKey);
    const QCborValue kind = map.value(kKindKey);
    if (!uniqueId.isInteger() || !kind.isInteger()) {
        KZLOG_ERROR_F(QStringLiteral("decode==NO uniqueId:%1 kind:%2")
                          .arg(uniqueId.toDiagnosticNotation(), kind.toDiagnosticNotation()));
        return nullptr;
    }
    dir->_uniqueId = uniqueId.toInteger();
    dir->_kind = kind.toInteger();
    return dir;
}

QCborMap FavoriteDir::encodeWithCoder()
{
    QCborMap map = KZBookmarkFileURL::encodeWithCoder();
    map.insert(kUniqueIdKey, static_cast<qint64>(_uniqueId));
    map.insert(kKindKey, static_cast<qint64>(_kind));
    return map;
}
