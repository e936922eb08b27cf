#include <unistd.h>

#include <QCborArray>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

#include "scope/ScopeDirManager.h"
#include "support/KZArchive.h"
#include "support/KZFunctions.h"
#include "support/KZUserDefaults.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

using scopetest::FakeMountTable;
using scopetest::SilentServer;

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
    void TearDown() override
    {
        ScopeDirManager::resetSharedInstanceForTesting();
    }

    // A new manager over the same settings and files, as after a relaunch.
    static ScopeDirManager *relaunch()
    {
        ScopeDirManager::resetSharedInstanceForTesting();
        return ScopeDirManager::sharedInstance();
    }
    static KZUserDefaults &defaults()
    {
        return KZUserDefaults::standardUserDefaults();
    }
    static QStringList favoritePaths(ScopeDirManager *m)
    {
        QStringList paths;
        for (const auto &dir : m->favoriteDirs())
            paths.append(dir->path());
        return paths;
    }
    static void writeText(const QString &path, const QByteArray &text)
    {
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    static void writeGtkBookmarks(const QStringList &paths)
    {
        QByteArray text;
        for (const QString &p : paths)
            text += QUrl::fromLocalFile(p).toEncoded() + '\n';
        writeText(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/gtk-3.0/bookmarks"), text);
    }
    static QString selectedPath(ScopeDirManager *m)
    {
        const ScopeDirManager::SelectionObject o = m->selectionObject();
        if (const auto *s = std::get_if<QString>(&o))
            return *s;
        if (const auto *d = std::get_if<std::shared_ptr<FavoriteDir>>(&o))
            return *d ? (*d)->path() : QString();
        return QString();
    }

    QString home;
    kztest::TempTree tree;
};

} // namespace

TEST_F(ScopeDirManagerTest, FirstLaunchTakesOverTheSidebarFavorites)
{
    for (const char *name : {"Desktop", "Documents", "Music"})
        QDir().mkpath(home + QLatin1Char('/') + QLatin1String(name));
    QStringList bookmarks = {home, QStringLiteral("/usr/share"), QStringLiteral("/proc/self"), QStringLiteral("/"),
                             tree.mkdir(QStringLiteral("Rules.cannedSearch"))};
    for (const QChar c : QStringLiteral("ABCDEFGHI"))
        bookmarks.append(tree.mkdir(QStringLiteral("Place ") + c));
    writeGtkBookmarks(bookmarks);
    ASSERT_FALSE(QFile::exists(ScopeDirManager::favoriteDirsArchivePath()));

    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    // Twelve folders qualify; the limit of ten keeps the newest.
    QStringList expected = {home + QStringLiteral("/Music")};
    for (const QChar c : QStringLiteral("ABCDEFGHI"))
        expected.append(tree.path(QStringLiteral("Place ") + c));
    EXPECT_EQ(favoritePaths(m), expected);
    QSet<qint64> ids;
    for (const auto &dir : m->favoriteDirs()) {
        EXPECT_EQ(dir->kind(), FavoriteDir::KindSidebar);
        EXPECT_EQ(dir->status(), 1);
        ids.insert(dir->uniqueId());
    }
    EXPECT_EQ(ids.size(), 10);
    EXPECT_FALSE(ids.contains(0));
    EXPECT_TRUE(QFile::exists(ScopeDirManager::favoriteDirsArchivePath()));
    EXPECT_EQ(favoritePaths(relaunch()), expected);

    // With a limit of three in the settings, three are kept.
    kztest::resetTestEnvironment();
    ScopeDirManager::resetSharedInstanceForTesting();
    writeGtkBookmarks(bookmarks);
    defaults().setObject(3, kScopeDirManagerNbMaxKey);
    defaults().synchronize();
    EXPECT_EQ(favoritePaths(relaunch()), expected.mid(7));
}

