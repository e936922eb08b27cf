#include "results/KZFinderFileIcon.h"

#include <sys/stat.h>
#include <algorithm>
#include <cmath>

#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPdfDocument>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include "platform/KZGuardedFS.h"
#include "platform/KZPosixFS.h"
#include "platform/KZThreadPriority.h"
#include "platform/KZThumbnailCache.h"
#include "support/KZLog.h"

namespace {

const QString kFilePathKey = QStringLiteral("filePath");
const QString kIconKey = QStringLiteral("icon");

qreal screenRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

int devicePixels(int size, qreal ratio)
{
    return std::max(1, static_cast<int>(std::ceil(size * ratio)));
}

// icon drawn into exactly size x size (device-independent) pixels, enlarged or
// reduced to fit and centred, at the given pixel ratio.
QPixmap sizedPixmap(const QIcon &icon, int size, qreal ratio)
{
    if (icon.isNull() || size <= 0)
        return QPixmap();
    const int px = devicePixels(size, ratio);
    QImage source = icon.pixmap(QSize(size, size), ratio).toImage();
    if (source.isNull())
        return QPixmap();
    source.setDevicePixelRatio(1.0);
    QImage canvas(px, px, QImage::Format_ARGB32_Premultiplied);
    if (source.size() == canvas.size()) {
        canvas = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    } else {
        canvas.fill(Qt::transparent);
        const QSize fitted = source.size().scaled(px, px, Qt::KeepAspectRatio);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint((px - fitted.width()) / 2, (px - fitted.height()) / 2), fitted), source);
    }
    QPixmap pixmap = QPixmap::fromImage(canvas);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

// The arrow used when the theme has no symbolic-link emblem.
QIcon drawnAliasBadge()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 2));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
    QPainterPath arrow;
    arrow.moveTo(8, 25);
    arrow.cubicTo(8, 15, 12, 11, 21, 11);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(arrow);
    QPolygonF head;
    head << QPointF(18, 5) << QPointF(26, 11) << QPointF(18, 17);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawPolygon(head);
    painter.end();
    return QIcon(pixmap);
}

// Theme icon names of the user's own folders.
const QHash<QString, QString> &specialFolderIconNames()
{
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> map;
        const std::pair<QStandardPaths::StandardLocation, const char *> folders[] = {
            {QStandardPaths::DesktopLocation, "user-desktop"},
            {QStandardPaths::DocumentsLocation, "folder-documents"},
            {QStandardPaths::DownloadLocation, "folder-download"},
            {QStandardPaths::MusicLocation, "folder-music"},
            {QStandardPaths::PicturesLocation, "folder-pictures"},
            {QStandardPaths::MoviesLocation, "folder-videos"},
        };
        for (const auto &[location, name] : folders) {
            const QString path = QStandardPaths::writableLocation(location);
            if (!path.isEmpty())
                map.insert(QDir::cleanPath(path), QString::fromLatin1(name));
        }
        map.insert(QDir::cleanPath(QDir::homePath()), QStringLiteral("user-home"));
        map.insert(QStringLiteral("/"), QStringLiteral("drive-harddisk"));
        return map;
    }();
    return names;
}

QIcon themeIcon(const QString &name)
{
    return name.isEmpty() ? QIcon() : QIcon::fromTheme(name);
}

