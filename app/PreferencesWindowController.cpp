#include "app/PreferencesWindowController.h"

#include <algorithm>

#include <sys/stat.h>

#include <QAbstractItemView>
#include <QAbstractTableModel>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "analytics/KZAnalytics.h"
#include "app/KZAppInLoginItem.h"
#include "app/KZHotKeyCenter.h"
#include "platform/KZGuardedFS.h"
#include "results/KZFileViewer.h"
#include "results/KZFinderFileIcon.h"
#include "scope/ScopeDirManager.h"
#include "support/KZHotKeyRepresentation.h"
#include "support/KZLocalization.h"
#include "support/KZUserDefaults.h"

namespace {

constexpr int kCheckedColumn = 0;
constexpr int kNameColumn = 1;

// Follows links, as a dropped link to a folder names that folder; a server
// that does not answer in time counts as no folder.
bool isExistingFolder(const QString &path)
{
    kzplatform::KZStat st;
    return !path.isEmpty() && kzplatform::kzStatGuarded(QFile::encodeName(path), &st) == 0 && S_ISDIR(st.mode);
}

} // namespace

// The rows of the excluded folders: "status", "path", "title" and, once the
// row is first drawn, "icon".
class ExcludedDirsModel : public QAbstractTableModel
{
public:
    explicit ExcludedDirsModel(PreferencesWindowController *owner) : QAbstractTableModel(owner), m_owner(owner) {}

    struct Row {
        int status = 0;
        QString path;
        QString title;
        mutable QPixmap icon;
        mutable bool iconLoaded = false;
    };

    const QList<Row> &rows() const { return _excludedDirs; }
    void setStatus(int row, int status)
    {
        _excludedDirs[row].status = status;
        emit dataChanged(index(row, kCheckedColumn), index(row, kCheckedColumn), {Qt::CheckStateRole});
    }

    // Rows for the same folders in the same order keep their icons and the selection.
    void setRows(QList<Row> rows)
    {
        bool samePaths = rows.size() == _excludedDirs.size();
        for (qsizetype i = 0; samePaths && i < rows.size(); ++i)
            samePaths = rows.at(i).path == _excludedDirs.at(i).path;
        if (samePaths) {
            for (qsizetype i = 0; i < rows.size(); ++i)
                _excludedDirs[i].status = rows.at(i).status;
            if (!rows.isEmpty())
                emit dataChanged(index(0, kCheckedColumn), index(int(rows.size()) - 1, kCheckedColumn));
            return;
        }
        beginResetModel();
        _excludedDirs = std::move(rows);
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(_excludedDirs.size());
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override { return parent.isValid() ? 0 : 2; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return section == kCheckedColumn ? QStringLiteral("checked") : QStringLiteral("name");
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= _excludedDirs.size())
            return QVariant();
        const Row &row = _excludedDirs.at(index.row());
        if (index.column() == kCheckedColumn)
            return role == Qt::CheckStateRole ? QVariant(row.status ? Qt::Checked : Qt::Unchecked) : QVariant();
        switch (role) {
        case Qt::DisplayRole:
            return row.title;
        case Qt::ToolTipRole:
            return row.path;
        case Qt::DecorationRole:
            // Asked when the row is drawn: the icon comes then, through the guarded calls.
            if (!row.iconLoaded) {
                row.iconLoaded = true;
                row.icon = KZFinderFileIcon::iconForFileAtPathWithSize(row.path, 16);
            }
            return row.icon;
        default:
            return QVariant();
        }
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::ItemIsDropEnabled;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (index.column() == kCheckedColumn)
            f |= Qt::ItemIsUserCheckable;
        return f;
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (!index.isValid() || index.column() != kCheckedColumn || role != Qt::CheckStateRole)
            return false;
        m_owner->setExcludedState(index.row(), value.toInt() == Qt::Checked);
        return true;
    }

    QStringList mimeTypes() const override { return {QStringLiteral("text/uri-list")}; }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    bool canDropMimeData(const QMimeData *data, Qt::DropAction, int row, int, const QModelIndex &parent) const override
    {
        return !parent.isValid() && m_owner->validateDrop(data, row);
    }
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override
    {
        return canDropMimeData(data, action, row, column, parent) && m_owner->acceptDrop(data, row);
    }

private:
    PreferencesWindowController *m_owner;
    QList<Row> _excludedDirs;
};

