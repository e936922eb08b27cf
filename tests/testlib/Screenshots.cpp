#include "tests/testlib/Screenshots.h"

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

} // namespace kztest
