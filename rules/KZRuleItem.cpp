#include "rules/KZRuleItem.h"

#include <QCborArray>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString kKind = QStringLiteral("kind");
const QString kWSize = QStringLiteral("wSize");
const QString kIsInvisible = QStringLiteral("isInvisible");
const QString kMenuSelectedTag = QStringLiteral("menuSelectedTag");
const QString kMenuSelectedObject = QStringLiteral("menuSelectedObject");
const QString kLabelTitle = QStringLiteral("labelTitle");
const QString kStringValue = QStringLiteral("stringValue");
const QString kDateValue = QStringLiteral("dateValue");
const QString kDateWithin = QStringLiteral("dateWithin");
const QString kFileSizeValue = QStringLiteral("fileSizeValue");
const QString kRepresentedObject = QStringLiteral("representedObject");
const QString kItems = QStringLiteral("items");
const QString kState = QStringLiteral("state");
const QString kPath = QStringLiteral("path");

bool isNone(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

QCborValue encodeObject(const QVariant &object)
{
    if (isNone(object))
        return QCborValue(QCborValue::Null);
    if (object.metaType() == QMetaType::fromType<KZDirPathEntryList>()) {
        QCborArray entries;
        for (const KZDirPathEntryRef &entry : object.value<KZDirPathEntryList>()) {
            if (!entry)
                continue;
            QCborMap map;
            map.insert(kState, entry->state);
            map.insert(kPath, entry->path);
            entries.append(map);
        }
        return entries;
    }
    return QCborValue::fromVariant(object);
}

// The value with every tag read through, at any depth: around it, around
// the entries of its arrays and around the keys and values of its maps. Only
// plain tags: dates, addresses and the other types Qt reads from a tag stay.
QCborValue untagged(QCborValue value)
{
    while (value.type() == QCborValue::Tag)
        value = value.taggedValue();
    if (value.isArray()) {
        QCborArray array;
        for (const QCborValue &element : value.toArray())
            array.append(untagged(element));
        return array;
    }
    if (value.isMap()) {
        QCborMap map;
        for (auto it = value.toMap().cbegin(); it != value.toMap().cend(); ++it)
            map.insert(untagged(it.key()), untagged(it.value()));
        return map;
    }
    return value;
}

QVariant decodeObject(const QCborValue &taggedOrNot)
{
    // Tags anywhere in a folders row's entries mean nothing here, and a later
    // save would write the entries without them: read what they wrap, so a row
    // reads the same before and after the user saves it again.
    const QCborValue value = taggedOrNot.isArray() || taggedOrNot.type() == QCborValue::Tag ? untagged(taggedOrNot) : taggedOrNot;
    if (value.isUndefined() || value.isNull() || value.isInvalid())
        return QVariant();
    if (value.isArray()) {
        // An array of {"state", "path"} is a folders row's entries.
        const QCborArray array = value.toArray();
        KZDirPathEntryList entries;
        bool allEntries = true;
        for (const QCborValue &element : array) {
            if (!element.isMap() || !element.toMap().value(kPath).isString()) {
                allEntries = false;
                break;
            }
            const QCborMap map = element.toMap();
            // Only an integer is a state: converting any other number could overflow.
            const QCborValue state = map.value(kState);
            entries.append(kzMakeDirPathEntry(map.value(kPath).toString(), state.isInteger() ? state.toInteger() : 0));
        }
        if (allEntries)
            return QVariant::fromValue(entries);
        return value.toVariant();
    }
    return taggedOrNot.toVariant();
}

QString stringOf(const QCborMap &coder, const QString &key)
{
    const QCborValue value = coder.value(key);
    return value.isString() ? value.toString() : QString();
}

} // namespace

KZRuleItem::KZRuleItem(qint64 kind, double wSize) : m_kind(kind), m_wSize(wSize) {}

KZRuleItemRef KZRuleItem::rulePopMenuWithMenu(const KZMenuRef &menu, double wSize, qint64 selectedTag)
{
    auto item = std::make_shared<KZRuleItem>(KZRuleItemKindPopUp, wSize);
    item->m_menu = menu;
    item->m_menuSelectedTag = selectedTag;
    return item;
}

KZRuleItemRef KZRuleItem::rulePopMenuWithMenu(const KZMenuRef &menu, double wSize, const QVariant &selectedObjet)
{
    auto item = std::make_shared<KZRuleItem>(KZRuleItemKindPopUp, wSize);
    item->m_menu = menu;
    item->m_menuSelectedObject = selectedObjet;
    return item;
}

KZRuleItemRef KZRuleItem::ruleLabelWithText(const QString &text)
{
    auto item = std::make_shared<KZRuleItem>(KZRuleItemKindLabel, 0);
    item->m_stringValue = text;
    return item;
}

KZRuleItemRef KZRuleItem::ruleTextFieldWithString(const QString &string)
{
    auto item = std::make_shared<KZRuleItem>(KZRuleItemKindTextField, 0);
    item->m_stringValue = string;
    return item;
}

KZRuleItemRef KZRuleItem::ruleDatePickerWithDate(const QDateTime &date, bool isInvisible)
{
    auto item = std::make_shared<KZRuleItem>(KZRuleItemKindDatePicker, 0);
    item->m_dateValue = date;
    item->m_isInvisible = isInvisible;
    return item;
}

KZRuleItemRef KZRuleItem::ruleFileSizeWithValue(const QString &value)
{
    auto item = std::make_shared<KZRuleItem>(KZRuleItemKindFileSize, 0);
    item->m_fileSizeValue = value;
    return item;
}

