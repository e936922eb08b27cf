#include <malloc.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <random>

#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <QThreadPool>

#include "engine/DirSizeCalculator.h"
#include "engine/KZFileSearchObject.h"
#include "platform/KZPosixFS.h"
#include "results/KZFileViewer.h"
#include "results/KZFinderFileIcon.h"
#include "results/KZPathBar.h"
#include "results/ResultsListModel.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsListViewController.h"
#include "support/KZNotificationCenter.h"
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

QStringList L(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *item : items)
        out.append(QString::fromUtf8(item));
    return out;
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
        controller.updateUI(tree.root(), &session);
    }
    void TearDown() override { KZFileViewer::setCallHandlerForTesting({}); }

    // Hands batches to the list as the session's notification would, then inserts them.
    void deliver(const QList<FileSearchResultList> &batches)
    {
        for (const FileSearchResultList &batch : batches)
            controller.not_fileSearchObjectDidUpdated(&session, batchInfo(batch));
        controller.not_fileSearchObjectDidUpdated(&session, {{QStringLiteral("kind"), 2}});
    }

    FileSearchResultRef at(const char *relative) const { return resultAt(tree.path(QString::fromUtf8(relative))); }

    QStringList rowSummary() const
    {
        QStringList out;
        for (const ResultsListRow &row : controller.objectList())
            out.append(row.kind == ResultsListRow::KindDir
                           ? QStringLiteral("H:") + row.dirPath().mid(tree.root().size())
                           : (row.level ? QStringLiteral("  ") : QString()) + row.result->path().mid(tree.root().size()));
        return out;
    }

    int rowOf(const FileSearchResultRef &r) const
    {
        for (int i = 0; i < controller.objectList().size(); ++i)
            if (controller.objectList().at(i).kind == ResultsListRow::KindResult && controller.objectList().at(i).result == r)
                return i;
        return -1;
    }

    kztest::TempTree tree;
    QWidget window;
    RecordingListDelegate delegate;
    ResultsListViewController controller;
    KZFileSearchObject session;
};

TEST_F(ResultsListTest, BatchesAppendWithoutMergingUntilASort)
{
    const auto report = at("docs/Report.txt"), notes = at("docs/notes.txt");
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({report, notes}));
    // Queued, then inserted by the timer without a reset of the table.
    EXPECT_EQ(controller.pendingRowCount(), 3);
    int resets = 0, inserts = 0;
    QObject::connect(controller.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(controller.model(), &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    ASSERT_TRUE(kztest::waitUntil([&] { return controller.objectList().size() == 3; }));
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({at("docs/big.bin"), at("docs/old/alone.txt")}));
    // A notification of another session is ignored.
    KZFileSearchObject other;
    controller.not_fileSearchObjectDidUpdated(&other, batchInfo({report}));
    controller.not_fileSearchObjectDidUpdated(&session, {{QStringLiteral("kind"), 2}});
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(inserts, 2);
    EXPECT_EQ(controller.model()->rowCount(), 5);
    EXPECT_EQ(rowSummary(), L({"H:/docs", "  /docs/Report.txt", "  /docs/notes.txt", "/docs/big.bin", "/docs/old/alone.txt"}));
    // The same folder in a third batch: a second header row for docs.
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({report, notes}));
    controller.flushPendingRows();
    EXPECT_EQ(rowSummary().count(QStringLiteral("H:/docs")), 2);
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

    // Select notes.txt, then sort by name by clicking the header.
    const auto &results = session.results();
    const auto notes = std::find_if(results.begin(), results.end(),
                                    [](const auto &r) { return r->fileName() == QStringLiteral("notes.txt"); });
    ASSERT_NE(notes, results.end());
    controller.mTableView()->selectRow(rowOf(*notes));
    QHeaderView *header = controller.mTableView()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(0) + 20, header->height() / 2));
    ASSERT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(rowSummary(), L({"H:/docs", "  /docs/Report.txt", "  /docs/notes.txt", "/docs/old/alone.txt", "/top.txt"}));
    auto selectedName = [&] {
        const QList<int> selected = controller.selectedRows();
        return selected.size() == 1 ? controller.objectList().at(selected.first()).result->fileName() : QString();
    };
    EXPECT_EQ(selectedName(), QStringLiteral("notes.txt"));

    // A row the session does not hold goes at the next sort, which reads the
    // session's results: largest first; only neighbours share a header.
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({at("docs/big.bin")}));
    controller.flushPendingRows();
    controller.mTableView()->setColumnHidden(ResultsListViewController::ColumnSize, false);
    header->setSortIndicator(ResultsListViewController::ColumnSize, Qt::DescendingOrder);
    EXPECT_EQ(rowSummary(), L({"H:/docs", "  /docs/Report.txt", "  /docs/notes.txt", "/top.txt", "/docs/old/alone.txt"}));
    EXPECT_EQ(selectedName(), QStringLiteral("notes.txt"));
}

