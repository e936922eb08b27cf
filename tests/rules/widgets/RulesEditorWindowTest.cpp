#include <QApplication>
#include <QDateEdit>
#include <QLineEdit>
#include <QTest>
#include <QThreadPool>
#include <memory>

#include <gtest/gtest.h>

#include "app/DocumentWindow.h"
#include "app/DocumentWindowController.h"
#include "engine/KZFileSearchObject.h"
#include "rules/widgets/KZRulesEditorView.h"
#include "rules/widgets/RulesDirPathView.h"
#include "scope/ScopeDirManager.h"
#include "tests/rules/widgets/RulesWidgetsTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

constexpr int kRow = 27;

// The rules editor as the search window shows it.
class RulesEditorWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kztest::resetTestEnvironment();
        ScopeDirManager::resetSharedInstanceForTesting();
        tree.writeFile(QStringLiteral("a.txt"), "a");
        tree.mkdir(QStringLiteral("docs"));
        ASSERT_TRUE(ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionPath, tree.root()));
        controller = std::make_unique<DocumentWindowController>();
        controller->showWindowAnimated();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
        controller->window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
        editor = controller->rulesEditorView();
    }
    void TearDown() override
    {
        // A walk hands its batches to this thread and waits for them to be
        // taken: keep serving events until every walk has ended.
        if (controller)
            controller->stopSearch();
        kztest::waitUntil([] { return DocumentWindowController::searchQueue()->activeThreadCount() == 0; }, 10000);
        controller.reset();
        kztest::waitUntil([] { return DocumentWindowController::searchQueue()->activeThreadCount() == 0; }, 10000);
        DocumentWindowController::searchQueue()->waitForDone();
        ScopeDirManager::resetSharedInstanceForTesting();
    }
    void addRow()
    {
        QTest::mouseClick(editor->rowViews().last()->addButtonView(), Qt::LeftButton, {}, QPoint(8, 8));
        ASSERT_TRUE(kztest::waitUntil([this] { return !editor->isSomeAnimating(); }, 3000));
    }
    KZRuleEditorRowView *rowAt(int i) const { return editor->rowViews().at(i); }
    KZRuleItemRef item(int row, int index) const { return editor->criteria().at(row)->items.at(index); }
    template <typename T>
    T *control(int row, int index = -1) const
    {
        QList<T *> list;
        for (QWidget *w : rowAt(row)->criterionViews()) {
            if (auto *t = qobject_cast<T *>(w))
                list.append(t);
        }
        if (list.isEmpty())
            return nullptr;
        return index < 0 ? list.last() : list.at(index);
    }
    void choose(KZRuleEditorRow_PopUpButton *popUp, qint64 tag)
    {
        ASSERT_NE(popUp, nullptr);
        const int index = popUp->indexOfMenuEntry(popUp->menu()->indexOfTag(tag));
        ASSERT_GE(index, 0);
        popUp->setCurrentIndex(index);
        Q_EMIT popUp->activated(index);
    }
    // Runs an edit and answers how many searches it started.
    int searchesOf(const std::function<void()> &edit)
    {
        const int before = controller->searchCount();
        edit();
        QApplication::processEvents();
        return controller->searchCount() - before;
    }

    kztest::TempTree tree;
    std::unique_ptr<DocumentWindowController> controller;
    KZRulesEditorView *editor = nullptr;
};

} // namespace

TEST_F(RulesEditorWindowTest, TheWindowShowsTheEditorAndFollowsItsRows)
{
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(controller->rulesEditorViewController()->rulesEditorView(), editor);
    EXPECT_EQ(editor->marginTop(), 4);
    EXPECT_EQ(editor->marginBottom(), 4);
    EXPECT_TRUE(editor->canBeEmpty());
    EXPECT_EQ(editor->buttonsPosition(), 108);
    EXPECT_EQ(editor->bgColor(), QColor::fromRgbF(0.96, 0.96, 0.96));
    EXPECT_EQ(editor->height(), 35);
    EXPECT_EQ(editor->width(), controller->window()->centralWidget()->width());
    ASSERT_TRUE(controller->isWindowToggled());

    // Nothing in the tree was modified today: the date rows find nothing and
    // the window stays folded.
    tree.setMTime(QStringLiteral("a.txt"), 1000000000);
    tree.setMTime(QStringLiteral("docs"), 1000000000);
    const int collapsed = controller->window()->height();
    addRow(); // takes the empty row's place
    DocumentWindowController::searchQueue()->waitForDone();
    ASSERT_TRUE(kztest::waitUntil([&] { return controller->searchObject() && !controller->searchObject()->isSearching(); }));
    ASSERT_TRUE(controller->isWindowToggled());
    EXPECT_EQ(controller->window()->height(), collapsed);
    addRow();
    addRow();
    EXPECT_EQ(editor->height(), 8 + 3 * kRow);
    EXPECT_TRUE(kztest::waitUntil([&] { return controller->window()->height() == collapsed + 2 * kRow; }));
    // The editor stays right under the search bar, as wide as the window.
    EXPECT_EQ(editor->width(), controller->window()->centralWidget()->width());
    // Without the creation-date row (every file was made today) nothing is found.
    QTest::mouseClick(rowAt(1)->removeButtonView(), Qt::LeftButton, {}, QPoint(8, 8));
    ASSERT_TRUE(kztest::waitUntil([this] { return !editor->isSomeAnimating(); }, 3000));
    EXPECT_EQ(editor->height(), 8 + 2 * kRow);
    EXPECT_TRUE(kztest::waitUntil([&] { return controller->window()->height() == collapsed + kRow; }))
        << controller->window()->height();
    EXPECT_TRUE(controller->isWindowToggled());
}

