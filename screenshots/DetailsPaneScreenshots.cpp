// Takes the screenshots of the details pane for the documentation, on the
// display it is given (a private Xvfb: scripts/screenshots.sh details-pane):
// the facts and preview of a photograph, and the metadata of the photograph,
// a song and a PDF, each chosen in a results list.
//
//   details_pane_screenshots OUTPUT_DIR
#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTest>

#include <exiv2/exiv2.hpp>

#include "engine/KZFileSearchObject.h"
#include "platform/KZPosixFS.h"
#include "results/FileMdItemViewController.h"
#include "results/FilePreviewView.h"
#include "results/KZFinderFileIcon.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsViewController.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

void writePhoto(const QString &path)
{
    kztest::landscapeImage().save(path, "JPEG", 85);
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    Exiv2::ExifData &exif = image->exifData();
    exif["Exif.Image.Make"] = "Fujifilm";
    exif["Exif.Image.Model"] = "X-T5";
    exif["Exif.Photo.ExposureTime"] = Exiv2::Rational(1, 250);
    exif["Exif.Photo.FNumber"] = Exiv2::Rational(56, 10);
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(200);
    exif["Exif.Photo.FocalLength"] = Exiv2::Rational(35, 1);
    exif["Exif.Photo.DateTimeOriginal"] = "2026:08:14 19:42:10";
    exif["Exif.GPSInfo.GPSLatitude"] = "43/1 46/1 12/1";
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLongitude"] = "11/1 15/1 3/1";
    exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
    image->xmpData()["Xmp.dc.title"] = "Tuscan evening";
    image->writeMetadata();
}

QByteArray le(quint32 v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
    return out;
}

QByteArray chunk(const char *id, const QByteArray &body)
{
    return QByteArray(id, 4) + le(quint32(body.size()), 4) + body + QByteArray(body.size() % 2, '\0');
}

// Two seconds of 16-bit stereo silence with RIFF INFO tags.
QByteArray song()
{
    const QByteArray fmt = le(1, 2) + le(2, 2) + le(44100, 4) + le(44100 * 4, 4) + le(4, 2) + le(16, 2);
    QByteArray info("INFO");
    for (const auto &[id, value] : {std::pair<const char *, QByteArray>{"INAM", "Blue Hour"}, {"IART", "The Quiet Owls"},
                                    {"IPRD", "Night Drives"}, {"IGNR", "Jazz"}, {"ICRD", "2025"}})
        info += chunk(id, value + '\0');
    return chunk("RIFF", QByteArray("WAVE") + chunk("fmt ", fmt) + chunk("LIST", info) +
                             chunk("data", QByteArray(44100 * 8, '\0')));
}

void writePdf(const QString &path)
{
    QPdfWriter writer(path);
    writer.setTitle(QStringLiteral("Quarterly Report"));
    writer.setCreator(QStringLiteral("Trovix screenshots"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter painter(&writer);
    QFont title = painter.font();
    title.setPointSize(26);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRect(0, 10, 500, 50), Qt::AlignLeft, QStringLiteral("Quarterly Report"));
    painter.fillRect(QRect(0, 70, 500, 4), QColor(255, 149, 0));
}

} // namespace

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    const QString out = kztest::screenshotOutputDir(argc, argv, "details_pane_screenshots");
    if (out.isEmpty())
        return 1;
    KZFinderFileIcon::ensureIconTheme();
    kztest::TempTree tree;
    const QStringList names{QStringLiteral("Tuscan evening.jpg"), QStringLiteral("Blue Hour.wav"),
                            QStringLiteral("Quarterly Report.pdf")};
    writePhoto(tree.path(names.at(0)));
    tree.writeFile(names.at(1), song());
    writePdf(tree.path(names.at(2)));

    KZFileSearchObject session;
    ResultsViewController results;
    results.updateUI(tree.root(), &session);
    results.setHasResults(true);
    results.view()->resize(1000, 560);
    results.view()->show();
    FileSearchResultList batch;
    for (const QString &name : names) {
        const QByteArray path = QFile::encodeName(tree.path(name));
        kzplatform::KZStat st;
        if (kzplatform::kzLstat(path.constData(), &st) == 0)
            batch.append(FileSearchResult::initWithPath(path.constData(), 'F', st));
    }
    ResultsListViewController *list = results.resultsListViewController();
    list->not_fileSearchObjectDidUpdated(
        &session, {{QStringLiteral("kind"), 1}, {QStringLiteral("results"), QVariant::fromValue(batch)}});
    list->flushPendingRows();
    const auto select = [&](const QString &name) {
        for (int row = 0; row < list->objectList().size(); ++row)
            if (list->fileURLOfRow(row).fileName() == name)
                list->mTableView()->selectRow(row);
    };
    const auto setMode = [&](int mode) {
        results.resultsListViewControllerChanged(list, {{QStringLiteral("type"), 2}, {QStringLiteral("mode"), mode}});
    };

    bool ok = true;
    select(names.at(0));
    setMode(1);
    ok = kztest::waitUntil([&] {
        FilePreviewView *view = results.fileTreePreviewView();
        return !view->isLoading() && view->preview().kind == FilePreview::KindImage;
    }) && ok;
    QTest::qWait(300);
    ok = kztest::saveScreenshot(results.view()->grab(), out + QStringLiteral("/details-pane-photo.png")) && ok;

    setMode(2);
    for (const auto &[name, file] : {std::pair{names.at(0), "/metadata-pane-photo.png"},
                                     std::pair{names.at(1), "/metadata-pane-song.png"},
                                     std::pair{names.at(2), "/metadata-pane-pdf.png"}}) {
        select(name);
        FileMdItemViewController *md = results.fileMdItemViewController();
        ok = kztest::waitUntil([&] { return !md->isLoading() && md->filePath().endsWith(name); }) && ok;
        QTest::qWait(300);
        ok = kztest::saveScreenshot(results.view()->grab(), out + QString::fromLatin1(file)) && ok;
    }
    return ok ? 0 : 1;
}
