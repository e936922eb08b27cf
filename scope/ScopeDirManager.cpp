#include "scope/ScopeDirManager.h"

#include <QCborArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <algorithm>
#include <optional>

#include "platform/KZGuardedFS.h"
#include "platform/KZMountTable.h"
#include "platform/KZSidebarPlaces.h"
#include "scope/KZFinderSharedFavorites.h"
#include "support/KZArchive.h"
#include "support/KZFileSafety.h"
#include "support/KZFunctions.h"
#include "support/KZLog.h"
#include "support/KZUserDefaults.h"

namespace {

const QString kArchiveClass = QStringLiteral("FavoriteDirs");
const QString kPathKey = QStringLiteral("path");
const QString kStateKey = QStringLiteral("state");
const QString kNameKey = QStringLiteral("name");
constexpr qint64 kDefaultFavoriteLimit = 10;

// What is read once per process; a simulated relaunch forgets it.
struct ProcessState {
    std::unique_ptr<ScopeDirManager> manager;
    std::optional<QString> homeDirPath;
    std::optional<qint64> favoriteLimit;
};

ProcessState &processState()
{
    static ProcessState state;
    return state;
}

KZUserDefaults &defaults()
{
    return KZUserDefaults::standardUserDefaults();
}

// A stored list. The INI store gives back a one-element list of plain text
// as a single string; that is a list of one.
QVariantList listFromStored(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString)
        return QVariantList{v};
    if (v.typeId() == QMetaType::QStringList) {
        QVariantList list;
        for (const QString &s : v.toStringList())
            list.append(s);
        return list;
    }
    return v.typeId() == QMetaType::QVariantList ? v.toList() : QVariantList();
}

QVariantList storedList(const QString &key)
{
    return listFromStored(defaults().objectForKey(key));
}

// Excluded folders as stored; entries that are not {"path", "state"} are left
// out (logged when log is set), a missing state counts as active.
QVariantList usableExcludedDirs(const QVariantList &stored, bool log)
{
    QVariantList usable;
    for (const QVariant &v : stored) {
        const QVariantMap entry = v.toMap();
        const QVariant path = entry.value(kPathKey);
        if (v.typeId() != QMetaType::QVariantMap || path.typeId() != QMetaType::QString || path.toString().isEmpty()) {
            if (log)
                KZLOG_WARNING_F(QStringLiteral("excludedDir ignored entry of type %1 path:%2")
                                    .arg(QString::fromLatin1(v.typeName()), path.toString()));
            continue;
        }
        usable.append(QVariantMap{{kPathKey, path.toString()},
                                  {kStateKey, entry.contains(kStateKey) ? entry.value(kStateKey).toBool() : true}});
    }
    return usable;
}

// Skipped folder names as stored; entries that are not {"name", "state"} with
// a usable name are left out, a missing state counts as active.
QVariantList usableExcludedNames(const QVariantList &stored)
{
    QVariantList usable;
    for (const QVariant &v : stored) {
        const QVariantMap entry = v.toMap();
        const QVariant name = entry.value(kNameKey);
        if (name.typeId() != QMetaType::QString || !ScopeDirManager::excludedNameProblem(name.toString()).isNull()) {
            KZLOG_WARNING_F(QStringLiteral("excludedName ignored entry:%1").arg(name.toString()));
            continue;
        }
        usable.append(QVariantMap{{kNameKey, name.toString()},
                                  {kStateKey, entry.contains(kStateKey) ? entry.value(kStateKey).toBool() : true}});
    }
    return usable;
}

bool isExcludedNameEntryFor(const QVariant &entry, const QString &name)
{
    return entry.toMap().value(kNameKey).toString() == name;
}

bool isExcludedEntryFor(const QVariant &entry, const QString &path)
{
    return entry.toMap().value(kPathKey).toString() == path;
}

using FavoriteList = QList<std::shared_ptr<FavoriteDir>>;

// The favourites in the archive, in stored order; none when there is no
// archive or it cannot be read (it is then set aside).
std::optional<FavoriteList> readFavoritesArchive(const QString &archivePath)
{
    const std::optional<KZArchivedObject> archive = kz_unarchivedObjectAtFile(archivePath, kArchiveClass);
    if (!archive)
        return std::nullopt;
    if (!archive->object.isArray()) {
        KZLOG_ERROR_F(QStringLiteral("archive is not a list path:%1").arg(archivePath));
        kzSetFileAside(archivePath, /*move=*/true);
        return std::nullopt;
    }
    FavoriteList list;
    for (const QCborValue &item : archive->object.toArray()) {
        std::shared_ptr<FavoriteDir> dir = item.isMap() ? FavoriteDir::fromArchive(item.toMap()) : nullptr;
        if (dir)
            list.append(dir);
    }
    return list;
}

