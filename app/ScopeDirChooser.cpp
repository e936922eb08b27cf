#include "app/ScopeDirChooser.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <optional>

#include <QApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStorageInfo>

#include "engine/KZCFileTools.h"
#include "platform/KZGuardedFS.h"
#include "results/KZFinderFileIcon.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "support/KZUserDefaults.h"
#include "toolkit/FileDaDView.h"

namespace {

constexpr int kButtonWidth = 48;
constexpr int kButtonHeight = 40;
constexpr char kRepresentedObject[] = "representedObject";

// A menu whose items with a submenu can also be chosen, by a click or by
// Return: the volume, home and folder items select their folder, while
// hovering or the right arrow still open the folder's submenu. (A plain QMenu
// only opens the submenu.)
class ScopeDirMenu : public QMenu
{
public:
    using QMenu::QMenu;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QAction *action = event->button() == Qt::LeftButton ? actionAt(event->position().toPoint()) : nullptr;
        if (!chooseItemWithSubmenu(action))
            QMenu::mouseReleaseEvent(event);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (!isReturn || !chooseItemWithSubmenu(activeAction()))
            QMenu::keyPressEvent(event);
    }

private:
    static bool chooseItemWithSubmenu(QAction *action)
    {
        if (!action || !action->menu() || !action->isEnabled())
            return false;
        // Close the whole chain (the open submenus too) first, as choosing
        // any other item does.
        while (QWidget *popup = QApplication::activePopupWidget())
            if (!popup->close())
                break;
        action->trigger();
        return true;
    }
};

// The check mark of the current scope; the style draws a checked item that
// has an icon with a sunken icon frame only, so its title is bold as well.
void setSelected(QAction *item, bool selected)
{
    item->setCheckable(true);
    item->setChecked(selected);
    if (selected) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
    }
}

QFont smallMenuFont(const QFont &base)
{
    QFont small = base;
    small.setPointSizeF(base.pointSizeF() * 0.9);
    return small;
}

// Every look at a folder goes through the time-boxed calls: a folder on a
// server that does not answer costs one time-box, then fails at once.
bool isReadable(const QString &path)
{
    return kzplatform::kzAccessGuarded(QFile::encodeName(path), R_OK) == 0;
}

bool isNoAnswer(int err)
{
    return err == ETIMEDOUT || err == ENOMEDIUM;
}

QString lastPathComponent(const QString &path)
{
    if (path == QLatin1String("/"))
        return path;
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p.section(QLatin1Char('/'), -1);
}

QString parentPath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0)
        return QStringLiteral("/");
    return path.left(slash);
}

} // namespace

// ---------------------------------------------------------------- ScopeDirOverView

ScopeDirOverView::ScopeDirOverView(QWidget *parent)
    : KZOverView(parent)
{
    setObjectName(QStringLiteral("mScopeView"));
    setFixedSize(kButtonWidth, kButtonHeight);
}

void ScopeDirOverView::updateFromScropDir(const QString &scopeDir)
{
    _scopeDir = scopeDir;
    setToolTip(scopeDir);
}

void ScopeDirOverView::setHasDragging(bool dragging)
{
    if (m_hasDragging == dragging)
        return;
    m_hasDragging = dragging;
    update();
}

bool ScopeDirOverView::isAcceptableDrag(const QMimeData *data)
{
    return FileDaDView::isAcceptableMimeData(data);
}

QUrl ScopeDirOverView::fileURLFromMimeData(const QMimeData *data)
{
    const QList<QUrl> urls = FileDaDView::fileURLsOfMimeData(data);
    return urls.isEmpty() ? QUrl() : urls.first();
}

