// The freedesktop thumbnail cache as Trovix reads it: where a file's cached
// thumbnails live ($XDG_CACHE_HOME/thumbnails/<size>/<md5 of the file URI>.png)
// and whether one is still valid for the file. Read-only; any thread.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace kzplatform {

// "file://" + the path with every byte outside A-Z a-z 0-9 and !$&'()*+,-./:=@_~
// percent-escaped in upper-case hex: the form thumbnailers key files by (the
// one GLib's g_filename_to_uri gives). absolutePath is in file-system bytes.
QByteArray kzThumbnailFileURI(const QByteArray &absolutePath);

// $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails when the variable is unset
// or relative.
QString kzThumbnailCacheDir();

// The cache files that may hold a thumbnail of absolutePath, in the order worth
// trying for an image pixelSize pixels wide: the smallest size folder at least
// that large first ("normal" 128, "large" 256, "x-large" 512, "xx-large" 1024),
// then the larger folders, then the smaller ones.
QStringList kzThumbnailCandidatePaths(const QByteArray &absolutePath, int pixelSize);

// The text entries of a PNG file (tEXt, zTXt and iTXt chunks), keyword ->
// text; iTXt text is UTF-8. Only chunk headers and text chunks are read; image data is
// skipped. False when the file cannot be read or is not a PNG.
bool kzReadPNGTextChunks(const QString &pngPath, QHash<QByteArray, QByteArray> *out);

// The first candidate of kzThumbnailCandidatePaths that is valid for the file:
// its "Thumb::MTime" equals the file's modification time in whole seconds
// (following a final symbolic link, as thumbnailers do) and its "Thumb::URI",
// when present, is the file's URI. Empty when there is none or the file cannot
// be examined.
QString kzFindValidThumbnail(const QByteArray &absolutePath, int pixelSize);

} // namespace kzplatform
