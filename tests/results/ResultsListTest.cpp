#include <malloc.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <random>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "engine/DirSizeCalculator.h"
#include "engine/KZFileSearchObject.h"
#include "support/KZNotificationCenter.h"
#include <QThreadPool>
#include "platform/KZPosixFS.h"
#include "results/KZFileViewer.h"
#include "results/KZFinderFileIcon.h"
#include "results/KZPathBar.h"
#include "results/ResultsListModel.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsListViewController.h"
#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

FileSearchResultRef resultAt(const QString &path)
{
    const QByteArray bytes = QFile::encodeName(path);
    kzplatform::KZStat st;
    EXPECT_EQ(kzplatform::kzLstat(bytes.constData(), &st), 0) << path.toStdString();
    const int32_t type = S_ISDIR(st.mode) ? 'D' : S_ISLNK(st.mode) ? 'L' : 'F';
    return FileSearchResult::initWithPath(bytes.constData(), type, st);
}

// A record for a path that need not exist, with the given snapshot.
FileSearchResultRef synthetic(const QByteArray &path, int32_t type, int64_t size, int64_t mtime = 0, int64_t btime = 0)
{
    FileSearchResultStatInfo info;
    info.st_mode = type == 'D' ? S_IFDIR : type == 'L' ? S_IFLNK : S_IFREG;
    info.st_size = size;
    info.st_mtimespec.tv_sec = mtime;
    info.st_birthtimespec.tv_sec = btime;
    return FileSearchResult::initWithPath(path.constData(), size_t(path.size()), type, info, true);
}

// Rows by identity: "H <folder>" for a header, "  <address>" for an indented
// result row, "<address>" for the others.
QStringList rowIdentities(const ResultsListRows &rows)
{
    QStringList out;
    for (const ResultsListRow &row : rows)
        out.append(row.kind == ResultsListRow::KindDir
                       ? QStringLiteral("H ") + row.dirPath()
                       : (row.level ? QStringLiteral("  ") : QString()) +
                             QString::number(quintptr(row.result.get()), 16));
    return out;
}

double residentMiB()
{
    long pages = 0, resident = 0;
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    std::fclose(f);
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

QVariantMap nameCriterion(int op, const QString &value)
{
    return {{QStringLiteral("kind"), 1}, {QStringLiteral("operator"), op}, {QStringLiteral("value"), value}};
}

QVariantMap batchInfo(const FileSearchResultList &batch)
{
    return {{QStringLiteral("kind"), 1}, {QStringLiteral("results"), QVariant::fromValue(batch)}};
}

class RecordingListDelegate : public ResultsListViewControllerDelegate
{
public:
    void resultsListViewControllerChanged(ResultsListViewController *, const QVariantMap &change) override
    {
        changes.append(change);
    }
    QList<QVariantMap> changes;
};

class ResultsListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kztest::resetTestEnvironment();
        tree.mkdir(QStringLiteral("docs"));
        tree.mkdir(QStringLiteral("docs/old"));
        tree.writeFile(QStringLiteral("top.txt"), "xyz");
        tree.writeFile(QStringLiteral("docs/Report.txt"), "report content");
        tree.writeFile(QStringLiteral("docs/notes.txt"), "notes!");
        tree.makeSized(QStringLiteral("docs/big.bin"), 50000);
        tree.writeFile(QStringLiteral("docs/old/alone.txt"), "a");
        controller.setDelegateController(&delegate);
        window.resize(700, 400);
        controller.view()->setParent(&window);
        controller.view()->resize(700, 400);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        session.setScopeDir(tree.root());
        session.setCriteria({nameCriterion(1, QStringLiteral("rep"))});
    }
    void TearDown() override { KZFileViewer::setCallHandlerForTesting({}); }

    // Hands batches to the list as the session's notification would, then inserts them.
    void deliver(const QList<FileSearchResultList> &batches)
    {
        for (const FileSearchResultList &batch : batches)
            controller.not_fileSearchObjectDidUpdated(&session, batchInfo(batch));
        controller.not_fileSearchObjectDidUpdated(&session, {{QStringLiteral("kind"), 2}});
    }

    QStringList rowSummary() const
    {
        QStringList out;
        for (const ResultsListRow &row : controller.objectList())
            out.append(row.kind == ResultsListRow::KindDir
                           ? QStringLiteral("H:") + row.dirPath().mid(tree.root().size())
                           : (row.level ? QStringLiteral("  ") : QString()) + row.result->path().mid(tree.root().size()));
        return out;
    }

    kztest::TempTree tree;
    QWidget window;
    RecordingListDelegate delegate;
    ResultsListViewController controller;
    KZFileSearchObject session;
};

