// The rules editor controller driven as the editor view drives it: new rows,
// menu changes, edits, combo validation, reloads and the folders control.
#include <QCborValue>
#include <QDate>
#include <QUrl>
#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/KZScopeFilterDirPaths.h"
#include "rules/RulesEditorViewController.h"
#include "tests/rules/RulesTestSupport.h"
#include "scope/ScopeDirManager.h"
#include "tests/testlib/TestEnvironment.h"

using namespace rulestest;

namespace {

class RulesEditorViewControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        controller.setRulesEditorView(&view);
        controller.setDelegateController(&window);
        controller.setFilterDirPathsProvider(&scope);
        controller.reloadDataWithScopeDir(QStringLiteral("/scope"), {});
        window.changes.clear();
    }

    qint64 kindOf(qsizetype i) const { return view.rows.at(i)->items.at(0)->menuSelectedTag(); }
    KZRuleItemRef item(qsizetype rowIndex, int itemIndex) const { return view.rows.at(rowIndex)->items.at(itemIndex); }

    FakeRulesEditorView view;
    FakeWindow window;
    FakeScopeFolders scope;
    RulesEditorViewController controller;
};

// Rows as saved searches keep them: through the archive and back.
KZRuleRows archivedCopy(const KZRuleRows &rows)
{
    return kzUnarchiveRuleRows(QCborValue::fromCbor(kzArchiveRuleRows(rows).toCbor()));
}

} // namespace

TEST_F(RulesEditorViewControllerTest, NewRowsTakeTheFirstUnusedKindUpToSeven)
{
    const QList<qint64> expected = {5, 4, 3, 6, 2, 1, 8};
    for (qsizetype i = 0; i < expected.size(); ++i) {
        ASSERT_NE(view.pressAdd(), nullptr) << "row " << i;
        EXPECT_EQ(kindOf(i), expected.at(i));
        EXPECT_EQ(view.rows.at(i)->items.size(), 3);
    }
    EXPECT_FALSE(controller.rulesEditorViewCanAddRowAtIndex(&view, 3));
    EXPECT_EQ(view.pressAdd(), nullptr) << "an eighth row is refused";
    EXPECT_EQ(view.rows.size(), 7);

    // Window notices: rowsChanged before each new row, criteriaChanged after.
    ASSERT_GE(window.changes.size(), 2u);
    EXPECT_EQ(window.changes.at(0).value(QStringLiteral("kind")).toString(), QStringLiteral("rowsChanged"));
    EXPECT_EQ(window.changes.at(0).value(QStringLiteral("rowOffset")).toDouble(), 0.0);
    EXPECT_EQ(window.changes.at(1).value(QStringLiteral("kind")).toString(), QStringLiteral("criteriaChanged"));
    EXPECT_EQ(window.changes.at(2).value(QStringLiteral("rowOffset")).toDouble(), 27.0);

    // Once no row uses kind 5, the next row is of kind 5 again.
    view.chooseTag(0, 0, 2);
    EXPECT_EQ(kindOf(0), 2);
    view.rows.removeLast();
    ASSERT_NE(view.pressAdd(), nullptr);
    EXPECT_EQ(kindOf(6), 5);
}

TEST_F(RulesEditorViewControllerTest, EveryKindUsedGivesANameRow)
{
    for (int i = 0; i < 7; ++i)
        view.pressAdd();
    view.chooseTag(6, 0, 10); // the attribute row becomes a folders row
    view.rows.removeAt(5);    // the name row goes
    view.rows.append(controller.rulesEditorViewAddRow(&view, 6, 27));
    EXPECT_EQ(kindOf(6), 1);
    view.rows.append(controller.rulesEditorViewAddRow(&view, 7, 27));
    EXPECT_EQ(kindOf(7), 8);
    view.rows.append(controller.rulesEditorViewAddRow(&view, 8, 27));
    EXPECT_EQ(kindOf(8), 1) << "every kind in use: kind 1";
}