TEST_F(ScopeDirManagerTest, DroppedFoldersSelectHomeVolumesOrFavorites)
{
    const QString usb = tree.mkdir(QStringLiteral("media/USB KEY"));
    FakeMountTable mounts(scopetest::mountLine(2, usb, "vfat", "/dev/sdb1", "8:17")
                          + scopetest::mountLine(3, tree.path(QStringLiteral("top")), "ext4", "/dev/sdc1", "8:33"));
    QDir().mkpath(home + QStringLiteral("/Documents"));
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    ASSERT_EQ(favoritePaths(m), QStringList{home + QStringLiteral("/Documents")});
    EXPECT_TRUE(ScopeDirManager::mountedVolumes().contains(usb));

    EXPECT_TRUE(m->proposeSelectionWithDirPath(QStringLiteral("/")));
    EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionPath);
    EXPECT_EQ(selectedPath(m), QStringLiteral("/"));
    EXPECT_TRUE(m->proposeSelectionWithDirURL(QUrl::fromLocalFile(usb)));
    EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionPath);
    EXPECT_EQ(selectedPath(m), usb);
    EXPECT_EQ(defaults().stringForKey(kScopeDirManagerSelectionObjectKey), usb);
    EXPECT_TRUE(m->proposeSelectionWithDirPath(home + QStringLiteral("/")));
    EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionHome);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(m->selectionObject()));
    EXPECT_FALSE(defaults().contains(kScopeDirManagerSelectionObjectKey));
    EXPECT_EQ(m->favoriteDirs().size(), 1);

    const QString folder = tree.mkdir(QStringLiteral("Some Folder"));
    EXPECT_TRUE(m->proposeSelectionWithDirPath(folder));
    EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionFavorite);
    ASSERT_EQ(m->favoriteDirs().size(), 2);
    const auto fav = m->favoriteDirs().last();
    EXPECT_EQ(fav->path(), folder);
    EXPECT_EQ(fav->kind(), FavoriteDir::KindScope);
    EXPECT_EQ(fav->uniqueId(), 2);
    EXPECT_EQ(defaults().integerForKey(kScopeDirManagerSelectionObjectKey), 2);
    // Dropped again: the same favourite, not a second one.
    EXPECT_TRUE(m->proposeSelectionWithDirURL(QUrl::fromLocalFile(folder)));
    EXPECT_EQ(m->favoriteDirs().size(), 2);
    EXPECT_EQ(std::get<std::shared_ptr<FavoriteDir>>(m->selectionObject()), fav);
    EXPECT_EQ(m->favoriteDirWithPath(folder), fav);
    // A sidebar favourite dropped becomes a chosen one.
    const auto documents = m->favoriteDirs().first();
    EXPECT_EQ(documents->kind(), FavoriteDir::KindSidebar);
    EXPECT_TRUE(m->proposeSelectionWithDirPath(documents->path()));
    EXPECT_EQ(documents->kind(), FavoriteDir::KindScope);
    EXPECT_EQ(m->favoriteDirs().size(), 2);
    EXPECT_EQ(relaunch()->favoriteDirs().first()->kind(), FavoriteDir::KindScope);

    m = ScopeDirManager::sharedInstance();
    kztest::LogCapture log;
    EXPECT_FALSE(m->proposeSelectionWithDirPath(QString()));
    EXPECT_FALSE(m->proposeSelectionWithDirURL(QUrl(QStringLiteral("https://example.org/dir"))));
    EXPECT_FALSE(m->proposeSelectionWithDirPath(tree.path(QStringLiteral("not there"))));
    EXPECT_FALSE(m->proposeSelectionWithDirPath(tree.writeFile(QStringLiteral("a file"))));
    EXPECT_EQ(log.count(QStringLiteral("path:")), 2);
    EXPECT_EQ(m->favoriteDirs().size(), 2);
    EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionFavorite);
}

TEST_F(ScopeDirManagerTest, EleventhProposedFolderRemovesTheOldest)
{
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    ASSERT_TRUE(m->favoriteDirs().isEmpty());
    QStringList folders;
    for (int i = 1; i <= 11; ++i) {
        folders.append(tree.mkdir(QStringLiteral("Folder %1").arg(i)));
        ASSERT_TRUE(m->proposeSelectionWithDirPath(folders.last()));
    }
    EXPECT_EQ(favoritePaths(m), folders.mid(1));
    EXPECT_EQ(m->favoriteDirs().last()->uniqueId(), 11);
    EXPECT_EQ(selectedPath(m), folders.last());
    EXPECT_EQ(favoritePaths(relaunch()), folders.mid(1));
    EXPECT_EQ(selectedPath(ScopeDirManager::sharedInstance()), folders.last());
}

TEST_F(ScopeDirManagerTest, DeletedFavoriteDisappearsAtTheNextLaunch)
{
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    const QString a = tree.mkdir(QStringLiteral("A"));
    const QString b = tree.mkdir(QStringLiteral("B"));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(b));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(a));
    tree.remove(QStringLiteral("A"));
    m = relaunch();
    EXPECT_EQ(favoritePaths(m), QStringList{b});
    // The selected favourite is gone: the selection falls back to home.
    EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionHome);
}