TEST_F(ResultsListTest, GroupsRunsOfOneFolderOnly)
{
    const auto top = resultAt(tree.path(QStringLiteral("top.txt")));
    const auto report = resultAt(tree.path(QStringLiteral("docs/Report.txt")));
    const auto notes = resultAt(tree.path(QStringLiteral("docs/notes.txt")));
    const auto alone = resultAt(tree.path(QStringLiteral("docs/old/alone.txt")));
    const auto big = resultAt(tree.path(QStringLiteral("docs/big.bin")));
    const auto topDir = resultAt(tree.path(QStringLiteral("docs")));

    // Scope-folder results never get a header, even two in a row.
    const ResultsListRows scopeRows = ResultsListGroupResults({top, topDir}, tree.root());
    ASSERT_EQ(scopeRows.size(), 2);
    EXPECT_EQ(scopeRows.at(0).kind, ResultsListRow::KindResult);
    EXPECT_FALSE(scopeRows.at(0).level);
    EXPECT_FALSE(scopeRows.at(1).level);

    // docs twice, old once, docs again: only neighbours fold.
    const ResultsListRows rows = ResultsListGroupResults({report, notes, alone, big}, tree.root());
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows.at(0).kind, ResultsListRow::KindDir);
    EXPECT_EQ(rows.at(0).dirPath(), tree.path(QStringLiteral("docs")));
    EXPECT_TRUE(rows.at(1).level);
    EXPECT_EQ(rows.at(1).result, report);
    EXPECT_TRUE(rows.at(2).level);
    EXPECT_EQ(rows.at(2).result, notes);
    EXPECT_FALSE(rows.at(3).level);
    EXPECT_EQ(rows.at(3).result, alone);
    EXPECT_FALSE(rows.at(4).level);
    EXPECT_EQ(rows.at(4).result, big);
    EXPECT_TRUE(ResultsListGroupResults({}, tree.root()).isEmpty());
}

TEST_F(ResultsListTest, BatchesAppendWithoutMergingUntilASort)
{
    controller.updateUI(tree.root(), &session);
    const auto report = resultAt(tree.path(QStringLiteral("docs/Report.txt")));
    const auto notes = resultAt(tree.path(QStringLiteral("docs/notes.txt")));
    const auto big = resultAt(tree.path(QStringLiteral("docs/big.bin")));
    const auto alone = resultAt(tree.path(QStringLiteral("docs/old/alone.txt")));

    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({report, notes}));
    // Queued, then inserted by the timer without a reset of the table.
    EXPECT_EQ(controller.pendingRowCount(), 3);
    int resets = 0, inserts = 0;
    QObject::connect(controller.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(controller.model(), &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    ASSERT_TRUE(kztest::waitUntil([&] { return controller.objectList().size() == 3; }));
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({big, alone}));
    // A notification of another session is ignored.
    KZFileSearchObject other;
    controller.not_fileSearchObjectDidUpdated(&other, batchInfo({report}));
    controller.not_fileSearchObjectDidUpdated(&session, {{QStringLiteral("kind"), 2}});
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(inserts, 2);
    EXPECT_EQ(controller.model()->rowCount(), 5);
    EXPECT_EQ(rowSummary(), QStringList({QStringLiteral("H:/docs"), QStringLiteral("  /docs/Report.txt"),
                                          QStringLiteral("  /docs/notes.txt"), QStringLiteral("/docs/big.bin"),
                                          QStringLiteral("/docs/old/alone.txt")}));

    // The same folder in a third batch: a second header row for docs.
    const auto again1 = resultAt(tree.path(QStringLiteral("docs")));
    Q_UNUSED(again1)
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({report, notes}));
    controller.flushPendingRows();
    EXPECT_EQ(controller.objectList().count() , 8);
    int headers = 0;
    for (const ResultsListRow &row : controller.objectList())
        headers += row.kind == ResultsListRow::KindDir && row.dirPath() == tree.path(QStringLiteral("docs"));
    EXPECT_EQ(headers, 2);
}

