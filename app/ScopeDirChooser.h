// The scope chooser: the folder button at the left of the search bar. It shows
// the icon of the current scope folder (its path as tool tip), drops down a
// menu of places to search in (mounted volumes, the home folder, the folders
// the user chose, any sub-folder through nested submenus, "Choose…" for an
// open panel) and takes folders dropped on it. Every choice goes to the scope
// manager, which decides and persists; an accepted change is reported to the
// window with scopeDirChooserAction({"kind": 1}). GUI thread only.
#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <memory>

#include "app/DocumentWindowController.h"
#include "scope/FavoriteDir.h"
#include "scope/ScopeDirManager.h"
#include "toolkit/KZOverView.h"

Q_DECLARE_METATYPE(std::shared_ptr<FavoriteDir>)

class KZFinderFileIcon;
class QFileDialog;
class QMimeData;
class ScopeDirOverView;

// What the scope button asks of its owner when something is dropped on it.
class ScopeDirOverViewDelegate
{
public:
    virtual ~ScopeDirOverViewDelegate() = default;
    // The owner's verdict is the drop's result.
    virtual bool scopeDirOverViewProposeURL(ScopeDirOverView *view, const QUrl &url) = 0;
};

// The scope button: a hover/press view drawn by the chooser that also takes
// drops of URLs, file URLs and file names (a plain-text absolute path).
class ScopeDirOverView : public KZOverView
{
    Q_OBJECT
public:
    explicit ScopeDirOverView(QWidget *parent = nullptr);

    // Not owned; cleared by the owner before it goes.
    ScopeDirOverViewDelegate *dropDelegate() const { return m_dropDelegate; }
    void setDropDelegate(ScopeDirOverViewDelegate *delegate) { m_dropDelegate = delegate; }

    QString scopeDir() const { return _scopeDir; }
    // The tool tip: the path, or none without a path.
    void updateFromScropDir(const QString &scopeDir);
    // True while an acceptable drag hovers over the button.
    bool hasDragging() const { return m_hasDragging; }

    // Whether a drag carrying data may be dropped here.
    static bool isAcceptableDrag(const QMimeData *data);
    // The first file URL the data yields (a file URL, else a plain-text path
    // or file URL), or an empty URL.
    static QUrl fileURLFromMimeData(const QMimeData *data);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setHasDragging(bool dragging);

    QString _scopeDir;
    bool m_hasDragging = false;
    ScopeDirOverViewDelegate *m_dropDelegate = nullptr;
};

// One line of a folder submenu, as read from the file system (no widgets, so
// the listing can be checked anywhere).
struct ScopeDirMenuEntry {
    enum Type { Item, Separator };
    Type type = Item;
    QString title;
    int tag = 0;     // 4 a sub-folder, 5 "Open", 0 an information line
    QString path;    // the folder the item stands for
    bool enabled = false;
    bool hasSubmenu = false; // readable sub-folders open their own submenu
    bool operator==(const ScopeDirMenuEntry &) const = default;
};

class ScopeDirChooser : public QObject,
                        public DocumentWindowScopeChooser,
                        public KZOverViewDelegateProtocol,
                        public ScopeDirOverViewDelegate
{
    Q_OBJECT
public:
    // Menu item tags.
    enum Tag { TagVolume = 1, TagHome = 2, TagFavorite = 3, TagSubFolder = 4, TagOpen = 5, TagChoose = 10 };

    static constexpr int kScopeIconSize = 40;
    // The identifiers (object names) of the top menu, whose title is the same,
    // and of every folder submenu, whose title is its item's text.
    static QString scopeDirsMenuTitle() { return QStringLiteral("ScopeDirs-Menu"); }
    static QString directorySubmenuTitle() { return QStringLiteral("Directory-Submenu"); }

    explicit ScopeDirChooser(QObject *parent = nullptr);
    ~ScopeDirChooser() override;

    // The receiver of scopeDirChooserAction (weak).
    DocumentWindowController *mObservator() const { return m_observator; }
    void setObservator(DocumentWindowController *observator) { m_observator = observator; }
    ScopeDirOverView *mScopeView() const { return m_scopeView; }

    // DocumentWindowScopeChooser
    QWidget *view() override;
    void updateUIWithScopeKind(qint64 kind, const ScopeDirManager::SelectionObject &scopeObject) override;
    // A window-modal folder panel on the button's window; OK proposes the
    // folder to the scope manager.
    void presentOpenPanel() override;
    // The panel while it is open (or kept after closing), for tests.
    QFileDialog *openPanel() const;

    qint64 scopeKind() const { return _scopeKind; }
    ScopeDirManager::SelectionObject scopeObject() const { return _scopeObject; }
    QPixmap scopeIcon() const { return _scopeIcon; }

    // KZOverViewDelegateProtocol
    void overViewDrawRect(KZOverView *view, QPainter *painter, const QRect &rect, int state) override;
    void overViewDidPressed(KZOverView *view, const QVariantMap &info) override;
    // ScopeDirOverViewDelegate
    bool scopeDirOverViewProposeURL(ScopeDirOverView *view, const QUrl &url) override;

    // A new top menu, titled "ScopeDirs-Menu", that fills itself each time it
    // opens; every item it (or a submenu) holds hands itself to mi_menu when
    // triggered. The caller owns it.
    QMenu *scopeDirsMenu(QWidget *parent = nullptr);
    // Rebuilds the top menu or a folder submenu from scratch, by its identifier.
    void menuNeedsUpdate(QMenu *menu);
    void menuDidClose(QMenu *menu);
    // The action of a menu item, by its tag (QAction::data()); its
    // "representedObject" property holds the path or the favourite.
    void mi_menu(QAction *item);

    // The lines of the submenu of dirPath: "(No Read Access)" when the folder
    // exists but cannot be listed, else "Open"; a separator; the sub-folders
    // (links to folders too) sorted without regard to case, without the
    // volume-system hidden names at "/"; "(No Directory)" when "Open" was
    // added and no sub-folder follows. Reads the file system synchronously.
    static QList<ScopeDirMenuEntry> directorySubmenuEntries(const QString &dirPath);
    // The name the menus show for a folder: its last path component; "/" shows
    // its file system's label when it has one.
    static QString displayNameAtPath(const QString &path);
    // The 16 x 16 "choose" icon (grey disc, white "+"), made once.
    static QPixmap chooseIcon();

private:
    void fillScopeDirsMenu(QMenu *menu);
    void fillDirectorySubmenu(QMenu *menu);
    QMenu *addDirectorySubmenu(QMenu *parent, const QString &title, int tag, const QVariant &representedObject,
                               const QString &iconPath);
    void clearMenu(QMenu *menu);
    QPixmap menuIconForPath(const QString &path);
    void reportChange();
    void refreshButtonState();

    qint64 _scopeKind = 0;
    ScopeDirManager::SelectionObject _scopeObject;
    QPixmap _scopeIcon;
    KZFinderFileIcon *_finderFileIcon = nullptr;
    QPointer<ScopeDirOverView> m_scopeView;
    QPointer<DocumentWindowController> m_observator;
    QPointer<QFileDialog> m_openPanel;
};