TEST_F(RulesEditorViewControllerTest, DefaultRowsOfEachKind)
{
    scope.paths = {QStringLiteral("/data/one"), QStringLiteral("/data/two")};
    const QDateTime midnight = RulesEditorViewController::todayAtMidnight();
    for (int i = 0; i < 7; ++i)
        view.pressAdd();
    view.chooseTag(6, 0, 10);

    for (qsizetype r = 0; r < 7; ++r) {
        EXPECT_EQ(item(r, 0)->kind(), KZRuleItemKindPopUp);
        EXPECT_EQ(item(r, 0)->wSize(), 150);
        EXPECT_EQ(item(r, 0)->menu()->title(), QStringLiteral("MajorCriteriaMenu"));
        EXPECT_EQ(item(r, 1)->kind(), KZRuleItemKindPopUp);
        EXPECT_EQ(item(r, 1)->wSize(), 150);
    }
    // Dates: today, with an invisible picker at today's midnight.
    for (qsizetype r : {0, 1}) {
        EXPECT_EQ(item(r, 1)->menuSelectedTag(), 11);
        EXPECT_EQ(item(r, 1)->menu()->title(), QStringLiteral("OperatorMenu-KZFileSearchCriterion_date"));
        EXPECT_EQ(item(r, 2)->kind(), KZRuleItemKindDatePicker);
        EXPECT_TRUE(item(r, 2)->isInvisible());
        EXPECT_EQ(item(r, 2)->dateValue(), midnight);
    }
    // Type: is, regular file.
    EXPECT_EQ(item(2, 1)->menuSelectedTag(), 4);
    EXPECT_EQ(item(2, 2)->kind(), KZRuleItemKindPopUp);
    EXPECT_EQ(item(2, 2)->menu()->title(), QStringLiteral("ValueMenu-KZFileSearchCriterion_UTIType"));
    EXPECT_EQ(item(2, 2)->menuSelectedObject().toString(), QStringLiteral("KZFileSearchUTIType_RegFile"));
    // Tags: the first real label, text field hidden.
    EXPECT_EQ(item(3, 1)->menuSelectedObject().toString(), QStringLiteral("Red"));
    EXPECT_EQ(item(3, 1)->menuSelectedTag(), 0);
    EXPECT_EQ(item(3, 2)->kind(), KZRuleItemKindTextField);
    EXPECT_TRUE(item(3, 2)->isInvisible());
    // Size: greater than 1 MB.
    EXPECT_EQ(item(4, 1)->menuSelectedTag(), 7);
    EXPECT_EQ(item(4, 2)->fileSizeValue(), QStringLiteral("1|2"));
    // Name and attribute: combo boxes offering the remembered lists.
    EXPECT_EQ(item(5, 1)->menuSelectedTag(), 1);
    EXPECT_EQ(item(5, 2)->kind(), KZRuleItemKindCombox);
    EXPECT_EQ(item(5, 2)->comboStrings(), controller.savedComboxValues(0));
    EXPECT_TRUE(item(5, 2)->stringValue().isEmpty());
    // Folders: is, every remembered folder checked, shared with the control.
    EXPECT_EQ(item(6, 1)->menuSelectedTag(), 4);
    EXPECT_EQ(item(6, 2)->kind(), KZRuleItemKindViewController);
    const auto folders = std::dynamic_pointer_cast<RulesDirPathViewController>(item(6, 2)->viewController());
    ASSERT_NE(folders, nullptr);
    EXPECT_EQ(folders->delegator(), &controller);
    EXPECT_EQ(folders->scopeDir(), QStringLiteral("/scope"));
    const KZDirPathEntryList entries = item(6, 2)->dirPathEntries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.at(0)->path, QStringLiteral("/data/one"));
    EXPECT_EQ(entries.at(1)->state, 1);
    EXPECT_EQ(folders->paths().at(0), entries.at(0)) << "the same entry objects";

    // The new rows give criteria at once where they are complete.
    const QVariantList criteria = controller.canonizedCriteria();
    QList<qint64> kinds;
    for (const QVariant &c : criteria)
        kinds.append(c.toMap().value(QStringLiteral("kind")).toLongLong());
    EXPECT_EQ(kinds, QList<qint64>({5, 4, 3, 6, 2, 10})) << "the empty name row gives nothing";
}

TEST_F(RulesEditorViewControllerTest, TagsRowWithoutLabelsStartsWithOther)
{
    controller.setFileLabels({{QStringLiteral("None"), 0}});
    const auto items = controller.rulesEditorViewAddRow(&view, 0, 0);
    view.rows = {items};
    view.chooseTag(0, 0, 6);
    EXPECT_FALSE(item(0, 1)->menuSelectedObject().isValid());
    EXPECT_FALSE(item(0, 2)->isInvisible()) << "the text field is shown for Other";
}

