// The scope manager: favourites, the selection, the folders offered and the
// excluded folders, as stored and as changed by several processes at once.
#include <QCborArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUrl>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "scope/ScopeDirManager.h"
#include "support/KZArchive.h"
#include "support/KZFileSafety.h"
#include "support/KZFunctions.h"
#include "support/KZUserDefaults.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

using scopetest::FakeMountTable;
using kztest::writeText;
using Kind = ScopeDirManager;

namespace {

class ScopeDirManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kztest::resetTestEnvironment();
        ScopeDirManager::resetSharedInstanceForTesting();
        home = QDir::homePath();
    }
    void TearDown() override { ScopeDirManager::resetSharedInstanceForTesting(); }

    // A new manager over the same settings and files, as after a relaunch.
    static ScopeDirManager *relaunch()
    {
        ScopeDirManager::resetSharedInstanceForTesting();
        return ScopeDirManager::sharedInstance();
    }
    static KZUserDefaults &defaults() { return KZUserDefaults::standardUserDefaults(); }
    template <typename T = QStringList>
    static T favoritesBy(ScopeDirManager *m, auto field)
    {
        T values;
        for (const auto &dir : m->favoriteDirs())
            values.append(((*dir).*field)());
        return values;
    }
    static QStringList favoritePaths(ScopeDirManager *m) { return favoritesBy(m, &FavoriteDir::path); }
    static QList<qint64> favoriteIds(ScopeDirManager *m) { return favoritesBy<QList<qint64>>(m, &FavoriteDir::uniqueId); }
    // "path on" or "path off" per excluded folder, in stored order.
    static QStringList excludedOf(ScopeDirManager *m)
    {
        QStringList entries;
        for (const QVariant &v : m->excludedDirs())
            entries.append(v.toMap().value(QStringLiteral("path")).toString()
                           + (v.toMap().value(QStringLiteral("state")).toBool() ? QStringLiteral(" on") : QStringLiteral(" off")));
        return entries;
    }
    static QString selectedPath(ScopeDirManager *m)
    {
        const ScopeDirManager::SelectionObject o = m->selectionObject();
        if (const auto *s = std::get_if<QString>(&o))
            return *s;
        const auto *d = std::get_if<std::shared_ptr<FavoriteDir>>(&o);
        return d && *d ? (*d)->path() : QString();
    }

    QString home;
    kztest::TempTree tree;
};

} // namespace

TEST_F(ScopeDirManagerTest, FirstLaunchTakesOverTheSidebarFavoritesUpToTheLimit)
{
    QStringList places;
    for (const QChar c : QStringLiteral("ABCDEFGHIJKL"))
        places.append(tree.mkdir(QStringLiteral("Place ") + c));
    const auto url = [](const QString &path) { return QUrl::fromLocalFile(path).toEncoded(); };
    // The last place comes from KDE's places; a place listed twice, a file,
    // a folder that is gone and the folders that are no favourites are skipped.
    const QStringList skipped{places[3], tree.writeFile(QStringLiteral("a file")), tree.path(QStringLiteral("gone")),
                              home, QStringLiteral("/usr/share"), QStringLiteral("/proc/self"), QStringLiteral("/"),
                              tree.mkdir(QStringLiteral("Rules.cannedSearch"))};
    QByteArray bookmarks;
    for (const QString &path : places.mid(0, 11) + skipped)
        bookmarks += url(path) + '\n';
    const auto writeBookmarks = [&] {
        writeText(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/gtk-3.0/bookmarks"), bookmarks);
        writeText(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/user-places.xbel"),
                  "<xbel><bookmark href=\"" + url(places.last()) + "\"/></xbel>");
    };
    writeBookmarks();

    // Twelve folders qualify; the limit of ten keeps the newest.
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    QStringList expected = places.mid(2);
    EXPECT_EQ(favoritePaths(m), expected);
    const QList<qint64> ids = favoriteIds(m);
    EXPECT_EQ(QSet<qint64>(ids.begin(), ids.end()).size(), 10);
    EXPECT_FALSE(ids.contains(0));
    // An eleventh proposed folder removes the oldest.
    expected = expected.mid(1) << tree.mkdir(QStringLiteral("Eleventh"));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(expected.last()));
    m = relaunch();
    EXPECT_EQ(favoritePaths(m), expected);
    EXPECT_EQ(m->favoriteDirs().first()->kind(), FavoriteDir::KindSidebar);
    EXPECT_EQ(m->favoriteDirs().last()->kind(), FavoriteDir::KindScope);
    EXPECT_EQ(selectedPath(m), expected.last());

    // With a limit of three in the settings, three are kept.
    SetUp();
    writeBookmarks();
    defaults().setObject(3, kScopeDirManagerNbMaxKey);
    defaults().synchronize();
    EXPECT_EQ(favoritePaths(relaunch()), places.mid(9));
}

