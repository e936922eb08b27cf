#include <fcntl.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QtConcurrent>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include "platform/metadata/KZMetadataValues.h"
#include "results/FileMdInfo.h"
#include "results/FileMdItemReader.h"
#include "tests/testlib/TestEnvironment.h"

using kzplatform::KZMetadataItem;
using kztest::TempTree;

namespace {

QByteArray le(quint32 v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
    return out;
}

QByteArray chunk(const char *id, const QByteArray &body)
{
    QByteArray padded = body;
    if (padded.size() % 2)
        padded.append('\0');
    return QByteArray(id, 4) + le(quint32(body.size()), 4) + padded;
}

// Half a second of 16-bit stereo silence at 44.1 kHz with RIFF INFO tags.
QByteArray wav(const QByteArray &recorded)
{
    const QByteArray fmt = le(1, 2) + le(2, 2) + le(44100, 4) + le(44100 * 4, 4) + le(4, 2) + le(16, 2);
    QByteArray info("INFO");
    for (const auto &[id, value] : {std::pair<const char *, QByteArray>{"INAM", "Song"}, {"IART", "Artist"},
                                    {"IGNR", "Jazz"}, {"ICRD", recorded}})
        info += chunk(id, value + '\0');
    const QByteArray body = QByteArray("WAVE") + chunk("fmt ", fmt) + chunk("LIST", info)
                            + chunk("data", QByteArray(44100 * 2, '\0'));
    return chunk("RIFF", body);
}

// A JPEG whose EXIF, GPS and XMP are written by Exiv2; garbage swaps in
// values that are no number or date.
void writeJpeg(const QString &path, bool garbage)
{
    QImage(40, 30, QImage::Format_RGB32).save(path, "JPEG");
    auto image = Exiv2::ImageFactory::open(path.toStdString());
    image->readMetadata();
    Exiv2::ExifData &exif = image->exifData();
    exif["Exif.Image.Make"] = "TestCam";
    exif["Exif.Image.Model"] = "X1";
    exif["Exif.Image.Orientation"] = uint16_t(6); // shown turned: 30 x 40, portrait
    exif["Exif.Photo.ExposureTime"] = Exiv2::Rational(1, 125);
    exif["Exif.Photo.FNumber"] = Exiv2::Rational(28, 10);
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(200);
    exif["Exif.Photo.Flash"] = uint16_t(0x19);
    exif["Exif.Photo.FocalLength"] = garbage ? Exiv2::Rational(50, 0) : Exiv2::Rational(50, 1);
    exif["Exif.Photo.DateTimeOriginal"] = garbage ? "0000:00:00 00:00:00" : "2024:05:01 10:20:30";
    exif["Exif.Photo.ExifVersion"] = "48 50 51 50";
    exif["Exif.GPSInfo.GPSLatitude"] = "48/1 51/1 30/1";
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    exif["Exif.GPSInfo.GPSLongitude"] = "2/1 17/1 24/1";
    exif["Exif.GPSInfo.GPSLongitudeRef"] = "W";
    exif["Exif.GPSInfo.GPSAltitude"] = Exiv2::Rational(35, 1);
    Exiv2::XmpData &xmp = image->xmpData();
    xmp["Xmp.dc.title"] = "Sunset";
    xmp["Xmp.xmp.Rating"] = garbage ? "lots" : "4";
    Exiv2::Value::AutoPtr subject = Exiv2::Value::create(Exiv2::xmpBag);
    subject->read("alpha");
    subject->read("beta");
    xmp.add(Exiv2::XmpKey("Xmp.dc.subject"), subject.get());
    image->writeMetadata();
}

// A two-page A4 PDF with a title and an author. QPdfWriter has no author
// field: its creator key is renamed in place, keeping every offset.
void writePdf(const QString &path)
{
    {
        QPdfWriter writer(path);
        writer.setTitle(QStringLiteral("Quarterly Report"));
        writer.setCreator(QStringLiteral("Ada Lovelace"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        QPainter painter(&writer);
        painter.drawRect(100, 100, 200, 200);
        writer.newPage();
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.contains("/Creator "));
    bytes.replace("/Creator ", "/Author  ");
    file.seek(0);
    file.write(bytes);
}

qint64 bytesReadByProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar: "))
            return line.mid(7).toLongLong();
    }
    return -1;
}

using Expected = QList<std::pair<const char *, QVariant>>;

} // namespace

