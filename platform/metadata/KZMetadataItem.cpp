#include "platform/metadata/KZMetadataItem.h"

#include <cerrno>
#include <cmath>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>

#include "platform/KZPosixFS.h"
#include "platform/metadata/KZMetadataReaders.h"
#include "platform/metadata/KZMetadataValues.h"

namespace kzplatform {

void KZMetadataItem::setString(const QString &name, const QString &value)
{
    const QString trimmed = value.trimmed();
    if (!trimmed.isEmpty())
        m_attributes.insert(name, trimmed);
}

void KZMetadataItem::setStringList(const QString &name, const QStringList &value)
{
    QStringList kept;
    for (const QString &s : value) {
        const QString trimmed = s.trimmed();
        if (!trimmed.isEmpty() && !kept.contains(trimmed))
            kept.append(trimmed);
    }
    if (!kept.isEmpty())
        m_attributes.insert(name, kept);
}

void KZMetadataItem::setNumber(const QString &name, double value)
{
    if (!std::isfinite(value))
        return;
    if (value == std::trunc(value) && std::fabs(value) < 9.0e15)
        m_attributes.insert(name, qint64(value));
    else
        m_attributes.insert(name, value);
}

void KZMetadataItem::setInteger(const QString &name, qint64 value)
{
    m_attributes.insert(name, value);
}

void KZMetadataItem::setBoolean(const QString &name, bool value)
{
    m_attributes.insert(name, value);
}

void KZMetadataItem::setDate(const QString &name, const QDateTime &value)
{
    if (value.isValid())
        m_attributes.insert(name, value);
}

void KZMetadataItem::setNumberText(const QString &name, const QString &text)
{
    if (const std::optional<double> n = kzMetadataNumber(text))
        setNumber(name, *n);
}

void KZMetadataItem::setDateText(const QString &name, const QString &text)
{
    setDate(name, kzMetadataDate(text));
}

namespace {

QDateTime dateOf(const struct timespec &ts)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

QString accountName(uid_t uid)
{
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd *found = nullptr;
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || !found)
        return QString();
    return QString::fromLocal8Bit(found->pw_name);
}

QString groupAccountName(gid_t gid)
{
    std::vector<char> buf(16384);
    struct group gr {};
    struct group *found = nullptr;
    if (::getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) != 0 || !found)
        return QString();
    return QString::fromLocal8Bit(found->gr_name);
}

// Entries of a folder, "." and ".." aside; -1 when it cannot be listed.
qint64 nodeCount(int dirFd)
{
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return -1;
    }
    qint64 count = 0;
    while (const struct dirent *e = ::readdir(dir)) {
        if (!(e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0))))
            ++count;
    }
    ::closedir(dir);
    return count;
}

// An extended attribute as text; null when absent or unreadable. fd >= 0 reads
// through the descriptor, otherwise the path without following a link.
QString xattrText(int fd, const QByteArray &path, const char *name)
{
    std::vector<char> buf(65536);
    const ssize_t n = fd >= 0 ? ::fgetxattr(fd, name, buf.data(), buf.size())
                              : kzGetXattr(path.constData(), name, buf.data(), buf.size());
    if (n <= 0)
        return QString();
    QByteArray value(buf.data(), n);
    while (value.endsWith('\0'))
        value.chop(1);
    return QString::fromUtf8(value);
}

void readXattrs(int fd, const QByteArray &path, KZMetadataItem &item)
{
    const QString comment = xattrText(fd, path, "user.xdg.comment");
    item.setString(QStringLiteral("kMDItemComment"), comment);
    item.setString(QStringLiteral("kMDItemFinderComment"), comment);
    item.setStringList(QStringLiteral("kMDItemWhereFroms"), {xattrText(fd, path, "user.xdg.origin.url"),
                                                            xattrText(fd, path, "user.xdg.referrer.url")});
    item.setStringList(QStringLiteral("kMDItemUserTags"), xattrText(fd, path, "user.xdg.tags").split(u','));
    item.setStringList(QStringLiteral("kMDItemLanguages"), xattrText(fd, path, "user.xdg.language").split(u','));
    item.setString(QStringLiteral("kMDItemCreator"), xattrText(fd, path, "user.xdg.creator"));
    item.setStringList(QStringLiteral("kMDItemPublishers"), {xattrText(fd, path, "user.xdg.publisher")});
}

QByteArray head(int fd, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    ssize_t n;
    do {
        n = ::pread(fd, bytes.data(), size_t(size), 0);
    } while (n < 0 && errno == EINTR);
    bytes.truncate(n < 0 ? 0 : n);
    return bytes;
}

QString specialTypeName(uint32_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFDIR: return QStringLiteral("inode/directory");
    case S_IFLNK: return QStringLiteral("inode/symlink");
    case S_IFIFO: return QStringLiteral("inode/fifo");
    case S_IFSOCK: return QStringLiteral("inode/socket");
    case S_IFCHR: return QStringLiteral("inode/chardevice");
    case S_IFBLK: return QStringLiteral("inode/blockdevice");
    default: return QString();
    }
}

} // namespace