TEST_F(ResultsListTest, SortingRebuildsFromTheSessionAndKeepsTheSelection)
{
    // A real walk fills the session, so the rebuild reads its results.
    session.setCriteria({nameCriterion(1, QStringLiteral("t"))});
    QThreadPool pool;
    controller.updateUI(tree.root(), &session);
    QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated,
                     &controller, [&](QObject *o, const QVariantMap &info) { controller.not_fileSearchObjectDidUpdated(o, info); });
    session.startSearch(&pool);
    ASSERT_TRUE(kztest::waitUntil([&] { return !session.isSearching(); }));
    pool.waitForDone();
    ASSERT_TRUE(kztest::waitUntil([&] { return controller.pendingRowCount() == 0 && !controller.objectList().isEmpty(); }));
    // top.txt, Report.txt, notes.txt, alone.txt (names containing "t").
    EXPECT_EQ(session.results().size(), 4);

    // Select notes.txt, then sort by name by clicking the header.
    int notesRow = -1;
    for (int i = 0; i < controller.objectList().size(); ++i)
        if (controller.objectList().at(i).kind == ResultsListRow::KindResult &&
            controller.objectList().at(i).result->fileName() == QStringLiteral("notes.txt"))
            notesRow = i;
    ASSERT_GE(notesRow, 0);
    controller.mTableView()->selectRow(notesRow);
    QHeaderView *header = controller.mTableView()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(0) + 20, header->height() / 2));
    ASSERT_EQ(header->sortIndicatorSection(), 0);
    const QStringList sorted = rowSummary();
    EXPECT_EQ(sorted, QStringList({QStringLiteral("H:/docs"), QStringLiteral("  /docs/Report.txt"),
                                    QStringLiteral("  /docs/notes.txt"), QStringLiteral("/docs/old/alone.txt"),
                                    QStringLiteral("/top.txt")}));
    const QList<int> selected = controller.selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(controller.objectList().at(selected.first()).result->fileName(), QStringLiteral("notes.txt"));

    // Later batches with a sort active are merged in order (here: the same files again).
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({resultAt(tree.path(QStringLiteral("docs/big.bin")))}));
    controller.flushPendingRows();
    EXPECT_EQ(rowSummary(), QStringList({QStringLiteral("H:/docs"), QStringLiteral("  /docs/Report.txt"),
                                          QStringLiteral("  /docs/big.bin"), QStringLiteral("  /docs/notes.txt"),
                                          QStringLiteral("/docs/old/alone.txt"), QStringLiteral("/top.txt")}));

    // Sorting by size, largest first, orders the session's results by fileSize
    // and groups only neighbours: Report (14) and notes (6) share docs.
    controller.mTableView()->setColumnHidden(ResultsListViewController::ColumnSize, false);
    header->setSortIndicator(ResultsListViewController::ColumnSize, Qt::DescendingOrder);
    EXPECT_EQ(rowSummary(), QStringList({QStringLiteral("H:/docs"), QStringLiteral("  /docs/Report.txt"),
                                          QStringLiteral("  /docs/notes.txt"), QStringLiteral("/top.txt"),
                                          QStringLiteral("/docs/old/alone.txt")}));
    EXPECT_EQ(controller.objectList().at(controller.selectedRows().value(0, 0)).result->fileName(),
              QStringLiteral("notes.txt"));
}

