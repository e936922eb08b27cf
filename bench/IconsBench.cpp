// Costs of the results list's icons: a desktop icon for a path not seen
// before (paid on the GUI thread once per row), a cached one, and the
// thumbnails made on the background queue from images, PDFs and the
// freedesktop cache.
#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QUrl>

#include <benchmark/benchmark.h>

#include "platform/KZThumbnailCache.h"
#include "results/KZFinderFileIcon.h"

namespace {

QTemporaryDir *g_dir = nullptr;
QStringList g_paths;
QString g_jpeg, g_png, g_pdf, g_cached, g_plain;

QString inDir(const QString &name)
{
    return g_dir->path() + QLatin1Char('/') + name;
}

void makeFixtures()
{
    static const char *const suffixes[] = {"txt", "png", "jpg", "pdf", "mp3", "mkv", "cpp", "h", "zip", "odt",
                                           "html", "json", "svg", "iso", "deb", "py", "sh", "md", "csv", "xml"};
    QDir().mkpath(inDir(QStringLiteral("many")));
    for (int i = 0; i < 2000; ++i) {
        const QString p = inDir(QStringLiteral("many/file%1.%2").arg(i).arg(QLatin1String(suffixes[i % 20])));
        QFile f(p);
        f.open(QIODevice::WriteOnly);
        g_paths.append(p);
    }
    QImage photo(4000, 3000, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    QPainter(&photo).fillRect(0, 0, 2000, 3000, Qt::yellow);
    g_jpeg = inDir(QStringLiteral("photo.jpg"));
    g_png = inDir(QStringLiteral("photo.png"));
    photo.save(g_jpeg, "JPEG", 85);
    photo.save(g_png, "PNG");
    g_pdf = inDir(QStringLiteral("paper.pdf"));
    {
        QPdfWriter writer(g_pdf);
        QPainter painter(&writer);
        for (int i = 0; i < 40; ++i)
            painter.drawText(100, 200 + i * 300, QStringLiteral("A line of text on the first page, number %1").arg(i));
    }
    g_plain = inDir(QStringLiteral("plain.txt"));
    QFile plain(g_plain);
    plain.open(QIODevice::WriteOnly);
    plain.write("text");
    plain.close();
    // A file that only the cache can show.
    g_cached = inDir(QStringLiteral("drawing.kra"));
    QFile cachedFile(g_cached);
    cachedFile.open(QIODevice::WriteOnly);
    cachedFile.write("opaque");
    cachedFile.close();
    const QByteArray bytes = QFile::encodeName(g_cached);
    const QString entry = kzplatform::kzThumbnailCandidatePaths(bytes, 16).first();
    QDir().mkpath(QFileInfo(entry).absolutePath());
    QImage thumbnail(128, 96, QImage::Format_ARGB32);
    thumbnail.fill(Qt::green);
    thumbnail.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(kzplatform::kzThumbnailFileURI(bytes)));
    thumbnail.setText(QStringLiteral("Thumb::MTime"),
                      QString::number(QFileInfo(g_cached).lastModified().toSecsSinceEpoch()));
    thumbnail.save(entry, "PNG");
}

void BM_IconForNewPath(benchmark::State &state)
{
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(KZFinderFileIcon::iconForFileAtPathWithSize(g_paths.at(i), 16));
        i = (i + 1) % g_paths.size();
    }
}
BENCHMARK(BM_IconForNewPath);

void BM_IconCached(benchmark::State &state)
{
    KZFinderFileIcon icons;
    for (const QString &p : g_paths)
        icons.iconForFileAtPath(p, false);
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(icons.iconForFileAtPath(g_paths.at(i), false));
        i = (i + 1) % g_paths.size();
    }
}
BENCHMARK(BM_IconCached);

void thumbnail(benchmark::State &state, const QString &path)
{
    const QUrl url = QUrl::fromLocalFile(path);
    for (auto _ : state)
        benchmark::DoNotOptimize(KZFinderFileIcon::quickLookFileIconForFileAtURL(url, 16, false));
}
void BM_ThumbnailJPEG4000x3000(benchmark::State &state) { thumbnail(state, g_jpeg); }
void BM_ThumbnailPNG4000x3000(benchmark::State &state) { thumbnail(state, g_png); }
void BM_ThumbnailPDF(benchmark::State &state) { thumbnail(state, g_pdf); }
void BM_ThumbnailFromCache(benchmark::State &state) { thumbnail(state, g_cached); }
void BM_ThumbnailNone(benchmark::State &state) { thumbnail(state, g_plain); }
BENCHMARK(BM_ThumbnailJPEG4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailPNG4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailPDF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThumbnailFromCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ThumbnailNone)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    g_dir = &dir;
    // A private thumbnail cache, and no display needed.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path() + QStringLiteral("/cache")));
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    makeFixtures();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