// The image scaled to fit size x size, never enlarged, in true colour.
QImage readScaledImage(QImageReader &reader, int size)
{
    reader.setAutoTransform(true);
    const QSize original = reader.size();
    // The PNG reader scales an image with a colour table (1-bit or palette)
    // into black and white: such an image is read whole and scaled here.
    const QImage::Format stored = reader.imageFormat();
    const bool hasColourTable = stored == QImage::Format_Mono || stored == QImage::Format_MonoLSB
        || stored == QImage::Format_Indexed8;
    if (!hasColourTable && original.isValid() && (original.width() > size || original.height() > size))
        reader.setScaledSize(original.scaled(size, size, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull())
        return image;
    // A 1-bit pixmap would be painted in the pen's colour, black.
    if (image.colorCount() > 0 || image.depth() < 8)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
    if (image.width() > size || image.height() > size)
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage thumbnailFromCache(const QString &path, int size)
{
    const QString cached = kzplatform::kzFindValidThumbnail(QFile::encodeName(path), size);
    if (cached.isEmpty())
        return QImage();
    QImageReader reader(cached, "png");
    QImage image = readScaledImage(reader, size);
    if (image.isNull())
        KZLOG_F(KZLogSeverityDiag,
                QStringLiteral("cached thumbnail unreadable path:%1 error:%2").arg(cached, reader.errorString()));
    return image;
}

QImage thumbnailFromImageFile(const QString &path, int size)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return QImage();
    QImage image = readScaledImage(reader, size);
    if (image.isNull())
        KZLOG_F(KZLogSeverityDiag, QStringLiteral("image unreadable path:%1 error:%2").arg(path, reader.errorString()));
    return image;
}

QImage thumbnailFromPDF(const QString &path, int size)
{
    static const QMimeDatabase mimeDatabase;
    if (!mimeDatabase.mimeTypeForFile(path).inherits(QStringLiteral("application/pdf")))
        return QImage();
    QPdfDocument document;
    const QPdfDocument::Error error = document.load(path);
    if (error != QPdfDocument::Error::None || document.pageCount() < 1) {
        KZLOG_F(KZLogSeverityDiag, QStringLiteral("PDF unreadable path:%1 error:%2").arg(path).arg(int(error)));
        return QImage();
    }
    const QSizeF points = document.pagePointSize(0);
    if (points.isEmpty())
        return QImage();
    const QSize pixels = points.scaled(size, size, Qt::KeepAspectRatio).toSize().expandedTo(QSize(1, 1));
    const QImage page = document.render(0, pixels);
    if (page.isNull())
        return QImage();
    // Pages render on a transparent background.
    QImage thumbnail(pixels, QImage::Format_ARGB32_Premultiplied);
    thumbnail.fill(Qt::white);
    QPainter painter(&thumbnail);
    painter.drawImage(0, 0, page);
    return thumbnail;
}

QImage withBorder(const QImage &image, int size)
{
    const int inner = std::max(1, size - 2);
    const QImage content = (image.width() > inner || image.height() > inner)
        ? image.scaled(inner, inner, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : image;
    QImage framed(content.width() + 2, content.height() + 2, QImage::Format_ARGB32_Premultiplied);
    framed.fill(QColor(160, 160, 160));
    QPainter painter(&framed);
    painter.drawImage(1, 1, content);
    return framed;
}

} // namespace

KZFinderFileIcon::KZFinderFileIcon(QObject *parent)
    : QObject(parent), m_alive(std::make_shared<std::atomic<bool>>(true))
{
}

KZFinderFileIcon::~KZFinderFileIcon()
{
    m_alive->store(false);
}

void KZFinderFileIcon::setIconSize(int size)
{
    if (size <= 0) {
        KZLOG_ERROR_M(QStringLiteral("size<=0 size:%1").arg(size));
        return;
    }
    if (size == _iconSize)
        return;
    _iconSize = size;
    ++m_sizeGeneration;
    _fileIcons.clear();
    _previewIcons.clear();
    _loadingPaths.clear();
}

QPixmap KZFinderFileIcon::iconForFileAtPath(const QString &path, bool aliasMask)
{
    if (path.isEmpty())
        return QPixmap();
    const auto cached = _fileIcons.constFind(path);
    if (cached != _fileIcons.constEnd())
        return *cached;
    const qreal ratio = screenRatio();
    QPixmap icon = sizedPixmap(workspaceIconForFileAtPath(path), _iconSize, ratio);
    if (aliasMask && !icon.isNull()) {
        const int px = devicePixels(_iconSize, ratio);
        const int badgePx = std::max(devicePixels(8, ratio), px / 2);
        QImage badge = aliasBadgeIcon().pixmap(QSize(badgePx, badgePx), 1.0).toImage();
        badge.setDevicePixelRatio(1.0);
        QImage composite = icon.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        composite.setDevicePixelRatio(1.0);
        QPainter painter(&composite);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(0, px - badgePx, badgePx, badgePx), badge);
        painter.end();
        icon = QPixmap::fromImage(composite);
        icon.setDevicePixelRatio(ratio);
    }
    _fileIcons.insert(path, icon);
    return icon;
}

QPixmap KZFinderFileIcon::iconPreviewForFileAtPath(const QString &path, const QUrl &fileURL, bool canStartLoad)
{
    if (path.isEmpty())
        return QPixmap();
    const auto preview = _previewIcons.constFind(path);
    if (preview != _previewIcons.constEnd())
        return *preview;
    if (canStartLoad && !_loadingPaths.contains(path) && !_onErrorPaths.contains(path))
        startLoad(path, fileURL);
    return iconForFileAtPath(path, false);
}

void KZFinderFileIcon::startLoad(const QString &path, const QUrl &fileURL)
{
    _loadingPaths.insert(path);
    const QUrl url = fileURL.isValid() && !fileURL.isEmpty() ? fileURL : QUrl::fromLocalFile(path);
    const int px = devicePixels(_iconSize, screenRatio());
    const std::shared_ptr<std::atomic<bool>> alive = m_alive;

    // The watcher is a child of this instance: once the instance is gone, the
    // result has nowhere to go.
    auto *watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path, generation = m_sizeGeneration] {
        if (generation != m_sizeGeneration) { // made for the old size
            watcher->deleteLater();
            return;
        }
        const QFuture<QImage> future = watcher->future();
        const QImage image = future.resultCount() > 0 ? future.result() : QImage();
        watcher->deleteLater();
        QVariantMap info{{kFilePathKey, path}};
        if (!image.isNull())
            info.insert(kIconKey, image);
        mt_didUpdateIcon(info);
    });
    watcher->setFuture(QtConcurrent::task([url, px, alive]() -> QImage {
                           kzplatform::kzLowerCurrentThreadPriority();
                           if (!alive->load())
                               return QImage();
                           return quickLookFileIconForFileAtURL(url, px, false);
                       })
                           .onThreadPool(*thumbnailQueue())
                           .withPriority(-1)
                           .spawn());
}

