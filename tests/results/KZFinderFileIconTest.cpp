// The file icons and thumbnails of the results, and the freedesktop thumbnail
// cache they read: file URIs, cache file names, PNG text chunks and the
// validity of an entry for its file; the dimmed icon and the abbreviated path
// of a row.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include "platform/KZThreadPriority.h"
#include "platform/KZThumbnailCache.h"
#include "results/Functions.h"
#include "results/KZFinderFileIcon.h"
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
    QImage image(QSize(128, 128), QImage::Format_ARGB32);
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

QImage argb(const QPixmap &pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

// Opaque and close to colour in every channel.
bool looks(QRgb c, const QColor &colour)
{
    return qAlpha(c) == 255 && std::abs(qRed(c) - colour.red()) + std::abs(qGreen(c) - colour.green()) + std::abs(qBlue(c) - colour.blue()) < 90;
}

// A 300 x 200 PNG, red on the left half and blue on the right.
QString writeTwoColourPNG(kztest::TempTree &tree, const QString &rel)
{
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, 150, 200, Qt::red);
    EXPECT_TRUE(image.save(tree.path(rel), "PNG"));
    return tree.path(rel);
}

// A file with modification time mtime and an entry of the freedesktop cache
// for it, made for entryMTime and filled with green.
QString writeWithCacheEntry(kztest::TempTree &tree, const QString &rel, time_t mtime, time_t entryMTime)
{
    const QString path = rel.endsWith(QLatin1String(".png")) ? writeTwoColourPNG(tree, rel)
                                                              : tree.writeFile(rel, "not an image Qt reads");
    tree.setMTime(rel, mtime);
    const QByteArray bytes = QFile::encodeName(path);
    writePNG(kzThumbnailCandidatePaths(bytes, 16).value(0),
             {{QStringLiteral("Thumb::URI"), QString::fromLatin1(kzThumbnailFileURI(bytes))},
              {QStringLiteral("Thumb::MTime"), QString::number(entryMTime)}});
    return path;
}

// An A4 PDF whose page is black on its upper half and blank below.
QString writePDF(kztest::TempTree &tree, const QString &rel)
{
    QPdfWriter writer(tree.path(rel));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter(&writer).fillRect(QRect(0, 0, writer.width(), writer.height() / 2), Qt::black);
    return tree.path(rel);
}

class KZFinderFileIconTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        icons.setUpdatedIconBk([this](const QString &path, const QPixmap &icon) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            updates.append(path);
            lastUpdate = icon;
        });
    }

    // Asks for the thumbnails of paths as a list drawing its rows does (each
    // row more than once) and waits until every load has ended.
    void loadAll(const QStringList &paths)
    {
        for (int pass = 0; pass < 2; ++pass)
            for (const QString &p : paths)
                icons.iconPreviewForFileAtPath(p, QUrl(), true);
        ASSERT_TRUE(kztest::waitUntil([&] { return icons.loadingPaths().isEmpty(); }, 20000));
        KZFinderFileIcon::thumbnailQueue()->waitForDone();
        QCoreApplication::processEvents();
    }

    kztest::TempTree tree;
    KZFinderFileIcon icons;
    QStringList updates;
    QPixmap lastUpdate;
};

::testing::AssertionResult near(QRgb actual, int r, int g, int b, int a, int tolerance = 3)
{
    if (std::abs(qRed(actual) - r) <= tolerance && std::abs(qGreen(actual) - g) <= tolerance
        && std::abs(qBlue(actual) - b) <= tolerance && std::abs(qAlpha(actual) - a) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "rgba(" << qRed(actual) << "," << qGreen(actual) << "," << qBlue(actual)
                                         << "," << qAlpha(actual) << ")";
}

} // namespace

