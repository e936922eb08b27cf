// The freedesktop thumbnail cache lookup: file URIs, cache file names, PNG
// text chunks and the validity of an entry for its file.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <gtest/gtest.h>

#include "platform/KZThumbnailCache.h"
#include "tests/testlib/TestEnvironment.h"

using namespace kzplatform;

namespace {

QString cacheDir()
{
    return qEnvironmentVariable("XDG_CACHE_HOME") + QStringLiteral("/thumbnails");
}

// A PNG as a thumbnailer writes it. With compressed, the texts go through the
// writer, which stores long values as zTXt or iTXt (and cannot take keys with
// a colon); otherwise they are plain tEXt chunks.
void writePNG(const QString &path, const QMap<QString, QString> &texts, bool compressed = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(QSize(128, 96), QImage::Format_ARGB32);
    image.fill(Qt::green);
    QImageWriter writer(path, "png");
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        if (compressed)
            writer.setText(it.key(), it.value());
        else
            image.setText(it.key(), it.value());
    }
    ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
}

QString entryPath(const QString &folder, const QByteArray &filePath)
{
    return cacheDir() + QLatin1Char('/') + folder + QLatin1Char('/')
        + QString::fromLatin1(QCryptographicHash::hash(kzThumbnailFileURI(filePath), QCryptographicHash::Md5).toHex())
        + QStringLiteral(".png");
}

} // namespace

TEST(KZThumbnailCache, FileURIEscapesAsThumbnailersDo)
{
    // Expected values as GLib's g_filename_to_uri produces them.
    EXPECT_EQ(kzThumbnailFileURI("/tmp/a b;c#\xc3\xa9[x]~!$&'()*+,=:@.txt"),
              QByteArray("file:///tmp/a%20b%3Bc%23%C3%A9%5Bx%5D~!$&'()*+,=:@.txt"));
    EXPECT_EQ(kzThumbnailFileURI("/home/me/100%?\"<>\\^`{|}.png"),
              QByteArray("file:///home/me/100%25%3F%22%3C%3E%5C%5E%60%7B%7C%7D.png"));
    EXPECT_EQ(kzThumbnailFileURI("/data/bad\xff\x01name-_.~"), QByteArray("file:///data/bad%FF%01name-_.~"));
    // A well-known entry: the md5 of file:///home/jens/photos/me.png from the
    // freedesktop thumbnail documentation.
    EXPECT_EQ(QCryptographicHash::hash(kzThumbnailFileURI("/home/jens/photos/me.png"), QCryptographicHash::Md5).toHex(),
              QByteArray("c6ee772d9e49320e97ec29a7eb5b1697"));
}

TEST(KZThumbnailCache, CandidatesStartAtTheSmallestFolderLargeEnough)
{
    const QString name = QFileInfo(entryPath(QStringLiteral("normal"), "/x/y.png")).fileName();
    const std::pair<int, const char *> orders[] = {{16, "normal large x-large xx-large"},
                                                   {128, "normal large x-large xx-large"},
                                                   {129, "large x-large xx-large normal"},
                                                   {5000, "xx-large x-large large normal"}};
    for (const auto &[size, order] : orders) {
        QStringList expected;
        for (const QString &folder : QString::fromLatin1(order).split(QLatin1Char(' ')))
            expected.append(cacheDir() + QLatin1Char('/') + folder + QLatin1Char('/') + name);
        EXPECT_EQ(kzThumbnailCandidatePaths("/x/y.png", size), expected) << size;
    }
}

