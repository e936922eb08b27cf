// What the user does with results: the table's context menu, its commands and
// their keyboard forms, and the removal of the rows of trashed items.
#include <mutex>

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QIcon>
#include <QMimeDatabase>
#include <QPointer>
#include <QThreadPool>
#include <QVariantAnimation>

#include "engine/DirSizeCalculator.h"
#include "platform/KZDesktopApps.h"
#include "platform/KZTrash.h"
#include "results/KZFileViewer.h"
#include "results/KZFinderTools.h"
#include "results/ResultsListModel.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsListViewController.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"

namespace {

const QString kOpenWithSubmenu = QStringLiteral("OpenWithSubmenu");
// Beyond this many targets only the column items are offered.
constexpr int kMaxFileItemTargets = 249;
// From this many paths on, one properties window each would flood the screen.
constexpr int kMaxInfoPaths = 16;

void registerEnglish()
{
    static std::once_flag once;
    std::call_once(once, [] {
        KZLocalization::registerEnglish(KZLocalizationMainTable, {
            {"Show in Finder", "Show in File Manager"},
            {"Display Finder Info", "Properties"},
        });
    });
}

QThreadPool *trashQueue()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool(QCoreApplication::instance());
        p->setMaxThreadCount(1);
        return p;
    }();
    return pool;
}

} // namespace

void ResultsListViewController::getSelectionPaths(QStringList *paths, QList<QUrl> *urls, int *nbDirs,
                                                  const QList<int> &fromIndexes) const
{
    int dirs = 0;
    for (int row : fromIndexes) {
        if (row < 0 || row >= m_objectList.size())
            continue;
        const ResultsListRow &r = m_objectList.at(row);
        if (!r.result)
            continue;
        const bool isDir = r.kind == ResultsListRow::KindDir || r.result->isDirectory();
        if (paths)
            paths->append(r.identityPath());
        if (urls)
            urls->append(fileURLOfRow(row));
        dirs += isDir ? 1 : 0;
    }
    if (nbDirs)
        *nbDirs = dirs;
}

QAction *ResultsListViewController::rightMenuItem(QMenu *menu, const QString &title, int tag,
                                                  const QVariant &representedObject, bool isEnabled)
{
    auto *item = new QAction(title, menu);
    item->setData(tag);
    item->setProperty("representedObject", representedObject);
    item->setEnabled(isEnabled);
    item->setShortcutVisibleInContextMenu(true);
    connect(item, &QAction::triggered, this, [this, item] { mi_menuAction(item); });
    menu->addAction(item);
    return item;
}

void ResultsListViewController::menuNeedsUpdate(QMenu *menu)
{
    registerEnglish();
    // The item that carries a submenu lends it its title: the submenu is told by its name.
    if (menu->objectName() == kOpenWithSubmenu) {
        fillOpenWithMenu(menu);
        return;
    }
    menu->clear();
    qDeleteAll(menu->findChildren<QMenu *>(kOpenWithSubmenu, Qt::FindDirectChildrenOnly));
    QList<int> targets;
    const QList<int> selection = selectedRows();
    m_rowCanBeSelected.clear();
    if (m_clickedRow >= 0 && m_clickedRow < m_objectList.size()) {
        if (selection.contains(m_clickedRow)) {
            targets = selection;
        } else {
            targets = {m_clickedRow};
            m_rowCanBeSelected = targets;
        }
    }
    if (!targets.isEmpty() && targets.size() <= kMaxFileItemTargets)
        addFileItems(menu, targets);
    if (!menu->isEmpty())
        menu->addSeparator();
    for (int c : {ColumnDateModified, ColumnDateCreated, ColumnSize}) {
        static const char *const titles[] = {"", "Date Modified", "Date Created", "File Size"};
        QAction *item = rightMenuItem(menu, KZLocalizedString(titles[c]), TagColumn, columnIdentifier(c), true);
        const int status = visibleColsStatus(columnIdentifier(c));
        // Qt has no mixed state for a menu item: the automatic state is told in words.
        item->setCheckable(status != -1);
        item->setChecked(status == 1);
        if (status == -1)
            item->setText(item->text() + QStringLiteral(" (") + KZLocalizedString("Automatic") + QStringLiteral(")"));
        item->setProperty("state", status);
    }
}

