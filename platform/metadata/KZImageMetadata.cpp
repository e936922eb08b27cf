// Image headers through Exiv2. Exiv2 reads JPEG and PNG segment by segment up
// to the image data and maps TIFF-like files rather than reading them, so a
// large photo costs its headers only.
#include <cmath>
#include <mutex>

#include <exiv2/exiv2.hpp>

#include "platform/metadata/KZMetadataReaders.h"
#include "platform/metadata/KZMetadataValues.h"

namespace kzplatform {

namespace {

QString text(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size())).trimmed();
}

// A rational or integer element as a number; nothing for a zero denominator
// or a value of another kind.
std::optional<double> numberOf(const Exiv2::Value &value, long n = 0)
{
    if (n >= value.count())
        return std::nullopt;
    switch (value.typeId()) {
    case Exiv2::unsignedRational:
    case Exiv2::signedRational: {
        const Exiv2::Rational r = value.toRational(n);
        if (r.second == 0)
            return std::nullopt;
        return double(r.first) / double(r.second);
    }
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedShort:
    case Exiv2::signedLong:
        return double(value.toLong(n));
    default:
        return kzMetadataNumber(text(value.toString(n)));
    }
}

class ImageReader
{
public:
    ImageReader(Exiv2::Image &image, KZMetadataItem &item)
        : m_exif(image.exifData()), m_iptc(image.iptcData()), m_xmp(image.xmpData()), m_item(item)
    {
    }

    const Exiv2::Value *exif(const char *key) const
    {
        const auto it = m_exif.findKey(Exiv2::ExifKey(key));
        return it == m_exif.end() ? nullptr : &it->value();
    }

    std::optional<double> exifNumber(const char *key, long n = 0) const
    {
        const Exiv2::Value *v = exif(key);
        return v ? numberOf(*v, n) : std::nullopt;
    }

    void number(const char *name, const char *key)
    {
        if (const std::optional<double> v = exifNumber(key))
            m_item.setNumber(QString::fromLatin1(name), *v);
    }

    // The printed form of an EXIF value ("Center weighted average").
    void printed(const char *name, const char *key)
    {
        const auto it = m_exif.findKey(Exiv2::ExifKey(key));
        if (it != m_exif.end() && it->count() > 0 && numberOf(it->value()))
            m_item.setString(QString::fromLatin1(name), text(it->print(&m_exif)));
    }

    QString exifText(const char *key) const
    {
        const Exiv2::Value *v = exif(key);
        return v ? text(v->toString()) : QString();
    }

    // Every element of an XMP property (a bag, a sequence or one text; the
    // default language of a language alternative).
    QStringList xmpTexts(const char *key) const
    {
        const auto it = m_xmp.findKey(Exiv2::XmpKey(key));
        if (it == m_xmp.end())
            return {};
        const Exiv2::Value &v = it->value();
        if (v.typeId() == Exiv2::langAlt)
            return {text(v.toString(0))};
        QStringList out;
        for (long i = 0; i < v.count(); ++i)
            out.append(text(v.toString(i)));
        return out;
    }

    QStringList iptcTexts(const char *key) const
    {
        QStringList out;
        const std::string wanted(key);
        for (const Exiv2::Iptcdatum &d : m_iptc) {
            if (d.key() == wanted)
                out.append(text(d.toString()));
        }
        return out;
    }

    // Degrees, minutes and seconds with their hemisphere, as signed decimal
    // degrees.
    void coordinate(const char *name, const char *key, const char *refKey, char negative)
    {
        const std::optional<double> d = exifNumber(key, 0);
        const std::optional<double> m = exifNumber(key, 1);
        const std::optional<double> s = exifNumber(key, 2);
        if (!d || !m || !s)
            return;
        double degrees = *d + *m / 60 + *s / 3600;
        if (!(std::fabs(degrees) <= 180))
            return;
        const QString ref = exifText(refKey);
        if (ref.startsWith(QLatin1Char(negative)))
            degrees = -degrees;
        m_item.setString(QString::fromLatin1(name), QString::number(degrees, 'f', 6));
    }