KZRuleItemRef KZRuleItem::ruleComboxWithStrings(const KZStringListRef &strings, const QString &string)
{
    auto item = std::make_shared<KZRuleItem>(KZRuleItemKindCombox, 0);
    item->m_comboStrings = strings;
    item->m_stringValue = string;
    return item;
}

KZRuleItemRef KZRuleItem::ruleDateWithinWithValue(const QString &value)
{
    auto item = std::make_shared<KZRuleItem>(KZRuleItemKindDateWithin, 0);
    item->m_dateWithin = value;
    return item;
}

KZRuleItemRef KZRuleItem::ruleViewController(const std::shared_ptr<KZRuleItem_ViewControllerProtocol> &viewController,
                                             const QVariant &representedObject)
{
    auto item = std::make_shared<KZRuleItem>(KZRuleItemKindViewController, 0);
    item->m_viewController = viewController;
    item->m_representedObject = representedObject;
    return item;
}

KZDirPathEntryList KZRuleItem::dirPathEntries() const
{
    if (m_representedObject.metaType() != QMetaType::fromType<KZDirPathEntryList>())
        return {};
    return m_representedObject.value<KZDirPathEntryList>();
}

QCborMap KZRuleItem::encodeWithCoder() const
{
    QCborMap coder;
    coder.insert(kKind, m_kind);
    // Widths are stored whole; the fraction is dropped toward zero.
    double width = std::trunc(m_wSize);
    if (!std::isfinite(width))
        width = 0;
    width = std::clamp(width, double(std::numeric_limits<qint32>::min()), double(std::numeric_limits<qint32>::max()));
    coder.insert(kWSize, qint64(width));
    coder.insert(kIsInvisible, m_isInvisible);
    coder.insert(kMenuSelectedTag, m_menuSelectedTag);
    coder.insert(kMenuSelectedObject, encodeObject(m_menuSelectedObject));
    coder.insert(kLabelTitle, m_labelTitle.isNull() ? QCborValue(QCborValue::Null) : QCborValue(m_labelTitle));
    coder.insert(kStringValue, m_stringValue.isNull() ? QCborValue(QCborValue::Null) : QCborValue(m_stringValue));
    coder.insert(kDateValue, m_dateValue.isValid() ? QCborValue(m_dateValue) : QCborValue(QCborValue::Null));
    coder.insert(kDateWithin, m_dateWithin.isNull() ? QCborValue(QCborValue::Null) : QCborValue(m_dateWithin));
    coder.insert(kFileSizeValue,
                 m_fileSizeValue.isNull() ? QCborValue(QCborValue::Null) : QCborValue(m_fileSizeValue));
    coder.insert(kRepresentedObject, encodeObject(m_representedObject));
    return coder;
}

KZRuleItemRef KZRuleItem::initWithCoder(const QCborMap &coder)
{
    auto item = std::make_shared<KZRuleItem>();
    const QCborValue kind = coder.value(kKind);
    item->m_kind = kind.isInteger() ? kind.toInteger() : 0;
    const QCborValue width = coder.value(kWSize);
    item->m_wSize = width.isInteger() ? double(width.toInteger()) : (width.isDouble() ? std::trunc(width.toDouble()) : 0);
    item->m_isInvisible = coder.value(kIsInvisible).isTrue();
    const QCborValue tag = coder.value(kMenuSelectedTag);
    item->m_menuSelectedTag = tag.isInteger() ? tag.toInteger() : 0;
    item->m_menuSelectedObject = decodeObject(coder.value(kMenuSelectedObject));
    item->m_labelTitle = stringOf(coder, kLabelTitle);
    item->m_stringValue = stringOf(coder, kStringValue);
    const QCborValue date = coder.value(kDateValue);
    if (date.isDateTime())
        item->m_dateValue = date.toDateTime().toLocalTime();
    item->m_dateWithin = stringOf(coder, kDateWithin);
    item->m_fileSizeValue = stringOf(coder, kFileSizeValue);
    item->m_representedObject = decodeObject(coder.value(kRepresentedObject));
    return item;
}

QCborValue kzArchiveRuleRows(const KZRuleRows &rows)
{
    QCborArray array;
    for (const KZRuleRowRef &row : rows) {
        if (!row)
            continue;
        QCborArray items;
        for (const KZRuleItemRef &item : row->items)
            items.append(item ? QCborValue(item->encodeWithCoder()) : QCborValue(QCborValue::Null));
        QCborMap map;
        map.insert(kItems, items);
        array.append(map);
    }
    return array;
}

KZRuleRows kzUnarchiveRuleRows(const QCborValue &value, int *skipped)
{
    KZRuleRows rows;
    int bad = 0;
    for (const QCborValue &element : value.toArray()) {
        const QCborValue items = element.toMap().value(kItems);
        if (!element.isMap() || !items.isArray()) {
            ++bad;
            continue;
        }
        QList<KZRuleItemRef> decoded;
        bool ok = true;
        for (const QCborValue &itemValue : items.toArray()) {
            if (!itemValue.isMap()) {
                ok = false;
                break;
            }
            decoded.append(KZRuleItem::initWithCoder(itemValue.toMap()));
        }
        if (!ok) {
            ++bad;
            continue;
        }
        rows.append(kzMakeRuleRow(decoded));
    }
    if (skipped)
        *skipped = bad;
    return rows;
}

KZRuleRows kzDetachedRuleRows(const KZRuleRows &rows)
{
    return kzUnarchiveRuleRows(kzArchiveRuleRows(rows));
}
