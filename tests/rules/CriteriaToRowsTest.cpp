// Editor rows and canonical criteria both ways: what each kind of row gives,
// which rows are incomplete and the hit test; criteria to rows give the same
// list back, through the archive too, and what no row can express is refused
// by name; the rows in words.
#include <QCborValue>
#include <QDate>

#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/KZRulesDescription.h"
#include "rules/RulesEditorViewController.h"
#include "tests/rules/RulesTestSupport.h"

using rulestest::criterion;

namespace {

QVariantList everyKind()
{
    return {
        criterion(1, 1, QStringLiteral("report")), criterion(1, 20, QStringLiteral("draft")),
        criterion(1, 5, QStringLiteral("a b")), criterion(2, 7, qint64(5242880)), criterion(2, 6, qint64(0)),
        criterion(2, 6, qint64(1500)), criterion(2, 7, qint64(3LL * 1024 * 1024 * 1024 * 1024)),
        criterion(3, 4, QStringLiteral("KZFileSearchUTIType_Directorty")),
        criterion(3, 5, QStringLiteral("application/x-unknown-to-the-menu")),
        criterion(4, 8, QDate(2021, 3, 14).startOfDay()), criterion(5, 9, QDate(2020, 1, 1).startOfDay()),
        criterion(5, 10, QDate(2019, 12, 31).startOfDay()), criterion(4, 11), criterion(5, 12), criterion(4, 18),
        criterion(5, 19), criterion(5, 15, QStringLiteral("3|2")), criterion(6, 0, QStringLiteral("Red")),
        criterion(6, 0, QStringLiteral("project x")), criterion(8, 13, QStringLiteral("user.xdg.comment")),
        criterion(8, 14, QStringLiteral(" spaced ")),
        criterion(10, 4, QStringList({QStringLiteral("/srv/b"), QStringLiteral("/srv/a")})),
        criterion(10, 5, QStringList({QStringLiteral("/tmp")})),
    };
}

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

TEST(CriteriaToRows, EveryKindComesBackUnchangedInRowsLikeTheEditorBuilds)
{
    RulesEditorViewController controller;
    QString error = QStringLiteral("stale");
    const auto rows = controller.rowsFromCanonizedCriteria(everyKind(), &error);
    ASSERT_TRUE(rows.has_value()) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(RulesEditorViewController::canonizedCriteriaFromCriteria(*rows, false), everyKind());
    // Sizes are shown in the largest unit that divides them.
    const auto item = [&](int row, int index) { return rows->at(row)->items.at(index); };
    EXPECT_EQ(item(3, 2)->fileSizeValue(), QStringLiteral("5|2"));
    EXPECT_EQ(item(4, 2)->fileSizeValue(), QStringLiteral("0|1"));
    EXPECT_EQ(item(5, 2)->fileSizeValue(), QStringLiteral("1500|5"));
    EXPECT_EQ(item(6, 2)->fileSizeValue(), QStringLiteral("3|4"));
    // A day-less date operator hides its picker; a label is chosen in the menu,
    // any other tag typed under Other.
    EXPECT_TRUE(item(12, 2)->isInvisible());
    EXPECT_FALSE(item(9, 2)->isInvisible());
    EXPECT_EQ(item(17, 1)->menuSelectedObject().toString(), QStringLiteral("Red"));
    EXPECT_TRUE(item(17, 2)->isInvisible());
    EXPECT_FALSE(item(18, 1)->menuSelectedObject().isValid());
    // Name and attribute rows offer the remembered lists; folders rows get a
    // control holding the row's own entries.
    EXPECT_EQ(item(0, 2)->comboStrings(), controller.savedComboxValues(0));
    EXPECT_EQ(item(19, 2)->comboStrings(), controller.savedComboxValues(1));
    const auto control = std::dynamic_pointer_cast<RulesDirPathViewController>(item(21, 2)->viewController());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->paths(), item(21, 2)->dirPathEntries());
    EXPECT_EQ(control->delegator(), &controller);

    // And once more after the rows went through an archive and a reload, as a
    // saved search does.
    rulestest::FakeRulesEditorView view;
    RulesEditorViewController window;
    window.setRulesEditorView(&view);
    window.reloadDataWithScopeDir(QString(), kzUnarchiveRuleRows(QCborValue::fromCbor(kzArchiveRuleRows(*rows).toCbor())));
    EXPECT_EQ(window.canonizedCriteria(), everyKind());
    EXPECT_TRUE(controller.rowsFromCanonizedCriteria({}, &error)->isEmpty());

