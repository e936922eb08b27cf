#include <QApplication>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/widgets/KZRulesEditorView.h"
#include "rules/widgets/RulesDirPathView.h"
#include "tests/rules/RulesTestSupport.h"
#include "tests/rules/widgets/RulesWidgetsTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

constexpr int kRow = 27;
constexpr int kMargins = 4 + 4;

// A real editor view driven by a real rules editor controller, in a window.
class KZRulesEditorViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(760, 300);
        editor = new KZRulesEditorView(window.get());
        editor->setGeometry(0, 0, 760, 8);
        editor->setBgColor(QColor::fromRgbF(0.96, 0.96, 0.96));
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
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        controller.setRulesEditorView(nullptr);
        window.reset();
    }

    KZRuleEditorRowView *rowAt(int position) const { return editor->rowViews().at(position); }

    void click(KZOverView *button)
    {
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, 8));
    }
    bool waitForFade()
    {
        return kztest::waitUntil([this] { return !editor->isSomeAnimating(); }, 3000);
    }
    // "+" of the last row, then the fade.
    void addRow()
    {
        click(editor->rowViews().last()->addButtonView());
        ASSERT_TRUE(waitForFade());
    }
    QList<qint64> kinds() const
    {
        QList<qint64> list;
        for (const KZRuleRowRef &row : editor->criteria())
            list.append(row->items.at(0)->menuSelectedTag());
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
    int criteriaChanges() const
    {
        int n = 0;
        for (const QVariantMap &change : owner.changes)
            n += change.value(QStringLiteral("kind")) == QStringLiteral("criteriaChanged");
        return n;
    }
    // Chooses the entry with the tag (or object) in a row's pop-up, as a click would.
    void choose(KZRuleEditorRow_PopUpButton *popUp, qint64 tag, const QVariant &object = QVariant())
    {
        ASSERT_NE(popUp, nullptr);
        const qsizetype entry = tag != 0 ? popUp->menu()->indexOfTag(tag) : popUp->menu()->indexOfRepresentedObject(object);
        ASSERT_GE(entry, 0);
        const int index = popUp->indexOfMenuEntry(entry);
        popUp->setCurrentIndex(index);
        Q_EMIT popUp->activated(index);
    }
    template <typename T>
    QList<T *> controlsOf(KZRuleEditorRowView *row) const
    {
        QList<T *> list;
        for (QWidget *w : row->criterionViews()) {
            if (auto *t = qobject_cast<T *>(w))
                list.append(t);
        }
        return list;
    }

    kztest::TempTree tree;
    std::unique_ptr<QWidget> window;
    KZRulesEditorView *editor = nullptr;
    RulesEditorViewController controller;
    rulestest::FakeWindow owner;
    rulestest::FakeScopeFolders folders;
};

} // namespace

TEST_F(KZRulesEditorViewTest, EmptyEditorShowsOnlyAPlus)
{
    EXPECT_EQ(editor->height(), kRow + kMargins);
    ASSERT_EQ(editor->rowViews().size(), 1);
    KZRuleEditorRowView *empty = rowAt(0);
    EXPECT_TRUE(empty->isFirstEmpty());
    EXPECT_EQ(empty->geometry(), QRect(0, 4, 760, kRow));
    ASSERT_NE(empty->addButtonView(), nullptr);
    EXPECT_EQ(empty->addButtonView()->geometry(), QRect(8, 5, 16, 16));
    EXPECT_EQ(empty->removeButtonView(), nullptr);
    EXPECT_TRUE(empty->criterionViews().isEmpty());
    EXPECT_TRUE(editor->criteria().isEmpty());
}