QSet<QPair<qint64, QString>> storedKeys(const FavoriteList &list)
{
    QSet<QPair<qint64, QString>> keys;
    for (const auto &dir : list)
        keys.insert({dir->uniqueId(), dir->serializedPath()});
    return keys;
}

std::shared_ptr<FavoriteDir> favoriteWithPath(const FavoriteList &list, const QString &path)
{
    for (const auto &dir : list)
        if (dir->path() == path)
            return dir;
    return nullptr;
}

// Identifiers must be unique and non-zero for a selection to find its favourite.
void makeFavoriteIdsUnique(const FavoriteList &list)
{
    QSet<qint64> seenIds;
    qint64 maxId = 0;
    for (const auto &dir : list)
        maxId = std::max<qint64>(maxId, dir->uniqueId());
    for (const auto &dir : list) {
        if (dir->uniqueId() <= 0 || seenIds.contains(dir->uniqueId())) {
            KZLOG_WARNING_F(QStringLiteral("uniqueId %1 reassigned path:%2").arg(dir->uniqueId()).arg(dir->path()));
            dir->setUniqueId(++maxId);
        }
        seenIds.insert(dir->uniqueId());
    }
}

// Kept from the archive when loading, and when another process added it: a
// favourite that is reachable, or whose volume is absent or silent (the
// drive may simply be unplugged). One whose folder is gone is dropped.
bool isKeptFavorite(FavoriteDir &dir)
{
    const int status = dir.updateStatus();
    return (status == 1 || dir.isVolumeUnavailable()) && !dir.path().isEmpty()
        && dir.path() != ScopeDirManager::homeDirPath();
}

// Skipped when the sidebar favourites are taken over: system folders, saved
// searches, the root folder (a volume, not a favourite) and the home folder.
bool isSkippedSidebarPath(const QString &path)
{
    static const QString systemFolders[] = {QStringLiteral("/usr"), QStringLiteral("/proc"), QStringLiteral("/sys")};
    for (const QString &prefix : systemFolders)
        if (path == prefix || path.startsWith(prefix + QLatin1Char('/')))
            return true;
    return path == QLatin1String("/") || QFileInfo(path).suffix() == QLatin1String("cannedSearch")
        || path == ScopeDirManager::homeDirPath();
}

bool isExistingFolder(const QString &path)
{
    return !path.isEmpty() && KZPathSurvivesEncoding(path)
        && kzplatform::kzIsExistingFolderGuarded(QFile::encodeName(path));
}

QString parentPath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

ScopeDirManager *ScopeDirManager::sharedInstance()
{
    ProcessState &state = processState();
    if (!state.manager) {
        state.manager.reset(new ScopeDirManager);
        state.manager->load();
    }
    return state.manager.get();
}

void ScopeDirManager::resetSharedInstanceForTesting()
{
    processState() = ProcessState();
    KZUserDefaults::resetStandardUserDefaults();
}

ScopeDirManager::ScopeDirManager() = default;

QString ScopeDirManager::homeDirPath()
{
    ProcessState &state = processState();
    if (!state.homeDirPath) {
        const QString home = KZCleanAbsolutePath(QDir::homePath());
        state.homeDirPath = home.isEmpty() ? QStringLiteral("/") : home;
    }
    return *state.homeDirPath;
}

qint64 ScopeDirManager::favoriteLimit()
{
    ProcessState &state = processState();
    if (!state.favoriteLimit) {
        const qint64 n = defaults().integerForKey(kScopeDirManagerNbMaxKey, 0);
        state.favoriteLimit = n > 0 ? n : kDefaultFavoriteLimit;
    }
    return *state.favoriteLimit;
}

