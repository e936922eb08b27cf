// A durable reference to a folder chosen by the user: its URL and path for use
// now, a bookmark to find it again after a rename or a relaunch, and a small
// lstat snapshot that tells cheaply whether the folder is still what it was.
// GUI thread. Every file-system access is guarded (KZGuardedFS): a folder on an
// unmounted or silent volume becomes unreachable at once, nothing is mounted.
#pragma once

#include <QCborMap>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>

struct KZBookmarkFileURLTime {
    int64_t tv_sec = 0;
    int64_t tv_nsec = 0;
    bool operator==(const KZBookmarkFileURLTime &) const = default;
};

// Compared as a whole: any difference means the folder must be looked up again.
// The device is 64 bits wide on Linux.
struct KZBookmarkFileURLStatInfo {
    uint64_t st_dev = 0;
    uint64_t st_ino = 0;
    uint16_t st_mode = 0;
    KZBookmarkFileURLTime st_mtimespec;
    int64_t st_size = 0;
    bool operator==(const KZBookmarkFileURLStatInfo &) const = default;
};

class KZBookmarkFileURL
{
public:
    // Builds the icon of a path at a size; installed by the GUI, which turns
    // its icon type into a QVariant. Without one there are no icons.
    using IconProvider = std::function<QVariant(const QString &path, int size)>;
    static void setIconProvider(IconProvider provider);

    // initWithURL:path:status:. Takes whichever of url and path is given (the
    // path from a file URL, or a file URL from an absolute path), snapshots it,
    // creates the bookmark; outStatus receives the status. Null, logged, when
    // neither is given.
    static std::shared_ptr<KZBookmarkFileURL> create(const QUrl &url, const QString &path, int *outStatus = nullptr);
    // Decodes "serializedPath" and "bookmarkData". URL, path and status stay
    // empty until updateStatus. Null, logged, when the keys have the wrong types.
    static std::shared_ptr<KZBookmarkFileURL> fromArchive(const QCborMap &map);
    virtual ~KZBookmarkFileURL();

    QUrl URL() const { return _URL; }
    QString path() const { return _path; }
    int status() const { return _status; }
    QByteArray bookmarkData() const { return _bookmarkData; }
    QString serializedPath() const { return _serializedPath; }
    KZBookmarkFileURLStatInfo statInfo() const { return _statInfo; }

    // lstat of the path into out; false without logging when there is no path
    // or the folder is gone (EPERM, ENOENT, EACCES, or under an automount
    // point that is not mounted), false with a log for anything else.
    bool getStatInfo(KZBookmarkFileURLStatInfo *out);
    // A new bookmark for a file URL, or empty.
    static QByteArray bookmarkDataFromURL(const QUrl &url, QString *error = nullptr);
    // Re-resolves the reference from the bookmark, else from the path.
    void updateFromBookmarkData(const QByteArray &bookmarkData, const QString &path);
    // One lstat when the folder has not changed; a re-resolution otherwise.
    int updateStatus();
    // True when the last check failed because the folder's volume is not
    // mounted or did not answer, rather than because the folder is gone.
    bool isVolumeUnavailable() const { return m_volumeUnavailable; }

    QString displayName();
    // The cached icon (built on first use while reachable); invalid when
    // unreachable or when no provider is installed.
    QVariant displayIcon();
    QVariant updatedDisplayIcon() const;
    virtual int iconSize() const { return 16; }

    size_t hash() const;
    bool isEqual(const KZBookmarkFileURL *other) const;
    QString description() const;

    // The archive: "serializedPath" and "bookmarkData" (the bookmark is made
    // from the URL first when there is none yet).
    virtual QCborMap encodeWithCoder();

protected:
    KZBookmarkFileURL() = default;
    bool initWithURL(const QUrl &url, const QString &path, int *outStatus);
    bool initWithCoder(const QCborMap &map);

    QUrl _URL;
    QString _path;
    int32_t _status = 0;
    KZBookmarkFileURLStatInfo _statInfo;
    QByteArray _bookmarkData;
    QString _serializedPath;
    QString _displayName;
    QVariant _icon;

private:
    void renewBookmarkIfStale();

    bool m_volumeUnavailable = false;
    int m_lastStatErrno = 0;
};

// A path as the rest of Trovix writes it: absolute, without "." components,
// doubled or trailing slashes. Null when the string is not an absolute path.
QString KZCleanAbsolutePath(const QString &path);
// True when the string names the same bytes after a trip to the file system
// and back (names that are not valid UTF-8 do not).
bool KZPathSurvivesEncoding(const QString &path);
