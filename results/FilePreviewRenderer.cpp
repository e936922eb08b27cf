#include "results/FilePreviewRenderer.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QPdfDocument>
#include <QStringDecoder>
#include <QThreadPool>
#include <QTransform>

namespace {

const QMimeDatabase &mimeDatabase()
{
    static const QMimeDatabase db;
    return db;
}

// The orientation of an EXIF block (a TIFF header and its first folder of
// tags), as the transformation that shows the image upright.
QImageIOHandler::Transformations exifTransformation(QByteArrayView tiff)
{
    if (tiff.size() < 8)
        return QImageIOHandler::TransformationNone;
    const bool little = tiff.startsWith("II");
    if (!little && !tiff.startsWith("MM"))
        return QImageIOHandler::TransformationNone;
    auto read = [&](qsizetype at, int bytes) -> quint32 {
        quint32 v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= quint32(uchar(tiff[at + i])) << (8 * (little ? i : bytes - 1 - i));
        return v;
    };
    const quint32 folder = read(4, 4);
    if (folder > quint32(tiff.size()) - 2)
        return QImageIOHandler::TransformationNone;
    const quint32 count = read(folder, 2);
    for (quint32 i = 0; i < count; ++i) {
        const qsizetype entry = qsizetype(folder) + 2 + qsizetype(i) * 12;
        if (entry + 12 > tiff.size())
            break;
        // Orientation: one SHORT.
        if (read(entry, 2) != 0x0112 || read(entry + 2, 2) != 3)
            continue;
        static const QImageIOHandler::Transformations byOrientation[] = {
            QImageIOHandler::TransformationNone,     QImageIOHandler::TransformationMirror,
            QImageIOHandler::TransformationRotate180, QImageIOHandler::TransformationFlip,
            QImageIOHandler::TransformationFlipAndRotate90, QImageIOHandler::TransformationRotate90,
            QImageIOHandler::TransformationMirrorAndRotate90, QImageIOHandler::TransformationRotate270,
        };
        const quint32 orientation = read(entry + 8, 2);
        return orientation >= 1 && orientation <= 8 ? byOrientation[orientation - 1]
                                                    : QImageIOHandler::TransformationNone;
    }
    return QImageIOHandler::TransformationNone;
}

// The orientation in a PNG's eXIf chunk, which comes before the image data;
// Qt's PNG reader does not look at it.
QImageIOHandler::Transformations pngExifTransformation(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(8) != QByteArray("\x89PNG\r\n\x1a\n"))
        return QImageIOHandler::TransformationNone;
    for (int chunks = 0; chunks < 64; ++chunks) {
        const QByteArray header = file.read(8);
        if (header.size() != 8)
            break;
        const quint32 length = quint32(uchar(header[0])) << 24 | quint32(uchar(header[1])) << 16 |
                               quint32(uchar(header[2])) << 8 | quint32(uchar(header[3]));
        const QByteArrayView type = QByteArrayView(header).sliced(4);
        if (type == "IDAT" || type == "IEND")
            break;
        if (type == "eXIf")
            return length <= 1 << 20 ? exifTransformation(file.read(length)) : QImageIOHandler::TransformationNone;
        if (!file.seek(file.pos() + qint64(length) + 4))
            break;
    }
    return QImageIOHandler::TransformationNone;
}

// Applies an orientation as Qt's readers do: the mirrors first, then a quarter turn clockwise.
QImage transformed(const QImage &image, QImageIOHandler::Transformations t)
{
    QImage out = image;
    if (t & (QImageIOHandler::TransformationMirror | QImageIOHandler::TransformationFlip))
        out = out.mirrored(t & QImageIOHandler::TransformationMirror, t & QImageIOHandler::TransformationFlip);
    if (t & QImageIOHandler::TransformationRotate90)
        out = out.transformed(QTransform().rotate(90));
    return out;
}

bool readImage(const QString &path, const QSize &size, FilePreview *preview)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return false;
    reader.setAutoTransform(true);
    QImageIOHandler::Transformations own = QImageIOHandler::TransformationNone;
    if (reader.format() == "png" && reader.transformation() == QImageIOHandler::TransformationNone) {
        own = pngExifTransformation(path);
        if (own != QImageIOHandler::TransformationNone)
            reader.setAutoTransform(false);
    }
    const QSize stored = reader.size();
    // A quarter turn swaps the sides: the box is turned before fitting into it.
    const bool turned = (reader.transformation() | own) & QImageIOHandler::TransformationRotate90;
    const QSize box = turned ? size.transposed() : size;
    // The PNG reader scales an image with a colour table into black and
    // white: such an image is read whole and scaled afterwards.
    const QImage::Format format = reader.imageFormat();
    const bool colourTable =
        format == QImage::Format_Mono || format == QImage::Format_MonoLSB || format == QImage::Format_Indexed8;
    // Scaled while decoding: a JPEG reader then decodes only the pixels it needs.
    if (!colourTable && stored.isValid() && (stored.width() > box.width() || stored.height() > box.height()))
        reader.setScaledSize(stored.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull()) {
        preview->error = reader.errorString();
        return false;
    }
    if (own != QImageIOHandler::TransformationNone)
        image = transformed(image, own);
    if (image.colorCount() > 0 || image.depth() < 8)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
    if (image.width() > size.width() || image.height() > size.height())
        image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    preview->kind = FilePreview::KindImage;
    preview->image = image;
    preview->sourceSize = stored.isValid() ? (turned ? stored.transposed() : stored) : image.size();
    return true;
}

