#include "results/ResultsListViewController.h"

#include <algorithm>

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QThreadPool>
#include <QVBoxLayout>
#include <string>
#include <unordered_set>

#include "engine/DirSizeCalculator.h"
#include "engine/KZFileSearchObject.h"
#include "platform/KZProcessMemory.h"
#include "results/Functions.h"
#include "results/KZFileViewer.h"
#include "results/KZFinderFileIcon.h"
#include "results/KZPathBar.h"
#include "results/ResultListCellViews.h"
#include "results/ResultsListModel.h"
#include "results/ResultsListTableView.h"
#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "support/KZNotificationCenter.h"
#include "support/KZUserDefaults.h"

namespace {

const QString kKind = QStringLiteral("kind");
const QString kResults = QStringLiteral("results");

const QStringList &columnIdentifiers()
{
    static const QStringList ids{QStringLiteral("name"), QStringLiteral("dateModified"),
                                 QStringLiteral("dateCreated"), QStringLiteral("size")};
    return ids;
}

// The criterion kind that makes an optional column appear by itself.
qint64 criterionKindOfColumn(int column)
{
    switch (column) {
    case ResultsListViewController::ColumnDateModified:
        return 5;
    case ResultsListViewController::ColumnDateCreated:
        return 4;
    case ResultsListViewController::ColumnSize:
        return 2;
    default:
        return 0;
    }
}

const QString &tableAutosaveKey()
{
    static const QString key = QStringLiteral("ResultsListViewControllermTableView_v3");
    return key;
}

// The order of a sort key; equal keys keep the walk order (stable sorts and merges).
ResultsListLess resultLessForColumn(int column, bool ascending)
{
    auto by = [ascending](auto key) -> ResultsListLess {
        return [key, ascending](const FileSearchResultRef &a, const FileSearchResultRef &b) {
            return ascending ? key(a) < key(b) : key(b) < key(a);
        };
    };
    switch (column) {
    case ResultsListViewController::ColumnDateModified:
        return by([](const FileSearchResultRef &r) { return r->modificationDate(); });
    case ResultsListViewController::ColumnDateCreated:
        return by([](const FileSearchResultRef &r) { return r->creationDate(); });
    case ResultsListViewController::ColumnSize:
        return by([](const FileSearchResultRef &r) { return r->fileSize(); });
    default:
        return [ascending](const FileSearchResultRef &a, const FileSearchResultRef &b) {
            const int order = ResultsListComparePaths(*a, *b);
            return ascending ? order < 0 : order > 0;
        };
    }
}

// What a selected row is remembered by across a rebuild: its kind and path bytes.
void assignSelectionKey(std::string &key, const ResultsListRow &row)
{
    const QByteArrayView bytes = row.identityBytes();
    key.assign(1, char(row.kind));
    key.append(bytes.data(), size_t(bytes.size()));
}

struct SelectionKeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
};

} // namespace

ResultsListViewController::ResultsListViewController(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<ResultListDisplayName>();
    m_insertTimer.setSingleShot(true);
    m_insertTimer.setInterval(kInsertInterval);
    connect(&m_insertTimer, &QTimer::timeout, this, &ResultsListViewController::flushPendingRows);
    m_releaseMemoryTimer.setSingleShot(true);
    m_releaseMemoryTimer.setInterval(kReleaseMemoryDelay);
    connect(&m_releaseMemoryTimer, &QTimer::timeout, this,
            [] { QThreadPool::globalInstance()->start([] { kzplatform::kzReleaseFreeHeapMemory(); }); });
}

ResultsListViewController::~ResultsListViewController()
{
    delete m_view;
}

QString ResultsListViewController::columnIdentifier(int column)
{
    return columnIdentifiers().value(column);
}

int ResultsListViewController::columnOfIdentifier(const QString &identifier)
{
    return int(columnIdentifiers().indexOf(identifier));
}

