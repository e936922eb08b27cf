#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include "platform/KZThreadPriority.h"
#include "platform/KZThumbnailCache.h"
#include "results/KZFinderFileIcon.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

QImage argb(const QPixmap &pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

bool isReddish(QRgb c)
{
    return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}
bool isBluish(QRgb c)
{
    return qBlue(c) > 200 && qRed(c) < 60 && qGreen(c) < 60;
}
bool isGreenish(QRgb c)
{
    return qGreen(c) > 200 && qRed(c) < 60 && qBlue(c) < 60;
}

// A 300 x 200 PNG, red on the left half and blue on the right.
QString writeTwoColourPNG(kztest::TempTree &tree, const QString &rel)
{
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, 150, 200, Qt::red);
    const QString path = tree.path(rel);
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

// An entry of the freedesktop cache for path, filled with colour.
void writeCacheEntry(const QString &path, const QString &folder, qint64 mtime, QColor colour)
{
    const QByteArray bytes = QFile::encodeName(path);
    QString entry;
    for (const QString &candidate : kzplatform::kzThumbnailCandidatePaths(bytes, 16))
        if (QFileInfo(candidate).dir().dirName() == folder)
            entry = candidate;
    ASSERT_FALSE(entry.isEmpty());
    QDir().mkpath(QFileInfo(entry).absolutePath());
    QImage thumbnail(128, 128, QImage::Format_ARGB32);
    thumbnail.fill(colour);
    thumbnail.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(kzplatform::kzThumbnailFileURI(bytes)));
    thumbnail.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    ASSERT_TRUE(thumbnail.save(entry, "PNG"));
}

// Runs the thumbnail queue dry and delivers what it produced.
void drainThumbnails()
{
    KZFinderFileIcon::thumbnailQueue()->waitForDone();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
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

    bool waitForUpdate(const QString &path)
    {
        return kztest::waitUntil([&] { return updates.contains(path); }, 10000);
    }

    kztest::TempTree tree;
    KZFinderFileIcon icons;
    QStringList updates;
    QPixmap lastUpdate;
};

} // namespace

TEST_F(KZFinderFileIconTest, IconsComeFromTheThemeAtTheIconSize)
{
    const QString folder = tree.mkdir(QStringLiteral("Projects"));
    const QString text = tree.writeFile(QStringLiteral("notes.txt"), "hello");
    const QPixmap folderIcon = icons.iconForFileAtPath(folder, false);
    const QPixmap textIcon = icons.iconForFileAtPath(text, false);
    ASSERT_FALSE(folderIcon.isNull());
    ASSERT_FALSE(textIcon.isNull());
    EXPECT_EQ(folderIcon.deviceIndependentSize().toSize(), QSize(16, 16));
    EXPECT_EQ(textIcon.deviceIndependentSize().toSize(), QSize(16, 16));
    // A bare X session names no usable theme; an installed one was picked.
    EXPECT_TRUE(QIcon::hasThemeIcon(QStringLiteral("folder")));
    EXPECT_EQ(argb(folderIcon), argb(QIcon::fromTheme(QStringLiteral("folder")).pixmap(16, 16)));
    EXPECT_NE(argb(folderIcon), argb(textIcon));
    // The home folder has its own icon.
    EXPECT_NE(argb(icons.iconForFileAtPath(QDir::homePath(), false)), argb(folderIcon));

    EXPECT_TRUE(icons.iconForFileAtPath(QString(), false).isNull());
    EXPECT_EQ(KZFinderFileIcon::iconForFileAtPathWithSize(folder, 40).deviceIndependentSize().toSize(), QSize(40, 40));
    EXPECT_TRUE(KZFinderFileIcon::iconForFileAtPathWithSize(QString(), 40).isNull());

    icons.setIconSize(32);
    EXPECT_EQ(icons.iconSize(), 32);
    EXPECT_EQ(icons.iconForFileAtPath(folder, false).deviceIndependentSize().toSize(), QSize(32, 32));
}

