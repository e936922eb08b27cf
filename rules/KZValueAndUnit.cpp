#include "rules/KZValueAndUnit.h"

#include <QStringList>
#include <algorithm>
#include <limits>

#include "rules/KZCriteriaMenus.h"

KZValueAndUnit kzValueAndUnitFromComps(const QString &comps)
{
    const QStringList parts = comps.split(QLatin1Char('|'));
    if (comps.isNull() || parts.size() != 2)
        return KZValueAndUnit{1, 1};
    const auto toInt32 = [](const QString &part) {
        return qint32(std::clamp<qint64>(kzLeadingIntegerOfString(part), std::numeric_limits<qint32>::min(),
                                         std::numeric_limits<qint32>::max()));
    };
    return KZValueAndUnit{toInt32(parts.at(0)), toInt32(parts.at(1))};
}

qint64 kzLeadingIntegerOfString(const QString &s)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < s.size() && (s.at(i) == QLatin1Char('-') || s.at(i) == QLatin1Char('+'))) {
        negative = s.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 result = 0;
    for (; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        const int digit = c.unicode() - '0';
        if (result > (std::numeric_limits<qint64>::max() - digit) / 10)
            return negative ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
        result = result * 10 + digit;
    }
    return negative ? -result : result;
}

QString kzValueCompsString(qint32 value, qint32 poids)
{
    return QStringLiteral("%1|%2").arg(value).arg(poids);
}

KZMenuRef kzFileSizeUnitMenu()
{
    kzRegisterRulesEnglishTables();
    auto menu = std::make_shared<KZMenu>();
    menu->addEntry(KZMenuEntry::withKey("FileSizePoids_KB", 1));
    menu->addEntry(KZMenuEntry::withKey("FileSizePoids_MB", 2));
    menu->addEntry(KZMenuEntry::withKey("FileSizePoids_GB", 3));
    menu->addEntry(KZMenuEntry::withKey("FileSizePoids_TB", 4));
    return menu;
}

KZMenuRef kzDateWithinUnitMenu()
{
    kzRegisterRulesEnglishTables();
    auto menu = std::make_shared<KZMenu>();
    menu->addEntry(KZMenuEntry::withKey("Minute(s)", 6));
    menu->addEntry(KZMenuEntry::withKey("Hour(s)", 5));
    menu->addEntry(KZMenuEntry::separator());
    menu->addEntry(KZMenuEntry::withKey("Day(s)", 1));
    menu->addEntry(KZMenuEntry::withKey("Yeek(s)", 2));
    menu->addEntry(KZMenuEntry::withKey("Month(s)", 3));
    menu->addEntry(KZMenuEntry::withKey("Year(s)", 4));
    return menu;
}
