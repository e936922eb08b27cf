// One entry found by a walk: its path (as text and as the exact bytes on
// disk), its type letter and the attribute snapshot that sorting and display
// need, so that views never stat for display.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/KZPosixFS.h"

struct FileSearchResultTime {
    int64_t tv_sec = 0;
    int64_t tv_nsec = 0;
    bool operator==(const FileSearchResultTime &) const = default;
};

struct FileSearchResultStatInfo {
    uint16_t st_mode = 0;
    FileSearchResultTime st_mtimespec;
    FileSearchResultTime st_birthtimespec;
    int64_t st_size = 0;
    bool operator==(const FileSearchResultStatInfo &) const = default;

    static FileSearchResultStatInfo fromStat(const kzplatform::KZStat &st);
};

// Created on the walking thread; after the hand-over read and changed on the
// GUI thread only. Records have no value equality: compare by identity.
class FileSearchResult
{
public:
    enum Type : int32_t { TypeRegularFile = 'F', TypeDirectory = 'D', TypeSymLink = 'L' };

    // path: the entry's path as the walk gave it (NUL-terminated bytes). A name
    // that is not valid UTF-8 still makes a record: path() shows the invalid
    // bytes as U+FFFD, cPath() keeps them exactly and every file-system
    // operation uses cPath(). Null for a missing or empty path or an unknown
    // type letter.
    static std::shared_ptr<FileSearchResult> initWithPath(const char *path, int32_t type,
                                                          const kzplatform::KZStat &st);
    // The same with a snapshot at hand (a walk that skips the stat of matches
    // passes one holding only the type bits; hasStatInfos() is then false).
    static std::shared_ptr<FileSearchResult> initWithPath(const char *path, size_t length, int32_t type,
                                                          const FileSearchResultStatInfo &info, bool hasStatInfos);

    FileSearchResult(const FileSearchResult &) = delete;
    FileSearchResult &operator=(const FileSearchResult &) = delete;

    // The path and the name are decoded from the bytes on first use: a
    // command that prints the bytes never pays for them. Any thread.
    const QString &path() const { return details().path; }
    // The exact path bytes, copied.
    QByteArray cPath() const { return QByteArray(_cPath, qsizetype(_cPathLength)); }
    // The same bytes without a copy (NUL-terminated), as long as the record lives.
    QByteArrayView cPathView() const { return QByteArrayView(_cPath, qsizetype(_cPathLength)); }
    // The containing folder's bytes, as dirPath() reads them ("/" for an entry
    // at the top): a view into the path that builds none of the text caches,
    // for code that handles many records, such as the grouping of a list.
    QByteArrayView dirPathBytes() const;
    const QString &fileName() const { return details().fileName; }
    int32_t type() const { return _type; }
    FileSearchResultStatInfo statInfos() const;
    // False when the walk skipped the stat: times and size are then zero.
    bool hasStatInfos() const { return _hasStatInfos; }

    bool isRegularFile() const { return _type == TypeRegularFile; }
    bool isDirectory() const { return _type == TypeDirectory; }
    bool isSymLink() const { return _type == TypeSymLink; }

    // st_size for a regular file; 0 for folders and links.
    int64_t fileSize() const;
    // Whole seconds since 1970.
    double modificationDate() const;
    double creationDate() const;
    // The same instants in the local time zone; cached.
    QDateTime dateModified() const;
    QDateTime dateCreated() const;
    // file:// URL built from the exact path bytes; cached. Empty without a path.
    QUrl fileURL() const;
    // The containing folder; cached.
    QString dirPath() const;

    bool isValid() const { return _isValid; }
    // Re-checks the entry: 0 unchanged, 1 changed (type and snapshot updated,
    // presentation caches dropped), -1 gone or no longer a file, folder or link.
    int updateStatus();
    // Drops the presentation caches so that the next read rebuilds them.
    void attributesChanged();

    // Set and read by the results views; the engine never looks at them.
    QVariant displayFilename() const { return details().displayFilename; }
    void setDisplayFilename(const QVariant &value) { details().displayFilename = value; }
    QVariant fileIcon() const { return details().fileIcon; }
    void setFileIcon(const QVariant &value) { details().fileIcon = value; }
    QString displayDirPath() const { return details().displayDirPath; }
    void setDisplayDirPath(const QString &value) { details().displayDirPath = value; }

    // "<FileSearchResult 0x... path:/a/b isValid:1>"
    QString description() const;

    // Only initWithPath makes records (one allocation for the count, the record and its path bytes).
    struct Private {
        explicit Private() = default;
    };
    explicit FileSearchResult(Private) {}
    ~FileSearchResult();

private:
    // What only a window needs: decoded names and presentation caches, made
    // on first use, so that a record the walk makes is small and made in one
    // allocation (a result that is only printed never gets them).
    struct Details {
        QString path;
        QString fileName;
        QUrl fileURL;
        QString dirPath;
        QDateTime dateModified;
        QDateTime dateCreated;
        QVariant displayFilename;
        QVariant fileIcon;
        QString displayDirPath;
    };
    Details &details() const
    {
        Details *d = _details.load(std::memory_order_acquire);
        return d ? *d : makeDetails();
    }
    Details &makeDetails() const;

    static int32_t typeOfMode(uint16_t mode);
    void setStatInfos(const FileSearchResultStatInfo &info);

    // Sized for millions of records: the path bytes follow the record in its
    // allocation, and the snapshot is kept without padding (nanoseconds are
    // below 10^9).
    const char *_cPath = nullptr;
    mutable std::atomic<Details *> _details{nullptr};
    int64_t _mtimeSec = 0;
    int64_t _btimeSec = 0;
    int64_t _size = 0;
    int32_t _mtimeNsec = 0;
    int32_t _btimeNsec = 0;
    uint32_t _cPathLength = 0;
    uint16_t _mode = 0;
    char _type = 0;
    bool _hasStatInfos = false;
    bool _isValid = false;
};

using FileSearchResultRef = std::shared_ptr<FileSearchResult>;
using FileSearchResultList = QList<FileSearchResultRef>;

Q_DECLARE_METATYPE(FileSearchResultRef)
Q_DECLARE_METATYPE(FileSearchResultList)