    void read(int width, int height)
    {
        m_item.setInteger(QStringLiteral("kMDItemPixelWidth"), width);
        m_item.setInteger(QStringLiteral("kMDItemPixelHeight"), height);
        // 0 landscape, 1 portrait: as the image is shown, after its EXIF
        // orientation (5 to 8 turn it a quarter).
        const std::optional<double> exifOrientation = exifNumber("Exif.Image.Orientation");
        const bool turned = exifOrientation && *exifOrientation >= 5 && *exifOrientation <= 8;
        if (width > 0 && height > 0)
            m_item.setInteger(QStringLiteral("kMDItemOrientation"), (turned ? width > height : height > width) ? 1 : 0);

        if (const std::optional<double> cs = exifNumber("Exif.Photo.ColorSpace"))
            m_item.setString(QStringLiteral("kMDItemColorSpace"),
                             *cs == 1 || *cs == 65535 ? QStringLiteral("RGB") : QString());
        number("kMDItemBitsPerSample", "Exif.Image.BitsPerSample");
        m_item.setString(QStringLiteral("kMDItemAcquisitionMake"), exifText("Exif.Image.Make"));
        m_item.setString(QStringLiteral("kMDItemAcquisitionModel"), exifText("Exif.Image.Model"));
        if (const std::optional<double> t = exifNumber("Exif.Photo.ExposureTime"); t && *t > 0) {
            m_item.setNumber(QStringLiteral("kMDItemExposureTimeSeconds"), *t);
            m_item.setString(QStringLiteral("kMDItemExposureTimeString"),
                             *t >= 1 ? QString::number(*t) : QStringLiteral("1/%1").arg(std::lround(1 / *t)));
        }
        number("kMDItemFNumber", "Exif.Photo.FNumber");
        number("kMDItemAperture", "Exif.Photo.ApertureValue");
        number("kMDItemMaxAperture", "Exif.Photo.MaxApertureValue");
        number("kMDItemISOSpeed", "Exif.Photo.ISOSpeedRatings");
        number("kMDItemFocalLength", "Exif.Photo.FocalLength");
        if (const std::optional<double> flash = exifNumber("Exif.Photo.Flash"))
            m_item.setInteger(QStringLiteral("kMDItemFlashOnOff"), qint64(*flash) & 1);
        number("kMDItemWhiteBalance", "Exif.Photo.WhiteBalance");
        printed("kMDItemMeteringMode", "Exif.Photo.MeteringMode");
        printed("kMDItemExposureProgram", "Exif.Photo.ExposureProgram");
        number("kMDItemExposureMode", "Exif.Photo.ExposureMode");
        number("kMDItemResolutionWidthDPI", "Exif.Image.XResolution");
        number("kMDItemResolutionHeightDPI", "Exif.Image.YResolution");
        exifVersion();

        coordinate("kMDItemLatitude", "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef", 'S');
        coordinate("kMDItemLongitude", "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef", 'W');
        if (const std::optional<double> alt = exifNumber("Exif.GPSInfo.GPSAltitude")) {
            const std::optional<double> below = exifNumber("Exif.GPSInfo.GPSAltitudeRef");
            m_item.setString(QStringLiteral("kMDItemAltitude"), QString::number(below && *below == 1 ? -*alt : *alt));
        }
        gpsTimestamp();
        m_item.setDateText(QStringLiteral("kMDItemContentCreationDate"), exifText("Exif.Photo.DateTimeOriginal"));

        m_item.setStringList(QStringLiteral("kMDItemKeywords"),
                             iptcTexts("Iptc.Application2.Keywords") + xmpTexts("Xmp.dc.subject"));
        m_item.setString(QStringLiteral("kMDItemTitle"),
                         (xmpTexts("Xmp.dc.title") + iptcTexts("Iptc.Application2.ObjectName")).value(0));
        m_item.setString(QStringLiteral("kMDItemDescription"),
                         firstOf({exifText("Exif.Image.ImageDescription"), xmpTexts("Xmp.dc.description").value(0),
                                  iptcTexts("Iptc.Application2.Caption").value(0)}));
        m_item.setStringList(QStringLiteral("kMDItemAuthors"), QStringList{exifText("Exif.Image.Artist")}
                                                                   + xmpTexts("Xmp.dc.creator")
                                                                   + iptcTexts("Iptc.Application2.Byline"));
        m_item.setString(QStringLiteral("kMDItemCopyright"),
                         firstOf({exifText("Exif.Image.Copyright"), xmpTexts("Xmp.dc.rights").value(0),
                                  iptcTexts("Iptc.Application2.Copyright").value(0)}));
        const std::optional<double> rating = kzMetadataNumber(xmpTexts("Xmp.xmp.Rating").value(0));
        if (rating && *rating >= -1 && *rating <= 5)
            m_item.setNumber(QStringLiteral("kMDItemStarRating"), *rating);
    }

private:
    static QString firstOf(const QStringList &candidates)
    {
        for (const QString &c : candidates) {
            if (!c.isEmpty())
                return c;
        }
        return QString();
    }

