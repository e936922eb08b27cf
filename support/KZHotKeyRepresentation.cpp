#include "support/KZHotKeyRepresentation.h"

#include <QStringList>

#include "support/KZUserDefaults.h"

namespace {

// The leading decimal digits as an unsigned 64-bit number (wrapping like the
// C library's reader would not: too many digits keep the value they had).
quint64 leadingNumber(const QString &part)
{
    quint64 value = 0;
    for (QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        const quint64 digit = static_cast<quint64>(c.unicode() - '0');
        if (value > (UINT64_MAX - digit) / 10)
            break;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

std::optional<KZHotKeyRepresentation> KZHotKeyRepresentation::initWithStringRepresentation(const QString &string)
{
    const QStringList parts = string.split(QLatin1Char('-'));
    if (parts.size() != 4)
        return std::nullopt;
    bool isNumber = false;
    const qlonglong enabled = parts.at(3).toLongLong(&isNumber);
    return KZHotKeyRepresentation(leadingNumber(parts.at(1)), leadingNumber(parts.at(2)), isNumber && enabled > 0);
}

QString KZHotKeyRepresentation::stringRepresentation() const
{
    return QStringLiteral("KZHotKeyRepresentation-%1-%2-%3").arg(_keyCode).arg(_modifierFlags).arg(_isEnabled ? 1 : 0);
}

QString KZHotKeyRepresentation::description() const
{
    return QStringLiteral("<KZHotKeyRepresentation keyCode:%1 modifierFlags:0x%2 isEnabled:%3>")
        .arg(_keyCode)
        .arg(_modifierFlags, 0, 16)
        .arg(_isEnabled ? 1 : 0);
}

std::optional<KZHotKeyRepresentation> KZHotKeyRepresentation::hotKeyRepresentationFromUserDefaults()
{
    const QString key = QString::fromLatin1(KZHotKeyRepresentationDefaultsKey);
    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    if (!defaults.contains(key))
        return std::nullopt;
    return initWithStringRepresentation(defaults.stringForKey(key));
}

void KZHotKeyRepresentation::saveToUserDefaults() const
{
    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    defaults.setObject(stringRepresentation(), QString::fromLatin1(KZHotKeyRepresentationDefaultsKey));
    defaults.synchronize();
}
