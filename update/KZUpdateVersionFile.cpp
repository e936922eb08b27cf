#include "update/KZUpdateVersionFile.h"

#include <sys/utsname.h>

#include <algorithm>

#include <QStringDecoder>
#include <QStringList>

namespace
{

QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // Not UTF-8: keep the ASCII bytes only; the fields that matter are ASCII.
    QByteArray ascii;
    ascii.reserve(bytes.size());
    for (char c : bytes)
        if (static_cast<unsigned char>(c) < 0x80)
            ascii.append(c);
    return QString::fromLatin1(ascii);
}

} // namespace

KZUpdateVersionFile KZUpdateVersionFile::parse(const QByteArray &bytes)
{
    KZUpdateVersionFile file;
    QString text = decodeText(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    const QString line = (end < 0 ? text : text.left(end)).trimmed();
    const QStringList fields = line.split(QLatin1Char('|'));
    bool ok = false;
    if (fields.size() == 2) {
        file.code = fields.at(0).trimmed().toLongLong(&ok);
        if (!ok)
            return file;
        file.message = fields.at(1).trimmed();
        file.kind = Message;
        return file;
    }
    if (fields.size() < 3)
        return file;
    file.build = fields.at(0).trimmed().toLongLong(&ok);
    file.displayVersion = fields.at(1).trimmed();
    file.downloadLink = fields.at(2).trimmed();
    if (!ok || file.displayVersion.isEmpty() || file.downloadLink.isEmpty())
        return file;
    if (fields.size() > 3)
        file.minimumSystem = fields.at(3).trimmed();
    if (fields.size() > 4 && !fields.at(4).trimmed().isEmpty()) {
        const QByteArray hex = fields.at(4).trimmed().toLatin1();
        const QByteArray digest = QByteArray::fromHex(hex);
        if (hex.size() != 64 || digest.size() != 32 || digest.toHex() != hex.toLower())
            return file;
        file.sha256 = digest;
    }
    file.kind = Offer;
    return file;
}

bool kzParseSystemVersion(const QString &text, int *major, int *minor, int *patch)
{
    int numbers[3] = { 0, 0, 0 };
    int count = 0;
    qsizetype i = 0;
    while (count < 3 && i < text.size() && text.at(i).isDigit()) {
        qint64 value = 0;
        while (i < text.size() && text.at(i).isDigit() && value < 1000000)
            value = value * 10 + text.at(i++).digitValue();
        numbers[count++] = static_cast<int>(value);
        if (i < text.size() && text.at(i) == QLatin1Char('.'))
            ++i;
        else
            break;
    }
    if (count < 2)
        return false;
    *major = numbers[0];
    *minor = numbers[1];
    *patch = numbers[2];
    return true;
}

bool kzSystemIsOlderThan(const QString &release, const QString &minimum)
{
    int need[3], have[3];
    if (!kzParseSystemVersion(minimum, &need[0], &need[1], &need[2]))
        return false;
    if (!kzParseSystemVersion(release, &have[0], &have[1], &have[2]))
        return false;
    return std::lexicographical_compare(have, have + 3, need, need + 3);
}

QString kzKernelRelease()
{
    struct utsname names;
    if (uname(&names) != 0)
        return QString();
    return QString::fromUtf8(names.release);
}