    // The rows in words.
    const QStringList words = kzDescriptionsOfRuleRows(*rows);
    ASSERT_EQ(words.size(), everyKind().size());
    const std::vector<std::pair<int, const char *>> expected = {
        {1, "Name does not contain \"draft\""}, {3, "Size is greater than 5 MB"}, {5, "Size is less than 1500 bytes"},
        {7, "Kind is Directory"}, {8, "Kind is not application/x-unknown-to-the-menu"},
        {9, "Created date is exactly 2021-03-14"}, {12, "Created date is today"},
        {16, "Modified date is within the last 3 Week(s)"}, {17, "Tags: Red"}, {18, "Tags: \"project x\""},
        {19, "Extended attribute \"user.xdg.comment\" is defined"}, {21, "Folders is /srv/b, /srv/a"},
        {22, "Folders is not /tmp"},
    };
    for (const auto &[index, text] : expected)
        EXPECT_EQ(words.at(index), QString::fromUtf8(text));

    // Incomplete rows say so; no rows say so.
    rows->at(0)->items.at(2)->setStringValue(QStringLiteral("  "));
    EXPECT_EQ(kzDescriptionOfRuleRow(rows->at(0)), QStringLiteral("Name contains \"\" (incomplete)"));
    EXPECT_EQ(kzDescriptionOfRuleRows({}), QStringLiteral("(no rules)"));
    EXPECT_EQ(kzDescriptionOfRuleRows({rows->at(1), rows->at(12)}),
              QStringLiteral("Name does not contain \"draft\"; Created date is today"));
}

TEST(CriteriaToRows, EditorFormsAreNormalised)
{
    RulesEditorViewController controller;
    const QVariantList loose = {
        criterion(1, 2, QStringLiteral("  padded ")),
        criterion(6, 3, QStringLiteral(" Blue ")),
        criterion(4, 8, QDateTime(QDate(2021, 3, 14), QTime(15, 30))),
        criterion(4, 9, QDate(2021, 3, 15)),
        criterion(10, 4, QVariantList({QStringLiteral("/a")})),
        criterion(2, 6, 2048.0),
    };
    const auto rows = controller.rowsFromCanonizedCriteria(loose, nullptr);
    ASSERT_TRUE(rows.has_value());
    EXPECT_EQ(RulesEditorViewController::canonizedCriteriaFromCriteria(*rows, false),
              QVariantList({criterion(1, 2, QStringLiteral("padded")), criterion(6, 0, QStringLiteral("Blue")),
                            criterion(4, 8, QDate(2021, 3, 14).startOfDay()),
                            criterion(4, 9, QDate(2021, 3, 15).startOfDay()),
                            criterion(10, 4, QStringList({QStringLiteral("/a")})), criterion(2, 6, qint64(2048))}));
}