bool readPdf(const QString &path, const QSize &size, FilePreview *preview)
{
    QPdfDocument document;
    const QPdfDocument::Error error = document.load(path);
    if (error != QPdfDocument::Error::None || document.pageCount() < 1) {
        preview->error = QStringLiteral("The PDF document cannot be read.");
        return false;
    }
    const QSizeF points = document.pagePointSize(0);
    if (points.isEmpty())
        return false;
    const QSize pixels = points.scaled(QSizeF(size), Qt::KeepAspectRatio).toSize().expandedTo(QSize(1, 1));
    const QImage page = document.render(0, pixels);
    if (page.isNull())
        return false;
    // Pages render on a transparent background.
    QImage onWhite(pixels, QImage::Format_RGB32);
    onWhite.fill(Qt::white);
    QPainter painter(&onWhite);
    painter.drawImage(0, 0, page);
    painter.end();
    preview->kind = FilePreview::KindPdf;
    preview->image = onWhite;
    preview->sourceSize = points.toSize();
    return true;
}

bool readText(const QString &path, FilePreview *preview)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        preview->error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.read(FilePreviewRenderer::kTextPreviewBytes);
    if (bytes.isNull() && file.error() != QFileDevice::NoError) {
        preview->error = file.errorString();
        return false;
    }
    preview->truncated = file.size() > bytes.size() || !file.atEnd();
    preview->text = FilePreviewRenderer::decodeText(bytes, preview->truncated, &preview->encoding);
    preview->kind = FilePreview::KindText;
    return true;
}

} // namespace

QString FilePreviewRenderer::decodeText(const QByteArray &bytes, bool truncated, QString *encoding)
{
    auto decode = [&](QStringConverter::Encoding e, const char *name, bool *ok) {
        QStringDecoder decoder(e, QStringConverter::Flag::Stateless);
        const QString text = decoder.decode(bytes);
        if (ok)
            *ok = !decoder.hasError();
        if (encoding)
            *encoding = QString::fromLatin1(name);
        return text;
    };
    // Byte-order marks first; the decoders drop the mark.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decode(QStringConverter::Utf8, "UTF-8", nullptr);
    if (bytes.startsWith("\xFF\xFE"))
        return decode(QStringConverter::Utf16LE, "UTF-16LE", nullptr);
    if (bytes.startsWith("\xFE\xFF"))
        return decode(QStringConverter::Utf16BE, "UTF-16BE", nullptr);
    // A read that stopped early may cut the last character: up to three bytes
    // of an unfinished sequence at the end do not make the text Latin-1.
    qsizetype end = bytes.size();
    if (truncated) {
        for (qsizetype back = 1; back <= 3 && back <= bytes.size(); ++back) {
            const uchar c = uchar(bytes.at(bytes.size() - back));
            if ((c & 0xC0) != 0x80) {
                const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                if (length > back)
                    end = bytes.size() - back;
                break;
            }
        }
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(bytes).first(end));
    if (!utf8.hasError()) {
        if (encoding)
            *encoding = QStringLiteral("UTF-8");
        return text;
    }
    if (encoding)
        *encoding = QStringLiteral("ISO-8859-1");
    return QString::fromLatin1(bytes);
}

FilePreview FilePreviewRenderer::render(const QString &path, const QSize &size)
{
    FilePreview preview;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return preview;
    preview.path = path;
    preview.name = info.fileName().isEmpty() ? path : info.fileName();
    preview.isDirectory = info.isDir();
    // A FIFO or a device is never opened: reading it could wait forever.
    const bool regular = info.isFile();
    const QMimeType type = preview.isDirectory ? mimeDatabase().mimeTypeForName(QStringLiteral("inode/directory"))
        : regular ? mimeDatabase().mimeTypeForFile(info)
                  : mimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    preview.kindDescription = type.comment();
    preview.iconName = type.iconName();
    preview.size = preview.isDirectory ? -1 : info.size();
    const QSize box = size.expandedTo(QSize(1, 1));
    if (regular) {
        if (type.inherits(QStringLiteral("application/pdf")) && readPdf(path, box, &preview))
            return preview;
        // Text is not offered to the image readers: one starting with "P1"
        // would pass for a bitmap.
        const bool text =
            type.inherits(QStringLiteral("text/plain")) && !type.name().startsWith(QLatin1String("image/"));
        if (!text && readImage(path, box, &preview))
            return preview;
        if (text && readText(path, &preview))
            return preview;
    }
    preview.kind = FilePreview::KindIcon;
    return preview;
}

QThreadPool *FilePreviewRenderer::queue()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(2);
        p->setExpiryTimeout(30000);
        return p;
    }();
    return pool;
}