TEST_F(ResultsListTest, NameCellsCarryPrefixBoldNameAndHighlight)
{
    controller.updateUI(tree.root(), &session);
    EXPECT_EQ(controller.criterionFilenameToMatch(), QStringLiteral("rep"));
    const auto report = resultAt(tree.path(QStringLiteral("docs/Report.txt")));
    const auto alone = resultAt(tree.path(QStringLiteral("docs/old/alone.txt")));
    const auto top = resultAt(tree.path(QStringLiteral("top.txt")));
    deliver({{report}, {alone}, {top}});
    ASSERT_EQ(controller.objectList().size(), 3);
    ResultsListModel *model = controller.model();

    // A single result below the scope: its folder, abbreviated, as a prefix.
    EXPECT_EQ(model->index(0, 0).data(Qt::DisplayRole).toString(), QStringLiteral("docs/Report.txt"));
    EXPECT_EQ(model->index(1, 0).data(Qt::DisplayRole).toString(), QStringLiteral("docs/old/alone.txt"));
    EXPECT_EQ(model->index(2, 0).data(Qt::DisplayRole).toString(), QStringLiteral("top.txt"));
    EXPECT_EQ(model->index(0, 0).data(Qt::ToolTipRole).toString(), report->path());
    const auto display = model->index(0, 0).data(ResultsListViewController::DisplayNameRole).value<ResultListDisplayName>();
    EXPECT_EQ(display.name, QStringLiteral("Report.txt"));
    EXPECT_EQ(display.matchStart, 0);
    EXPECT_EQ(display.matchLength, 3);
    EXPECT_EQ(model->index(1, 0).data(ResultsListViewController::DisplayNameRole).value<ResultListDisplayName>().matchStart, -1);

    // The highlight is really drawn: yellow pixels in the first row, none in the others.
    controller.mTableView()->clearSelection();
    auto yellowIn = [&](int row) {
        const QRect rect = controller.mTableView()->visualRect(model->index(row, 0));
        const QImage image = controller.mTableView()->viewport()->grab(rect).toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 240 && c.green() > 240 && c.blue() < 40;
            }
        return count;
    };
    EXPECT_GT(yellowIn(0), 20);
    EXPECT_EQ(yellowIn(1), 0);
    EXPECT_EQ(yellowIn(2), 0);

    // Another operator ("is") highlights nothing.
    KZFileSearchObject exact;
    exact.setScopeDir(tree.root());
    exact.setCriteria({nameCriterion(4, QStringLiteral("Report.txt"))});
    controller.updateUI(tree.root(), &exact);
    EXPECT_TRUE(controller.criterionFilenameToMatch().isEmpty());
    const auto report2 = resultAt(tree.path(QStringLiteral("docs/Report.txt")));
    controller.not_fileSearchObjectDidUpdated(&exact, batchInfo({report2}));
    controller.flushPendingRows();
    EXPECT_EQ(yellowIn(0), 0);
}

TEST_F(ResultsListTest, ColumnVisibilityCyclesAndPersists)
{
    const QString key = QStringLiteral("ResultsListViewController-visibleColumns-size");
    controller.updateUI(tree.root(), &session);
    QTableView *table = controller.mTableView();
    const int size = ResultsListViewController::ColumnSize;
    EXPECT_TRUE(table->isColumnHidden(size)); // automatic, and no size criterion
    EXPECT_EQ(controller.visibleColsStatus(QStringLiteral("size")), -1);

    controller.cycleVisibleColumn(QStringLiteral("size"));
    EXPECT_EQ(controller.visibleColumnValue(QStringLiteral("size")), 1);
    EXPECT_FALSE(table->isColumnHidden(size));
    EXPECT_EQ(controller.visibleColsStatus(QStringLiteral("size")), 1);
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().integerForKey(key), 1);

    controller.cycleVisibleColumn(QStringLiteral("size"));
    EXPECT_EQ(controller.visibleColumnValue(QStringLiteral("size")), -1);
    EXPECT_TRUE(table->isColumnHidden(size));
    EXPECT_EQ(controller.visibleColsStatus(QStringLiteral("size")), 0);
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().integerForKey(key), -1);

    // Hidden, yet a search with a size criterion shows it again.
    KZFileSearchObject sized;
    sized.setScopeDir(tree.root());
    sized.setCriteria({QVariantMap{{QStringLiteral("kind"), 2}, {QStringLiteral("operator"), 6}, {QStringLiteral("value"), 10}}});
    controller.updateUI(tree.root(), &sized);
    EXPECT_FALSE(table->isColumnHidden(size));
    EXPECT_TRUE(table->isColumnHidden(ResultsListViewController::ColumnDateModified));

    controller.cycleVisibleColumn(QStringLiteral("size"));
    EXPECT_EQ(controller.visibleColumnValue(QStringLiteral("size")), 0);
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().integerForKey(key, 99), 0);

    // A new list reads the stored values back.
    controller.cycleVisibleColumn(QStringLiteral("dateCreated"));
    ResultsListViewController second;
    second.view();
    EXPECT_EQ(second.visibleColumnValue(QStringLiteral("dateCreated")), 1);
    second.updateUI(tree.root(), &session);
    EXPECT_FALSE(second.mTableView()->isColumnHidden(ResultsListViewController::ColumnDateCreated));
}