TEST_F(RulesEditorViewControllerTest, SwitchingKinds)
{
    view.pressAdd(); // kind 5
    const KZRuleItemRef major = item(0, 0);
    const KZRuleItemRef op = item(0, 1);
    const KZRuleItemRef value = item(0, 2);
    const KZRuleRowRef before = view.rows.at(0);

    const KZRuleRowRef toCreated = view.chooseTag(0, 0, 4);
    ASSERT_NE(toCreated, nullptr);
    EXPECT_NE(toCreated, before) << "a new row dictionary";
    EXPECT_EQ(item(0, 0), major) << "the major item is kept";
    EXPECT_EQ(item(0, 1), op) << "date to date keeps the operator";
    EXPECT_EQ(item(0, 2), value);
    EXPECT_EQ(kindOf(0), 4);

    view.chooseTag(0, 0, 1);
    EXPECT_EQ(kindOf(0), 1);
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("report"), {}, view.rows.at(0));
    view.chooseTag(0, 1, 4);
    EXPECT_EQ(item(0, 1)->menuSelectedTag(), 4);
    EXPECT_EQ(item(0, 2)->stringValue(), QStringLiteral("report"));

    // Choosing the same kind again resets the row.
    const KZRuleRowRef again = view.chooseTag(0, 0, 1);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(item(0, 1)->menuSelectedTag(), 1) << "back to contains";
    EXPECT_TRUE(item(0, 2)->stringValue().isEmpty());

    // From a non-date kind to a date kind: an invisible picker without a day.
    view.chooseTag(0, 0, 5);
    EXPECT_EQ(item(0, 1)->menuSelectedTag(), 11);
    EXPECT_EQ(item(0, 2)->kind(), KZRuleItemKindDatePicker);
    EXPECT_TRUE(item(0, 2)->isInvisible());
    EXPECT_FALSE(item(0, 2)->dateValue().isValid());

    // A kind outside the menu changes nothing.
    KZMenuEntry unknown = KZMenuEntry::withKey("x", 9);
    const KZRuleRowRef current = view.rows.at(0);
    EXPECT_EQ(controller.rulesEditorViewDidChangeMenu(&view, *kzMajorCriteriaMenu(), unknown, current), nullptr);
    EXPECT_EQ(kindOf(0), 5);
}

TEST_F(RulesEditorViewControllerTest, DateOperatorChanges)
{
    view.pressAdd(); // modified, today
    const QDateTime midnight = RulesEditorViewController::todayAtMidnight();
    const KZRuleItemRef picker = item(0, 2);

    // Today -> within the last: a date-within control showing one month.
    ASSERT_NE(view.chooseTag(0, 1, 15), nullptr);
    EXPECT_EQ(item(0, 2)->kind(), KZRuleItemKindDateWithin);
    EXPECT_EQ(item(0, 2)->dateWithin(), QStringLiteral("1|3"));
    EXPECT_EQ(item(0, 1)->menuSelectedTag(), 15);

    // A kept value survives re-choosing; a broken one is reset.
    item(0, 2)->setDateWithin(QStringLiteral("4|1"));
    view.chooseTag(0, 1, 15);
    EXPECT_EQ(item(0, 2)->dateWithin(), QStringLiteral("4|1"));
    item(0, 2)->setDateWithin(QStringLiteral("junk"));
    view.chooseTag(0, 1, 15);
    EXPECT_EQ(item(0, 2)->dateWithin(), QStringLiteral("1|3"));

    // Within -> exactly: a visible picker at today's midnight.
    view.chooseTag(0, 1, 8);
    EXPECT_EQ(item(0, 2)->kind(), KZRuleItemKindDatePicker);
    EXPECT_FALSE(item(0, 2)->isInvisible());
    EXPECT_EQ(item(0, 2)->dateValue(), midnight);

    // Exactly -> yesterday: the same picker, hidden; -> before: shown again
    // with the day it had.
    const KZRuleItemRef shown = item(0, 2);
    shown->setDateValue(QDate(2020, 1, 2).startOfDay());
    view.chooseTag(0, 1, 12);
    EXPECT_EQ(item(0, 2), shown);
    EXPECT_TRUE(shown->isInvisible());
    view.chooseTag(0, 1, 9);
    EXPECT_EQ(item(0, 2), shown);
    EXPECT_FALSE(shown->isInvisible());
    EXPECT_EQ(shown->dateValue(), QDate(2020, 1, 2).startOfDay());

    // A picker without a day gets today's midnight when a day is needed.
    shown->setDateValue(QDateTime());
    view.chooseTag(0, 1, 10);
    EXPECT_EQ(shown->dateValue(), midnight);

    // Within -> last hour: replaced by a hidden picker.
    view.chooseTag(0, 1, 15);
    view.chooseTag(0, 1, 18);
    EXPECT_EQ(item(0, 2)->kind(), KZRuleItemKindDatePicker);
    EXPECT_TRUE(item(0, 2)->isInvisible());
    EXPECT_EQ(item(0, 1)->menuSelectedTag(), 18);
    (void)picker;

    // An unknown operator is logged and changes nothing.
    kztest::LogCapture log;
    const KZRuleRowRef current = view.rows.at(0);
    const KZRuleRowRef none = controller.rulesEditorViewDidChangeMenu(
        &view, *item(0, 1)->menu(), KZMenuEntry::withKey("x", 16), current);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(item(0, 1)->menuSelectedTag(), 18);
    EXPECT_TRUE(log.contains(QStringLiteral("nOp:16")));
}

