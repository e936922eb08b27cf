// The rules editor view driven by a real rules editor controller, in a window:
// rows added and removed with their fades, the controls of each row, and Tab;
// the count-with-unit controls: what they show for a string form, and what
// typing, stepping and choosing a unit report; the folders control: the choose
// button or the summary, the drag highlight, the menu of folders and the
// folder chooser; and the view under it that takes dropped files.
#include <memory>

#include <QAbstractItemView>
#include <QApplication>
#include <QDateEdit>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "rules/widgets/KZRulesEditorView.h"
#include "rules/widgets/KZValueAndUnitView.h"
#include "rules/widgets/RulesDirPathView.h"
#include "tests/rules/RulesTestSupport.h"
#include "tests/rules/widgets/RulesWidgetsTestSupport.h"
#include "tests/testlib/TestEnvironment.h"
#include "toolkit/FileDaDView.h"

using rulestest::choose;
using rulestest::controlsOf;
using PopUp = KZRuleEditorRow_PopUpButton;

namespace {

constexpr int kRow = 27;
constexpr int kMargins = 4 + 4;

class KZRulesEditorViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.resize(760, 300);
        editor->setGeometry(0, 0, 760, 8);
        editor->setMarginTop(4);
        editor->setMarginBottom(4);
        editor->setCanBeEmpty(true);
        editor->setButtonsPosition(KZRuleEditorRowView::kButtonsAtLeft);
        controller.setDelegateController(&owner);
        controller.setFilterDirPathsProvider(&folders);
        controller.setDirPathControllerFactory([] { return std::make_shared<RulesDirPathWidgetController>(); });
        controller.setRulesEditorView(editor);
        controller.reloadDataWithScopeDir(tree.root(), {});
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void TearDown() override { controller.setRulesEditorView(nullptr); }

    KZRuleEditorRowView *rowAt(int position) const { return editor->rowViews().at(position); }
    PopUp *popUp(int row, int index) const { return controlsOf<PopUp>(rowAt(row)).at(index); }
    // "+" or "-" of a row; answers whether a fade ran and ended.
    bool click(KZOverView *button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, 8));
        return editor->isSomeAnimating() && kztest::waitUntil([this] { return !editor->isSomeAnimating(); }, 3000);
    }
    void addRows(int n)
    {
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(click(editor->rowViews().last()->addButtonView()));
    }
    // Each row view's index and top, in order.
    QList<QPoint> indexAndTop() const
    {
        QList<QPoint> list;
        for (KZRuleEditorRowView *row : editor->rowViews())
            list.append(QPoint(int(row->rowIndex()), row->y()));
        return list;
    }
    QList<double> rowOffsets() const
    {
        QList<double> offsets;
        for (const QVariantMap &change : owner.changes) {
            if (change.value(QStringLiteral("kind")) == QStringLiteral("rowsChanged"))
                offsets.append(change.value(QStringLiteral("rowOffset")).toDouble());
        }
        return offsets;
    }

    kztest::TempTree tree;
    RulesEditorViewController controller;
    rulestest::FakeWindow owner;
    rulestest::FakeScopeFolders folders;
    QWidget window; // goes first, with the rows and their controls
    KZRulesEditorView *editor = new KZRulesEditorView(&window);
};

class KZValueAndUnitViewTest : public ::testing::Test, public KZValueAndUnitViewDelegateProtocol
{
protected:
    void SetUp() override
    {
        for (KZValueAndUnitView *control : {static_cast<KZValueAndUnitView *>(&size), static_cast<KZValueAndUnitView *>(&within)}) {
            control->initWithFrame(QRect(0, 0, 200, 27), 11, this);
            control->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(control));
        }
    }
    void valueAndUnitViewDidChange(KZValueAndUnitView *view) override { reported.append(view->valueComps()); }
    void typeInto(QLineEdit *field, const QString &text)
    {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    // A click on the upper or lower half of the stepper.
    void step(KZValueAndUnitView *control, bool up)
    {
        QTest::mouseClick(control->stepper(), Qt::LeftButton, {}, QPoint(8, up ? 4 : control->stepper()->height() - 4));
    }

    QStringList reported;
    KZFileSizeStepperView size;
    KZDateWithinStepperView within;
};