TEST_F(ScopeDirManagerTest, DroppedFoldersSelectHomeVolumesOrFavorites)
{
    const QString usb = tree.mkdir(QStringLiteral("media/USB KEY"));
    // Volumes mounted at the top level (/home, /tmp) are not offered as volumes.
    FakeMountTable mounts(scopetest::mountLine(2, usb, "vfat", "/dev/sdb1", "8:17") + "3 1 8:3 / /home rw - ext4 /dev/sda3 rw\n");
    ASSERT_EQ(ScopeDirManager::mountedVolumes(), (QStringList{QStringLiteral("/"), usb}));
    const QString documents = home + QStringLiteral("/Documents");
    QDir().mkpath(documents);
    const QString folder = tree.mkdir(QStringLiteral("Some Folder"));
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    ASSERT_EQ(favoritePaths(m), QStringList{documents});
    // path dropped, selection kind, selected path, stored object
    const std::tuple<QString, qint64, QString, QString> drops[] = {
        {QStringLiteral("/"), Kind::SelectionPath, QStringLiteral("/"), QStringLiteral("/")},
        {usb, Kind::SelectionPath, usb, usb},
        {home + QStringLiteral("/"), Kind::SelectionHome, QString(), QString()},
        {folder, Kind::SelectionFavorite, folder, QStringLiteral("2")},
        {folder, Kind::SelectionFavorite, folder, QStringLiteral("2")}, // the same favourite again
        {documents, Kind::SelectionFavorite, documents, QStringLiteral("1")},
    };
    for (const auto &[path, kind, selected, stored] : drops) {
        EXPECT_TRUE(m->proposeSelectionWithDirURL(QUrl::fromLocalFile(path))) << path.toStdString();
        EXPECT_EQ(m->selectionKind(), kind) << path.toStdString();
        EXPECT_EQ(selectedPath(m), selected);
        EXPECT_EQ(defaults().stringForKey(kScopeDirManagerSelectionObjectKey), stored);
    }
    m = relaunch();
    EXPECT_EQ(favoritePaths(m), (QStringList{documents, folder}));
    EXPECT_EQ(m->favoriteDirs().first()->kind(), FavoriteDir::KindScope) << "a sidebar favourite dropped is a chosen one";

    EXPECT_FALSE(m->proposeSelectionWithDirPath(QString()));
    EXPECT_FALSE(m->proposeSelectionWithDirURL(QUrl(QStringLiteral("https://example.org/dir"))));
    EXPECT_FALSE(m->proposeSelectionWithDirPath(tree.path(QStringLiteral("not there"))));
    EXPECT_FALSE(m->proposeSelectionWithDirPath(tree.writeFile(QStringLiteral("a file"))));
    const std::pair<qint64, ScopeDirManager::SelectionObject> refused[] = {
        {3, folder}, {3, std::shared_ptr<FavoriteDir>()}, {2, m->favoriteDirs().last()}, {2, std::monostate()},
        {4, folder}, {0, std::monostate()},
    };
    for (const auto &[kind, object] : refused)
        EXPECT_FALSE(m->setSelectionKind(kind, object)) << kind;
    mounts.setUnreadable();
    EXPECT_TRUE(ScopeDirManager::mountedVolumes().isEmpty());
    m = relaunch();
    EXPECT_EQ(favoritePaths(m), (QStringList{documents, folder}));
    EXPECT_EQ(selectedPath(m), documents);
}