TEST_F(RulesEditorViewControllerTest, OtherMenusOnlyStoreTheChoice)
{
    for (int i = 0; i < 7; ++i)
        view.pressAdd();
    const KZRuleRows before = view.rows;
    EXPECT_EQ(view.chooseTag(4, 1, 6), nullptr); // size: less than
    EXPECT_EQ(item(4, 1)->menuSelectedTag(), 6);
    EXPECT_EQ(view.chooseTag(2, 1, 5), nullptr); // type: is not
    EXPECT_EQ(item(2, 1)->menuSelectedTag(), 5);
    EXPECT_EQ(view.chooseObject(2, 2, QStringLiteral("text/plain")), nullptr);
    EXPECT_EQ(item(2, 2)->menuSelectedObject().toString(), QStringLiteral("text/plain"));
    EXPECT_EQ(view.chooseTag(6, 1, 14), nullptr); // attribute: not defined
    EXPECT_EQ(view.chooseTag(5, 1, 3), nullptr);  // name: ends with
    EXPECT_EQ(view.rows, before) << "no row was replaced";

    KZMenu foreign(QStringLiteral("SomethingElse"));
    EXPECT_EQ(controller.rulesEditorViewDidChangeMenu(&view, foreign, KZMenuEntry::withKey("x", 1), view.rows.at(0)),
              nullptr);
}

TEST_F(RulesEditorViewControllerTest, TagLabelAndOtherSwitchTheTextField)
{
    for (int i = 0; i < 4; ++i)
        view.pressAdd();
    ASSERT_EQ(kindOf(3), 6);
    EXPECT_EQ(view.chooseObject(3, 1, QStringLiteral("Green")), nullptr) << "label to label: no new row";
    EXPECT_TRUE(item(3, 2)->isInvisible());

    const KZRuleRowRef toOther = view.chooseObject(3, 1, QVariant());
    ASSERT_NE(toOther, nullptr) << "label to Other rebuilds the row";
    EXPECT_FALSE(item(3, 2)->isInvisible());
    EXPECT_FALSE(item(3, 1)->menuSelectedObject().isValid());

    controller.rulesEditorViewDidChangeTextField(&view, QStringLiteral(" work "), view.rows.at(3));
    EXPECT_EQ(controller.canonizedCriteria().at(3), QVariant(criterion(6, 0, QStringLiteral("work"))));

    ASSERT_NE(view.chooseObject(3, 1, QStringLiteral("Blue")), nullptr) << "Other to a label rebuilds too";
    EXPECT_TRUE(item(3, 2)->isInvisible());
    EXPECT_EQ(controller.canonizedCriteria().at(3), QVariant(criterion(6, 0, QStringLiteral("Blue"))));
}