PreferencesWindowController::PreferencesWindowController(KZHotKeyCenter *center, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_center(center ? center : KZHotKeyCenter::defaultCenter())
{
    setObjectName(QStringLiteral("PreferencesWindowController"));
    auto *layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(KZLocalizedString("Exclude these folders from every search:"), this));
    m_model = new ExcludedDirsModel(this);
    excludedTbV = new QTableView(this);
    excludedTbV->setObjectName(QStringLiteral("excludedTbV"));
    excludedTbV->setModel(m_model);
    excludedTbV->horizontalHeader()->hide();
    excludedTbV->verticalHeader()->hide();
    excludedTbV->horizontalHeader()->setMinimumSectionSize(16);
    excludedTbV->horizontalHeader()->setSectionResizeMode(kCheckedColumn, QHeaderView::Fixed);
    excludedTbV->horizontalHeader()->resizeSection(kCheckedColumn, 26);
    excludedTbV->horizontalHeader()->setStretchLastSection(true);
    excludedTbV->verticalHeader()->setDefaultSectionSize(22);
    excludedTbV->setShowGrid(false);
    excludedTbV->setFocusPolicy(Qt::ClickFocus);
    excludedTbV->setIconSize(QSize(16, 16));
    excludedTbV->setTextElideMode(Qt::ElideMiddle);
    excludedTbV->setSelectionBehavior(QAbstractItemView::SelectRows);
    excludedTbV->setSelectionMode(QAbstractItemView::SingleSelection);
    excludedTbV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    excludedTbV->setMinimumHeight(140);
    layout->addWidget(excludedTbV, 1);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    m_excludedAddButton = new QToolButton(this);
    m_excludedAddButton->setObjectName(QStringLiteral("excludedAddButton"));
    m_excludedAddButton->setText(QStringLiteral("+"));
    m_excludedAddButton->setToolTip(KZLocalizedString("Add a folder to exclude"));
    m_excludedRemoveButton = new QToolButton(this);
    m_excludedRemoveButton->setObjectName(QStringLiteral("excludedRemoveButton"));
    m_excludedRemoveButton->setText(QStringLiteral("−"));
    m_excludedRemoveButton->setToolTip(KZLocalizedString("Remove the selected folder"));
    buttons->addWidget(m_excludedAddButton);
    buttons->addWidget(m_excludedRemoveButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    // Filled by the owner of the folder-name list.
    m_skipNamesContainer = new QVBoxLayout;
    m_skipNamesContainer->setObjectName(QStringLiteral("skipNamesContainer"));
    layout->addLayout(m_skipNamesContainer);

    auto *shortcut = new QHBoxLayout;
    m_hotKeyButton = new QCheckBox(KZLocalizedString("Show and hide the search windows with:"), this);
    m_hotKeyButton->setObjectName(QStringLiteral("hotKeyButton"));
    m_hotKeyField = new KZHotKeyFieldView(this, m_center);
    m_hotKeyField->setObjectName(QStringLiteral("hotKeyField"));
    shortcut->addWidget(m_hotKeyButton);
    shortcut->addWidget(m_hotKeyField, 1);
    layout->addLayout(shortcut);
    m_hotKeyMessage = new QLabel(this);
    m_hotKeyMessage->setObjectName(QStringLiteral("hotKeyMessage"));
    m_hotKeyField->setMesLabel(m_hotKeyMessage);
    layout->addWidget(m_hotKeyMessage);

    m_relaunchOnLoginButton = new QCheckBox(KZLocalizedString("Start Trovix at login, without a window"), this);
    m_relaunchOnLoginButton->setObjectName(QStringLiteral("relaunchOnLoginButton"));
    m_relaunchOnLoginButton->setTristate(true);
    layout->addWidget(m_relaunchOnLoginButton);

    m_usageReportButton = new QCheckBox(KZLocalizedString("Send an anonymous usage report at launch"), this);
    m_usageReportButton->setObjectName(QStringLiteral("usageReportButton"));
    layout->addWidget(m_usageReportButton);

    m_checkForUpdateButton = new QPushButton(KZLocalizedString("Check For Update…"), this);
    m_checkForUpdateButton->setObjectName(QStringLiteral("checkForUpdateButton"));
    m_checkForUpdateButton->hide();
    layout->addWidget(m_checkForUpdateButton, 0, Qt::AlignLeft);

    connect(m_excludedAddButton, &QToolButton::clicked, this, &PreferencesWindowController::presentAddPanel);
    connect(m_excludedRemoveButton, &QToolButton::clicked, this, &PreferencesWindowController::removeSelected);
    connect(m_hotKeyButton, &QCheckBox::clicked, this, [this](bool on) { m_hotKeyField->setIsEnabled(on); });
    connect(m_relaunchOnLoginButton, &QCheckBox::clicked, this, &PreferencesWindowController::relaunchOnLoginClicked);
    connect(m_usageReportButton, &QCheckBox::clicked, this,
            [](bool on) { KZUserDefaults::standardUserDefaults().setObject(on, KZAnalyticsEnabledKey); });
    connect(m_checkForUpdateButton, &QPushButton::clicked, this, &PreferencesWindowController::checkForUpdateRequested);
    connect(excludedTbV, &QTableView::doubleClicked, this, &PreferencesWindowController::tableViewDoubleAction);
    connect(excludedTbV->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PreferencesWindowController::updateRemoveButton);
    windowDidLoad();
}

PreferencesWindowController::~PreferencesWindowController() = default;

void PreferencesWindowController::windowDidLoad()
{
    setWindowTitle(KZLocalizedString("Trovix Preferences"));
    showLoginItemStatus();
    m_usageReportButton->setChecked(KZUserDefaults::standardUserDefaults().boolForKey(KZAnalyticsEnabledKey, true));

    const std::optional<KZHotKeyRepresentation> saved = KZHotKeyRepresentation::hotKeyRepresentationFromUserDefaults();
    const bool on = saved && saved->isEnabled();
    m_hotKeyButton->setChecked(on);
    m_hotKeyField->setControlSize(1);
    m_hotKeyField->setChangeObserver(this, saved ? saved->keyCode() : 0, saved ? saved->modifierFlags() : 0, on);

    excludedTbV->setAcceptDrops(true);
    excludedTbV->setDragDropMode(QAbstractItemView::DropOnly);
    excludedTbV->setDragDropOverwriteMode(false);
    excludedTbV->setDropIndicatorShown(true);
    excludedTbV->setDefaultDropAction(Qt::CopyAction);
    updateUIExcludedDirs();
    resize(520, 440);
}

bool PreferencesWindowController::event(QEvent *e)
{
    // windowDidBecomeMain: the login items may have changed elsewhere.
    if (e->type() == QEvent::WindowActivate)
        showLoginItemStatus();
    return QWidget::event(e);
}

QString PreferencesWindowController::titleOfExcludedPath(const QString &path)
{
    const QString home = QDir::cleanPath(ScopeDirManager::homeDirPath());
    if (path.startsWith(home + QLatin1Char('/')) && home != QLatin1String("/"))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

void PreferencesWindowController::updateUIExcludedDirs()
{
    QList<ExcludedDirsModel::Row> rows;
    for (const QVariant &entry : ScopeDirManager::sharedInstance()->excludedDirs()) {
        const QVariantMap map = entry.toMap();
        ExcludedDirsModel::Row row;
        row.status = map.value(QStringLiteral("state")).toBool() ? 1 : 0;
        row.path = map.value(QStringLiteral("path")).toString();
        row.title = titleOfExcludedPath(row.path);
        rows.append(row);
    }
    m_model->setRows(std::move(rows));
    updateRemoveButton();
}

void PreferencesWindowController::updateRemoveButton()
{
    m_excludedRemoveButton->setEnabled(excludedTbV->selectionModel()->hasSelection());
}

void PreferencesWindowController::setExcludedState(int row, bool state)
{
    if (row < 0 || row >= m_model->rows().size())
        return;
    m_model->setStatus(row, state ? 1 : 0);
    ScopeDirManager::sharedInstance()->setStateOfExcludedDir(state, m_model->rows().at(row).path);
    updateUIExcludedDirs();
}

void PreferencesWindowController::tableViewDoubleAction(const QModelIndex &index)
{
    if (!index.isValid() || index.column() != kNameColumn || index.row() >= m_model->rows().size())
        return;
    KZFileViewer::activateFileViewerSelectingURLs({QUrl::fromLocalFile(m_model->rows().at(index.row()).path)});
}

bool PreferencesWindowController::validateDrop(const QMimeData *data, int row) const
{
    // Above a real row, or below the last one; file names only.
    if (!data || row < -1 || row > m_model->rowCount())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl &url) { return url.isLocalFile(); });
}

