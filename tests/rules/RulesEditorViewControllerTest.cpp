// The rules editor controller driven as the editor view drives it: new rows,
// menu changes, edits, combo validation, reloads and the folders control, and
// the folders control's own model.
#include <tuple>

#include <QCborValue>
#include <QDate>
#include <QUrl>

#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/RulesDirPathViewController.h"
#include "rules/RulesEditorViewController.h"
#include "tests/rules/RulesTestSupport.h"
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
    }
    void addRows(int n)
    {
        for (int i = 0; i < n; ++i)
            ASSERT_NE(view.pressAdd(), nullptr);
        window.changes.clear();
    }
    qint64 kindOf(qsizetype i) const { return view.rows.at(i)->items.at(0)->menuSelectedTag(); }
    KZRuleItemRef item(qsizetype rowIndex, int itemIndex) const { return view.rows.at(rowIndex)->items.at(itemIndex); }
    std::shared_ptr<RulesDirPathViewController> foldersControl(qsizetype rowIndex) const
    {
        return std::dynamic_pointer_cast<RulesDirPathViewController>(item(rowIndex, 2)->viewController());
    }

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

class CountingControl : public RulesDirPathViewController, public RulesDirPathViewControllerDelegatorProtocol
{
public:
    int changes = 0;
    int updates = 0;
    CountingControl() { setDelegator(this); }
    void rulesDirPathViewControllerDidChange(RulesDirPathViewController *) override { ++changes; }
    void updateUI() override { ++updates; }
    QStringList pathList() const
    {
        QStringList out;
        for (const auto &e : paths())
            out.append(e->path);
        return out;
    }
};

} // namespace

TEST_F(RulesEditorViewControllerTest, NewRowsOfEachKind)
{
    // The kinds in the menu's order, up to seven rows (the editor view test sees that
    // through the widgets); their defaults give criteria at once where they are complete.
    scope.paths = {QStringLiteral("/data/one"), QStringLiteral("/data/two")};
    addRows(7);
    EXPECT_FALSE(controller.rulesEditorViewCanAddRowAtIndex(&view, 7));
    view.choose(6, 0, 10);
    EXPECT_EQ(controller.canonizedCriteria(),
              QVariantList({criterion(5, 11), criterion(4, 11),
                            criterion(3, 4, QStringLiteral("KZFileSearchUTIType_RegFile")),
                            criterion(6, 0, QStringLiteral("Red")), criterion(2, 7, qint64(1048576)),
                            criterion(10, 4, strs({"/data/one", "/data/two"}))}))
        << "the empty name row gives none";
    EXPECT_EQ(item(0, 2)->dateValue(), RulesEditorViewController::todayAtMidnight());
    EXPECT_TRUE(item(3, 2)->isInvisible()) << "a label is chosen: no text field";
    EXPECT_EQ(item(5, 2)->comboStrings(), controller.savedComboxValues(0));
    const auto folders = foldersControl(6);
    ASSERT_NE(folders, nullptr);
    EXPECT_EQ(std::tuple(folders->delegator(), folders->scopeDir(), folders->paths()),
              std::tuple(&controller, QStringLiteral("/scope"), item(6, 2)->dirPathEntries()))
        << "the same entry objects";

    // A kind no row uses any more is taken again; with every kind in use, kind 1.
    for (const qint64 expected : {8, 1}) {
        view.rows.append(controller.rulesEditorViewAddRow(&view, view.rows.size(), 27));
        EXPECT_EQ(kindOf(view.rows.size() - 1), expected);
    }
    view.choose(0, 0, 6);
    view.rows.append(controller.rulesEditorViewAddRow(&view, view.rows.size(), 27));
    EXPECT_EQ(kindOf(9), 5);

    // Without labels a tags row starts with Other and its text field shown.
    controller.setFileLabels({{QStringLiteral("None"), 0}});
    view.choose(1, 0, 6);
    EXPECT_FALSE(item(1, 1)->menuSelectedObject().isValid());
    EXPECT_FALSE(item(1, 2)->isInvisible());
}