    // "0232" becomes "2.32"; anything but four digits is left out.
    void exifVersion()
    {
        const Exiv2::Value *v = exif("Exif.Photo.ExifVersion");
        if (!v || v->size() != 4)
            return;
        Exiv2::byte bytes[4];
        v->copy(bytes, Exiv2::invalidByteOrder);
        for (Exiv2::byte b : bytes) {
            if (b < '0' || b > '9')
                return;
        }
        const int major = (bytes[0] - '0') * 10 + (bytes[1] - '0');
        m_item.setString(QStringLiteral("kMDItemEXIFVersion"),
                         QStringLiteral("%1.%2%3").arg(major).arg(QLatin1Char(char(bytes[2]))).arg(QLatin1Char(char(bytes[3]))));
    }

    void gpsTimestamp()
    {
        const std::optional<double> h = exifNumber("Exif.GPSInfo.GPSTimeStamp", 0);
        const std::optional<double> m = exifNumber("Exif.GPSInfo.GPSTimeStamp", 1);
        const std::optional<double> s = exifNumber("Exif.GPSInfo.GPSTimeStamp", 2);
        if (!h || !m || !s)
            return;
        const QString time = QStringLiteral("%1:%2:%3")
                                 .arg(int(*h), 2, 10, QLatin1Char('0'))
                                 .arg(int(*m), 2, 10, QLatin1Char('0'))
                                 .arg(int(*s), 2, 10, QLatin1Char('0'));
        const QDateTime when = kzMetadataDate(exifText("Exif.GPSInfo.GPSDateStamp") + QLatin1Char(' ') + time);
        if (when.isValid())
            m_item.setString(QStringLiteral("kMDItemTimestamp"), when.toUTC().toString(Qt::ISODate));
        else if (QTime(int(*h), int(*m), int(*s)).isValid())
            m_item.setString(QStringLiteral("kMDItemTimestamp"), time);
    }

    const Exiv2::ExifData &m_exif;
    const Exiv2::IptcData &m_iptc;
    const Exiv2::XmpData &m_xmp;
    KZMetadataItem &m_item;
};

} // namespace

bool kzIsImageType(const QString &mimeType)
{
    return mimeType.startsWith(QLatin1String("image/"));
}

void kzReadImageMetadata(int fd, KZMetadataItem &item)
{
    static std::once_flag once;
    std::call_once(once, [] {
        // The XMP toolkit is not thread-safe: set it up once, and let it take
        // a lock around every use.
        static std::mutex xmpMutex;
        Exiv2::XmpParser::initialize(
            [](void *mutex, bool lock) {
                if (lock)
                    static_cast<std::mutex *>(mutex)->lock();
                else
                    static_cast<std::mutex *>(mutex)->unlock();
            },
            &xmpMutex);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    });
    try {
        // The descriptor's own name: Exiv2 opens by path, and this one cannot
        // lead anywhere but to the entry already opened.
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open("/proc/self/fd/" + std::to_string(fd));
        if (!image.get())
            return;
        image->readMetadata();
        ImageReader(*image, item).read(image->pixelWidth(), image->pixelHeight());
    } catch (const std::exception &) {
        // Not an image Exiv2 knows, or a damaged one: the file's facts stand alone.
    }
}

} // namespace kzplatform
