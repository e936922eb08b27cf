#include <QImage>
#include <QMenu>
#include <QSemaphore>
#include <QTableView>
#include <QTimeZone>
#include <QTest>

#include <gtest/gtest.h>

#include "engine/KZFileSearchObject.h"
#include "platform/KZPosixFS.h"
#include "results/FileMdItemViewController.h"
#include "results/FilePreviewView.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsViewController.h"
#include "tests/results/ResultsOnScreen.h"
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
              (QStringList{QStringLiteral("# Common"), QStringLiteral("kMDItemKeywords =  ()"),
                           QStringLiteral("kMDItemTitle = 7 (2)"), QStringLiteral("# Image"),
                           QStringLiteral("kMDItemOrientation = Portrait (1)"),
                           QStringLiteral("kMDItemPixelWidth = 640 (2)"), QStringLiteral("# File System"),
                           QStringLiteral("kMDItemFSSize = 2.00 kB (1)"), QStringLiteral("# "),
                           QStringLiteral("com_example_custom = x (1)")}));
    for (const auto &[list, expected] : {std::pair{QVariant(QVariantList{}), 0},
                                         std::pair{QVariant(QStringList{QStringLiteral("a")}), 1},
                                         std::pair{QVariant(QVariantList{1, true}), 2},
                                         std::pair{QVariant(QVariantList{when}), 3},
                                         std::pair{QVariant(QVariantList{when, 1}), -1},
                                         std::pair{QVariant(5), -1}})
        EXPECT_EQ(FileMdItemViewController::sameValidValuesOfCfArray(list), expected) << list.toString().toStdString();
}

class DetailsPaneTest : public ResultsOnScreen
{
protected:
    void SetUp() override
    {
        tree.writeFile(QStringLiteral("empty.txt"));
        tree.writeFile(QStringLiteral("notes.txt"), QByteArray(5000, 'n'));
        tree.writeFile(QStringLiteral("slow.txt"), "slow");
        QImage(2000, 1000, QImage::Format_RGB32).save(tree.path(QStringLiteral("wide.png")));
        showResults({"empty.txt", "notes.txt", "slow.txt", "wide.png"}, QSize(900, 500));
    }
    void TearDown() override { FileMdItemViewController::setReadHook(nullptr); }

    // Chooses an item of the list's context menu opened on a result.
    void chooseMenuItem(const QString &title)
    {
        QMenu menu(QStringLiteral("TableViewRightMenu"));
        list()->setClickedRow(rowOfName(QStringLiteral("notes.txt")));
        list()->menuNeedsUpdate(&menu);
        for (QAction *action : menu.actions())
            if (action->text() == title)
                return action->trigger();
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
};

// The two menu items switch the pane between its modes; choosing the
// checked one again hides it and gives the list the whole view.
TEST_F(DetailsPaneTest, MenuItemsSwitchTheModes)
{
    select(QStringLiteral("notes.txt"));
    chooseMenuItem(QStringLiteral("Show Details"));
    EXPECT_EQ(results.detailsViewMode(), 1);
    ASSERT_TRUE(paneShows(preview()));
    chooseMenuItem(QStringLiteral("Show Metadata"));
    EXPECT_EQ(results.detailsViewMode(), 2);
    ASSERT_TRUE(paneShows(results.fileMdItemViewController()->view()));
    EXPECT_FALSE(preview()->isVisible());
    ASSERT_TRUE(kztest::waitUntil([&] { return mdValue(QStringLiteral("kMDItemFSName")) == QLatin1String("notes.txt"); }));
    chooseMenuItem(QStringLiteral("Show Metadata"));
    EXPECT_EQ(results.detailsViewMode(), 0);
    EXPECT_EQ(list()->view()->parentWidget(), results.view());
    EXPECT_EQ(results.mSplitView()->parentWidget(), nullptr);
}

// Facts of one file: allocated sizes, "Zero bytes" for an empty file, no
// "date added"; several selected rows show nothing.
TEST_F(DetailsPaneTest, FactsFollowTheSingleSelection)
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
TEST_F(DetailsPaneTest, DividerKeepsTheMinimums)
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
TEST_F(DetailsPaneTest, ASlowReadOfAnEarlierSelectionIsDropped)
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

} // namespace