TEST_F(RulesEditorViewControllerTest, EditsOnlyReachTheirKinds)
{
    for (int i = 0; i < 7; ++i)
        view.pressAdd();
    const QDateTime day = QDate(2022, 5, 6).startOfDay();
    controller.rulesEditorViewDidChangeDate(&view, day, view.rows.at(0));
    EXPECT_EQ(item(0, 2)->dateValue(), day);
    controller.rulesEditorViewDidChangeDate(&view, day, view.rows.at(4));
    EXPECT_FALSE(item(4, 2)->dateValue().isValid()) << "a size row takes no date";

    controller.rulesEditorViewDidChangeFileSizeValue(&view, QStringLiteral("3|3"), view.rows.at(4));
    EXPECT_EQ(item(4, 2)->fileSizeValue(), QStringLiteral("3|3"));
    controller.rulesEditorViewDidChangeFileSizeValue(&view, QStringLiteral("3|3"), view.rows.at(0));
    EXPECT_TRUE(item(0, 2)->fileSizeValue().isNull());

    view.chooseTag(1, 1, 15);
    controller.rulesEditorViewDidChangeDateWithinValue(&view, QStringLiteral("6|5"), view.rows.at(1));
    EXPECT_EQ(item(1, 2)->dateWithin(), QStringLiteral("6|5"));

    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("user.a"), {}, view.rows.at(6));
    EXPECT_EQ(item(6, 2)->stringValue(), QStringLiteral("user.a"));
    controller.rulesEditorViewDidChangeTextField(&view, QStringLiteral("nope"), view.rows.at(5));
    EXPECT_TRUE(item(5, 2)->stringValue().isEmpty()) << "text-field edits belong to tags rows";

    const QVariantList criteria = controller.canonizedCriteria();
    EXPECT_EQ(criteria.at(0), QVariant(criterion(5, 11)));
    EXPECT_EQ(criteria.at(1), QVariant(criterion(4, 15, QStringLiteral("6|5"))));
    EXPECT_EQ(criteria.last(), QVariant(criterion(8, 13, QStringLiteral("user.a"))));

    window.changes.clear();
    controller.rulesEditorViewRemoveRow(&view, 2, -27);
    ASSERT_EQ(window.changes.size(), 1u);
    EXPECT_EQ(window.changes.at(0).value(QStringLiteral("rowOffset")).toDouble(), -27.0);
}

