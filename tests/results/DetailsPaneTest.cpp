// The details pane and the preview panel of a results view on screen.
#include <QBuffer>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QSemaphore>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include "engine/KZFileSearchObject.h"
#include "platform/KZPosixFS.h"
#include "results/FileMdItemViewController.h"
#include "results/FilePreviewRenderer.h"
#include "results/FilePreviewView.h"
#include "results/PreviewRequests.h"
#include "results/QuickLookPanel.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsViewController.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

// One line per row: "# title" for a group, "key = value (type)" for an attribute.
QStringList describe(const QList<QVariantMap> &rows)
{
    QStringList lines;
    for (const QVariantMap &row : rows) {
        if (row.value(QStringLiteral("kind")).toInt() == 1)
            lines.append(QStringLiteral("# ") + row.value(QStringLiteral("title")).toString());
        else
            lines.append(QStringLiteral("%1 = %2 (%3)")
                             .arg(row.value(QStringLiteral("key")).toString(),
                                  row.value(QStringLiteral("value")).toString(),
                                  row.value(QStringLiteral("valueType")).toString()));
    }
    return lines;
}

// Groups in the order common, image, file system, outside the catalogue; a
// number sent as text is parsed; sizes and orientations become texts; backup
// keys vanish; a mixed list keeps no value.
TEST(FileMdItemViewController, RowsFollowTheCatalogue)
{
    const QDateTime when(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
    const QList<std::pair<QString, QVariant>> attributes{
        {QStringLiteral("_kTimeMachineNewestSnapshot"), when},
        {QStringLiteral("_kTimeMachineIsCreationMarker"), true},
        {QStringLiteral("com_example_custom"), QStringLiteral("x")},
        {QStringLiteral("kMDItemFSSize"), qint64(2048)},
        {QStringLiteral("kMDItemKeywords"), QVariantList{1, QStringLiteral("a")}},
        {QStringLiteral("kMDItemOrientation"), 1},
        {QStringLiteral("kMDItemPixelWidth"), QStringLiteral(" 640 ")},
        {QStringLiteral("kMDItemTitle"), 7},
    };
    EXPECT_EQ(describe(FileMdItemViewController::rowsForAttributes(attributes)),
              (QStringList{QStringLiteral("# Common"), QStringLiteral("kMDItemKeywords =  ()"), QStringLiteral("kMDItemTitle = 7 (2)"),
                           QStringLiteral("# Image"), QStringLiteral("kMDItemOrientation = Portrait (1)"),
                           QStringLiteral("kMDItemPixelWidth = 640 (2)"), QStringLiteral("# File System"),
                           QStringLiteral("kMDItemFSSize = 2.00 kB (1)"), QStringLiteral("# "), QStringLiteral("com_example_custom = x (1)")}));
    for (const auto &[list, expected] : {std::pair{QVariant(QVariantList{}), 0},
                                         std::pair{QVariant(QStringList{QStringLiteral("a")}), 1},
                                         std::pair{QVariant(QVariantList{1, true}), 2},
                                         std::pair{QVariant(QVariantList{when}), 3},
                                         std::pair{QVariant(QVariantList{when, 1}), -1},
                                         std::pair{QVariant(5), -1}})
        EXPECT_EQ(FileMdItemViewController::sameValidValuesOfCfArray(list), expected) << list.toString().toStdString();
}

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

// A results view on screen holding files of a temporary tree as one search
// batch, in this order.
class PreviewsTest : public ::testing::Test
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
        tree.writeFile(QStringLiteral("empty.txt"));
        tree.writeFile(QStringLiteral("notes.txt"), QByteArray(5000, 'n'));
        tree.writeFile(QStringLiteral("slow.txt"), "slow");
        QImage(2000, 1000, QImage::Format_RGB32).save(tree.path(QStringLiteral("wide.png")));

        results.updateUI(tree.root(), &session);
        results.setHasResults(true);
        results.view()->resize(900, 500);
        results.view()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(results.view()));
        FileSearchResultList batch;
        for (const char *name : {"a-turned.png", "b-notes.txt", "c-page.pdf", "d-data.bin", "e-big.png", "empty.txt",
                                 "notes.txt", "slow.txt", "wide.png"}) {
            const QByteArray path = QFile::encodeName(tree.path(QString::fromLatin1(name)));
            kzplatform::KZStat st;
            ASSERT_EQ(kzplatform::kzLstat(path.constData(), &st), 0);
            batch.append(FileSearchResult::initWithPath(path.constData(), 'F', st));
        }
        list()->not_fileSearchObjectDidUpdated(
            &session, {{QStringLiteral("kind"), 1}, {QStringLiteral("results"), QVariant::fromValue(batch)}});
        list()->flushPendingRows();
    }
    void TearDown() override
    {
        FileMdItemViewController::setReadHook(nullptr);
        panel()->close();
    }

    ResultsListViewController *list() { return results.resultsListViewController(); }
    int rowOfName(const QString &name)
    {
        for (int row = 0; row < list()->objectList().size(); ++row)
            if (list()->fileURLOfRow(row).fileName() == name)
                return row;
        return -1;
    }
    void select(const QString &name) { list()->mTableView()->selectRow(rowOfName(name)); }
    // Chooses an item of the list's context menu opened on a result.
    void chooseMenuItem(const QString &title)
    {
        QMenu menu(QStringLiteral("TableViewRightMenu"));
        list()->setClickedRow(rowOfName(QStringLiteral("notes.txt")));
        list()->menuNeedsUpdate(&menu);
        for (QAction *action : menu.actions())
            if (action->text() == title) {
                wasChecked = action->isChecked();
                return action->trigger();
            }
        FAIL() << title.toStdString();
    }
    bool paneShows(QWidget *view)
    {
        return results.mSplitView() && results.mSplitView()->parentWidget() == results.view() &&
               view && view->isVisible() && list()->view()->parentWidget() == results.mSplitView();
    }
    FilePreviewView *preview() { return results.fileTreePreviewView(); }
    bool factsShown(const QString &name)
    {
        return preview() && !preview()->isLoading() && preview()->factValue(QStringLiteral("displayName")) == name;
    }
    QString mdValue(const QString &key)
    {
        for (const QVariantMap &row : results.fileMdItemViewController()->objectList())
            if (row.value(QStringLiteral("key")) == key)
                return row.value(QStringLiteral("value")).toString();
        return QString();
    }
    QuickLookPanel *panel() { return QuickLookPanel::sharedPanel(); }
    bool shows(const QString &name, FilePreview::Kind kind)
    {
        return !panel()->isLoading() && panel()->preview().name == name && panel()->preview().kind == kind;
    }

    kztest::TempTree tree;
    KZFileSearchObject session;
    ResultsViewController results;
    bool wasChecked = false; // the last chosen menu item, before the choice
};