TEST_F(ScopeDirManagerTest, EveryChangeIsSavedWhateverTheNames)
{
    const QString p = tree.mkdir(QStringLiteral("with  two spaces "));
    const QString q = tree.mkdir(QStringLiteral("line\nbreak, comma \"quote\" = sign"));
    const QString r = tree.mkdir(QStringList(6, QString(250, QLatin1Char('x')) + QStringLiteral("é")).join(QLatin1Char('/')));
    ASSERT_GT(QFile::encodeName(r).size(), 1024);
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    for (const QString &path : {p, q, p, r})
        m->addFilterFilterDirPath(path);
    m->removeFilterDirPath(r);
    m->addExcludedDir(p);
    m->addExcludedDir(q);
    m->setStateOfExcludedDir(false, p);
    m = relaunch();
    EXPECT_EQ(m->filterDirPaths(), (QStringList{p, q, p}));
    EXPECT_EQ(excludedOf(m), (QStringList{p + QStringLiteral(" off"), q + QStringLiteral(" on")}));
    m->addExcludedDir(p);
    EXPECT_EQ(excludedOf(m), (QStringList{q + QStringLiteral(" on"), p + QStringLiteral(" on")})) << "one entry per path";
    m->setStateOfExcludedDir(false, QStringLiteral("/not/listed"));
    m->removeExcludedDir(q);

    ASSERT_TRUE(m->proposeSelectionWithDirPath(r));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(p));
    EXPECT_EQ(m->filterDirPaths(), QStringList{q}) << "a selected favourite is not offered";
    m = relaunch();
    EXPECT_EQ(m->filterDirPaths(), QStringList{q});
    EXPECT_EQ(excludedOf(m), QStringList{p + QStringLiteral(" on")});
    EXPECT_EQ(favoritePaths(m), (QStringList{r, p}));
    EXPECT_EQ(favoriteIds(m), (QList<qint64>{1, 2}));
    EXPECT_EQ(selectedPath(m), p);
    ASSERT_TRUE(m->setSelectionKind(ScopeDirManager::SelectionPath, r));
    m->addFilterFilterDirPath(tree.mkdir(QStringLiteral("S")));
    tree.remove(QStringLiteral("S"));
    m = relaunch();
    EXPECT_EQ(selectedPath(m), r);
    EXPECT_EQ(m->filterDirPaths(), QStringList{q}) << "folders that are gone are not offered";
}