TEST_F(ResultsListTest, NameCellsCarryPrefixBoldNameAndHighlight)
{
    EXPECT_EQ(controller.criterionFilenameToMatch(), QStringLiteral("rep"));
    const auto report = at("docs/Report.txt");
    deliver({{report}, {at("docs/old/alone.txt")}, {at("top.txt")}});
    ResultsListModel *model = controller.model();
    // A single result below the scope: its folder, abbreviated, as a prefix.
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row)
        shown.append(model->index(row, 0).data(Qt::DisplayRole).toString());
    EXPECT_EQ(shown, L({"docs/Report.txt", "docs/old/alone.txt", "top.txt"}));
    EXPECT_EQ(model->index(0, 0).data(Qt::ToolTipRole).toString(), report->path());
    const auto display = model->index(0, 0).data(ResultsListViewController::DisplayNameRole).value<ResultListDisplayName>();
    EXPECT_EQ(display.name, QStringLiteral("Report.txt"));
    EXPECT_EQ(std::pair(display.matchStart, display.matchLength), std::pair(0, 3));

    // The highlight is really drawn: yellow pixels in the first row, none in the others.
    controller.mTableView()->clearSelection();
    auto yellowIn = [&](int row) {
        const QImage image = controller.mTableView()->viewport()->grab(controller.mTableView()->visualRect(model->index(row, 0))).toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 240 && c.green() > 240 && c.blue() < 40;
            }
        return count;
    };
    EXPECT_GT(yellowIn(0), 20);
    EXPECT_EQ(yellowIn(1) + yellowIn(2), 0);

    // Another operator ("is") highlights nothing.
    KZFileSearchObject exact;
    exact.setCriteria({nameCriterion(4, QStringLiteral("Report.txt"))});
    controller.updateUI(tree.root(), &exact);
    EXPECT_TRUE(controller.criterionFilenameToMatch().isEmpty());
    controller.not_fileSearchObjectDidUpdated(&exact, batchInfo({at("docs/Report.txt")}));
    controller.flushPendingRows();
    EXPECT_EQ(yellowIn(0), 0);
}

TEST_F(ResultsListTest, ColumnVisibilityCyclesAndPersists)
{
    const QString size = QStringLiteral("size");
    QTableView *table = controller.mTableView();
    const int column = ResultsListViewController::ColumnSize;
    auto stored = [] {
        return KZUserDefaults::standardUserDefaults().integerForKey(QStringLiteral("ResultsListViewController-visibleColumns-size"), 99);
    };
    EXPECT_TRUE(table->isColumnHidden(column)); // automatic, and no size criterion
    // Automatic -> shown -> hidden, each stored.
    for (const int expected : {1, -1}) {
        controller.cycleVisibleColumn(size);
        EXPECT_EQ(controller.visibleColumnValue(size), expected);
        EXPECT_EQ(table->isColumnHidden(column), expected < 0);
        EXPECT_EQ(stored(), expected);
    }
    // Hidden, yet a search with a size criterion shows it again.
    KZFileSearchObject sized;
    sized.setCriteria({QVariantMap{{QStringLiteral("kind"), 2}, {QStringLiteral("operator"), 6}, {QStringLiteral("value"), 10}}});
    controller.updateUI(tree.root(), &sized);
    EXPECT_FALSE(table->isColumnHidden(column));
    EXPECT_TRUE(table->isColumnHidden(ResultsListViewController::ColumnDateModified));
    controller.cycleVisibleColumn(size);
    EXPECT_EQ(stored(), 0);

    // A new list reads the stored values back.
    controller.cycleVisibleColumn(QStringLiteral("dateCreated"));
    ResultsListViewController second;
    second.view();
    second.updateUI(tree.root(), &session);
    EXPECT_FALSE(second.mTableView()->isColumnHidden(ResultsListViewController::ColumnDateCreated));
}

