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

KZRuleRowRef sizeRow(const QString &comps, qint64 op = 7)
{
    return row(2, opTag(op), KZRuleItem::ruleFileSizeWithValue(comps));
}

} // namespace

TEST(RowsToCriteria, NameRowsAreTrimmedAndBlankOnesLeftOut)
{
    const auto combo = [](const QString &text) { return KZRuleItem::ruleComboxWithStrings(nullptr, text); };
    EXPECT_EQ(convert(row(1, opTag(3), combo(QStringLiteral(" abc ")))),
              QVariantList({criterion(1, 3, QStringLiteral("abc"))}));
    EXPECT_TRUE(convert(row(1, opTag(1), combo(QStringLiteral("  \n\t ")))).isEmpty());
    EXPECT_TRUE(convert(row(1, opTag(1), combo(QString()))).isEmpty());
    // The operator is taken as it is: the engine decides what it accepts.
    EXPECT_EQ(convert(row(1, opTag(20), combo(QStringLiteral("x")))),
              QVariantList({criterion(1, 20, QStringLiteral("x"))}));
}

TEST(RowsToCriteria, SizeRowsMultiplyByTheUnit)
{
    const auto bytesOf = [](const QString &comps) {
        const QVariantList list = convert(sizeRow(comps));
        return list.isEmpty() ? QVariant() : list.first().toMap().value(QStringLiteral("value"));
    };
    EXPECT_EQ(bytesOf(QStringLiteral("0|1")), QVariant(qint64(0)));
    EXPECT_EQ(bytesOf(QStringLiteral("5|2")), QVariant(qint64(5242880)));
    EXPECT_EQ(bytesOf(QStringLiteral("3|7")), QVariant(qint64(3))) << "units beyond TB count bytes";
    EXPECT_EQ(bytesOf(QStringLiteral("2|3")), QVariant(qint64(2147483648LL)));
    EXPECT_EQ(bytesOf(QStringLiteral("1|4")), QVariant(qint64(1099511627776LL)));
    EXPECT_EQ(bytesOf(QStringLiteral("1|5")), QVariant(qint64(1)));
    // A count beyond what a byte count can hold saturates instead of wrapping
    // into a negative size.
    EXPECT_EQ(bytesOf(QStringLiteral("9000000000000|4")), QVariant(std::numeric_limits<qint64>::max()));
    for (const char *bad : {"-1|1", "1|0", "12", "", "1|2|3", "4|-2"})
        EXPECT_FALSE(bytesOf(QString::fromUtf8(bad)).isValid()) << bad;
    EXPECT_TRUE(convert(row(2, opTag(6), KZRuleItem::ruleFileSizeWithValue(QString()))).isEmpty());

    const QVariantMap c = convert(sizeRow(QStringLiteral("1|2"), 6)).first().toMap();
    EXPECT_EQ(c.value(QStringLiteral("kind")), QVariant(qint64(2)));
    EXPECT_EQ(c.value(QStringLiteral("operator")), QVariant(qint64(6)));
}

TEST(RowsToCriteria, TypeRowsNeedANonEmptyString)
{
    const auto typeRow = [](const QVariant &object, qint64 op) {
        return row(3, opTag(op), KZRuleItem::rulePopMenuWithMenu(kzValueMenuOfCriterionKind(3), 150, object));
    };
    EXPECT_EQ(convert(typeRow(QStringLiteral("KZFileSearchUTIType_RegFile"), 4)),
              QVariantList({criterion(3, 4, QStringLiteral("KZFileSearchUTIType_RegFile"))}));
    EXPECT_EQ(convert(typeRow(QStringLiteral("text/plain"), 1)),
              QVariantList({criterion(3, 1, QStringLiteral("text/plain"))}))
        << "the operator is not checked here";
    EXPECT_TRUE(convert(typeRow(QString(QLatin1String("")), 4)).isEmpty());
    EXPECT_TRUE(convert(typeRow(QVariant(), 4)).isEmpty());
    EXPECT_TRUE(convert(typeRow(QVariant(12), 4)).isEmpty());
}