TEST_F(ScopeDirManagerTest, StoredSelectionIsReadAsTextAndFallsBackToHomeWhenItNoLongerFits)
{
    ASSERT_TRUE(ScopeDirManager::sharedInstance()->proposeSelectionWithDirPath(tree.mkdir(QStringLiteral("Fav"))));
    const qint64 id = ScopeDirManager::sharedInstance()->favoriteDirs().first()->uniqueId();
    // stored kind, stored object, kind after a relaunch
    const std::tuple<QVariant, QVariant, qint64> cases[] = {
        {3, id, 3}, {3, 99, 1}, {3, 0, 1}, {3, QStringLiteral("abc"), 1}, {3, QVariant(), 1},
        {2, QStringLiteral("/some/where"), 2}, {2, 17, 1}, {2, QVariant(), 1},
        {7, QStringLiteral("/x"), 1}, {-1, QVariant(), 1}, {QStringLiteral("junk"), QVariant(), 1},
    };
    for (const auto &[kind, object, expected] : cases) {
        defaults().setObject(kind, kScopeDirManagerSelectionKindKey);
        defaults().setObject(object, kScopeDirManagerSelectionObjectKey);
        defaults().synchronize();
        ScopeDirManager *m = relaunch();
        EXPECT_EQ(m->selectionKind(), expected) << kind.toString().toStdString() << " " << object.toString().toStdString();
        EXPECT_EQ(std::holds_alternative<std::monostate>(m->selectionObject()), expected == 1);
    }

    // Settings written as text by an earlier run or by hand keep no types, and
    // a one-element list there is plain text.
    const QString folder = tree.mkdir(QStringLiteral("Only one"));
    writeText(defaults().filePath(), "[General]\nScopeDirManager-selectionKind=2\nScopeDirManager-selectionObject="
                                         + QFile::encodeName(folder) + "\nScopeDirManager-filterDirPaths=" + QFile::encodeName(folder));
    ScopeDirManager *m = relaunch();
    EXPECT_EQ(selectedPath(m), folder);
    EXPECT_EQ(m->filterDirPaths(), QStringList{folder});
}

// Entries of the wrong shape are left out, and identifiers made unique again:
// a selection finds its favourite by identifier.
TEST_F(ScopeDirManagerTest, DamagedEntriesAreLeftOutAndIdentifiersMadeUnique)
{
    const QString archive = ScopeDirManager::favoriteDirsArchivePath();
    const QString a = tree.mkdir(QStringLiteral("A"));
    const QString b = tree.mkdir(QStringLiteral("B"));
    const QString c = tree.mkdir(QStringLiteral("C"));
    auto entry = [](const QString &path, qint64 id) {
        return QCborMap{{QStringLiteral("serializedPath"), path}, {QStringLiteral("bookmarkData"), QByteArray()},
                        {QStringLiteral("uniqueId"), id}, {QStringLiteral("kind"), 3}};
    };
    QCborArray list{entry(a, 4), entry(b, 4), QStringLiteral("not a favourite"), entry(c, 0), entry(a, 9)};
    ASSERT_TRUE(kz_archiveObjectToFile(KZArchivedObject{QStringLiteral("FavoriteDirs"), 1, list}, archive));
    defaults().setObject(QVariantList{QVariantMap{{QStringLiteral("path"), QStringLiteral("/ok")}},
                                      QStringLiteral("a bare string"), QVariantMap{{QStringLiteral("state"), false}}},
                         kScopeDirManagerExcludedDirsKey);
    defaults().synchronize();
    ScopeDirManager *m = relaunch();
    EXPECT_EQ(favoritePaths(m), (QStringList{a, b, c})) << "the second A is dropped";
    EXPECT_EQ(favoriteIds(m), (QList<qint64>{4, 5, 6})) << "B and C get identifiers of their own";
    EXPECT_EQ(excludedOf(m), QStringList{QStringLiteral("/ok on")}) << "no state: active; no path: left out";
}

