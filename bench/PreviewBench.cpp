// The preview of a 40-megapixel photograph against a plain full decode of the
// same file, in the same run: the preview decodes at the size it shows (goal:
// under 300 ms for the JPEG). A PNG of the same size is timed too: its reader
// cannot decode at a smaller size, so its preview costs about a full decode.
// Prints the medians, their ratio and the load.
//
// Settings (environment):
//   TROVIX_BENCH_ROUNDS=N   rounds of each (default 5; medians are reported)
//   TROVIX_BENCH_IMAGE=FILE time this image instead of the generated ones
//   TROVIX_BENCH_DIR=DIR    keep the generated images there (and reuse them)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "results/FilePreviewRenderer.h"

namespace {

// A photograph-like picture: gradients and noise, so that the encoder
// cannot make the file trivially small.
QImage photograph(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(24));
            line[x] = qRgb((x * 255 / width + noise) & 255, (y * 255 / height + noise) & 255, (x + y + noise) & 255);
        }
    }
    return image;
}

double medianMs(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Timing {
    double wallMs = 0;
    double cpuMs = 0; // steadier than the wall on a busy machine
};

template <typename F>
Timing timeMs(int rounds, F &&work)
{
    std::vector<double> walls, cpus;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        const double cpu = threadCpuMs();
        timer.start();
        work();
        walls.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpus.push_back(threadCpuMs() - cpu);
    }
    return {medianMs(walls), medianMs(cpus)};
}

double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// Returns false when the preview misses the goal.
bool measure(const QString &path, int rounds, double goalMs)
{
    const QSize box(1280, 960);
    QSize full;
    const Timing decode = timeMs(rounds, [&] { full = QImage(path).size(); });
    FilePreview preview;
    const Timing shown = timeMs(rounds, [&] { preview = FilePreviewRenderer::render(path, box); });
    const bool ok = preview.kind == FilePreview::KindImage && (goalMs <= 0 || shown.wallMs < goalMs);
    std::printf("%s: %dx%d (%.1f MP, %.1f MiB)\n"
                "  full decode  %8.1f ms wall %8.1f ms CPU\n"
                "  preview      %8.1f ms wall %8.1f ms CPU (%dx%d)\n"
                "  ratio        %8.3f wall %8.3f CPU%s\n",
                qPrintable(QFile(path).fileName().section(QLatin1Char('/'), -1)), full.width(), full.height(),
                full.width() * double(full.height()) / 1e6, double(QFile(path).size()) / 1048576.0, decode.wallMs,
                decode.cpuMs, shown.wallMs, shown.cpuMs, preview.image.width(), preview.image.height(),
                shown.wallMs / decode.wallMs, shown.cpuMs / decode.cpuMs,
                goalMs > 0 ? (ok ? "  (goal < 300 ms: met)" : "  (goal < 300 ms: MISSED)") : "");
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The reference decodes the whole picture, more than Qt allows by default.
    QImageReader::setAllocationLimit(1024);
    const int rounds = std::max(1, qEnvironmentVariableIntValue("TROVIX_BENCH_ROUNDS") ?: 5);
    std::printf("load %.2f, %d rounds, medians\n", loadAverage(), rounds);
    if (qEnvironmentVariableIsSet("TROVIX_BENCH_IMAGE"))
        return measure(qEnvironmentVariable("TROVIX_BENCH_IMAGE"), rounds, 300) ? 0 : 1;

    QTemporaryDir temporary;
    const QString dir = qEnvironmentVariableIsSet("TROVIX_BENCH_DIR") ? qEnvironmentVariable("TROVIX_BENCH_DIR")
                                                                       : temporary.path();
    const QString jpeg = dir + QStringLiteral("/photo-40mp.jpg");
    const QString png = dir + QStringLiteral("/photo-40mp.png");
    if (!QFile::exists(jpeg) || !QFile::exists(png)) {
        const QImage picture = photograph(7744, 5164); // 40 megapixels, 3:2
        if (!picture.save(jpeg, "jpeg", 90) || !picture.save(png, "png", 80)) {
            std::fprintf(stderr, "cannot write the test images in %s\n", qPrintable(dir));
            return 2;
        }
    }
    const bool ok = measure(jpeg, rounds, 300);
    measure(png, std::min(rounds, 3), 0);
    return ok ? 0 : 1;
}