TEST_F(ScopeDirManagerTest, RenamedFavoriteIsFoundWithItsNewName)
{
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    const QString before = tree.mkdir(QStringLiteral("Before"));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(before));
    const auto fav = m->favoriteDirs().first();
    const QString after = tree.path(QStringLiteral("After rename"));
    ASSERT_TRUE(QDir().rename(before, after));
    // In this run, the next check follows it.
    EXPECT_EQ(fav->updateStatus(), 1);
    EXPECT_EQ(fav->path(), after);
    EXPECT_EQ(fav->displayName(), QStringLiteral("After rename"));

    // Renamed again while Trovix is not running: found at the next launch.
    const QString again = tree.path(QStringLiteral("Third name"));
    ASSERT_TRUE(QDir().rename(after, again));
    m = relaunch();
    ASSERT_EQ(favoritePaths(m), QStringList{again});
    EXPECT_EQ(m->favoriteDirs().first()->displayName(), QStringLiteral("Third name"));
    EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionFavorite);
    EXPECT_EQ(selectedPath(m), again);
}

TEST_F(ScopeDirManagerTest, FilterDirPathsAndSelectingAFavoriteAmongThem)
{
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    const QString p = tree.mkdir(QStringLiteral("P"));
    const QString q = tree.mkdir(QStringLiteral("Q"));
    const QString r = tree.mkdir(QStringLiteral("R"));
    m->addFilterFilterDirPath(p);
    m->addFilterFilterDirPath(q);
    m->addFilterFilterDirPath(p);
    m->addFilterFilterDirPath(r);
    EXPECT_EQ(m->filterDirPaths(), (QStringList{p, q, p, r}));
    m->removeFilterDirPath(r);
    EXPECT_EQ(relaunch()->filterDirPaths(), (QStringList{p, q, p}));

    m = ScopeDirManager::sharedInstance();
    ASSERT_TRUE(m->proposeSelectionWithDirPath(p));
    EXPECT_EQ(m->filterDirPaths(), QStringList{q});
    // Folders that are gone are not offered after a relaunch.
    m->addFilterFilterDirPath(r);
    tree.remove(QStringLiteral("R"));
    EXPECT_EQ(relaunch()->filterDirPaths(), QStringList{q});
}

TEST_F(ScopeDirManagerTest, ExcludedDirsKeepOneEntryPerPathAndSaveEveryChange)
{
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    const QString x = QStringLiteral("/srv/x");
    const QString y = QStringLiteral("/srv/y");
    m->addExcludedDir(x);
    m->addExcludedDir(y);
    m->setStateOfExcludedDir(false, x);
    auto entry = [](const QString &path, bool state) { return QVariant(QVariantMap{{QStringLiteral("path"), path}, {QStringLiteral("state"), state}}); };
    // A switch flipped and nothing else: it is on disk all the same.
    EXPECT_EQ(relaunch()->excludedDirs(), (QVariantList{entry(x, false), entry(y, true)}));

    m = ScopeDirManager::sharedInstance();
    m->addExcludedDir(x);
    EXPECT_EQ(m->excludedDirs(), (QVariantList{entry(y, true), entry(x, true)}));
    m->setStateOfExcludedDir(false, QStringLiteral("/not/listed"));
    m->removeExcludedDir(y);
    EXPECT_EQ(relaunch()->excludedDirs(), QVariantList{entry(x, true)});
}

TEST_F(ScopeDirManagerTest, StoredSelectionThatNoLongerFitsFallsBackToHome)
{
    const QString folder = tree.mkdir(QStringLiteral("Fav"));
    ASSERT_TRUE(ScopeDirManager::sharedInstance()->proposeSelectionWithDirPath(folder));
    const qint64 id = ScopeDirManager::sharedInstance()->favoriteDirs().first()->uniqueId();
    struct Case {
        QVariant kind;
        QVariant object;
        qint64 expectedKind;
    };
    const Case cases[] = {
        {3, id, 3},
        {3, QString::number(id), 3}, // the INI store gives numbers back as text
        {3, 99, 1},
        {3, 0, 1},
        {3, QStringLiteral("abc"), 1},
        {3, QVariant(), 1},
        {2, QStringLiteral("/some/where"), 2},
        {2, 17, 1},
        {2, QVariant(), 1},
        {7, QStringLiteral("/x"), 1},
        {-1, QVariant(), 1},
        {QStringLiteral("junk"), QVariant(), 1},
    };
    for (const Case &c : cases) {
        defaults().setObject(c.kind, kScopeDirManagerSelectionKindKey);
        defaults().setObject(c.object, kScopeDirManagerSelectionObjectKey);
        defaults().synchronize();
        ScopeDirManager *m = relaunch();
        EXPECT_EQ(m->selectionKind(), c.expectedKind) << c.kind.toString().toStdString() << " "
                                                        << c.object.toString().toStdString();
        if (c.expectedKind == 1) {
            EXPECT_TRUE(std::holds_alternative<std::monostate>(m->selectionObject()));
        }
    }
}