void KZFinderFileIcon::mt_didUpdateIcon(const QVariantMap &info)
{
    const QString path = info.value(kFilePathKey).toString();
    if (path.isEmpty()) {
        KZLOG_ERROR_M(QStringLiteral("filePath==nil"));
        return;
    }
    _loadingPaths.remove(path);
    const QImage image = info.value(kIconKey).value<QImage>();
    if (image.isNull()) {
        _onErrorPaths.insert(path);
        return;
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(screenRatio());
    _previewIcons.insert(path, pixmap);
    if (_updatedIconBk) {
        const UpdatedIconBlock block = _updatedIconBk; // the block may replace itself
        block(path, pixmap);
    }
}

QPixmap KZFinderFileIcon::iconForFileAtPathWithSize(const QString &path, int size)
{
    if (path.isEmpty())
        return QPixmap();
    return sizedPixmap(workspaceIconForFileAtPath(path), size, screenRatio());
}

QIcon KZFinderFileIcon::workspaceIconForFileAtPath(const QString &path)
{
    ensureIconTheme();
    // Follows links, as the desktop shows a link's target. Time-boxed: a path
    // on a server that does not answer gets the icon its name suggests.
    kzplatform::KZStat st;
    const bool known = kzplatform::kzStatGuarded(QFile::encodeName(path), &st) == 0;
    const bool isDir = known && S_ISDIR(st.mode);
    if (isDir) {
        const QIcon special = themeIcon(specialFolderIconNames().value(QDir::cleanPath(path)));
        if (!special.isNull())
            return special;
        const QIcon folder = QIcon::fromTheme(QStringLiteral("folder"));
        if (!folder.isNull())
            return folder;
    } else {
        static const QMimeDatabase mimeDatabase;
        // By name only: reading the file's content here would stall the list.
        const QMimeType type = mimeDatabase.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
        if (type.isDefault() && known && S_ISREG(st.mode) && (st.mode & (S_IXUSR | S_IXGRP | S_IXOTH))) {
            const QIcon executable = QIcon::fromTheme(QStringLiteral("application-x-executable"));
            if (!executable.isNull())
                return executable;
        }
        QIcon icon = themeIcon(type.iconName());
        if (icon.isNull())
            icon = themeIcon(type.genericIconName());
        if (!icon.isNull())
            return icon;
    }
    // By kind only: the provider's icon of a file info would look at the path again.
    static QFileIconProvider provider;
    return provider.icon(isDir ? QFileIconProvider::Folder : QFileIconProvider::File);
}

QIcon KZFinderFileIcon::aliasBadgeIcon()
{
    static const QIcon badge = [] {
        ensureIconTheme();
        const QIcon themed = QIcon::fromTheme(QStringLiteral("emblem-symbolic-link"));
        return themed.isNull() ? drawnAliasBadge() : themed;
    }();
    return badge;
}

QImage KZFinderFileIcon::quickLookFileIconForFileAtURL(const QUrl &url, int size, bool bordered)
{
    if (!url.isValid() || !url.isLocalFile() || size <= 0)
        return QImage();
    const QString path = url.toLocalFile();
    kzplatform::KZStat st;
    if (kzplatform::kzStatFollow(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.mode))
        return QImage();
    QImage image = thumbnailFromCache(path, size);
    if (image.isNull())
        image = thumbnailFromImageFile(path, size);
    if (image.isNull())
        image = thumbnailFromPDF(path, size);
    if (image.isNull())
        return QImage();
    return bordered ? withBorder(image, size) : image;
}

QThreadPool *KZFinderFileIcon::thumbnailQueue()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setObjectName(QStringLiteral("KZFinderFileIcon-thumbnails"));
        p->setMaxThreadCount(2);
        // Loads still queued when the application object goes away are
        // dropped; running ones finish while Qt is still there.
        qAddPostRoutine([] {
            thumbnailQueue()->clear();
            thumbnailQueue()->waitForDone();
        });
        return p;
    }();
    return pool;
}

void KZFinderFileIcon::ensureIconTheme()
{
    static bool checked = false;
    if (checked)
        return;
    checked = true;
    if (QIcon::hasThemeIcon(QStringLiteral("folder")))
        return;
    const QString previous = QIcon::themeName();
    static const char *const candidates[] = {"Adwaita", "breeze", "Papirus", "elementary", "gnome", "oxygen"};
    for (const char *candidate : candidates) {
        const QString name = QString::fromLatin1(candidate);
        for (const QString &dir : QIcon::themeSearchPaths()) {
            if (!QFileInfo::exists(dir + QLatin1Char('/') + name + QStringLiteral("/index.theme")))
                continue;
            QIcon::setThemeName(name);
            if (QIcon::hasThemeIcon(QStringLiteral("folder")))
                return;
        }
    }
    QIcon::setThemeName(previous);
    KZLOG_F(KZLogSeverityWarning, QStringLiteral("no icon theme with a folder icon; platform icons are used"));
}