TEST_F(ResultsListTest, SelectionPathBarAndDoubleClickReveal)
{
    QList<QList<QUrl>> revealed;
    KZFileViewer::setCallHandlerForTesting([&](const QString &method, const QList<QUrl> &urls) {
        EXPECT_EQ(method, QStringLiteral("ShowItems"));
        revealed.append(urls);
        return true;
    });
    const auto report = at("docs/Report.txt"), notes = at("docs/notes.txt");
    deliver({{report, notes}});
    ASSERT_EQ(controller.objectList().size(), 3);
    QTableView *table = controller.mTableView();
    KZPathBar *bar = controller.mPathControl();
    const QUrl docsUrl = QUrl::fromLocalFile(tree.path(QStringLiteral("docs")));

    table->selectRow(1);
    EXPECT_EQ(delegate.changes.last(), QVariantMap({{QStringLiteral("type"), 1}, {QStringLiteral("path"), report->path()},
                                                    {QStringLiteral("isRegular"), true}}));
    EXPECT_EQ(bar->URL(), report->fileURL());
    EXPECT_EQ(bar->componentURLs().last(), report->fileURL());
    // The header row: its folder, not regular.
    table->selectRow(0);
    EXPECT_EQ(delegate.changes.last().value(QStringLiteral("path")).toString(), docsUrl.toLocalFile());
    EXPECT_FALSE(delegate.changes.last().value(QStringLiteral("isRegular")).toBool());
    // Several rows: the type alone, and an empty path bar.
    table->selectionModel()->select(QItemSelection(controller.model()->index(0, 0), controller.model()->index(2, 0)),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(delegate.changes.last(), QVariantMap({{QStringLiteral("type"), 1}}));
    EXPECT_TRUE(bar->URL().isEmpty());
    EXPECT_TRUE(bar->componentURLs().isEmpty());

    // Double click on a row reveals it, below the last row nothing; the path bar's buttons reveal their folder.
    const QPoint notesPoint = table->visualRect(controller.model()->index(2, 0)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, notesPoint);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, notesPoint);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, table->viewport()->height() - 5));
    EXPECT_EQ(revealed, QList<QList<QUrl>>({{notes->fileURL()}}));
    table->selectRow(2);
    QToolButton *docsButton = bar->buttonAt(int(bar->componentURLs().size()) - 2);
    ASSERT_NE(docsButton, nullptr);
    QTest::mouseClick(docsButton, Qt::LeftButton);
    EXPECT_EQ(revealed.last(), QList<QUrl>({docsUrl}));

    // The File menu's commands act on the selection through the table.
    QAction reveal;
    reveal.setObjectName(QStringLiteral("mi_file_showInFinder"));
    auto *menuTarget = static_cast<ResultsListTableView *>(table);
    EXPECT_TRUE(menuTarget->documentWindowValidateMenuItem(&reveal));
    menuTarget->documentWindowPerformMenuItem(&reveal);
    EXPECT_EQ(revealed.last(), QList<QUrl>({notes->fileURL()}));
    table->clearSelection();
    EXPECT_FALSE(menuTarget->documentWindowValidateMenuItem(&reveal));
}

TEST_F(ResultsListTest, FolderSizesOnlyWhenAskedForAndDeletedFilesDimmed)
{
    const auto docs = at("docs");
    deliver({{docs}, {at("docs/big.bin")}, {at("docs/old/alone.txt")}});
    ResultsListModel *model = controller.model();
    const int size = ResultsListViewController::ColumnSize;

    // A file deleted meanwhile is dimmed when the window becomes main again, once.
    auto opacity = [&](int row) { return model->index(row, 0).data(ResultsListViewController::IconOpacityRole).toDouble(); };
    EXPECT_DOUBLE_EQ(opacity(2), 1.0);
    tree.remove(QStringLiteral("docs/old/alone.txt"));
    QList<int> dimmed;
    const auto dimming = QObject::connect(model, &QAbstractItemModel::dataChanged,
                                          [&](const QModelIndex &from, const QModelIndex &) { dimmed.append(from.row()); });
    controller.not_windowDidBecomeMain();
    controller.not_windowDidBecomeMain();
    QObject::disconnect(dimming);
    EXPECT_EQ(dimmed, QList<int>({2}));
    EXPECT_DOUBLE_EQ(opacity(2), 0.33);
    EXPECT_DOUBLE_EQ(opacity(1), 1.0);

    EXPECT_EQ(model->index(1, size).data(ResultsListViewController::FileSizeRole).toULongLong(), 50000u);
    // A one-byte file once read "1 bytes".
    EXPECT_EQ(model->index(2, size).data(Qt::DisplayRole).toString(), QStringLiteral("1 byte"));
    EXPECT_FALSE(model->index(0, size).data(ResultsListViewController::FileSizeRole).isValid());

    controller.addCalculatedDirSize(docs->path());
    QList<int> changedRows;
    QObject::connect(model, &QAbstractItemModel::dataChanged, [&](const QModelIndex &from, const QModelIndex &to) {
        if (from.column() == size && to.column() == size)
            changedRows.append(from.row());
    });
    ASSERT_TRUE(DirSizeCalculator::sharedInstance()->startCalculateSizeOfDirPath(docs->path()));
    ASSERT_TRUE(kztest::waitUntil([&] { return !changedRows.isEmpty(); }));
    EXPECT_EQ(changedRows.first(), 0);
    // Report 14 + notes 6 + big 50000 (alone is deleted above)
    EXPECT_EQ(model->index(0, size).data(ResultsListViewController::FileSizeRole).toULongLong(), 50020u);
}