QStringList ScopeDirManager::mountedVolumes()
{
    const QList<kzplatform::KZMountEntry> table = kzplatform::kzCurrentMountTable();
    if (table.isEmpty()) {
        KZLOG_ERROR_F(QStringLiteral("volumes==nil"));
        return {};
    }
    QStringList paths;
    for (const QByteArray &bytes : kzplatform::kzMountedVolumePaths(table)) {
        const QString path = QFile::decodeName(bytes);
        if (QFile::encodeName(path) != bytes || !KZPathSurvivesEncoding(path)) {
            KZLOG_WARNING_F(QStringLiteral("mount point not representable, skipped path:%1").arg(path));
            continue;
        }
        if (path == QLatin1String("/") || parentPath(path) != QLatin1String("/"))
            paths.append(path);
    }
    return paths;
}

QString ScopeDirManager::favoriteDirsArchivePath()
{
    QString error;
    const QString supportDir = KZFunctions::appSupportPath(&error);
    if (supportDir.isEmpty())
        return QString();
    return supportDir + QLatin1Char('/') + kScopeDirManagerFavoriteDirsFile;
}

// ------------------------------------------------------------------ loading

void ScopeDirManager::load()
{
    // 1. The archived favourites that are still there. A favourite whose volume
    //    is absent or silent is kept (unreachable) rather than forgotten: the
    //    drive may simply be unplugged. One whose folder is gone is dropped.
    const QString archivePath = favoriteDirsArchivePath();
    if (archivePath.isEmpty()) {
        KZLOG_CRITICAL_M(QStringLiteral("checkDirectoryAtPath==NO supportDir:%1")
                             .arg(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                                  + QLatin1Char('/') + KZBundleIdentifier));
    }
    FavoriteList loaded;
    if (!archivePath.isEmpty()) {
        loaded = readFavoritesArchive(archivePath).value_or(FavoriteList());
        _storedFavorites = storedKeys(loaded);
    }
    for (const std::shared_ptr<FavoriteDir> &dir : loaded) {
        if (isKeptFavorite(*dir) && !favoriteDirWithPath(dir->path()))
            _favoriteDirs.append(dir);
    }
    makeFavoriteIdsUnique(_favoriteDirs);

    cleanFavoriteList();

    // 2. Folders offered by the folders rule, when they are still folders.
    for (const QVariant &v : storedList(kScopeDirManagerFilterDirPathsKey)) {
        const QString path = v.toString();
        if (v.typeId() == QMetaType::QString && isExistingFolder(path))
            _filterDirPaths.append(path);
    }

    // 3. Excluded folders as stored.
    _excludedDirs = usableExcludedDirs(storedList(kScopeDirManagerExcludedDirsKey), /*log=*/true);
    _excludedNames = usableExcludedNames(storedList(kScopeDirManagerExcludedNamesKey));

    // 4. First launch (or nothing left): the file manager's sidebar favourites,
    //    unless another process stored favourites meanwhile.
    if (_favoriteDirs.isEmpty()) {
        changeFavorites([this] {
            if (_favoriteDirs.isEmpty())
                takeOverSidebarFavorites();
            return true;
        });
    }
}

void ScopeDirManager::takeOverSidebarFavorites()
{
    for (const QUrl &url : KZFinderSharedFavorites::favoriteURLs()) {
        const QString path = KZCleanAbsolutePath(url.toLocalFile());
        if (path.isEmpty() || isSkippedSidebarPath(path) || favoriteDirWithPath(path))
            continue;
        addFavoriteDirURL(url, 0);
    }
    cleanFavoriteList();
}

void ScopeDirManager::loadSelection()
{
    _selectionKind = SelectionHome;
    _selectionObject = std::monostate();
    const qint64 kind = defaults().integerForKey(kScopeDirManagerSelectionKindKey, SelectionHome);
    const QVariant object = defaults().objectForKey(kScopeDirManagerSelectionObjectKey);
    if (kind == SelectionPath) {
        // The INI store keeps no types: a path is text that starts with "/".
        const QString path = object.typeId() == QMetaType::QString ? object.toString() : QString();
        if (path.startsWith(QLatin1Char('/'))) {
            _selectionKind = SelectionPath;
            _selectionObject = path;
        }
    } else if (kind == SelectionFavorite) {
        bool ok = false;
        const qint64 uniqueId = object.isValid() ? object.toLongLong(&ok) : 0;
        if (ok && uniqueId != 0) {
            for (const auto &dir : _favoriteDirs) {
                if (dir->uniqueId() == uniqueId) {
                    _selectionKind = SelectionFavorite;
                    _selectionObject = dir;
                    break;
                }
            }
        }
    }
}

// ------------------------------------------------------------------ selection