TEST_F(KZRulesEditorViewTest, AddingRowsFollowsTheMenuOrderUpToSeven)
{
    QList<int> heights{editor->height()};
    for (int n = 1; n <= 7; ++n) {
        addRow();
        heights.append(editor->height());
    }
    EXPECT_EQ(kinds(), (QList<qint64>{5, 4, 3, 6, 2, 1, 8}));
    QList<int> expected;
    for (int n = 0; n <= 7; ++n)
        expected.append(kMargins + kRow * std::max(1, n));
    EXPECT_EQ(heights, expected);
    // The first row takes the empty row's place; the others grow the editor.
    EXPECT_EQ(rowOffsets(), (QList<double>{0, 27, 27, 27, 27, 27, 27}));
    const QList<KZRuleEditorRowView *> rows = editor->rowViews();
    ASSERT_EQ(rows.size(), 7);
    for (int i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows.at(i)->rowIndex(), i);
        EXPECT_EQ(rows.at(i)->y(), 4 + kRow * i);
        EXPECT_FALSE(rows.at(i)->isFirstEmpty());
        EXPECT_NE(rows.at(i)->removeButtonView(), nullptr);
        EXPECT_EQ(rows.at(i)->removeButtonView()->x(), 24);
    }

    // The eighth row is refused: nothing grows, nothing is reported.
    const auto changesBefore = owner.changes.size();
    click(rows.last()->addButtonView());
    EXPECT_FALSE(editor->isSomeAnimating());
    EXPECT_EQ(editor->criteria().size(), 7);
    EXPECT_EQ(editor->height(), kMargins + 7 * kRow);
    EXPECT_EQ(owner.changes.size(), changesBefore);
}

TEST_F(KZRulesEditorViewTest, AddingBelowAMiddleRowInsertsAndRenumbers)
{
    addRow();
    addRow();
    addRow();
    const KZRuleRows before = editor->criteria();
    KZRuleEditorRowView *third = rowAt(2);
    click(rowAt(1)->addButtonView());
    ASSERT_TRUE(waitForFade());
    const KZRuleRows after = editor->criteria();
    ASSERT_EQ(after.size(), 4);
    EXPECT_EQ(after.at(0), before.at(0));
    EXPECT_EQ(after.at(1), before.at(1));
    EXPECT_EQ(after.at(3), before.at(2));
    EXPECT_EQ(after.at(2)->items.at(0)->menuSelectedTag(), 6); // the first unused kind
    EXPECT_EQ(third->rowIndex(), 3);
    EXPECT_EQ(third->y(), 4 + 3 * kRow);
    EXPECT_EQ(rowAt(2)->rowIndex(), 2);
    EXPECT_EQ(rowAt(2)->y(), 4 + 2 * kRow);
}

TEST_F(KZRulesEditorViewTest, RemovingTheFirstOfTwoRowsRenumbersAndShrinks)
{
    addRow();
    addRow();
    const KZRuleRowRef second = editor->criteria().at(1);
    KZRuleEditorRowView *secondView = rowAt(1);
    const int height = editor->height();
    owner.changes.clear();
    click(rowAt(0)->removeButtonView());
    // The row is gone from the rows at once, the editor shrinks after the fade.
    EXPECT_EQ(editor->criteria(), KZRuleRows{second});
    EXPECT_EQ(criteriaChanges(), 1);
    EXPECT_EQ(editor->height(), height);
    ASSERT_TRUE(waitForFade());
    EXPECT_EQ(editor->height(), height - kRow);
    EXPECT_EQ(rowOffsets(), QList<double>{-27});
    ASSERT_EQ(editor->rowViews().size(), 1);
    EXPECT_EQ(rowAt(0), secondView);
    EXPECT_EQ(secondView->rowIndex(), 0);
    EXPECT_EQ(secondView->y(), 4);
}

TEST_F(KZRulesEditorViewTest, RemovingTheLastRowLeavesTheEmptyRow)
{
    addRow();
    const int height = editor->height();
    click(rowAt(0)->removeButtonView());
    ASSERT_TRUE(waitForFade());
    EXPECT_TRUE(editor->criteria().isEmpty());
    EXPECT_EQ(editor->height(), height);
    ASSERT_EQ(editor->rowViews().size(), 1);
    EXPECT_TRUE(rowAt(0)->isFirstEmpty());
    EXPECT_EQ(rowOffsets(), (QList<double>{0, 0}));
    // And from there a new first row again.
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
    ASSERT_NE(rowAt(1)->removeButtonView(), nullptr);
    click(rowAt(1)->removeButtonView());
    ASSERT_TRUE(waitForFade());
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
    // Once the fade is over the buttons work again.
    addRow();
    EXPECT_EQ(editor->criteria().size(), 3);
}