TEST_F(ScopeDirManagerTest, SettingsWrittenByAnEarlierRunAreReadFromTheFile)
{
    // Written as the INI store writes them in another process: no types.
    const QString folder = tree.mkdir(QStringLiteral("Only one"));
    {
        ScopeDirManager *m = ScopeDirManager::sharedInstance();
        ASSERT_TRUE(m->proposeSelectionWithDirPath(folder));
    }
    const QString conf = defaults().filePath();
    ScopeDirManager::resetSharedInstanceForTesting();
    writeText(conf, "[General]\nScopeDirManager-selectionKind=3\nScopeDirManager-selectionObject=1\n"
                    "ScopeDirManager-filterDirPaths=" + QFile::encodeName(folder) + "\n");
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionFavorite);
    EXPECT_EQ(selectedPath(m), folder);
    EXPECT_EQ(m->filterDirPaths(), QStringList{folder});
}

TEST_F(ScopeDirManagerTest, RelaunchRestoresEverythingIncludingAwkwardNames)
{
    const QString longName = QString(250, QLatin1Char('x')) + QStringLiteral("é");
    const QString spaced = tree.mkdir(QStringLiteral("with  two spaces "));
    const QString newline = tree.mkdir(QStringLiteral("line\nbreak, comma \"quote\" = sign"));
    QString deep = tree.root();
    for (int i = 0; i < 6; ++i)
        deep = tree.mkdir(deep.mid(tree.root().size() + 1) + (i ? QStringLiteral("/") : QString()) + longName);
    ASSERT_GT(QFile::encodeName(deep).size(), 1024);

    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    ASSERT_TRUE(m->proposeSelectionWithDirPath(spaced));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(deep));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(newline));
    m->addFilterFilterDirPath(newline);
    m->addFilterFilterDirPath(deep);
    m->addExcludedDir(spaced);
    m->addExcludedDir(newline);
    m->setStateOfExcludedDir(false, spaced);
    const QStringList favorites = favoritePaths(m);
    const QStringList filters = m->filterDirPaths();
    const QVariantList excluded = m->excludedDirs();
    EXPECT_EQ(favorites, (QStringList{spaced, deep, newline}));

    ScopeDirManager *again = relaunch();
    EXPECT_EQ(favoritePaths(again), favorites);
    EXPECT_EQ(again->filterDirPaths(), filters);
    EXPECT_EQ(again->excludedDirs(), excluded);
    EXPECT_EQ(again->selectionKind(), ScopeDirManager::SelectionFavorite);
    EXPECT_EQ(selectedPath(again), newline);
    for (qsizetype i = 0; i < 3; ++i) {
        EXPECT_EQ(again->favoriteDirs().at(i)->uniqueId(), i + 1);
        EXPECT_EQ(again->favoriteDirs().at(i)->kind(), FavoriteDir::KindScope);
    }

    // A path selected as kind 2 also comes back.
    ASSERT_TRUE(again->setSelectionKind(ScopeDirManager::SelectionPath, newline));
    EXPECT_EQ(selectedPath(relaunch()), newline);
}

TEST_F(ScopeDirManagerTest, NamesThatAreNotUtf8AreRefusedWithALogMessage)
{
    const QByteArray raw = tree.mkdirBytes("caf\xe9");
    writeGtkBookmarks({});
    writeText(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/gtk-3.0/bookmarks"),
              "file://" + QByteArray(raw).toPercentEncoding("/") + "\n");
    kztest::LogCapture log;
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    EXPECT_TRUE(m->favoriteDirs().isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("path not representable")));
    log.clear();
    EXPECT_FALSE(m->proposeSelectionWithDirPath(QFile::decodeName(raw)));
    EXPECT_TRUE(log.contains(QStringLiteral("path:")));
    EXPECT_TRUE(m->favoriteDirs().isEmpty());
    // The temporary folder cannot remove a name it cannot spell.
    ::rmdir(raw.constData());
}