TEST_F(ResultsListTest, SelectionPathBarAndDoubleClickReveal)
{
    QList<QPair<QString, QList<QUrl>>> calls;
    KZFileViewer::setCallHandlerForTesting([&](const QString &method, const QList<QUrl> &urls) {
        calls.append({method, urls});
        return true;
    });
    controller.updateUI(tree.root(), &session);
    const auto report = resultAt(tree.path(QStringLiteral("docs/Report.txt")));
    const auto notes = resultAt(tree.path(QStringLiteral("docs/notes.txt")));
    deliver({{report, notes}});
    ASSERT_EQ(controller.objectList().size(), 3);
    delegate.changes.clear();

    controller.mTableView()->selectRow(1);
    ASSERT_FALSE(delegate.changes.isEmpty());
    QVariantMap change = delegate.changes.last();
    EXPECT_EQ(change.value(QStringLiteral("type")).toInt(), 1);
    EXPECT_EQ(change.value(QStringLiteral("path")).toString(), report->path());
    EXPECT_TRUE(change.value(QStringLiteral("isRegular")).toBool());
    EXPECT_EQ(controller.mPathControl()->URL(), report->fileURL());
    EXPECT_EQ(controller.mPathControl()->componentURLs().last(), report->fileURL());

    // The header row: its folder, not regular.
    controller.mTableView()->selectRow(0);
    change = delegate.changes.last();
    EXPECT_EQ(change.value(QStringLiteral("path")).toString(), tree.path(QStringLiteral("docs")));
    EXPECT_FALSE(change.value(QStringLiteral("isRegular")).toBool());

    // Several rows: the type alone, and an empty path bar.
    controller.mTableView()->selectionModel()->select(
        QItemSelection(controller.model()->index(0, 0), controller.model()->index(2, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    change = delegate.changes.last();
    EXPECT_EQ(change, QVariantMap({{QStringLiteral("type"), 1}}));
    EXPECT_TRUE(controller.mPathControl()->URL().isEmpty());
    EXPECT_TRUE(controller.mPathControl()->componentURLs().isEmpty());

    // Double click on a row reveals it; the path bar's buttons reveal their folder.
    QTableView *table = controller.mTableView();
    const QRect rowRect = table->visualRect(controller.model()->index(2, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowRect.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowRect.center());
    ASSERT_FALSE(calls.isEmpty());
    EXPECT_EQ(calls.last().first, QStringLiteral("ShowItems"));
    EXPECT_EQ(calls.last().second, QList<QUrl>({notes->fileURL()}));
    const int before = int(calls.size());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, table->viewport()->height() - 5));
    EXPECT_EQ(calls.size(), before); // below the last row: nothing

    table->selectRow(2);
    QToolButton *docsButton = controller.mPathControl()->buttonAt(int(controller.mPathControl()->componentURLs().size()) - 2);
    ASSERT_NE(docsButton, nullptr);
    QTest::mouseClick(docsButton, Qt::LeftButton);
    EXPECT_EQ(calls.last().second, QList<QUrl>({QUrl::fromLocalFile(tree.path(QStringLiteral("docs")))}));

    // The File menu's commands act on the selection through the table.
    QAction reveal;
    reveal.setObjectName(QStringLiteral("mi_file_showInFinder"));
    QAction other;
    other.setObjectName(QStringLiteral("mi_file_newWindow"));
    auto *menuTarget = static_cast<ResultsListTableView *>(table);
    EXPECT_TRUE(menuTarget->documentWindowValidateMenuItem(&reveal));
    EXPECT_FALSE(menuTarget->documentWindowValidateMenuItem(&other));
    menuTarget->documentWindowPerformMenuItem(&reveal);
    EXPECT_EQ(calls.last().second, QList<QUrl>({notes->fileURL()}));
    table->clearSelection();
    EXPECT_FALSE(menuTarget->documentWindowValidateMenuItem(&reveal));
}

TEST_F(ResultsListTest, DeletedFileIsDimmedWhenTheWindowBecomesMainAgain)
{
    controller.updateUI(tree.root(), &session);
    const auto report = resultAt(tree.path(QStringLiteral("docs/Report.txt")));
    const auto top = resultAt(tree.path(QStringLiteral("top.txt")));
    deliver({{report}, {top}});
    ResultsListModel *model = controller.model();
    EXPECT_DOUBLE_EQ(model->index(0, 0).data(ResultsListViewController::IconOpacityRole).toDouble(), 1.0);

    tree.remove(QStringLiteral("docs/Report.txt"));
    QList<int> changedRows;
    QObject::connect(model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex &from, const QModelIndex &) { changedRows.append(from.row()); });
    controller.not_windowDidBecomeMain();
    EXPECT_EQ(changedRows, QList<int>({0}));
    EXPECT_DOUBLE_EQ(model->index(0, 0).data(ResultsListViewController::IconOpacityRole).toDouble(), 0.33);
    EXPECT_DOUBLE_EQ(model->index(1, 0).data(ResultsListViewController::IconOpacityRole).toDouble(), 1.0);
    changedRows.clear();
    controller.not_windowDidBecomeMain();
    EXPECT_TRUE(changedRows.isEmpty()); // still gone: nothing to redraw
}

TEST_F(ResultsListTest, FolderSizesShowOnlyWhenAskedFor)
{
    controller.updateUI(tree.root(), &session);
    const auto docs = resultAt(tree.path(QStringLiteral("docs")));
    const auto big = resultAt(tree.path(QStringLiteral("docs/big.bin")));
    const auto alone = resultAt(tree.path(QStringLiteral("docs/old/alone.txt")));
    deliver({{docs}, {big}, {alone}});
    ResultsListModel *model = controller.model();
    const int size = ResultsListViewController::ColumnSize;
    EXPECT_EQ(model->index(1, size).data(ResultsListViewController::FileSizeRole).toULongLong(), 50000u);
    // A one-byte file once read "1 bytes".
    EXPECT_EQ(model->index(2, size).data(Qt::DisplayRole).toString(), QStringLiteral("1 byte"));
    EXPECT_FALSE(model->index(0, size).data(ResultsListViewController::FileSizeRole).isValid());

    controller.addCalculatedDirSize(docs->path());
    QList<int> changedRows;
    QObject::connect(model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex &from, const QModelIndex &to) {
                         if (from.column() == size && to.column() == size)
                             changedRows.append(from.row());
                     });
    ASSERT_TRUE(DirSizeCalculator::sharedInstance()->startCalculateSizeOfDirPath(docs->path()));
    ASSERT_TRUE(kztest::waitUntil([&] { return !changedRows.isEmpty(); }));
    EXPECT_EQ(changedRows.first(), 0);
    // Report 14 + notes 6 + big 50000 + alone 1
    EXPECT_EQ(model->index(0, size).data(ResultsListViewController::FileSizeRole).toULongLong(), 50021u);
}