TEST(KZThumbnailCache, TextChunksOfEveryKind)
{
    kztest::TempTree tree;
    const QString png = tree.path(QStringLiteral("texts.png"));
    const QString longValue = QStringLiteral("file:///a/rather/long/path/that/makes/the/writer/compress/it.png");
    const QString unicodeShort = QStringLiteral("\u00c4rger \u2603");
    const QString unicodeLong = QString(60, QChar(0x2603));
    writePNG(png, {{QStringLiteral("Short"), QStringLiteral("1700000000")}, {QStringLiteral("Long"), longValue},
                   {QStringLiteral("Snow"), unicodeShort}, {QStringLiteral("Snowfall"), unicodeLong}},
             true);
    QFile written(png);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_TRUE(bytes.contains("zTXtLong")); // every chunk kind is really there
    EXPECT_TRUE(bytes.contains("iTXtSnow"));
    QHash<QByteArray, QByteArray> texts;
    ASSERT_TRUE(kzReadPNGTextChunks(png, &texts));
    EXPECT_EQ(texts.value("Short"), QByteArray("1700000000"));
    EXPECT_EQ(QString::fromLatin1(texts.value("Long")), longValue);
    EXPECT_EQ(QString::fromUtf8(texts.value("Snow")), unicodeShort);
    EXPECT_EQ(QString::fromUtf8(texts.value("Snowfall")), unicodeLong);

    texts.clear();
    EXPECT_FALSE(kzReadPNGTextChunks(tree.writeFile(QStringLiteral("plain.png"), "not a png at all"), &texts));
    EXPECT_FALSE(kzReadPNGTextChunks(tree.path(QStringLiteral("missing.png")), &texts));
    EXPECT_TRUE(texts.isEmpty());
    // Cut in the middle of the image data: the text before it is still read.
    const QString cut = tree.writeFile(QStringLiteral("cut.png"), bytes.left(bytes.indexOf("IDAT") + 20));
    EXPECT_TRUE(kzReadPNGTextChunks(cut, &texts));
    EXPECT_EQ(texts.value("Short"), QByteArray("1700000000"));
}

TEST(KZThumbnailCache, EntryIsValidOnlyForTheFilesModificationTime)
{
    kztest::TempTree tree;
    const QByteArray file = QFile::encodeName(tree.writeFile(QStringLiteral("doc.odt"), "content"));
    tree.setMTime(QStringLiteral("doc.odt"), 1700000000);
    const QString uri = QString::fromLatin1(kzThumbnailFileURI(file));
    const QString normal = entryPath(QStringLiteral("normal"), file);
    const QString large = entryPath(QStringLiteral("large"), file);
    auto write = [](const QString &entry, const QString &entryUri, const QString &mtime) {
        QMap<QString, QString> texts;
        if (!entryUri.isNull())
            texts.insert(QStringLiteral("Thumb::URI"), entryUri);
        if (!mtime.isNull())
            texts.insert(QStringLiteral("Thumb::MTime"), mtime);
        writePNG(entry, texts);
    };
    EXPECT_TRUE(kzFindValidThumbnail(file, 16).isEmpty()); // no entry yet
    write(normal, uri, QStringLiteral("1700000000"));
    EXPECT_EQ(kzFindValidThumbnail(file, 16), normal);
    // The file changed since: the entry is stale; a valid larger one is used instead.
    tree.setMTime(QStringLiteral("doc.odt"), 1700000500);
    EXPECT_TRUE(kzFindValidThumbnail(file, 16).isEmpty());
    write(large, uri, QStringLiteral("1700000500"));
    EXPECT_EQ(kzFindValidThumbnail(file, 16), large);

    // Another file's entry, no URI (the time decides), a time unparsable or missing.
    const struct {
        QString uri, mtime;
        bool valid;
    } entries[] = {{QStringLiteral("file:///elsewhere/doc.odt"), QStringLiteral("1700000500"), false},
                   {QString(), QStringLiteral("1700000500"), true},
                   {uri, QStringLiteral("soon"), false},
                   {uri, QString(), false}};
    for (const auto &e : entries) {
        write(large, e.uri, e.mtime);
        EXPECT_EQ(kzFindValidThumbnail(file, 16), e.valid ? large : QString()) << e.uri.toStdString() << e.mtime.toStdString();
    }
    tree.remove(QStringLiteral("doc.odt"));
    EXPECT_TRUE(kzFindValidThumbnail(file, 200).isEmpty());
}
