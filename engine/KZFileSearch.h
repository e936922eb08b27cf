// One search: compiles the criteria into filters, walks the folders below the
// scope depth-first with plain directory streams, and hands the matches back
// one folder at a time. Runs on the calling thread; cancellable from any other.
#pragma once

#include <QCalendar>
#include <QDateTime>
#include <QString>
#include <QVariantList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FileSearchResult.h"
#include "engine/KZCBufferContainer.h"

// Criterion kinds and operators of the canonical criteria lists
// ({"kind", "operator", "value"} maps).
enum KZFileSearchCriterionKind : int64_t {
    KZFileSearchKindFileName = 1,
    KZFileSearchKindFileSize = 2,
    KZFileSearchKindUTIType = 3,
    KZFileSearchKindDateCreated = 4,
    KZFileSearchKindDateModified = 5,
    KZFileSearchKindTagNames = 6,
    KZFileSearchKindXAttrs = 8,
    KZFileSearchKindDirPaths = 10,
    KZFileSearchKindTrash = 11,
    // Not offered in the rules editor: operator 5 and an array of folder
    // names; the walk enters no folder whose name is one of them.
    KZFileSearchKindSkipDirNames = 12,
};

enum KZFileSearchOperator : int64_t {
    KZFileSearchOperatorContains = 1,
    KZFileSearchOperatorBeginsWith = 2,
    KZFileSearchOperatorEndsWith = 3,
    KZFileSearchOperatorIs = 4,
    KZFileSearchOperatorIsNot = 5,
    KZFileSearchOperatorLessThan = 6,
    KZFileSearchOperatorGreaterThan = 7,
    KZFileSearchOperatorDateExactlyDay = 8,
    KZFileSearchOperatorDateBefore = 9,
    KZFileSearchOperatorDateAfter = 10,
    KZFileSearchOperatorDateToday = 11,
    KZFileSearchOperatorDateYesterday = 12,
    KZFileSearchOperatorIsDefined = 13,
    KZFileSearchOperatorIsNotDefined = 14,
    KZFileSearchOperatorDateWithinLast = 15,
    KZFileSearchOperatorDateLastHour = 18,
    KZFileSearchOperatorDateLast6Hours = 19,
    KZFileSearchOperatorDoesNotContain = 20,
};

inline const QString KZFileSearchUTIType_RegFile = QStringLiteral("KZFileSearchUTIType_RegFile");
inline const QString KZFileSearchUTIType_Directorty = QStringLiteral("KZFileSearchUTIType_Directorty");
inline const QString KZFileSearchUTIType_SymLink = QStringLiteral("KZFileSearchUTIType_SymLink");
inline const QString KZFileSearchUTIType_DSStore = QStringLiteral("KZFileSearchUTIType_DSStore");

// One compiled criterion. Owns text, auxText and typeIdentifier, except the
// constant ".DS_Store" text. Fields a filter does not use are zero.
struct KZFileSearchFilterStruct {
    int64_t kind = 0;
    int64_t op = 0; // "operator"
    char *text = nullptr; // name text (NFD), attribute name (NFD), or ".DS_Store"
    uint64_t textLength = 0;
    int64_t sizeValue = 0;
    int64_t timeValue = 0; // window start, seconds since 1970
    int32_t entryType = 0; // DT_REG, DT_DIR or DT_LNK for a type keyword
    QString typeIdentifier; // MIME type (kind 3) or tag text (kind 6)
    // Kinds 1 and 8: the precomposed (NFC) form of text when it differs from
    // it, since Linux names are mostly stored precomposed. Kind 6: the tag
    // text in UTF-8. Null otherwise.
    char *auxText = nullptr;
    uint64_t auxTextLength = 0;
    bool ownsText = false;
};

// The walk goes one call deeper per folder level, up to PATH_MAX / 2 levels:
// a thread that walks needs this much stack, whatever `ulimit -s` says
// (sanitizer builds need ten times what a release build does).
inline constexpr uint KZFileSearchWalkStackSize = 32u * 1024 * 1024;

