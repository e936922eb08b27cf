// Shared by the programs that write the documentation's screenshots under a
// private Xvfb display.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

namespace kztest {

// The output folder given as the program's one argument, created; null (after
// saying why on standard error) without an argument or when no font is
// installed, since shots without text would be worthless.
QString screenshotOutputDir(int argc, char **argv, const char *program);

// Writes the shot as PNG and prints its path and size; false when it cannot.
bool saveScreenshot(const QPixmap &shot, const QString &path);

// A 1600x1067 landscape (sky, sun, two hills) for the photos the shots show.
QImage landscapeImage();

} // namespace kztest