TEST(CriteriaToRows, WhatNoRowCanExpressIsRefusedByName)
{
    RulesEditorViewController controller;
    const std::vector<std::pair<QVariantList, const char *>> cases = {
        {{criterion(11, 4, true)}, "kind 11"}, {{criterion(7, 1, QStringLiteral("x"))}, "kind 7"},
        {{criterion(1, 6, QStringLiteral("x"))}, "operator 6"},
        {{criterion(1, 1, QStringLiteral("   "))}, "name text"}, {{criterion(1, 1)}, "name text"},
        {{criterion(2, 7, qint64(-1))}, "byte count"}, {{criterion(2, 7, QStringLiteral("5"))}, "byte count"},
        {{criterion(2, 7, 1.5)}, "byte count"}, {{criterion(3, 4, QString(QLatin1String("")))}, "type identifier"},
        {{criterion(4, 8)}, "a date"}, {{criterion(5, 8, QStringLiteral("2021-01-01"))}, "a date"},
        {{criterion(5, 15, QStringLiteral("3"))}, "unit"},
        {{criterion(5, 15, QStringLiteral("-5|1"))}, "count of 0 or more"},
        {{criterion(4, 15, QStringLiteral("2|7"))}, "unit"}, {{criterion(5, 16)}, "operator 16"},
        {{criterion(6, 0, QStringLiteral(" "))}, "tag text"},
        {{criterion(8, 4, QStringLiteral("user.x"))}, "operator 4"},
        {{criterion(8, 13, QString(QLatin1String("")))}, "attribute name"},
        {{criterion(10, 4, QStringList())}, "folder paths"},
        {{criterion(10, 4, QStringLiteral("/a"))}, "folder paths"},
        {{criterion(10, 4, QVariantList({QStringLiteral("/a"), 3}))}, "folder paths"},
        {{criterion(1, 1, QStringLiteral("ok")), QVariant(QStringLiteral("not a map"))}, "criterion 2"},
        {{QVariantMap{{QStringLiteral("kind"), QStringLiteral("one")}}}, "numbers"},
    };
    for (const auto &[criteria, expected] : cases) {
        QString error;
        const auto rows = controller.rowsFromCanonizedCriteria(criteria, &error);
        EXPECT_FALSE(rows.has_value()) << expected;
        EXPECT_TRUE(error.contains(QString::fromUtf8(expected))) << error.toStdString() << " / " << expected;
    }
}

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
        {row(1, opTag(1), combo(QStringLiteral("  \n\t "))), {}}, {row(1, opTag(1), combo(QString())), {}},
        // Sizes in bytes; units beyond TB count bytes; too large saturates instead of wrapping.
        {sizeRow("0|1", 6), {criterion(2, 6, qint64(0))}}, {sizeRow("5|2"), {criterion(2, 7, qint64(5242880))}},
        {sizeRow("2|3"), {criterion(2, 7, qint64(2147483648LL))}},
        {sizeRow("1|4"), {criterion(2, 7, qint64(1099511627776LL))}}, {sizeRow("3|7"), {criterion(2, 7, qint64(3))}},
        {sizeRow("9000000000000|4"), {criterion(2, 7, std::numeric_limits<qint64>::max())}}, {sizeRow("-1|1"), {}},
        {sizeRow("1|0"), {}}, {sizeRow("4|-2"), {}}, {sizeRow("12"), {}}, {sizeRow("1|2|3"), {}},
        {sizeRow(nullptr), {}},
        // Types: a non-empty string.
        {typeRow(QStringLiteral("KZFileSearchUTIType_RegFile")), {criterion(3, 4, QStringLiteral("KZFileSearchUTIType_RegFile"))}},
        {typeRow(QString(QLatin1String(""))), {}}, {typeRow(QVariant()), {}}, {typeRow(QVariant(12)), {}},
        // Dates: midnight of the local day, no value for the day-less operators.
        {dateRow(8, afternoon), {criterion(5, 8, midnight)}}, {dateRow(10, afternoon), {criterion(5, 10, midnight)}},
        {dateRow(8, utcNoon), {criterion(5, 8, utcNoon.toLocalTime().date().startOfDay())}},
        {dateRow(10, QDateTime()), {}}, {dateRow(11, QDateTime(), true), {criterion(5, 11)}},
        {dateRow(19, QDateTime(), true), {criterion(5, 19)}}, {dateRow(13, afternoon), {}},
        {dateRow(20, afternoon), {}}, {withinRow(QStringLiteral("2|1")), {criterion(5, 15, QStringLiteral("2|1"))}},
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
        {row(8, opTag(14), combo(x)), {criterion(8, 14, x)}}, {row(8, opTag(13), combo(QString())), {}},
        {row(8, opTag(4), combo(x)), {}},
        // Folders: the checked paths in order.
        {foldersRow(5, QVariant::fromValue(entries)), {criterion(10, 5, QStringList({QStringLiteral("/b"), QStringLiteral("/c")}))}},
        {foldersRow(1, QVariant::fromValue(entries)), {}}, {foldersRow(4, QVariant::fromValue(unchecked)), {}},
        {foldersRow(4, QVariant::fromValue(KZDirPathEntryList())), {}},
        {foldersRow(4, QVariant(QStringLiteral("/x"))), {}},
        // Unknown kinds and malformed rows.
        {row(7, opTag(4), KZRuleItem::ruleTextFieldWithString(x)), {}},
        {row(11, opTag(4), KZRuleItem::ruleTextFieldWithString(x)), {}},
        {kzMakeRuleRow({KZRuleItem::rulePopMenuWithMenu(nullptr, 150, qint64(1)), opTag(1)}), {}},
        {kzMakeRuleRow({}), {}}, {nullptr, {}},
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
