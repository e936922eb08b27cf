// KZFinderFileIcon: the small icons of the results list and the scope chooser.
// The desktop icon of a path (from the icon theme, by MIME type), optionally
// with the alias badge, cached per path; and for regular files a thumbnail that
// is made in the background and handed back on the GUI thread when it is ready.
#pragma once

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <atomic>
#include <functional>
#include <memory>

class QThreadPool;

// One instance per consumer (the results list owns one). Every member function
// runs on the GUI thread unless it says otherwise. Caches live as long as the
// instance and are never pruned; a path whose thumbnail failed is not tried
// again during the instance's life.
class KZFinderFileIcon : public QObject
{
    Q_OBJECT
public:
    // Called on the GUI thread when a thumbnail has arrived.
    using UpdatedIconBlock = std::function<void(const QString &path, const QPixmap &icon)>;

    explicit KZFinderFileIcon(QObject *parent = nullptr);
    // Loads still queued are skipped; loads already running finish unseen: a
    // destroyed instance never receives a result.
    ~KZFinderFileIcon() override;

    // Edge length in device-independent pixels of every icon made (default 16).
    // Changing it forgets the icons and thumbnails made at the old size, and
    // loads still under way for it deliver nothing.
    int iconSize() const { return _iconSize; }
    void setIconSize(int size);

    UpdatedIconBlock updatedIconBk() const { return _updatedIconBk; }
    void setUpdatedIconBk(UpdatedIconBlock block) { _updatedIconBk = std::move(block); }

    // The desktop icon of path at iconSize, with the alias badge drawn over it
    // when aliasMask is true. Null for an empty path. The cache is keyed by
    // path alone: the first request for a path decides whether its icon
    // carries the badge.
    QPixmap iconForFileAtPath(const QString &path, bool aliasMask);

    // The thumbnail of path when it has arrived; otherwise the unbadged icon of
    // path, and when canStartLoad is true and the path is neither loading nor
    // failed, a background load is queued for fileURL (or the file URL of path
    // when fileURL is empty). The result comes back through mt_didUpdateIcon.
    // Null for an empty path.
    QPixmap iconPreviewForFileAtPath(const QString &path, const QUrl &fileURL, bool canStartLoad);

    // The GUI-thread end of a load: {"filePath": path, "icon": QImage, absent
    // when there is none}. Stores the thumbnail and calls updatedIconBk, or
    // puts the path on the error list.
    void mt_didUpdateIcon(const QVariantMap &info);

    const QSet<QString> &loadingPaths() const { return _loadingPaths; }
    const QSet<QString> &onErrorPaths() const { return _onErrorPaths; }
    bool hasPreviewIcon(const QString &path) const { return _previewIcons.contains(path); }

    // The desktop icon of path sized size x size, uncached (the scope chooser
    // uses 40). Null for an empty path.
    static QPixmap iconForFileAtPathWithSize(const QString &path, int size);
    // The desktop icon of path as the theme gives it: the theme icon of its
    // MIME type (or of the user folder it is), else the generic icon of the
    // type, else the platform's file icon. Follows symbolic links.
    static QIcon workspaceIconForFileAtPath(const QString &path);
    // The theme's "emblem-symbolic-link", or a drawn arrow when the theme has none.
    static QIcon aliasBadgeIcon();

    // A thumbnail of at most size x size pixels for a local file URL, or a null
    // image: the freedesktop thumbnail cache entry when one is valid, else made
    // from the file when it is an image Qt reads or a PDF (page 1 on white).
    // Never enlarges. bordered adds a one-pixel grey frame. Regular files only
    // (a FIFO is never opened). Any thread; blocks while it reads the file.
    static QImage quickLookFileIconForFileAtURL(const QUrl &url, int size, bool bordered);

    // The process-wide thumbnail queue: two threads at the lowest normal priority.
    static QThreadPool *thumbnailQueue();

    // Picks an installed icon theme (Adwaita, breeze, ...) when the platform
    // named none that has icons, as in a bare X session. Called on first use
    // of the icons; the application may call it earlier.
    static void ensureIconTheme();

private:
    void startLoad(const QString &path, const QUrl &fileURL);

    int _iconSize = 16;
    QHash<QString, QPixmap> _fileIcons;
    QHash<QString, QPixmap> _previewIcons;
    QSet<QString> _loadingPaths;
    QSet<QString> _onErrorPaths;
    UpdatedIconBlock _updatedIconBk;
    int m_sizeGeneration = 0; // counts icon size changes
    // Read by queued loads: false once the instance is gone.
    std::shared_ptr<std::atomic<bool>> m_alive;
};