qint64 ScopeDirManager::selectionKind()
{
    if (_selectionKind == SelectionNotLoaded)
        loadSelection();
    return _selectionKind;
}

ScopeDirManager::SelectionObject ScopeDirManager::selectionObject()
{
    if (_selectionKind == SelectionNotLoaded)
        loadSelection();
    return _selectionObject;
}

bool ScopeDirManager::setSelectionKind(qint64 kind, const SelectionObject &object)
{
    return setSelection(kind, object, /*saveFavorites=*/true);
}

bool ScopeDirManager::setSelection(qint64 kind, const SelectionObject &object, bool saveFavorites)
{
    if (kind == SelectionFavorite) {
        const auto *dir = std::get_if<std::shared_ptr<FavoriteDir>>(&object);
        if (!dir || !*dir)
            return false;
        if (_filterDirPaths.contains((*dir)->path()))
            removeFilterDirPath((*dir)->path());
        defaults().setObject(static_cast<qint64>((*dir)->uniqueId()), kScopeDirManagerSelectionObjectKey);
    } else if (kind == SelectionPath) {
        const auto *path = std::get_if<QString>(&object);
        if (!path || path->isEmpty())
            return false;
        defaults().setObject(*path, kScopeDirManagerSelectionObjectKey);
    } else if (kind == SelectionHome) {
        defaults().removeObjectForKey(kScopeDirManagerSelectionObjectKey);
    } else {
        return false;
    }
    defaults().setObject(kind, kScopeDirManagerSelectionKindKey);
    // saveToDisk flushes the defaults too: one durable write instead of two.
    if (saveFavorites)
        saveToDisk();
    else
        defaults().synchronize();
    _selectionKind = kind;
    _selectionObject = kind == SelectionHome ? SelectionObject(std::monostate()) : object;
    return true;
}

// ------------------------------------------------------------------ favourites

std::shared_ptr<FavoriteDir> ScopeDirManager::addFavoriteDirURL(const QUrl &dirURL, int options)
{
    Q_UNUSED(options);
    const QString path = dirURL.isLocalFile() ? KZCleanAbsolutePath(dirURL.toLocalFile()) : QString();
    if (!isExistingFolder(path)) {
        KZLOG_ERROR_M(QStringLiteral("path:%1").arg(dirURL.isLocalFile() ? dirURL.toLocalFile() : dirURL.toString()));
        return nullptr;
    }
    int status = 0;
    std::shared_ptr<FavoriteDir> dir = FavoriteDir::create(QUrl::fromLocalFile(path), path, &status);
    if (!dir || status != 1) {
        KZLOG_ERROR_M(QStringLiteral("favoriteDir==nil dirURL:%1").arg(dirURL.toString()));
        return nullptr;
    }
    qint64 maxId = 0;
    for (const auto &d : _favoriteDirs)
        maxId = std::max<qint64>(maxId, d->uniqueId());
    dir->setUniqueId(maxId + 1);
    _favoriteDirs.append(dir);
    return dir;
}

std::shared_ptr<FavoriteDir> ScopeDirManager::favoriteDirWithPath(const QString &path) const
{
    for (const auto &dir : _favoriteDirs)
        if (dir->path() == path)
            return dir;
    return nullptr;
}

bool ScopeDirManager::proposeSelectionWithDirURL(const QUrl &dirURL)
{
    if (dirURL.isEmpty() || !dirURL.isLocalFile() || dirURL.toLocalFile().isEmpty())
        return false;
    const QString path = KZCleanAbsolutePath(dirURL.toLocalFile());
    if (path.isEmpty())
        return false;
    if (path == homeDirPath())
        return setSelectionKind(SelectionHome, std::monostate());
    if (mountedVolumes().contains(path))
        return setSelectionKind(SelectionPath, path);
    // Found or added among the favourites as stored now, under their lock.
    // A write that fails keeps the favourite in memory (logged); an archive
    // that stays locked changes nothing.
    std::shared_ptr<FavoriteDir> dir;
    changeFavorites([&] {
        dir = favoriteDirWithPath(path);
        if (!dir) {
            dir = addFavoriteDirURL(QUrl::fromLocalFile(path), 0);
            if (!dir)
                return false;
            cleanFavoriteList();
        }
        dir->setKind(FavoriteDir::KindScope);
        return true;
    });
    if (!dir)
        return false;
    // Each durable write costs tens of milliseconds: the selection does not
    // write the favourites a second time.
    return setSelection(SelectionFavorite, dir, /*saveFavorites=*/false);
}

