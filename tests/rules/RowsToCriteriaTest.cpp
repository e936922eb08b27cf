// Rows to canonical criteria: what each kind of row gives, which rows are
// incomplete, and the hit test.
#include <QDate>
#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/RulesEditorViewController.h"
#include "tests/rules/RulesTestSupport.h"

using rulestest::criterion;

namespace {

KZRuleRowRef row(qint64 kind, const KZRuleItemRef &op, const KZRuleItemRef &value)
{
    return kzMakeRuleRow({KZRuleItem::rulePopMenuWithMenu(kzMajorCriteriaMenu(), 150, kind), op, value});
}

KZRuleItemRef opTag(qint64 tag)
{
    return KZRuleItem::rulePopMenuWithMenu(nullptr, 150, tag);
}

QVariantList convert(const KZRuleRowRef &r)
{
    return RulesEditorViewController::canonizedCriteriaFromCriteria({r}, false);
}

KZRuleItemRef combo(const QString &text)
{
    return KZRuleItem::ruleComboxWithStrings(nullptr, text);
}

KZRuleRowRef sizeRow(const char *comps, qint64 op = 7)
{
    return row(2, opTag(op), KZRuleItem::ruleFileSizeWithValue(comps ? QString::fromUtf8(comps) : QString()));
}

KZRuleRowRef typeRow(const QVariant &object)
{
    return row(3, opTag(4), KZRuleItem::rulePopMenuWithMenu(kzValueMenuOfCriterionKind(3), 150, object));
}

KZRuleRowRef dateRow(qint64 op, const QDateTime &day, bool invisible = false)
{
    return row(5, opTag(op), KZRuleItem::ruleDatePickerWithDate(day, invisible));
}

KZRuleRowRef withinRow(const QString &comps)
{
    return row(5, opTag(15), KZRuleItem::ruleDateWithinWithValue(comps));
}

KZRuleRowRef tagsRow(const QVariant &label, const QString &text, bool invisible)
{
    auto field = KZRuleItem::ruleTextFieldWithString(text);
    field->setIsInvisible(invisible);
    return row(6, KZRuleItem::rulePopMenuWithMenu(kzOperatorMenuOfCriterionKind(6, kzplatform::kzWorkspaceFileLabels()),
                                                  150, label),
               field);
}

KZRuleRowRef foldersRow(qint64 op, const QVariant &entries)
{
    return row(10, opTag(op), KZRuleItem::ruleViewController(nullptr, entries));
}

} // namespace

