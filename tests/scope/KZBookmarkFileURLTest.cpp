#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "platform/KZFolderBookmark.h"
#include "scope/FavoriteDir.h"
#include "scope/KZBookmarkFileURL.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

using scopetest::FakeMountTable;
using scopetest::SilentServer;

namespace {

// An archived reference read back, as after a relaunch.
std::shared_ptr<FavoriteDir> reloaded(const std::shared_ptr<FavoriteDir> &dir)
{
    const QByteArray bytes = QCborValue(dir->encodeWithCoder()).toCbor();
    return FavoriteDir::fromArchive(QCborValue::fromCbor(bytes).toMap());
}

bool rename(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

TEST(KZBookmarkFileURL, CreateFromPathOrURLWithSnapshotAndBookmark)
{
    kztest::TempTree tree;
    const QString dir = tree.mkdir(QStringLiteral("Projects"));
    int status = -1;
    auto ref = KZBookmarkFileURL::create(QUrl(), dir + QStringLiteral("/"), &status);
    ASSERT_TRUE(ref);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(ref->status(), 1);
    EXPECT_EQ(ref->path(), dir);
    EXPECT_EQ(ref->URL(), QUrl::fromLocalFile(dir));
    struct stat st;
    ASSERT_EQ(::lstat(QFile::encodeName(dir).constData(), &st), 0);
    EXPECT_EQ(ref->statInfo().st_ino, st.st_ino);
    EXPECT_EQ(ref->statInfo().st_dev, st.st_dev);
    EXPECT_EQ(ref->statInfo().st_mode, st.st_mode);
    EXPECT_EQ(ref->statInfo().st_mtimespec.tv_sec, st.st_mtim.tv_sec);
    const auto bookmark = kzplatform::kzDecodeBookmarkData(ref->bookmarkData());
    ASSERT_TRUE(bookmark);
    EXPECT_EQ(bookmark->path, QFile::encodeName(dir));
    EXPECT_EQ(bookmark->inode, st.st_ino);

    auto fromURL = KZBookmarkFileURL::create(QUrl::fromLocalFile(dir), QString(), &status);
    ASSERT_TRUE(fromURL);
    EXPECT_EQ(fromURL->path(), dir);
    EXPECT_TRUE(fromURL->isEqual(ref.get()));
    EXPECT_EQ(fromURL->hash(), ref->hash());
    EXPECT_TRUE(fromURL->description().startsWith(QStringLiteral("<KZBookmarkFileURL 0x")));
    EXPECT_TRUE(fromURL->description().endsWith(QStringLiteral(" URL:") + QUrl::fromLocalFile(dir).toString()
                                                + QStringLiteral(" path:") + dir + QStringLiteral(">")));

    kztest::LogCapture log;
    EXPECT_FALSE(KZBookmarkFileURL::create(QUrl(), QString(), &status));
    EXPECT_FALSE(KZBookmarkFileURL::create(QUrl(QStringLiteral("https://example.org/x")), QString()));
    EXPECT_FALSE(KZBookmarkFileURL::create(QUrl(), QStringLiteral("relative/path")));
    EXPECT_EQ(log.count(QStringLiteral("URL==nil || path==nil")), 3);
    EXPECT_EQ(status, 0);

    // A missing folder gives a live reference with status 0 and no bookmark.
    auto missing = KZBookmarkFileURL::create(QUrl(), tree.path(QStringLiteral("nothing")), &status);
    ASSERT_TRUE(missing);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(missing->bookmarkData().isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("bookmarkData==nil fileURL:")));
}

TEST(KZBookmarkFileURL, UpdateStatusFollowsChangesAndRenames)
{
    kztest::TempTree tree;
    const QString dir = tree.mkdir(QStringLiteral("Old Name"));
    auto ref = KZBookmarkFileURL::create(QUrl(), dir);
    ASSERT_TRUE(ref);
    const auto before = ref->statInfo();
    EXPECT_EQ(ref->updateStatus(), 1);

    // A file added changes the modification time: looked up again, still there.
    tree.writeFile(QStringLiteral("Old Name/new file"), "x");
    tree.setMTime(QStringLiteral("Old Name"), before.st_mtimespec.tv_sec + 100);
    EXPECT_EQ(ref->updateStatus(), 1);
    EXPECT_EQ(ref->path(), dir);
    EXPECT_FALSE(ref->statInfo() == before);
    EXPECT_EQ(ref->statInfo().st_mtimespec.tv_sec, before.st_mtimespec.tv_sec + 100);

    // Renamed in place: found in the old parent with its new name.
    EXPECT_EQ(ref->displayName(), QStringLiteral("Old Name"));
    const QString renamed = tree.path(QStringLiteral("New\nName"));
    ASSERT_TRUE(rename(dir, renamed));
    // Another folder takes the old name: it is not the one we refer to.
    tree.mkdir(QStringLiteral("Old Name"));
    EXPECT_EQ(ref->updateStatus(), 1);
    EXPECT_EQ(ref->path(), renamed);
    EXPECT_EQ(ref->URL(), QUrl::fromLocalFile(renamed));
    EXPECT_EQ(ref->displayName(), QStringLiteral("New\nName"));
    // The bookmark now names the folder directly.
    EXPECT_EQ(kzplatform::kzDecodeBookmarkData(ref->bookmarkData())->path, QFile::encodeName(renamed));

    // Deleted: unreachable, the folder is gone (not a missing volume).
    tree.remove(QStringLiteral("New\nName"));
    kztest::LogCapture log;
    EXPECT_EQ(ref->updateStatus(), 0);
    EXPECT_FALSE(ref->isVolumeUnavailable());
    EXPECT_TRUE(log.contains(QStringLiteral("fileURL==nil fileURL:")));
    // ENOENT is an expected answer, not a logged failure.
    EXPECT_FALSE(log.contains(QStringLiteral("lstat!=0")));
    EXPECT_EQ(ref->displayName(), QStringLiteral("New\nName"));
}

TEST(KZBookmarkFileURL, ArchiveRoundTripRebuildsLiveFieldsOnFirstCheck)
{
    kztest::TempTree tree;
    // A blank, a newline and a 255-byte name survive unchanged.
    const QString longName = QString(255, QLatin1Char('n'));
    const QString dir = tree.mkdir(QStringLiteral("with space/line\nbreak/") + longName);
    auto fav = FavoriteDir::create(QUrl(), dir);
    ASSERT_TRUE(fav);
    fav->setUniqueId(42);
    fav->setKind(FavoriteDir::KindScope);
    const QCborMap map = fav->encodeWithCoder();
    EXPECT_EQ(map.keys(), (QList<QCborValue>{QStringLiteral("serializedPath"), QStringLiteral("bookmarkData"),
                                             QStringLiteral("uniqueId"), QStringLiteral("kind")}));

    auto back = reloaded(fav);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->serializedPath(), dir);
    EXPECT_EQ(back->uniqueId(), 42);
    EXPECT_EQ(back->kind(), FavoriteDir::KindScope);
    EXPECT_TRUE(back->URL().isEmpty());
    EXPECT_TRUE(back->path().isEmpty());
    EXPECT_EQ(back->status(), 0);
    // Without a URL a reference equals only itself.
    EXPECT_TRUE(back->isEqual(back.get()));
    EXPECT_FALSE(back->isEqual(fav.get()));
    EXPECT_EQ(back->displayName(), longName);
    // Archived again before any check, it keeps the stored path.
    EXPECT_EQ(back->encodeWithCoder().value(QStringLiteral("serializedPath")).toString(), dir);

