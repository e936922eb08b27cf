#include "scope/KZBookmarkFileURL.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "platform/KZFolderBookmark.h"
#include "platform/KZGuardedFS.h"
#include "support/KZLog.h"

namespace {

const QString kSerializedPathKey = QStringLiteral("serializedPath");
const QString kBookmarkDataKey = QStringLiteral("bookmarkData");

KZBookmarkFileURL::IconProvider &iconProvider()
{
    static KZBookmarkFileURL::IconProvider provider;
    return provider;
}

QString lastComponent(const QString &path)
{
    if (path == QLatin1String("/"))
        return path;
    return path.section(QLatin1Char('/'), -1);
}

QString resolutionError(kzplatform::KZBookmarkResolution r)
{
    switch (r) {
    case kzplatform::KZBookmarkResolution::NotFound:
        return QStringLiteral("folder not found");
    case kzplatform::KZBookmarkResolution::VolumeUnavailable:
        return QStringLiteral("volume not mounted or not answering");
    case kzplatform::KZBookmarkResolution::Invalid:
        return QStringLiteral("not a bookmark");
    case kzplatform::KZBookmarkResolution::Resolved:
        break;
    }
    return QString();
}

} // namespace

QString KZCleanAbsolutePath(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')))
        return QString();
    QString out;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        out += QLatin1Char('/') + part;
    }
    return out.isEmpty() ? QStringLiteral("/") : out;
}

bool KZPathSurvivesEncoding(const QString &path)
{
    return QFile::decodeName(QFile::encodeName(path)) == path && !path.contains(QChar(0xFFFD))
        && !path.contains(QChar(0));
}

void KZBookmarkFileURL::setIconProvider(IconProvider provider)
{
    iconProvider() = std::move(provider);
}

KZBookmarkFileURL::~KZBookmarkFileURL() = default;

std::shared_ptr<KZBookmarkFileURL> KZBookmarkFileURL::create(const QUrl &url, const QString &path, int *outStatus)
{
    std::shared_ptr<KZBookmarkFileURL> ref(new KZBookmarkFileURL);
    if (!ref->initWithURL(url, path, outStatus))
        return nullptr;
    return ref;
}

std::shared_ptr<KZBookmarkFileURL> KZBookmarkFileURL::fromArchive(const QCborMap &map)
{
    std::shared_ptr<KZBookmarkFileURL> ref(new KZBookmarkFileURL);
    if (!ref->initWithCoder(map))
        return nullptr;
    return ref;
}

bool KZBookmarkFileURL::initWithURL(const QUrl &url, const QString &path, int *outStatus)
{
    if (outStatus)
        *outStatus = 0;
    QString thePath = path;
    if (thePath.isEmpty() && url.isLocalFile())
        thePath = url.toLocalFile();
    thePath = KZCleanAbsolutePath(thePath);
    if (thePath.isEmpty()) {
        KZLOG_ERROR_M(QStringLiteral("URL==nil || path==nil"));
        return false;
    }
    _path = thePath;
    _URL = QUrl::fromLocalFile(thePath);
    _status = getStatInfo(&_statInfo) ? 1 : 0;
    QString error;
    _bookmarkData = bookmarkDataFromURL(_URL, &error);
    if (_bookmarkData.isEmpty())
        KZLOG_ERROR_M(QStringLiteral("bookmarkData==nil fileURL:%1 error:%2").arg(_URL.toString(), error));
    if (outStatus)
        *outStatus = _status;
    return true;
}

bool KZBookmarkFileURL::initWithCoder(const QCborMap &map)
{
    const QCborValue path = map.value(kSerializedPathKey);
    const QCborValue bookmark = map.value(kBookmarkDataKey);
    if (!path.isString() || !(bookmark.isByteArray() || bookmark.isUndefined() || bookmark.isNull())) {
        KZLOG_ERROR_M(QStringLiteral("decode==NO serializedPath:%1").arg(path.toDiagnosticNotation()));
        return false;
    }
    _serializedPath = path.toString();
    _bookmarkData = bookmark.toByteArray();
    return true;
}

bool KZBookmarkFileURL::getStatInfo(KZBookmarkFileURLStatInfo *out)
{
    m_lastStatErrno = 0;
    if (_path.isEmpty())
        return false;
    const QByteArray cPath = QFile::encodeName(_path);
    kzplatform::KZStat st;
    if (kzplatform::kzLstatGuarded(cPath, &st) != 0) {
        const int err = errno;
        m_lastStatErrno = err;
        if (err != EPERM && err != ENOENT && err != EACCES && err != ENOMEDIUM)
            KZLOG_ERROR_M(QStringLiteral("lstat!=0 cFilePath:%1 errno:%2 (%3)")
                              .arg(QString::fromLocal8Bit(cPath))
                              .arg(err)
                              .arg(QString::fromLocal8Bit(std::strerror(err))));
        return false;
    }
    if (out) {
        out->st_dev = st.dev;
        out->st_ino = st.ino;
        out->st_mode = static_cast<uint16_t>(st.mode);
        out->st_mtimespec = {static_cast<int64_t>(st.mtime.tv_sec), static_cast<int64_t>(st.mtime.tv_nsec)};
        out->st_size = st.size;
    }
    return true;
}

QByteArray KZBookmarkFileURL::bookmarkDataFromURL(const QUrl &url, QString *error)
{
    if (!url.isLocalFile()) {
        if (error)
            *error = QStringLiteral("not a file URL");
        return {};
    }
    int err = 0;
    const QByteArray data = kzplatform::kzBookmarkDataForPath(QFile::encodeName(url.toLocalFile()), &err);
    if (data.isEmpty() && error)
        *error = QString::fromLocal8Bit(std::strerror(err));
    return data;
}