TEST_F(RulesEditorViewControllerTest, SwitchingKinds)
{
    addRows(1); // kind 5
    const KZRuleRowRef before = view.rows.at(0);
    const QList<KZRuleItemRef> items = before->items;
    ASSERT_NE(view.choose(0, 0, 4), nullptr);
    EXPECT_NE(view.rows.at(0), before) << "a new row";
    EXPECT_EQ(view.rows.at(0)->items, items) << "date to date keeps every item";
    EXPECT_EQ(kindOf(0), 4);

    view.choose(0, 0, 1);
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("report"), {}, view.rows.at(0));
    EXPECT_EQ(view.choose(0, 1, 4), nullptr);
    EXPECT_EQ(item(0, 2)->stringValue(), QStringLiteral("report"));
    // Choosing the same kind again resets the row.
    ASSERT_NE(view.choose(0, 0, 1), nullptr);
    EXPECT_EQ(item(0, 1)->menuSelectedTag(), 1);
    EXPECT_TRUE(item(0, 2)->stringValue().isEmpty());

    // From another kind to a date kind: an invisible picker without a day.
    view.choose(0, 0, 5);
    EXPECT_EQ(item(0, 1)->menuSelectedTag(), 11);
    EXPECT_EQ(item(0, 2)->kind(), KZRuleItemKindDatePicker);
    EXPECT_TRUE(item(0, 2)->isInvisible());
    EXPECT_FALSE(item(0, 2)->dateValue().isValid());

    // A kind outside the menu, or a menu of nobody's, changes nothing.
    const KZRuleRowRef current = view.rows.at(0);
    for (const auto &[menu, tag] : {std::pair(*kzMajorCriteriaMenu(), 9), std::pair(KZMenu(QStringLiteral("SomethingElse")), 1)})
        EXPECT_EQ(controller.rulesEditorViewDidChangeMenu(&view, menu, KZMenuEntry::withKey("x", tag), current), nullptr);
    EXPECT_EQ(kindOf(0), 5);
}

TEST_F(RulesEditorViewControllerTest, DateOperatorChanges)
{
    addRows(1); // modified, today
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    // The value item after each operator: its kind, whether it is shown, its value.
    const auto value = [&] {
        const KZRuleItemRef v = item(0, 2);
        return QStringLiteral("%1 %2 %3")
            .arg(v->kind())
            .arg(v->isInvisible() ? QStringLiteral("hidden") : QStringLiteral("shown"),
                 v->kind() == KZRuleItemKindDateWithin ? v->dateWithin() : v->dateValue().date().toString(Qt::ISODate));
    };
    const auto setWithin = [&](const char *comps) { return [&, comps] { item(0, 2)->setDateWithin(QString::fromUtf8(comps)); }; };
    const auto setDay = [&](const QDateTime &day) { return [&, day] { item(0, 2)->setDateValue(day); }; };
    struct Step {
        qint64 op;
        std::function<void()> before;
        QString expected;
    };
    const std::vector<Step> steps = {
        {15, {}, QStringLiteral("7 shown 1|3")},                        // one month
        {15, setWithin("4|1"), QStringLiteral("7 shown 4|1")},          // a kept count survives
        {15, setWithin("junk"), QStringLiteral("7 shown 1|3")},         // a broken one does not
        {8, {}, QStringLiteral("4 shown ") + today},                    // a visible picker at today's midnight
        {12, setDay(QDate(2020, 1, 2).startOfDay()), QStringLiteral("4 hidden 2020-01-02")}, // the same picker, hidden
        {9, {}, QStringLiteral("4 shown 2020-01-02")},                  // shown again with its day
        {10, setDay(QDateTime()), QStringLiteral("4 shown ") + today},  // a day is needed: today's
        {15, {}, QStringLiteral("7 shown 1|3")},
        {18, {}, QStringLiteral("4 hidden ") + today},                  // replaced by a hidden picker
    };
    KZRuleItemRef picker;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].before)
            steps[i].before();
        ASSERT_NE(view.choose(0, 1, steps[i].op), nullptr) << i;
        EXPECT_EQ(QStringLiteral("%1 ").arg(item(0, 1)->menuSelectedTag()) + value(),
                  QStringLiteral("%1 ").arg(steps[i].op) + steps[i].expected);
        if (steps[i].op == 8)
            picker = item(0, 2);
        EXPECT_TRUE((steps[i].op != 12 && steps[i].op != 9) || item(0, 2) == picker) << "the same picker, step " << i;
    }

    // An unknown operator is logged and changes nothing.
    kztest::LogCapture log;
    EXPECT_EQ(controller.rulesEditorViewDidChangeMenu(&view, *item(0, 1)->menu(), KZMenuEntry::withKey("x", 16),
                                                      view.rows.at(0)),
              nullptr);
    EXPECT_EQ(item(0, 1)->menuSelectedTag(), 18);
    EXPECT_TRUE(log.contains(QStringLiteral("nOp:16")));
}