// Releases what the filters own and zeroes them.
void KZFileSearchFiltersRelease(KZFileSearchFilterStruct *filters, int32_t count);

// Matches per type, in this order: regular files, folders, links; then the
// entries left out because their path reaches the length limit (not results).
struct KZFileSearchCounters {
    int64_t files = 0;
    int64_t dirs = 0;
    int64_t links = 0;
    int64_t skippedLongPaths = 0;
    int64_t total() const { return files + dirs + links; }
};

enum KZFileSearchStatus : int {
    KZFileSearchStatusBatch = 1,
    KZFileSearchStatusFinished = 2,
    // Between the walk and its session only: a folder could not be read.
    KZFileSearchStatusUnreadableFolder = 3,
};

// A folder the walk could not list, with everything below it: its path bytes
// and the errno that refused it (ETIMEDOUT for a network or FUSE mount that
// did not answer). Called on the walking thread.
using KZFileSearchUnreadableFolderCallback = std::function<void(const QByteArray &dirPath, int error)>;

// status 1: batch holds the matches found directly in one folder; status 2:
// the walk is over (batch empty). counters count the matches handed over so
// far, this batch included. Called on the walking thread. The batch is an
// implicitly shared list: keeping a copy costs nothing.
using KZFileSearchCallback =
    std::function<void(int status, const FileSearchResultList &batch, const KZFileSearchCounters &counters)>;

// The same calls for callers that need nothing but paths: paths holds the
// folder's matches as their path bytes, each followed by a NUL byte, in the
// order found (empty with status 2). No record is made for a match.
using KZFileSearchPathsCallback =
    std::function<void(int status, const QByteArray &paths, const KZFileSearchCounters &counters)>;

// Singly linked list of folders the walk skips (exact bytes, compared
// exactly: Linux file names are case-sensitive).
struct KZExcludedDir {
    char *path = nullptr;
    uint64_t pathLength = 0;
    KZExcludedDir *next = nullptr;
};

// Folder names the walk does not enter, compared byte for byte with the
// entry name. A sorted vector: a lookup is a binary search over a handful.
class KZSkippedDirNames
{
public:
    // Names of the kind-12 criteria with operator 5. A name that no entry can
    // have (empty, ".", "..", or holding "/") is left out.
    static KZSkippedDirNames fromCriteria(const QVariantList &criteria);
    bool isEmpty() const { return _names.empty(); }
    bool contains(const char *name, size_t length) const;
    const std::vector<std::string> &names() const { return _names; }

private:
    std::vector<std::string> _names;
};

// The criterion that skips the folders with these names (none when empty).
QVariantMap KZSkippedDirNamesCriterion(const QStringList &names);

// The recursive worker. Statuses: 1 listed to the end, 0 cancelled, -1 empty
// path, -2 the folder could not be opened, -3 out of memory, -4 an entry path
// reached the length limit (only that entry was skipped).
int PerformSearchInDirectory(const char *dirPath, bool skipDSStore, bool includeTrash,
                             const KZExcludedDir *excludedDirs, const KZFileSearchFilterStruct *filters,
                             int32_t filtersCount, KZCBufferContainer *buffer, const std::atomic<bool> *isCancelled,
                             KZFileSearchCounters *counters, const KZFileSearchCallback &callback);

// Reads the value of a "within the last" criterion, "N|U": a whole count N of
// 0 or more (more digits than 64 bits hold read as the largest count) and a
// unit code U from 1 (days) to 6 (minutes). False for anything else.
bool KZFileSearchParseWithinLast(const QString &value, qint64 *count, int *unit);

// Finder tags of an entry from "user.xdg.tags" (comma-separated, blanks around
// each name trimmed), read into buffer without following links. True when
// one tag contains text, ignoring case.
bool MD_TagNamesOfFilePath(const char *filePath, const KZFileSearchFilterStruct &filter, KZCBufferContainer *buffer);