TEST_F(KZFinderFileIconTest, AliasBadgeAndTheFirstRequestDecides)
{
    const QString target = tree.writeFile(QStringLiteral("report.txt"), "data");
    const QString link = tree.symlink(QStringLiteral("report.txt"), QStringLiteral("report link"));
    const QImage plain = argb(icons.iconForFileAtPath(target, false));
    const QImage badged = argb(icons.iconForFileAtPath(link, true));
    ASSERT_EQ(badged.size(), plain.size());
    // The badge sits in the lower-left quarter; the upper-right one is the plain icon.
    bool lowerLeftDiffers = false;
    for (int y = 8; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            lowerLeftDiffers |= badged.pixel(x, y) != plain.pixel(x, y);
    EXPECT_TRUE(lowerLeftDiffers);
    for (int y = 0; y < 6; ++y)
        for (int x = 10; x < 16; ++x)
            EXPECT_EQ(badged.pixel(x, y), plain.pixel(x, y)) << x << "," << y;

    // Cached by path: asking again without the mask still gives the badged icon,
    // and the target keeps its plain one.
    EXPECT_EQ(argb(icons.iconForFileAtPath(link, false)), badged);
    EXPECT_EQ(argb(icons.iconForFileAtPath(target, true)), plain);
    EXPECT_FALSE(KZFinderFileIcon::aliasBadgeIcon().isNull());
}

TEST_F(KZFinderFileIconTest, ImageThumbnailArrivesOnceOnTheGuiThread)
{
    const QString png = writeTwoColourPNG(tree, QStringLiteral("photo.png"));
    const QImage finderIcon = argb(icons.iconForFileAtPath(png, false));

    // Before it arrives: the file's icon, and one load however often the row is drawn.
    EXPECT_EQ(argb(icons.iconPreviewForFileAtPath(png, QUrl(), true)), finderIcon);
    for (int i = 0; i < 5; ++i)
        icons.iconPreviewForFileAtPath(png, QUrl(), true);
    EXPECT_TRUE(icons.loadingPaths().contains(png));
    ASSERT_TRUE(waitForUpdate(png));
    drainThumbnails();
    EXPECT_EQ(updates, QStringList{png});
    EXPECT_TRUE(icons.loadingPaths().isEmpty());
    EXPECT_TRUE(icons.onErrorPaths().isEmpty());
    EXPECT_TRUE(icons.hasPreviewIcon(png));

    // Scaled to fit 16 x 16 with its proportions, the colours in place.
    const QImage thumbnail = argb(lastUpdate);
    EXPECT_EQ(thumbnail.width(), 16);
    EXPECT_GE(thumbnail.height(), 10);
    EXPECT_LE(thumbnail.height(), 11);
    EXPECT_TRUE(isReddish(thumbnail.pixel(2, 5)));
    EXPECT_TRUE(isBluish(thumbnail.pixel(13, 5)));
    EXPECT_EQ(argb(icons.iconPreviewForFileAtPath(png, QUrl(), true)), thumbnail);
}

// PNGs with a colour table (1-bit, as a plain colour is often written, or an
// 8-bit palette) were drawn in black and white: the PNG reader, asked for a
// smaller size, scales such an image with a black and white table.
TEST_F(KZFinderFileIconTest, PNGsWithAColourTableKeepTheirColours)
{
    const std::tuple<const char *, QImage::Format, int> cases[] = {
        {"mono-small.png", QImage::Format_Mono, 8}, {"mono-large.png", QImage::Format_Mono, 64},
        {"palette-small.png", QImage::Format_Indexed8, 10}, {"palette-large.png", QImage::Format_Indexed8, 64}};
    for (const auto &[name, format, edge] : cases) {
        QImage image(edge, edge, format);
        image.setColorTable({qRgb(220, 20, 20), qRgb(20, 20, 220)});
        image.fill(0);
        const QString path = tree.path(QString::fromLatin1(name));
        ASSERT_TRUE(image.save(path, "PNG"));
        icons.iconPreviewForFileAtPath(path, QUrl(), true);
        ASSERT_TRUE(waitForUpdate(path)) << name;
        // Drawn as the results list draws its icons.
        QImage canvas(16, 16, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        painter.drawPixmap(QRect(0, 0, 16, 16), icons.iconPreviewForFileAtPath(path, QUrl(), false));
        painter.end();
        EXPECT_TRUE(isReddish(canvas.pixel(2, 2))) << name << " " << std::hex << canvas.pixel(2, 2);
        EXPECT_TRUE(isReddish(canvas.pixel(13, 13))) << name << " " << std::hex << canvas.pixel(13, 13);
    }
}

TEST_F(KZFinderFileIconTest, PDFThumbnailIsPageOneOnWhite)
{
    // Several at once, so that both queue threads render PDFs together.
    QStringList pdfs;
    for (int i = 0; i < 6; ++i) {
        const QString pdf = tree.path(QStringLiteral("paper%1.pdf").arg(i));
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        painter.fillRect(QRect(0, 0, writer.width(), writer.height() / 2), Qt::black);
        painter.end();
        pdfs.append(pdf);
    }
    icons.setIconSize(64);
    for (const QString &pdf : pdfs)
        icons.iconPreviewForFileAtPath(pdf, QUrl::fromLocalFile(pdf), true);
    ASSERT_TRUE(kztest::waitUntil([&] { return updates.size() == pdfs.size(); }, 20000));
    for (const QString &pdf : pdfs) {
        const QImage thumbnail = argb(icons.iconPreviewForFileAtPath(pdf, QUrl(), false));
        EXPECT_EQ(thumbnail.height(), 64); // portrait A4 fitted into 64 x 64
        EXPECT_NEAR(thumbnail.width(), 45, 1);
        const QRgb top = thumbnail.pixel(thumbnail.width() / 2, 8);
        const QRgb bottom = thumbnail.pixel(thumbnail.width() / 2, 56);
        EXPECT_LT(qRed(top), 40);
        EXPECT_EQ(qAlpha(bottom), 255); // white paper, not a transparent page
        EXPECT_GT(qRed(bottom), 240);
        EXPECT_GT(qBlue(bottom), 240);
    }
}

TEST_F(KZFinderFileIconTest, FreedesktopCacheEntryIsUsedWhileValid)
{
    // A type Trovix cannot render itself: only the cache can give a thumbnail.
    const QString drawing = tree.writeFile(QStringLiteral("sketch.kra"), "not an image Qt reads");
    tree.setMTime(QStringLiteral("sketch.kra"), 1700000000);
    writeCacheEntry(drawing, QStringLiteral("normal"), 1700000000, Qt::green);
    // An image whose cache entry is stale: it is made from the file instead.
    const QString png = writeTwoColourPNG(tree, QStringLiteral("old.png"));
    tree.setMTime(QStringLiteral("old.png"), 1700000100);
    writeCacheEntry(png, QStringLiteral("normal"), 1600000000, Qt::green);
    // A stale entry and nothing to make one from: no thumbnail.
    const QString stale = tree.writeFile(QStringLiteral("stale.kra"), "not an image either");
    tree.setMTime(QStringLiteral("stale.kra"), 1700000200);
    writeCacheEntry(stale, QStringLiteral("normal"), 1700000199, Qt::green);

    for (const QString &p : {drawing, png, stale})
        icons.iconPreviewForFileAtPath(p, QUrl(), true);
    ASSERT_TRUE(waitForUpdate(drawing));
    ASSERT_TRUE(waitForUpdate(png));
    drainThumbnails();

    const QImage fromCache = argb(icons.iconPreviewForFileAtPath(drawing, QUrl(), false));
    EXPECT_EQ(fromCache.size(), QSize(16, 16));
    EXPECT_TRUE(isGreenish(fromCache.pixel(8, 8)));
    const QImage remade = argb(icons.iconPreviewForFileAtPath(png, QUrl(), false));
    EXPECT_TRUE(isReddish(remade.pixel(2, 5)));
    EXPECT_FALSE(updates.contains(stale));
    EXPECT_TRUE(icons.onErrorPaths().contains(stale));
}

TEST_F(KZFinderFileIconTest, FilesWithoutThumbnailLandOnTheErrorListOnce)
{
    const QString text = tree.writeFile(QStringLiteral("readme.txt"), "plain text");
    const QString folder = tree.mkdir(QStringLiteral("folder.png")); // a folder named like an image
    const QString fifo = tree.mkfifo(QStringLiteral("pipe.png"));    // would block a reader forever
    const QString broken = tree.writeFile(QStringLiteral("broken.png"), "\x89PNG\r\n\x1a\nnot really");
    const QString missing = tree.path(QStringLiteral("gone.png"));
    const QStringList paths{text, folder, fifo, broken, missing};

    // Not allowed to load: nothing is queued.
    for (const QString &p : paths)
        EXPECT_FALSE(icons.iconPreviewForFileAtPath(p, QUrl(), false).isNull()) << p.toStdString();
    EXPECT_TRUE(icons.loadingPaths().isEmpty());

    for (const QString &p : paths)
        icons.iconPreviewForFileAtPath(p, QUrl(), true);
    ASSERT_TRUE(kztest::waitUntil([&] { return icons.loadingPaths().isEmpty(); }, 10000));
    drainThumbnails();
    EXPECT_TRUE(updates.isEmpty());
    for (const QString &p : paths)
        EXPECT_TRUE(icons.onErrorPaths().contains(p)) << p.toStdString();

    // Drawing the rows again starts nothing and still shows the file's icon.
    const QImage textIcon = argb(icons.iconForFileAtPath(text, false));
    EXPECT_EQ(argb(icons.iconPreviewForFileAtPath(text, QUrl(), true)), textIcon);
    EXPECT_TRUE(icons.loadingPaths().isEmpty());
    EXPECT_TRUE(icons.iconPreviewForFileAtPath(QString(), QUrl(), true).isNull());
}

TEST_F(KZFinderFileIconTest, ResultsNeverReachADestroyedInstance)
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
    drainThumbnails();
    QTest::qWait(50);
    EXPECT_EQ(delivered, 0);

    // The queue still serves the living.
    icons.iconPreviewForFileAtPath(pngs.first(), QUrl(), true);
    EXPECT_TRUE(waitForUpdate(pngs.first()));
}

TEST_F(KZFinderFileIconTest, ManualDeliveryAndTheThumbnailFunction)
{
    // The GUI-thread end of a load, called as the queue calls it.
    const QString path = tree.writeFile(QStringLiteral("x.bin"), "x");
    QImage image(12, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    icons.mt_didUpdateIcon({{QStringLiteral("filePath"), path}, {QStringLiteral("icon"), image}});
    EXPECT_EQ(updates, QStringList{path});
    EXPECT_EQ(argb(icons.iconPreviewForFileAtPath(path, QUrl(), true)).size(), QSize(12, 8));
    icons.mt_didUpdateIcon({{QStringLiteral("filePath"), tree.path(QStringLiteral("y.bin"))}});
    EXPECT_TRUE(icons.onErrorPaths().contains(tree.path(QStringLiteral("y.bin"))));

    const QString png = writeTwoColourPNG(tree, QStringLiteral("frame.png"));
    const QImage bordered = KZFinderFileIcon::quickLookFileIconForFileAtURL(QUrl::fromLocalFile(png), 32, true)
                                .convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(bordered.isNull());
    EXPECT_EQ(bordered.width(), 32);
    EXPECT_EQ(bordered.pixel(0, 0), bordered.pixel(31, 0)); // the frame
    EXPECT_TRUE(isReddish(bordered.pixel(3, 5)));
    const QImage small = KZFinderFileIcon::quickLookFileIconForFileAtURL(QUrl::fromLocalFile(png), 1000, false);
    EXPECT_EQ(small.size(), QSize(300, 200)); // never enlarged
    EXPECT_TRUE(KZFinderFileIcon::quickLookFileIconForFileAtURL(QUrl(QStringLiteral("https://example.org/a.png")), 32,
                                                                false)
                    .isNull());
    EXPECT_TRUE(KZFinderFileIcon::quickLookFileIconForFileAtURL(QUrl(), 32, false).isNull());
}

TEST(KZFinderFileIconQueue, TwoThreadsAtTheLowestPriority)
{
    EXPECT_EQ(KZFinderFileIcon::thumbnailQueue()->maxThreadCount(), 2);
    // The tests may themselves run under nice: compare with where we started.
    const int before = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    int nice = -100;
    QThread *thread = QThread::create([&] {
        kzplatform::kzLowerCurrentThreadPriority();
        errno = 0;
        nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    });
    thread->start();
    thread->wait();
    delete thread;
    EXPECT_EQ(nice, 19);
    // Only that thread was lowered.
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), before);
}

TEST_F(KZFinderFileIconTest, ResizingDropsLoadsMadeForTheOldSize)
{
    const QString png = writeTwoColourPNG(tree, QStringLiteral("resized.png"));
    icons.iconPreviewForFileAtPath(png, QUrl(), true);
    icons.setIconSize(48);
    EXPECT_TRUE(icons.loadingPaths().isEmpty());
    drainThumbnails();
    EXPECT_TRUE(updates.isEmpty()); // the 16-pixel thumbnail was dropped
    EXPECT_FALSE(icons.hasPreviewIcon(png));

    icons.iconPreviewForFileAtPath(png, QUrl(), true);
    ASSERT_TRUE(waitForUpdate(png));
    EXPECT_EQ(lastUpdate.deviceIndependentSize().toSize(), QSize(48, 32));
}