TEST_F(RulesEditorViewControllerTest, ChoicesEditsAndValidatedNamesReachTheirRowsOnly)
{
    addRows(7);
    const KZRuleRows before = view.rows;
    EXPECT_EQ(view.choose(4, 1, 6), nullptr); // size: less than
    EXPECT_EQ(view.choose(2, 1, 5), nullptr); // type: is not
    EXPECT_EQ(view.choose(2, 2, 0, QStringLiteral("text/plain")), nullptr);
    EXPECT_EQ(view.choose(6, 1, 14), nullptr); // attribute: not defined
    EXPECT_EQ(view.choose(5, 1, 3), nullptr);  // name: ends with
    EXPECT_EQ(view.choose(3, 1, 0, QStringLiteral("Green")), nullptr) << "label to label";
    EXPECT_EQ(view.rows, before) << "no row was replaced";
    const QDateTime day = QDate(2022, 5, 6).startOfDay();
    controller.rulesEditorViewDidChangeDate(&view, day, view.rows.at(0));
    view.choose(1, 1, 15);
    controller.rulesEditorViewDidChangeDateWithinValue(&view, QStringLiteral("6|5"), view.rows.at(1));
    controller.rulesEditorViewDidChangeFileSizeValue(&view, QStringLiteral("3|3"), view.rows.at(4));
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("n"), {}, view.rows.at(5));
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("user.a"), {}, view.rows.at(6));
    // Each edit aimed at a row of another kind.
    controller.rulesEditorViewDidChangeDate(&view, day, view.rows.at(4));
    controller.rulesEditorViewDidChangeDateWithinValue(&view, QStringLiteral("6|5"), view.rows.at(4));
    controller.rulesEditorViewDidChangeFileSizeValue(&view, QStringLiteral("3|3"), view.rows.at(0));
    controller.rulesEditorViewDidChangeTextField(&view, QStringLiteral("nope"), view.rows.at(5));
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("nope"), {}, view.rows.at(3));
    EXPECT_EQ(item(0, 2)->dateValue(), day);
    EXPECT_FALSE(item(4, 2)->dateValue().isValid());
    EXPECT_TRUE(item(4, 2)->dateWithin().isNull());
    EXPECT_TRUE(item(0, 2)->fileSizeValue().isNull());
    EXPECT_TRUE(item(3, 2)->stringValue().isEmpty()) << "combo edits belong to name and attribute rows";
    EXPECT_EQ(controller.canonizedCriteria(),
              QVariantList({criterion(5, 11), criterion(4, 15, QStringLiteral("6|5")),
                            criterion(3, 5, QStringLiteral("text/plain")), criterion(6, 0, QStringLiteral("Green")),
                            criterion(2, 6, qint64(3) << 30), criterion(1, 3, QStringLiteral("n")),
                            criterion(8, 14, QStringLiteral("user.a"))}))
        << "text-field edits belong to tags rows";

    ASSERT_NE(view.choose(3, 1, 0, QVariant()), nullptr) << "label to Other rebuilds the row";
    EXPECT_FALSE(item(3, 2)->isInvisible());
    controller.rulesEditorViewDidChangeTextField(&view, QStringLiteral(" work "), view.rows.at(3));
    EXPECT_EQ(controller.canonizedCriteria().at(3), QVariant(criterion(6, 0, QStringLiteral("work"))));
    ASSERT_NE(view.choose(3, 1, 0, QStringLiteral("Blue")), nullptr) << "Other to a label rebuilds too";
    EXPECT_TRUE(item(3, 2)->isInvisible());
    EXPECT_EQ(controller.canonizedCriteria().at(3), QVariant(criterion(6, 0, QStringLiteral("Blue"))));

    // Validating a name moves it to the front of the remembered names.
    const KZRuleRowRef nameRow = view.rows.at(5);
    const auto validate = [&](const KZRuleRowRef &r, const QString &text) {
        controller.rulesEditorViewDidChangeCombox(&view, text, {}, r);
        return *controller.rulesEditorViewDidValidatedCombox(&view, text, {}, r);
    };
    validate(nameRow, QStringLiteral("alpha"));
    validate(nameRow, QStringLiteral("beta"));
    EXPECT_EQ(validate(nameRow, QStringLiteral("alpha")), strs({"alpha", "beta"})) << "once, at the front";
    // Choosing an offered name validates without a text change first.
    EXPECT_EQ(*controller.rulesEditorViewDidValidatedCombox(&view, QStringLiteral("beta"), {}, nameRow),
              strs({"beta", "alpha"}));
    EXPECT_EQ(item(5, 2)->stringValue(), QStringLiteral("beta"));

    EXPECT_EQ(validate(view.rows.at(6), QStringLiteral("user.xdg.tags")), strs({"user.xdg.tags"}));
    EXPECT_EQ(*controller.savedComboxValues(0), strs({"beta", "alpha"})) << "separate lists";
    EXPECT_EQ(controller.rulesEditorViewDidValidatedCombox(&view, QStringLiteral("x"), {}, view.rows.at(4)), nullptr);
    EXPECT_EQ(validate(nameRow, QString()), strs({"beta", "alpha"})) << "an empty text is not remembered";
}