void ResultsListViewController::addFileItems(QMenu *menu, const QList<int> &targets)
{
    QStringList paths;
    QList<QUrl> urls;
    int nbDirs = 0;
    getSelectionPaths(&paths, &urls, &nbDirs, targets);
    const QVariant urlList = QVariant::fromValue(urls);

    rightMenuItem(menu, KZLocalizedString("Open"), TagOpen, urlList, !urls.isEmpty())
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction *openWith = rightMenuItem(menu, KZLocalizedString("Open With"), TagNone,
                                      urls.isEmpty() ? QVariant() : QVariant(urls.last()), urls.size() == 1);
    auto *submenu = new QMenu(kOpenWithSubmenu, menu);
    submenu->setObjectName(kOpenWithSubmenu);
    connect(submenu, &QMenu::aboutToShow, this, [this, submenu] { menuNeedsUpdate(submenu); });
    openWith->setMenu(submenu);
    menu->addSeparator();
    rightMenuItem(menu, KZLocalizedString("Show in Finder"), TagShowInFinder, urlList, !urls.isEmpty())
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    const bool canShowInfo = KZFileViewer::hasFileManager();
    QAction *info = rightMenuItem(menu, KZLocalizedString("Display Finder Info"), TagDisplayInfo, paths,
                                  canShowInfo && paths.size() < kMaxInfoPaths);
    info->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    if (!canShowInfo)
        info->setToolTip(KZLocalizedString("No file manager can show properties."));
    rightMenuItem(menu, KZLocalizedString("Quick Look"), TagQuickLook, QVariant(), true)
        ->setShortcut(QKeySequence(Qt::Key_Space));
    menu->addSeparator();
    for (const auto &[title, mode] : {std::pair{"Show Details", 1}, std::pair{"Show Metadata", 2}}) {
        QAction *item = rightMenuItem(menu, KZLocalizedString(title), TagDetails, QString::number(mode), true);
        item->setCheckable(true);
        item->setChecked(m_detailsMode == mode);
    }
    menu->addSeparator();
    rightMenuItem(menu, KZLocalizedString("Copy Path"), TagCopyPath, paths, true)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    if (nbDirs > 0)
        rightMenuItem(menu, KZLocalizedString("Calculate Size"), TagCalculateSize, paths, true);

    // Absent when any target is protected, enabled only when every target may go.
    QString reason;
    const int status = KZFinderTools::trashableStatusForFiles(paths, &reason);
    if (status != -1) {
        menu->addSeparator();
        QAction *trash = rightMenuItem(menu, KZLocalizedString("Move to Trash"), TagTrash,
                                       QVariantMap{{QStringLiteral("paths"), paths},
                                                   {QStringLiteral("URLs"), urlList}},
                                       status == 1);
        trash->setShortcut(QKeySequence(Qt::Key_Delete));
        if (urls.size() == 1)
            trash->setToolTip(reason);
    }
}

