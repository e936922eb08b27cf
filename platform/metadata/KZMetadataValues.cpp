#include "platform/metadata/KZMetadataValues.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <cmath>

namespace kzplatform {

namespace {

std::optional<double> plainNumber(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    // toDouble accepts "inf" and "nan"; headers never mean those.
    for (QChar c : text) {
        if (!(c.isDigit() || c == u'.' || c == u'-' || c == u'+' || c == u'e' || c == u'E'))
            return std::nullopt;
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> kzMetadataNumber(QStringView text)
{
    text = text.trimmed();
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0)
        return plainNumber(text);
    const std::optional<double> n = plainNumber(text.left(slash).trimmed());
    const std::optional<double> d = plainNumber(text.mid(slash + 1).trimmed());
    if (!n || !d || *d == 0)
        return std::nullopt;
    const double value = *n / *d;
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

QDateTime kzMetadataDate(QStringView text)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(UTC )?(\\d{4})[:-](\\d{2})[:-](\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.\\d{1,9})?)?"
        "(Z|[+-]\\d{2}:?\\d{2})?)?$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed().toString());
    if (!m.hasMatch())
        return QDateTime();
    const QDate date(m.capturedView(2).toInt(), m.capturedView(3).toInt(), m.capturedView(4).toInt());
    const QTime time = m.capturedView(5).isEmpty()
                           ? QTime(0, 0)
                           : QTime(m.capturedView(5).toInt(), m.capturedView(6).toInt(), m.capturedView(7).toInt());
    if (!date.isValid() || !time.isValid() || date.year() < 1)
        return QDateTime();
    const QStringView zone = m.capturedView(8);
    QDateTime result;
    if (!m.capturedView(1).isEmpty() || zone == u"Z") {
        result = QDateTime(date, time, QTimeZone::utc());
    } else if (!zone.isEmpty()) {
        const int sign = zone.front() == u'-' ? -1 : 1;
        const QStringView digits = zone.mid(1);
        const int hours = digits.left(2).toInt();
        const int minutes = digits.right(2).toInt();
        if (hours > 14 || minutes > 59)
            return QDateTime();
        result = QDateTime(date, time, QTimeZone(sign * (hours * 3600 + minutes * 60)));
    } else {
        result = QDateTime(date, time);
    }
    return result.isValid() ? result.toLocalTime() : QDateTime();
}

} // namespace kzplatform
