#include "results/Functions.h"

#include <QPainter>

QColor Functions::viewBgColor()
{
    static const QColor color = QColor::fromRgbF(0.96f, 0.96f, 0.96f, 1.0f);
    return color;
}

QColor Functions::sepLineColor()
{
    static const QColor color = QColor(214, 214, 214);
    return color;
}

QImage Functions::offImageFromImage(const QImage &image)
{
    if (image.isNull())
        return QImage();
    QImage off(image.size(), QImage::Format_ARGB32_Premultiplied);
    off.fill(Qt::transparent);
    QPainter painter(&off);
    // The black veil everywhere, then the image under it, which also cuts the
    // veil to the image's shape.
    painter.setCompositionMode(QPainter::CompositionMode_SourceOut);
    painter.fillRect(QRect(QPoint(0, 0), image.size()), QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.33f));
    painter.setCompositionMode(QPainter::CompositionMode_DestinationAtop);
    QImage source = image;
    source.setDevicePixelRatio(1.0); // draw pixel for pixel
    painter.drawImage(QPoint(0, 0), source);
    painter.end();
    off.setDevicePixelRatio(image.devicePixelRatio());
    return off;
}

QPixmap Functions::offImageFromImage(const QPixmap &pixmap)
{
    if (pixmap.isNull())
        return QPixmap();
    return QPixmap::fromImage(offImageFromImage(pixmap.toImage()));
}

QString Functions::pathByAbbreviating(const QString &path, const QString &scopeDir)
{
    if (path.isNull() || scopeDir.isNull())
        return QString();
    const QString prefix = scopeDir + QLatin1Char('/');
    if (path.startsWith(prefix))
        return path.mid(prefix.size());
    return path;
}