TEST_F(RulesEditorViewControllerTest, ValidatingANameMovesItToTheFront)
{
    for (int i = 0; i < 7; ++i)
        view.pressAdd();
    const KZRuleRowRef nameRow = view.rows.at(5);
    const auto validate = [&](const KZRuleRowRef &r, const QString &text) {
        controller.rulesEditorViewDidChangeCombox(&view, text, {}, r);
        return controller.rulesEditorViewDidValidatedCombox(&view, text, {}, r);
    };
    validate(nameRow, QStringLiteral("alpha"));
    validate(nameRow, QStringLiteral("beta"));
    const KZStringListRef list = validate(nameRow, QStringLiteral("alpha"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(*list, strs({"alpha", "beta"})) << "once, at the front";
    EXPECT_EQ(list, controller.savedComboxValues(0));
    EXPECT_EQ(*item(5, 2)->comboStrings(), strs({"alpha", "beta"})) << "combo items share the list";

    // Choosing an offered name validates without a text change first.
    const KZStringListRef chosen = controller.rulesEditorViewDidValidatedCombox(&view, QStringLiteral("beta"), {}, nameRow);
    EXPECT_EQ(*chosen, strs({"beta", "alpha"}));
    EXPECT_EQ(item(5, 2)->stringValue(), QStringLiteral("beta"));

    const KZStringListRef attributes = validate(view.rows.at(6), QStringLiteral("user.xdg.tags"));
    EXPECT_EQ(*attributes, strs({"user.xdg.tags"}));
    EXPECT_EQ(*controller.savedComboxValues(0), strs({"beta", "alpha"})) << "separate lists";

    EXPECT_EQ(controller.rulesEditorViewDidValidatedCombox(&view, QStringLiteral("x"), {}, view.rows.at(4)), nullptr);
    const KZStringListRef unchanged = validate(nameRow, QString());
    EXPECT_EQ(*unchanged, strs({"beta", "alpha"})) << "an empty text is not remembered";
}

TEST_F(RulesEditorViewControllerTest, ReloadRestoresArchivedRows)
{
    scope.paths = {QStringLiteral("/data/one")};
    for (int i = 0; i < 7; ++i)
        view.pressAdd();
    view.chooseTag(3, 0, 10); // tags -> folders
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("report"), {}, view.rows.at(5));
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("user.b"), {}, view.rows.at(6));
    view.chooseObject(2, 2, QStringLiteral("text/plain"));
    KZRuleRows stored = archivedCopy(view.rows);
    const QVariantList criteriaBefore = controller.canonizedCriteria();
    // A row that is not a row of three items is skipped on reload.
    stored.insert(1, kzMakeRuleRow({KZRuleItem::ruleLabelWithText(QStringLiteral("a")),
                                    KZRuleItem::ruleLabelWithText(QStringLiteral("b"))}));

    RulesEditorViewController fresh;
    FakeRulesEditorView freshView;
    FakeScopeFolders freshScope;
    fresh.setRulesEditorView(&freshView);
    fresh.setFilterDirPathsProvider(&freshScope);
    fresh.reloadDataWithScopeDir(QStringLiteral("/elsewhere"), stored);

    EXPECT_EQ(freshView.delegate, &fresh);
    EXPECT_EQ(freshView.reloadCount, 1);
    ASSERT_EQ(freshView.rows.size(), 7);
    EXPECT_EQ(fresh.scopeDir(), QStringLiteral("/elsewhere"));
    for (const KZRuleRowRef &r : freshView.rows) {
        EXPECT_EQ(r->items.at(0)->menu()->title(), QStringLiteral("MajorCriteriaMenu"));
        EXPECT_NE(r->items.at(1)->menu(), nullptr);
    }
    EXPECT_EQ(freshView.rows.at(2)->items.at(2)->menu()->title(), QStringLiteral("ValueMenu-KZFileSearchCriterion_UTIType"));
    EXPECT_EQ(freshView.rows.at(2)->items.at(2)->menuSelectedObject().toString(), QStringLiteral("text/plain"));
    // The remembered lists are filled from the restored rows and re-attached.
    EXPECT_EQ(*fresh.savedComboxValues(0), strs({"report"}));
    EXPECT_EQ(*fresh.savedComboxValues(1), strs({"user.b"}));
    EXPECT_EQ(freshView.rows.at(5)->items.at(2)->comboStrings(), fresh.savedComboxValues(0));
    EXPECT_EQ(freshView.rows.at(6)->items.at(2)->comboStrings(), fresh.savedComboxValues(1));
    // The folders row gets a new control built from its stored entries.
    const KZRuleItemRef folders = freshView.rows.at(3)->items.at(2);
    const auto control = std::dynamic_pointer_cast<RulesDirPathViewController>(folders->viewController());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->delegator(), &fresh);
    EXPECT_EQ(control->scopeDir(), QStringLiteral("/elsewhere"));
    ASSERT_EQ(control->paths().size(), 1);
    EXPECT_EQ(control->paths().at(0), folders->dirPathEntries().at(0));
    EXPECT_EQ(control->paths().at(0)->path, QStringLiteral("/data/one"));

    EXPECT_EQ(fresh.canonizedCriteria(), criteriaBefore) << "restored rows give the same criteria";

    // A later reload keeps the remembered lists as they are.
    fresh.rulesEditorViewDidValidatedCombox(&freshView, QStringLiteral("typed"), {}, freshView.rows.at(5));
    KZRuleRows second = archivedCopy({freshView.rows.at(5)});
    second.first()->items.at(2)->setStringValue(QStringLiteral("other"));
    fresh.reloadDataWithScopeDir(QString(), second);
    EXPECT_EQ(*fresh.savedComboxValues(0), strs({"typed", "report"}));
    EXPECT_EQ(freshView.rows.size(), 1);
}

TEST_F(RulesEditorViewControllerTest, ReloadWithNothingShowsNoRows)
{
    view.pressAdd();
    controller.reloadDataWithScopeDir(QString(), {});
    EXPECT_TRUE(view.rows.isEmpty());
    EXPECT_TRUE(controller.canonizedCriteria().isEmpty());

    RulesEditorViewController viewless;
    viewless.reloadDataWithScopeDir(QStringLiteral("/x"), {});
    EXPECT_TRUE(viewless.canonizedCriteria().isEmpty());
}