void ScopeDirOverView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!isAcceptableDrag(event->mimeData())) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    setHasDragging(true);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ScopeDirOverView::dragMoveEvent(QDragMoveEvent *event)
{
    // Ask for moves over the whole button, not just once per rectangle.
    if (!isAcceptableDrag(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept(QRect());
}

void ScopeDirOverView::dragLeaveEvent(QDragLeaveEvent *)
{
    setHasDragging(false);
}

void ScopeDirOverView::dropEvent(QDropEvent *event)
{
    setHasDragging(false);
    const QUrl url = fileURLFromMimeData(event->mimeData());
    if (url.isEmpty() || !m_dropDelegate || !m_dropDelegate->scopeDirOverViewProposeURL(this, url)) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

// ---------------------------------------------------------------- ScopeDirChooser

ScopeDirChooser::ScopeDirChooser(QObject *parent)
    : QObject(parent)
{
    m_scopeView = new ScopeDirOverView;
    m_scopeView->setDelegator(this);
    m_scopeView->setDropDelegate(this);
}

ScopeDirChooser::~ScopeDirChooser()
{
    // The button usually lives in the window by now; it must not call back.
    if (m_scopeView) {
        m_scopeView->setDelegator(nullptr);
        m_scopeView->setDropDelegate(nullptr);
        if (!m_scopeView->parentWidget())
            delete m_scopeView;
    }
    delete m_openPanel;
}

QWidget *ScopeDirChooser::view()
{
    return m_scopeView;
}

void ScopeDirChooser::updateUIWithScopeKind(qint64 kind, const ScopeDirManager::SelectionObject &scopeObject)
{
    if (!_finderFileIcon) {
        _finderFileIcon = new KZFinderFileIcon(this);
        if (m_scopeView)
            m_scopeView->setAcceptDrops(true);
    }
    _scopeKind = kind;
    _scopeObject = scopeObject;
    QPixmap icon;
    QString path;
    if (kind == ScopeDirManager::SelectionFavorite
        && std::holds_alternative<std::shared_ptr<FavoriteDir>>(scopeObject)
        && std::get<std::shared_ptr<FavoriteDir>>(scopeObject)) {
        const auto favorite = std::get<std::shared_ptr<FavoriteDir>>(scopeObject);
        path = favorite->path();
        icon = favorite->displayIcon().value<QPixmap>();
        // Without an icon provider installed the favourite has no icon of
        // its own; the folder's desktop icon stands in.
        if (icon.isNull() && !path.isEmpty())
            icon = KZFinderFileIcon::iconForFileAtPathWithSize(path, kScopeIconSize);
    } else if (kind == ScopeDirManager::SelectionPath && std::holds_alternative<QString>(scopeObject)) {
        path = std::get<QString>(scopeObject);
        if (!path.isEmpty())
            icon = KZFinderFileIcon::iconForFileAtPathWithSize(path, kScopeIconSize);
    } else if (kind == ScopeDirManager::SelectionHome) {
        path = ScopeDirManager::homeDirPath();
        icon = KZFinderFileIcon::iconForFileAtPathWithSize(path, kScopeIconSize);
    }
    _scopeIcon = icon;
    refreshButtonState();
    if (m_scopeView)
        m_scopeView->updateFromScropDir(icon.isNull() ? QString() : path);
}

void ScopeDirChooser::refreshButtonState()
{
    if (!m_scopeView)
        return;
    m_scopeView->setIsDisabled(_scopeIcon.isNull());
    m_scopeView->update();
}

void ScopeDirChooser::overViewDrawRect(KZOverView *view, QPainter *painter, const QRect &rect, int state)
{
    painter->setRenderHint(QPainter::Antialiasing);
    if (!_scopeIcon.isNull()) {
        painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter->setOpacity(1.0);
        const QSize size = _scopeIcon.deviceIndependentSize().toSize();
        // Bottom-aligned in the button, as the menu triangle is.
        painter->drawPixmap(QPoint(0, rect.height() - size.height()), _scopeIcon);
        if (state == KZOverView::StateInside || state == KZOverView::StatePressed) {
            // A small triangle pointing down in the lower right corner.
            const QRectF t(rect.width() - 8, rect.height() - 7, 8, 7);
            QPainterPath triangle;
            triangle.moveTo(t.left(), t.top() + 1.5);
            triangle.lineTo(t.right(), t.top() + 1.5);
            triangle.lineTo(t.center().x(), t.bottom());
            triangle.closeSubpath();
            painter->fillPath(triangle, Qt::black);
        }
    }
    auto *scopeView = qobject_cast<ScopeDirOverView *>(view);
    if (scopeView && scopeView->hasDragging()) {
        QPainterPath highlight;
        highlight.addRoundedRect(QRectF(rect), 6, 6);
        painter->fillPath(highlight, QColor::fromRgbF(0.5, 0.5, 0.5, 0.5));
    }
}

void ScopeDirChooser::overViewDidPressed(KZOverView *view, const QVariantMap &info)
{
    if (info.value(QStringLiteral("isRightClick")).toBool())
        return;
    QMenu *menu = scopeDirsMenu(view);
    view->displayMenu(menu, false);
    menu->deleteLater();
}

QMenu *ScopeDirChooser::scopeDirsMenu(QWidget *parent)
{
    auto *menu = new ScopeDirMenu(parent);
    menu->setObjectName(scopeDirsMenuTitle());
    menu->setTitle(scopeDirsMenuTitle());
    menu->setFont(smallMenuFont(menu->font()));
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { menuNeedsUpdate(menu); });
    connect(menu, &QMenu::aboutToHide, this, [this, menu] { menuDidClose(menu); });
    return menu;
}

void ScopeDirChooser::menuNeedsUpdate(QMenu *menu)
{
    if (!menu)
        return;
    if (menu->objectName() == scopeDirsMenuTitle())
        fillScopeDirsMenu(menu);
    else if (menu->objectName() == directorySubmenuTitle())
        fillDirectorySubmenu(menu);
}

void ScopeDirChooser::menuDidClose(QMenu *menu)
{
    if (!menu || menu->objectName() != scopeDirsMenuTitle() || !m_scopeView)
        return;
    m_scopeView->cleanAllStates();
    refreshButtonState();
}

void ScopeDirChooser::clearMenu(QMenu *menu)
{
    for (QAction *action : menu->actions()) {
        if (QMenu *sub = action->menu(); sub && sub->parent() == menu)
            sub->deleteLater();
    }
    menu->clear();
}

QPixmap ScopeDirChooser::menuIconForPath(const QString &path)
{
    if (!_finderFileIcon)
        _finderFileIcon = new KZFinderFileIcon(this);
    return _finderFileIcon->iconForFileAtPath(path, false);
}

QMenu *ScopeDirChooser::addDirectorySubmenu(QMenu *parent, const QString &title, int tag,
                                            const QVariant &representedObject, const QString &iconPath)
{
    auto *sub = new ScopeDirMenu(parent);
    // A submenu's title is the text of its item: the identifier is its name.
    sub->setObjectName(directorySubmenuTitle());
    sub->setFont(parent->font());
    connect(sub, &QMenu::aboutToShow, this, [this, sub] { menuNeedsUpdate(sub); });
    QAction *item = sub->menuAction();
    item->setText(title);
    item->setData(tag);
    item->setProperty(kRepresentedObject, representedObject);
    item->setIcon(menuIconForPath(iconPath));
    item->setEnabled(true);
    connect(item, &QAction::triggered, this, [this, item] { mi_menu(item); });
    parent->addAction(item);
    return sub;
}

void ScopeDirChooser::fillScopeDirsMenu(QMenu *menu)
{
    clearMenu(menu);
    ScopeDirManager *manager = ScopeDirManager::sharedInstance();

    QList<std::shared_ptr<FavoriteDir>> favorites;
    for (const std::shared_ptr<FavoriteDir> &favorite : manager->favoriteDirs())
        if (favorite && favorite->updateStatus() == 1)
            favorites.append(favorite);

    // The manager logs a mount table it cannot read.
    const QStringList volumes = ScopeDirManager::mountedVolumes();
    for (const QString &volume : volumes) {
        if (!isReadable(volume))
            continue;
        QMenu *sub = addDirectorySubmenu(menu, displayNameAtPath(volume), TagVolume, volume, volume);
        setSelected(sub->menuAction(), _scopeKind == ScopeDirManager::SelectionPath
                                           && std::holds_alternative<QString>(_scopeObject)
                                           && std::get<QString>(_scopeObject) == volume);
    }

    const QString home = ScopeDirManager::homeDirPath();
    if (!home.isEmpty()) {
        if (!menu->actions().isEmpty())
            menu->addSeparator();
        QMenu *sub = addDirectorySubmenu(menu, displayNameAtPath(home), TagHome, home, home);
        setSelected(sub->menuAction(), _scopeKind == ScopeDirManager::SelectionHome);
    }

    QList<std::shared_ptr<FavoriteDir>> chosen;
    for (const std::shared_ptr<FavoriteDir> &favorite : favorites)
        if (favorite->kind() == FavoriteDir::KindScope)
            chosen.append(favorite);
    QHash<QString, int> nameCounts;
    for (const std::shared_ptr<FavoriteDir> &favorite : chosen)
        ++nameCounts[favorite->displayName()];
    qint64 selectedId = -1;
    if (_scopeKind == ScopeDirManager::SelectionFavorite
        && std::holds_alternative<std::shared_ptr<FavoriteDir>>(_scopeObject)
        && std::get<std::shared_ptr<FavoriteDir>>(_scopeObject))
        selectedId = std::get<std::shared_ptr<FavoriteDir>>(_scopeObject)->uniqueId();
    bool first = true;
    for (const std::shared_ptr<FavoriteDir> &favorite : chosen) {
        if (first && !menu->actions().isEmpty())
            menu->addSeparator();
        first = false;
        QString title = favorite->displayName();
        // Two folders of the same name: the folder two levels up tells them apart.
        if (nameCounts.value(title) >= 2)
            title += KZStringWithFormat(KZLocalizedString(" (%@)"),
                                        {displayNameAtPath(parentPath(parentPath(favorite->path())))});
        QMenu *sub = addDirectorySubmenu(menu, title, TagFavorite, QVariant::fromValue(favorite), favorite->path());
        setSelected(sub->menuAction(), favorite->uniqueId() == selectedId);
    }

    if (!menu->actions().isEmpty())
        menu->addSeparator();
    QAction *choose = menu->addAction(QIcon(chooseIcon()), KZLocalizedString("Choose…"));
    choose->setData(int(TagChoose));
    choose->setEnabled(true);
    connect(choose, &QAction::triggered, this, [this, choose] { mi_menu(choose); });
}

QList<ScopeDirMenuEntry> ScopeDirChooser::directorySubmenuEntries(const QString &dirPath)
{
    QList<ScopeDirMenuEntry> entries;
    const QByteArray dirBytes = QFile::encodeName(dirPath);
    std::optional<QList<QByteArray>> listed;
    if (!dirPath.isEmpty())
        listed = kzplatform::kzListFolderGuarded(dirBytes);
    const int listErr = listed ? 0 : errno;
    QStringList names;
    if (listed) {
        for (const QByteArray &name : std::as_const(*listed)) {
            const QString decoded = QFile::decodeName(name);
            // A name that does not survive the trip back to bytes could not be opened.
            if (QFile::encodeName(decoded) != name)
                continue;
            names.append(decoded);
        }
        entries.append({ScopeDirMenuEntry::Item, KZLocalizedString("Open"), TagOpen, dirPath, true, false});
    } else if (!dirPath.isEmpty() && isNoAnswer(listErr)) {
        entries.append({ScopeDirMenuEntry::Item, KZLocalizedString("(Not Responding)"), 0, dirPath, false, false});
    } else if (!dirPath.isEmpty()) {
        kzplatform::KZStat st;
        if (kzplatform::kzStatGuarded(dirBytes, &st) == 0 && S_ISDIR(st.mode) && !isReadable(dirPath))
            entries.append({ScopeDirMenuEntry::Item, KZLocalizedString("(No Read Access)"), 0, dirPath, false, false});
    }
    entries.append({ScopeDirMenuEntry::Separator, QString(), 0, QString(), false, false});
    if (!listed)
        return entries;

    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
    const bool isRoot = dirPath == QLatin1String("/");
    const QString prefix = dirPath.endsWith(QLatin1Char('/')) ? dirPath : dirPath + QLatin1Char('/');
    bool anyFolder = false;
    for (const QString &name : std::as_const(names)) {
        const QByteArray nameBytes = QFile::encodeName(name);
        if (isRoot && KZIsVolumeSystemHiddenFilename(nameBytes.constData(), size_t(nameBytes.size()), 1))
            continue;
        const QString path = prefix + name;
        kzplatform::KZStat st;
        if (kzplatform::kzStatGuarded(QFile::encodeName(path), &st) != 0) {
            // A mount point whose server does not answer: shown, not offered.
            if (isNoAnswer(errno)) {
                entries.append({ScopeDirMenuEntry::Item, name, 0, path, false, false});
                anyFolder = true;
            }
            continue;
        }
        if (!S_ISDIR(st.mode))
            continue;
        const bool readable = isReadable(path);
        entries.append({ScopeDirMenuEntry::Item, name, TagSubFolder, path, readable, readable});
        anyFolder = true;
    }
    if (!anyFolder)
        entries.append({ScopeDirMenuEntry::Item, KZLocalizedString("(No Directory)"), 0, dirPath, false, false});
    return entries;
}

void ScopeDirChooser::fillDirectorySubmenu(QMenu *menu)
{
    clearMenu(menu);
    const QVariant object = menu->menuAction()->property(kRepresentedObject);
    QString dirPath;
    if (object.canConvert<std::shared_ptr<FavoriteDir>>() && object.value<std::shared_ptr<FavoriteDir>>())
        dirPath = object.value<std::shared_ptr<FavoriteDir>>()->path();
    else
        dirPath = object.toString();
    for (const ScopeDirMenuEntry &entry : directorySubmenuEntries(dirPath)) {
        if (entry.type == ScopeDirMenuEntry::Separator) {
            menu->addSeparator();
        } else if (entry.hasSubmenu) {
            addDirectorySubmenu(menu, entry.title, entry.tag, entry.path, entry.path);
        } else {
            QAction *item = menu->addAction(entry.title);
            item->setData(entry.tag);
            item->setEnabled(entry.enabled);
            if (entry.tag != 0)
                item->setProperty(kRepresentedObject, entry.path);
            if (entry.tag == TagSubFolder)
                item->setIcon(menuIconForPath(entry.path));
            if (entry.tag != 0)
                connect(item, &QAction::triggered, this, [this, item] { mi_menu(item); });
        }
    }
}

void ScopeDirChooser::mi_menu(QAction *item)
{
    if (!item)
        return;
    ScopeDirManager *manager = ScopeDirManager::sharedInstance();
    const QVariant object = item->property(kRepresentedObject);
    switch (item->data().toInt()) {
    case TagVolume:
        if (manager->setSelectionKind(ScopeDirManager::SelectionPath, object.toString()))
            reportChange();
        break;
    case TagHome:
        if (manager->setSelectionKind(ScopeDirManager::SelectionHome, std::monostate()))
            reportChange();
        break;
    case TagFavorite: {
        const auto favorite = object.value<std::shared_ptr<FavoriteDir>>();
        if (favorite && manager->setSelectionKind(ScopeDirManager::SelectionFavorite, favorite))
            reportChange();
        break;
    }
    case TagSubFolder:
        if (manager->proposeSelectionWithDirPath(object.toString()))
            reportChange();
        break;
    case TagOpen:
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(object.toString())))
            KZLOG_WARNING_M(QStringLiteral("openUrl==NO path:%1").arg(object.toString()));
        break;
    case TagChoose:
        presentOpenPanel();
        break;
    default:
        break;
    }
}