class RulesDirPathViewTest : public ::testing::Test, public RulesDirPathViewControllerDelegatorProtocol
{
protected:
    void SetUp() override
    {
        window.resize(400, 60);
        control->setDelegator(this);
        control->setScopeDir(tree.root());
        control->rulesEditorViewWillDisplayView();
        control->view()->setParent(&window);
        control->view()->setGeometry(10, 10, 240, 27);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override { control.reset(); }
    void rulesDirPathViewControllerDidChange(RulesDirPathViewController *) override { ++changes; }
    QStringList menuTexts()
    {
        QMenu *menu = control->popMenu()->menu();
        control->menuNeedsUpdate(menu);
        QStringList texts;
        for (QAction *a : menu->actions())
            texts.append(a->isSeparator() ? QStringLiteral("--") : a->text() + (a->isChecked() ? QStringLiteral(" [x]") : QString())
                                                                  + (a->isEnabled() ? QString() : QStringLiteral(" (off)")));
        return texts;
    }
    QStringList canonicalPaths() const
    {
        QStringList out;
        for (const KZDirPathEntryRef &entry : control->paths())
            out.append(QDir(entry->path).canonicalPath());
        return out;
    }

    kztest::TempTree tree;
    QWidget window;
    std::shared_ptr<RulesDirPathWidgetController> control = std::make_shared<RulesDirPathWidgetController>();
    int changes = 0;
};

class RecordingDropView : public FileDaDView
{
public:
    QList<QList<QUrl>> proposals;
    bool answer = true;
    bool proposeDnDFileURLs(const QList<QUrl> &urls) override
    {
        proposals.append(urls);
        return answer;
    }
};

} // namespace

