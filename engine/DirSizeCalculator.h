// Folder sizes on request: counted in the background (at most four at once),
// remembered for the rest of the run, and announced with
// "DirSizeCalculatorUpdatedNotification" {"kind": 1, "path", "totalSize"}.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <cstdint>
#include <memory>
#include <optional>

// What GetDirectoryStatistics adds up: logical bytes of regular files, and the
// regular files, folders and symbolic links met. The caller zeroes it.
struct KZDirectoryStatistics {
    uint64_t totalSize = 0;
    uint64_t files = 0;
    uint64_t dirs = 0;
    uint64_t links = 0;
};

// Counts the tree below dirPath (links are counted, never followed). 0 on
// success, -1 empty path, -2 the folder cannot be opened, -3 out of memory.
// An entry whose path would be too long is logged and skipped alone; the rest
// of its folder is still counted.
int GetDirectoryStatistics(const char *dirPath, KZDirectoryStatistics *stats);
// False for "/", "/media" and "/mnt" (never counted) and when the count fails.
bool KZGetDirectoryStatistics(KZDirectoryStatistics *stats, const QString &dirPath);

class DirSizeCalculator : public QObject
{
    Q_OBJECT
public:
    // GUI thread, like every member below.
    static DirSizeCalculator *sharedInstance();

    // The last finished size of path, or nothing. *isCalculating tells whether
    // a count is pending; it is left untouched when the path is unknown.
    std::optional<quint64> sizeOfDirPath(const QString &path, bool *isCalculating) const;
    // Starts a count unless one is pending; true when one was started.
    bool startCalculateSizeOfDirPath(const QString &path);
    // Cancels counts not yet started, forgets every entry (finished sizes too);
    // late results of running counts are dropped.
    void cancellAll();
    // Receives a finished count {"path", "totalSize"}.
    void mt_didFinished(const QVariantMap &result);

    QThreadPool *queue() { return &m_opQueue; }

private:
    explicit DirSizeCalculator(QObject *parent = nullptr);

    struct Entry {
        quint64 op = 0; // the pending count's number; 0 when none is pending
        std::optional<quint64> size;
    };
    QHash<QString, Entry> _dirSizes;
    QThreadPool m_opQueue;
    quint64 m_nextOp = 0;
};
