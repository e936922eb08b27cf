// The rules editor controller driven as the editor view drives it: new rows,
// menu changes, edits, combo validation, reloads and the folders control, and
// the folders control's own model; editor rows and canonical criteria both
// ways: what each kind of row gives, which rows are incomplete and the hit
// test; criteria to rows give the same list back, through the archive too, and
// what no row can express is refused by name; the rows in words.
#include <tuple>

#include <QCborValue>
#include <QDate>
#include <QUrl>

#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/KZRulesDescription.h"
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

TEST_F(RulesEditorViewControllerTest, NewRowsOfEachKind)
{
    // The kinds in the menu's order, up to seven rows (the editor view test sees that
    // through the widgets); their defaults give criteria at once where they are complete.
    scope.paths = {QStringLiteral("/data/one"), QStringLiteral("/data/two")};
    addRows(7);
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
    FakeRulesEditorView view;
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