TEST_F(KZRulesEditorViewTest, RowsAreAddedUpToSevenWithTheControlsOfTheirItems)
{
    // (Which kind each new row takes is the controller's, tested there.)
    // Empty: a single row with only a "+".
    ASSERT_EQ(editor->rowViews().size(), 1);
    EXPECT_TRUE(rowAt(0)->isFirstEmpty());
    EXPECT_EQ(rowAt(0)->removeButtonView(), nullptr);
    EXPECT_TRUE(rowAt(0)->criterionViews().isEmpty());
    QList<int> heights{editor->height()};
    for (int n = 1; n <= 7; ++n) {
        addRows(1);
        heights.append(editor->height());
    }
    EXPECT_EQ(heights, (QList<int>{35, 35, 62, 89, 116, 143, 170, 197}));
    // The first row takes the empty row's place; the others grow the editor.
    EXPECT_EQ(rowOffsets(), (QList<double>{0, 27, 27, 27, 27, 27, 27}));
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(indexAndTop().at(i), QPoint(i, 4 + kRow * i));
        EXPECT_NE(rowAt(i)->removeButtonView(), nullptr);
    }
    // The eighth row is refused: nothing grows, nothing is reported.
    const auto changes = owner.changes.size();
    EXPECT_FALSE(click(rowAt(6)->addButtonView()));
    EXPECT_EQ(QPoint(int(editor->criteria().size()), editor->height()), QPoint(7, kMargins + 7 * kRow));
    EXPECT_EQ(owner.changes.size(), changes);

    // The controls follow the row items.
    // Date rows start with "today": the date picker is invisible; tags with a
    // label chosen: no text field.
    EXPECT_EQ(rowAt(0)->criterionViews().size(), 2);
    EXPECT_EQ(rowAt(3)->criterionViews().size(), 2);
    // Type: three pop-ups of width 150, 8 apart, after the buttons.
    ASSERT_EQ(controlsOf<PopUp>(rowAt(2)).size(), 3);
    EXPECT_EQ(popUp(2, 0)->geometry(), QRect(48, 4, 150, 19));
    EXPECT_EQ(popUp(2, 2)->geometry(), QRect(364, 4, 150, 19));
    EXPECT_EQ(popUp(2, 2)->selectedEntry()->representedObject, QVariant(QStringLiteral("KZFileSearchUTIType_RegFile")));
    ASSERT_EQ(controlsOf<KZFileSizeStepperView>(rowAt(4)).size(), 1);
    EXPECT_EQ(controlsOf<KZFileSizeStepperView>(rowAt(4)).first()->valueComps(), QStringLiteral("1|2"));
    // Name and attribute: editable combo boxes up to 40 points before the row's
    // end, even when the editor widens.
    for (int r : {5, 6}) {
        ASSERT_EQ(controlsOf<QComboBox>(rowAt(r)).size(), 3);
        EXPECT_TRUE(controlsOf<QComboBox>(rowAt(r)).last()->isEditable() &&
                    controlsOf<QComboBox>(rowAt(r)).last()->geometry() == QRect(364, 3, 760 - 40 - 364, 22));
    }
    editor->resize(900, editor->height());
    EXPECT_EQ(controlsOf<QComboBox>(rowAt(5)).last()->width(), 900 - 40 - 364);
    EXPECT_EQ(popUp(2, 2)->width(), 150);

    // "Within the last" shows its count and unit; "exactly" a day between 1970 and 2050.
    choose(popUp(0, 1), 15);
    ASSERT_EQ(controlsOf<KZDateWithinStepperView>(rowAt(0)).size(), 1);
    EXPECT_EQ(controlsOf<KZDateWithinStepperView>(rowAt(0)).first()->valueComps(), QStringLiteral("1|3"));
    choose(popUp(0, 1), 8);
    const QList<QDateEdit *> pickers = controlsOf<QDateEdit>(rowAt(0));
    ASSERT_EQ(pickers.size(), 1);
    EXPECT_EQ(QList<QDate>({pickers.first()->minimumDate(), pickers.first()->date(), pickers.first()->maximumDate()}),
              QList<QDate>({QDate(1970, 1, 1), QDate::currentDate(), QDate(2050, 1, 1)}));

    // Buttons at the right follow the right edge; the controls then start at the left.
    editor->setButtonsPosition(0);
    controller.reloadDataWithScopeDir(tree.root(), editor->criteria());
    for (const int w : {900, 1000}) {
        editor->resize(w, editor->height());
        EXPECT_EQ(rowAt(1)->addButtonView()->x(), w - 8 - 16);
        EXPECT_EQ(rowAt(1)->removeButtonView()->x(), w - 8 - 16 - 16);
    }
    EXPECT_EQ(rowAt(1)->criterionViews().first()->x(), 8);
}