bool PreferencesWindowController::acceptDrop(const QMimeData *data, int row)
{
    if (!validateDrop(data, row))
        return false;
    bool added = false;
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = QDir::cleanPath(url.toLocalFile());
        if (!isExistingFolder(path))
            continue;
        ScopeDirManager::sharedInstance()->addExcludedDir(path);
        added = true;
    }
    if (added)
        updateUIExcludedDirs();
    return added;
}

void PreferencesWindowController::presentAddPanel()
{
    if (m_addPanel && m_addPanel->isVisible())
        return;
    delete m_addPanel;
    const QString geometryKey = QStringLiteral("PreferencesWindowController-ScopeSelect");
    auto *panel = new QFileDialog(this);
    m_addPanel = panel;
    panel->setObjectName(QStringLiteral("PreferencesWindowController-addPanel"));
    panel->setWindowTitle(KZLocalizedString("Choose Folders to Exclude"));
    // Qt's own panel: the desktop's cannot pick several folders.
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::Drives);
    panel->setDirectory(ScopeDirManager::homeDirPath());
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setWindowModality(Qt::WindowModal);
    for (QAbstractItemView *view : panel->findChildren<QAbstractItemView *>()) {
        if (qobject_cast<QListView *>(view) || qobject_cast<QTreeView *>(view))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    const QByteArray geometry =
        QByteArray::fromBase64(KZUserDefaults::standardUserDefaults().stringForKey(geometryKey).toLatin1());
    if (!geometry.isEmpty())
        panel->restoreGeometry(geometry);
    connect(panel, &QDialog::finished, this, [this, panel, geometryKey](int result) {
        KZUserDefaults::standardUserDefaults().setObject(QString::fromLatin1(panel->saveGeometry().toBase64()),
                                                         geometryKey);
        if (result != QDialog::Accepted)
            return;
        for (const QString &file : panel->selectedFiles()) {
            const QString path = QDir::cleanPath(file);
            if (!isExistingFolder(path))
                continue;
            ScopeDirManager::sharedInstance()->addExcludedDir(path);
            updateUIExcludedDirs();
        }
    });
    panel->open();
}