void KZBookmarkFileURL::updateFromBookmarkData(const QByteArray &bookmarkData, const QString &path)
{
    m_volumeUnavailable = false;
    if (bookmarkData.isEmpty() && path.isEmpty()) {
        _status = 0;
        return;
    }
    QString resolved;
    if (!bookmarkData.isEmpty()) {
        QByteArray resolvedBytes;
        const kzplatform::KZBookmarkResolution r =
            kzplatform::kzResolveBookmarkData(bookmarkData, &resolvedBytes, kzplatform::kzDefaultProbeTimeoutMs);
        if (r == kzplatform::KZBookmarkResolution::Resolved)
            resolved = QFile::decodeName(resolvedBytes);
        if (r == kzplatform::KZBookmarkResolution::Resolved && !KZPathSurvivesEncoding(resolved)) {
            KZLOG_ERROR_M(QStringLiteral("fileURL==nil fileURL:%1 error:%2")
                              .arg(path, QStringLiteral("resolved path is not valid UTF-8")));
            resolved.clear();
        } else if (r != kzplatform::KZBookmarkResolution::Resolved) {
            KZLOG_ERROR_M(QStringLiteral("fileURL==nil fileURL:%1 error:%2")
                              .arg(QUrl::fromLocalFile(path).toString(), resolutionError(r)));
            m_volumeUnavailable = r == kzplatform::KZBookmarkResolution::VolumeUnavailable;
        }
    }
    if (!resolved.isEmpty()) {
        _path = resolved;
        _URL = QUrl::fromLocalFile(resolved);
    } else if (!path.isEmpty()) {
        _path = KZCleanAbsolutePath(path);
        _URL = _path.isEmpty() ? QUrl() : QUrl::fromLocalFile(_path);
    } else {
        _path.clear();
        _URL.clear();
    }
    // Linux has no per-folder access grants to stop and start.
    _status = getStatInfo(&_statInfo) ? 1 : 0;
    if (_status == 1)
        m_volumeUnavailable = false;
    else if (m_lastStatErrno == ETIMEDOUT || m_lastStatErrno == ENOMEDIUM)
        m_volumeUnavailable = true;
    if (_status == 1)
        renewBookmarkIfStale();
    _displayName.clear();
    _icon = QVariant();
}

// A bookmark that no longer names the folder directly (renamed, or its device
// number changed after a reboot) would have to be searched for at every launch
// and would stop working after a second change: it is made anew.
void KZBookmarkFileURL::renewBookmarkIfStale()
{
    const std::optional<kzplatform::KZFolderBookmark> b = kzplatform::kzDecodeBookmarkData(_bookmarkData);
    if (b && b->path == QFile::encodeName(_path) && b->device == _statInfo.st_dev && b->inode == _statInfo.st_ino)
        return;
    const QByteArray fresh = bookmarkDataFromURL(_URL);
    if (!fresh.isEmpty())
        _bookmarkData = fresh;
}

int KZBookmarkFileURL::updateStatus()
{
    if (!_URL.isEmpty()) {
        KZBookmarkFileURLStatInfo now;
        if (getStatInfo(&now) && now == _statInfo) {
            _status = 1;
            m_volumeUnavailable = false;
            return 1;
        }
    }
    updateFromBookmarkData(_bookmarkData, !_URL.isEmpty() ? _path : _serializedPath);
    return _status;
}

QString KZBookmarkFileURL::displayName()
{
    if (_status != 1)
        return lastComponent(_serializedPath.isEmpty() ? _path : _serializedPath);
    if (_displayName.isEmpty())
        _displayName = lastComponent(_path);
    return _displayName;
}

QVariant KZBookmarkFileURL::displayIcon()
{
    if (_status != 1)
        return QVariant();
    if (!_icon.isValid())
        _icon = updatedDisplayIcon();
    return _icon;
}

QVariant KZBookmarkFileURL::updatedDisplayIcon() const
{
    const IconProvider &provider = iconProvider();
    if (!provider || _path.isEmpty())
        return QVariant();
    return provider(_path, iconSize());
}

size_t KZBookmarkFileURL::hash() const
{
    return qHash(_URL);
}

bool KZBookmarkFileURL::isEqual(const KZBookmarkFileURL *other) const
{
    if (other == this)
        return true;
    if (!other || _URL.isEmpty() || other->_URL.isEmpty())
        return false;
    return _URL == other->_URL;
}

QString KZBookmarkFileURL::description() const
{
    return QStringLiteral("<%1 %2 URL:%3 path:%4>")
        .arg(KZDemangledTypeName(typeid(*this)))
        .arg(QStringLiteral("0x%1").arg(reinterpret_cast<quintptr>(this), 0, 16))
        .arg(_URL.toString(), _path);
}

QCborMap KZBookmarkFileURL::encodeWithCoder()
{
    if (_bookmarkData.isEmpty() && !_URL.isEmpty()) {
        QString error;
        _bookmarkData = bookmarkDataFromURL(_URL, &error);
        if (_bookmarkData.isEmpty())
            KZLOG_ERROR_M(QStringLiteral("bookmarkData==nil fileURL:%1 error:%2").arg(_URL.toString(), error));
    }
    QCborMap map;
    // A reference loaded but not yet checked has no live path: keep the stored one.
    map.insert(kSerializedPathKey, _path.isEmpty() ? _serializedPath : _path);
    map.insert(kBookmarkDataKey, QCborValue(_bookmarkData));
    return map;
}
