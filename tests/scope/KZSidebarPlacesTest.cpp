#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

#include "platform/KZSidebarPlaces.h"
#include "tests/testlib/TestEnvironment.h"

using namespace kzplatform;

namespace {

void writeText(const QString &path, const QByteArray &text)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

} // namespace

TEST(KZSidebarPlaces, XdgUserFoldersFromUserDirsWithDefaults)
{
    kztest::TempTree tree;
    const QString file = tree.path(QStringLiteral("user-dirs.dirs"));
    writeText(file, "# written by xdg-user-dirs-update\n"
                    "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n"
                    "XDG_DOCUMENTS_DIR=\"/data/My \\\"Docs\\\"\"\n"
                    "XDG_MUSIC_DIR=\"$HOME\"\n"
                    "XDG_VIDEOS_DIR=\"$HOME/./Vidéos//\"\n"
                    "XDG_PICTURES_DIR=unquoted\n");
    const QList<QByteArray> paths = kzXdgUserFolderPaths(file, "/home/u");
    const QList<QByteArray> expected = {"/home/u/Bureau",   "/data/My \"Docs\"",  "/home/u/Downloads",
                                        "/home/u",          "/home/u/Pictures",   "/home/u/Vidéos"};
    EXPECT_EQ(paths, expected);
    // Without the file, the usual English names under home.
    EXPECT_EQ(kzXdgUserFolderPaths(tree.path(QStringLiteral("missing")), "/h").first(), QByteArray("/h/Desktop"));
}

TEST(KZSidebarPlaces, GtkBookmarksKeepLocalFilesDecodedToBytes)
{
    kztest::TempTree tree;
    const QString file = tree.path(QStringLiteral("bookmarks"));
    writeText(file, "file:///home/u/My%20Folder My label\n"
                    "sftp://host/srv/x\n"
                    "file://otherhost/etc\n"
                    "file://localhost/srv/data\n"
                    "file:///tmp/raw%FF%FEname\n"
                    "file:///tmp/line%0Abreak\n"
                    "file:///tmp/nul%00byte\n"
                    "\n"
                    "smb://server/share Share\n");
    const QList<QByteArray> expected = {"/home/u/My Folder", "/srv/data", QByteArray("/tmp/raw\xff\xfename"),
                                        "/tmp/line\nbreak"};
    EXPECT_EQ(kzGtkBookmarkPaths(file), expected);
    EXPECT_TRUE(kzGtkBookmarkPaths(tree.path(QStringLiteral("missing"))).isEmpty());
}

TEST(KZSidebarPlaces, KdePlacesSkipHiddenAndNonFileEntries)
{
    kztest::TempTree tree;
    const QString file = tree.path(QStringLiteral("user-places.xbel"));
    writeText(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE xbel>
<xbel xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks">
 <bookmark href="file:///home/u">
  <title>Home</title>
  <info><metadata owner="http://freedesktop.org"><bookmark:icon name="user-home"/></metadata>
   <metadata owner="http://www.kde.org"><ID>1</ID><isSystemItem>true</isSystemItem></metadata></info>
 </bookmark>
 <bookmark href="remote:/"><title>Network</title></bookmark>
 <bookmark href="file:///srv/hidden%20one">
  <info><metadata owner="http://www.kde.org"><IsHidden>true</IsHidden></metadata></info>
 </bookmark>
 <bookmark href="file:///srv/Projets%20%C3%A9t%C3%A9">
  <title>Projets</title>
  <info><metadata owner="http://www.kde.org"><IsHidden>false</IsHidden></metadata></info>
 </bookmark>
 <bookmark href="trash:/"><title>Trash</title></bookmark>
</xbel>
)");
    const QList<QByteArray> expected = {"/home/u", "/srv/Projets été"};
    EXPECT_EQ(kzKdePlacesPaths(file), expected);
    writeText(file, "<xbel><bookmark href=\"file:///a\"><title>broken");
    EXPECT_TRUE(kzKdePlacesPaths(file).size() <= 1);
}

TEST(KZSidebarPlaces, FavoritesInOrderExistingFoldersWithoutDuplicates)
{
    kztest::resetTestEnvironment();
    const QString home = QDir::homePath();
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    kztest::TempTree tree;
    QDir().mkpath(home + QStringLiteral("/Documents"));
    QDir().mkpath(home + QStringLiteral("/Music"));
    tree.mkdir(QStringLiteral("Work Stuff"));
    tree.mkdir(QStringLiteral("kde"));
    tree.writeFile(QStringLiteral("a-file"));
    tree.symlink(tree.path(QStringLiteral("kde")), QStringLiteral("link-to-kde"));
    writeText(config + QStringLiteral("/gtk-3.0/bookmarks"),
              QUrl::fromLocalFile(tree.path(QStringLiteral("Work Stuff"))).toEncoded() + " Work\n"
                  + QUrl::fromLocalFile(home + QStringLiteral("/Documents")).toEncoded() + "\n"
                  + QUrl::fromLocalFile(tree.path(QStringLiteral("gone"))).toEncoded() + "\n"
                  + QUrl::fromLocalFile(tree.path(QStringLiteral("a-file"))).toEncoded() + "\n");
    writeText(data + QStringLiteral("/user-places.xbel"),
              "<xbel><bookmark href=\"" + QUrl::fromLocalFile(tree.path(QStringLiteral("link-to-kde"))).toEncoded()
                  + "\"><title>K</title></bookmark></xbel>");
    const QList<QByteArray> expected = {QFile::encodeName(home + QStringLiteral("/Documents")),
                                        QFile::encodeName(home + QStringLiteral("/Music")),
                                        QFile::encodeName(tree.path(QStringLiteral("Work Stuff"))),
                                        QFile::encodeName(tree.path(QStringLiteral("link-to-kde")))};
    EXPECT_EQ(kzSidebarFavoritePaths(), expected);
}