TEST_F(KZRulesEditorViewTest, ControlsFollowTheRowItems)
{
    for (int n = 0; n < 7; ++n)
        addRow();
    // Date rows start with "today": two pop-ups, the date picker is invisible.
    EXPECT_EQ(rowAt(0)->criterionViews().size(), 2);
    EXPECT_EQ(controlsOf<KZRuleEditorRow_PopUpButton>(rowAt(0)).size(), 2);
    // Type: three pop-ups of width 150, 8 apart, after the buttons.
    const QList<KZRuleEditorRow_PopUpButton *> type = controlsOf<KZRuleEditorRow_PopUpButton>(rowAt(2));
    ASSERT_EQ(type.size(), 3);
    EXPECT_EQ(type.at(0)->geometry(), QRect(48, 4, 150, 19));
    EXPECT_EQ(type.at(1)->geometry(), QRect(206, 4, 150, 19));
    EXPECT_EQ(type.at(2)->geometry(), QRect(364, 4, 150, 19));
    EXPECT_EQ(type.at(2)->selectedEntry()->representedObject, QVariant(QStringLiteral("KZFileSearchUTIType_RegFile")));
    // Tags with a label chosen: no text field.
    EXPECT_EQ(rowAt(3)->criterionViews().size(), 2);
    EXPECT_TRUE(controlsOf<QLineEdit>(rowAt(3)).isEmpty());
    // Size: the count-with-unit control showing 1 MB.
    const QList<KZFileSizeStepperView *> size = controlsOf<KZFileSizeStepperView>(rowAt(4));
    ASSERT_EQ(size.size(), 1);
    EXPECT_EQ(size.first()->valueComps(), QStringLiteral("1|2"));
    EXPECT_EQ(size.first()->geometry().topLeft(), QPoint(364, 0));
    // Name and attribute: combo boxes that take the rest of the row, up to 40
    // points before its end.
    for (int r : {5, 6}) {
        const QList<QComboBox *> combos = controlsOf<QComboBox>(rowAt(r));
        ASSERT_EQ(combos.size(), 3);
        QComboBox *combo = combos.last();
        EXPECT_TRUE(combo->isEditable());
        EXPECT_EQ(combo->geometry(), QRect(364, 3, 760 - 40 - 364, 22));
    }

    // A wider window stretches the last combo box; pop-ups keep their width.
    window->resize(900, 300);
    editor->resize(900, editor->height());
    QComboBox *name = controlsOf<QComboBox>(rowAt(5)).last();
    EXPECT_EQ(name->width(), 900 - 40 - 364);
    EXPECT_EQ(type.at(2)->width(), 150);
}

TEST_F(KZRulesEditorViewTest, ADateRowSwitchedToWithinTheLastShowsOneMonth)
{
    addRow();
    const KZRuleRowRef before = editor->criteria().first();
    KZRuleEditorRow_PopUpButton *op = controlsOf<KZRuleEditorRow_PopUpButton>(rowAt(0)).at(1);
    const int changes = criteriaChanges();
    choose(op, 15);
    EXPECT_EQ(criteriaChanges(), changes + 1);
    const KZRuleRowRef after = editor->criteria().first();
    EXPECT_NE(after, before);
    EXPECT_EQ(after->items.at(2)->kind(), KZRuleItemKindDateWithin);
    EXPECT_EQ(after->items.at(2)->dateWithin(), QStringLiteral("1|3"));
    const QList<KZDateWithinStepperView *> within = controlsOf<KZDateWithinStepperView>(rowAt(0));
    ASSERT_EQ(within.size(), 1);
    EXPECT_EQ(within.first()->textField()->text(), QStringLiteral("1"));
    EXPECT_EQ(within.first()->popUpButton()->selectedTag(), 3);

    // Operator "exactly": a date picker for a day between 1970 and 2050.
    choose(controlsOf<KZRuleEditorRow_PopUpButton>(rowAt(0)).at(1), 8);
    const QList<QDateEdit *> pickers = controlsOf<QDateEdit>(rowAt(0));
    ASSERT_EQ(pickers.size(), 1);
    EXPECT_EQ(pickers.first()->date(), QDate::currentDate());
    EXPECT_EQ(pickers.first()->minimumDate(), QDate(1970, 1, 1));
    EXPECT_EQ(pickers.first()->maximumDate(), QDate(2050, 1, 1));
    EXPECT_EQ(pickers.first()->width(), 88);
    EXPECT_EQ(pickers.first()->displayFormat(), QStringLiteral("yyyy-MM-dd"));
}