    EXPECT_EQ(back->updateStatus(), 1);
    EXPECT_EQ(back->path(), dir);
    EXPECT_TRUE(back->isEqual(fav.get()));
    EXPECT_EQ(back->iconSize(), 40);

    kztest::LogCapture log;
    QCborMap bad = map;
    bad.insert(QStringLiteral("serializedPath"), 12);
    EXPECT_FALSE(FavoriteDir::fromArchive(bad));
    bad = map;
    bad.remove(QStringLiteral("uniqueId"));
    EXPECT_FALSE(FavoriteDir::fromArchive(bad));
    EXPECT_EQ(log.count(QStringLiteral("decode==NO")), 2);
}

TEST(KZBookmarkFileURL, IconComesFromTheInstalledProviderAndIsCached)
{
    kztest::TempTree tree;
    const QString dir = tree.mkdir(QStringLiteral("Icons"));
    auto ref = KZBookmarkFileURL::create(QUrl(), dir);
    auto fav = FavoriteDir::create(QUrl(), dir);
    EXPECT_FALSE(ref->displayIcon().isValid()); // no provider installed

    int calls = 0;
    KZBookmarkFileURL::setIconProvider([&](const QString &path, int size) {
        ++calls;
        return QVariant(QStringLiteral("%1@%2").arg(path).arg(size));
    });
    EXPECT_EQ(ref->displayIcon().toString(), dir + QStringLiteral("@16"));
    EXPECT_EQ(ref->displayIcon().toString(), dir + QStringLiteral("@16"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(fav->displayIcon().toString(), dir + QStringLiteral("@40"));
    // A re-resolution drops the cached icon; an unreachable folder has none.
    tree.setMTime(QStringLiteral("Icons"), 1000);
    EXPECT_EQ(ref->updateStatus(), 1);
    ref->displayIcon();
    EXPECT_EQ(calls, 3);
    tree.remove(QStringLiteral("Icons"));
    EXPECT_EQ(ref->updateStatus(), 0);
    EXPECT_FALSE(ref->displayIcon().isValid());
    KZBookmarkFileURL::setIconProvider({});
}

TEST(KZBookmarkFileURL, UnreachableVolumesNeverMountOrWait)
{
    kztest::TempTree tree;
    const QString nas = tree.mkdir(QStringLiteral("nas"));
    const QString usb = tree.mkdir(QStringLiteral("usb"));
    tree.mkdir(QStringLiteral("nas/Share"));
    tree.mkdir(QStringLiteral("usb/Photos"));
    tree.mkdir(QStringLiteral("trap"));
    const QByteArray nasLine = scopetest::mountLine(2, nas, "nfs4", "srv:/e", "0:70");
    const QByteArray usbLine = scopetest::mountLine(3, usb, "vfat", "/dev/sdb1", "8:17");
    const QByteArray trapLine = scopetest::mountLine(4, tree.path(QStringLiteral("trap")), "autofs", "auto", "0:72");
    FakeMountTable mounts(nasLine + usbLine + trapLine);

    auto onNas = FavoriteDir::create(QUrl(), tree.path(QStringLiteral("nas/Share")));
    auto onUsb = FavoriteDir::create(QUrl(), tree.path(QStringLiteral("usb/Photos")));
    ASSERT_EQ(onNas->status(), 1);
    ASSERT_EQ(onUsb->status(), 1);
    EXPECT_EQ(kzplatform::kzDecodeBookmarkData(onUsb->bookmarkData())->volume, QFile::encodeName(usb));
    const auto archivedNas = reloaded(onNas);

    {
        // The server stops answering: the check gives up instead of hanging.
        SilentServer server;
        kztest::LogCapture log;
        EXPECT_EQ(onNas->updateStatus(), 0);
        EXPECT_TRUE(onNas->isVolumeUnavailable());
        EXPECT_EQ(onNas->displayName(), QStringLiteral("Share"));
        EXPECT_EQ(archivedNas->updateStatus(), 0);
        EXPECT_TRUE(archivedNas->isVolumeUnavailable());
        EXPECT_EQ(archivedNas->displayName(), QStringLiteral("Share"));
        EXPECT_EQ(server.calls(), 1); // one stuck probe, no pile-up
        EXPECT_TRUE(log.contains(QStringLiteral("errno:%1").arg(ETIMEDOUT)));
    }
    ASSERT_TRUE(scopetest::waitForWorkersToDrain(nas));
    EXPECT_EQ(onNas->updateStatus(), 1);
    EXPECT_EQ(archivedNas->updateStatus(), 1);

    // The USB disk is unplugged: its folder is missing because its volume is.
    tree.remove(QStringLiteral("usb/Photos"));
    mounts.set(nasLine + trapLine);
    EXPECT_EQ(onUsb->updateStatus(), 0);
    EXPECT_TRUE(onUsb->isVolumeUnavailable());
    // Plugged in again without the folder: now it is really gone.
    mounts.set(nasLine + usbLine + trapLine);
    EXPECT_EQ(onUsb->updateStatus(), 0);
    EXPECT_FALSE(onUsb->isVolumeUnavailable());

    // Under an automount point nothing is touched at all.
    SilentServer server;
    QCborMap trapMap;
    trapMap.insert(QStringLiteral("serializedPath"), tree.path(QStringLiteral("trap/Backups")));
    trapMap.insert(QStringLiteral("bookmarkData"), QByteArray());
    trapMap.insert(QStringLiteral("uniqueId"), 1);
    trapMap.insert(QStringLiteral("kind"), 3);
    auto underTrap = FavoriteDir::fromArchive(trapMap);
    ASSERT_TRUE(underTrap);
    EXPECT_EQ(underTrap->updateStatus(), 0);
    EXPECT_TRUE(underTrap->isVolumeUnavailable());
    EXPECT_EQ(server.calls(), 0);
}

TEST(KZBookmarkFileURL, OtherStatFailuresAreLogged)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("plain"));
    kztest::LogCapture log;
    int status = -1;
    auto ref = KZBookmarkFileURL::create(QUrl(), tree.path(QStringLiteral("plain/below")), &status);
    ASSERT_TRUE(ref);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(log.contains(QStringLiteral("lstat!=0 cFilePath:%1 errno:%2 (")
                                 .arg(tree.path(QStringLiteral("plain/below")))
                                 .arg(ENOTDIR)));
}

TEST(KZBookmarkFileURL, UnreadableBookmarkFallsBackToThePathAndIsMadeAnew)
{
    kztest::TempTree tree;
    const QString dir = tree.mkdir(QStringLiteral("Folder"));
    QCborMap map;
    map.insert(QStringLiteral("serializedPath"), dir);
    map.insert(QStringLiteral("bookmarkData"), QByteArray("not a bookmark"));
    map.insert(QStringLiteral("uniqueId"), 5);
    map.insert(QStringLiteral("kind"), 0);
    auto fav = FavoriteDir::fromArchive(map);
    ASSERT_TRUE(fav);
    kztest::LogCapture log;
    EXPECT_EQ(fav->updateStatus(), 1);
    EXPECT_EQ(fav->path(), dir);
    EXPECT_TRUE(log.contains(QStringLiteral("error:not a bookmark")));
    const auto renewed = kzplatform::kzDecodeBookmarkData(fav->bookmarkData());
    ASSERT_TRUE(renewed);
    EXPECT_EQ(renewed->path, QFile::encodeName(dir));
    EXPECT_EQ(renewed->inode, fav->statInfo().st_ino);
}