TEST_F(ResultsListTest, ThumbnailArrivalRedrawsOneCell)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 30));
    ASSERT_TRUE(image.save(tree.path(QStringLiteral("docs/photo.png"))));
    controller.updateUI(tree.root(), &session);
    const auto photo = resultAt(tree.path(QStringLiteral("docs/photo.png")));
    const auto notes = resultAt(tree.path(QStringLiteral("docs/notes.txt")));
    QList<QPair<QModelIndex, QModelIndex>> changes;
    QObject::connect(controller.model(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex &from, const QModelIndex &to) { changes.append({from, to}); });
    deliver({{notes, photo}});
    ASSERT_EQ(controller.objectList().size(), 3);
    // Drawing the row asks for the icon and starts the load; the theme icon stands in meanwhile.
    const QPixmap first = controller.model()->index(2, 0).data(Qt::DecorationRole).value<QPixmap>();
    EXPECT_FALSE(first.isNull());
    ASSERT_TRUE(kztest::waitUntil([&] { return !changes.isEmpty(); }, 10000));
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.first().first, controller.model()->index(2, 0));
    EXPECT_EQ(changes.first().second, controller.model()->index(2, 0));
    const QImage thumb = controller.model()->index(2, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
    ASSERT_FALSE(thumb.isNull());
    // The thumbnail shows the picture's red somewhere in its middle.
    const QColor middle = thumb.pixelColor(thumb.width() / 2, thumb.height() / 2);
    EXPECT_GT(middle.red(), 150);
    EXPECT_LT(middle.green(), 80);
}

