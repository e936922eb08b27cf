// A search session: what windows and trovix-find see of a search. It runs one
// walk at a time on a worker of a caller-given pool, moves each folder's batch
// to the GUI thread (the walk waits until it is taken in; folders finished
// within a few milliseconds travel together), keeps the results
// and statistics, and announces every change with
// "KZFileSearchObjectUpdatedNotification". A token ("jeton") ties batches to
// the search that made them, so batches of a stopped or superseded walk vanish.
#pragma once

#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <atomic>
#include <memory>

#include "engine/FileSearchResult.h"

class KZFileSearch;
class QThreadPool;

class KZFileSearchObject : public QObject
{
    Q_OBJECT
public:
    explicit KZFileSearchObject(QObject *parent = nullptr);
    // Stops the search first. The walk may still be running on its worker;
    // it holds nothing of this object and delivers nothing more.
    ~KZFileSearchObject() override;

    // True when a search can start at path; otherwise false and, when message
    // is given, one of "The directory is not specified.", "Directory does not
    // exist.", "The target path is not a directory." or "No directory access."
    // (localised). Any thread.
    static bool canStartSearch(const QString &path, QString *message);
    // True when criteria hold at least one criterion of kind 2, 4, 5, 1, 6, 3 or 8.
    static bool hasUsableCriteria(const QVariantList &criteria);

    // Thread-safe properties; the walk reads them when it starts.
    QString scopeDir() const;
    void setScopeDir(const QString &scopeDir);
    QVariantList criteria() const;
    void setCriteria(const QVariantList &criteria);

    // GUI thread. Starts a search of scopeDir with criteria on queue,
    // cancelling the walk in progress.
    void startSearch(QThreadPool *queue);
    // GUI thread. Cancels the walk, forgets it and invalidates the token; no
    // notification of that search is posted afterwards.
    void stopSearch();
    bool isSearching() const { return m_fileSearch != nullptr; }

    FileSearchResultList results() const { return _results; }
    // {"files", "dirs", "links", "total"}; empty before the first batch.
    QVariantMap statistics() const { return _statistics; }
    // What the search left out so far: folders it could not read (each also
    // announced with kind 3), and entries whose path reaches the length limit.
    qint64 unreadableFolderCount() const { return m_unreadableFolders; }
    qint64 skippedLongPathCount() const { return m_skippedLongPaths; }
    // "1 file, 1,234 directories"; null when every count is 0.
    QString displayStatistics() const;
    static QString displayStatisticsWithCounts(qint64 files, qint64 dirs, qint64 links,
                                               const QLocale &locale = QLocale());
    QVariantList criterionListWithKind(qint64 kind) const;

    // GUI thread: receives a batch message {"jeton", "change", "results" or
    // "paths", "stats", "skippedLongPaths"}, or with change 3 a folder that
    // could not be read {"jeton", "change", "path", "error"}, announced as
    // {"kind": 3, "path": path bytes, "error": errno}.
    void mt_searchUpdated(const QVariantMap &message);

    quint64 jeton() const;

    // For trovix-find, which prints batches as they come: when false, batches
    // are announced but not kept, so memory does not grow with the results.
    void setKeepsResults(bool keeps) { m_keepsResults = keeps; }
    bool keepsResults() const { return m_keepsResults; }
    // For trovix-find: the walk posts its batches without waiting for each to be
    // taken in, with at most kMaxHandOversInFlight hand-overs on their way (the walk waits
    // beyond that, so memory stays bounded). Order and the token rules are
    // unchanged. A window keeps the waiting hand-over.
    static constexpr int kMaxHandOversInFlight = 256;
    // The walk hands the folders it finished over to the GUI thread together,
    // at most this often (the end of the walk is handed over at once). Each
    // folder's batch is still announced on its own, in walk order.
    static constexpr qint64 kHandOverIntervalMs = 4;
    // 0 hands every folder over on its own (tests of the hand-over use it).
    void setHandOverIntervalMs(qint64 ms) { m_handOverIntervalMs = ms; }
    void setHandsOverWithoutWaiting(bool on) { m_handsOverWithoutWaiting = on; }
    // Passed on to the walk (see KZFileSearch::setSkipsMatchStat).
    void setSkipsMatchStat(bool skip) { m_skipsMatchStat = skip; }
    // For trovix-find when it prints paths alone: each folder's matches arrive
    // as path bytes, each followed by a NUL, under "paths" in the
    // notification instead of records under "results"; nothing is kept.
    void setDeliversPathsOnly(bool on) { m_deliversPathsOnly = on; }
    bool deliversPathsOnly() const { return m_deliversPathsOnly; }

    // What the worker shares with the session; public for the worker only.
    struct SharedState;

private:
    std::shared_ptr<SharedState> m_state;
    std::shared_ptr<KZFileSearch> m_fileSearch; // the walk in progress
    FileSearchResultList _results;
    QVariantMap _statistics;
    qint64 m_unreadableFolders = 0;
    qint64 m_skippedLongPaths = 0;
    bool m_keepsResults = true;
    bool m_handsOverWithoutWaiting = false;
    bool m_skipsMatchStat = false;
    bool m_deliversPathsOnly = false;
    qint64 m_handOverIntervalMs = kHandOverIntervalMs;
};
