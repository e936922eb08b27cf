// The process-wide keeper of where to search: the current scope selection, the
// favourite folders, the folders offered by the folders rule (filter dir
// paths) and the folders excluded from every search. Loaded on first use,
// written back to the user defaults and the "FavoriteDirs" archive whenever it
// changes. Other processes change the same files: each change of a list takes
// the file's lock, reads what is stored now, applies itself to that and writes
// it back, so that no process writes over another's change. GUI thread only;
// nothing here waits on an unreachable volume.
#pragma once

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <functional>
#include <memory>
#include <variant>

#include "scope/FavoriteDir.h"

class ScopeDirManager
{
public:
    enum SelectionKind : qint64 {
        SelectionNotLoaded = 0,
        SelectionHome = 1,     // object: none
        SelectionPath = 2,     // object: the path string
        SelectionFavorite = 3, // object: the FavoriteDir
    };
    using SelectionObject = std::variant<std::monostate, QString, std::shared_ptr<FavoriteDir>>;

    // The one manager, created and loaded on first call.
    static ScopeDirManager *sharedInstance();
    // Tests: forgets the manager, the shared settings object and everything
    // read once per process, as a relaunch would; the next sharedInstance()
    // loads again from the settings file and archive of the current
    // environment (the test mains point it at private XDG folders, so the
    // user's own settings are never read or written).
    static void resetSharedInstanceForTesting();

    static QString homeDirPath();
    // Mount points of the mounted, non-hidden volumes: "/" and every one whose
    // parent folder is not "/". Read from the mount table, no volume is touched.
    static QStringList mountedVolumes();
    // $XDG_DATA_HOME/org.trovix.Trovix/FavoriteDirs; null when the folder
    // cannot be created.
    static QString favoriteDirsArchivePath();

    qint64 selectionKind();
    SelectionObject selectionObject();
    // False, nothing changed, when the object does not fit the kind.
    bool setSelectionKind(qint64 kind, const SelectionObject &object);

    QList<std::shared_ptr<FavoriteDir>> favoriteDirs() const { return _favoriteDirs; }
    // Appends a favourite for an existing folder (not saved here); null, logged, otherwise.
    std::shared_ptr<FavoriteDir> addFavoriteDirURL(const QUrl &dirURL, int options = 0);
    std::shared_ptr<FavoriteDir> favoriteDirWithPath(const QString &path) const;
    bool proposeSelectionWithDirURL(const QUrl &dirURL);
    bool proposeSelectionWithDirPath(const QString &dirPath);
    void cleanFavoriteList();

    QStringList filterDirPaths() const { return _filterDirPaths; }
    void addFilterFilterDirPath(const QString &path);
    void removeFilterDirPath(const QString &path);

    // Entries {"path": string, "state": bool}.
    QVariantList excludedDirs() const { return _excludedDirs; }
    void addExcludedDir(const QString &path);
    void removeExcludedDir(const QString &path);
    void setStateOfExcludedDir(bool state, const QString &path);

    // Folder names skipped by every search, entries {"name": string,
    // "state": bool}, in the order added. Each change is stored at once.
    QVariantList excludedNames() const { return _excludedNames; }
    // The names of the checked entries: what a search skips.
    QStringList activeExcludedNames() const;
    // Why name cannot be a skipped folder name (empty, "." or "..", or
    // holding "/"); null when it can.
    static QString excludedNameProblem(const QString &name);
    // False with error set, nothing changed, for a name that cannot be one or
    // is listed already (as stored now, other processes' changes included).
    bool addExcludedName(const QString &name, QString *error = nullptr);
    // False, with *error saying why, when the settings stayed locked
    // elsewhere: nothing changed then. Several names go in one change.
    bool removeExcludedNames(const QStringList &names, QString *error = nullptr);
    bool setStateOfExcludedName(bool state, const QString &name, QString *error = nullptr);

    // Writes the favourites archive (taking in the favourites other processes
    // stored meanwhile) and flushes the user defaults, where each change of the
    // two lists is already stored; false when a write failed (logged; the
    // memory state stays) or the archive stayed locked (nothing written).
    bool saveToDisk();

    // The largest number of favourites kept ("ScopeDirManager-nbMax", read once).
    static qint64 favoriteLimit();

private:
    ScopeDirManager();
    void load();
    void loadSelection();
    bool setSelection(qint64 kind, const SelectionObject &object, bool saveFavorites);
    void takeOverSidebarFavorites();
    // Runs change() on the favourites list as one step shared with other
    // processes (see the top of this file) and writes the list. False without
    // any change when the archive stays locked; false when change() does or
    // the write fails.
    bool changeFavorites(const std::function<bool()> &change);
    void takeInFavoritesFromDisk(const QString &archivePath);
    bool writeFavorites(const QString &archivePath);
    // One change of a list stored in the user defaults; the memory list then
    // holds the stored list as changed.
    bool changeStoredList(const QString &key, const std::function<void(QVariantList &)> &change);

    qint64 _selectionKind = SelectionNotLoaded;
    SelectionObject _selectionObject;
    QList<std::shared_ptr<FavoriteDir>> _favoriteDirs;
    QStringList _filterDirPaths;
    QVariantList _excludedDirs;
    QVariantList _excludedNames;
    // The favourites ("uniqueId", "serializedPath") in the archive when this
    // process last read or wrote it: one found there now and not among them
    // was added elsewhere; one among them and gone was removed elsewhere.
    QSet<QPair<qint64, QString>> _storedFavorites;
};

// Keys of the user defaults, verbatim.
inline const QString kScopeDirManagerFilterDirPathsKey = QStringLiteral("ScopeDirManager-filterDirPaths");
inline const QString kScopeDirManagerExcludedDirsKey = QStringLiteral("ScopeDirManager-excludedDirs");
inline const QString kScopeDirManagerExcludedNamesKey = QStringLiteral("ScopeDirManager-excludedNames");
inline const QString kScopeDirManagerSelectionKindKey = QStringLiteral("ScopeDirManager-selectionKind");
inline const QString kScopeDirManagerSelectionObjectKey = QStringLiteral("ScopeDirManager-selectionObject");
inline const QString kScopeDirManagerNbMaxKey = QStringLiteral("ScopeDirManager-nbMax");
inline const QString kScopeDirManagerFavoriteDirsFile = QStringLiteral("FavoriteDirs");
