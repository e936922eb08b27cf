#include "rules/RulesEditorViewController.h"

#include <QDate>
#include <QMetaType>
#include <QSet>
#include <limits>

#include "engine/KZFileSearch.h"
#include "rules/KZCriteriaMenus.h"
#include "rules/KZScopeFilterDirPaths.h"
#include "rules/KZValueAndUnit.h"
#include "support/KZLog.h"

namespace {

constexpr double kPopUpWidth = 150;
constexpr int kMaxRows = 7;

const QString kKind = QStringLiteral("kind");
const QString kOperator = QStringLiteral("operator");
const QString kValue = QStringLiteral("value");
const QString kRowOffset = QStringLiteral("rowOffset");
const QString kRowsChanged = QStringLiteral("rowsChanged");
const QString kCriteriaChanged = QStringLiteral("criteriaChanged");

bool isDateKind(qint64 kind)
{
    return kind == KZFileSearchKindDateCreated || kind == KZFileSearchKindDateModified;
}

bool isNone(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

bool isString(const QVariant &v)
{
    return v.typeId() == QMetaType::QString;
}

// A count of 0 or more and a unit code, as the engine reads them.
bool isWithinLastValue(const QString &comps)
{
    qint64 count = 0;
    int unit = 0;
    return !comps.isNull() && KZFileSearchParseWithinLast(comps, &count, &unit);
}

// The three items of a row, or false when the row is not a complete one.
bool rowItems(const KZRuleRowRef &row, KZRuleItemRef *major, KZRuleItemRef *op, KZRuleItemRef *value)
{
    if (!row || row->items.size() != 3 || !row->items.at(0) || !row->items.at(1) || !row->items.at(2))
        return false;
    *major = row->items.at(0);
    *op = row->items.at(1);
    *value = row->items.at(2);
    return true;
}

qint64 kindOfRow(const KZRuleRowRef &row)
{
    if (!row || row->items.isEmpty() || !row->items.at(0))
        return 0;
    return row->items.at(0)->menuSelectedTag();
}

// Byte multiplier of a size unit code: KB, MB, GB, TB; any code of 5 or more
// counts bytes.
qint64 sizeMultiplier(qint64 unit)
{
    switch (unit) {
    case 1:
        return 1024LL;
    case 2:
        return 1024LL * 1024;
    case 3:
        return 1024LL * 1024 * 1024;
    case 4:
        return 1024LL * 1024 * 1024 * 1024;
    default:
        return 1;
    }
}

std::optional<QVariantMap> criterionOfRow(const KZRuleRowRef &row)
{
    KZRuleItemRef major, op, value;
    if (!rowItems(row, &major, &op, &value))
        return std::nullopt;
    const qint64 kind = major->menuSelectedTag();
    const qint64 oper = op->menuSelectedTag();
    QVariantMap criterion{{kKind, kind}, {kOperator, oper}};
    switch (kind) {
    case KZFileSearchKindFileName: {
        const QString text = value->stringValue().trimmed();
        if (text.isEmpty())
            return std::nullopt;
        criterion.insert(kValue, text);
        return criterion;
    }
    case KZFileSearchKindFileSize: {
        const QStringList parts = value->fileSizeValue().split(QLatin1Char('|'));
        if (value->fileSizeValue().isNull() || parts.size() != 2)
            return std::nullopt;
        const qint64 count = kzLeadingIntegerOfString(parts.at(0));
        const qint64 unit = kzLeadingIntegerOfString(parts.at(1));
        if (count < 0 || unit < 1)
            return std::nullopt;
        const qint64 multiplier = sizeMultiplier(unit);
        // A count too large for a byte count saturates instead of wrapping.
        const qint64 bytes = count > std::numeric_limits<qint64>::max() / multiplier
            ? std::numeric_limits<qint64>::max()
            : count * multiplier;
        criterion.insert(kValue, bytes);
        return criterion;
    }
    case KZFileSearchKindUTIType: {
        const QVariant object = value->menuSelectedObject();
        if (!isString(object) || object.toString().isEmpty())
            return std::nullopt;
        criterion.insert(kValue, object.toString());
        return criterion;
    }
    case KZFileSearchKindDateCreated:
    case KZFileSearchKindDateModified:
        switch (oper) {
        case KZFileSearchOperatorDateExactlyDay:
        case KZFileSearchOperatorDateBefore:
        case KZFileSearchOperatorDateAfter: {
            const QDateTime date = value->dateValue();
            if (!date.isValid())
                return std::nullopt;
            const QDateTime midnight = date.toLocalTime().date().startOfDay();
            if (!midnight.isValid())
                return std::nullopt;
            criterion.insert(kValue, midnight);
            return criterion;
        }
        case KZFileSearchOperatorDateToday:
        case KZFileSearchOperatorDateYesterday:
        case KZFileSearchOperatorDateLastHour:
        case KZFileSearchOperatorDateLast6Hours:
            return criterion;
        case KZFileSearchOperatorDateWithinLast:
            if (!isWithinLastValue(value->dateWithin()))
                return std::nullopt;
            criterion.insert(kValue, value->dateWithin());
            return criterion;
        default:
            return std::nullopt;
        }
    case KZFileSearchKindTagNames: {
        QString tag;
        const QVariant label = op->menuSelectedObject();
        if (!isNone(label))
            tag = label.toString();
        else if (!value->isInvisible())
            tag = value->stringValue().trimmed();
        if (tag.isEmpty())
            return std::nullopt;
        criterion.insert(kValue, tag);
        return criterion;
    }
    case KZFileSearchKindXAttrs:
        if ((oper != KZFileSearchOperatorIsDefined && oper != KZFileSearchOperatorIsNotDefined) || value->stringValue().isEmpty())
            return std::nullopt;
        criterion.insert(kValue, value->stringValue());
        return criterion;
    case KZFileSearchKindDirPaths: {
        if (oper != KZFileSearchOperatorIs && oper != KZFileSearchOperatorIsNot)
            return std::nullopt;
        QStringList paths;
        for (const KZDirPathEntryRef &entry : value->dirPathEntries()) {
            if (entry && entry->state == 1)
                paths.append(entry->path);
        }
        if (paths.isEmpty())
            return std::nullopt;
        criterion.insert(kValue, paths);
        return criterion;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

RulesEditorViewController::RulesEditorViewController()
    : m_savedComboxValues{std::make_shared<QStringList>(), std::make_shared<QStringList>()},
      m_filterDirPathsProvider(KZScopeFilterDirPaths::sharedInstance()),
      m_fileLabels(kzplatform::kzWorkspaceFileLabels()),
      m_dirPathControllerFactory([] { return std::make_shared<RulesDirPathViewController>(); })
{
}

RulesEditorViewController::~RulesEditorViewController() = default;

void RulesEditorViewController::setDirPathControllerFactory(DirPathControllerFactory factory)
{
    if (factory)
        m_dirPathControllerFactory = std::move(factory);
    else
        m_dirPathControllerFactory = [] { return std::make_shared<RulesDirPathViewController>(); };
}

KZStringListRef RulesEditorViewController::savedComboxValues(int index) const
{
    if (index < 0 || index > 1)
        return nullptr;
    return m_savedComboxValues[size_t(index)];
}

KZMenuRef RulesEditorViewController::majorCriteriaMenu()
{
    return kzMajorCriteriaMenu();
}

KZMenuRef RulesEditorViewController::operatorMenuOfCriterionKind(qint64 kind) const
{
    return kzOperatorMenuOfCriterionKind(kind, m_fileLabels);
}

KZMenuRef RulesEditorViewController::valueMenuOfCriterionKind(qint64 kind)
{
    return kzValueMenuOfCriterionKind(kind);
}

QDateTime RulesEditorViewController::todayAtMidnight()
{
    return QDate::currentDate().startOfDay();
}

QString RulesEditorViewController::fileSizeCompsOfByteCount(qint64 bytes)
{
    for (qint64 unit = 4; unit >= 1; --unit) {
        const qint64 multiplier = sizeMultiplier(unit);
        if (bytes >= multiplier && bytes % multiplier == 0)
            return QStringLiteral("%1|%2").arg(bytes / multiplier).arg(unit);
    }
    if (bytes == 0)
        return QStringLiteral("0|1");
    return QStringLiteral("%1|5").arg(bytes);
}

void RulesEditorViewController::sendChange(const QVariantMap &change)
{
    if (m_delegateController)
        m_delegateController->rulesEditorViewControllerDidChange(this, change);
}

// --- Rows to criteria

QVariantList RulesEditorViewController::canonizedCriteria() const
{
    if (!m_rulesEditorView)
        return {};
    return canonizedCriteriaFromCriteria(m_rulesEditorView->criteria(), false);
}

QVariantList RulesEditorViewController::canonizedCriteriaFromCriteria(const KZRuleRows &criteria, bool hitTest)
{
    QVariantList list;
    for (const KZRuleRowRef &row : criteria) {
        if (const auto criterion = criterionOfRow(row))
            list.append(*criterion);
        if (hitTest && !list.isEmpty())
            return list;
    }
    return list;
}

// --- Building rows

std::shared_ptr<RulesDirPathViewController> RulesEditorViewController::makeDirPathController(
    const KZDirPathEntryList &paths)
{
    auto controller = m_dirPathControllerFactory();
    if (!controller)
        controller = std::make_shared<RulesDirPathViewController>();
    controller->setDelegator(this);
    controller->setScopeDir(m_scopeDir);
    controller->setPaths(paths);
    return controller;
}

KZRuleItemRef RulesEditorViewController::makeDirPathItem(const KZDirPathEntryList &paths)
{
    return KZRuleItem::ruleViewController(makeDirPathController(paths), QVariant::fromValue(paths));
}

std::optional<RulesEditorViewController::OperatorAndValue> RulesEditorViewController::defaultOperatorAndValue(
    qint64 kind)
{
    OperatorAndValue items;
    switch (kind) {
    case KZFileSearchKindDateModified:
    case KZFileSearchKindDateCreated:
        items.operatorItem =
            KZRuleItem::rulePopMenuWithMenu(operatorMenuOfCriterionKind(kind), kPopUpWidth, qint64(KZFileSearchOperatorDateToday));
        items.valueItem = KZRuleItem::ruleDatePickerWithDate(todayAtMidnight(), true);
        return items;
    case KZFileSearchKindUTIType: {
        items.operatorItem =
            KZRuleItem::rulePopMenuWithMenu(operatorMenuOfCriterionKind(kind), kPopUpWidth, qint64(KZFileSearchOperatorIs));
        const KZMenuRef valueMenu = valueMenuOfCriterionKind(kind);
        const QVariant first = valueMenu->count() > 0 ? valueMenu->entryAt(0).representedObject : QVariant();
        items.valueItem = KZRuleItem::rulePopMenuWithMenu(valueMenu, kPopUpWidth, first);
        return items;
    }
    case KZFileSearchKindTagNames: {
        // The first real label is preselected; index 0 stands for no label.
        const QVariant label = m_fileLabels.size() >= 2 ? QVariant(m_fileLabels.at(1).name) : QVariant();
        items.operatorItem = KZRuleItem::rulePopMenuWithMenu(operatorMenuOfCriterionKind(kind), kPopUpWidth, label);
        items.valueItem = KZRuleItem::ruleTextFieldWithString(QString());
        items.valueItem->setIsInvisible(!isNone(label));
        return items;
    }
    case KZFileSearchKindFileSize:
        items.operatorItem = KZRuleItem::rulePopMenuWithMenu(operatorMenuOfCriterionKind(kind), kPopUpWidth,
                                                             qint64(KZFileSearchOperatorGreaterThan));
        items.valueItem = KZRuleItem::ruleFileSizeWithValue(QStringLiteral("1|2"));
        return items;
    case KZFileSearchKindFileName:
        items.operatorItem =
            KZRuleItem::rulePopMenuWithMenu(operatorMenuOfCriterionKind(kind), kPopUpWidth, qint64(KZFileSearchOperatorContains));
        items.valueItem = KZRuleItem::ruleComboxWithStrings(m_savedComboxValues[0], QString());
        return items;
    case KZFileSearchKindXAttrs:
        items.operatorItem = KZRuleItem::rulePopMenuWithMenu(operatorMenuOfCriterionKind(kind), kPopUpWidth,
                                                             qint64(KZFileSearchOperatorIsDefined));
        items.valueItem = KZRuleItem::ruleComboxWithStrings(m_savedComboxValues[1], QString());
        return items;
    case KZFileSearchKindDirPaths: {
        items.operatorItem =
            KZRuleItem::rulePopMenuWithMenu(operatorMenuOfCriterionKind(kind), kPopUpWidth, qint64(KZFileSearchOperatorIs));
        KZDirPathEntryList paths;
        if (m_filterDirPathsProvider) {
            for (const QString &path : m_filterDirPathsProvider->filterDirPaths())
                paths.append(kzMakeDirPathEntry(path, 1));
        }
        items.valueItem = makeDirPathItem(paths);
        return items;
    }
    default:
        return std::nullopt;
    }
}

bool RulesEditorViewController::rulesEditorViewCanAddRowAtIndex(KZRulesEditorViewInterface *view, qint64 index)
{
    return !view || view->criteria().size() < kMaxRows;
}

KZRuleRowRef RulesEditorViewController::rulesEditorViewAddRow(KZRulesEditorViewInterface *view, qint64 index,
                                                              double rowOffset)
{
    sendChange({{kKind, kRowsChanged}, {kRowOffset, rowOffset}});

    QSet<qint64> usedKinds;
    if (view) {
        for (const KZRuleRowRef &row : view->criteria())
            usedKinds.insert(kindOfRow(row));
    }
    qint64 kind = KZFileSearchKindFileName;
    for (const qint64 candidate : kzMajorCriteriaKindsInOrder()) {
        if (!usedKinds.contains(candidate)) {
            kind = candidate;
            break;
        }
    }

    const KZRuleItemRef major = KZRuleItem::rulePopMenuWithMenu(majorCriteriaMenu(), kPopUpWidth, kind);
    const auto items = defaultOperatorAndValue(kind);
    return kzMakeRuleRow({major, items->operatorItem, items->valueItem});
}

void RulesEditorViewController::rulesEditorViewRemoveRow(KZRulesEditorViewInterface *view, qint64 index,
                                                         double rowOffset)
{
    sendChange({{kKind, kRowsChanged}, {kRowOffset, rowOffset}});
}

void RulesEditorViewController::rulesEditorViewDidChangeCriteria(KZRulesEditorViewInterface *view,
                                                                 const KZRuleRows &criteria)
{
    sendChange({{kKind, kCriteriaChanged}});
}

// --- Menu changes

KZRuleRowRef RulesEditorViewController::rowForDateOperator(const KZRuleRowRef &row, qint64 op)
{
    KZRuleItemRef major, opItem, value;
    if (!rowItems(row, &major, &opItem, &value))
        return nullptr;
    switch (op) {
    case KZFileSearchOperatorDateExactlyDay:
    case KZFileSearchOperatorDateBefore:
    case KZFileSearchOperatorDateAfter:
        if (value->kind() == KZRuleItemKindDatePicker) {
            if (!value->dateValue().isValid())
                value->setDateValue(todayAtMidnight());
            value->setIsInvisible(false);
        } else {
            value = KZRuleItem::ruleDatePickerWithDate(todayAtMidnight(), false);
        }
        break;
    case KZFileSearchOperatorDateToday:
    case KZFileSearchOperatorDateYesterday:
    case KZFileSearchOperatorDateLastHour:
    case KZFileSearchOperatorDateLast6Hours:
        if (value->kind() == KZRuleItemKindDatePicker)
            value->setIsInvisible(true);
        else
            value = KZRuleItem::ruleDatePickerWithDate(todayAtMidnight(), true);
        break;
    case KZFileSearchOperatorDateWithinLast: {
        const QString oneMonth = QStringLiteral("1|%1").arg(3);
        if (value->kind() == KZRuleItemKindDateWithin) {
            if (!isWithinLastValue(value->dateWithin()))
                value->setDateWithin(oneMonth);
        } else {
            value = KZRuleItem::ruleDateWithinWithValue(oneMonth);
        }
        break;
    }
    default:
        KZLOG_ERROR_M(QStringLiteral("nOp:%1").arg(op));
        return nullptr;
    }
    opItem->setMenuSelectedTag(op);
    return kzMakeRuleRow({major, opItem, value});
}

KZRuleRowRef RulesEditorViewController::rulesEditorViewDidChangeMenu(KZRulesEditorViewInterface *view,
                                                                     const KZMenu &menu,
                                                                     const KZMenuEntry &selectedItem,
                                                                     const KZRuleRowRef &row)
{
    KZRuleItemRef major, op, value;
    if (!rowItems(row, &major, &op, &value))
        return nullptr;
    const QString title = menu.title();
    const qint64 tag = selectedItem.tag;
    const QVariant object = selectedItem.representedObject;

    if (title == KZMajorCriteriaMenuTitle) {
        const qint64 currentKind = major->menuSelectedTag();
        if (!(isDateKind(tag) && isDateKind(currentKind))) {
            const auto items = defaultOperatorAndValue(tag);
            if (!items)
                return nullptr;
            op = items->operatorItem;
            value = items->valueItem;
            // A date row made from another kind starts without a day.
            if (isDateKind(tag))
                value = KZRuleItem::ruleDatePickerWithDate(QDateTime(), true);
        }
        major->setMenuSelectedTag(tag);
        return kzMakeRuleRow({major, op, value});
    }
    if (title == KZOperatorMenuFileNameTitle || title == KZOperatorMenuFileSizeTitle
        || title == KZOperatorMenuUTITypeTitle || title == KZOperatorMenuXAttrsTitle
        || title == KZOperatorMenuDirPathsTitle) {
        op->setMenuSelectedTag(tag);
        return nullptr;
    }
    if (title == KZOperatorMenuDateTitle)
        return rowForDateOperator(row, tag);
    if (title == KZOperatorMenuTagNamesTitle) {
        const bool hadLabel = !isNone(op->menuSelectedObject());
        const bool hasLabel = !isNone(object);
        op->setMenuSelectedObject(object);
        value->setIsInvisible(hasLabel);
        if (hadLabel != hasLabel)
            return kzMakeRuleRow({major, op, value});
        return nullptr;
    }
    if (title == KZValueMenuUTITypeTitle) {
        value->setMenuSelectedObject(object);
        return nullptr;
    }
    return nullptr;
}

// --- Value edits

void RulesEditorViewController::rulesEditorViewDidChangeTextField(KZRulesEditorViewInterface *view,
                                                                  const QString &text, const KZRuleRowRef &row)
{
    KZRuleItemRef major, op, value;
    if (rowItems(row, &major, &op, &value) && major->menuSelectedTag() == KZFileSearchKindTagNames)
        value->setStringValue(text);
}

void RulesEditorViewController::rulesEditorViewDidChangeDate(KZRulesEditorViewInterface *view, const QDateTime &date,
                                                             const KZRuleRowRef &row)
{
    KZRuleItemRef major, op, value;
    if (rowItems(row, &major, &op, &value) && isDateKind(major->menuSelectedTag()))
        value->setDateValue(date);
}

void RulesEditorViewController::rulesEditorViewDidChangeDateWithinValue(KZRulesEditorViewInterface *view,
                                                                        const QString &comps,
                                                                        const KZRuleRowRef &row)
{
    KZRuleItemRef major, op, value;
    if (rowItems(row, &major, &op, &value) && isDateKind(major->menuSelectedTag()))
        value->setDateWithin(comps);
}

void RulesEditorViewController::rulesEditorViewDidChangeFileSizeValue(KZRulesEditorViewInterface *view,
                                                                      const QString &comps, const KZRuleRowRef &row)
{
    KZRuleItemRef major, op, value;
    if (rowItems(row, &major, &op, &value) && major->menuSelectedTag() == KZFileSearchKindFileSize)
        value->setFileSizeValue(comps);
}

void RulesEditorViewController::rulesEditorViewDidChangeCombox(KZRulesEditorViewInterface *view, const QString &text,
                                                               const QStringList &strings, const KZRuleRowRef &row)
{
    KZRuleItemRef major, op, value;
    if (!rowItems(row, &major, &op, &value))
        return;
    const qint64 kind = major->menuSelectedTag();
    if (kind == KZFileSearchKindFileName || kind == KZFileSearchKindXAttrs)
        value->setStringValue(text);
}

KZStringListRef RulesEditorViewController::rulesEditorViewDidValidatedCombox(KZRulesEditorViewInterface *view,
                                                                             const QString &text,
                                                                             const QStringList &strings,
                                                                             const KZRuleRowRef &row)
{
    KZRuleItemRef major, op, value;
    if (!rowItems(row, &major, &op, &value))
        return nullptr;
    const qint64 kind = major->menuSelectedTag();
    if (kind != KZFileSearchKindFileName && kind != KZFileSearchKindXAttrs)
        return nullptr;
    // Choosing one of the offered names validates without a text change, so
    // the validated text is what the row holds from now on.
    value->setStringValue(text);
    const KZStringListRef list = m_savedComboxValues[kind == KZFileSearchKindFileName ? 0 : 1];
    const QString current = value->stringValue();
    if (!current.isEmpty()) {
        list->removeAll(current);
        list->prepend(current);
    }
    return list;
}

// --- Reloading

void RulesEditorViewController::reloadDataWithScopeDir(const QString &scopeDir, const KZRuleRows &criteria)
{
    m_scopeDir = scopeDir;
    KZRuleRows kept;
    QStringList names;
    QStringList attributeNames;
    for (const KZRuleRowRef &row : criteria) {
        KZRuleItemRef major, op, value;
        if (!rowItems(row, &major, &op, &value))
            continue;
        const qint64 kind = major->menuSelectedTag();
        if (major->kind() == KZRuleItemKindPopUp && !major->menu()) {
            major->setMenu(majorCriteriaMenu());
            QStringList *remembered = kind == KZFileSearchKindFileName ? &names
                : kind == KZFileSearchKindXAttrs                      ? &attributeNames
                                                                      : nullptr;
            const QString text = value->stringValue();
            if (remembered && !text.isEmpty() && !remembered->contains(text))
                remembered->append(text);
        }
        if (op->kind() == KZRuleItemKindPopUp && !op->menu())
            op->setMenu(operatorMenuOfCriterionKind(kind));
        if (value->kind() == KZRuleItemKindPopUp && !value->menu())
            value->setMenu(valueMenuOfCriterionKind(kind));
        // Archived combo boxes and folders rows come back without their choices
        // and controls: give them the remembered names and a new control.
        if (value->kind() == KZRuleItemKindCombox && !value->comboStrings()) {
            if (kind == KZFileSearchKindFileName)
                value->setComboStrings(m_savedComboxValues[0]);
            else if (kind == KZFileSearchKindXAttrs)
                value->setComboStrings(m_savedComboxValues[1]);
        }
        if (value->kind() == KZRuleItemKindViewController && !value->viewController()
            && kind == KZFileSearchKindDirPaths) {
            const KZDirPathEntryList paths = value->dirPathEntries();
            value->setRepresentedObject(QVariant::fromValue(paths));
            value->setViewController(makeDirPathController(paths));
        }
        kept.append(row);
    }
    if (!m_hasRememberedComboxValues) {
        *m_savedComboxValues[0] = names;
        *m_savedComboxValues[1] = attributeNames;
        m_hasRememberedComboxValues = true;
    }
    if (m_rulesEditorView) {
        m_rulesEditorView->setDelegate(this);
        m_rulesEditorView->reloadDataWithCriteria(kept);
    }
}

// --- Folders control

void RulesEditorViewController::rulesDirPathViewControllerDidChange(RulesDirPathViewController *controller)
{
    if (!controller)
        return;
    const KZRuleRowRef row = m_rulesEditorView ? m_rulesEditorView->criterionForRowViewController(controller) : nullptr;
    KZRuleItemRef major, op, value;
    if (!row) {
        KZLOG_CRITICAL_M(QStringLiteral("criterion==nil"));
    } else if (rowItems(row, &major, &op, &value)) {
        value->setRepresentedObject(QVariant::fromValue(controller->paths()));
    }
    if (!m_filterDirPathsProvider)
        return;
    for (const KZDirPathEntryRef &entry : controller->paths()) {
        if (entry && entry->state == 1 && !m_filterDirPathsProvider->filterDirPaths().contains(entry->path))
            m_filterDirPathsProvider->addFilterFilterDirPath(entry->path);
    }
}

// --- Criteria to rows

std::optional<KZRuleRowRef> RulesEditorViewController::rowFromCriterion(const QVariantMap &criterion,
                                                                        QString *problem)
{
    const QVariant kindValue = criterion.value(kKind);
    const QVariant opValue = criterion.value(kOperator);
    bool kindOk = false;
    bool opOk = true;
    const qint64 kind = kindValue.toLongLong(&kindOk);
    const qint64 op = opValue.isValid() ? opValue.toLongLong(&opOk) : 0;
    if (!kindOk || !opOk) {
        *problem = QStringLiteral("kind and operator must be numbers");
        return std::nullopt;
    }
    const QVariant value = criterion.value(kValue);
    const auto badOperator = [&] {
        *problem = QStringLiteral("operator %1 is not one of kind %2").arg(op).arg(kind);
        return std::nullopt;
    };
    const auto badValue = [&](const QString &what) {
        *problem = QStringLiteral("kind %1 needs %2").arg(kind).arg(what);
        return std::nullopt;
    };

    const KZRuleItemRef major = KZRuleItem::rulePopMenuWithMenu(majorCriteriaMenu(), kPopUpWidth, kind);
    const auto popUp = [&](qint64 tag) {
        return KZRuleItem::rulePopMenuWithMenu(operatorMenuOfCriterionKind(kind), kPopUpWidth, tag);
    };

    switch (kind) {
    case KZFileSearchKindFileName: {
        static const QList<qint64> ops = {1, 2, 3, 4, 5, 20};
        if (!ops.contains(op))
            return badOperator();
        const QString text = isString(value) ? value.toString().trimmed() : QString();
        if (text.isEmpty())
            return badValue(QStringLiteral("a name text"));
        return kzMakeRuleRow({major, popUp(op), KZRuleItem::ruleComboxWithStrings(m_savedComboxValues[0], text)});
    }
    case KZFileSearchKindFileSize: {
        if (op != KZFileSearchOperatorLessThan && op != KZFileSearchOperatorGreaterThan)
            return badOperator();
        bool ok = false;
        const qint64 bytes = value.toLongLong(&ok);
        const bool fractional = value.typeId() == QMetaType::Double && value.toDouble() != double(bytes);
        if (isNone(value) || isString(value) || !ok || fractional || bytes < 0)
            return badValue(QStringLiteral("a byte count of 0 or more"));
        return kzMakeRuleRow({major, popUp(op), KZRuleItem::ruleFileSizeWithValue(fileSizeCompsOfByteCount(bytes))});
    }
    case KZFileSearchKindUTIType: {
        if (op != KZFileSearchOperatorIs && op != KZFileSearchOperatorIsNot)
            return badOperator();
        if (!isString(value) || value.toString().isEmpty())
            return badValue(QStringLiteral("a type identifier"));
        const KZRuleItemRef typeItem =
            KZRuleItem::rulePopMenuWithMenu(valueMenuOfCriterionKind(kind), kPopUpWidth, QVariant(value.toString()));
        return kzMakeRuleRow({major, popUp(op), typeItem});
    }
    case KZFileSearchKindDateCreated:
    case KZFileSearchKindDateModified:
        switch (op) {
        case KZFileSearchOperatorDateExactlyDay:
        case KZFileSearchOperatorDateBefore:
        case KZFileSearchOperatorDateAfter: {
            QDateTime date;
            if (value.typeId() == QMetaType::QDateTime)
                date = value.toDateTime();
            else if (value.typeId() == QMetaType::QDate)
                date = value.toDate().startOfDay();
            if (!date.isValid())
                return badValue(QStringLiteral("a date"));
            return kzMakeRuleRow({major, popUp(op), KZRuleItem::ruleDatePickerWithDate(date, false)});
        }
        case KZFileSearchOperatorDateToday:
        case KZFileSearchOperatorDateYesterday:
        case KZFileSearchOperatorDateLastHour:
        case KZFileSearchOperatorDateLast6Hours:
            return kzMakeRuleRow({major, popUp(op), KZRuleItem::ruleDatePickerWithDate(todayAtMidnight(), true)});
        case KZFileSearchOperatorDateWithinLast:
            if (!isString(value) || !isWithinLastValue(value.toString()))
                return badValue(QStringLiteral("a count of 0 or more and a unit code from 1 to 6 joined by \"|\""));
            return kzMakeRuleRow({major, popUp(op), KZRuleItem::ruleDateWithinWithValue(value.toString())});
        default:
            return badOperator();
        }
    case KZFileSearchKindTagNames: {
        const QString tag = isString(value) ? value.toString().trimmed() : QString();
        if (tag.isEmpty())
            return badValue(QStringLiteral("a tag text"));
        bool isLabel = false;
        for (qsizetype i = 1; i < m_fileLabels.size(); ++i)
            isLabel = isLabel || m_fileLabels.at(i).name == tag;
        const KZRuleItemRef labelItem = KZRuleItem::rulePopMenuWithMenu(
            operatorMenuOfCriterionKind(kind), kPopUpWidth, isLabel ? QVariant(tag) : QVariant());
        const KZRuleItemRef textItem = KZRuleItem::ruleTextFieldWithString(isLabel ? QString() : tag);
        textItem->setIsInvisible(isLabel);
        return kzMakeRuleRow({major, labelItem, textItem});
    }
    case KZFileSearchKindXAttrs: {
        if (op != KZFileSearchOperatorIsDefined && op != KZFileSearchOperatorIsNotDefined)
            return badOperator();
        if (!isString(value) || value.toString().isEmpty())
            return badValue(QStringLiteral("an attribute name"));
        return kzMakeRuleRow(
            {major, popUp(op), KZRuleItem::ruleComboxWithStrings(m_savedComboxValues[1], value.toString())});
    }
    case KZFileSearchKindDirPaths: {
        if (op != KZFileSearchOperatorIs && op != KZFileSearchOperatorIsNot)
            return badOperator();
        QStringList paths;
        bool ok = value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList;
        if (ok) {
            for (const QVariant &path : value.toList()) {
                ok = ok && isString(path) && !path.toString().isEmpty();
                paths.append(path.toString());
            }
        }
        if (!ok || paths.isEmpty())
            return badValue(QStringLiteral("a list of folder paths"));
        KZDirPathEntryList entries;
        for (const QString &path : paths)
            entries.append(kzMakeDirPathEntry(path, 1));
        return kzMakeRuleRow({major, popUp(op), makeDirPathItem(entries)});
    }
    default:
        *problem = QStringLiteral("kind %1 cannot be shown as a rule").arg(kind);
        return std::nullopt;
    }
}

std::optional<KZRuleRows> RulesEditorViewController::rowsFromCanonizedCriteria(const QVariantList &criteria,
                                                                              QString *error)
{
    KZRuleRows rows;
    for (qsizetype i = 0; i < criteria.size(); ++i) {
        QString problem;
        const QVariant element = criteria.at(i);
        std::optional<KZRuleRowRef> row;
        if (element.typeId() != QMetaType::QVariantMap)
            problem = QStringLiteral("not a criterion dictionary");
        else
            row = rowFromCriterion(element.toMap(), &problem);
        if (!row) {
            if (error)
                *error = QStringLiteral("criterion %1: %2").arg(i + 1).arg(problem);
            return std::nullopt;
        }
        rows.append(*row);
    }
    if (error)
        error->clear();
    return rows;
}