TEST_F(RulesEditorViewControllerTest, ReloadRestoresArchivedRows)
{
    scope.paths = {QStringLiteral("/data/one")};
    addRows(7);
    view.choose(3, 0, 10); // tags -> folders
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("report"), {}, view.rows.at(5));
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("user.b"), {}, view.rows.at(6));
    view.choose(2, 2, 0, QStringLiteral("text/plain"));
    KZRuleRows stored = archivedCopy(view.rows);
    // A row that is not a row of three items is skipped on reload.
    stored.insert(1, kzMakeRuleRow({KZRuleItem::ruleLabelWithText(QStringLiteral("a"))}));

    RulesEditorViewController fresh;
    FakeRulesEditorView freshView;
    fresh.setRulesEditorView(&freshView);
    fresh.setFilterDirPathsProvider(nullptr);
    fresh.reloadDataWithScopeDir(QStringLiteral("/elsewhere"), stored);
    ASSERT_EQ(freshView.rows.size(), 7);
    EXPECT_EQ(fresh.canonizedCriteria(), controller.canonizedCriteria()) << "restored rows give the same criteria";
    for (const KZRuleRowRef &r : freshView.rows)
        EXPECT_NE(r->items.at(1)->menu(), nullptr) << "menus come back";
    EXPECT_EQ(freshView.rows.at(2)->items.at(2)->menu()->title(), QStringLiteral("ValueMenu-KZFileSearchCriterion_UTIType"));
    // The remembered lists are filled from the restored rows and re-attached.
    EXPECT_EQ(*fresh.savedComboxValues(0), strs({"report"}));
    EXPECT_EQ(*fresh.savedComboxValues(1), strs({"user.b"}));
    EXPECT_EQ(freshView.rows.at(5)->items.at(2)->comboStrings(), fresh.savedComboxValues(0));
    EXPECT_EQ(freshView.rows.at(6)->items.at(2)->comboStrings(), fresh.savedComboxValues(1));
    // The folders row gets a new control built from its stored entries.
    const KZRuleItemRef folders = freshView.rows.at(3)->items.at(2);
    const auto control = std::dynamic_pointer_cast<RulesDirPathViewController>(folders->viewController());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(std::tuple(control->delegator(), control->scopeDir(), control->paths()),
              std::tuple(&fresh, QStringLiteral("/elsewhere"), folders->dirPathEntries()));

    // A later reload keeps the remembered lists as they are; nothing shows no rows.
    fresh.rulesEditorViewDidValidatedCombox(&freshView, QStringLiteral("typed"), {}, freshView.rows.at(5));
    KZRuleRows second = archivedCopy({freshView.rows.at(5)});
    second.first()->items.at(2)->setStringValue(QStringLiteral("other"));
    fresh.reloadDataWithScopeDir(QString(), second);
    EXPECT_EQ(*fresh.savedComboxValues(0), strs({"typed", "report"}));
    EXPECT_EQ(freshView.rows.size(), 1);
    fresh.reloadDataWithScopeDir(QString(), {});
    EXPECT_TRUE(freshView.rows.isEmpty());
    EXPECT_TRUE(fresh.canonizedCriteria().isEmpty());
}