TEST(RowsToCriteria, WhatEachRowGivesAndWhichRowsAreIncomplete)
{
    const QDateTime afternoon(QDate(2024, 2, 29), QTime(15, 30));
    const QDateTime midnight = QDate(2024, 2, 29).startOfDay();
    // A day stored in another time zone still means the local day.
    const QDateTime utcNoon = QDateTime(QDate(2024, 7, 1), QTime(12, 0), Qt::UTC);
    const KZDirPathEntryList entries = {kzMakeDirPathEntry(QStringLiteral("/b"), 1),
                                        kzMakeDirPathEntry(QStringLiteral("/a"), 0),
                                        kzMakeDirPathEntry(QStringLiteral("/c"), 1)};
    const KZDirPathEntryList unchecked = {kzMakeDirPathEntry(QStringLiteral("/a"), 0)};
    const QString x = QStringLiteral("x");
    const std::vector<std::pair<KZRuleRowRef, QVariantList>> cases = {
        // Names are trimmed; the operator is taken as it is, the engine decides.
        {row(1, opTag(3), combo(QStringLiteral(" abc "))), {criterion(1, 3, QStringLiteral("abc"))}},
        {row(1, opTag(20), combo(x)), {criterion(1, 20, x)}},
        {row(1, opTag(1), combo(QStringLiteral("  \n\t "))), {}},
        {row(1, opTag(1), combo(QString())), {}},
        // Sizes in bytes; units beyond TB count bytes; too large saturates instead of wrapping.
        {sizeRow("0|1", 6), {criterion(2, 6, qint64(0))}},
        {sizeRow("5|2"), {criterion(2, 7, qint64(5242880))}},
        {sizeRow("2|3"), {criterion(2, 7, qint64(2147483648LL))}},
        {sizeRow("1|4"), {criterion(2, 7, qint64(1099511627776LL))}},
        {sizeRow("3|7"), {criterion(2, 7, qint64(3))}},
        {sizeRow("9000000000000|4"), {criterion(2, 7, std::numeric_limits<qint64>::max())}},
        {sizeRow("-1|1"), {}},
        {sizeRow("1|0"), {}},
        {sizeRow("4|-2"), {}},
        {sizeRow("12"), {}},
        {sizeRow("1|2|3"), {}},
        {sizeRow(nullptr), {}},
        // Types: a non-empty string.
        {typeRow(QStringLiteral("KZFileSearchUTIType_RegFile")), {criterion(3, 4, QStringLiteral("KZFileSearchUTIType_RegFile"))}},
        {typeRow(QString(QLatin1String(""))), {}},
        {typeRow(QVariant()), {}},
        {typeRow(QVariant(12)), {}},
        // Dates: midnight of the local day, no value for the day-less operators.
        {dateRow(8, afternoon), {criterion(5, 8, midnight)}},
        {dateRow(10, afternoon), {criterion(5, 10, midnight)}},
        {dateRow(8, utcNoon), {criterion(5, 8, utcNoon.toLocalTime().date().startOfDay())}},
        {dateRow(10, QDateTime()), {}},
        {dateRow(11, QDateTime(), true), {criterion(5, 11)}},
        {dateRow(19, QDateTime(), true), {criterion(5, 19)}},
        {dateRow(13, afternoon), {}},
        {dateRow(20, afternoon), {}},
        {withinRow(QStringLiteral("2|1")), {criterion(5, 15, QStringLiteral("2|1"))}},
        {withinRow(QStringLiteral("21")), {}},
        {withinRow(QStringLiteral("-5|1")), {}}, // a saved search may hold what the field cannot type
        {withinRow(QString()), {}},
        // Tags: the chosen label (the text is then ignored) or the typed text of Other.
        {tagsRow(QVariant(), QStringLiteral("  red  "), false), {criterion(6, 0, QStringLiteral("red"))}},
        {tagsRow(QStringLiteral("Blue"), QStringLiteral("ignored"), false), {criterion(6, 0, QStringLiteral("Blue"))}},
        {tagsRow(QVariant(), QStringLiteral("hidden"), true), {}},
        {tagsRow(QVariant(), QStringLiteral("   "), false), {}},
        // Attributes keep their spaces and need their operators.
        {row(8, opTag(13), combo(QStringLiteral(" user.x "))), {criterion(8, 13, QStringLiteral(" user.x "))}},
        {row(8, opTag(14), combo(x)), {criterion(8, 14, x)}},
        {row(8, opTag(13), combo(QString())), {}},
        {row(8, opTag(4), combo(x)), {}},
        // Folders: the checked paths in order.
        {foldersRow(5, QVariant::fromValue(entries)), {criterion(10, 5, QStringList({QStringLiteral("/b"), QStringLiteral("/c")}))}},
        {foldersRow(1, QVariant::fromValue(entries)), {}},
        {foldersRow(4, QVariant::fromValue(unchecked)), {}},
        {foldersRow(4, QVariant::fromValue(KZDirPathEntryList())), {}},
        {foldersRow(4, QVariant(QStringLiteral("/x"))), {}},
        // Unknown kinds and malformed rows.
        {row(7, opTag(4), KZRuleItem::ruleTextFieldWithString(x)), {}},
        {row(11, opTag(4), KZRuleItem::ruleTextFieldWithString(x)), {}},
        {kzMakeRuleRow({KZRuleItem::rulePopMenuWithMenu(nullptr, 150, qint64(1)), opTag(1)}), {}},
        {kzMakeRuleRow({}), {}},
        {nullptr, {}},
    };
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(convert(cases.at(i).first), cases.at(i).second) << "case " << i;
}

TEST(RowsToCriteria, HitTestStopsAtTheFirstCriterion)
{
    const KZRuleRows rows = {row(1, opTag(1), combo(QStringLiteral(" "))),
                             row(1, opTag(2), combo(QStringLiteral("second"))), sizeRow("1|1")};
    EXPECT_EQ(RulesEditorViewController::canonizedCriteriaFromCriteria(rows, true),
              QVariantList({criterion(1, 2, QStringLiteral("second"))}));
    EXPECT_EQ(RulesEditorViewController::canonizedCriteriaFromCriteria(rows, false).size(), 2);
    EXPECT_TRUE(RulesEditorViewController::canonizedCriteriaFromCriteria({rows.at(0)}, true).isEmpty());
}