TEST_F(KZRulesEditorViewTest, ATagsRowShowsItsTextOnlyForOther)
{
    for (int n = 0; n < 4; ++n)
        addRow();
    KZRuleEditorRowView *tags = rowAt(3);
    ASSERT_EQ(editor->criteria().at(3)->items.at(0)->menuSelectedTag(), 6);
    EXPECT_TRUE(controlsOf<QLineEdit>(tags).isEmpty());
    // "Other" (no label) brings the text field.
    choose(controlsOf<KZRuleEditorRow_PopUpButton>(tags).at(1), 0, QVariant());
    QList<QLineEdit *> fields = controlsOf<QLineEdit>(tags);
    ASSERT_EQ(fields.size(), 1);
    fields.first()->setFocus();
    QTest::keyClicks(fields.first(), QStringLiteral("work"));
    EXPECT_EQ(editor->criteria().at(3)->items.at(2)->stringValue(), QStringLiteral("work"));
    // Back to a label: the field goes.
    choose(controlsOf<KZRuleEditorRow_PopUpButton>(tags).at(1), 0, QStringLiteral("Green"));
    EXPECT_TRUE(controlsOf<QLineEdit>(tags).isEmpty());
    EXPECT_EQ(editor->criteria().at(3)->items.at(1)->menuSelectedObject(), QVariant(QStringLiteral("Green")));
}

TEST_F(KZRulesEditorViewTest, ComboBoxesRememberValidatedNames)
{
    for (int n = 0; n < 6; ++n)
        addRow();
    QComboBox *name = controlsOf<QComboBox>(rowAt(5)).last();
    name->setFocus();
    QTest::keyClicks(name, QStringLiteral("alpha"));
    EXPECT_EQ(editor->criteria().at(5)->items.at(2)->stringValue(), QStringLiteral("alpha"));
    QTest::keyClick(name, Qt::Key_Return);
    name->lineEdit()->selectAll();
    QTest::keyClicks(name, QStringLiteral("beta"));
    QTest::keyClick(name, Qt::Key_Return);
    name->lineEdit()->selectAll();
    QTest::keyClicks(name, QStringLiteral("alpha"));
    QTest::keyClick(name, Qt::Key_Return);
    // Most recent first, each name once; the text stays.
    QStringList choices;
    for (int i = 0; i < name->count(); ++i)
        choices.append(name->itemText(i));
    EXPECT_EQ(choices, (QStringList{QStringLiteral("alpha"), QStringLiteral("beta")}));
    EXPECT_EQ(name->currentText(), QStringLiteral("alpha"));
    EXPECT_EQ(*controller.savedComboxValues(0), choices);
}

TEST_F(KZRulesEditorViewTest, TabReachesEveryControlInOrder)
{
    for (int n = 0; n < 6; ++n)
        addRow();
    // Give the date rows a visible value and the tags row its text field.
    choose(controlsOf<KZRuleEditorRow_PopUpButton>(rowAt(0)).at(1), 15);
    choose(controlsOf<KZRuleEditorRow_PopUpButton>(rowAt(1)).at(1), 8);
    choose(controlsOf<KZRuleEditorRow_PopUpButton>(rowAt(3)).at(1), 0, QVariant());
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
    choose(controlsOf<KZRuleEditorRow_PopUpButton>(rowAt(0)).at(0), 10);
    const KZRuleItemRef value = editor->criteria().first()->items.at(2);
    auto *control = dynamic_cast<RulesDirPathWidgetController *>(value->viewController().get());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(editor->criterionForRowViewController(control), editor->criteria().first());
    // The same rows again: the new row takes the view, the old one lets it go.
    editor->reloadDataWithCriteria(editor->criteria());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
    ASSERT_NE(control->view(), nullptr);
    EXPECT_EQ(control->view()->parentWidget(), rowAt(0));
    EXPECT_TRUE(control->view()->isVisible());
    EXPECT_EQ(editor->criterionForRowViewController(control), editor->criteria().first());
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
    // The empty row keeps its "+" at the left.
    EXPECT_EQ(rowAt(0)->addButtonView()->x(), 8);
    addRow();
    addRow();
    KZRuleEditorRowView *row = rowAt(1);
    const int w = row->width();
    EXPECT_EQ(row->addButtonView()->x(), w - 8 - 16);
    EXPECT_EQ(row->removeButtonView()->x(), w - 8 - 16 - 16);
    // Controls start at the left edge.
    EXPECT_EQ(row->criterionViews().first()->x(), 8);
    editor->resize(w + 100, editor->height());
    EXPECT_EQ(row->width(), w + 100);
    EXPECT_EQ(row->addButtonView()->x(), w + 100 - 8 - 16);
    EXPECT_EQ(row->removeButtonView()->x(), w + 100 - 8 - 16 - 16);
    EXPECT_EQ(row->criterionViews().first()->x(), 8);
}
