#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QIcon>
#include <QPainter>
#include <QPdfWriter>
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
    const QString entry = kzplatform::kzThumbnailCandidatePaths(bytes, 16).value(0);
    QDir().mkpath(QFileInfo(entry).absolutePath());
    QImage thumbnail(128, 128, QImage::Format_ARGB32);
    thumbnail.fill(Qt::green);
    thumbnail.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(kzplatform::kzThumbnailFileURI(bytes)));
    thumbnail.setText(QStringLiteral("Thumb::MTime"), QString::number(entryMTime));
    EXPECT_TRUE(thumbnail.save(entry, "PNG"));
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

TEST(KZFinderFileIconQueue, TwoThreadsAtTheLowestPriority)
{
    EXPECT_EQ(KZFinderFileIcon::thumbnailQueue()->maxThreadCount(), 2);
    // The tests may themselves run under nice: compare with where we started.
    const auto niceness = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))); };
    const int before = niceness();
    int lowered = -100;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        kzplatform::kzLowerCurrentThreadPriority();
        lowered = niceness();
    }));
    thread->start();
    thread->wait();
    EXPECT_EQ(lowered, 19);
    EXPECT_EQ(niceness(), before); // only that thread was lowered
}
