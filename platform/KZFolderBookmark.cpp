#include "platform/KZFolderBookmark.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <QCborMap>
#include <QCborValue>

#include "platform/KZGuardedFS.h"

namespace kzplatform {

namespace {

const QString kPathKey = QStringLiteral("path");
const QString kDeviceKey = QStringLiteral("device");
const QString kInodeKey = QStringLiteral("inode");
const QString kVolumeKey = QStringLiteral("volume");

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// The name in dir whose entry is a folder with this device and inode, or empty.
QByteArray findInFolder(const QByteArray &dir, uint64_t device, uint64_t inode)
{
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {};
    DIR *d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return {};
    }
    QByteArray found;
    while (struct dirent *e = ::readdir(d)) {
        if (e->d_ino != inode || std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        KZStat st;
        if (kzStatAt(::dirfd(d), e->d_name, &st) == 0 && st.ino == inode && st.dev == device && S_ISDIR(st.mode)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool volumeIsMounted(const QByteArray &volume)
{
    if (volume.isEmpty() || volume == "/")
        return true;
    for (const KZMountEntry &e : kzVisibleMounts(kzCurrentMountTable()))
        if (e.mountPoint == volume)
            return e.fsType != "autofs";
    return false;
}

} // namespace

QByteArray kzEncodeBookmark(const KZFolderBookmark &bookmark)
{
    QCborMap map;
    map.insert(kPathKey, QCborValue(bookmark.path));
    map.insert(kDeviceKey, static_cast<qint64>(bookmark.device));
    map.insert(kInodeKey, static_cast<qint64>(bookmark.inode));
    map.insert(kVolumeKey, QCborValue(bookmark.volume));
    return QCborValue(map).toCbor();
}

std::optional<KZFolderBookmark> kzDecodeBookmarkData(const QByteArray &data)
{
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(data, &error);
    if (error.error != QCborError::NoError || !value.isMap())
        return std::nullopt;
    const QCborMap map = value.toMap();
    if (!map.value(kPathKey).isByteArray() || !map.value(kDeviceKey).isInteger() || !map.value(kInodeKey).isInteger())
        return std::nullopt;
    KZFolderBookmark b;
    b.path = map.value(kPathKey).toByteArray();
    b.device = static_cast<uint64_t>(map.value(kDeviceKey).toInteger());
    b.inode = static_cast<uint64_t>(map.value(kInodeKey).toInteger());
    b.volume = map.value(kVolumeKey).toByteArray();
    if (!b.path.startsWith('/'))
        return std::nullopt;
    return b;
}

QByteArray kzBookmarkDataForPath(const QByteArray &absolutePath, int *err)
{
    if (err)
        *err = 0;
    if (!absolutePath.startsWith('/')) {
        if (err)
            *err = EINVAL;
        return {};
    }
    KZStat st;
    if (kzLstatGuarded(absolutePath, &st) != 0) {
        if (err)
            *err = errno;
        return {};
    }
    KZFolderBookmark b;
    b.path = absolutePath;
    b.device = st.dev;
    b.inode = st.ino;
    b.volume = kzRouteOfPath(absolutePath, kzCurrentMountTable()).mountPoint;
    return kzEncodeBookmark(b);
}

KZBookmarkResolution kzResolveBookmarkData(const QByteArray &data, QByteArray *resolvedPath, int timeoutMs)
{
    const std::optional<KZFolderBookmark> b = kzDecodeBookmarkData(data);
    if (!b)
        return KZBookmarkResolution::Invalid;

    KZStat st;
    if (kzLstatGuarded(b->path, &st, timeoutMs) == 0) {
        if (st.dev == b->device && st.ino == b->inode) {
            if (resolvedPath)
                *resolvedPath = b->path;
            return KZBookmarkResolution::Resolved;
        }
    } else if (errno == ETIMEDOUT || errno == ENOMEDIUM) {
        return KZBookmarkResolution::VolumeUnavailable;
    }

    // Renamed in place: look for the same device and inode in the old parent.
    const QByteArray parent = parentOf(b->path);
    int err = 0;
    const uint64_t device = b->device, inode = b->inode;
    const std::optional<QByteArray> name = kzCallForPath<QByteArray>(
        parent, timeoutMs, [parent, device, inode]() { return findInFolder(parent, device, inode); }, &err);
    if (!name)
        return KZBookmarkResolution::VolumeUnavailable;
    if (!name->isEmpty()) {
        if (resolvedPath)
            *resolvedPath = parent == "/" ? parent + *name : parent + '/' + *name;
        return KZBookmarkResolution::Resolved;
    }
    return volumeIsMounted(b->volume) ? KZBookmarkResolution::NotFound : KZBookmarkResolution::VolumeUnavailable;
}

} // namespace kzplatform