TEST(FileMdItemReader, ValueParsersLeaveOutWhatIsNoNumberOrDate)
{
    const std::pair<const char *, std::optional<double>> numbers[] = {
        {"44100", 44100}, {" -3.5 ", -3.5}, {"1/125", 0.008}, {"1.5e3", 1500}, {"50/0", std::nullopt},
        {"", std::nullopt}, {"12 kHz", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt},
        {"1e999", std::nullopt}, {"0x10", std::nullopt},
    };
    for (const auto &[text, value] : numbers)
        EXPECT_EQ(kzplatform::kzMetadataNumber(QString::fromLatin1(text)), value) << text;

    const QDateTime local(QDate(2024, 5, 1), QTime(10, 20, 30));
    const QDateTime utc(QDate(2024, 5, 1), QTime(10, 20, 30), QTimeZone::utc());
    const std::pair<const char *, QDateTime> dates[] = {
        {"2024:05:01 10:20:30", local}, {"2024-05-01T10:20:30Z", utc}, {"UTC 2024-05-01 10:20:30.123", utc},
        {"2024-05-01T12:20:30+02:00", utc}, {"2024-05-01", QDateTime(QDate(2024, 5, 1), QTime(0, 0))},
        {"0000:00:00 00:00:00", {}}, {"2024:13:01 10:20:30", {}}, {"2024-05-01 25:00:00", {}}, {"2021", {}},
        {"yesterday", {}}, {"2024-05-01T10:20:30+99:00", {}},
    };
    for (const auto &[text, date] : dates) {
        const QDateTime parsed = kzplatform::kzMetadataDate(QString::fromLatin1(text));
        EXPECT_EQ(parsed.isValid(), date.isValid()) << text;
        if (date.isValid())
            EXPECT_EQ(parsed.toMSecsSinceEpoch(), date.toMSecsSinceEpoch()) << text;
    }
}