TEST_F(ScopeDirManagerTest, CorruptArchiveIsSetAsideAndSettingsSurvive)
{
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    const QString folder = tree.mkdir(QStringLiteral("Kept"));
    m->addExcludedDir(QStringLiteral("/srv/excluded"));
    ASSERT_TRUE(m->setSelectionKind(ScopeDirManager::SelectionPath, folder));
    const QString archive = ScopeDirManager::favoriteDirsArchivePath();
    // A map header, a short key, then bytes that break the encoding.
    const QByteArray garbage("\xa1\x65" "class" "\x19" "garbage that is not CBOR");
    writeText(archive, garbage);

    kztest::LogCapture log;
    m = relaunch();
    EXPECT_TRUE(log.contains(QStringLiteral("filePath:") + archive));
    QFile aside(archive + QStringLiteral(".bad"));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), garbage);
    EXPECT_EQ(m->excludedDirs().size(), 1);
    EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionPath);
    EXPECT_EQ(selectedPath(m), folder);
    // The next save writes a new archive and leaves the set-aside one alone.
    ASSERT_TRUE(m->proposeSelectionWithDirPath(folder));
    EXPECT_TRUE(kz_unarchivedObjectAtFile(archive, QStringLiteral("FavoriteDirs")).has_value());
    aside.seek(0);
    EXPECT_EQ(aside.readAll(), garbage);
}

TEST_F(ScopeDirManagerTest, FavoritesOnAbsentOrSilentVolumesStayUnreachable)
{
    const QString nas = tree.mkdir(QStringLiteral("nas"));
    const QString usb = tree.mkdir(QStringLiteral("usb"));
    const QByteArray nasLine = scopetest::mountLine(2, nas, "nfs4", "srv:/e", "0:70");
    const QByteArray usbLine = scopetest::mountLine(3, usb, "exfat", "/dev/sdb1", "8:17");
    FakeMountTable mounts(nasLine + usbLine);
    const QString share = tree.mkdir(QStringLiteral("nas/Share"));
    const QString photos = tree.mkdir(QStringLiteral("usb/Photos"));
    const QString local = tree.mkdir(QStringLiteral("Local"));
    const QString gone = tree.mkdir(QStringLiteral("Gone"));
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    for (const QString &p : {share, photos, gone, local})
        ASSERT_TRUE(m->proposeSelectionWithDirPath(p));
    ASSERT_TRUE(m->setSelectionKind(ScopeDirManager::SelectionFavorite, m->favoriteDirWithPath(share)));

    tree.remove(QStringLiteral("usb/Photos"));
    tree.remove(QStringLiteral("Gone"));
    mounts.set(nasLine); // the USB disk is unplugged
    {
        SilentServer server; // and the server does not answer
        m = relaunch();
        EXPECT_EQ(favoritePaths(m), (QStringList{share, photos, local}));
        EXPECT_EQ(m->favoriteDirs().at(0)->status(), 0);
        EXPECT_EQ(m->favoriteDirs().at(1)->status(), 0);
        EXPECT_EQ(m->favoriteDirs().at(2)->status(), 1);
        EXPECT_EQ(m->favoriteDirs().at(1)->displayName(), QStringLiteral("Photos"));
        EXPECT_EQ(m->selectionKind(), ScopeDirManager::SelectionFavorite);
        EXPECT_EQ(selectedPath(m), share);
        EXPECT_LE(server.calls(), 1);
    }
    ASSERT_TRUE(scopetest::waitForWorkersToDrain(nas));
    EXPECT_EQ(m->favoriteDirs().at(0)->updateStatus(), 1);
    // Kept favourites are saved with their paths and bookmarks intact.
    ASSERT_TRUE(m->saveToDisk());
    mounts.set(nasLine + usbLine);
    tree.mkdir(QStringLiteral("usb/Photos"));
    EXPECT_EQ(favoritePaths(relaunch()), (QStringList{share, photos, local}));
}

TEST_F(ScopeDirManagerTest, MountedVolumesFromTheMountTable)
{
    FakeMountTable mounts("2 1 0:21 / /proc rw - proc proc rw\n"
                          "3 1 8:17 / /media/alice/My\\040Disk rw - exfat /dev/sdb1 rw\n"
                          "4 1 8:3 / /home rw - ext4 /dev/sda3 rw\n"
                          "5 1 0:50 / /mnt/nas rw - nfs4 srv:/x rw\n"
                          "6 1 0:30 / /tmp rw - tmpfs tmpfs rw\n");
    EXPECT_EQ(ScopeDirManager::mountedVolumes(),
              (QStringList{QStringLiteral("/"), QStringLiteral("/media/alice/My Disk"), QStringLiteral("/mnt/nas")}));
    kztest::LogCapture log;
    mounts.setUnreadable();
    EXPECT_TRUE(ScopeDirManager::mountedVolumes().isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("volumes==nil")));
}