TEST_F(KZRulesEditorViewTest, AddingAndRemovingInTheMiddleRenumbersTheRows)
{
    addRows(3);
    const KZRuleRows before = editor->criteria();
    ASSERT_TRUE(click(rowAt(1)->addButtonView()));
    const KZRuleRows after = editor->criteria();
    ASSERT_EQ(after.size(), 4);
    EXPECT_EQ(after, KZRuleRows({before.at(0), before.at(1), after.at(2), before.at(2)}));
    EXPECT_EQ(indexAndTop(), (QList<QPoint>{{0, 4}, {1, 31}, {2, 58}, {3, 85}}));

    // A removed row leaves the rows at once, the editor shrinks after the fade.
    KZRuleEditorRowView *second = rowAt(1);
    owner.changes.clear();
    QTest::mouseClick(rowAt(0)->removeButtonView(), Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(editor->criteria(), KZRuleRows({before.at(1), after.at(2), before.at(2)}));
    EXPECT_EQ(owner.changes.size(), 1u) << "criteriaChanged only";
    EXPECT_EQ(editor->height(), kMargins + 4 * kRow);
    ASSERT_TRUE(kztest::waitUntil([this] { return !editor->isSomeAnimating(); }, 3000));
    EXPECT_EQ(editor->height(), kMargins + 3 * kRow);
    EXPECT_EQ(rowOffsets(), QList<double>{-27});
    EXPECT_EQ(rowAt(0), second);
    EXPECT_EQ(indexAndTop(), (QList<QPoint>{{0, 4}, {1, 31}, {2, 58}}));

    // Clicks during a fade do nothing.
    QTest::mouseClick(rowAt(2)->removeButtonView(), Qt::LeftButton, {}, QPoint(8, 8));
    ASSERT_TRUE(editor->isSomeAnimating());
    const auto changes = owner.changes.size();
    for (KZOverView *button : {rowAt(0)->addButtonView(), rowAt(1)->removeButtonView(), rowAt(0)->removeButtonView()})
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(owner.changes.size(), changes);
    ASSERT_TRUE(kztest::waitUntil([this] { return !editor->isSomeAnimating(); }, 3000));
    // The last row gone, the empty row is back, in the same height.
    ASSERT_TRUE(click(rowAt(1)->removeButtonView()));
    ASSERT_TRUE(click(rowAt(0)->removeButtonView()));
    EXPECT_EQ(editor->height(), kMargins + kRow);
    ASSERT_EQ(editor->rowViews().size(), 1);
    EXPECT_TRUE(rowAt(0)->isFirstEmpty());
    EXPECT_EQ(rowOffsets().last(), 0);
    addRows(1);

    // Without canBeEmpty the only row has no "-"; a second row brings it to both.
    editor->setCanBeEmpty(false);
    controller.reloadDataWithScopeDir(tree.root(), editor->criteria());
    EXPECT_EQ(rowAt(0)->removeButtonView(), nullptr);
    editor->ruleEditorRowViewWantsRemove(rowAt(0), 0);
    EXPECT_EQ(editor->criteria().size(), 1);
    addRows(1);
    ASSERT_NE(rowAt(0)->removeButtonView(), nullptr);
    ASSERT_TRUE(click(rowAt(1)->removeButtonView()));
    EXPECT_EQ(rowAt(0)->removeButtonView(), nullptr);
}

TEST_F(KZRulesEditorViewTest, TabReachesEveryControlInOrder)
{
    addRows(6);
    // Give the date rows a visible value and the tags row its text field.
    choose(popUp(0, 1), 15);
    choose(popUp(1, 1), 8);
    choose(popUp(3, 1), 0, QVariant());
    QList<QWidget *> expected;
    for (KZRuleEditorRowView *row : editor->rowViews())
        expected += row->keyViews();
    // Within the last (2 pop-ups, field, stepper, unit), exactly (2 pop-ups,
    // date), type (3 pop-ups), tags (2 pop-ups, field), size (as within), name
    // (2 pop-ups, combo box).
    EXPECT_EQ(expected.size(), 5 + 3 + 3 + 3 + 5 + 3);
    ASSERT_TRUE(rowAt(0)->makeFirstKeyViewResponder());
    const auto focused = [] {
        QWidget *focus = QApplication::focusWidget();
        // An editable combo box may hand the focus to its line edit.
        if (focus && focus->parentWidget() && qobject_cast<QComboBox *>(focus->parentWidget()))
            focus = focus->parentWidget();
        return focus;
    };
    QList<QWidget *> visited{focused()};
    for (qsizetype i = 1; i < expected.size(); ++i) {
        // Tab walks through the year, month and day of a date picker first.
        QWidget *from = focused();
        for (int press = 0; press < 4 && focused() == from; ++press)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(focused());
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(KZRulesEditorViewTest, AFoldersViewMovesToTheRowThatShowsItsItem)
{
    addRows(1);
    choose(popUp(0, 0), 10);
    const KZRuleItemRef value = editor->criteria().first()->items.at(2);
    auto *control = dynamic_cast<RulesDirPathWidgetController *>(value->viewController().get());
    ASSERT_NE(control, nullptr);
    // The same rows again: the new row takes the view, the old one lets it go.
    editor->reloadDataWithCriteria(editor->criteria());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_NE(control->view(), nullptr);
    EXPECT_EQ(control->view()->parentWidget(), rowAt(0));
    EXPECT_TRUE(control->view()->isVisible());
    // Its row is found again when folders are dropped.
    const QString folder = tree.mkdir(QStringLiteral("dropped"));
    std::unique_ptr<QMimeData> data(rulestest::urlData({QUrl::fromLocalFile(folder)}));
    EXPECT_TRUE(rulestest::drop(control->view(), data.get()));
    EXPECT_EQ(value->dirPathEntries().size(), 1);
    EXPECT_EQ(folders.added, QStringList{folder});
}

TEST_F(KZValueAndUnitViewTest, StringFormSetsFieldStepperAndUnit)
{
    size.setValueComps(QStringLiteral("7|3"));
    EXPECT_EQ(size.textField()->text(), QStringLiteral("7"));
    EXPECT_EQ(size.stepper()->value(), 7);
    EXPECT_EQ(size.popUpButton()->currentText(), QStringLiteral("GB"));
    // A malformed string reads as one of the first unit (the string forms are tested with the rules).
    size.setValueComps(QStringLiteral("1|2|3"));
    EXPECT_EQ(size.valueComps(), QStringLiteral("1|1"));
    EXPECT_EQ(size.popUpButton()->currentText(), QStringLiteral("KB"));
    within.setValueComps(QString());
    EXPECT_EQ(within.popUpButton()->currentText(), QStringLiteral("Day(s)"));
    EXPECT_TRUE(reported.isEmpty()) << "values set by the program are not reported";

    // A byte count that no unit divides comes with unit code 5, kept until the user picks a unit.
    size.setValueComps(QStringLiteral("1500|5"));
    EXPECT_EQ(size.valueComps(), QStringLiteral("1500|5"));
    EXPECT_EQ(size.popUpButton()->currentIndex(), -1);
    rulestest::activate(size.popUpButton(), 0);
    EXPECT_EQ(reported, QStringList{QStringLiteral("1500|1")});
}

TEST_F(KZValueAndUnitViewTest, TypingIsReportedAsTyped)
{
    size.setValueComps(QStringLiteral("5|2"));
    typeInto(size.textField(), QStringLiteral("0"));
    // Below the stepper's minimum: the stepper stays, the count 0 is reported.
    EXPECT_EQ(size.stepper()->value(), 5);
    EXPECT_EQ(reported.last(), QStringLiteral("0|2"));

    reported.clear();
    typeInto(size.textField(), QStringLiteral("2000000"));
    EXPECT_EQ(reported.last(), QStringLiteral("2000000|2"));
    EXPECT_EQ(size.stepper()->value(), 1000000) << "the stepper stops at its maximum";
    EXPECT_EQ(reported.size(), 8) << "one report per keystroke, the backspace included";
    QTest::keyClicks(size.textField(), QStringLiteral("x"));
    EXPECT_EQ(size.textField()->text(), QStringLiteral("2000000")) << "letters are not taken";
}

TEST_F(KZValueAndUnitViewTest, StepperAndUnitChangesAreReported)
{
    within.setValueComps(QStringLiteral("3|1"));
    step(&within, true);
    EXPECT_EQ(within.textField()->text(), QStringLiteral("4"));
    step(&within, false);
    step(&within, false);
    EXPECT_EQ(reported, (QStringList{QStringLiteral("4|1"), QStringLiteral("3|1"), QStringLiteral("2|1")}));

    // At the minimum a step down changes nothing and reports nothing.
    within.setValueComps(QStringLiteral("1|1"));
    reported.clear();
    step(&within, false);
    EXPECT_TRUE(reported.isEmpty());
    within.stepper()->setFocus();
    QTest::keyClick(within.stepper(), Qt::Key_Up);
    rulestest::activate(within.popUpButton(), within.popUpButton()->findData(5));
    EXPECT_EQ(reported, (QStringList{QStringLiteral("2|1"), QStringLiteral("2|5")}));
    EXPECT_EQ(within.popUpButton()->currentText(), QStringLiteral("Hour(s)"));
}

TEST_F(RulesDirPathViewTest, TheChooseButtonGivesWayToTheSummaryOfDroppedFolders)
{
    EXPECT_TRUE(control->chooseButton()->isVisible());
    EXPECT_FALSE(control->popMenu()->isVisible());
    std::unique_ptr<QMimeData> file(rulestest::urlData({QUrl::fromLocalFile(tree.writeFile(QStringLiteral("n.txt")))}));
    EXPECT_TRUE(rulestest::drop(control->view(), file.get()));
    EXPECT_EQ(changes, 1) << "a dropped file adds nothing but is reported";
    EXPECT_TRUE(control->chooseButton()->isVisible());

    const QString photos = tree.mkdir(QStringLiteral("Photos"));
    std::unique_ptr<QMimeData> data(rulestest::urlData({QUrl::fromLocalFile(photos)}));
    EXPECT_TRUE(rulestest::drop(control->view(), data.get()));
    EXPECT_FALSE(control->chooseButton()->isVisible());
    EXPECT_TRUE(control->popMenu()->isVisible());
    EXPECT_EQ(control->popMenu()->text(), QStringLiteral("1 path (Photos)"));
    std::unique_ptr<QMimeData> more(rulestest::urlData({QUrl::fromLocalFile(tree.mkdir(QStringLiteral("music")))}));
    EXPECT_TRUE(rulestest::drop(control->view(), more.get()));
    EXPECT_EQ(control->popMenu()->text(), QStringLiteral("2 paths"));

    // The edge lights up while a drag hovers.
    const auto edge = [&] { return control->view()->grab().toImage().pixelColor(1, 13); };
    const QColor before = edge();
    ASSERT_TRUE(rulestest::dragEnter(control->view(), data.get()));
    EXPECT_NEAR(edge().redF(), 0.67, 0.02);
    EXPECT_NEAR(edge().blueF(), 0.67, 0.02);
    rulestest::dragLeave(control->view());
    EXPECT_EQ(edge(), before);
}

TEST_F(RulesDirPathViewTest, MenuListsFoldersWithCheckMarksAndAdd)
{
    const QString a = tree.mkdir(QStringLiteral("alpha"));
    const QString b = tree.mkdir(QStringLiteral("Beta"));
    control->addFileURLs({QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)});
    const QString home = QDir::homePath();
    const auto shown = [&](const QString &path) {
        return path.startsWith(home + QLatin1Char('/')) ? QStringLiteral("~") + path.mid(home.size()) : path;
    };
    EXPECT_EQ(menuTexts(), (QStringList{shown(a) + QStringLiteral(" [x]"), shown(b) + QStringLiteral(" [x]"),
                                        QStringLiteral("--"), QStringLiteral("Add…")}));

    // Unchecking a folder changes the summary but tells nobody.
    QMenu *menu = control->popMenu()->menu();
    control->mi_action(menu->actions().at(0));
    EXPECT_EQ(control->paths().at(0)->state, 0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(control->popMenu()->text(), QStringLiteral("1 path (Beta)"));
    control->menuNeedsUpdate(menu);
    control->mi_action(menu->actions().at(1));
    EXPECT_EQ(control->popMenu()->text(), QStringLiteral("--"));

    // A deleted folder is disabled but still listed.
    tree.remove(QStringLiteral("alpha"));
    EXPECT_EQ(menuTexts().first(), shown(a) + QStringLiteral(" (off)"));
    // "Add…" opens the chooser.
    control->mi_action(menu->actions().at(3));
    ASSERT_NE(control->chooseBox(), nullptr);
    control->chooseBox()->reject();
}

TEST_F(RulesDirPathViewTest, TheChooserTakesSeveralFoldersOfTheScope)
{
    const QString one = tree.mkdir(QStringLiteral("one"));
    const QString two = tree.mkdir(QStringLiteral(".two")); // hidden folders are offered too
    tree.writeFile(QStringLiteral("file.txt"), "f");
    QTest::mouseClick(control->chooseButton(), Qt::LeftButton);
    QFileDialog *box = control->chooseBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(QDir(box->directory()).canonicalPath(), QDir(tree.root()).canonicalPath());
    auto *list = box->findChild<QAbstractItemView *>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    // The listing arrives in the background: folders only.
    QAbstractItemModel *model = list->model();
    const auto names = [&] {
        QStringList shown;
        for (int row = 0; row < model->rowCount(list->rootIndex()); ++row)
            shown.append(model->index(row, 0, list->rootIndex()).data().toString());
        shown.sort();
        return shown;
    };
    ASSERT_TRUE(kztest::waitUntil([&] { return names().size() >= 2; }));
    EXPECT_EQ(names(), (QStringList{QStringLiteral(".two"), QStringLiteral("one")}));
    list->selectAll();
    static_cast<QDialog *>(box)->accept();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(canonicalPaths(), (QStringList{QDir(two).canonicalPath(), QDir(one).canonicalPath()}));
}

TEST(FileDaDView, TakesFileUrlsAndFileNamesAndKeepsADraggingFlag)
{
    kztest::TempTree tree;
    const QUrl a = QUrl::fromLocalFile(tree.mkdir(QStringLiteral("a")));
    const QUrl b = QUrl::fromLocalFile(tree.writeFile(QStringLiteral("b.txt"), "b"));
    RecordingDropView view;
    const auto dropped = [&](QMimeData *data) {
        std::unique_ptr<QMimeData> owned(data);
        return rulestest::drop(&view, owned.get()) ? view.proposals.last() : QList<QUrl>();
    };

    std::unique_ptr<QMimeData> urls(rulestest::urlData({a, b}));
    EXPECT_TRUE(rulestest::dragEnter(&view, urls.get()));
    EXPECT_TRUE(view.hasDragging());
    rulestest::dragLeave(&view);
    EXPECT_FALSE(view.hasDragging());
    EXPECT_EQ(dropped(rulestest::urlData({a, QUrl(QStringLiteral("https://example.org/x")), b})), (QList<QUrl>{a, b}));
    EXPECT_FALSE(view.hasDragging());
    // One absolute path a line, or file URLs written out with stray blanks and CRLF;
    // a web address among them is not a file.
    EXPECT_EQ(dropped(rulestest::textData(b.toLocalFile() + QStringLiteral("\n") + a.toLocalFile() + QStringLiteral("\n"))),
              (QList<QUrl>{b, a}));
    EXPECT_EQ(dropped(rulestest::textData(a.toString() + QStringLiteral(" \r\nhttps://example.org/x\r\n  ") + b.toLocalFile())),
              (QList<QUrl>{a, b}));
    // The subclass's answer is the drop's result.
    view.answer = false;
    EXPECT_FALSE(rulestest::drop(&view, urls.get()));
    EXPECT_EQ(view.proposals.size(), 4);

    // Words are no file: refused at once. A web address hovers but is not dropped.
    std::unique_ptr<QMimeData> text(rulestest::textData(QStringLiteral("just some words")));
    EXPECT_FALSE(rulestest::dragEnter(&view, text.get()));
    EXPECT_FALSE(view.hasDragging());
    std::unique_ptr<QMimeData> web(rulestest::urlData({QUrl(QStringLiteral("https://example.org/x"))}));
    EXPECT_TRUE(rulestest::dragEnter(&view, web.get()));
    EXPECT_FALSE(rulestest::drop(&view, web.get()));
    EXPECT_EQ(view.proposals.size(), 4);
    // The base view refuses every drop.
    FileDaDView plain;
    EXPECT_FALSE(rulestest::drop(&plain, urls.get()));
}