TEST(FileMdItemReader, ReadsEachKindOfFileOnAWorkerThread)
{
    TempTree tree;
    writeJpeg(tree.path(QStringLiteral("photo.jpg")), false);
    writeJpeg(tree.path(QStringLiteral("damaged.jpg")), true);
    QImage(7, 5, QImage::Format_ARGB32).save(tree.path(QStringLiteral("icon.png")), "PNG");
    tree.writeFile(QStringLiteral("song.wav"), wav("2021"));
    tree.writeFile(QStringLiteral("undated.wav"), wav("sometime"));
    writePdf(tree.path(QStringLiteral("report.pdf")));
    tree.writeFile(QStringLiteral(".notes.txt"), "notes\n");
    tree.setXattr(QStringLiteral(".notes.txt"), "user.xdg.comment", "a comment");
    tree.setXattr(QStringLiteral(".notes.txt"), "user.xdg.origin.url", "https://example.org/notes.txt");
    tree.setXattr(QStringLiteral(".notes.txt"), "user.xdg.referrer.url", "https://example.org/");
    tree.setXattr(QStringLiteral(".notes.txt"), "user.xdg.language", "fr");
    tree.setXattr(QStringLiteral(".notes.txt"), "user.xdg.creator", "Writer");
    tree.setXattr(QStringLiteral(".notes.txt"), "user.xdg.publisher", "Press");
    tree.setTags(QStringLiteral(".notes.txt"), {QStringLiteral("Red"), QStringLiteral("Work")});
    tree.mkdir(QStringLiteral("folder"));
    for (const char *name : {"folder/a", "folder/b", "folder/.c"})
        tree.writeFile(QString::fromLatin1(name));
    tree.symlink(QStringLiteral("photo.jpg"), QStringLiteral("link.jpg"));

    const QStringList names = {QStringLiteral("photo.jpg"), QStringLiteral("damaged.jpg"), QStringLiteral("icon.png"),
                               QStringLiteral("song.wav"),  QStringLiteral("undated.wav"), QStringLiteral("report.pdf"),
                               QStringLiteral(".notes.txt"), QStringLiteral("folder"),     QStringLiteral("link.jpg")};
    const QList<std::optional<KZMetadataItem>> items = QtConcurrent::blockingMapped(
        names, std::function<std::optional<KZMetadataItem>(const QString &)>(
            [&](const QString &name) { return FileMdItemReader::read(tree.path(name)); }));

    const QVariant none;
    const QStringList sound{QStringLiteral("Sound")};
    const QMap<QString, Expected> expected = {
        {QStringLiteral("photo.jpg"),
         {{"kMDItemContentType", QStringLiteral("image/jpeg")}, {"kMDItemPixelWidth", 40}, {"kMDItemPixelHeight", 30},
          {"kMDItemOrientation", 1}, {"kMDItemAcquisitionMake", QStringLiteral("TestCam")},
          {"kMDItemAcquisitionModel", QStringLiteral("X1")}, {"kMDItemExposureTimeSeconds", 0.008},
          {"kMDItemExposureTimeString", QStringLiteral("1/125")}, {"kMDItemFNumber", 2.8}, {"kMDItemISOSpeed", 200},
          {"kMDItemFlashOnOff", 1}, {"kMDItemFocalLength", 50}, {"kMDItemEXIFVersion", QStringLiteral("2.32")},
          {"kMDItemLatitude", QStringLiteral("48.858333")}, {"kMDItemLongitude", QStringLiteral("-2.290000")},
          {"kMDItemAltitude", QStringLiteral("35")},
          {"kMDItemContentCreationDate", QDateTime(QDate(2024, 5, 1), QTime(10, 20, 30))},
          {"kMDItemTitle", QStringLiteral("Sunset")}, {"kMDItemStarRating", 4},
          {"kMDItemKeywords", QStringList{QStringLiteral("alpha"), QStringLiteral("beta")}}}},
        {QStringLiteral("damaged.jpg"),
         {{"kMDItemAcquisitionMake", QStringLiteral("TestCam")}, {"kMDItemFocalLength", none},
          {"kMDItemContentCreationDate", none}, {"kMDItemStarRating", none}}},
        {QStringLiteral("icon.png"),
         {{"kMDItemContentType", QStringLiteral("image/png")}, {"kMDItemPixelWidth", 7}, {"kMDItemPixelHeight", 5},
          {"kMDItemOrientation", 0}}},
        // MediaInfo answers text: numbers arrive parsed.
        {QStringLiteral("song.wav"),
         {{"kMDItemAudioSampleRate", 44100}, {"kMDItemAudioChannelCount", 2}, {"kMDItemDurationSeconds", 0.5},
{"kMDItemCodecs", QStringList{QStringLiteral("PCM")}},
          {"kMDItemMediaTypes", sound}, {"kMDItemTitle", QStringLiteral("Song")},
          {"kMDItemAuthors", QStringList{QStringLiteral("Artist")}},
          {"kMDItemMusicalGenre", QStringLiteral("Jazz")}, {"kMDItemRecordingYear", 2021}}},
        {QStringLiteral("undated.wav"),
         {{"kMDItemMediaTypes", sound}, {"kMDItemRecordingYear", none}, {"kMDItemRecordingDate", none}}},
        {QStringLiteral("report.pdf"),
         {{"kMDItemContentType", QStringLiteral("application/pdf")}, {"kMDItemTitle", QStringLiteral("Quarterly Report")},
          {"kMDItemAuthors", QStringList{QStringLiteral("Ada Lovelace")}}, {"kMDItemNumberOfPages", 2},
          {"kMDItemPageWidth", 595}, {"kMDItemPageHeight", 842}}},
        {QStringLiteral(".notes.txt"),
         {{"kMDItemFSInvisible", true}, {"kMDItemFSSize", 6}, {"kMDItemComment", QStringLiteral("a comment")},
          {"kMDItemFinderComment", QStringLiteral("a comment")},
          {"kMDItemWhereFroms",
           QStringList{QStringLiteral("https://example.org/notes.txt"), QStringLiteral("https://example.org/")}},
          {"kMDItemUserTags", QStringList{QStringLiteral("Red"), QStringLiteral("Work")}},
          {"kMDItemLanguages", QStringList{QStringLiteral("fr")}}, {"kMDItemCreator", QStringLiteral("Writer")},
          {"kMDItemPublishers", QStringList{QStringLiteral("Press")}}}},
        {QStringLiteral("folder"),
         {{"kMDItemContentType", QStringLiteral("inode/directory")}, {"kMDItemFSNodeCount", 3},
          {"kMDItemFSInvisible", false}, {"kMDItemFSSize", none}}},
        // The link describes itself: its size is its target's name.
        {QStringLiteral("link.jpg"),
         {{"kMDItemContentType", QStringLiteral("inode/symlink")}, {"kMDItemFSSize", 9},
          {"kMDItemAcquisitionMake", none}}},
    };
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString &name = names[i];
        ASSERT_TRUE(items[i].has_value()) << name.toStdString();
        const KZMetadataItem &item = *items[i];
        EXPECT_EQ(item.value(QStringLiteral("kMDItemFSName")), name);
        EXPECT_EQ(item.value(QStringLiteral("kMDItemPath")), tree.path(name));
        EXPECT_TRUE(item.value(QStringLiteral("kMDItemLastUsedDate")).toDateTime().isValid());
        EXPECT_FALSE(item.ownerName().isEmpty());
        for (const auto &[key, value] : expected.value(name)) {
            const QVariant actual = item.value(QString::fromLatin1(key));
            if (value.typeId() == QMetaType::Double)
                EXPECT_NEAR(actual.toDouble(), value.toDouble(), 0.01) << name.toStdString() << " " << key;
            else if (value.typeId() == QMetaType::Int)
                EXPECT_EQ(actual.typeId(), QMetaType::LongLong) << name.toStdString() << " " << key;
            EXPECT_EQ(actual, value) << name.toStdString() << " " << key << " " << actual.toString().toStdString();
        }
    }
    const std::optional<KZMetadataItem> followed = FileMdItemReader::read(tree.path(QStringLiteral("link.jpg")), true);
    ASSERT_TRUE(followed);
    EXPECT_EQ(followed->value(QStringLiteral("kMDItemAcquisitionMake")), QStringLiteral("TestCam"));
    EXPECT_FALSE(FileMdItemReader::read(tree.path(QStringLiteral("missing"))));
}

