#include "platform/KZThumbnailCache.h"
#include "platform/KZXdgDirs.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include "platform/KZPosixFS.h"

namespace kzplatform {

namespace {

bool isUnescapedURIByte(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+':
    case ',': case '-': case '.': case '/': case ':': case '=': case '@': case '_': case '~':
        return true;
    default:
        return false;
    }
}

struct SizeFolder {
    const char *name;
    int edge;
};
constexpr SizeFolder kSizeFolders[] = {{"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};
constexpr int kSizeFolderCount = sizeof(kSizeFolders) / sizeof(kSizeFolders[0]);

// A text chunk is small; anything larger is not a thumbnail's metadata.
constexpr quint32 kMaxTextChunk = 64 * 1024;
constexpr int kMaxChunks = 4096;
constexpr qsizetype kMaxInflatedText = 1024 * 1024;

// zlib data of a zTXt or compressed iTXt chunk; null when corrupt or too large.
QByteArray inflateText(const QByteArray &compressed)
{
    // qUncompress wants the expected size in front; it grows its buffer when
    // the guess is short.
    QByteArray framed(4, '\0');
    const quint32 guess = 4096;
    qToBigEndian(guess, framed.data());
    framed.append(compressed);
    const QByteArray text = qUncompress(framed);
    return text.size() <= kMaxInflatedText ? text : QByteArray();
}

// One text chunk: tEXt (keyword, NUL, text), zTXt (keyword, NUL, method 0,
// zlib text) or iTXt (keyword, NUL, compression flag, method, language, NUL,
// translated keyword, NUL, text).
bool parseTextChunk(const QByteArray &type, const QByteArray &data, QByteArray *key, QByteArray *text)
{
    const qsizetype nul = data.indexOf('\0');
    if (nul <= 0)
        return false;
    *key = data.left(nul);
    if (type == "tEXt") {
        *text = data.mid(nul + 1);
        return true;
    }
    if (type == "zTXt") {
        if (nul + 1 >= data.size() || data.at(nul + 1) != 0)
            return false;
        *text = inflateText(data.mid(nul + 2));
        return !text->isNull();
    }
    if (nul + 2 >= data.size())
        return false;
    const bool compressed = data.at(nul + 1) != 0;
    if (compressed && data.at(nul + 2) != 0)
        return false;
    const qsizetype lang = data.indexOf('\0', nul + 3);
    const qsizetype translated = lang < 0 ? -1 : data.indexOf('\0', lang + 1);
    if (translated < 0)
        return false;
    *text = compressed ? inflateText(data.mid(translated + 1)) : data.mid(translated + 1);
    return !text->isNull();
}

} // namespace

QByteArray kzThumbnailFileURI(const QByteArray &absolutePath)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    uri.reserve(7 + absolutePath.size() * 3);
    for (const char ch : absolutePath) {
        const auto c = static_cast<unsigned char>(ch);
        if (isUnescapedURIByte(c)) {
            uri.append(ch);
        } else {
            uri.append('%');
            uri.append(hex[c >> 4]);
            uri.append(hex[c & 0xF]);
        }
    }
    return uri;
}

QString kzThumbnailCacheDir()
{
    return kzXdgBaseDir("XDG_CACHE_HOME", ".cache") + QStringLiteral("/thumbnails");
}

QStringList kzThumbnailCandidatePaths(const QByteArray &absolutePath, int pixelSize)
{
    const QString fileName =
        QString::fromLatin1(QCryptographicHash::hash(kzThumbnailFileURI(absolutePath), QCryptographicHash::Md5).toHex())
        + QStringLiteral(".png");
    const QString base = kzThumbnailCacheDir();
    int first = kSizeFolderCount - 1;
    for (int i = 0; i < kSizeFolderCount; ++i) {
        if (kSizeFolders[i].edge >= pixelSize) {
            first = i;
            break;
        }
    }
    QStringList paths;
    for (int i = first; i < kSizeFolderCount; ++i)
        paths.append(base + QLatin1Char('/') + QLatin1String(kSizeFolders[i].name) + QLatin1Char('/') + fileName);
    for (int i = first - 1; i >= 0; --i)
        paths.append(base + QLatin1Char('/') + QLatin1String(kSizeFolders[i].name) + QLatin1Char('/') + fileName);
    return paths;
}

bool kzReadPNGTextChunks(const QString &pngPath, QHash<QByteArray, QByteArray> *out)
{
    static const char signature[] = "\x89PNG\r\n\x1a\n";
    QFile file(pngPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.read(8) != QByteArray(signature, 8))
        return false;
    for (int n = 0; n < kMaxChunks; ++n) {
        const QByteArray header = file.read(8);
        if (header.size() != 8)
            return true; // truncated after complete chunks: keep what was read
        const quint32 length = qFromBigEndian<quint32>(header.constData());
        const QByteArray type = header.mid(4, 4);
        if (type == "IEND")
            return true;
        const bool isText = type == "tEXt" || type == "zTXt" || type == "iTXt";
        if (isText && length <= kMaxTextChunk) {
            const QByteArray data = file.read(length);
            if (data.size() != static_cast<qsizetype>(length))
                return true;
            QByteArray key, text;
            if (parseTextChunk(type, data, &key, &text))
                out->insert(key, text);
            if (!file.seek(file.pos() + 4)) // CRC
                return true;
        } else if (!file.seek(file.pos() + qint64(length) + 4)) {
            return true;
        }
    }
    return true;
}

QString kzFindValidThumbnail(const QByteArray &absolutePath, int pixelSize)
{
    KZStat st;
    if (absolutePath.isEmpty() || kzStatFollow(absolutePath.constData(), &st) != 0)
        return QString();
    const QByteArray uri = kzThumbnailFileURI(absolutePath);
    for (const QString &candidate : kzThumbnailCandidatePaths(absolutePath, pixelSize)) {
        QHash<QByteArray, QByteArray> texts;
        if (!kzReadPNGTextChunks(candidate, &texts))
            continue;
        bool ok = false;
        const qlonglong stored = texts.value("Thumb::MTime").trimmed().toLongLong(&ok);
        if (!ok || stored != static_cast<qlonglong>(st.mtime.tv_sec))
            continue;
        const auto uriIt = texts.constFind("Thumb::URI");
        if (uriIt != texts.constEnd() && *uriIt != uri)
            continue;
        return candidate;
    }
    return QString();
}

} // namespace kzplatform