TEST_F(RulesEditorViewControllerTest, FoldersControlChangeUpdatesTheRowAndTheScopeManager)
{
    kztest::TempTree tree;
    const QString alpha = tree.mkdir(QStringLiteral("alpha"));
    const QString beta = tree.mkdir(QStringLiteral("Beta"));
    const QString file = tree.writeFile(QStringLiteral("file.txt"), "x");
    scope.paths = {alpha};
    for (int i = 0; i < 8; ++i)
        view.pressAdd();
    view.chooseTag(6, 0, 10);
    const auto control = std::dynamic_pointer_cast<RulesDirPathViewController>(item(6, 2)->viewController());
    ASSERT_NE(control, nullptr);

    control->addFileURLs({QUrl::fromLocalFile(beta), QUrl::fromLocalFile(file), QUrl::fromLocalFile(alpha),
                          QUrl(QStringLiteral("https://example.org/"))});
    const KZDirPathEntryList entries = item(6, 2)->dirPathEntries();
    ASSERT_EQ(entries.size(), 2) << "the file and the web address are skipped, alpha was listed";
    EXPECT_EQ(entries.at(0)->path, alpha);
    EXPECT_EQ(entries.at(1)->path, beta) << "sorted without regard to case";
    EXPECT_EQ(scope.added, QStringList({beta})) << "only folders the scope manager did not know";

    // Unchecking is seen by the row at its next conversion.
    control->toggleEntry(entries.at(0));
    EXPECT_EQ(controller.canonizedCriteria().last(), QVariant(criterion(10, 4, QStringList({beta}))));
}

TEST_F(RulesEditorViewControllerTest, FoldersControlWithoutRowIsACriticalError)
{
    kztest::TempTree tree;
    const QString dir = tree.mkdir(QStringLiteral("orphan"));
    RulesDirPathViewController orphan;
    orphan.setDelegator(&controller);
    kztest::LogCapture log;
    orphan.addFileURLs({QUrl::fromLocalFile(dir)});
    EXPECT_TRUE(log.contains(QStringLiteral("criterion==nil")));
    EXPECT_EQ(scope.added, QStringList({dir})) << "the folder is still remembered";
}

TEST(RulesEditorViewControllerScope, FoldersRowsUseTheScopeManagersFolders)
{
    kztest::resetTestEnvironment();
    ScopeDirManager::resetSharedInstanceForTesting();
    kztest::TempTree tree;
    const QString known = tree.mkdir(QStringLiteral("known"));
    const QString added = tree.mkdir(QStringLiteral("added"));
    ScopeDirManager::sharedInstance()->addFilterFilterDirPath(known);

    FakeRulesEditorView view;
    RulesEditorViewController controller;
    EXPECT_EQ(controller.filterDirPathsProvider(), KZScopeFilterDirPaths::sharedInstance());
    controller.setRulesEditorView(&view);
    controller.reloadDataWithScopeDir(tree.root(), {});
    for (int i = 0; i < 7; ++i)
        view.pressAdd();
    view.chooseTag(6, 0, 10);
    const KZRuleItemRef value = view.rows.at(6)->items.at(2);
    ASSERT_EQ(value->dirPathEntries().size(), 1);
    EXPECT_EQ(value->dirPathEntries().at(0)->path, known);

    const auto control = std::dynamic_pointer_cast<RulesDirPathViewController>(value->viewController());
    control->addFileURLs({QUrl::fromLocalFile(added), QUrl::fromLocalFile(known)});
    EXPECT_EQ(ScopeDirManager::sharedInstance()->filterDirPaths(), QStringList({known, added}));

    // Remembered on disk: a relaunch offers both, checked, in a new row.
    ScopeDirManager::resetSharedInstanceForTesting();
    EXPECT_EQ(ScopeDirManager::sharedInstance()->filterDirPaths(), QStringList({known, added}));
    view.chooseTag(5, 0, 10);
    const KZDirPathEntryList entries = view.rows.at(5)->items.at(2)->dirPathEntries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.at(1)->path, added);
    EXPECT_EQ(entries.at(1)->state, 1);
    ScopeDirManager::resetSharedInstanceForTesting();
}
