#include <QFile>

#include <gtest/gtest.h>

#include "platform/KZSidebarPlaces.h"
#include "tests/testlib/TestEnvironment.h"

using namespace kzplatform;

TEST(KZSidebarPlaces, XdgUserFoldersGtkBookmarksAndKdePlaces)
{
    kztest::TempTree tree;
    const QString userDirs = tree.writeFile(QStringLiteral("user-dirs.dirs"),
                                            "# written by xdg-user-dirs-update\n"
                                            "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n"
                                            "XDG_DOCUMENTS_DIR=\"/data/My \\\"Docs\\\"\"\n"
                                            "XDG_MUSIC_DIR=\"$HOME\"\n"
                                            "XDG_VIDEOS_DIR=\"$HOME/./Vidéos//\"\n"
                                            "XDG_PICTURES_DIR=unquoted\n");
    EXPECT_EQ(kzXdgUserFolderPaths(userDirs, "/home/u"),
              (QList<QByteArray>{"/home/u/Bureau", "/data/My \"Docs\"", "/home/u/Downloads", "/home/u",
                                 "/home/u/Pictures", "/home/u/Vidéos"}));
    // Without the file, the usual English names under home.
    EXPECT_EQ(kzXdgUserFolderPaths(tree.path(QStringLiteral("missing")), "/h").first(), QByteArray("/h/Desktop"));

    // Local files only, decoded to bytes.
    const QString gtk = tree.writeFile(QStringLiteral("bookmarks"), "file:///home/u/My%20Folder My label\n"
                                                                    "sftp://host/srv/x\n"
                                                                    "file://otherhost/etc\n"
                                                                    "file://localhost/srv/data\n"
                                                                    "file:///tmp/raw%FF%FEname\n"
                                                                    "file:///tmp/line%0Abreak\n"
                                                                    "file:///tmp/nul%00byte\n"
                                                                    "\n"
                                                                    "smb://server/share Share\n");
    EXPECT_EQ(kzGtkBookmarkPaths(gtk), (QList<QByteArray>{"/home/u/My Folder", "/srv/data",
                                                          QByteArray("/tmp/raw\xff\xfename"), "/tmp/line\nbreak"}));

    // Hidden and non-file entries are left out, nested metadata does not end a bookmark.
    const QString kde = tree.writeFile(QStringLiteral("user-places.xbel"), R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks">
 <bookmark href="file:///home/u"><title>Home</title>
  <info><metadata owner="http://freedesktop.org"><bookmark:icon name="user-home"/></metadata>
   <metadata owner="http://www.kde.org"><ID>1</ID><isSystemItem>true</isSystemItem></metadata></info>
 </bookmark>
 <bookmark href="remote:/"><title>Network</title></bookmark>
 <bookmark href="file:///srv/hidden%20one">
  <info><metadata owner="http://www.kde.org"><IsHidden>true</IsHidden></metadata></info></bookmark>
 <bookmark href="file:///srv/Projets%20%C3%A9t%C3%A9">
  <info><metadata owner="http://www.kde.org"><IsHidden>false</IsHidden></metadata></info></bookmark>
 <bookmark href="trash:/"><title>Trash</title></bookmark>
</xbel>
)");
    EXPECT_EQ(kzKdePlacesPaths(kde), (QList<QByteArray>{"/home/u", "/srv/Projets été"}));
    tree.writeFile(QStringLiteral("user-places.xbel"), "<xbel><bookmark href=\"file:///a\"><title>broken");
    EXPECT_TRUE(kzKdePlacesPaths(kde).size() <= 1);
    for (const QString &missing : {tree.path(QStringLiteral("none")), tree.root()})
        EXPECT_TRUE(kzGtkBookmarkPaths(missing).isEmpty() && kzKdePlacesPaths(missing).isEmpty());
}
