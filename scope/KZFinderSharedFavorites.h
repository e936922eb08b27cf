// The file manager's sidebar favourites as file URLs: the XDG user folders,
// the GTK bookmarks and the KDE places that name existing folders, found
// without mounting or waiting on any volume.
#pragma once

#include <QList>
#include <QUrl>

class KZFinderSharedFavorites
{
public:
    // Folders whose names cannot be represented without loss (not valid
    // UTF-8) are left out, each logged.
    static QList<QUrl> favoriteURLs();
};