QString ResultsListViewController::visibleColumnsKey(const QString &identifier)
{
    return KZStringWithFormat(QStringLiteral("ResultsListViewController-visibleColumns-%@"), {identifier});
}

KZFinderFileIcon *ResultsListViewController::finderFileIcon()
{
    if (!m_finderFileIcon) {
        m_finderFileIcon = new KZFinderFileIcon(this);
        m_finderFileIcon->setIconSize(16);
        QPointer<ResultsListViewController> weakSelf(this);
        m_finderFileIcon->setUpdatedIconBk([weakSelf](const QString &path, const QPixmap &icon) {
            if (weakSelf)
                weakSelf->didUpdateIcon(path, icon);
        });
    }
    return m_finderFileIcon;
}

QWidget *ResultsListViewController::view()
{
    if (!m_view)
        loadView();
    return m_view;
}

void ResultsListViewController::loadView()
{
    m_view = new QWidget;
    m_view->setObjectName(QStringLiteral("ResultsListViewController"));
    auto *layout = new QVBoxLayout(m_view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_model = new ResultsListModel(this);
    m_tableView = new ResultsListTableView(this, m_view);
    m_tableView->setModel(m_model);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->setDragEnabled(false);
    m_tableView->setAcceptDrops(false);
    m_tableView->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_tableView->setShowGrid(false);
    m_tableView->setWordWrap(false);
    m_tableView->setFrameShape(QFrame::NoFrame);
    m_tableView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_tableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QHeaderView *vertical = m_tableView->verticalHeader();
    vertical->hide();
    vertical->setSectionResizeMode(QHeaderView::Fixed);
    vertical->setDefaultSectionSize(qMax(20, m_tableView->fontMetrics().height() + 6));
    QHeaderView *header = m_tableView->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(ColumnName, QHeaderView::Stretch);
    header->resizeSection(ColumnDateModified, 150);
    header->resizeSection(ColumnDateCreated, 150);
    header->resizeSection(ColumnSize, 90);
    header->setHighlightSections(false);
    const QString savedState = KZUserDefaults::standardUserDefaults().stringForKey(tableAutosaveKey());
    if (!savedState.isEmpty())
        header->restoreState(QByteArray::fromBase64(savedState.toLatin1()));
    // The stretch mode of the name column is part of the design, not of the saved state.
    header->setSectionResizeMode(ColumnName, QHeaderView::Stretch);

    m_tableView->setItemDelegateForColumn(ColumnName, new ResultListNameCellView(m_tableView));
    auto *info = new ResultListInfoCellView(m_tableView);
    for (int c : {ColumnDateModified, ColumnDateCreated, ColumnSize})
        m_tableView->setItemDelegateForColumn(c, info);

    connect(header, &QHeaderView::sortIndicatorChanged, this, [this] {
        tableViewSortDescriptorsDidChange();
        saveTableState();
    });
    connect(header, &QHeaderView::sectionResized, this, [this] { saveTableState(); });
    // The column menu of the header: the three visibility states of the optional columns.
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this, [this, header](const QPoint &pos) {
        QMenu menu(QStringLiteral("TableViewColumnsMenu"));
        for (int c : {ColumnDateModified, ColumnDateCreated, ColumnSize}) {
            QAction *a = menu.addAction(m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
            a->setData(columnIdentifier(c));
            const int status = visibleColsStatus(columnIdentifier(c));
            a->setCheckable(status != -1);
            a->setChecked(status == 1);
            if (status == -1)
                a->setText(a->text() + QStringLiteral(" (") + KZLocalizedString("Automatic") + QStringLiteral(")"));
        }
        if (QAction *chosen = menu.exec(header->mapToGlobal(pos)))
            cycleVisibleColumn(chosen->data().toString());
    });

    connect(m_tableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
    connect(m_tableView, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { tableViewDoubleAction(index.isValid() ? index.row() : -1); });
    layout->addWidget(m_tableView, 1);

    auto *separator = new QWidget(m_view);
    separator->setObjectName(QStringLiteral("pathBarSeparator"));
    separator->setFixedHeight(1);
    separator->setAutoFillBackground(true);
    QPalette pal = separator->palette();
    pal.setColor(QPalette::Window, Functions::sepLineColor());
    separator->setPalette(pal);
    layout->addWidget(separator);

    m_pathControl = new KZPathBar(m_view);
    connect(m_pathControl, &KZPathBar::componentClicked, this, &ResultsListViewController::pathControlAction);
    layout->addWidget(m_pathControl);

    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    for (int c : {ColumnDateModified, ColumnDateCreated, ColumnSize})
        m_visibleCols.insert(columnIdentifier(c), defaults.integerForKey(visibleColumnsKey(columnIdentifier(c)), 0));

    connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::dirSizeCalculatorUpdated, this,
            [this](QObject *, const QVariantMap &userInfo) { n_dirPathSizeCalculatorDidChange(userInfo); });
}

void ResultsListViewController::saveTableState()
{
    if (!m_tableView)
        return;
    KZUserDefaults::standardUserDefaults().setObject(
        QString::fromLatin1(m_tableView->horizontalHeader()->saveState().toBase64()), tableAutosaveKey());
}

void ResultsListViewController::updateUI(const QString &scopeDir, KZFileSearchObject *searchObject)
{
    view();
    m_scopeDir = scopeDir;
    m_searchObject = searchObject;
    m_insertTimer.stop();
    const qsizetype dropped = m_objectList.size() + m_pendingRows.size() + m_pendingResults.size();
    // Assigned, not cleared: a cleared list keeps its capacity.
    m_pendingRows = ResultsListRows();
    m_pendingResults = FileSearchResultList();
    m_thumbnailRequests.clear();

    m_criterionFilenameToMatch.clear();
    if (searchObject) {
        const QVariantList names = searchObject->criterionListWithKind(1);
        if (names.size() == 1) {
            const QVariantMap criterion = names.first().toMap();
            const qint64 op = criterion.value(QStringLiteral("operator")).toLongLong();
            if (op == 1 || op == 2 || op == 3)
                m_criterionFilenameToMatch = criterion.value(QStringLiteral("value")).toString();
        }
    }

    m_model->beginReset();
    m_objectList = ResultsListRows();
    m_model->endReset();
    applyColumnVisibility();
    tableViewSelectionDidChange();
    if (dropped >= kReleaseMemoryRows)
        m_releaseMemoryTimer.start();
}

void ResultsListViewController::applyColumnVisibility()
{
    for (int c : {ColumnDateModified, ColumnDateCreated, ColumnSize}) {
        bool shown = visibleColumnValue(columnIdentifier(c)) == 1;
        if (!shown)
            shown = m_searchObject && !m_searchObject->criterionListWithKind(criterionKindOfColumn(c)).isEmpty();
        m_tableView->setColumnHidden(c, !shown);
    }
}

int ResultsListViewController::visibleColsStatus(const QString &identifier) const
{
    const qint64 value = visibleColumnValue(identifier);
    return value == 1 ? 1 : value == -1 ? 0 : -1;
}

void ResultsListViewController::cycleVisibleColumn(const QString &identifier)
{
    const int column = columnOfIdentifier(identifier);
    if (column <= ColumnName)
        return;
    view();
    const qint64 value = visibleColumnValue(identifier);
    const qint64 next = value == 0 ? 1 : value == 1 ? -1 : 0;
    m_visibleCols.insert(identifier, next);
    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    for (auto it = m_visibleCols.cbegin(); it != m_visibleCols.cend(); ++it)
        defaults.setObject(it.value(), visibleColumnsKey(it.key()));
    defaults.synchronize();
    m_tableView->setColumnHidden(column, next == -1);
}

void ResultsListViewController::not_fileSearchObjectDidUpdated(QObject *object, const QVariantMap &userInfo)
{
    if (!m_searchObject || object != m_searchObject.data() || !m_view)
        return;
    const int kind = userInfo.value(kKind).toInt();
    if (kind == 2) {
        flushPendingRows();
        return;
    }
    if (kind != 1)
        return;
    const FileSearchResultList batch = userInfo.value(kResults).value<FileSearchResultList>();
    if (batch.isEmpty())
        return;
    if (m_tableView->horizontalHeader()->sortIndicatorSection() >= 0) {
        // Sorted: the batch is merged into the rows at the next tick, with
        // every batch that came meanwhile.
        m_pendingResults.append(batch);
    } else {
        m_pendingRows.append(ResultsListGroupResults(batch, m_scopeDir));
    }
    if (!m_insertTimer.isActive())
        m_insertTimer.start();
}

void ResultsListViewController::flushPendingRows()
{
    m_insertTimer.stop();
    if (!m_view)
        return;
    if (!m_pendingRows.isEmpty()) {
        ResultsListRows pending;
        pending.swap(m_pendingRows);
        appendRows(pending);
    }
    if (m_pendingResults.isEmpty())
        return;
    FileSearchResultList fresh;
    fresh.swap(m_pendingResults);
    const ResultsListLess less = sortLess();
    std::stable_sort(fresh.begin(), fresh.end(), less);
    // One layout change for the whole merge: inserting each place on its
    // own would cost the table a pass over all its rows per place.
    QItemSelectionModel *selection = m_tableView->selectionModel();
    const qsizetype selected = selection->hasSelection() ? selection->selectedRows().size() : 0;
    m_model->beginRelayout();
    const ResultsListRowMap map = ResultsListMergeSorted(m_objectList, fresh, less, m_scopeDir);
    m_model->endRelayout([&map](int oldRow) { return map.newRow(oldRow); });
    // A selected header row whose run was split is gone, silently for the table.
    if (selected && selection->selectedRows().size() != selected)
        tableViewSelectionDidChange();
}

ResultsListLess ResultsListViewController::sortLess() const
{
    QHeaderView *header = m_tableView->horizontalHeader();
    const int column = header->sortIndicatorSection();
    return resultLessForColumn(column < 0 ? ColumnName : column,
                               column < 0 || header->sortIndicatorOrder() == Qt::AscendingOrder);
}

void ResultsListViewController::appendRows(const ResultsListRows &rows)
{
    if (rows.isEmpty())
        return;
    const int first = int(m_objectList.size());
    m_model->beginAppend(first, first + int(rows.size()) - 1);
    m_objectList.append(rows);
    m_model->endAppend();
}

QList<int> ResultsListViewController::selectedRows() const
{
    QList<int> rows;
    if (!m_tableView)
        return rows;
    for (const QModelIndex &index : m_tableView->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ResultsListViewController::updateUIData()
{
    view();
    m_insertTimer.stop();
    m_pendingRows = ResultsListRows();
    m_pendingResults = FileSearchResultList();
    FileSearchResultList results = m_searchObject ? m_searchObject->results() : FileSearchResultList();
    std::stable_sort(results.begin(), results.end(), sortLess());
    rebuildRows(results);
}

void ResultsListViewController::rebuildRows(const FileSearchResultList &sortedResults)
{
    // The selection survives as kind and path.
    std::unordered_set<std::string, SelectionKeyHash, std::equal_to<>> keys;
    std::string key;
    for (int row : selectedRows()) {
        assignSelectionKey(key, m_objectList.at(row));
        keys.insert(key);
    }
    m_model->beginReset();
    m_objectList = ResultsListGroupResults(sortedResults, m_scopeDir);
    m_model->endReset();
    if (keys.empty())
        return;
    QItemSelection selection;
    for (int i = 0; i < m_objectList.size(); ++i) {
        assignSelectionKey(key, m_objectList.at(i));
        if (keys.find(std::string_view(key)) != keys.end())
            selection.select(m_model->index(i, 0), m_model->index(i, ColumnCount - 1));
    }
    m_tableView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void ResultsListViewController::tableViewSortDescriptorsDidChange()
{
    updateUIData();
}

bool ResultsListViewController::visibleRows(int *top, int *bottom) const
{
    if (!m_tableView || m_objectList.isEmpty())
        return false;
    *top = m_tableView->rowAt(0);
    if (*top < 0)
        return false;
    *bottom = m_tableView->rowAt(m_tableView->viewport()->height() - 1);
    if (*bottom < 0)
        *bottom = int(m_objectList.size()) - 1;
    return true;
}

void ResultsListViewController::updateUIStats()
{
    int top = 0, bottom = 0;
    if (!visibleRows(&top, &bottom))
        return;
    for (int i = top; i <= bottom; ++i) {
        const ResultsListRow &row = m_objectList.at(i);
        if (row.kind != ResultsListRow::KindResult || !row.result)
            continue;
        const bool wasValid = row.result->isValid();
        const int status = row.result->updateStatus();
        if (status == 1 || wasValid != row.result->isValid())
            m_model->rowChanged(i, 0, ColumnCount - 1);
    }
}

void ResultsListViewController::not_windowDidBecomeMain()
{
    updateUIStats();
}

ResultListDisplayName ResultsListViewController::displayNameOfResult(const FileSearchResultRef &result)
{
    const QVariant cached = result->displayFilename();
    if (cached.isValid())
        return cached.value<ResultListDisplayName>();
    ResultListDisplayName display;
    display.name = result->fileName();
    if (!m_criterionFilenameToMatch.isEmpty()) {
        const qsizetype at = display.name.indexOf(m_criterionFilenameToMatch, 0, Qt::CaseInsensitive);
        if (at >= 0) {
            display.matchStart = int(at);
            display.matchLength = int(m_criterionFilenameToMatch.size());
        }
    }
    result->setDisplayFilename(QVariant::fromValue(display));
    return display;
}

QString ResultsListViewController::dirPrefixOfResult(const FileSearchResultRef &result)
{
    QString prefix = result->displayDirPath();
    if (prefix.isNull()) {
        const QString dir = result->dirPath();
        if (dir == m_scopeDir) {
            prefix = QStringLiteral("");
        } else {
            prefix = Functions::pathByAbbreviating(dir, m_scopeDir);
            if (!prefix.isEmpty() && !prefix.endsWith(QLatin1Char('/')))
                prefix += QLatin1Char('/');
        }
        result->setDisplayDirPath(prefix);
    }
    return prefix;
}

QPixmap ResultsListViewController::iconOfRow(const ResultsListRow &row)
{
    if (row.kind == ResultsListRow::KindDir)
        return finderFileIcon()->iconForFileAtPath(row.dirPath(), false);
    const FileSearchResultRef &r = row.result;
    const QVariant cached = r->fileIcon();
    if (cached.isValid())
        return cached.value<QPixmap>();
    QPixmap icon;
    if (r->isRegularFile()) {
        icon = finderFileIcon()->iconPreviewForFileAtPath(r->path(), r->fileURL(), true);
        if (finderFileIcon()->loadingPaths().contains(r->path())) {
            QList<std::weak_ptr<FileSearchResult>> &waiting = m_thumbnailRequests[r->path()];
            if (std::none_of(waiting.cbegin(), waiting.cend(),
                             [&r](const std::weak_ptr<FileSearchResult> &w) { return w.lock() == r; }))
                waiting.append(r);
        }
    } else
        icon = finderFileIcon()->iconForFileAtPath(r->path(), r->isSymLink());
    r->setFileIcon(QVariant::fromValue(icon));
    return icon;
}

QVariant ResultsListViewController::nameCellData(const ResultsListRow &row, int role)
{
    const bool isDir = row.kind == ResultsListRow::KindDir;
    switch (role) {
    case Qt::DisplayRole:
        if (isDir)
            return row.dirPath();
        if (row.level)
            return row.result->fileName();
        return dirPrefixOfResult(row.result) + row.result->fileName();
    case Qt::ToolTipRole:
        return isDir ? row.dirPath() : row.result->path();
    case Qt::DecorationRole:
        return iconOfRow(row);
    case DisplayNameRole:
        return isDir ? QVariant() : QVariant::fromValue(displayNameOfResult(row.result));
    case DirPrefixRole:
        return isDir || row.level ? QString() : dirPrefixOfResult(row.result);
    case IconOpacityRole:
        return isDir || row.result->isValid() ? 1.0 : 0.33;
    default:
        return QVariant();
    }
}

QVariant ResultsListViewController::dataForCell(int row, int column, int role)
{
    if (row < 0 || row >= m_objectList.size())
        return QVariant();
    const ResultsListRow &r = m_objectList.at(row);
    switch (role) {
    case RowKindRole:
        return int(r.kind);
    case LevelRole:
        return r.level;
    case PathRole:
        return r.identityPath();
    case RowOpacityRole:
        if (r.kind == ResultsListRow::KindDir ? m_fadingDirs.contains(r.dirPath()) : m_fadingResults.contains(r.result.get()))
            return m_fadeOpacity;
        return QVariant();
    default:
        break;
    }
    if (column == ColumnName)
        return nameCellData(r, role);
    const bool isDir = r.kind == ResultsListRow::KindDir;
    if (column == ColumnDateModified || column == ColumnDateCreated) {
        if (isDir)
            return QVariant();
        const QDateTime date = column == ColumnDateModified ? r.result->dateModified() : r.result->dateCreated();
        if (role == DateRole)
            return date;
        if (role == Qt::DisplayRole)
            return QLocale().toString(date, QLocale::ShortFormat);
        return QVariant();
    }
    if (column == ColumnSize) {
        std::optional<quint64> size;
        if (!isDir && r.result->isRegularFile()) {
            size = quint64(r.result->fileSize());
        } else if (isDir || r.result->isDirectory()) {
            const QString path = r.identityPath();
            if (m_calculatedDirSize.contains(path)) {
                bool calculating = false;
                size = DirSizeCalculator::sharedInstance()->sizeOfDirPath(path, &calculating);
            }
        }
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (!size)
            return QVariant();
        if (role == FileSizeRole)
            return qulonglong(*size);
        if (role == Qt::DisplayRole)
            return KZFunctions::stringFromBytesWithBin1024Style(qint64(*size), 1);
    }
    return QVariant();
}

void ResultsListViewController::didUpdateIcon(const QString &path, const QPixmap &icon)
{
    // The results that asked for this thumbnail, by path: no pass over the rows.
    const QList<std::weak_ptr<FileSearchResult>> waiting = m_thumbnailRequests.take(path);
    QSet<const FileSearchResult *> records;
    for (const std::weak_ptr<FileSearchResult> &w : waiting) {
        if (const FileSearchResultRef r = w.lock()) {
            r->setFileIcon(QVariant::fromValue(icon));
            records.insert(r.get());
        }
    }
    if (records.isEmpty() || !m_tableView)
        return;
    // Only a row on screen is drawn again; the others show the stored
    // thumbnail when they come into view.
    int top = 0, bottom = 0;
    if (!visibleRows(&top, &bottom))
        return;
    for (int i = top; i <= bottom; ++i) {
        const ResultsListRow &row = m_objectList.at(i);
        if (row.kind == ResultsListRow::KindResult && records.contains(row.result.get())) {
            m_model->rowChanged(i, ColumnName, ColumnName);
            return;
        }
    }
}

void ResultsListViewController::addCalculatedDirSize(const QString &path)
{
    if (!path.isEmpty())
        m_calculatedDirSize.insert(path);
}

void ResultsListViewController::n_dirPathSizeCalculatorDidChange(const QVariantMap &userInfo)
{
    if (userInfo.value(kKind).toInt() != 1)
        return;
    const QString path = userInfo.value(QStringLiteral("path")).toString();
    if (path.isEmpty() || !m_calculatedDirSize.contains(path))
        return;
    const QByteArray bytes = QFile::encodeName(path);
    for (int i = 0; i < m_objectList.size(); ++i) {
        if (m_objectList.at(i).identityBytes() == bytes) {
            m_model->rowChanged(i, ColumnSize, ColumnSize);
            return;
        }
    }
}

QUrl ResultsListViewController::fileURLOfRow(int row) const
{
    if (row < 0 || row >= m_objectList.size())
        return QUrl();
    const ResultsListRow &r = m_objectList.at(row);
    return r.kind == ResultsListRow::KindDir ? QUrl::fromLocalFile(r.dirPath()) : r.result->fileURL();
}

void ResultsListViewController::tableViewSelectionDidChange()
{
    const QList<int> rows = selectedRows();
    QVariantMap change{{QStringLiteral("type"), 1}};
    QUrl url;
    if (rows.size() == 1) {
        const ResultsListRow &r = m_objectList.at(rows.first());
        url = fileURLOfRow(rows.first());
        change.insert(QStringLiteral("path"), r.identityPath());
        change.insert(QStringLiteral("isRegular"), r.kind == ResultsListRow::KindResult && r.result->isRegularFile());
    }
    if (m_quickLookPanel && m_quickLookPanel->isVisible()) {
        if (url.isEmpty())
            m_quickLookPanel->close();
        else
            m_quickLookPanel->reloadWithURL(url);
    }
    if (m_pathControl)
        m_pathControl->setURL(url);
    if (m_delegateController)
        m_delegateController->resultsListViewControllerChanged(this, change);
}

void ResultsListViewController::tableViewDoubleAction(int row)
{
    const QUrl url = fileURLOfRow(row);
    if (url.isEmpty())
        return;
    KZFileViewer::activateFileViewerSelectingURLs({url});
}

void ResultsListViewController::pathControlAction(const QUrl &url)
{
    if (!url.isEmpty())
        KZFileViewer::activateFileViewerSelectingURLs({url});
}

void ResultsListViewController::tableViewDidPerformUserAction(const QVariantMap &action)
{
    if (action.value(kKind).toInt() != 1 || !m_quickLookPanel)
        return;
    if (m_quickLookPanel->isVisible())
        m_quickLookPanel->close();
    else
        m_quickLookPanel->showForController(this);
}

bool ResultsListViewController::documentWindowValidateMenuItem(QAction *item)
{
    const QString name = item ? item->objectName() : QString();
    if (name == QLatin1String("mi_file_displayFinderInfo") && !KZFileViewer::hasFileManager())
        return false;
    if (name == QLatin1String("mi_view_details") || name == QLatin1String("mi_view_column"))
        return true;
    if (name != QLatin1String("mi_file_open") && name != QLatin1String("mi_file_showInFinder") &&
        name != QLatin1String("mi_file_displayFinderInfo") && name != QLatin1String("mi_edit_copyPath"))
        return false;
    for (int row : selectedRows())
        if (!fileURLOfRow(row).isEmpty())
            return true;
    return false;
}

void ResultsListViewController::documentWindowPerformMenuItem(QAction *item)
{
    const QString name = item ? item->objectName() : QString();
    if (name == QLatin1String("mi_file_open"))
        performOnSelection(SelectionCommand::Open);
    else if (name == QLatin1String("mi_file_showInFinder"))
        performOnSelection(SelectionCommand::Reveal);
    else if (name == QLatin1String("mi_file_displayFinderInfo"))
        performOnSelection(SelectionCommand::Properties);
    else if (name == QLatin1String("mi_edit_copyPath"))
        performOnSelection(SelectionCommand::CopyPaths);
    else if (name == QLatin1String("mi_view_details") || name == QLatin1String("mi_view_column")) {
        // The View menu's items carry the context menu's tags; they act on
        // the selection as it is, not on a row right-clicked earlier.
        m_rowCanBeSelected.clear();
        mi_menuAction(item);
    }
}
