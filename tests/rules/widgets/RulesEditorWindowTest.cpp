// The rules editor as the search window shows it: the window follows its rows,
// and every edit reaches its rule item and starts one search.
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

using rulestest::activate;
using rulestest::choose;
using PopUp = KZRuleEditorRow_PopUpButton;

namespace {

constexpr int kRow = 27;

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
        controller->window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
        editor = controller->rulesEditorView();
        ASSERT_NE(editor, nullptr);
    }
    void TearDown() override
    {
        // A walk hands its batches to this thread and waits for them to be
        // taken: keep serving events until every walk has ended.
        const auto walksEnded = [] { return DocumentWindowController::searchQueue()->activeThreadCount() == 0; };
        if (controller)
            controller->stopSearch();
        kztest::waitUntil(walksEnded, 10000);
        controller.reset();
        kztest::waitUntil(walksEnded, 10000);
        DocumentWindowController::searchQueue()->waitForDone();
        ScopeDirManager::resetSharedInstanceForTesting();
    }
    void clickAndFade(KZOverView *button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, 8));
        ASSERT_TRUE(kztest::waitUntil([this] { return !editor->isSomeAnimating(); }, 3000));
    }
    void addRow() { clickAndFade(editor->rowViews().last()->addButtonView()); }
    KZRuleItemRef item(int row, int index) const { return editor->criteria().at(row)->items.at(index); }
    // The control of type T at index in a row (the last by default).
    template <typename T>
    T *control(int row, int index = -1) const
    {
        const QList<T *> list = rulestest::controlsOf<T>(editor->rowViews().at(row));
        return list.isEmpty() ? nullptr : list.at(index < 0 ? list.size() - 1 : index);
    }
    // Runs an edit and answers how many searches it started.
    int searchesOf(const std::function<void()> &edit)
    {
        const int before = controller->searchCount();
        edit();
        QApplication::processEvents();
        return controller->searchCount() - before;
    }
    bool windowHeightBecomes(int height)
    {
        return kztest::waitUntil([&] { return controller->window()->height() == height; });
    }

    kztest::TempTree tree;
    std::unique_ptr<DocumentWindowController> controller;
    KZRulesEditorView *editor = nullptr;
};

} // namespace

TEST_F(RulesEditorWindowTest, TheFoldedWindowFollowsTheEditorsRows)
{
    EXPECT_EQ(editor->height(), 35);
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
    EXPECT_TRUE(windowHeightBecomes(collapsed + 2 * kRow));
    EXPECT_EQ(editor->width(), controller->window()->centralWidget()->width());
    // Without the creation-date row (every file was made today) nothing is found either.
    clickAndFade(editor->rowViews().at(1)->removeButtonView());
    EXPECT_TRUE(windowHeightBecomes(collapsed + kRow)) << controller->window()->height();
    EXPECT_TRUE(controller->isWindowToggled());

    // Another scope folder reloads the editor without rows.
    kztest::TempTree other;
    ASSERT_TRUE(ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionPath, other.root()));
    controller->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
    EXPECT_TRUE(editor->criteria().isEmpty());
    EXPECT_EQ(editor->height(), 35);
    EXPECT_TRUE(windowHeightBecomes(collapsed)) << controller->window()->height();
}