// The two menu items switch the pane between its modes; choosing the
// checked one again hides it and gives the list the whole view.
TEST_F(PreviewsTest, MenuItemsSwitchTheModes)
{
    select(QStringLiteral("notes.txt"));
    chooseMenuItem(QStringLiteral("Show Details"));
    EXPECT_EQ(results.detailsViewMode(), 1);
    ASSERT_TRUE(paneShows(preview()));
    chooseMenuItem(QStringLiteral("Show Metadata"));
    EXPECT_FALSE(wasChecked);
    EXPECT_EQ(results.detailsViewMode(), 2);
    ASSERT_TRUE(paneShows(results.fileMdItemViewController()->view()));
    EXPECT_FALSE(preview()->isVisible());
    ASSERT_TRUE(kztest::waitUntil([&] { return mdValue(QStringLiteral("kMDItemFSName")) == QLatin1String("notes.txt"); }));
    chooseMenuItem(QStringLiteral("Show Metadata"));
    EXPECT_TRUE(wasChecked) << "the shown mode is checked";
    EXPECT_EQ(results.detailsViewMode(), 0);
    EXPECT_EQ(list()->view()->parentWidget(), results.view());
    EXPECT_EQ(results.mSplitView()->parentWidget(), nullptr);
}

// Facts of one file: allocated sizes, "Zero bytes" for an empty file, no
// "date added"; several selected rows show nothing.
TEST_F(PreviewsTest, FactsFollowTheSingleSelection)
{
    select(QStringLiteral("notes.txt"));
    chooseMenuItem(QStringLiteral("Show Details"));
    ASSERT_TRUE(kztest::waitUntil([&] { return factsShown(QStringLiteral("notes.txt")); }));
    kzplatform::KZStat st;
    ASSERT_EQ(kzplatform::kzLstat(QFile::encodeName(tree.path(QStringLiteral("notes.txt"))).constData(), &st), 0);
    const QString allocated = QLocale().toString(qint64(st.blocks) * 512) + QStringLiteral(" bytes)");
    EXPECT_TRUE(preview()->factValue(QStringLiteral("size")).endsWith(allocated))
        << preview()->factValue(QStringLiteral("size")).toStdString();
    EXPECT_FALSE(preview()->factValue(QStringLiteral("modificationDate")).isEmpty());
    EXPECT_TRUE(preview()->factValue(QStringLiteral("addedDate")).isEmpty());
    EXPECT_FALSE(preview()->factValue(QStringLiteral("ownerName")).isEmpty());
    EXPECT_EQ(preview()->preview().kind, FilePreview::KindText);

    select(QStringLiteral("empty.txt"));
    ASSERT_TRUE(kztest::waitUntil([&] { return factsShown(QStringLiteral("empty.txt")); }));
    EXPECT_EQ(preview()->factValue(QStringLiteral("size")), QStringLiteral("Zero bytes"));
    EXPECT_EQ(preview()->factValue(QStringLiteral("totalSize")), QStringLiteral("Zero bytes"));

    list()->mTableView()->selectAll();
    EXPECT_TRUE(preview()->fileURL().isEmpty());
    EXPECT_EQ(preview()->preview().kind, FilePreview::KindNone);
    chooseMenuItem(QStringLiteral("Show Metadata"));
    ASSERT_TRUE(kztest::waitUntil([&] { return !results.fileMdItemViewController()->isLoading(); }));
    EXPECT_TRUE(results.fileMdItemViewController()->objectList().isEmpty());
}

