// The preview of one file at a given size: an image (EXIF orientation
// applied), the start of a text file, the first page of a PDF on white, or the
// facts shown beside a large icon for anything else. Plain values: made on a
// worker, shown by whichever view asked (the preview window, the details pane).
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

class QThreadPool;

struct FilePreview {
    enum Kind { KindNone = 0, KindImage, KindText, KindPdf, KindIcon };
    Kind kind = KindNone;
    QString path;
    // KindImage and KindPdf: fits the asked size, never enlarged (a PDF page is
    // rendered to fill it).
    QImage image;
    // KindImage: the image's pixels as shown (after its orientation);
    // KindPdf: the first page in points.
    QSize sourceSize;
    // KindText: the decoded start of the file; truncated when the file is longer.
    QString text;
    QString encoding;
    bool truncated = false;
    // Every kind: the file name, its type's description, the theme icon name
    // of its type (shown with KindIcon) and its size in bytes (-1 for a folder).
    QString name;
    QString kindDescription;
    QString iconName;
    qint64 size = -1;
    bool isDirectory = false;
    // Why the file could not be read as its kind suggests (KindIcon then).
    QString error;
};

namespace FilePreviewRenderer {

// Bytes of a text file read for its preview.
constexpr qint64 kTextPreviewBytes = 256 * 1024;

// The preview of path fitting size (device pixels). Any thread; reads the
// file, so never on the GUI thread. A missing path gives KindNone.
FilePreview render(const QString &path, const QSize &size);

// Text from the start of a file: a UTF-8 or UTF-16 byte-order mark decides,
// else UTF-8 when the bytes are valid UTF-8, else Latin-1. truncated: the
// bytes end early, so a sequence cut at the end is not a reason to reject UTF-8.
QString decodeText(const QByteArray &bytes, bool truncated, QString *encoding);

// The process-wide queue of previews: two threads.
QThreadPool *queue();

} // namespace FilePreviewRenderer