void ResultsListViewController::fillOpenWithMenu(QMenu *menu)
{
    menu->clear();
    // The "Open With" item of the parent menu holds the document.
    const QUrl url = menu->menuAction()->property("representedObject").toUrl();
    if (url.isEmpty())
        KZLOG_CRITICAL_M(QStringLiteral("'URL==nil"));
    QList<kzplatform::KZDesktopApp> apps;
    if (url.isLocalFile()) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(url.toLocalFile());
        apps = kzplatform::kzApplicationsForMimeType(QFileInfo(url.toLocalFile()).isDir() ? QStringLiteral("inode/directory")
                                                                                           : type.name());
    }
    if (apps.isEmpty()) {
        rightMenuItem(menu, KZLocalizedString("<None>"), TagNone, QVariant(), false);
        return;
    }
    for (const kzplatform::KZDesktopApp &app : std::as_const(apps)) {
        QAction *item = rightMenuItem(menu, app.name, TagOpenWith,
                                      QVariantMap{{QStringLiteral("appURL"), app.id}, {QStringLiteral("URL"), url}}, true);
        const QIcon icon = app.iconName.startsWith(QLatin1Char('/')) ? QIcon(app.iconName) : QIcon::fromTheme(app.iconName);
        if (!icon.isNull())
            item->setIcon(QIcon(icon.pixmap(16, 16)));
    }
}

void ResultsListViewController::mi_menuAction(QAction *item)
{
    const QVariant object = item->property("representedObject");
    switch (item->data().toInt()) {
    case TagOpen:
        for (const QUrl &url : object.value<QList<QUrl>>())
            QDesktopServices::openUrl(url);
        break;
    case TagShowInFinder:
        KZFileViewer::activateFileViewerSelectingURLs(object.value<QList<QUrl>>());
        break;
    case TagDisplayInfo:
        for (const QString &path : object.toStringList())
            KZFinderTools::displayFinderGetInfoOfPath(path);
        break;
    case TagDetails: {
        const int mode = object.toString().toInt();
        m_detailsMode = m_detailsMode == mode ? 0 : mode;
        if (m_delegateController)
            m_delegateController->resultsListViewControllerChanged(
                this, {{QStringLiteral("type"), 2}, {QStringLiteral("mode"), m_detailsMode}});
        selectRowCanBeSelected();
        break;
    }
    case TagTrash:
        moveToTrash(object.toMap().value(QStringLiteral("paths")).toStringList());
        break;
    case TagOpenWith: {
        const QVariantMap map = object.toMap();
        const QString app = map.value(QStringLiteral("appURL")).toString();
        const QUrl url = map.value(QStringLiteral("URL")).toUrl();
        // Starting a program reads its desktop file and forks: not on the GUI thread.
        QThreadPool::globalInstance()->start([app, url] {
            QString error;
            if (!kzplatform::kzLaunchApplication(app, {url}, &error))
                KZLOG_WARNING_F(QStringLiteral("launch app:%1 error:%2").arg(app, error));
        });
        break;
    }
    case TagColumn:
        cycleVisibleColumn(object.toString());
        break;
    case TagCalculateSize:
        for (const QString &path : object.toStringList()) {
            addCalculatedDirSize(path);
            DirSizeCalculator::sharedInstance()->startCalculateSizeOfDirPath(path);
        }
        break;
    case TagQuickLook:
        selectRowCanBeSelected();
        tableViewDidPerformUserAction({{QStringLiteral("kind"), 1}});
        break;
    case TagCopyPath:
        copyPaths(object.toStringList());
        break;
    default:
        break;
    }
}

void ResultsListViewController::selectRowCanBeSelected()
{
    if (m_rowCanBeSelected.isEmpty() || !m_tableView)
        return;
    const int row = m_rowCanBeSelected.first();
    m_tableView->selectionModel()->select(m_model->index(row, 0),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_tableView->selectionModel()->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::NoUpdate);
}

void ResultsListViewController::copyPaths(const QStringList &paths)
{
    const QString text = paths.join(QLatin1Char('\n'));
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(text, QClipboard::Clipboard);
    if (clipboard->supportsSelection())
        clipboard->setText(text, QClipboard::Selection);
}

