// The searches the user saved under a name: the rule rows of the editor at the
// time of saving, identified by a number, kept in the "SavedSearches" archive
// of the application-support folder and written after each change. The window
// and the command-line tool share the file: each change takes the advisory
// lock "SavedSearches.lock" beside it, reads the file again (taking in what
// other processes added, changed or removed), applies itself, hands out the
// identifier of a new record and writes the file atomically, all under the
// lock, so that no process loses another's searches. Main thread only.
#pragma once

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "rules/KZRuleItem.h"

// A saved-search record: {"name", "criteria" (the editor's rows), "uniqueId"}.
// The list keeps its own copy of the rows, as saved: the editor edits its rows
// in place, so a record loaded into the editor is loaded as
// kzDetachedRuleRows(record->criteria).
struct SavedSearch {
    QString name;
    KZRuleRows criteria;
    qint64 uniqueId = 0; // 0: not added yet
};
using SavedSearchRef = std::shared_ptr<SavedSearch>;

inline SavedSearchRef kzMakeSavedSearch(const QString &name, const KZRuleRows &criteria)
{
    return std::make_shared<SavedSearch>(SavedSearch{name, criteria, 0});
}

class SavedSearches
{
public:
    // The one list of the process, read from the application-support folder
    // on first call (a missing or unreadable file gives an empty list; an
    // unreadable one is set aside as "SavedSearches.bad").
    static SavedSearches *sharedInstance();
    // Tests: forgets the list (and its selection); the next sharedInstance()
    // reads the file of the current environment, as a relaunch would.
    static void resetSharedInstanceForTesting();
    // "SavedSearches" in the application-support folder; null when that folder
    // cannot be made.
    static QString defaultFilePath();

    // A list kept in filePath (tests, tools). Reads the file at once.
    explicit SavedSearches(const QString &filePath);

    QString filePath() const { return m_filePath; }
    // In the order of adding.
    QList<SavedSearchRef> savedSearches() const { return m_savedSearches; }
    SavedSearchRef savedSearchWithUniqueId(qint64 uniqueId) const;
    // The first record with exactly that name, or none.
    SavedSearchRef savedSearchNamed(const QString &name) const;

    // Every change below returns whether the list was saved; when it was
    // not, *message (when given) says why. A file that stays locked by another
    // process for 5 s leaves the list and the file unchanged.

    // Keeps a detached copy of the record's rows, gives the record the next
    // identifier (1 + the largest one, 1 for an empty list), appends it and
    // saves. A record without a name, or one that is in the list already, is
    // refused (logged, false); so is a name stored already when
    // refuseTakenName is set.
    bool addSavedSearches(const SavedSearchRef &record, QString *message = nullptr, bool refuseTakenName = false);
    // Removes the stored record with the record's identifier and name (a
    // record without identifier is ignored), clears the selection when it was
    // the one, and saves.
    bool removeSavedSearches(const SavedSearchRef &record, QString *message = nullptr);
    // Replaces the rows of a stored record with a detached copy of criteria and
    // saves.
    bool replaceCriteriaOfSavedSearch(const SavedSearchRef &record, const KZRuleRows &criteria,
                                      QString *message = nullptr);

    // Not persisted.
    SavedSearchRef selectedSavedSearch() const { return m_selectedSavedSearch; }
    void setSelectedSavedSearch(const SavedSearchRef &record) { m_selectedSavedSearch = record; }

    // Writes the list atomically, with the records other processes added
    // meanwhile; a failure is logged ("kz_archiveObjectToFile==NO path:%@")
    // and the list stays as it is.
    bool saveToDisk(QString *message = nullptr);

private:
    struct DiskStamp {
        bool exists = false;
        std::array<qint64, 5> fields{}; // device, inode, size, mtime seconds, mtime nanoseconds
        bool operator==(const DiskStamp &other) const = default;
    };
    DiskStamp currentDiskStamp() const;
    // The records in the file; none when there is none or it cannot be read.
    std::optional<QList<SavedSearchRef>> readFromDisk();
    // Under the lock: the list becomes the one in the file, keeping this
    // process's records (same objects) and the ones not written yet, then
    // change() applies itself and the list is written. False without any
    // change when the lock is not had; false when change() or the write fail.
    bool changeOnDisk(const std::function<bool(QString *message)> &change, QString *message);
    void takeInRecordsFromDisk(const QList<SavedSearchRef> &stored);
    SavedSearchRef storedRecordLike(const SavedSearchRef &record) const;

    QString m_filePath;
    QList<SavedSearchRef> m_savedSearches;
    SavedSearchRef m_selectedSavedSearch;
    // The records ("uniqueId", "name") in the file when this process last read
    // or wrote it: one found there now and not among them was added elsewhere,
    // one among them and gone was removed elsewhere.
    QSet<QPair<qint64, QString>> m_storedKeys;
    // The file whose unreadable records were last copied aside, so that
    // reading it again does not make another copy.
    DiskStamp m_copiedAsideStamp;
};