TEST_F(KZFinderFileIconTest, ThemeIconsAtTheIconSizeAndTheAliasBadge)
{
    const QString folder = tree.mkdir(QStringLiteral("Projects"));
    const QString text = tree.writeFile(QStringLiteral("notes.txt"), "hello");
    const QString link = tree.symlink(QStringLiteral("notes.txt"), QStringLiteral("notes link"));
    const QImage folderIcon = argb(icons.iconForFileAtPath(folder, false));
    const QImage plain = argb(icons.iconForFileAtPath(text, false));
    // A bare X session names no usable theme; an installed one was picked, at 16 pixels.
    EXPECT_EQ(folderIcon, argb(QIcon::fromTheme(QStringLiteral("folder")).pixmap(16, 16)));
    EXPECT_NE(folderIcon, plain);
    EXPECT_NE(argb(icons.iconForFileAtPath(QDir::homePath(), false)), folderIcon);
    EXPECT_TRUE(icons.iconForFileAtPath(QString(), false).isNull());
    EXPECT_EQ(KZFinderFileIcon::iconForFileAtPathWithSize(folder, 40).deviceIndependentSize().toSize(), QSize(40, 40));

    // The badge sits in the lower-left quarter; the upper right is the plain icon.
    const QImage badged = argb(icons.iconForFileAtPath(link, true));
    EXPECT_NE(badged.copy(0, 8, 8, 8), plain.copy(0, 8, 8, 8));
    EXPECT_EQ(badged.copy(10, 0, 6, 6), plain.copy(10, 0, 6, 6));
    // Cached by path: the first request decides whether the badge is there.
    EXPECT_EQ(argb(icons.iconForFileAtPath(link, false)), badged);
    EXPECT_EQ(argb(icons.iconForFileAtPath(text, true)), plain);

    icons.setIconSize(32);
    EXPECT_EQ(icons.iconForFileAtPath(folder, false).deviceIndependentSize().toSize(), QSize(32, 32));
}

TEST_F(KZFinderFileIconTest, ThumbnailsArriveOnceOnTheGuiThreadOrThePathFails)
{
    const QColor red(Qt::red), blue(Qt::blue), green(Qt::green), black(Qt::black), white(Qt::white);
    struct Case {
        QString path;
        QSize size; // empty: no thumbnail
        std::vector<std::pair<QPoint, QColor>> pixels;
    };
    const Case cases[] = {
        // Fitted into 16 x 16 with its proportions, the colours in place.
        {writeTwoColourPNG(tree, QStringLiteral("photo.png")), QSize(16, 10), {{{2, 5}, red}, {{13, 5}, blue}}},
        // Page one on white (a page is transparent); several PDFs render at once.
        {writePDF(tree, QStringLiteral("a.pdf")), QSize(11, 16), {{{5, 2}, black}, {{5, 13}, white}}},
        {writePDF(tree, QStringLiteral("b.pdf")), QSize(11, 16), {{{5, 2}, black}, {{5, 13}, white}}},
        // A type only the freedesktop cache can draw, while its entry is valid;
        // an image with a stale entry is made from the file instead.
        {writeWithCacheEntry(tree, QStringLiteral("sketch.kra"), 1700000000, 1700000000), QSize(16, 16),
         {{{8, 8}, green}}},
        {writeWithCacheEntry(tree, QStringLiteral("old.png"), 1700000100, 1600000000), QSize(16, 10),
         {{{2, 5}, red}}},
        {writeWithCacheEntry(tree, QStringLiteral("stale.kra"), 1700000200, 1700000199), QSize(), {}},
        {tree.writeFile(QStringLiteral("readme.txt"), "plain text"), QSize(), {}},
        {tree.mkdir(QStringLiteral("folder.png")), QSize(), {}},
        {tree.mkfifo(QStringLiteral("pipe.png")), QSize(), {}}, // would block a reader forever
        {tree.writeFile(QStringLiteral("broken.png"), "\x89PNG\r\n\x1a\nnot really"), QSize(), {}},
        {tree.path(QStringLiteral("gone.png")), QSize(), {}},
    };
    QStringList paths;
    for (const Case &c : cases) {
        paths.append(c.path);
        // Not allowed to load: the file's icon, nothing queued.
        EXPECT_EQ(argb(icons.iconPreviewForFileAtPath(c.path, QUrl(), false)),
                  argb(icons.iconForFileAtPath(c.path, false)));
    }
    EXPECT_TRUE(icons.loadingPaths().isEmpty());
    loadAll(paths);

    for (const Case &c : cases) {
        const std::string name = QFileInfo(c.path).fileName().toStdString();
        EXPECT_EQ(updates.count(c.path), c.size.isEmpty() ? 0 : 1) << name;
        EXPECT_EQ(icons.onErrorPaths().contains(c.path), c.size.isEmpty()) << name;
        const QImage shown = argb(icons.iconPreviewForFileAtPath(c.path, QUrl(), true));
        if (c.size.isEmpty()) // drawing the row again starts nothing
            EXPECT_EQ(shown, argb(icons.iconForFileAtPath(c.path, false))) << name;
        else
            EXPECT_EQ(shown.size(), c.size) << name;
        for (const auto &[at, colour] : c.pixels)
            EXPECT_TRUE(looks(shown.pixel(at), colour)) << name << " at " << at.x() << "," << at.y();
    }
    EXPECT_TRUE(icons.loadingPaths().isEmpty());
    EXPECT_TRUE(icons.iconPreviewForFileAtPath(QString(), QUrl(), true).isNull());

    // The thumbnail function itself: never enlarged, local files only.
    EXPECT_EQ(KZFinderFileIcon::quickLookFileIconForFileAtURL(QUrl::fromLocalFile(paths.first()), 1000, false).size(),
              QSize(300, 200));
    EXPECT_TRUE(KZFinderFileIcon::quickLookFileIconForFileAtURL(QUrl(QStringLiteral("https://example.org/a.png")), 32,
                                                                false).isNull());
}

