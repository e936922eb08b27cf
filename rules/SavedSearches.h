// The searches the user saved under a name: the rule rows of the editor at the
// time of saving, identified by a number, kept in the "SavedSearches" archive
// of the application-support folder and written after each change. The window
// and the command-line tool share the file: records another process added
// since this one last read or wrote it are taken in before each change, so
// neither loses the other's searches. Main thread only.
#pragma once

#include <QList>
#include <QString>
#include <array>
#include <memory>

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

    // Keeps a detached copy of the record's rows, gives the record the next
    // identifier (1 + the largest one, 1 for an empty list), appends it and
    // saves. A record without a name, or one that is in the list already, is
    // refused (logged, false). Returns whether the list was saved.
    bool addSavedSearches(const SavedSearchRef &record);
    // Removes the stored record with the record's identifier (a record without
    // one is ignored), clears the selection when it was the one, and saves.
    bool removeSavedSearches(const SavedSearchRef &record);
    // Replaces the rows of a stored record with a detached copy of criteria and
    // saves.
    bool replaceCriteriaOfSavedSearch(const SavedSearchRef &record, const KZRuleRows &criteria);

    // Not persisted.
    SavedSearchRef selectedSavedSearch() const { return m_selectedSavedSearch; }
    void setSelectedSavedSearch(const SavedSearchRef &record) { m_selectedSavedSearch = record; }

    // Writes the list atomically; a failure is logged
    // ("kz_archiveObjectToFile==NO path:%@") and the list stays as it is.
    bool saveToDisk();

private:
    struct DiskStamp {
        bool exists = false;
        std::array<qint64, 5> fields{}; // device, inode, size, mtime seconds, mtime nanoseconds
        bool operator==(const DiskStamp &other) const = default;
    };
    DiskStamp currentDiskStamp() const;
    QList<SavedSearchRef> readFromDisk();
    // Takes in records that another process added to the file.
    void adoptRecordsAddedElsewhere();

    QString m_filePath;
    QList<SavedSearchRef> m_savedSearches;
    SavedSearchRef m_selectedSavedSearch;
    DiskStamp m_knownStamp;
};