void ResultsListViewController::performOnSelection(SelectionCommand command)
{
    QStringList paths;
    QList<QUrl> urls;
    getSelectionPaths(&paths, &urls, nullptr, selectedRows());
    if (urls.isEmpty())
        return;
    switch (command) {
    case SelectionCommand::Open:
        for (const QUrl &url : std::as_const(urls))
            QDesktopServices::openUrl(url);
        break;
    case SelectionCommand::CopyPaths:
        copyPaths(paths);
        break;
    case SelectionCommand::Trash:
        moveToTrash(paths, true);
        break;
    case SelectionCommand::Properties:
        if (paths.size() < kMaxInfoPaths)
            for (const QString &path : std::as_const(paths))
                KZFinderTools::displayFinderGetInfoOfPath(path);
        break;
    case SelectionCommand::Reveal:
        KZFileViewer::activateFileViewerSelectingURLs(urls);
        break;
    }
}

void ResultsListViewController::moveToTrash(const QStringList &paths, bool allOrNothing)
{
    if (paths.isEmpty())
        return;
    QPointer<ResultsListViewController> weakSelf(this);
    trashQueue()->start([paths, weakSelf, allOrNothing] {
        QString refusal;
        if (allOrNothing && KZFinderTools::trashableStatusForFiles(paths, &refusal) != 1) {
            KZLOG_INFO_F(QStringLiteral("nothing moved to the Trash: %1").arg(refusal));
            return;
        }
        // The items may have changed since the menu opened: each is checked
        // again, and one that may not go stays where it is.
        QStringList recycled;
        QStringList errors;
        for (const QString &path : paths) {
            QString reason;
            if (KZFinderTools::trashableStatusForFile(path, 1, &reason) != 1) {
                errors.append(path + QStringLiteral(": ") + reason);
                continue;
            }
            QString error;
            if (kzplatform::kzMoveToTrash(path, &error))
                recycled.append(path);
            else
                errors.append(path + QStringLiteral(": ") + error);
        }
        const QString error = errors.join(QStringLiteral("; "));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weakSelf, paths, error] {
                if (weakSelf)
                    weakSelf->trashCompletion(paths, error);
            },
            Qt::QueuedConnection);
    });
}

void ResultsListViewController::trashCompletion(const QStringList &paths, const QString &error)
{
    if (!error.isEmpty())
        KZLOG_WARNING_M(QStringLiteral("error:%1").arg(error));
    const QSet<QString> recycled(paths.cbegin(), paths.cend());
    QSet<const FileSearchResult *> results;
    QSet<QString> dirs;
    for (const ResultsListRow &row : std::as_const(m_objectList)) {
        if (!row.result)
            continue;
        if (row.kind == ResultsListRow::KindDir) {
            const QString dir = row.dirPath();
            if (recycled.contains(dir) && !QFileInfo::exists(dir))
                dirs.insert(dir);
        } else if (recycled.contains(row.result->path()) && row.result->updateStatus() == -1) {
            results.insert(row.result.get());
        }
    }
    if (results.isEmpty() && dirs.isEmpty())
        return;
    m_fadingResults.unite(results);
    m_fadingDirs.unite(dirs);
    auto *fade = new QVariantAnimation(this);
    fade->setDuration(kFadeDuration);
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    connect(fade, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_fadeOpacity = value.toDouble();
        if (m_tableView)
            m_tableView->viewport()->update();
    });
    connect(fade, &QVariantAnimation::finished, this, [this] { removeFadedRows(); });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void ResultsListViewController::removeFadedRows()
{
    auto fading = [this](const ResultsListRow &row) {
        return row.kind == ResultsListRow::KindDir ? m_fadingDirs.contains(row.dirPath())
                                                   : m_fadingResults.contains(row.result.get());
    };
    // From the bottom, one run of neighbours at a time.
    for (int last = int(m_objectList.size()) - 1; last >= 0;) {
        if (!fading(m_objectList.at(last))) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && fading(m_objectList.at(first - 1)))
            --first;
        m_model->beginRemove(first, last);
        m_objectList.remove(first, last - first + 1);
        m_model->endRemove();
        last = first - 1;
    }
    m_fadingResults.clear();
    m_fadingDirs.clear();
    m_fadeOpacity = 1.0;
    tableViewSelectionDidChange();
}