TEST_F(ResultsListTest, SortedMergesGiveTheRowsOfAFullSortWithoutAReset)
{
    // With a sort active every insertion tick sorted and regrouped all rows and
    // reset the table: quadratic over a long search, and the view lost its
    // place. New results are merged into the rows instead, which must give
    // exactly the rows of a full sort and grouping.
    struct Case {
        int column;
        Qt::SortOrder order;
    };
    const Case cases[] = {{ResultsListViewController::ColumnName, Qt::AscendingOrder},
                          {ResultsListViewController::ColumnName, Qt::DescendingOrder},
                          {ResultsListViewController::ColumnSize, Qt::DescendingOrder},
                          {ResultsListViewController::ColumnSize, Qt::AscendingOrder},
                          {ResultsListViewController::ColumnDateModified, Qt::AscendingOrder},
                          {ResultsListViewController::ColumnDateCreated, Qt::DescendingOrder}};
    const QByteArray root = tree.rootBytes();
    const QList<QByteArray> dirs{root, root + "/a", root + "/b", root + "/a/c"};
    // Names that differ first in a multi-byte character, in characters whose
    // UTF-16 order differs from their byte order, and in bytes that are not UTF-8.
    const QList<QByteArray> names{"x.txt", "Y", "\xc3\xa9", "\xc3\xaa", "\xf0\x9f\x98\x80", "\xef\xbc\x81",
                                  "\xff", "\xc3", "a\xc3", "a"};
    QHeaderView *header = controller.mTableView()->horizontalHeader();
    for (int c : {ResultsListViewController::ColumnDateModified, ResultsListViewController::ColumnDateCreated,
                  ResultsListViewController::ColumnSize})
        controller.mTableView()->setColumnHidden(c, false);
    for (const Case &test : cases) {
        SCOPED_TRACE(testing::Message() << "column " << test.column << " order " << test.order);
        std::mt19937 random(uint32_t(test.column * 2 + test.order + 1));
        auto pick = [&random](qsizetype n) { return qsizetype(random() % quint32(n)); };
        controller.updateUI(tree.root(), &session);
        header->setSortIndicator(test.column, test.order);
        ASSERT_TRUE(controller.objectList().isEmpty());
        int resets = 0;
        const auto connection =
            QObject::connect(controller.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
        FileSearchResultList all;
        FileSearchResultRef selected;
        for (int round = 0; round < 40; ++round) {
            FileSearchResultList batch;
            const qsizetype dir = pick(dirs.size());
            for (qsizetype i = 0, n = 1 + pick(10); i < n; ++i) {
                const bool folder = pick(5) == 0;
                const QByteArray path = dirs.at(pick(3) ? dir : pick(dirs.size())) + '/' + names.at(pick(names.size()));
                batch.append(synthetic(path, folder ? 'D' : 'F', folder ? 4096 : 10 * pick(4), pick(3), pick(3)));
            }
            controller.not_fileSearchObjectDidUpdated(&session, batchInfo(batch));
            all += batch;
            if (pick(3) != 0 && round != 39)
                continue;
            controller.flushPendingRows();
            FileSearchResultList expected = all;
            const bool ascending = test.order == Qt::AscendingOrder;
            // Today's order: the keys, and the decoded paths compared as QString does.
            auto less = [&](const FileSearchResultRef &a, const FileSearchResultRef &b) {
                const FileSearchResultRef &x = ascending ? a : b;
                const FileSearchResultRef &y = ascending ? b : a;
                switch (test.column) {
                case ResultsListViewController::ColumnSize: return x->fileSize() < y->fileSize();
                case ResultsListViewController::ColumnDateModified:
                    return x->modificationDate() < y->modificationDate();
                case ResultsListViewController::ColumnDateCreated: return x->creationDate() < y->creationDate();
                default: return x->path() < y->path();
                }
            };
            std::stable_sort(expected.begin(), expected.end(), less);
            ASSERT_EQ(rowIdentities(controller.objectList()),
                      rowIdentities(ResultsListGroupResults(expected, tree.root())))
                << "after round " << round;
            ASSERT_EQ(controller.mTableView()->verticalHeader()->count(), controller.model()->rowCount());
            // The selected row follows its result through the merges.
            const QList<int> rows = controller.selectedRows();
            if (selected) {
                ASSERT_EQ(rows.size(), 1);
                EXPECT_EQ(controller.objectList().at(rows.first()).result, selected);
            } else if (controller.objectList().size() > 3) {
                const int row = int(controller.objectList().size()) / 2;
                controller.mTableView()->selectRow(row);
                selected = controller.objectList().at(row).result;
                if (controller.objectList().at(row).kind != ResultsListRow::KindResult)
                    controller.mTableView()->clearSelection(), selected = nullptr;
            }
        }
        QObject::disconnect(connection);
        EXPECT_EQ(resets, 0);
    }
}

TEST_F(ResultsListTest, ThumbnailsGoToTheRowOfTheirPathAfterMerges)
{
    // Each thumbnail scanned every row, decoding every path on the way.
    controller.updateUI(tree.root(), &session);
    QHeaderView *header = controller.mTableView()->horizontalHeader();
    header->setSortIndicator(ResultsListViewController::ColumnName, Qt::DescendingOrder);
    const QByteArray root = tree.rootBytes();
    const auto inA = synthetic(root + "/a/photo.png", 'F', 10);
    const auto inB = synthetic(root + "/b/photo.png", 'F', 20);
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({inA, inB}));
    controller.flushPendingRows();
    ResultsListModel *model = controller.model();
    auto rowOf = [&](const FileSearchResultRef &r) {
        for (int i = 0; i < controller.objectList().size(); ++i)
            if (controller.objectList().at(i).kind == ResultsListRow::KindResult &&
                controller.objectList().at(i).result == r)
                return i;
        return -1;
    };
    // Drawing the rows asks for their thumbnails.
    model->index(rowOf(inA), 0).data(Qt::DecorationRole);
    model->index(rowOf(inB), 0).data(Qt::DecorationRole);
    // Later results sort before both and move their rows down.
    FileSearchResultList later;
    for (const char *name : {"/c/1", "/c/2", "/d/3"})
        later.append(synthetic(root + name, 'F', 1));
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo(later));
    controller.flushPendingRows();
    ASSERT_EQ(rowOf(inB), 4);

    QList<QModelIndex> changes;
    QObject::connect(model, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex &from, const QModelIndex &to) {
                         EXPECT_EQ(from, to);
                         changes.append(from);
                     });
    QPixmap thumbnail(16, 16);
    thumbnail.fill(Qt::red);
    ASSERT_TRUE(controller.finderFileIcon()->updatedIconBk());
    controller.finderFileIcon()->updatedIconBk()(inB->path(), thumbnail);
    EXPECT_EQ(changes, QList<QModelIndex>({model->index(4, 0)}));
    EXPECT_EQ(inB->fileIcon().value<QPixmap>().cacheKey(), thumbnail.cacheKey());
    EXPECT_NE(inA->fileIcon().value<QPixmap>().cacheKey(), thumbnail.cacheKey());
    // A path the list never asked for changes nothing.
    changes.clear();
    controller.finderFileIcon()->updatedIconBk()(QString::fromUtf8(root + "/c/1"), thumbnail);
    EXPECT_TRUE(changes.isEmpty());
}