TEST_F(RulesEditorWindowTest, EveryEditUpdatesItsItemAndSearchesOnce)
{
    // Date (today: always complete, so every edit can search), type, tags,
    // size, name, attribute, then a second date row switched to other kinds.
    for (int n = 0; n < 7; ++n)
        addRow();

    // A date operator: the row is rebuilt.
    EXPECT_EQ(searchesOf([&] { choose(control<KZRuleEditorRow_PopUpButton>(1, 1), 8); }), 1);
    EXPECT_EQ(item(1, 1)->menuSelectedTag(), 8);
    // The date picker.
    QDateEdit *picker = control<QDateEdit>(1);
    ASSERT_NE(picker, nullptr);
    const QDate day(2024, 2, 29);
    EXPECT_EQ(searchesOf([&] { picker->setDate(day); }), 1);
    EXPECT_EQ(item(1, 2)->dateValue(), day.startOfDay());
    // Within the last: the stepper and the unit.
    choose(control<KZRuleEditorRow_PopUpButton>(1, 1), 15);
    KZDateWithinStepperView *within = control<KZDateWithinStepperView>(1);
    ASSERT_NE(within, nullptr);
    EXPECT_EQ(searchesOf([&] { QTest::mouseClick(within->stepper(), Qt::LeftButton, {}, QPoint(8, 4)); }), 1);
    EXPECT_EQ(item(1, 2)->dateWithin(), QStringLiteral("2|3"));
    EXPECT_EQ(searchesOf([&] {
                  within->popUpButton()->setCurrentIndex(within->popUpButton()->findData(1));
                  Q_EMIT within->popUpButton()->activated(within->popUpButton()->currentIndex());
              }),
              1);
    EXPECT_EQ(item(1, 2)->dateWithin(), QStringLiteral("2|1"));

    // The type value pop-up.
    KZRuleEditorRow_PopUpButton *type = control<KZRuleEditorRow_PopUpButton>(2, 2);
    const int folderIndex = type->findText(type->itemText(type->count() - 1));
    EXPECT_EQ(searchesOf([&] {
                  type->setCurrentIndex(folderIndex);
                  Q_EMIT type->activated(folderIndex);
              }),
              1);
    EXPECT_EQ(item(2, 2)->menuSelectedObject(), type->selectedEntry()->representedObject);

    // The size count typed, then its unit.
    KZFileSizeStepperView *size = control<KZFileSizeStepperView>(4);
    ASSERT_NE(size, nullptr);
    size->textField()->setFocus();
    size->textField()->selectAll();
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(size->textField(), Qt::Key_7); }), 1);
    EXPECT_EQ(item(4, 2)->fileSizeValue(), QStringLiteral("7|2"));
    EXPECT_EQ(searchesOf([&] {
                  size->popUpButton()->setCurrentIndex(size->popUpButton()->findData(3));
                  Q_EMIT size->popUpButton()->activated(size->popUpButton()->currentIndex());
              }),
              1);
    EXPECT_EQ(item(4, 2)->fileSizeValue(), QStringLiteral("7|3"));

    // The name combo box: each keystroke, then Return.
    QComboBox *name = control<QComboBox>(5);
    ASSERT_TRUE(name && name->isEditable());
    name->setFocus();
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(name, Qt::Key_R); }), 1);
    EXPECT_EQ(item(5, 2)->stringValue(), QStringLiteral("r"));
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(name, Qt::Key_Return); }), 1);
    EXPECT_EQ(*controller->rulesEditorViewController()->savedComboxValues(0), QStringList{QStringLiteral("r")});

    // An operator pop-up keeps its row and sets the operator.
    const KZRuleRowRef nameRow = editor->criteria().at(5);
    EXPECT_EQ(searchesOf([&] { choose(control<KZRuleEditorRow_PopUpButton>(5, 1), 2); }), 1);
    EXPECT_EQ(editor->criteria().at(5), nameRow);
    EXPECT_EQ(item(5, 1)->menuSelectedTag(), 2);

    // The attribute combo box.
    QComboBox *attribute = control<QComboBox>(6);
    attribute->setFocus();
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(attribute, Qt::Key_X); }), 1);
    EXPECT_EQ(item(6, 2)->stringValue(), QStringLiteral("x"));

    // The tags row switched to "Other", then its text.
    KZRuleEditorRow_PopUpButton *labels = control<KZRuleEditorRow_PopUpButton>(3, 1);
    const int other = labels->indexOfMenuEntry(labels->menu()->indexOfRepresentedObject(QVariant()));
    EXPECT_EQ(searchesOf([&] {
                  labels->setCurrentIndex(other);
                  Q_EMIT labels->activated(other);
              }),
              1);
    QLineEdit *tagText = control<QLineEdit>(3);
    ASSERT_NE(tagText, nullptr);
    tagText->setFocus();
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(tagText, Qt::Key_W); }), 1);
    EXPECT_EQ(item(3, 2)->stringValue(), QStringLiteral("w"));

    // A kind: the row becomes a folders row with its control.
    EXPECT_EQ(searchesOf([&] { choose(control<KZRuleEditorRow_PopUpButton>(1, 0), 10); }), 1);
    EXPECT_EQ(item(1, 0)->menuSelectedTag(), 10);
    ASSERT_NE(control<RulesDirPathView>(1), nullptr);
}

