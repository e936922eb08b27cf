#include <QFile>

#include <gtest/gtest.h>

#include "platform/KZFolderBookmark.h"
#include "scope/FavoriteDir.h"
#include "scope/KZBookmarkFileURL.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

QByteArray bookmarkedPath(const KZBookmarkFileURL &ref)
{
    const auto bookmark = kzplatform::kzDecodeBookmarkData(ref.bookmarkData());
    return bookmark ? bookmark->path : QByteArray("none");
}

} // namespace

TEST(KZBookmarkFileURL, UpdateStatusFollowsChangesAndRenamesAndRemakesTheIcon)
{
    kztest::TempTree tree;
    const QString dir = tree.mkdir(QStringLiteral("Old Name"));
    auto ref = KZBookmarkFileURL::create(QUrl(), dir);
    auto fav = FavoriteDir::create(QUrl(), dir);
    ASSERT_TRUE(ref && fav);
    EXPECT_FALSE(ref->displayIcon().isValid()); // no provider installed
    int calls = 0;
    KZBookmarkFileURL::setIconProvider([&](const QString &path, int size) {
        ++calls;
        return QVariant(QStringLiteral("%1@%2").arg(path).arg(size));
    });
    EXPECT_EQ(ref->displayIcon().toString(), dir + QStringLiteral("@16"));
    EXPECT_EQ(fav->displayIcon().toString(), dir + QStringLiteral("@40"));
    EXPECT_EQ(ref->updateStatus(), 1);
    ref->displayIcon(); // unchanged: the icon stays cached
    EXPECT_EQ(calls, 2);

    // A file added changes the modification time: looked up again, still there.
    tree.writeFile(QStringLiteral("Old Name/new file"), "x");
    tree.setMTime(QStringLiteral("Old Name"), 1000);
    EXPECT_EQ(ref->updateStatus(), 1);
    EXPECT_EQ(ref->statInfo().st_mtimespec.tv_sec, 1000);

    // Renamed in place, and another folder takes the old name: the reference
    // follows its own folder, and the bookmark and icon are made anew.
    EXPECT_EQ(ref->displayName(), QStringLiteral("Old Name"));
    const QString renamed = tree.path(QStringLiteral("New\nName"));
    ASSERT_EQ(::rename(QFile::encodeName(dir).constData(), QFile::encodeName(renamed).constData()), 0);
    tree.mkdir(QStringLiteral("Old Name"));
    EXPECT_EQ(ref->updateStatus(), 1);
    EXPECT_EQ(ref->URL(), QUrl::fromLocalFile(renamed));
    EXPECT_EQ(ref->displayName(), QStringLiteral("New\nName"));
    EXPECT_EQ(ref->displayIcon().toString(), renamed + QStringLiteral("@16"));
    EXPECT_EQ(bookmarkedPath(*ref), QFile::encodeName(renamed));

    // Deleted: unreachable, the folder is gone (not a missing volume).
    tree.remove(QStringLiteral("New\nName"));
    EXPECT_EQ(ref->updateStatus(), 0);
    EXPECT_FALSE(ref->isVolumeUnavailable());
    EXPECT_FALSE(ref->displayIcon().isValid());
    EXPECT_EQ(ref->displayName(), QStringLiteral("New\nName"));
    KZBookmarkFileURL::setIconProvider({});
}

TEST(KZBookmarkFileURL, CreatedFromAPathOrAFileURLAndArchived)
{
    kztest::TempTree tree;
    // A blank, a newline and a 255-byte name survive unchanged.
    const QString longName = QString(255, QLatin1Char('n'));
    const QString dir = tree.mkdir(QStringLiteral("with space/line\nbreak/") + longName);
    int status = -1;
    auto fav = FavoriteDir::create(QUrl(), dir + QStringLiteral("/./"), &status);
    ASSERT_TRUE(fav);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(fav->path(), dir);
    EXPECT_EQ(bookmarkedPath(*fav), QFile::encodeName(dir));
    EXPECT_TRUE(KZBookmarkFileURL::create(QUrl::fromLocalFile(dir), QString())->isEqual(fav.get()));
    for (const auto &[url, path] : {std::pair{QUrl(), QString()}, {QUrl(QStringLiteral("https://example.org/x")), QString()},
                                    {QUrl(), QStringLiteral("relative/path")}})
        EXPECT_FALSE(KZBookmarkFileURL::create(url, path, &status)) << path.toStdString();
    // A missing folder gives a live reference with status 0 and no bookmark.
    tree.writeFile(QStringLiteral("plain"));
    for (const QString &rel : {QStringLiteral("nothing"), QStringLiteral("plain/below")}) {
        auto missing = KZBookmarkFileURL::create(QUrl(), tree.path(rel), &status);
        ASSERT_TRUE(missing);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(missing->bookmarkData().isEmpty());
    }

    fav->setUniqueId(42);
    fav->setKind(FavoriteDir::KindScope);
    // Read back from its bytes, as after a relaunch.
    auto back = FavoriteDir::fromArchive(QCborValue::fromCbor(QCborValue(fav->encodeWithCoder()).toCbor()).toMap());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->serializedPath(), dir);
    EXPECT_EQ(back->uniqueId(), 42);
    EXPECT_EQ(back->kind(), FavoriteDir::KindScope);
    EXPECT_EQ(back->displayName(), longName);
    // Archived again before any check, it keeps the stored path.
    EXPECT_EQ(back->encodeWithCoder().value(QStringLiteral("serializedPath")).toString(), dir);
    EXPECT_EQ(back->updateStatus(), 1);
    EXPECT_EQ(back->path(), dir);
    EXPECT_TRUE(back->isEqual(fav.get()));

    QCborMap wrongType = fav->encodeWithCoder(), noId = wrongType;
    wrongType.insert(QStringLiteral("serializedPath"), 12);
    noId.remove(QStringLiteral("uniqueId"));
    EXPECT_FALSE(FavoriteDir::fromArchive(wrongType));
    EXPECT_FALSE(FavoriteDir::fromArchive(noId));

    // A bookmark that cannot be read: the stored path is used and a new bookmark made.
    QCborMap withBadBookmark = fav->encodeWithCoder();
    withBadBookmark.insert(QStringLiteral("bookmarkData"), QByteArray("not a bookmark"));
    auto unreadable = FavoriteDir::fromArchive(withBadBookmark);
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->updateStatus(), 1);
    EXPECT_EQ(bookmarkedPath(*unreadable), QFile::encodeName(dir));
}