TEST_F(ResultsListTest, ResultsTakeFewBytesAndEmptyingTheListGivesMemoryBack)
{
    // A search of 2.4 million results took the window to 1.9 GB, and it still
    // held 1.8 GB once Escape had emptied it.
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps no malloc statistics";
#endif
    constexpr int count = 40000;
    controller.updateUI(tree.root(), &session);
    const QByteArray root = tree.rootBytes();
    FileSearchResultList kept; // what the session keeps
    std::vector<QByteArray> survivors; // long-lived blocks between the results, as in a real heap
    const double residentBefore = residentMiB();
    const size_t before = mallinfo2().uordblks;
    for (int folder = 0; folder < count / 200; ++folder) {
        FileSearchResultList batch;
        const QByteArray dir = root + "/Pictures/2023/holiday-" + QByteArray::number(folder);
        for (int i = 0; i < 200; ++i) {
            batch.append(synthetic(dir + "/IMG_" + QByteArray::number(100000 + i) + ".jpg", 'F', i));
            if (i % 64 == 0)
                survivors.emplace_back(40, 'x');
        }
        kept += batch;
        controller.not_fileSearchObjectDidUpdated(&session, batchInfo(batch));
    }
    controller.flushPendingRows();
    ASSERT_EQ(controller.objectList().size(), count + count / 200);
    // Drawing a page and a thumbnail's arrival build what a shown row needs.
    controller.mTableView()->viewport()->repaint();
    controller.finderFileIcon()->updatedIconBk()(kept.at(1)->path(), QPixmap(16, 16));
    const double perResult = double(mallinfo2().uordblks - before) / count;
    EXPECT_LE(perResult, 300.0);

    const double residentFull = residentMiB();
    kept.clear();
    KZFileSearchObject next;
    controller.updateUI(tree.root(), &next);
    EXPECT_TRUE(kztest::waitUntil([&] { return residentMiB() < residentFull - (residentFull - residentBefore) / 2; }))
        << "resident " << residentBefore << " MiB before, " << residentFull << " MiB full, " << residentMiB()
        << " MiB emptied; " << perResult << " bytes per result";
}

} // namespace