// The content type of the entry at path (a MIME type name), or a null string.
// Folders are "inode/directory", links "inode/symlink"; a file's type comes
// from its name only.
QString UTI_TypeOfFilePath_needCFRelease(const char *filePath);

class KZFileSearch
{
public:
    KZFileSearch() = default;
    KZFileSearch(const KZFileSearch &) = delete;
    KZFileSearch &operator=(const KZFileSearch &) = delete;

    // The criteria of one kind, in order. A missing "kind" reads as 0.
    static QVariantList criteriaWithKind(int64_t kind, const QVariantList &criteria);

    // Appends one filter per acceptable criterion of kind to filters at
    // *filtersCount (which must have room) and counts it. calendar, now and
    // todayMidnight are read by the date kinds only. A criterion that cannot
    // be compiled is logged and left out.
    void canonisateCriterionKind(int64_t kind, const QVariantList &criteria, KZFileSearchFilterStruct *filters,
                                 int32_t *filtersCount, const QCalendar &calendar, const QDateTime &now,
                                 const QDateTime &todayMidnight);

    // Compiles the whole list in the fixed order of kinds (size, created,
    // modified, name, tags, type, attributes), so that the cheap tests run
    // first. filters must have room for criteria.size() records. Returns the count.
    int32_t compileCriteria(const QVariantList &criteria, KZFileSearchFilterStruct *filters, const QDateTime &now);

    // Walks scopeDir with the criteria; returns when done or cancelled. The
    // callback gets one status-1 call per folder with matches and exactly one
    // status-2 call, last. Blocks: call from a worker thread in the GUI.
    void performSearchInDirectory(const QString &scopeDir, const QVariantList &criteria,
                                  const KZFileSearchCallback &didPerformBk);
    // The same walk, reporting each folder's matches as path bytes only.
    void performPathSearchInDirectory(const QString &scopeDir, const QVariantList &criteria,
                                      const KZFileSearchPathsCallback &didPerformBk);

    // Any thread; the walk stops at its next check and delivers no further
    // batch. A cancel that comes before the walk starts stops it at once: an
    // object serves one walk and its flag is never cleared.
    void cancelSearch() { _isCancelled.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return _isCancelled.load(std::memory_order_relaxed); }

    // Called for each folder the walk could not read; set before the walk.
    void setUnreadableFolderCallback(KZFileSearchUnreadableFolderCallback callback)
    {
        _unreadableFolder = std::move(callback);
    }

    // Skips the stat of matches when no criterion needs it (only names and
    // type keywords): results then carry no attribute snapshot. For callers
    // that show nothing but paths. Off by default.
    void setSkipsMatchStat(bool skip) { _skipsMatchStat = skip; }
    bool skipsMatchStat() const { return _skipsMatchStat; }

    // The current instant; tests fix it to compute date windows from a known "now".
    void setNowForTesting(const QDateTime &now) { _nowForTesting = now; }

    // The midnight that began the local day of date.
    static QDateTime midnightOfDate(const QDateTime &date);

    // Threads that list folders ahead of every walk of the process: n > 1
    // readers, 1 for the walk alone, 0 for the default (TROVIX_WALK_THREADS,
    // or 16). Any thread; read when a walk starts.
    static void setWalkThreads(int n);
    static int walkThreads();

    // Tests only: while on, every folder that a walk lists (in any thread) is
    // counted; turning it on starts the count at 0.
    static void setCountsListedFoldersForTesting(bool on);
    static int64_t listedFoldersForTesting();

private:
    // Exactly one of the callbacks is set.
    void performSearch(const QString &scopeDir, const QVariantList &criteria, const KZFileSearchCallback *records,
                       const KZFileSearchPathsCallback *paths);

    std::atomic<bool> _isCancelled{false};
    KZFileSearchUnreadableFolderCallback _unreadableFolder;
    bool _skipsMatchStat = false;
    QDateTime _nowForTesting;
};
