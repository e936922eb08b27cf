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
#include "support/KZFunctions.h"
#include "support/KZLog.h"
#include "support/KZUserDefaults.h"

namespace {

const QString kArchiveClass = QStringLiteral("FavoriteDirs");
const QString kPathKey = QStringLiteral("path");
const QString kStateKey = QStringLiteral("state");
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

// A list stored under key. The INI store gives back a one-element list of
// plain text as a single string; that is a list of one.
QVariantList storedList(const QString &key)
{
    const QVariant v = defaults().objectForKey(key);
    if (v.typeId() == QMetaType::QString)
        return QVariantList{v};
    return defaults().arrayForKey(key);
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
    QList<std::shared_ptr<FavoriteDir>> loaded;
    if (!archivePath.isEmpty()) {
        const std::optional<KZArchivedObject> archive = kz_unarchivedObjectAtFile(archivePath, kArchiveClass);
        if (archive) {
            if (!archive->object.isArray())
                KZLOG_ERROR_M(QStringLiteral("archive is not a list path:%1").arg(archivePath));
            for (const QCborValue &item : archive->object.toArray()) {
                std::shared_ptr<FavoriteDir> dir = item.isMap() ? FavoriteDir::fromArchive(item.toMap()) : nullptr;
                if (dir)
                    loaded.append(dir);
            }
        }
    }
    const QString home = homeDirPath();
    for (const std::shared_ptr<FavoriteDir> &dir : loaded) {
        const int status = dir->updateStatus();
        if (status != 1 && !dir->isVolumeUnavailable())
            continue;
        if (dir->path().isEmpty() || dir->path() == home || favoriteDirWithPath(dir->path()))
            continue;
        _favoriteDirs.append(dir);
    }
    // Identifiers must be unique and non-zero for a selection to find its favourite.
    QSet<qint64> seenIds;
    qint64 maxId = 0;
    for (const auto &dir : _favoriteDirs)
        maxId = std::max<qint64>(maxId, dir->uniqueId());
    for (const auto &dir : _favoriteDirs) {
        if (dir->uniqueId() <= 0 || seenIds.contains(dir->uniqueId())) {
            KZLOG_WARNING_M(QStringLiteral("uniqueId %1 reassigned path:%2").arg(dir->uniqueId()).arg(dir->path()));
            dir->setUniqueId(++maxId);
        }
        seenIds.insert(dir->uniqueId());
    }

    cleanFavoriteList();

    // 2. Folders offered by the folders rule, when they are still folders.
    for (const QVariant &v : storedList(kScopeDirManagerFilterDirPathsKey)) {
        const QString path = v.toString();
        if (v.typeId() == QMetaType::QString && isExistingFolder(path))
            _filterDirPaths.append(path);
    }

    // 3. Excluded folders as stored; entries that are not {"path", "state"} are left out.
    for (const QVariant &v : storedList(kScopeDirManagerExcludedDirsKey)) {
        const QVariantMap entry = v.toMap();
        const QVariant path = entry.value(kPathKey);
        if (v.typeId() != QMetaType::QVariantMap || path.typeId() != QMetaType::QString || path.toString().isEmpty()) {
            KZLOG_WARNING_M(QStringLiteral("excludedDir ignored entry of type %1 path:%2")
                                .arg(QString::fromLatin1(v.typeName()), path.toString()));
            continue;
        }
        _excludedDirs.append(QVariantMap{{kPathKey, path.toString()},
                                         {kStateKey, entry.contains(kStateKey) ? entry.value(kStateKey).toBool() : true}});
    }

    // 4. First launch (or nothing left): the file manager's sidebar favourites.
    //    Saved only now that both lists are in memory, so that this save
    //    cannot write them over with empty ones.
    if (_favoriteDirs.isEmpty()) {
        takeOverSidebarFavorites();
        saveToDisk();
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
    if (kind == SelectionFavorite) {
        const auto *dir = std::get_if<std::shared_ptr<FavoriteDir>>(&object);
        if (!dir || !*dir)
            return false;
        _filterDirPaths.removeAll((*dir)->path());
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
    saveToDisk();
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
    // The selection below saves the favourites with it; each durable write
    // costs tens of milliseconds, so the list is not saved separately first.
    std::shared_ptr<FavoriteDir> dir = favoriteDirWithPath(path);
    if (!dir) {
        dir = addFavoriteDirURL(QUrl::fromLocalFile(path), 0);
        if (!dir)
            return false;
        cleanFavoriteList();
    }
    dir->setKind(FavoriteDir::KindScope);
    return setSelectionKind(SelectionFavorite, dir);
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
    _filterDirPaths.append(path);
    saveToDisk();
}

void ScopeDirManager::removeFilterDirPath(const QString &path)
{
    _filterDirPaths.removeAll(path);
    saveToDisk();
}

// ------------------------------------------------------------------ excluded folders

void ScopeDirManager::addExcludedDir(const QString &path)
{
    if (path.isEmpty()) {
        KZLOG_ERROR_M(QStringLiteral("path==nil"));
        return;
    }
    _excludedDirs.removeIf([&](const QVariant &v) { return v.toMap().value(kPathKey).toString() == path; });
    _excludedDirs.append(QVariantMap{{kPathKey, path}, {kStateKey, true}});
    saveToDisk();
}

void ScopeDirManager::removeExcludedDir(const QString &path)
{
    for (qsizetype i = 0; i < _excludedDirs.size(); ++i) {
        if (_excludedDirs.at(i).toMap().value(kPathKey).toString() == path) {
            _excludedDirs.removeAt(i);
            break;
        }
    }
    saveToDisk();
}

// Saves at once: a switch flipped in the preferences must survive quitting
// right after, and nothing else is saved at the end of a run.
void ScopeDirManager::setStateOfExcludedDir(bool state, const QString &path)
{
    for (qsizetype i = 0; i < _excludedDirs.size(); ++i) {
        if (_excludedDirs.at(i).toMap().value(kPathKey).toString() == path) {
            _excludedDirs[i] = QVariantMap{{kPathKey, path}, {kStateKey, state}};
            saveToDisk();
            return;
        }
    }
}

// ------------------------------------------------------------------ saving

bool ScopeDirManager::saveToDisk()
{
    bool ok = true;
    const QString archivePath = favoriteDirsArchivePath();
    QCborArray list;
    for (const auto &dir : QList<std::shared_ptr<FavoriteDir>>(_favoriteDirs))
        list.append(dir->encodeWithCoder());
    if (archivePath.isEmpty() || !kz_archiveObjectToFile(KZArchivedObject{kArchiveClass, 1, list}, archivePath)) {
        KZLOG_ERROR_M(QStringLiteral("kz_archiveObjectToFile==NO path:%1").arg(archivePath));
        ok = false;
    }
    QVariantList paths;
    for (const QString &p : _filterDirPaths)
        paths.append(p);
    defaults().setObject(paths, kScopeDirManagerFilterDirPathsKey);
    defaults().setObject(_excludedDirs, kScopeDirManagerExcludedDirsKey);
    if (!defaults().synchronize())
        ok = false;
    return ok;
}