bool ScopeDirManager::proposeSelectionWithDirPath(const QString &dirPath)
{
    if (dirPath.isEmpty())
        return false;
    return proposeSelectionWithDirURL(QUrl::fromLocalFile(dirPath));
}

void ScopeDirManager::cleanFavoriteList()
{
    const qint64 limit = favoriteLimit();
    while (_favoriteDirs.size() > limit)
        _favoriteDirs.removeFirst();
}

// ------------------------------------------------------------------ filter dir paths

void ScopeDirManager::addFilterFilterDirPath(const QString &path)
{
    if (changeStoredList(kScopeDirManagerFilterDirPathsKey, [&](QVariantList &list) { list.append(path); }))
        _filterDirPaths.append(path);
}

void ScopeDirManager::removeFilterDirPath(const QString &path)
{
    if (changeStoredList(kScopeDirManagerFilterDirPathsKey,
                         [&](QVariantList &list) { list.removeIf([&](const QVariant &v) { return v.toString() == path; }); }))
        _filterDirPaths.removeAll(path);
}

// ------------------------------------------------------------------ excluded folders

void ScopeDirManager::addExcludedDir(const QString &path)
{
    if (path.isEmpty()) {
        KZLOG_ERROR_M(QStringLiteral("path==nil"));
        return;
    }
    changeStoredList(kScopeDirManagerExcludedDirsKey, [&](QVariantList &list) {
        list.removeIf([&](const QVariant &v) { return isExcludedEntryFor(v, path); });
        list.append(QVariantMap{{kPathKey, path}, {kStateKey, true}});
    });
}

void ScopeDirManager::removeExcludedDir(const QString &path)
{
    changeStoredList(kScopeDirManagerExcludedDirsKey, [&](QVariantList &list) {
        const auto it = std::find_if(list.begin(), list.end(), [&](const QVariant &v) { return isExcludedEntryFor(v, path); });
        if (it != list.end())
            list.erase(it);
    });
}

// Saves at once: a switch flipped in the preferences must survive quitting
// right after, and nothing else is saved at the end of a run.
void ScopeDirManager::setStateOfExcludedDir(bool state, const QString &path)
{
    changeStoredList(kScopeDirManagerExcludedDirsKey, [&](QVariantList &list) {
        const auto it = std::find_if(list.begin(), list.end(), [&](const QVariant &v) { return isExcludedEntryFor(v, path); });
        if (it != list.end())
            *it = QVariantMap{{kPathKey, path}, {kStateKey, state}};
    });
}

// ------------------------------------------------------------------ skipped folder names

QStringList ScopeDirManager::activeExcludedNames() const
{
    QStringList names;
    for (const QVariant &v : _excludedNames)
        if (v.toMap().value(kStateKey).toBool())
            names.append(v.toMap().value(kNameKey).toString());
    return names;
}

QString ScopeDirManager::excludedNameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("A folder name cannot be empty.");
    if (name.contains(QLatin1Char('/')))
        return QStringLiteral("\u201C%1\u201D is a path: enter a folder name without \u201C/\u201D.").arg(name);
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("\u201C%1\u201D is not a folder name.").arg(name);
    return QString();
}

namespace {
const char *const kSettingsLocked = "The settings could not be changed: another program keeps them locked.";

bool toldIfLocked(bool locked, QString *error)
{
    if (error)
        *error = locked ? QString() : QString::fromLatin1(kSettingsLocked);
    return locked;
}
} // namespace

bool ScopeDirManager::addExcludedName(const QString &name, QString *error)
{
    QString problem = excludedNameProblem(name);
    if (problem.isNull()) {
        const bool locked = changeStoredList(kScopeDirManagerExcludedNamesKey, [&](QVariantList &list) {
            if (std::any_of(list.begin(), list.end(), [&](const QVariant &v) { return isExcludedNameEntryFor(v, name); }))
                problem = QStringLiteral("\u201C%1\u201D is already in the list.").arg(name);
            else
                list.append(QVariantMap{{kNameKey, name}, {kStateKey, true}});
        });
        if (!locked && problem.isNull())
            problem = QString::fromLatin1(kSettingsLocked);
    }
    if (error)
        *error = problem;
    return problem.isNull();
}