TEST_F(RulesEditorWindowTest, AFoldersRowTakesDroppedFolders)
{
    for (int n = 0; n < 1; ++n)
        addRow();
    choose(control<KZRuleEditorRow_PopUpButton>(0, 0), 10);
    RulesDirPathView *view = control<RulesDirPathView>(0);
    ASSERT_NE(view, nullptr);
    auto *folders = dynamic_cast<RulesDirPathWidgetController *>(item(0, 2)->viewController().get());
    ASSERT_NE(folders, nullptr);
    EXPECT_TRUE(folders->chooseButton()->isVisible());
    EXPECT_FALSE(folders->popMenu()->isVisible());

    const QString docs = tree.path(QStringLiteral("docs"));
    std::unique_ptr<QMimeData> data(rulestest::urlData({QUrl::fromLocalFile(docs)}));
    EXPECT_TRUE(rulestest::drop(view, data.get()));
    EXPECT_TRUE(folders->popMenu()->isVisible());
    EXPECT_FALSE(folders->chooseButton()->isVisible());
    EXPECT_TRUE(folders->popMenu()->text().contains(QStringLiteral("docs")));
    // The row holds the folder, the criteria search it.
    const KZDirPathEntryList entries = item(0, 2)->dirPathEntries();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.first()->path, docs);
    const QVariantList criteria = controller->rulesEditorViewController()->canonizedCriteria();
    ASSERT_EQ(criteria.size(), 1);
    EXPECT_EQ(criteria.first().toMap().value(QStringLiteral("value")).toStringList(), QStringList{docs});

    // A dropped file adds nothing.
    const QString file = tree.path(QStringLiteral("a.txt"));
    std::unique_ptr<QMimeData> fileData(rulestest::urlData({QUrl::fromLocalFile(file)}));
    rulestest::drop(view, fileData.get());
    EXPECT_EQ(item(0, 2)->dirPathEntries().size(), 1);

    // A second folders row starts with the remembered folder checked.
    addRow();
    choose(control<KZRuleEditorRow_PopUpButton>(1, 0), 10);
    const KZDirPathEntryList remembered = item(1, 2)->dirPathEntries();
    ASSERT_EQ(remembered.size(), 1);
    EXPECT_EQ(remembered.first()->path, docs);
    EXPECT_EQ(remembered.first()->state, 1);
}

TEST_F(RulesEditorWindowTest, ANewScopeEmptiesTheEditorAndTheWindowFollows)
{
    tree.setMTime(QStringLiteral("a.txt"), 1000000000);
    tree.setMTime(QStringLiteral("docs"), 1000000000);
    const int collapsed = controller->window()->height();
    addRow();
    addRow();
    ASSERT_TRUE(kztest::waitUntil([&] { return controller->window()->height() == collapsed + kRow; }));
    ASSERT_EQ(editor->criteria().size(), 2);

    // Another scope folder reloads the editor without rows.
    kztest::TempTree other;
    ASSERT_TRUE(ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionPath, other.root()));
    controller->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
    EXPECT_TRUE(editor->criteria().isEmpty());
    EXPECT_EQ(editor->height(), 35);
    EXPECT_TRUE(kztest::waitUntil([&] { return controller->window()->height() == collapsed; }))
        << controller->window()->height() << " " << collapsed;
}