TEST_F(RulesEditorViewControllerTest, FoldersControlUpdatesItsRowAndTheRememberedFolders)
{
    kztest::TempTree tree;
    const QString alpha = tree.mkdir(QStringLiteral("alpha"));
    const QString beta = tree.mkdir(QStringLiteral("Beta"));
    scope.paths = {alpha};
    addRows(7);
    view.choose(6, 0, 10);
    const auto control = foldersControl(6);
    ASSERT_NE(control, nullptr);
    control->addFileURLs({QUrl::fromLocalFile(beta), QUrl::fromLocalFile(alpha)});
    const KZDirPathEntryList entries = item(6, 2)->dirPathEntries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.at(1)->path, beta);
    EXPECT_EQ(scope.added, QStringList({beta})) << "only folders the scope manager did not know";
    // Unchecking is seen by the row at its next conversion.
    control->toggleEntry(entries.at(0));
    EXPECT_EQ(controller.canonizedCriteria().last(), QVariant(criterion(10, 4, QStringList({beta}))));

    // A control whose row cannot be found is a critical error; its folder is still remembered.
    RulesDirPathViewController orphan;
    orphan.setDelegator(&controller);
    kztest::LogCapture log;
    const QString lost = tree.mkdir(QStringLiteral("orphan"));
    orphan.addFileURLs({QUrl::fromLocalFile(lost)});
    EXPECT_TRUE(log.contains(QStringLiteral("criterion==nil")));
    EXPECT_EQ(scope.added, QStringList({beta, lost}));
}

TEST(RulesDirPathViewController, AddingFolders)
{
    kztest::TempTree tree;
    const QString lower = tree.mkdir(QStringLiteral("zeta"));
    const QString upper = tree.mkdir(QStringLiteral("Alpha"));
    const QString lowerAlpha = tree.mkdir(QStringLiteral("alpha"));
    CountingControl control;
    control.addFileURLs({QUrl::fromLocalFile(tree.writeFile(QStringLiteral("plain"), "x")),
                         QUrl(QStringLiteral("https://example.org/")),
                         QUrl::fromLocalFile(tree.path(QStringLiteral("missing")))});
    EXPECT_TRUE(control.paths().isEmpty()) << "a file, a web address, a missing folder";
    EXPECT_EQ(control.changes, 1) << "the change is still reported";
    EXPECT_EQ(control.updates, 1);

    control.addFileURLs({QUrl::fromLocalFile(lower), QUrl::fromLocalFile(upper)});
    control.addFileURLs({QUrl::fromLocalFile(lowerAlpha)});
    EXPECT_EQ(control.pathList(), QStringList({upper, lowerAlpha, lower}))
        << "sorted without regard to case; paths differing only in case are both kept";
    EXPECT_EQ(control.changes, 3);

    // An unchecked folder dropped again stays unchecked; checking is not reported.
    control.toggleEntry(control.paths().at(2));
    control.addFileURLs({QUrl::fromLocalFile(lower)});
    EXPECT_EQ(control.paths().size(), 3);
    EXPECT_EQ(control.paths().at(2)->state, 0);
    EXPECT_EQ(control.changes, 4);
    control.toggleEntry(control.paths().at(2));
    EXPECT_EQ(control.paths().at(2)->state, 1);
    EXPECT_EQ(control.changes, 4);
}

TEST(RulesDirPathViewController, TheRootIsSummedUpByItsPath)
{
    // The other summaries are read off the control on screen.
    RulesDirPathViewController control;
    control.setPaths({kzMakeDirPathEntry(QStringLiteral("/"), 1)});
    EXPECT_EQ(control.proposedPopMenuTitle(), QStringLiteral("1 path (/)"));
}