// Favourites whose volume is absent or silent are kept, unreachable, without
// waiting for the server or mounting anything; one whose folder is gone is
// dropped, and one renamed while Trovix did not run is found under its new name.
TEST_F(ScopeDirManagerTest, FavoritesOnAbsentOrSilentVolumesStayUnreachable)
{
    const QString nas = tree.mkdir(QStringLiteral("nas"));
    const QString usb = tree.mkdir(QStringLiteral("usb"));
    const QByteArray nasLine = scopetest::mountLine(2, nas, "nfs4", "srv:/e", "0:70");
    const QByteArray usbLine = scopetest::mountLine(3, usb, "exfat", "/dev/sdb1", "8:17");
    const QByteArray trapLine = scopetest::mountLine(4, tree.mkdir(QStringLiteral("trap")), "autofs", "auto", "0:72");
    FakeMountTable mounts(nasLine + usbLine + trapLine);
    const QString share = tree.mkdir(QStringLiteral("nas/Share"));
    const QString photos = tree.mkdir(QStringLiteral("usb/Photos"));
    const QString local = tree.mkdir(QStringLiteral("Local"));
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    for (const QString &p : {share, photos, tree.mkdir(QStringLiteral("Gone")), local})
        ASSERT_TRUE(m->proposeSelectionWithDirPath(p));
    ASSERT_TRUE(m->setSelectionKind(ScopeDirManager::SelectionFavorite, m->favoriteDirWithPath(share)));

    tree.remove(QStringLiteral("usb/Photos"));
    tree.remove(QStringLiteral("Gone"));
    const QString renamed = tree.path(QStringLiteral("Local renamed"));
    ASSERT_TRUE(QDir().rename(local, renamed));
    mounts.set(nasLine + trapLine); // the USB disk is unplugged
    // Stored with a path only: on the silent server, and under an automount point.
    auto stored = [](const QString &path) {
        return FavoriteDir::fromArchive(QCborMap{{QStringLiteral("serializedPath"), path},
                                                 {QStringLiteral("bookmarkData"), QByteArray()},
                                                 {QStringLiteral("uniqueId"), 5}, {QStringLiteral("kind"), 0}});
    };
    const auto pathOnly = stored(share), underTrap = stored(tree.path(QStringLiteral("trap/Backups")));
    const auto live = m->favoriteDirWithPath(share); // checked before the server fell silent
    {
        scopetest::SilentServer server; // and the server does not answer
        m = relaunch();
        ASSERT_EQ(favoritePaths(m), (QStringList{share, photos, renamed}));
        EXPECT_EQ(favoritesBy<QList<int>>(m, &FavoriteDir::status), (QList<int>{0, 0, 1}));
        EXPECT_EQ(selectedPath(m), share);
        for (const auto &fav : {live, m->favoriteDirs().at(0), m->favoriteDirs().at(1), pathOnly, underTrap}) {
            EXPECT_EQ(fav->updateStatus(), 0);
            EXPECT_TRUE(fav->isVolumeUnavailable());
        }
        EXPECT_EQ(pathOnly->displayName(), QStringLiteral("Share"));
        EXPECT_EQ(server.calls(), 1) << "one stuck probe, no pile-up, the automount never touched";
    }
    ASSERT_TRUE(scopetest::waitForWorkersToDrain(nas));
    EXPECT_EQ(m->favoriteDirs().at(0)->updateStatus(), 1);
    EXPECT_EQ(pathOnly->updateStatus(), 1);
    ASSERT_TRUE(m->saveToDisk());
    // Plugged in again without the folder: now it is really gone.
    mounts.set(nasLine + usbLine + trapLine);
    EXPECT_EQ(m->favoriteDirs().at(1)->updateStatus(), 0);
    EXPECT_FALSE(m->favoriteDirs().at(1)->isVolumeUnavailable());
    tree.mkdir(QStringLiteral("usb/Photos"));
    EXPECT_EQ(favoritePaths(relaunch()), (QStringList{share, photos, renamed})) << "kept with paths and bookmarks intact";
}

// A support folder that cannot be made was only logged: the favourites
// chosen in the run were lost without a word at quitting.
TEST_F(ScopeDirManagerTest, UnwritableSupportFolderIsCriticalButKeepsTheMemoryState)
{
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    QDir(dataHome).removeRecursively();
    writeText(dataHome, "not a folder"); // the application-support folder cannot exist
    KZFunctions::resetCachedPathsForTesting();
    kztest::LogCapture log;
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    EXPECT_TRUE(log.contains(QStringLiteral("checkDirectoryAtPath==NO supportDir:")));
    const QString folder = tree.mkdir(QStringLiteral("F"));
    EXPECT_TRUE(m->proposeSelectionWithDirPath(folder));
    EXPECT_EQ(favoritePaths(m), QStringList{folder});
    EXPECT_FALSE(m->saveToDisk());
}