void ScopeDirChooser::reportChange()
{
    if (m_observator)
        m_observator->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
}

bool ScopeDirChooser::scopeDirOverViewProposeURL(ScopeDirOverView *, const QUrl &url)
{
    if (!ScopeDirManager::sharedInstance()->proposeSelectionWithDirURL(url))
        return false;
    reportChange();
    return true;
}

QFileDialog *ScopeDirChooser::openPanel() const
{
    return m_openPanel;
}

void ScopeDirChooser::presentOpenPanel()
{
    const QString geometryKey = QStringLiteral("ScopeDirChooser-ScopeDirSelect");
    if (m_openPanel && m_openPanel->isVisible())
        return;
    delete m_openPanel;
    QWidget *window = m_scopeView ? m_scopeView->window() : nullptr;
    auto *panel = new QFileDialog(window);
    m_openPanel = panel;
    panel->setObjectName(QStringLiteral("ScopeDirChooser-openPanel"));
    panel->setWindowTitle(KZLocalizedString("Choose a Folder"));
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    // No new folders, renames or removals from inside the panel.
    panel->setOption(QFileDialog::ReadOnly, true);
    panel->setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::Drives);
    panel->setDirectory(ScopeDirManager::homeDirPath());
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setWindowModality(Qt::WindowModal);
    const QByteArray geometry =
        QByteArray::fromBase64(KZUserDefaults::standardUserDefaults().stringForKey(geometryKey).toLatin1());
    if (!geometry.isEmpty())
        panel->restoreGeometry(geometry);
    connect(panel, &QDialog::finished, this, [this, panel, geometryKey](int result) {
        KZUserDefaults::standardUserDefaults().setObject(QString::fromLatin1(panel->saveGeometry().toBase64()),
                                                         geometryKey);
        if (result != QDialog::Accepted)
            return;
        const QList<QUrl> urls = panel->selectedUrls();
        if (!urls.isEmpty() && ScopeDirManager::sharedInstance()->proposeSelectionWithDirURL(urls.first()))
            reportChange();
    });
    panel->open();
}

QString ScopeDirChooser::displayNameAtPath(const QString &path)
{
    if (path == QLatin1String("/")) {
        const QStorageInfo storage(path);
        const QString label = storage.isValid() ? storage.name() : QString();
        return label.isEmpty() ? path : label;
    }
    return lastPathComponent(path);
}

QPixmap ScopeDirChooser::chooseIcon()
{
    static const QPixmap icon = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(128, 128, 128));
        p.drawEllipse(QRectF(0, 0, 15, 15));
        QFont font;
        font.setBold(true);
        font.setPixelSize(13);
        p.setFont(font);
        p.setPen(Qt::white);
        const QString plus = QStringLiteral("+");
        const QFontMetricsF metrics(font);
        const double x = std::floor((16 - metrics.horizontalAdvance(plus)) / 2);
        // Centred on the disc vertically.
        const double baseline = 7.5 + (metrics.ascent() - metrics.descent()) / 2;
        p.drawText(QPointF(x, baseline), plus);
        return pixmap;
    }();
    return icon;
}
