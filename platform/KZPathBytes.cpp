#include "platform/KZPathBytes.h"

#include <unistd.h>
#include <climits>

namespace kzplatform {

namespace {

constexpr char16_t kEscapeBase = 0xdc00;

bool isEscape(const QChar *text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xff && (i == 0 || !text[i - 1].isHighSurrogate());
}

} // namespace

int kzUtf8SequenceLength(const unsigned char *p, qsizetype left, char32_t *codePoint)
{
    const unsigned char c = p[0];
    int length = 0;
    char32_t cp = 0, least = 0;
    if (c < 0x80) {
        *codePoint = c;
        return 1;
    }
    if (c >= 0xc2 && c <= 0xdf) {
        length = 2, cp = c & 0x1f, least = 0x80;
    } else if (c >= 0xe0 && c <= 0xef) {
        length = 3, cp = c & 0x0f, least = 0x800;
    } else if (c >= 0xf0 && c <= 0xf4) {
        length = 4, cp = c & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xc0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[k] & 0x3f);
    }
    if (cp < least || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return 0;
    *codePoint = cp;
    return length;
}

QString kzPathFromBytes(const QByteArray &bytes, bool *isUtf8)
{
    QString text;
    text.reserve(bytes.size());
    bool valid = true;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int length = kzUtf8SequenceLength(p + i, bytes.size() - i, &cp);
        if (length == 0) {
            text.append(QChar(char16_t(kEscapeBase + p[i])));
            valid = false;
            ++i;
            continue;
        }
        if (QChar::requiresSurrogates(cp)) {
            text.append(QChar(QChar::highSurrogate(cp)));
            text.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            text.append(QChar(char16_t(cp)));
        }
        i += length;
    }
    if (isUtf8)
        *isUtf8 = valid;
    return text;
}

QByteArray kzPathBytes(const QString &path)
{
    const QChar *text = path.constData();
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isEscape(text, i))
            continue;
        bytes += QStringView(text + start, i - start).toUtf8();
        bytes += char(text[i].unicode() - kEscapeBase);
        start = i + 1;
    }
    if (start == 0)
        return path.toUtf8();
    bytes += QStringView(text + start, path.size() - start).toUtf8();
    return bytes;
}

QString kzCurrentDirPath()
{
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? kzPathFromBytes(QByteArray(buffer)) : QString();
}

} // namespace kzplatform
