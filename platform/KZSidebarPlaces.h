// The folders of the file manager's sidebar, read from the desktop's own lists:
// the XDG user folders, then the GTK bookmarks, then the KDE places. Paths are
// raw bytes (a bookmark may name a folder whose name is not UTF-8).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace kzplatform {

// Desktop, Documents, Downloads, Music, Pictures, Videos from user-dirs.dirs
// ("$HOME/..." or absolute values); a folder the file does not name takes its
// usual default under home. Existence is not checked here.
QList<QByteArray> kzXdgUserFolderPaths(const QString &userDirsFile, const QByteArray &home);
// file:// entries of a GTK bookmarks file, percent-decoded. Other schemes and
// remote hosts are left out.
QList<QByteArray> kzGtkBookmarkPaths(const QString &bookmarksFile);
// file:// bookmarks of a KDE places file (user-places.xbel) that are not hidden.
QList<QByteArray> kzKdePlacesPaths(const QString &xbelFile);
// Decodes a file:// URI to the raw path bytes; empty for another scheme, a
// remote host or a relative path.
QByteArray kzLocalPathOfFileUri(const QByteArray &uri);

// All three lists, in that order, without duplicates, keeping only existing
// folders (checked with the guarded calls: never mounts, never hangs), read
// from $XDG_CONFIG_HOME and $XDG_DATA_HOME of the environment.
QList<QByteArray> kzSidebarFavoritePaths();

// True when path names an existing folder (following links), found without
// touching an unmounted automount point or waiting on a silent server.
bool kzIsExistingFolderGuarded(const QByteArray &absolutePath);

} // namespace kzplatform
