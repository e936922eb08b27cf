#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTest>

#include <gtest/gtest.h>

#include "engine/KZFileSearchObject.h"
#include "platform/KZPosixFS.h"
#include "results/FilePreviewRenderer.h"
#include "results/QuickLookPanel.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsViewController.h"
#include "tests/results/ResultsOnScreen.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian32(quint32 v)
{
    const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

// A PNG of image with an eXIf chunk holding the orientation (a big- or little-endian TIFF).
QByteArray pngWithOrientation(const QImage &image, quint16 orientation, bool little = false)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    const QByteArray exif = little ? QByteArray("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18) +
                                         QByteArray(1, char(orientation)) + QByteArray(7, '\0')
                                   : QByteArray("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 18) +
                                         bigEndian32(quint32(orientation) << 16) + QByteArray(4, '\0');
    const QByteArray chunk = "eXIf" + exif;
    // After the signature (8) and IHDR (4 + 4 + 13 + 4).
    png.insert(33, bigEndian32(quint32(exif.size())) + chunk + bigEndian32(crc32(chunk)));
    return png;
}

class QuickLookTest : public ResultsOnScreen
{
protected:
    void SetUp() override
    {
        QImage wide(40, 20, QImage::Format_RGB32);
        wide.fill(Qt::red);
        tree.writeFile(QStringLiteral("a-turned.png"), pngWithOrientation(wide, 6));
        tree.writeFile(QStringLiteral("b-notes.txt"), QStringLiteral("Grüße\nline two\n").toUtf8());
        {
            QPdfWriter writer(tree.path(QStringLiteral("c-page.pdf")));
            writer.setPageSize(QPageSize(QPageSize::A6));
            writer.setPageMargins(QMarginsF());
            QPainter painter(&writer);
            painter.fillRect(QRect(0, 0, 400, 400), Qt::black);
        }
        tree.makeSized(QStringLiteral("d-data.bin"), 3000);
        QImage big(2600, 2600, QImage::Format_RGB32);
        big.fill(Qt::blue);
        big.save(tree.path(QStringLiteral("e-big.png")));
        showResults({"a-turned.png", "b-notes.txt", "c-page.pdf", "d-data.bin", "e-big.png"}, QSize(600, 400));
    }
    void TearDown() override { panel()->close(); }

    QuickLookPanel *panel() { return QuickLookPanel::sharedPanel(); }
    bool shows(const QString &name, FilePreview::Kind kind)
    {
        return !panel()->isLoading() && panel()->preview().name == name && panel()->preview().kind == kind;
    }
};

// Space shows the selection; the arrow keys move it; Space and Escape close it.
TEST_F(QuickLookTest, SpaceTogglesAPanelThatFollowsTheSelection)
{
    ResultsListTableView *table = list()->mTableView();
    table->setFocus();
    select(QStringLiteral("a-turned.png"));
    QTest::keyClick(table, Qt::Key_Space);
    ASSERT_TRUE(panel()->isVisible());
    EXPECT_EQ(panel()->dataSource(), list());
    ASSERT_TRUE(kztest::waitUntil([&] { return shows(QStringLiteral("a-turned.png"), FilePreview::KindImage); }));

    QTest::keyClick(table, Qt::Key_Down);
    ASSERT_TRUE(kztest::waitUntil([&] { return shows(QStringLiteral("b-notes.txt"), FilePreview::KindText); }));
    EXPECT_EQ(panel()->preview().text, QStringLiteral("Grüße\nline two\n"));
    QTest::keyClick(table, Qt::Key_Down);
    ASSERT_TRUE(kztest::waitUntil([&] { return shows(QStringLiteral("c-page.pdf"), FilePreview::KindPdf); }));
    const QImage page = panel()->preview().image;
    // On white, with the black square drawn at the top left.
    EXPECT_EQ(page.pixelColor(page.width() - 2, page.height() - 2), QColor(Qt::white));
    EXPECT_EQ(page.pixelColor(2, 2), QColor(Qt::black));
    QTest::keyClick(table, Qt::Key_Down);
    ASSERT_TRUE(kztest::waitUntil([&] { return shows(QStringLiteral("d-data.bin"), FilePreview::KindIcon); }));
    EXPECT_EQ(panel()->preview().size, 3000);

    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_FALSE(panel()->isVisible());
    QTest::keyClick(table, Qt::Key_Space);
    EXPECT_TRUE(panel()->isVisible());
    QTest::keyClick(table, Qt::Key_Escape);
    EXPECT_FALSE(panel()->isVisible());
    // Two rows are no item: the panel closes.
    QTest::keyClick(table, Qt::Key_Space);
    table->selectAll();
    EXPECT_FALSE(panel()->isVisible());
}

// An answer for an item the selection has left must not replace the preview of the new one.
TEST_F(QuickLookTest, AStaleAnswerIsDropped)
{
    select(QStringLiteral("e-big.png"));
    list()->tableViewDidPerformUserAction({{QStringLiteral("kind"), 1}});
    const int dropped = panel()->droppedAnswers();
    select(QStringLiteral("b-notes.txt"));
    ASSERT_TRUE(kztest::waitUntil([&] { return panel()->droppedAnswers() == dropped + 1; }));
    ASSERT_TRUE(kztest::waitUntil([&] { return shows(QStringLiteral("b-notes.txt"), FilePreview::KindText); }));
}

// Every EXIF orientation of a PNG shows the picture upright: its corners land where the orientation says.
TEST(FilePreviewRendererTest, PngOrientations)
{
    QImage quadrants(40, 20, QImage::Format_RGB32);
    const QColor tl(Qt::red), tr(Qt::green), bl(Qt::blue), br(Qt::white);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            quadrants.setPixelColor(x, y, y < 10 ? (x < 20 ? tl : tr) : (x < 20 ? bl : br));
    const struct {
        quint16 orientation;
        bool little;
        QColor topLeft;
    } cases[] = {{1, false, tl}, {2, false, tr}, {3, false, br}, {4, true, bl},
                 {5, false, tl}, {6, true, bl},  {7, false, br}, {8, false, tr}};
    kztest::TempTree tree;
    for (const auto &c : cases) {
        const QString path = tree.writeFile(QStringLiteral("o%1.png").arg(c.orientation),
                                            pngWithOrientation(quadrants, c.orientation, c.little));
        const FilePreview preview = FilePreviewRenderer::render(path, QSize(200, 200));
        const bool turned = c.orientation >= 5;
        EXPECT_EQ(preview.image.size(), turned ? QSize(20, 40) : QSize(40, 20)) << c.orientation;
        EXPECT_EQ(preview.sourceSize, preview.image.size()) << c.orientation;
        EXPECT_EQ(preview.image.pixelColor(1, 1), c.topLeft) << c.orientation;
    }
}

TEST(FilePreviewRendererTest, TextEncodings)
{
    const QString text = QStringLiteral("é€x");
    const QByteArray utf8 = text.toUtf8();
    const struct {
        QByteArray bytes;
        bool truncated;
        QString text;
        const char *encoding;
    } cases[] = {
        {"\xEF\xBB\xBF" + utf8, false, text, "UTF-8"},
        {QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2), false,
         text, "UTF-16LE"},
        {QByteArray("\xFE\xFF\0A", 4), false, QStringLiteral("A"), "UTF-16BE"},
        {utf8, false, text, "UTF-8"},
        // Cut inside the euro sign by the read limit: still UTF-8.
        {utf8.left(4), true, QStringLiteral("é"), "UTF-8"},
        {utf8.left(4), false, QString::fromLatin1(utf8.left(4)), "ISO-8859-1"},
        {"caf\xE9", false, QStringLiteral("café"), "ISO-8859-1"},
    };
    for (const auto &c : cases) {
        QString encoding;
        EXPECT_EQ(FilePreviewRenderer::decodeText(c.bytes, c.truncated, &encoding), c.text) << c.encoding;
        EXPECT_EQ(encoding, QString::fromLatin1(c.encoding));
    }
}

} // namespace
