#include "results/ResultsListViewController.h"

#include <algorithm>

#include <QAction>
#include <QDesktopServices>
#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QVBoxLayout>

#include "engine/DirSizeCalculator.h"
#include "engine/KZFileSearchObject.h"
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
using ResultLess = std::function<bool(const FileSearchResultRef &, const FileSearchResultRef &)>;

ResultLess resultLessForColumn(int column, bool ascending)
{
    auto by = [ascending](auto key) -> ResultLess {
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
            return ascending ? a->path() < b->path() : b->path() < a->path();
        };
    }
}

} // namespace

ResultsListViewController::ResultsListViewController(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<ResultListDisplayName>();
    m_insertTimer.setSingleShot(true);
    m_insertTimer.setInterval(kInsertInterval);
    connect(&m_insertTimer, &QTimer::timeout, this, &ResultsListViewController::flushPendingRows);
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
    m_pendingRows.clear();
    m_sortedResults.clear();

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
    m_objectList.clear();
    m_model->endReset();
    applyColumnVisibility();
    tableViewSelectionDidChange();
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
        // Sorted: the batch joins the sorted results at the next tick, which
        // rebuilds the rows once for every batch that came meanwhile.
        for (const FileSearchResultRef &r : batch)
            m_pendingRows.append(ResultsListRow{ResultsListRow::KindResult, false, QString(), r});
    } else {
        m_pendingRows.append(ResultsListGroupResults(batch, m_scopeDir));
    }
    if (!m_insertTimer.isActive())
        m_insertTimer.start();
}

void ResultsListViewController::flushPendingRows()
{
    m_insertTimer.stop();
    if (m_pendingRows.isEmpty() || !m_view)
        return;
    ResultsListRows pending;
    pending.swap(m_pendingRows);
    if (m_tableView->horizontalHeader()->sortIndicatorSection() < 0) {
        appendRows(pending);
        return;
    }
    // A sort is active: merge the new results into the sorted ones and rebuild.
    QHeaderView *header = m_tableView->horizontalHeader();
    const ResultLess less = resultLessForColumn(header->sortIndicatorSection(),
                                                header->sortIndicatorOrder() == Qt::AscendingOrder);
    FileSearchResultList fresh;
    fresh.reserve(pending.size());
    for (const ResultsListRow &row : pending)
        if (row.result)
            fresh.append(row.result);
    std::stable_sort(fresh.begin(), fresh.end(), less);
    FileSearchResultList merged;
    merged.reserve(m_sortedResults.size() + fresh.size());
    std::merge(m_sortedResults.cbegin(), m_sortedResults.cend(), fresh.cbegin(), fresh.cend(),
               std::back_inserter(merged), less);
    m_sortedResults.swap(merged);

    rebuildRows(m_sortedResults);
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
    m_pendingRows.clear();
    QHeaderView *header = m_tableView->horizontalHeader();
    const int column = header->sortIndicatorSection();
    FileSearchResultList results = m_searchObject ? m_searchObject->results() : FileSearchResultList();
    std::stable_sort(results.begin(), results.end(),
                     resultLessForColumn(column < 0 ? ColumnName : column,
                                         column < 0 || header->sortIndicatorOrder() == Qt::AscendingOrder));
    m_sortedResults = results;
    rebuildRows(results);
}

void ResultsListViewController::rebuildRows(const FileSearchResultList &sortedResults)
{
    // The selection survives as "kind-path" keys.
    QSet<QString> keys;
    for (int row : selectedRows()) {
        const ResultsListRow &r = m_objectList.at(row);
        keys.insert(KZStringWithFormat(QStringLiteral("%d-%@"), {QString::number(int(r.kind)), r.identityPath()}));
    }
    m_model->beginReset();
    m_objectList = ResultsListGroupResults(sortedResults, m_scopeDir);
    m_model->endReset();
    if (keys.isEmpty())
        return;
    QItemSelection selection;
    for (int i = 0; i < m_objectList.size(); ++i) {
        const ResultsListRow &r = m_objectList.at(i);
        const QString key = KZStringWithFormat(QStringLiteral("%d-%@"), {QString::number(int(r.kind)), r.identityPath()});
        if (keys.contains(key))
            selection.select(m_model->index(i, 0), m_model->index(i, ColumnCount - 1));
    }
    m_tableView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void ResultsListViewController::tableViewSortDescriptorsDidChange()
{
    updateUIData();
}

void ResultsListViewController::updateUIStats()
{
    if (!m_tableView || m_objectList.isEmpty())
        return;
    const int top = m_tableView->rowAt(0);
    if (top < 0)
        return;
    int bottom = m_tableView->rowAt(m_tableView->viewport()->height() - 1);
    if (bottom < 0)
        bottom = int(m_objectList.size()) - 1;
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
        return finderFileIcon()->iconForFileAtPath(row.dirPath, false);
    const FileSearchResultRef &r = row.result;
    const QVariant cached = r->fileIcon();
    if (cached.isValid())
        return cached.value<QPixmap>();
    QPixmap icon;
    if (r->isRegularFile())
        icon = finderFileIcon()->iconPreviewForFileAtPath(r->path(), r->fileURL(), true);
    else
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
            return row.dirPath;
        if (row.level)
            return row.result->fileName();
        return dirPrefixOfResult(row.result) + row.result->fileName();
    case Qt::ToolTipRole:
        return isDir ? row.dirPath : row.result->path();
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
    for (int i = 0; i < m_objectList.size(); ++i) {
        const ResultsListRow &row = m_objectList.at(i);
        if (row.kind == ResultsListRow::KindResult && row.result && row.result->path() == path) {
            row.result->setFileIcon(QVariant::fromValue(icon));
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
    for (int i = 0; i < m_objectList.size(); ++i) {
        if (m_objectList.at(i).identityPath() == path) {
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
    return r.kind == ResultsListRow::KindDir ? QUrl::fromLocalFile(r.dirPath) : r.result->fileURL();
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
    if (name != QLatin1String("mi_file_open") && name != QLatin1String("mi_file_showInFinder") &&
        name != QLatin1String("mi_file_displayFinderInfo"))
        return false;
    for (int row : selectedRows())
        if (!fileURLOfRow(row).isEmpty())
            return true;
    return false;
}

void ResultsListViewController::documentWindowPerformMenuItem(QAction *item)
{
    if (!item)
        return;
    QList<QUrl> urls;
    for (int row : selectedRows()) {
        const QUrl url = fileURLOfRow(row);
        if (!url.isEmpty())
            urls.append(url);
    }
    if (urls.isEmpty())
        return;
    const QString name = item->objectName();
    if (name == QLatin1String("mi_file_open")) {
        for (const QUrl &url : std::as_const(urls))
            QDesktopServices::openUrl(url);
    } else if (name == QLatin1String("mi_file_showInFinder")) {
        KZFileViewer::activateFileViewerSelectingURLs(urls);
    } else if (name == QLatin1String("mi_file_displayFinderInfo")) {
        if (!KZFileViewer::displayInfoOfURLs(urls))
            KZLOG_WARNING_M(QStringLiteral("no file manager shows item properties"));
    }
}