TEST_F(ScopeDirManagerTest, SelectionRefusesObjectsOfTheWrongKind)
{
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    const QString folder = tree.mkdir(QStringLiteral("F"));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(folder));
    const auto fav = m->favoriteDirs().first();
    EXPECT_FALSE(m->setSelectionKind(3, folder));
    EXPECT_FALSE(m->setSelectionKind(3, std::shared_ptr<FavoriteDir>()));
    EXPECT_FALSE(m->setSelectionKind(2, fav));
    EXPECT_FALSE(m->setSelectionKind(2, std::monostate()));
    EXPECT_FALSE(m->setSelectionKind(4, folder));
    EXPECT_FALSE(m->setSelectionKind(0, std::monostate()));
    EXPECT_EQ(m->selectionKind(), 3);
    EXPECT_EQ(std::get<std::shared_ptr<FavoriteDir>>(m->selectionObject()), fav);
    EXPECT_EQ(defaults().integerForKey(kScopeDirManagerSelectionKindKey), 3);
}

TEST_F(ScopeDirManagerTest, UnwritableSupportFolderIsCriticalButKeepsTheMemoryState)
{
    // The data folder is a file: the application-support folder cannot exist.
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    QDir(dataHome).removeRecursively();
    writeText(dataHome, "not a folder");
    KZFunctions::resetCachedPathsForTesting();
    kztest::LogCapture log;
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    EXPECT_TRUE(log.contains(QStringLiteral("checkDirectoryAtPath==NO supportDir:")));
    const QString folder = tree.mkdir(QStringLiteral("F"));
    EXPECT_TRUE(m->proposeSelectionWithDirPath(folder));
    EXPECT_EQ(favoritePaths(m), QStringList{folder});
    EXPECT_FALSE(m->saveToDisk());
    EXPECT_TRUE(log.contains(QStringLiteral("kz_archiveObjectToFile==NO path:")));
}

TEST_F(ScopeDirManagerTest, DamagedEntriesAreLeftOutAndIdentifiersMadeUnique)
{
    const QString a = tree.mkdir(QStringLiteral("A"));
    const QString b = tree.mkdir(QStringLiteral("B"));
    const QString c = tree.mkdir(QStringLiteral("C"));
    auto entry = [](const QString &path, qint64 id) {
        QCborMap m;
        m.insert(QStringLiteral("serializedPath"), path);
        m.insert(QStringLiteral("bookmarkData"), QByteArray());
        m.insert(QStringLiteral("uniqueId"), id);
        m.insert(QStringLiteral("kind"), 3);
        return m;
    };
    QCborArray list{entry(a, 4), entry(b, 4), QStringLiteral("not a favourite"), entry(c, 0), entry(a, 9)};
    ASSERT_TRUE(kz_archiveObjectToFile(KZArchivedObject{QStringLiteral("FavoriteDirs"), 1, list},
                                       ScopeDirManager::favoriteDirsArchivePath()));
    defaults().setObject(QVariantList{QVariantMap{{QStringLiteral("path"), QStringLiteral("/ok")}},
                                      QStringLiteral("a bare string"),
                                      QVariantMap{{QStringLiteral("state"), false}}},
                         kScopeDirManagerExcludedDirsKey);
    defaults().synchronize();

    kztest::LogCapture log;
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    // The duplicate of A is dropped; B and C get fresh identifiers.
    EXPECT_EQ(favoritePaths(m), (QStringList{a, b, c}));
    QList<qint64> ids;
    for (const auto &dir : m->favoriteDirs())
        ids.append(dir->uniqueId());
    EXPECT_EQ(ids, (QList<qint64>{4, 5, 6}));
    EXPECT_EQ(log.count(QStringLiteral("reassigned")), 2);
    // An entry without a state counts as active; entries without a path are left out.
    const QVariantList expected{QVariantMap{{QStringLiteral("path"), QStringLiteral("/ok")}, {QStringLiteral("state"), true}}};
    EXPECT_EQ(m->excludedDirs(), expected);
    EXPECT_EQ(log.count(QStringLiteral("excludedDir ignored")), 2);
}