bool ScopeDirManager::removeExcludedNames(const QStringList &names, QString *error)
{
    return toldIfLocked(changeStoredList(kScopeDirManagerExcludedNamesKey, [&](QVariantList &list) {
        list.removeIf([&](const QVariant &v) {
            return std::any_of(names.begin(), names.end(), [&](const QString &n) { return isExcludedNameEntryFor(v, n); });
        });
    }), error);
}

bool ScopeDirManager::setStateOfExcludedName(bool state, const QString &name, QString *error)
{
    return toldIfLocked(changeStoredList(kScopeDirManagerExcludedNamesKey, [&](QVariantList &list) {
        for (QVariant &v : list)
            if (isExcludedNameEntryFor(v, name))
                v = QVariantMap{{kNameKey, name}, {kStateKey, state}};
    }), error);
}

bool ScopeDirManager::changeStoredList(const QString &key, const std::function<void(QVariantList &)> &change)
{
    bool locked = false;
    QVariantList changed;
    defaults().changeObjectForKey(key, [&](const QVariant &stored) {
        locked = true;
        changed = listFromStored(stored);
        change(changed);
        return QVariant(changed);
    });
    // The excluded folders are the ones stored, with what other processes changed.
    if (locked && key == kScopeDirManagerExcludedDirsKey)
        _excludedDirs = usableExcludedDirs(changed, /*log=*/false);
    else if (locked && key == kScopeDirManagerExcludedNamesKey)
        _excludedNames = usableExcludedNames(changed);
    return locked;
}

// ------------------------------------------------------------------ saving

bool ScopeDirManager::saveToDisk()
{
    const bool archived = changeFavorites([] { return true; });
    return defaults().synchronize() && archived;
}

bool ScopeDirManager::changeFavorites(const std::function<bool()> &change)
{
    const QString archivePath = favoriteDirsArchivePath();
    kzplatform::KZFileLock lock;
    if (!archivePath.isEmpty()) {
        if (!kzLockSharedFile(archivePath + QStringLiteral(".lock"), &lock))
            return false;
        takeInFavoritesFromDisk(archivePath);
    }
    if (!change())
        return false;
    return writeFavorites(archivePath);
}

void ScopeDirManager::takeInFavoritesFromDisk(const QString &archivePath)
{
    const std::optional<FavoriteList> stored = readFavoritesArchive(archivePath);
    if (!stored)
        return; // nothing readable there: what this process holds is all there is
    FavoriteList merged;
    QSet<const FavoriteDir *> kept;
    for (const std::shared_ptr<FavoriteDir> &dir : *stored) {
        if (_storedFavorites.contains({dir->uniqueId(), dir->serializedPath()})) {
            // Known here: this process's object stays (status, icon), unless
            // this process dropped it.
            for (const auto &mine : _favoriteDirs) {
                if (mine->uniqueId() == dir->uniqueId() && !kept.contains(mine.get())) {
                    merged.append(mine);
                    kept.insert(mine.get());
                    break;
                }
            }
        } else if (isKeptFavorite(*dir) && !favoriteWithPath(merged, dir->path())) {
            merged.append(dir); // added by another process
        }
    }
    QSet<qint64> storedIds;
    for (const auto &key : std::as_const(_storedFavorites))
        storedIds.insert(key.first);
    for (const auto &mine : _favoriteDirs) {
        // One stored before and gone now was removed by another process.
        if (!kept.contains(mine.get()) && !storedIds.contains(mine->uniqueId()) && !favoriteWithPath(merged, mine->path()))
            merged.append(mine);
    }
    makeFavoriteIdsUnique(merged);
    _favoriteDirs = merged;
    _storedFavorites = storedKeys(*stored);
}

bool ScopeDirManager::writeFavorites(const QString &archivePath)
{
    QCborArray list;
    QSet<QPair<qint64, QString>> keys;
    for (const auto &dir : QList<std::shared_ptr<FavoriteDir>>(_favoriteDirs)) {
        const QCborMap map = dir->encodeWithCoder();
        keys.insert({dir->uniqueId(), map.value(QStringLiteral("serializedPath")).toString()});
        list.append(map);
    }
    if (archivePath.isEmpty() || !kz_archiveObjectToFile(KZArchivedObject{kArchiveClass, 1, list}, archivePath)) {
        KZLOG_ERROR_M(QStringLiteral("kz_archiveObjectToFile==NO path:%1").arg(archivePath));
        return false;
    }
    _storedFavorites = keys;
    return true;
}