TEST_F(RulesEditorWindowTest, EveryEditUpdatesItsItemAndSearchesOnce)
{
    // Date (today: always complete, so every edit can search), type, tags,
    // size, name, attribute, then a second date row switched to other kinds.
    for (int n = 0; n < 7; ++n)
        addRow();

    // A date operator (the row is rebuilt), the date picker, within the last.
    EXPECT_EQ(searchesOf([&] { choose(control<PopUp>(1, 1), 8); }), 1);
    EXPECT_EQ(item(1, 1)->menuSelectedTag(), 8);
    QDateEdit *picker = control<QDateEdit>(1);
    EXPECT_EQ(searchesOf([&] { ASSERT_NE(picker, nullptr); picker->setDate(QDate(2024, 2, 29)); }), 1);
    EXPECT_EQ(item(1, 2)->dateValue(), QDate(2024, 2, 29).startOfDay());
    choose(control<PopUp>(1, 1), 15);
    KZDateWithinStepperView *within = control<KZDateWithinStepperView>(1);
    ASSERT_NE(within, nullptr);
    EXPECT_EQ(searchesOf([&] { QTest::mouseClick(within->stepper(), Qt::LeftButton, {}, QPoint(8, 4)); }), 1);
    EXPECT_EQ(item(1, 2)->dateWithin(), QStringLiteral("2|3"));

    // The type value pop-up.
    PopUp *type = control<PopUp>(2, 2);
    EXPECT_EQ(searchesOf([&] { activate(type, type->count() - 1); }), 1);
    EXPECT_EQ(item(2, 2)->menuSelectedObject(), type->selectedEntry()->representedObject);

    // The size count typed, then its unit.
    KZFileSizeStepperView *size = control<KZFileSizeStepperView>(4);
    ASSERT_NE(size, nullptr);
    size->textField()->setFocus();
    size->textField()->selectAll();
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(size->textField(), Qt::Key_7); }), 1);
    EXPECT_EQ(item(4, 2)->fileSizeValue(), QStringLiteral("7|2"));
    EXPECT_EQ(searchesOf([&] { activate(size->popUpButton(), size->popUpButton()->findData(3)); }), 1);
    EXPECT_EQ(item(4, 2)->fileSizeValue(), QStringLiteral("7|3"));

    // The name combo box: each keystroke, then Return, which offers the name from
    // then on and keeps the text; its operator keeps the row.
    QComboBox *name = control<QComboBox>(5);
    ASSERT_TRUE(name && name->isEditable());
    name->setFocus();
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(name, Qt::Key_R); }), 1);
    EXPECT_EQ(item(5, 2)->stringValue(), QStringLiteral("r"));
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(name, Qt::Key_Return); }), 1);
    EXPECT_EQ(*controller->rulesEditorViewController()->savedComboxValues(0), QStringList{QStringLiteral("r")});
    ASSERT_EQ(name->count(), 1);
    EXPECT_EQ(QStringList({name->itemText(0), name->currentText()}), QStringList({QStringLiteral("r"), QStringLiteral("r")}));
    const KZRuleRowRef nameRow = editor->criteria().at(5);
    EXPECT_EQ(searchesOf([&] { choose(control<PopUp>(5, 1), 2); }), 1);
    EXPECT_EQ(editor->criteria().at(5), nameRow);
    EXPECT_EQ(item(5, 1)->menuSelectedTag(), 2);

    // The attribute combo box.
    QComboBox *attribute = control<QComboBox>(6);
    attribute->setFocus();
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(attribute, Qt::Key_X); }), 1);
    EXPECT_EQ(item(6, 2)->stringValue(), QStringLiteral("x"));

    // The tags row switched to "Other", then its text.
    EXPECT_EQ(searchesOf([&] { choose(control<PopUp>(3, 1), 0, QVariant()); }), 1);
    QLineEdit *tagText = control<QLineEdit>(3);
    ASSERT_NE(tagText, nullptr);
    tagText->setFocus();
    EXPECT_EQ(searchesOf([&] { QTest::keyClick(tagText, Qt::Key_W); }), 1);
    EXPECT_EQ(item(3, 2)->stringValue(), QStringLiteral("w"));

    // A kind: the row becomes a folders row offering the scope manager's
    // folders; its control takes dropped folders, which the manager remembers.
    const QString known = tree.mkdir(QStringLiteral("known"));
    ScopeDirManager::sharedInstance()->addFilterFilterDirPath(known);
    EXPECT_EQ(searchesOf([&] { choose(control<PopUp>(1, 0), 10); }), 1);
    EXPECT_EQ(controller->rulesEditorViewController()->canonizedCriteria().at(1),
              QVariant(kztest::criterion(10, 4, QStringList{known})));
    RulesDirPathView *folders = control<RulesDirPathView>(1);
    ASSERT_NE(folders, nullptr);
    const QString docs = tree.path(QStringLiteral("docs"));
    std::unique_ptr<QMimeData> data(rulestest::urlData({QUrl::fromLocalFile(docs), QUrl::fromLocalFile(known)}));
    EXPECT_TRUE(rulestest::drop(folders, data.get()));
    EXPECT_EQ(controller->rulesEditorViewController()->canonizedCriteria().at(1),
              QVariant(kztest::criterion(10, 4, QStringList{docs, known})));
    EXPECT_EQ(ScopeDirManager::sharedInstance()->filterDirPaths(), QStringList({known, docs}));
}