TEST(FileMdItemReader, ReadsHeadersOnlyOfAHugeFile)
{
    TempTree tree;
    writeJpeg(tree.path(QStringLiteral("head.jpg")), false);
    QFile jpeg(tree.path(QStringLiteral("head.jpg")));
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    // Real headers followed by 4 GB of holes: a reader that scans for what it
    // misses (a damaged PDF's objects, a media stream's frames) would read on.
    const auto encoded = [](const char *format) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImage(64, 48, QImage::Format_RGB32).save(&buffer, format);
        return bytes;
    };
    const std::pair<const char *, QByteArray> heads[] = {
        {"film.png", encoded("PNG")}, {"film.tif", encoded("TIFF")}, {"film.webp", encoded("WEBP")},
        {"film.jpg", jpeg.readAll()}, {"film.wav", wav("2021").left(200)},
        {"film.pdf", "%PDF-1.7\n1 0 obj\n<< /Type /Catalog >>\n"}, {"film.mp4", QByteArray()},
    };
    constexpr qint64 size = 4LL << 30;
    for (const auto &[name, head] : heads) {
        const QString path = tree.writeFile(QString::fromLatin1(name), head);
        ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), size), 0);
        const qint64 before = bytesReadByProcess();
        const std::optional<KZMetadataItem> item = FileMdItemReader::read(path);
        const qint64 read = bytesReadByProcess() - before;
        ASSERT_TRUE(item);
        EXPECT_EQ(item->value(QStringLiteral("kMDItemFSSize")), size);
        EXPECT_LT(read, 40 << 20) << name;
    }
}

TEST(FileMdInfo, LookupsAnswerTheFirstEntryOfTheFirstCategory)
{
    struct Case {
        const char *key;
        bool found;
        int category, valueClass, display;
    };
    // A few entries of the catalogue, each for a rule of the lookup.
    const Case cases[] = {
        {"kMDItemFSSize", true, 2, 2, 1},          {"kMDItemOrientation", true, 4, 2, 2},
        {"kMDItemContentTypeTree", true, 1, 5, 0}, // declared as "CFArray of CFStringRef"
        {"kMDItemLastUsedDate", true, 1, 4, 0},    // the date, not the later date list
        {"_kTimeMachineOldestSnapshot", true, 3, 4, 0},
        {"kMDItemNoSuchAttribute", false, -1, -1, -1}, {"kmditemfssize", false, -1, -1, -1},
        {nullptr, false, -1, -1, -1},
    };
    for (const Case &c : cases) {
        const QString key = c.key ? QString::fromLatin1(c.key) : QString();
        int category = -1, valueClass = -1, display = -1;
        EXPECT_EQ(FileMdInfo::getInfos(&category, &valueClass, &display, key), c.found) << c.key;
        // A key in no table leaves the outputs as they were.
        EXPECT_EQ(std::tuple(category, valueClass, display), std::tuple(c.category, c.valueClass, c.display)) << c.key;
        int categoryOnly = -1;
        EXPECT_EQ(FileMdInfo::getInfos(&categoryOnly, nullptr, nullptr, key), c.found);
        EXPECT_EQ(categoryOnly, c.category);
    }
}