class KZMetadataItemReader
{
public:
    static void fileSystemFacts(const QString &path, const KZStat &st, KZMetadataItem &item)
    {
        const qsizetype slash = path.lastIndexOf(u'/', path.endsWith(u'/') && path.size() > 1 ? -2 : -1);
        QString name = path.mid(slash + 1);
        if (name.endsWith(u'/') && name.size() > 1)
            name.chop(1);
        item.setString(QStringLiteral("kMDItemFSName"), name);
        item.setString(QStringLiteral("kMDItemDisplayName"), name);
        item.setString(QStringLiteral("kMDItemPath"), path);
        item.setBoolean(QStringLiteral("kMDItemFSInvisible"), name.startsWith(u'.'));
        if (!S_ISDIR(st.mode)) {
            item.setInteger(QStringLiteral("kMDItemFSSize"), st.size);
            item.setInteger(QStringLiteral("kMDItemLogicalSize"), st.size);
            item.setInteger(QStringLiteral("kMDItemPhysicalSize"), st.blocks * 512);
        }
        if (st.hasBirthTime)
            item.setDate(QStringLiteral("kMDItemFSCreationDate"), dateOf(st.btime));
        item.setDate(QStringLiteral("kMDItemFSContentChangeDate"), dateOf(st.mtime));
        item.setDate(QStringLiteral("kMDItemContentModificationDate"), dateOf(st.mtime));
        item.setDate(QStringLiteral("kMDItemAttributeChangeDate"), dateOf(st.ctime));
        item.setDate(QStringLiteral("kMDItemLastUsedDate"), dateOf(st.atime));
        item.setInteger(QStringLiteral("kMDItemFSOwnerUserID"), st.uid);
        item.setInteger(QStringLiteral("kMDItemFSOwnerGroupID"), st.gid);
        item.m_ownerName = accountName(st.uid);
        item.m_groupName = groupAccountName(st.gid);
    }

    static void contentType(const QMimeType &type, KZMetadataItem &item)
    {
        if (!type.isValid())
            return;
        item.setString(QStringLiteral("kMDItemContentType"), type.name());
        item.setStringList(QStringLiteral("kMDItemContentTypeTree"), QStringList{type.name()} + type.allAncestors());
        item.setString(QStringLiteral("kMDItemKind"), type.comment());
    }
};

std::optional<KZMetadataItem> KZMetadataItem::read(const QString &path, bool followLink,
                                                   const QList<KZMetadataContentReader> &extraReaders)
{
    const QByteArray pathBytes = QFile::encodeName(path);
    KZStat st;
    if ((followLink ? kzStatFollow(pathBytes.constData(), &st) : kzLstat(pathBytes.constData(), &st)) != 0)
        return std::nullopt;

    KZMetadataItem item;
    KZMetadataItemReader::fileSystemFacts(path, st, item);
    const QMimeDatabase db;
    const bool regular = S_ISREG(st.mode);
    if (!regular && !S_ISDIR(st.mode)) {
        KZMetadataItemReader::contentType(db.mimeTypeForName(specialTypeName(st.mode)), item);
        if (!S_ISLNK(st.mode) && !followLink)
            readXattrs(-1, pathBytes, item);
        return item;
    }

    // Everything else is read through one descriptor of the very entry that
    // was examined: no link is followed unless asked, and a FIFO put in its
    // place meanwhile is never waited on.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (followLink ? 0 : O_NOFOLLOW)
                      | (regular ? 0 : O_DIRECTORY);
    const int fd = ::open(pathBytes.constData(), flags);
    struct stat fdSt {};
    if (fd < 0 || ::fstat(fd, &fdSt) != 0 || fdSt.st_ino != st.ino || (fdSt.st_mode & S_IFMT) != (st.mode & S_IFMT)) {
        if (fd >= 0)
            ::close(fd);
        // Unreadable (or replaced meanwhile): the name still tells the type,
        // and attributes need no read permission.
        KZMetadataItemReader::contentType(
            regular ? db.mimeTypeForFile(item.value(QStringLiteral("kMDItemFSName")).toString(), QMimeDatabase::MatchExtension)
                    : db.mimeTypeForName(specialTypeName(st.mode)),
            item);
        if (!followLink)
            readXattrs(-1, pathBytes, item);
        return item;
    }
    readXattrs(fd, pathBytes, item);
    if (!regular) {
        KZMetadataItemReader::contentType(db.mimeTypeForName(specialTypeName(st.mode)), item);
        const qint64 count = nodeCount(fd);
        if (count >= 0)
            item.setInteger(QStringLiteral("kMDItemFSNodeCount"), count);
        ::close(fd);
        return item;
    }

    const QMimeType type = db.mimeTypeForFileNameAndData(item.value(QStringLiteral("kMDItemFSName")).toString(),
                                                          head(fd, 16384));
    KZMetadataItemReader::contentType(type, item);
    const QString typeName = type.name();
    if (kzIsImageType(typeName))
        kzReadImageMetadata(fd, item);
    else if (kzIsMediaType(typeName))
        kzReadMediaMetadata(fd, item);
    for (const KZMetadataContentReader &reader : extraReaders) {
        if (reader.accepts && reader.read && reader.accepts(typeName))
            reader.read(fd, item);
    }
    ::close(fd);
    return item;
}

} // namespace kzplatform