// Favourites and excluded folders added or switched off by several processes
// at once were lost: each process wrote back the whole lists it had read at
// its start.
TEST_F(ScopeDirManagerTest, ChangesFromManyProcessesAtOnceAreAllKept)
{
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    QStringList expected{QStringLiteral("/srv/here on")};
    QStringList favorites;
    std::vector<std::unique_ptr<QProcess>> runs;
    auto run = [&](const char *verb, const QString &path) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->start(QStringLiteral(SCOPE_CHANGE_TOOL_PATH), {QString::fromLatin1(verb), path});
    };
    for (int i = 0; i < 4; ++i) {
        m->addExcludedDir(QStringLiteral("/srv/on%1").arg(i));
        run("off", QStringLiteral("/srv/on%1").arg(i));
        expected.append(QStringLiteral("/srv/on%1 off").arg(i));
    }
    for (int i = 0; i < 8; ++i) {
        run("exclude", QStringLiteral("/srv/x%1").arg(i));
        run("favorite", favorites.emplace_back(tree.mkdir(QStringLiteral("fav%1").arg(i))));
        expected.append(QStringLiteral("/srv/x%1 on").arg(i));
    }
    // This process changes both while the others do.
    m->addExcludedDir(QStringLiteral("/srv/here"));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(favorites.emplace_back(tree.mkdir(QStringLiteral("fav8")))));
    for (auto &p : runs) {
        ASSERT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }

    m = relaunch();
    const auto sorted = [](QStringList l) { l.sort(); return l; };
    EXPECT_EQ(sorted(excludedOf(m)), sorted(expected));
    EXPECT_EQ(sorted(favoritePaths(m)), favorites);
    const QList<qint64> ids = favoriteIds(m);
    EXPECT_EQ(QSet<qint64>(ids.begin(), ids.end()).size(), favorites.size());
}

// While another process holds the locks, a change waits for them and, when
// they do not come, changes neither memory nor files.
TEST_F(ScopeDirManagerTest, ListsLockedElsewhereAreLeftAlone)
{
    const QString kept = tree.mkdir(QStringLiteral("kept"));
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    m->addExcludedDir(QStringLiteral("/srv/kept"));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(kept));

    kzplatform::KZFileLock settings;
    kzplatform::KZFileLock favorites;
    ASSERT_TRUE(settings.lock(QFile::encodeName(defaults().sharedLockPath()), 0));
    ASSERT_TRUE(favorites.lock(QFile::encodeName(ScopeDirManager::favoriteDirsArchivePath() + QStringLiteral(".lock")), 0));
    kzSetSharedFileLockTimeoutMsForTesting(100);
    kztest::LogCapture log;
    m->addExcludedDir(QStringLiteral("/srv/new"));
    m->setStateOfExcludedDir(false, QStringLiteral("/srv/kept"));
    m->addFilterFilterDirPath(kept);
    EXPECT_FALSE(m->proposeSelectionWithDirPath(tree.mkdir(QStringLiteral("new"))));
    EXPECT_FALSE(m->saveToDisk());
    EXPECT_EQ(log.count(QStringLiteral("lock timeout")), 5);
    kzSetSharedFileLockTimeoutMsForTesting(0);
    const auto expectUnchanged = [&](ScopeDirManager *seen) {
        EXPECT_EQ(excludedOf(seen), QStringList{QStringLiteral("/srv/kept on")});
        EXPECT_TRUE(seen->filterDirPaths().isEmpty());
        EXPECT_EQ(favoritePaths(seen), QStringList{kept});
        EXPECT_EQ(selectedPath(seen), kept);
    };
    expectUnchanged(m);
    settings.unlock();
    favorites.unlock();
    expectUnchanged(relaunch());
}