void PreferencesWindowController::removeSelected()
{
    const QModelIndexList selected = excludedTbV->selectionModel()->selectedRows();
    if (selected.isEmpty() || selected.first().row() >= m_model->rows().size())
        return;
    ScopeDirManager::sharedInstance()->removeExcludedDir(m_model->rows().at(selected.first().row()).path);
    excludedTbV->clearSelection();
    updateUIExcludedDirs();
}

void PreferencesWindowController::showLoginItemStatus()
{
    m_loginStatus = KZAppInLoginItem::loginItemStatus();
    m_relaunchOnLoginButton->setCheckState(m_loginStatus == 1    ? Qt::Checked
                                           : m_loginStatus == -1 ? Qt::PartiallyChecked
                                                                 : Qt::Unchecked);
}

void PreferencesWindowController::relaunchOnLoginClicked()
{
    // A mixed box turns on: that repairs the entries named like Trovix.
    KZAppInLoginItem::setIsLoginItem(m_loginStatus != 1);
    showLoginItemStatus();
}

void PreferencesWindowController::setCheckForUpdateAvailable(bool available)
{
    m_checkForUpdateButton->setVisible(available);
}

bool PreferencesWindowController::hotKeyFieldViewDidChangeWithKeyCode(KZHotKeyFieldView *, quint64 keyCode,
                                                                      quint64 modifierFlags, bool isEnabled)
{
    KZHotKeyRepresentation(keyCode, modifierFlags, isEnabled).saveToUserDefaults();
    const bool ok =
        isEnabled ? m_center->registerHotKeyWithKeyCode(keyCode, modifierFlags, 1) : m_center->unregisterHotKeyWithTag(1);
    if (m_hotKeyRegistered)
        m_hotKeyRegistered(isEnabled ? ok : !ok);
    return ok;
}