// PNGs with a colour table (1-bit, as a plain colour is often written, or an
// 8-bit palette) were drawn in black and white: the PNG reader, asked for a
// smaller size, scales such an image with a black and white table.
TEST_F(KZFinderFileIconTest, PNGsWithAColourTableKeepTheirColours)
{
    QStringList paths;
    for (const auto &[format, edge] : {std::pair{QImage::Format_Mono, 8}, {QImage::Format_Mono, 64},
                                       {QImage::Format_Indexed8, 10}, {QImage::Format_Indexed8, 64}}) {
        QImage image(edge, edge, format);
        image.setColorTable({qRgb(220, 20, 20), qRgb(20, 20, 220)});
        image.fill(0);
        paths.append(tree.path(QStringLiteral("table-%1-%2.png").arg(int(format)).arg(edge)));
        ASSERT_TRUE(image.save(paths.last(), "PNG"));
    }
    loadAll(paths);
    for (const QString &path : paths) {
        // Drawn as the results list draws its icons.
        QImage canvas(16, 16, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::white);
        QPainter(&canvas).drawPixmap(QRect(0, 0, 16, 16), icons.iconPreviewForFileAtPath(path, QUrl(), false));
        EXPECT_TRUE(looks(canvas.pixel(2, 2), Qt::red) && looks(canvas.pixel(13, 13), Qt::red))
            << path.toStdString() << " " << std::hex << canvas.pixel(2, 2);
    }
}

TEST_F(KZFinderFileIconTest, ResultsNeverReachADestroyedInstanceNorAnOldSize)
{
    QStringList pngs;
    for (int i = 0; i < 12; ++i)
        pngs.append(writeTwoColourPNG(tree, QStringLiteral("p%1.png").arg(i)));
    int delivered = 0;
    auto *doomed = new KZFinderFileIcon;
    doomed->setUpdatedIconBk([&](const QString &, const QPixmap &) { ++delivered; });
    for (const QString &p : pngs)
        doomed->iconPreviewForFileAtPath(p, QUrl(), true);
    EXPECT_EQ(doomed->loadingPaths().size(), 12);
    delete doomed;
    KZFinderFileIcon::thumbnailQueue()->waitForDone();
    QTest::qWait(50);
    EXPECT_EQ(delivered, 0) << "results reached a destroyed instance";

    // Resized while loading: the 16-pixel thumbnail is dropped, the next load
    // is made at the new size.
    icons.iconPreviewForFileAtPath(pngs.first(), QUrl(), true);
    icons.setIconSize(48);
    EXPECT_TRUE(icons.loadingPaths().isEmpty());
    KZFinderFileIcon::thumbnailQueue()->waitForDone();
    QTest::qWait(50);
    EXPECT_TRUE(updates.isEmpty());
    EXPECT_FALSE(icons.hasPreviewIcon(pngs.first()));
    loadAll({pngs.first()});
    EXPECT_EQ(updates, QStringList{pngs.first()});
    EXPECT_EQ(lastUpdate.deviceIndependentSize().toSize(), QSize(48, 32));
}

