#include "rules/KZRulesDescription.h"

#include <QDir>
#include <QLocale>

#include "platform/KZWorkspaceFileLabels.h"
#include "rules/KZCriteriaMenus.h"
#include "rules/KZValueAndUnit.h"
#include "rules/RulesEditorViewController.h"
#include "support/KZLocalization.h"

namespace {

QString titleOfTag(const KZMenuRef &menu, qint64 tag, const QString &fallback)
{
    if (!menu)
        return fallback;
    const qsizetype index = menu->indexOfTag(tag);
    return index >= 0 ? menu->entryAt(index).title : fallback;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// "count|unit" with the unit's menu title; a size unit beyond TB counts bytes.
QString countWithUnit(const QString &comps, const KZMenuRef &unitMenu, bool isSize)
{
    const QStringList parts = comps.split(QLatin1Char('|'));
    if (comps.isNull() || parts.size() != 2)
        return quoted(comps);
    const qint64 count = kzLeadingIntegerOfString(parts.at(0));
    const qint64 unit = kzLeadingIntegerOfString(parts.at(1));
    QString unitTitle;
    if (isSize && unit >= 5)
        unitTitle = KZLocalizedString("bytes");
    else
        unitTitle = titleOfTag(unitMenu, unit, QStringLiteral("?"));
    return QStringLiteral("%1 %2").arg(count).arg(unitTitle);
}

QString describe(const KZRuleRowRef &row)
{
    if (!row || row->items.size() != 3 || !row->items.at(0) || !row->items.at(1) || !row->items.at(2))
        return KZLocalizedString("(unreadable rule)");
    const KZRuleItemRef op = row->items.at(1);
    const KZRuleItemRef value = row->items.at(2);
    const qint64 kind = row->items.at(0)->menuSelectedTag();
    const QString kindTitle = titleOfTag(kzMajorCriteriaMenu(), kind, QStringLiteral("kind %1").arg(kind));
    const KZMenuRef operatorMenu = kzOperatorMenuOfCriterionKind(kind, kzplatform::kzWorkspaceFileLabels());
    const QString opTitle = titleOfTag(operatorMenu, op->menuSelectedTag(), QStringLiteral("%1").arg(op->menuSelectedTag()));

    switch (kind) {
    case KZFileSearchKindFileName:
        return QStringLiteral("%1 %2 %3").arg(kindTitle, opTitle, quoted(value->stringValue().trimmed()));
    case KZFileSearchKindFileSize:
        return QStringLiteral("%1 %2 %3").arg(kindTitle, opTitle, countWithUnit(value->fileSizeValue(), kzFileSizeUnitMenu(), true));
    case KZFileSearchKindUTIType: {
        const KZMenuRef valueMenu = kzValueMenuOfCriterionKind(kind);
        const qsizetype index = valueMenu->indexOfRepresentedObject(value->menuSelectedObject());
        const QString type = index >= 0 ? valueMenu->entryAt(index).title : value->menuSelectedObject().toString();
        return QStringLiteral("%1 %2 %3").arg(kindTitle, opTitle, type);
    }
    case KZFileSearchKindDateCreated:
    case KZFileSearchKindDateModified:
        switch (op->menuSelectedTag()) {
        case KZFileSearchOperatorDateExactlyDay:
        case KZFileSearchOperatorDateBefore:
        case KZFileSearchOperatorDateAfter: {
            const QDateTime date = value->dateValue();
            const QString day = date.isValid() ? date.toLocalTime().date().toString(Qt::ISODate) : QStringLiteral("?");
            return QStringLiteral("%1 %2 %3").arg(kindTitle, opTitle, day);
        }
        case KZFileSearchOperatorDateWithinLast:
            return QStringLiteral("%1 %2 %3").arg(kindTitle, opTitle, countWithUnit(value->dateWithin(), kzDateWithinUnitMenu(), false));
        default:
            return QStringLiteral("%1 %2").arg(kindTitle, opTitle);
        }
    case KZFileSearchKindTagNames: {
        const QVariant label = op->menuSelectedObject();
        if (label.isValid() && !label.isNull())
            return QStringLiteral("%1: %2").arg(kindTitle, label.toString());
        return QStringLiteral("%1: %2").arg(kindTitle, quoted(value->stringValue().trimmed()));
    }
    case KZFileSearchKindXAttrs:
        return QStringLiteral("%1 %2 %3").arg(kindTitle, quoted(value->stringValue()), opTitle);
    case KZFileSearchKindDirPaths: {
        QStringList paths;
        for (const KZDirPathEntryRef &entry : value->dirPathEntries()) {
            if (entry && entry->state == 1)
                paths.append(entry->path);
        }
        return QStringLiteral("%1 %2 %3").arg(kindTitle, opTitle, paths.join(QStringLiteral(", ")));
    }
    default:
        return kindTitle;
    }
}

} // namespace

QString kzDescriptionOfRuleRow(const KZRuleRowRef &row)
{
    kzRegisterRulesEnglishTables();
    QString text = describe(row);
    if (RulesEditorViewController::canonizedCriteriaFromCriteria({row}, true).isEmpty())
        text += QLatin1Char(' ') + KZLocalizedString("(incomplete)");
    return text;
}

QStringList kzDescriptionsOfRuleRows(const KZRuleRows &rows)
{
    QStringList descriptions;
    for (const KZRuleRowRef &row : rows)
        descriptions.append(kzDescriptionOfRuleRow(row));
    return descriptions;
}

QString kzDescriptionOfRuleRows(const KZRuleRows &rows)
{
    if (rows.isEmpty())
        return KZLocalizedString("(no rules)");
    return kzDescriptionsOfRuleRows(rows).join(QStringLiteral("; "));
}
