// Audio and video headers through MediaInfo. The library is fed from our own
// descriptor (never given the path, which it would open following links) and
// stops receiving bytes at the read budget, wherever it asks to go.
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <MediaInfo/MediaInfo.h>

#include "platform/metadata/KZMetadataReaders.h"
#include "platform/metadata/KZMetadataValues.h"

namespace kzplatform {

namespace {

using MediaInfoLib::MediaInfo;
using MediaInfoLib::stream_t;

QString field(MediaInfo &mi, stream_t kind, size_t number, const wchar_t *name)
{
    return QString::fromStdWString(mi.Get(kind, number, name)).trimmed();
}

// Feeds the file to mi until it has what it needs or the budget is spent.
void feed(int fd, MediaInfo &mi)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return;
    const uint64_t size = uint64_t(st.st_size);
    std::vector<unsigned char> buffer(64 * 1024);
    mi.Open_Buffer_Init(size, 0);
    uint64_t offset = 0;
    qint64 spent = 0;
    while (spent < KZMetadataItem::readBudget) {
        const size_t want = size_t(qMin<qint64>(qint64(buffer.size()), KZMetadataItem::readBudget - spent));
        ssize_t n;
        do {
            n = ::pread(fd, buffer.data(), want, off_t(offset));
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
            break;
        spent += n;
        offset += uint64_t(n);
        // Bit 3: the library knows all it will learn.
        if (mi.Open_Buffer_Continue(buffer.data(), size_t(n)) & 0x08)
            break;
        const uint64_t target = mi.Open_Buffer_Continue_GoTo_Get();
        if (target != uint64_t(-1)) {
            if (target >= size)
                break;
            offset = target;
            mi.Open_Buffer_Init(size, offset);
        }
    }
    mi.Open_Buffer_Finalize();
}

} // namespace

bool kzIsMediaType(const QString &mimeType)
{
    return mimeType.startsWith(QLatin1String("audio/")) || mimeType.startsWith(QLatin1String("video/"))
           || mimeType == QLatin1String("application/ogg");
}

void kzReadMediaMetadata(int fd, KZMetadataItem &item)
{
    MediaInfo mi;
    // Headers and the first frames only: no scan of the stream for exact
    // durations or bit rates.
    mi.Option(L"ParseSpeed", L"0");
    feed(fd, mi);

    using namespace MediaInfoLib;
    const size_t videos = mi.Count_Get(Stream_Video);
    const size_t audios = mi.Count_Get(Stream_Audio);
    const size_t texts = mi.Count_Get(Stream_Text);
    if (videos == 0 && audios == 0)
        return;

    if (const std::optional<double> ms = kzMetadataNumber(field(mi, Stream_General, 0, L"Duration")))
        item.setNumber(QStringLiteral("kMDItemDurationSeconds"), *ms / 1000);
    item.setNumberText(QStringLiteral("kMDItemTotalBitRate"), field(mi, Stream_General, 0, L"OverallBitRate"));
    QStringList codecs;
    for (size_t i = 0; i < videos; ++i)
        codecs.append(field(mi, Stream_Video, i, L"Format"));
    for (size_t i = 0; i < audios; ++i)
        codecs.append(field(mi, Stream_Audio, i, L"Format"));
    item.setStringList(QStringLiteral("kMDItemCodecs"), codecs);
    QStringList mediaTypes;
    if (videos)
        mediaTypes.append(QStringLiteral("Video"));
    if (audios)
        mediaTypes.append(QStringLiteral("Sound"));
    if (texts)
        mediaTypes.append(QStringLiteral("Text"));
    item.setStringList(QStringLiteral("kMDItemMediaTypes"), mediaTypes);
    if (videos) {
        item.setNumberText(QStringLiteral("kMDItemVideoBitRate"), field(mi, Stream_Video, 0, L"BitRate"));
        item.setNumberText(QStringLiteral("kMDItemPixelWidth"), field(mi, Stream_Video, 0, L"Width"));
        item.setNumberText(QStringLiteral("kMDItemPixelHeight"), field(mi, Stream_Video, 0, L"Height"));
    }
    if (audios) {
        item.setNumberText(QStringLiteral("kMDItemAudioSampleRate"), field(mi, Stream_Audio, 0, L"SamplingRate"));
        item.setNumberText(QStringLiteral("kMDItemAudioChannelCount"), field(mi, Stream_Audio, 0, L"Channel(s)"));
    }

    const QString title = field(mi, Stream_General, 0, L"Title");
    item.setString(QStringLiteral("kMDItemTitle"), title.isEmpty() ? field(mi, Stream_General, 0, L"Track") : title);
    // RIFF files (WAV, AVI) carry their artist as what MediaInfo calls the
    // director: the artist of a sound file, the director of a film.
    const QString director = field(mi, Stream_General, 0, L"Director");
    const QString performer = field(mi, Stream_General, 0, L"Performer");
    item.setStringList(QStringLiteral("kMDItemAuthors"), {performer.isEmpty() && !videos ? director : performer});
    if (videos)
        item.setString(QStringLiteral("kMDItemDirector"), director);
    item.setString(QStringLiteral("kMDItemAlbum"), field(mi, Stream_General, 0, L"Album"));
    item.setString(QStringLiteral("kMDItemComposer"), field(mi, Stream_General, 0, L"Composer"));
    item.setString(videos ? QStringLiteral("kMDItemGenre") : QStringLiteral("kMDItemMusicalGenre"),
                   field(mi, Stream_General, 0, L"Genre"));
    item.setNumberText(QStringLiteral("kMDItemAudioTrackNumber"), field(mi, Stream_General, 0, L"Track/Position"));
    item.setStringList(QStringLiteral("kMDItemEncodingApplications"),
                       {field(mi, Stream_General, 0, L"Encoded_Application")});

    // "2021", "2021-06-01" or a full time: the year alone when that is all.
    const QString recorded = field(mi, Stream_General, 0, L"Recorded_Date");
    const QDateTime recordedDate = kzMetadataDate(recorded);
    item.setDate(QStringLiteral("kMDItemRecordingDate"), recordedDate);
    if (recordedDate.isValid())
        item.setInteger(QStringLiteral("kMDItemRecordingYear"), recordedDate.date().year());
    else if (recorded.size() == 4)
        item.setNumberText(QStringLiteral("kMDItemRecordingYear"), recorded);
}

} // namespace kzplatform