TEST(KZFinderFileIconQueue, ThreadsAtTheLowestPriority)
{
    // The tests may themselves run under nice: compare with where we started.
    const auto niceness = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))); };
    const int before = niceness();
    int lowered = -100;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        kzLowerCurrentThreadPriority();
        lowered = niceness();
    }));
    thread->start();
    thread->wait();
    EXPECT_EQ(lowered, 19);
    EXPECT_EQ(niceness(), before); // only that thread was lowered
}

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

TEST(Functions, OffImageDimsOnlyWhatIsDrawn)
{
    QImage source(3, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(255, 255, 255, 255)); // opaque white
    source.setPixel(1, 0, qRgba(0, 0, 0, 0));         // transparent
    source.setPixel(2, 0, qRgba(255, 0, 0, 128));     // half-transparent red
    source.setDevicePixelRatio(2.0);
    const QImage off = Functions::offImageFromImage(source);
    // A high-resolution image keeps its pixel ratio and pixel size.
    EXPECT_EQ(off.size(), source.size());
    EXPECT_DOUBLE_EQ(off.devicePixelRatio(), 2.0);
    // 33 % black over the drawn parts: 255 * 0.67 = 171; the shape keeps its alpha.
    const QImage argb = off.convertToFormat(QImage::Format_ARGB32);
    EXPECT_TRUE(near(argb.pixel(0, 0), 171, 171, 171, 255));
    EXPECT_EQ(qAlpha(argb.pixel(1, 0)), 0);
    EXPECT_TRUE(near(argb.pixel(2, 0), 171, 0, 0, 128));

    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::white);
    EXPECT_TRUE(near(Functions::offImageFromImage(pixmap).toImage().convertToFormat(QImage::Format_ARGB32).pixel(4, 4),
                     171, 171, 171, 255));
    EXPECT_TRUE(Functions::offImageFromImage(QImage()).isNull());
    EXPECT_TRUE(Functions::offImageFromImage(QPixmap()).isNull());
}

TEST(Functions, PathAbbreviationBelowTheScopeFolder)
{
    const std::pair<const char *, const char *> belowMe[] = {
        {"/Users/me/Documents/a", "Documents/a"},
        {"/Users/meyer/x", "/Users/meyer/x"},
        {"/Users/me", "/Users/me"}, // the scope folder itself
        {"/Users/me/", ""},
        {"/Users/me/\u00e9t\u00e9/caf\u00e9", "\u00e9t\u00e9/caf\u00e9"},
    };
    for (const auto &[path, shown] : belowMe)
        EXPECT_EQ(Functions::pathByAbbreviating(QString::fromUtf8(path), QStringLiteral("/Users/me")), QString::fromUtf8(shown));
    // With the root as scope, the prefix would be "//": nothing is abbreviated.
    EXPECT_EQ(Functions::pathByAbbreviating(QStringLiteral("/etc/hosts"), QStringLiteral("/")), QStringLiteral("/etc/hosts"));
    EXPECT_TRUE(Functions::pathByAbbreviating(QString(), QStringLiteral("/a")).isNull());
    EXPECT_TRUE(Functions::pathByAbbreviating(QStringLiteral("/a"), QString()).isNull());
}