TEST(RowsToCriteria, DateRowsByOperator)
{
    const QDateTime afternoon(QDate(2024, 2, 29), QTime(15, 30));
    const auto picker = [&](const QDateTime &d) { return KZRuleItem::ruleDatePickerWithDate(d, false); };

    for (qint64 op : {8, 9, 10}) {
        const QVariantList list = convert(row(5, opTag(op), picker(afternoon)));
        ASSERT_EQ(list.size(), 1);
        const QDateTime value = list.first().toMap().value(QStringLiteral("value")).toDateTime();
        EXPECT_EQ(value, QDate(2024, 2, 29).startOfDay()) << "midnight of the chosen day, op " << op;
        EXPECT_TRUE(convert(row(4, opTag(op), picker(QDateTime()))).isEmpty()) << "a day is needed";
    }
    // A day stored in another time zone still means the local day.
    const QDateTime utcLate = QDateTime(QDate(2024, 7, 1), QTime(12, 0), Qt::UTC);
    const QDateTime converted =
        convert(row(4, opTag(8), picker(utcLate))).first().toMap().value(QStringLiteral("value")).toDateTime();
    EXPECT_EQ(converted, utcLate.toLocalTime().date().startOfDay());

    for (qint64 op : {11, 12, 18, 19}) {
        const QVariantList list = convert(row(4, opTag(op), KZRuleItem::ruleDatePickerWithDate(QDateTime(), true)));
        ASSERT_EQ(list.size(), 1);
        EXPECT_EQ(list.first(), QVariant(criterion(4, op))) << "no value key, op " << op;
        EXPECT_FALSE(list.first().toMap().contains(QStringLiteral("value")));
    }

    EXPECT_EQ(convert(row(5, opTag(15), KZRuleItem::ruleDateWithinWithValue(QStringLiteral("2|1")))),
              QVariantList({criterion(5, 15, QStringLiteral("2|1"))}));
    EXPECT_TRUE(convert(row(5, opTag(15), KZRuleItem::ruleDateWithinWithValue(QStringLiteral("21")))).isEmpty());
    // A saved search may hold what the editor's field cannot type.
    EXPECT_TRUE(convert(row(5, opTag(15), KZRuleItem::ruleDateWithinWithValue(QStringLiteral("-5|1")))).isEmpty());
    EXPECT_TRUE(convert(row(5, opTag(15), KZRuleItem::ruleDateWithinWithValue(QString()))).isEmpty());
    for (qint64 op : {0, 1, 13, 16, 17, 20})
        EXPECT_TRUE(convert(row(5, opTag(op), picker(afternoon))).isEmpty()) << op;
}

TEST(RowsToCriteria, TagRowsUseTheLabelOrTheTypedText)
{
    const auto labels = kzplatform::kzWorkspaceFileLabels();
    const auto tagsRow = [&](const QVariant &label, const QString &text, bool invisible) {
        auto field = KZRuleItem::ruleTextFieldWithString(text);
        field->setIsInvisible(invisible);
        return row(6, KZRuleItem::rulePopMenuWithMenu(kzOperatorMenuOfCriterionKind(6, labels), 150, label), field);
    };
    EXPECT_EQ(convert(tagsRow(QVariant(), QStringLiteral("  red  "), false)),
              QVariantList({criterion(6, 0, QStringLiteral("red"))}));
    EXPECT_EQ(convert(tagsRow(QStringLiteral("Blue"), QStringLiteral("ignored"), true)),
              QVariantList({criterion(6, 0, QStringLiteral("Blue"))}));
    EXPECT_EQ(convert(tagsRow(QStringLiteral("Blue"), QStringLiteral("ignored"), false)),
              QVariantList({criterion(6, 0, QStringLiteral("Blue"))}))
        << "with a label chosen the text is ignored";
    EXPECT_TRUE(convert(tagsRow(QVariant(), QStringLiteral("hidden"), true)).isEmpty())
        << "an invisible text field holds no tag";
    EXPECT_TRUE(convert(tagsRow(QVariant(), QStringLiteral("   "), false)).isEmpty());
}

