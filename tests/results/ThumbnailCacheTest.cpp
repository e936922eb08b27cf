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
    auto folders = [](int size) {
        QStringList names;
        for (const QString &p : kzThumbnailCandidatePaths("/x/y.png", size)) {
            EXPECT_TRUE(p.startsWith(cacheDir() + QLatin1Char('/'))) << p.toStdString();
            EXPECT_TRUE(p.endsWith(QStringLiteral("/") + QFileInfo(entryPath(QStringLiteral("normal"), "/x/y.png")).fileName()));
            names.append(QFileInfo(p).dir().dirName());
        }
        return names;
    };
    const QStringList small{QStringLiteral("normal"), QStringLiteral("large"), QStringLiteral("x-large"),
                            QStringLiteral("xx-large")};
    EXPECT_EQ(folders(16), small);
    EXPECT_EQ(folders(128), small);
    EXPECT_EQ(folders(129), (QStringList{QStringLiteral("large"), QStringLiteral("x-large"), QStringLiteral("xx-large"),
                                         QStringLiteral("normal")}));
    EXPECT_EQ(folders(5000), (QStringList{QStringLiteral("xx-large"), QStringLiteral("x-large"),
                                          QStringLiteral("large"), QStringLiteral("normal")}));
}

TEST(KZThumbnailCache, TextChunksOfEveryKind)
{
    kztest::TempTree tree;
    const QString png = tree.path(QStringLiteral("texts.png"));
    const QString longValue = QStringLiteral("file:///a/rather/long/path/that/makes/the/writer/compress/it.png");
    const QString unicodeShort = QStringLiteral("\u00c4rger \u2603");
    const QString unicodeLong = QString(60, QChar(0x2603));
    writePNG(png, {{QStringLiteral("Short"), QStringLiteral("1700000000")},
                   {QStringLiteral("Long"), longValue},
                   {QStringLiteral("Snow"), unicodeShort},
                   {QStringLiteral("Snowfall"), unicodeLong}},
             true);
    QFile written(png);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray raw = written.readAll();
    written.close();
    EXPECT_TRUE(raw.contains("zTXtLong")); // every chunk kind is really there
    EXPECT_TRUE(raw.contains("iTXtSnow"));
    QHash<QByteArray, QByteArray> texts;
    ASSERT_TRUE(kzReadPNGTextChunks(png, &texts));
    EXPECT_EQ(texts.value("Short"), QByteArray("1700000000"));
    EXPECT_EQ(QString::fromLatin1(texts.value("Long")), longValue);
    EXPECT_EQ(QString::fromUtf8(texts.value("Snow")), unicodeShort);
    EXPECT_EQ(QString::fromUtf8(texts.value("Snowfall")), unicodeLong);

    const QString notPng = tree.writeFile(QStringLiteral("plain.png"), "not a png at all");
    texts.clear();
    EXPECT_FALSE(kzReadPNGTextChunks(notPng, &texts));
    EXPECT_FALSE(kzReadPNGTextChunks(tree.path(QStringLiteral("missing.png")), &texts));
    EXPECT_TRUE(texts.isEmpty());

    // Cut in the middle of the image data: the text before it is still read.
    QFile full(png);
    ASSERT_TRUE(full.open(QIODevice::ReadOnly));
    const QByteArray bytes = full.readAll();
    const QString cut = tree.writeFile(QStringLiteral("cut.png"), bytes.left(bytes.indexOf("IDAT") + 20));
    texts.clear();
    EXPECT_TRUE(kzReadPNGTextChunks(cut, &texts));
    EXPECT_EQ(texts.value("Short"), QByteArray("1700000000"));
}

TEST(KZThumbnailCache, EntryIsValidOnlyForTheFilesModificationTime)
{
    kztest::TempTree tree;
    const QString file = tree.writeFile(QStringLiteral("doc.odt"), "content");
    tree.setMTime(QStringLiteral("doc.odt"), 1700000000);
    const QByteArray fileBytes = QFile::encodeName(file);
    const QString uri = QString::fromLatin1(kzThumbnailFileURI(fileBytes));
    const QString normal = entryPath(QStringLiteral("normal"), fileBytes);
    const QString large = entryPath(QStringLiteral("large"), fileBytes);

    EXPECT_TRUE(kzFindValidThumbnail(fileBytes, 16).isEmpty()); // no entry yet

    writePNG(normal, {{QStringLiteral("Thumb::URI"), uri}, {QStringLiteral("Thumb::MTime"), QStringLiteral("1700000000")}});
    EXPECT_EQ(kzFindValidThumbnail(fileBytes, 16), normal);

    // The file changed since: the entry is stale.
    tree.setMTime(QStringLiteral("doc.odt"), 1700000500);
    EXPECT_TRUE(kzFindValidThumbnail(fileBytes, 16).isEmpty());

    // A valid larger entry is used when the smaller one is stale.
    writePNG(large, {{QStringLiteral("Thumb::URI"), uri}, {QStringLiteral("Thumb::MTime"), QStringLiteral("1700000500")}});
    EXPECT_EQ(kzFindValidThumbnail(fileBytes, 16), large);
    EXPECT_EQ(kzFindValidThumbnail(fileBytes, 200), large);

    // An entry made for another file (same name, different URI) is not valid.
    writePNG(large, {{QStringLiteral("Thumb::URI"), QStringLiteral("file:///elsewhere/doc.odt")},
                     {QStringLiteral("Thumb::MTime"), QStringLiteral("1700000500")}});
    EXPECT_TRUE(kzFindValidThumbnail(fileBytes, 16).isEmpty());

    // Without Thumb::URI the modification time decides; a missing or
    // unparsable one never matches.
    writePNG(large, {{QStringLiteral("Thumb::MTime"), QStringLiteral("1700000500")}});
    EXPECT_EQ(kzFindValidThumbnail(fileBytes, 16), large);
    writePNG(large, {{QStringLiteral("Thumb::URI"), uri}, {QStringLiteral("Thumb::MTime"), QStringLiteral("soon")}});
    EXPECT_TRUE(kzFindValidThumbnail(fileBytes, 16).isEmpty());
    writePNG(large, {{QStringLiteral("Thumb::URI"), uri}});
    EXPECT_TRUE(kzFindValidThumbnail(fileBytes, 16).isEmpty());

    tree.remove(QStringLiteral("doc.odt"));
    EXPECT_TRUE(kzFindValidThumbnail(fileBytes, 16).isEmpty());
}