TEST_F(ResultsListTest, SortedMergesGiveTheRowsOfAFullSortWithoutAReset)
{
    // With a sort active every insertion tick sorted and regrouped all rows and
    // reset the table: quadratic over a long search, and the view lost its
    // place. New results are merged into the rows instead, which must give
    // exactly the rows of a full sort and grouping.
    using C = ResultsListViewController;
    const std::pair<int, Qt::SortOrder> cases[] = {
        {C::ColumnName, Qt::AscendingOrder}, {C::ColumnName, Qt::DescendingOrder},         {C::ColumnSize, Qt::DescendingOrder},
        {C::ColumnSize, Qt::AscendingOrder}, {C::ColumnDateModified, Qt::AscendingOrder}, {C::ColumnDateCreated, Qt::DescendingOrder}};
    const QByteArray root = tree.rootBytes();
    const QList<QByteArray> dirs{root, root + "/a", root + "/b", root + "/a/c"};
    // Names that differ first in a multi-byte character, in characters whose
    // UTF-16 order differs from their byte order, and in bytes that are not UTF-8.
    const QList<QByteArray> names{"x.txt", "Y", "\xc3\xa9", "\xc3\xaa", "\xf0\x9f\x98\x80", "\xef\xbc\x81",
                                  "\xff", "\xc3", "a\xc3", "a"};
    QHeaderView *header = controller.mTableView()->horizontalHeader();
    for (int c : {C::ColumnDateModified, C::ColumnDateCreated, C::ColumnSize})
        controller.mTableView()->setColumnHidden(c, false);
    for (const auto &[column, order] : cases) {
        SCOPED_TRACE(testing::Message() << "column " << column << " order " << order);
        std::mt19937 random(uint32_t(column * 2 + order + 1));
        auto pick = [&random](qsizetype n) { return qsizetype(random() % quint32(n)); };
        controller.updateUI(tree.root(), &session);
        header->setSortIndicator(column, order);
        ASSERT_TRUE(controller.objectList().isEmpty());
        int resets = 0;
        const auto connection = QObject::connect(controller.model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
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
            // Today's order: the keys, and the decoded paths compared as QString does.
            auto less = [&](const FileSearchResultRef &a, const FileSearchResultRef &b) {
                const FileSearchResultRef &x = order == Qt::AscendingOrder ? a : b;
                const FileSearchResultRef &y = order == Qt::AscendingOrder ? b : a;
                switch (column) {
                case C::ColumnSize: return x->fileSize() < y->fileSize();
                case C::ColumnDateModified: return x->modificationDate() < y->modificationDate();
                case C::ColumnDateCreated: return x->creationDate() < y->creationDate();
                default: return x->path() < y->path();
                }
            };
            std::stable_sort(expected.begin(), expected.end(), less);
            ASSERT_EQ(rowIdentities(controller.objectList()), rowIdentities(ResultsListGroupResults(expected, tree.root())))
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
    controller.mTableView()->horizontalHeader()->setSortIndicator(ResultsListViewController::ColumnName, Qt::DescendingOrder);
    const QByteArray root = tree.rootBytes();
    const auto inA = synthetic(root + "/a/photo.png", 'F', 10);
    const auto inB = synthetic(root + "/b/photo.png", 'F', 20);
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo({inA, inB}));
    controller.flushPendingRows();
    ResultsListModel *model = controller.model();
    // Drawing the rows starts the loads of their thumbnails; the file's icon stands in meanwhile.
    EXPECT_FALSE(model->index(rowOf(inA), 0).data(Qt::DecorationRole).value<QPixmap>().isNull());
    model->index(rowOf(inB), 0).data(Qt::DecorationRole);
    EXPECT_TRUE(controller.finderFileIcon()->loadingPaths().contains(inB->path()));
    // Later results sort before both and move their rows down.
    FileSearchResultList later;
    for (const char *name : {"/c/1", "/c/2", "/d/3"})
        later.append(synthetic(root + name, 'F', 1));
    controller.not_fileSearchObjectDidUpdated(&session, batchInfo(later));
    controller.flushPendingRows();
    ASSERT_EQ(rowOf(inB), 4);

    QList<QModelIndex> changes;
    QObject::connect(model, &QAbstractItemModel::dataChanged, [&](const QModelIndex &from, const QModelIndex &to) {
        EXPECT_EQ(from, to);
        changes.append(from);
    });
    QPixmap thumbnail(16, 16);
    thumbnail.fill(Qt::red);
    ASSERT_TRUE(controller.finderFileIcon()->updatedIconBk());
    controller.finderFileIcon()->updatedIconBk()(inB->path(), thumbnail);
    EXPECT_EQ(changes, QList<QModelIndex>({model->index(4, 0)}));
    EXPECT_EQ(model->index(4, 0).data(Qt::DecorationRole).value<QPixmap>().cacheKey(), thumbnail.cacheKey());
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