TEST(RowsToCriteria, AttributeRowsKeepSpacesAndNeedTheirOperators)
{
    const auto attrRow = [](qint64 op, const QString &name) {
        return row(8, opTag(op), KZRuleItem::ruleComboxWithStrings(nullptr, name));
    };
    EXPECT_EQ(convert(attrRow(13, QStringLiteral(" user.x "))),
              QVariantList({criterion(8, 13, QStringLiteral(" user.x "))}));
    EXPECT_EQ(convert(attrRow(14, QStringLiteral("user.x"))), QVariantList({criterion(8, 14, QStringLiteral("user.x"))}));
    EXPECT_TRUE(convert(attrRow(13, QString())).isEmpty());
    EXPECT_TRUE(convert(attrRow(4, QStringLiteral("user.x"))).isEmpty());
}

TEST(RowsToCriteria, FolderRowsGiveTheCheckedPathsInOrder)
{
    const auto foldersRow = [](qint64 op, const KZDirPathEntryList &entries) {
        return row(10, opTag(op), KZRuleItem::ruleViewController(nullptr, QVariant::fromValue(entries)));
    };
    const KZDirPathEntryList entries = {kzMakeDirPathEntry(QStringLiteral("/b"), 1),
                                        kzMakeDirPathEntry(QStringLiteral("/a"), 0),
                                        kzMakeDirPathEntry(QStringLiteral("/c"), 1)};
    EXPECT_EQ(convert(foldersRow(5, entries)),
              QVariantList({criterion(10, 5, QStringList({QStringLiteral("/b"), QStringLiteral("/c")}))}));
    EXPECT_TRUE(convert(foldersRow(1, entries)).isEmpty());
    entries.at(0)->state = 0;
    entries.at(2)->state = 0;
    EXPECT_TRUE(convert(foldersRow(4, entries)).isEmpty()) << "all unchecked";
    EXPECT_TRUE(convert(foldersRow(4, {})).isEmpty());
    EXPECT_TRUE(convert(row(10, opTag(4), KZRuleItem::ruleViewController(nullptr, QVariant(QStringLiteral("/x")))))
                    .isEmpty());
}

TEST(RowsToCriteria, UnknownKindsAndMalformedRowsGiveNothing)
{
    for (qint64 kind : {0, 7, 9, 11, 99})
        EXPECT_TRUE(convert(row(kind, opTag(4), KZRuleItem::ruleTextFieldWithString(QStringLiteral("x")))).isEmpty());
    EXPECT_TRUE(convert(kzMakeRuleRow({})).isEmpty());
    EXPECT_TRUE(convert(kzMakeRuleRow({KZRuleItem::rulePopMenuWithMenu(nullptr, 150, qint64(1)), opTag(1)})).isEmpty());
    EXPECT_TRUE(RulesEditorViewController::canonizedCriteriaFromCriteria({nullptr}, false).isEmpty());
}

TEST(RowsToCriteria, HitTestStopsAtTheFirstCriterion)
{
    const KZRuleRows rows = {
        row(1, opTag(1), KZRuleItem::ruleComboxWithStrings(nullptr, QStringLiteral(" "))),
        row(1, opTag(2), KZRuleItem::ruleComboxWithStrings(nullptr, QStringLiteral("second"))),
        sizeRow(QStringLiteral("1|1")),
    };
    EXPECT_EQ(RulesEditorViewController::canonizedCriteriaFromCriteria(rows, true),
              QVariantList({criterion(1, 2, QStringLiteral("second"))}));
    const QVariantList all = RulesEditorViewController::canonizedCriteriaFromCriteria(rows, false);
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all.at(1).toMap().value(QStringLiteral("value")), QVariant(qint64(1024)));
    EXPECT_TRUE(RulesEditorViewController::canonizedCriteriaFromCriteria({rows.at(0)}, true).isEmpty());
}
