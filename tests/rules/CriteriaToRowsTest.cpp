// Canonical criteria to editor rows and back: the rows give the same list,
// through the archive too, and what no row can express is refused by name;
// the rows in words.
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