// A dragged divider stops where the pane is 240 wide, a wider window widens
// the list only, and a picture made for a narrower pane is made again.
TEST_F(PreviewsTest, DividerKeepsTheMinimums)
{
    chooseMenuItem(QStringLiteral("Show Details"));
    select(QStringLiteral("wide.png"));
    ContentMainSplitView *split = results.mSplitView();
    ASSERT_TRUE(split);
    ASSERT_TRUE(kztest::waitUntil([&] { return preview()->preview().kind == FilePreview::KindImage; }));
    const int firstWidth = preview()->preview().image.width();
    const auto drag = [&](int dx) {
        QSplitterHandle *handle = split->handle(1);
        const QPoint start = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(start), handle->mapToGlobal(QPointF(start.x() + dx, start.y())),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, start);
    };
    drag(400);
    EXPECT_EQ(split->sizes().at(1), ContentMainSplitView::kMinDetailsWidth);
    results.view()->resize(1100, 500);
    QTest::qWait(50);
    EXPECT_EQ(split->sizes().at(1), ContentMainSplitView::kMinDetailsWidth);
    drag(-500);
    EXPECT_TRUE(kztest::waitUntil([&] { return preview()->preview().image.width() > firstWidth; }));
}

// A slow read first clears the previous file's table, and its answer, once
// the selection has moved on, must never replace the newer file's table.
TEST_F(PreviewsTest, ASlowReadOfAnEarlierSelectionIsDropped)
{
    QSemaphore slowReadMayEnd;
    FileMdItemViewController::setReadHook([&](const QString &path) {
        if (path.endsWith(QLatin1String("slow.txt")))
            slowReadMayEnd.acquire();
    });
    select(QStringLiteral("notes.txt"));
    chooseMenuItem(QStringLiteral("Show Metadata"));
    FileMdItemViewController *md = results.fileMdItemViewController();
    ASSERT_TRUE(kztest::waitUntil([&] { return mdValue(QStringLiteral("kMDItemFSName")) == QLatin1String("notes.txt"); }));
    select(QStringLiteral("slow.txt"));
    ASSERT_TRUE(kztest::waitUntil([&] { return md->objectList().isEmpty(); }));
    EXPECT_TRUE(md->isLoading());
    const int dropped = md->droppedAnswers();
    select(QStringLiteral("empty.txt"));
    ASSERT_TRUE(kztest::waitUntil([&] { return !md->isLoading(); }));
    EXPECT_EQ(mdValue(QStringLiteral("kMDItemFSName")), QStringLiteral("empty.txt"));
    slowReadMayEnd.release();
    ASSERT_TRUE(kztest::waitUntil([&] { return md->droppedAnswers() == dropped + 1; }));
    EXPECT_EQ(mdValue(QStringLiteral("kMDItemFSName")), QStringLiteral("empty.txt"));
}

// Space shows the selection; the arrow keys move it; Space and Escape close it.
TEST_F(PreviewsTest, SpaceTogglesAPanelThatFollowsTheSelection)
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
TEST_F(PreviewsTest, AStaleAnswerIsDropped)
{
    select(QStringLiteral("e-big.png"));
    list()->tableViewDidPerformUserAction({{QStringLiteral("kind"), 1}});
    const int dropped = panel()->droppedAnswers();
    select(QStringLiteral("b-notes.txt"));
    ASSERT_TRUE(kztest::waitUntil([&] { return panel()->droppedAnswers() == dropped + 1; }));
    ASSERT_TRUE(kztest::waitUntil([&] { return shows(QStringLiteral("b-notes.txt"), FilePreview::KindText); }));
}

// Holding an arrow key in the list queued a read for every row passed, each
// run in full on the busy preview queue before the one the user stopped on.
TEST(PreviewRequestsTest, AQueuedRequestMadeStaleNeverRuns)
{
    QSemaphore busy, ran;
    for (int i = 0; i < FilePreviewRenderer::queue()->maxThreadCount(); ++i)
        FilePreviewRenderer::queue()->start([&] { busy.acquire(); });
    PreviewRequests requests;
    QObject view;
    QList<int> applied;
    for (int n : {1, 2, 3}) {
        requests.next();
        requests.run(&view, [&ran, n] { ran.release(); return n; }, [&](int answer) { applied.append(answer); });
    }
    busy.release(FilePreviewRenderer::queue()->maxThreadCount());
    ASSERT_TRUE(kztest::waitUntil([&] { return !applied.isEmpty() && requests.droppedAnswers() == 2; }));
    EXPECT_EQ(applied, QList<int>{3});
    EXPECT_EQ(ran.available(), 1);
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
