// What the details pane waits for, against a plain reference in the same run:
//  - the facts and preview of a 24-megapixel JPEG (metadata item plus a
//    preview at the pane's size) against a full decode of the same file;
//  - the metadata table of a 1 GiB WAV (item read plus rows) against a plain
//    read of the reader's byte budget from the same file.
// Prints the medians, their ratios and the load.
//
// Settings (environment):
//   TROVIX_BENCH_ROUNDS=N   rounds of each (default 5; medians are reported)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "results/FileMdItemViewController.h"
#include "results/FilePreviewRenderer.h"

namespace {

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

QByteArray le(quint32 v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
    return out;
}

// A WAV header announcing 1 GiB of 16-bit stereo samples, the file sparse.
bool writeLargeWav(const QString &path)
{
    const quint32 dataBytes = 1u << 30;
    const QByteArray fmt = le(1, 2) + le(2, 2) + le(44100, 4) + le(44100 * 4, 4) + le(4, 2) + le(16, 2);
    const QByteArray header = QByteArray("RIFF") + le(dataBytes + 36, 4) + "WAVE" + "fmt " + le(16, 4) + fmt +
                              "data" + le(dataBytes, 4);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(header) == header.size() &&
           file.resize(header.size() + dataBytes);
}

template <typename F>
double medianMs(int rounds, F &&work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = std::max(1, qEnvironmentVariableIntValue("TROVIX_BENCH_ROUNDS") ?: 5);
    QTemporaryDir dir;
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    const QString wav = dir.filePath(QStringLiteral("film.wav"));
    if (!photograph(6000, 4000).save(jpeg, "JPEG", 90) || !writeLargeWav(wav)) {
        std::fprintf(stderr, "cannot write the sample files in %s\n", qPrintable(dir.path()));
        return 1;
    }
    // The pane's preview area at its first width in a 1000-point window.
    const QSize paneSize(384, 300);
    qsizetype sink = 0;
    const double facts = medianMs(rounds, [&] {
        const auto item = FileMdItemViewController::readItem(jpeg);
        sink += item ? item->attributes().size() : 0;
        sink += FilePreviewRenderer::render(jpeg, paneSize).image.width();
    });
    const double itemOnly = medianMs(rounds, [&] {
        const auto item = FileMdItemViewController::readItem(jpeg);
        sink += item ? item->attributes().size() : 0;
    });
    const double decode = medianMs(rounds, [&] { sink += QImage(jpeg).width(); });
    const double table = medianMs(rounds, [&] {
        QList<std::pair<QString, QVariant>> attributes;
        if (const auto item = FileMdItemViewController::readItem(wav)) {
            for (auto it = item->attributes().cbegin(); it != item->attributes().cend(); ++it)
                attributes.append({it.key(), it.value()});
        }
        sink += FileMdItemViewController::rowsForAttributes(attributes).size();
    });
    const double budgetRead = medianMs(rounds, [&] {
        QFile file(wav);
        if (file.open(QIODevice::ReadOnly))
            sink += file.read(kzplatform::KZMetadataItem::readBudget).size();
    });
    double load[1] = {0};
    getloadavg(load, 1);
    std::printf("load %.2f, %d rounds, medians (%lld)\n", load[0], rounds, static_cast<long long>(sink % 10));
    std::printf("24 MP JPEG: facts + preview %.1f ms (metadata item %.1f ms), full decode %.1f ms, ratio %.2f\n",
                facts, itemOnly, decode, facts / decode);
    std::printf("1 GiB WAV: metadata table %.1f ms, read of the 16 MiB budget %.1f ms, ratio %.2f\n", table,
                budgetRead, table / budgetRead);
    return 0;
}
