// The rules editor view driven by a real rules editor controller, in a window:
// rows added and removed with their fades, the controls of each row, and Tab.
#include <QApplication>
#include <QDateEdit>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include <gtest/gtest.h>

#include "rules/widgets/KZRulesEditorView.h"
#include "rules/widgets/RulesDirPathView.h"
#include "tests/rules/RulesTestSupport.h"
#include "tests/rules/widgets/RulesWidgetsTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

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
        editor = new KZRulesEditorView(&window);
        editor->setGeometry(0, 0, 760, 8);
        editor->setMarginTop(4);
        editor->setMarginBottom(4);
        editor->setCanBeEmpty(true);
        editor->setButtonsPosition(KZRuleEditorRowView::kButtonsAtLeft);
        controller.setDelegateController(&owner);
        controller.setFilterDirPathsProvider(&folders);
        controller.setFileLabels({{QStringLiteral("None"), 0}, {QStringLiteral("Red"), 0xff0000},
                                  {QStringLiteral("Green"), 0x00ff00}});
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
    void click(KZOverView *button)
    {
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, 8));
    }
    bool waitForFade()
    {
        return kztest::waitUntil([this] { return !editor->isSomeAnimating(); }, 3000);
    }
    // "+" of a row (the last by default), then the fade.
    void addRow(int after = -1)
    {
        click((after < 0 ? editor->rowViews().last() : rowAt(after))->addButtonView());
        ASSERT_TRUE(waitForFade());
    }
    void removeRow(int position)
    {
        click(rowAt(position)->removeButtonView());
        ASSERT_TRUE(waitForFade());
    }
    QList<qint64> kinds() const
    {
        QList<qint64> list;
        for (const KZRuleRowRef &row : editor->criteria())
            list.append(row->items.at(0)->menuSelectedTag());
        return list;
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
    KZRulesEditorView *editor = nullptr;
};

} // namespace

TEST_F(KZRulesEditorViewTest, RowsAreAddedInTheMenuOrderUpToSeven)
{
    // Empty: a single row with only a "+".
    ASSERT_EQ(editor->rowViews().size(), 1);
    EXPECT_TRUE(rowAt(0)->isFirstEmpty());
    EXPECT_EQ(rowAt(0)->removeButtonView(), nullptr);
    EXPECT_TRUE(rowAt(0)->criterionViews().isEmpty());
    QList<int> heights{editor->height()};
    for (int n = 1; n <= 7; ++n) {
        addRow();
        heights.append(editor->height());
    }
    EXPECT_EQ(kinds(), (QList<qint64>{5, 4, 3, 6, 2, 1, 8}));
    EXPECT_EQ(heights, (QList<int>{35, 35, 62, 89, 116, 143, 170, 197}));
    // The first row takes the empty row's place; the others grow the editor.
    EXPECT_EQ(rowOffsets(), (QList<double>{0, 27, 27, 27, 27, 27, 27}));
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(indexAndTop().at(i), QPoint(i, 4 + kRow * i));
        EXPECT_NE(rowAt(i)->removeButtonView(), nullptr);
    }

    // The eighth row is refused: nothing grows, nothing is reported.
    const auto changesBefore = owner.changes.size();
    click(rowAt(6)->addButtonView());
    EXPECT_FALSE(editor->isSomeAnimating());
    EXPECT_EQ(editor->criteria().size(), 7);
    EXPECT_EQ(editor->height(), kMargins + 7 * kRow);
    EXPECT_EQ(owner.changes.size(), changesBefore);
}

TEST_F(KZRulesEditorViewTest, AddingAndRemovingInTheMiddleRenumbersTheRows)
{
    addRow();
    addRow();
    addRow();
    const KZRuleRows before = editor->criteria();
    addRow(1);
    const KZRuleRows after = editor->criteria();
    ASSERT_EQ(after.size(), 4);
    EXPECT_EQ(after, KZRuleRows({before.at(0), before.at(1), after.at(2), before.at(2)}));
    EXPECT_EQ(after.at(2)->items.at(0)->menuSelectedTag(), 6) << "the first unused kind";
    EXPECT_EQ(indexAndTop(), (QList<QPoint>{{0, 4}, {1, 31}, {2, 58}, {3, 85}}));

    // A removed row leaves the rows at once, the editor shrinks after the fade.
    KZRuleEditorRowView *second = rowAt(1);
    owner.changes.clear();
    click(rowAt(0)->removeButtonView());
    EXPECT_EQ(editor->criteria(), KZRuleRows({before.at(1), after.at(2), before.at(2)}));
    EXPECT_EQ(owner.changes.size(), 1u) << "criteriaChanged only";
    EXPECT_EQ(editor->height(), kMargins + 4 * kRow);
    ASSERT_TRUE(waitForFade());
    EXPECT_EQ(editor->height(), kMargins + 3 * kRow);
    EXPECT_EQ(rowOffsets(), QList<double>{-27});
    EXPECT_EQ(rowAt(0), second);
    EXPECT_EQ(indexAndTop(), (QList<QPoint>{{0, 4}, {1, 31}, {2, 58}}));

    // The last row gone, the empty row is back, in the same height.
    removeRow(2);
    removeRow(1);
    removeRow(0);
    EXPECT_TRUE(editor->criteria().isEmpty());
    EXPECT_EQ(editor->height(), kMargins + kRow);
    ASSERT_EQ(editor->rowViews().size(), 1);
    EXPECT_TRUE(rowAt(0)->isFirstEmpty());
    EXPECT_EQ(rowOffsets().last(), 0);
    addRow();
    EXPECT_EQ(kinds(), QList<qint64>{5});
}

