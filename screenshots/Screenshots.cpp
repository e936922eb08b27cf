#include "screenshots/Screenshots.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>

namespace kztest {

QString screenshotOutputDir(int argc, char **argv, const char *program)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", program);
        return {};
    }
    if (QFontDatabase::families().isEmpty() || QFontInfo(QApplication::font()).family().isEmpty()) {
        std::fprintf(stderr, "no font installed: install fonts-dejavu-core (scripts/setup.sh)\n");
        return {};
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    return out;
}

bool saveScreenshot(const QPixmap &shot, const QString &path)
{
    if (shot.isNull() || !shot.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), shot.width(), shot.height());
    return true;
}

QImage landscapeImage()
{
    QImage image(1600, 1067, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, image.height());
    sky.setColorAt(0, QColor(70, 130, 200));
    sky.setColorAt(1, QColor(250, 200, 150));
    painter.fillRect(image.rect(), sky);
    painter.setBrush(QColor(255, 230, 120));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(1150, 380), 110, 110);
    for (const auto &[color, top] : {std::pair{QColor(70, 120, 70), 620}, std::pair{QColor(40, 90, 50), 760}}) {
        QPainterPath hill(QPointF(0, image.height()));
        hill.lineTo(0, top);
        hill.cubicTo(500, top - 220, 1000, top + 180, 1600, top - 60);
        hill.lineTo(1600, image.height());
        painter.fillPath(hill, color);
    }
    return image;
}

} // namespace kztest