TEST_F(KZRulesEditorViewTest, WithoutCanBeEmptyTheOnlyRowStays)
{
    editor->setCanBeEmpty(false);
    controller.reloadDataWithScopeDir(tree.root(), {});
    addRow();
    EXPECT_EQ(rowAt(0)->removeButtonView(), nullptr);
    editor->ruleEditorRowViewWantsRemove(rowAt(0), 0);
    EXPECT_FALSE(editor->isSomeAnimating());
    EXPECT_EQ(editor->criteria().size(), 1);
    // A second row brings the "-" to both; removing one takes it away again.
    addRow();
    ASSERT_NE(rowAt(0)->removeButtonView(), nullptr);
    removeRow(1);
    EXPECT_EQ(rowAt(0)->removeButtonView(), nullptr);
}

TEST_F(KZRulesEditorViewTest, ClicksDuringAFadeDoNothing)
{
    addRow();
    click(rowAt(0)->addButtonView());
    ASSERT_TRUE(editor->isSomeAnimating());
    const auto changes = owner.changes.size();
    click(rowAt(0)->addButtonView());
    click(rowAt(1)->addButtonView());
    click(rowAt(0)->removeButtonView());
    EXPECT_EQ(owner.changes.size(), changes);
    ASSERT_TRUE(waitForFade());
    EXPECT_EQ(editor->criteria().size(), 2);
    EXPECT_EQ(editor->height(), kMargins + 2 * kRow);
    addRow();
    EXPECT_EQ(editor->criteria().size(), 3) << "once the fade is over the buttons work again";
}

TEST_F(KZRulesEditorViewTest, ControlsFollowTheRowItems)
{
    for (int n = 0; n < 7; ++n)
        addRow();
    // Date rows start with "today": the date picker is invisible.
    EXPECT_EQ(rowAt(0)->criterionViews().size(), 2);
    // Type: three pop-ups of width 150, 8 apart, after the buttons.
    ASSERT_EQ(controlsOf<PopUp>(rowAt(2)).size(), 3);
    EXPECT_EQ(popUp(2, 0)->geometry(), QRect(48, 4, 150, 19));
    EXPECT_EQ(popUp(2, 2)->geometry(), QRect(364, 4, 150, 19));
    EXPECT_EQ(popUp(2, 2)->selectedEntry()->representedObject, QVariant(QStringLiteral("KZFileSearchUTIType_RegFile")));
    // Tags with a label chosen: no text field.
    EXPECT_EQ(rowAt(3)->criterionViews().size(), 2);
    // Size: the count-with-unit control showing 1 MB.
    const QList<KZFileSizeStepperView *> size = controlsOf<KZFileSizeStepperView>(rowAt(4));
    ASSERT_EQ(size.size(), 1);
    EXPECT_EQ(size.first()->valueComps(), QStringLiteral("1|2"));
    // Name and attribute: editable combo boxes up to 40 points before the row's
    // end, even when the window widens.
    for (int r : {5, 6}) {
        const QList<QComboBox *> combos = controlsOf<QComboBox>(rowAt(r));
        ASSERT_EQ(combos.size(), 3);
        EXPECT_TRUE(combos.last()->isEditable());
        EXPECT_EQ(combos.last()->geometry(), QRect(364, 3, 760 - 40 - 364, 22));
    }
    editor->resize(900, editor->height());
    EXPECT_EQ(controlsOf<QComboBox>(rowAt(5)).last()->width(), 900 - 40 - 364);
    EXPECT_EQ(popUp(2, 2)->width(), 150);

    // A date row switched to "within the last" shows one month, then "exactly"
    // a day picker between 1970 and 2050.
    choose(popUp(0, 1), 15);
    EXPECT_EQ(editor->criteria().at(0)->items.at(2)->kind(), KZRuleItemKindDateWithin);
    const QList<KZDateWithinStepperView *> within = controlsOf<KZDateWithinStepperView>(rowAt(0));
    ASSERT_EQ(within.size(), 1);
    EXPECT_EQ(within.first()->valueComps(), QStringLiteral("1|3"));
    choose(popUp(0, 1), 8);
    const QList<QDateEdit *> pickers = controlsOf<QDateEdit>(rowAt(0));
    ASSERT_EQ(pickers.size(), 1);
    EXPECT_EQ(pickers.first()->date(), QDate::currentDate());
    EXPECT_EQ(pickers.first()->minimumDate(), QDate(1970, 1, 1));
    EXPECT_EQ(pickers.first()->maximumDate(), QDate(2050, 1, 1));
}

TEST_F(KZRulesEditorViewTest, TabReachesEveryControlInOrder)
{
    for (int n = 0; n < 6; ++n)
        addRow();
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
    addRow();
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

TEST_F(KZRulesEditorViewTest, ButtonsAtTheRightFollowTheRightEdge)
{
    editor->setButtonsPosition(0);
    controller.reloadDataWithScopeDir(tree.root(), {});
    EXPECT_EQ(rowAt(0)->addButtonView()->x(), 8) << "the empty row keeps its \"+\" at the left";
    addRow();
    addRow();
    KZRuleEditorRowView *row = rowAt(1);
    EXPECT_EQ(row->criterionViews().first()->x(), 8);
    for (const int w : {760, 860}) {
        editor->resize(w, editor->height());
        EXPECT_EQ(row->addButtonView()->x(), w - 8 - 16);
        EXPECT_EQ(row->removeButtonView()->x(), w - 8 - 16 - 16);
    }
    EXPECT_EQ(row->criterionViews().first()->x(), 8);
}
