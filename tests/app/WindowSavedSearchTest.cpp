// The window's searches menu: choosing a saved search, "Save", and removing
// a search by saving it with no rule rows left.
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

#include "app/DocumentWindow.h"
#include "app/DocumentWindowController.h"
#include "engine/KZFileSearchObject.h"
#include "rules/SavedSearches.h"
#include "scope/ScopeDirManager.h"
#include "tests/rules/RulesTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

QVariantList canonical(const KZRuleRows &rows)
{
    return RulesEditorViewController::canonizedCriteriaFromCriteria(rows, false);
}

const QVariantMap reportName = kztest::criterion(1, 1, QStringLiteral("report"));
const QVariantMap bigFiles = kztest::criterion(2, 7, qint64(4096));

class WindowSavedSearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kztest::resetTestEnvironment();
        ScopeDirManager::resetSharedInstanceForTesting();
        tree.writeFile(QStringLiteral("report-2026.txt"), "r");
        tree.writeFile(QStringLiteral("invoice.pdf"), "i");
        ASSERT_TRUE(ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionPath, tree.root()));
        SavedSearches::resetSharedInstanceForTesting();
        saved = SavedSearches::sharedInstance();
        controller = std::make_unique<DocumentWindowController>();
        controller->rulesEditorViewController()->setRulesEditorView(&editor);
        controller->showWindowAnimated();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
        ASSERT_TRUE(saved->addSavedSearches(kzMakeSavedSearch(QStringLiteral("Reports"), rows({reportName}))));
    }
    void TearDown() override
    {
        // A walk hands each batch to this thread and waits: let it finish
        // while events are served, before the queue is waited for.
        if (controller) {
            kztest::waitUntil([&] { return !controller->searchObject() || !controller->searchObject()->isSearching(); }, 10000);
            controller->rulesEditorViewController()->setRulesEditorView(nullptr);
        }
        controller.reset();
        DocumentWindowController::searchQueue()->waitForDone();
        SavedSearches::resetSharedInstanceForTesting();
        ScopeDirManager::resetSharedInstanceForTesting();
    }

    KZRuleRows rows(const QVariantList &criteria)
    {
        QString error;
        const auto made = controller->rulesEditorViewController()->rowsFromCanonizedCriteria(criteria, &error);
        EXPECT_TRUE(made.has_value()) << error.toStdString();
        return made.value_or(KZRuleRows());
    }

    // Runs the enabled searches-menu item titled title, as a choice in the menu does.
    bool choose(const QString &title)
    {
        std::unique_ptr<QMenu> menu(controller->savedSearchesMenu());
        for (QAction *a : menu->actions()) {
            if (a->text() == title && a->isEnabled()) {
                controller->mi_savedSearches(a);
                return true;
            }
        }
        return false;
    }

    // Answers the question about removing a saved search with the button
    // titled answer; returns the question, null when none came.
    QString answerRemoveQuestion(const QString &answer)
    {
        const auto box = [&] { return controller->window()->findChild<QMessageBox *>(QStringLiteral("removeSavedSearchAlert")); };
        if (!kztest::waitUntil([&] { return box() && box()->isVisible(); }, 3000))
            return QString();
        const QString question = box()->text();
        for (QAbstractButton *b : box()->buttons())
            if (b->text() == answer)
                b->click();
        kztest::waitUntil([&] { return !box(); }, 3000);
        return question;
    }

    SavedSearchRef storedReports() { return SavedSearches(saved->filePath()).savedSearchNamed(QStringLiteral("Reports")); }

    kztest::TempTree tree;
    rulestest::FakeRulesEditorView editor; // holds the rows as the editor widget does
    SavedSearches *saved = nullptr;
    std::unique_ptr<DocumentWindowController> controller;
};

} // namespace

TEST_F(WindowSavedSearchTest, ChoosingASavedSearchLoadsItsRowsAndSaveUpdatesItInPlace)
{
    ASSERT_TRUE(saved->addSavedSearches(kzMakeSavedSearch(QStringLiteral("Big"), rows({bigFiles}))));
    EXPECT_FALSE(choose(QStringLiteral("Save"))) << "nothing chosen yet";

    // Chosen, it is the selected one; the editor shows a copy of its rows and
    // the search runs with them.
    const int searchesBefore = controller->searchCount();
    ASSERT_TRUE(choose(QStringLiteral("Reports")));
    ASSERT_EQ(canonical(editor.rows), QVariantList{reportName});
    EXPECT_NE(editor.rows.first(), saved->savedSearchNamed(QStringLiteral("Reports"))->criteria.first());
    EXPECT_EQ(controller->searchCount(), searchesBefore + 1);
    EXPECT_EQ(saved->selectedSavedSearch(), saved->savedSearchNamed(QStringLiteral("Reports")));
    ASSERT_TRUE(kztest::waitUntil([&] { return !controller->searchObject()->isSearching(); }, 10000));
    EXPECT_EQ(controller->searchObject()->results().size(), 1);

    // The user changes the rules; Save replaces the rows of that same search, on disk too.
    const QVariantMap invoiceName = kztest::criterion(1, 2, QStringLiteral("inv"));
    editor.rows = rows({invoiceName, bigFiles});
    ASSERT_TRUE(choose(QStringLiteral("Save")));
    ASSERT_NE(storedReports(), nullptr);
    EXPECT_EQ(storedReports()->uniqueId, 1);
    EXPECT_EQ(canonical(storedReports()->criteria), QVariantList({invoiceName, bigFiles}));
    EXPECT_EQ(canonical(saved->savedSearchNamed(QStringLiteral("Big"))->criteria), QVariantList{bigFiles});
}

// "Save" with every rule row removed deleted the loaded saved search without
// a word, and so did "Save" after the window had emptied the editor itself.
TEST_F(WindowSavedSearchTest, SaveNeverRemovesTheLoadedSearchWithoutAsking)
{
    ASSERT_TRUE(choose(QStringLiteral("Reports")));
    // Escape resets the window and empties the editor: the loaded search is
    // no longer the one shown, so there is nothing to save it over.
    controller->searchTextFieldCancelOperation();
    EXPECT_TRUE(editor.rows.isEmpty());
    EXPECT_EQ(saved->selectedSavedSearch(), nullptr);
    EXPECT_FALSE(choose(QStringLiteral("Save")));

    // Rows removed by hand: asked first, and Cancel keeps the search as it was.
    ASSERT_TRUE(choose(QStringLiteral("Reports")));
    editor.rows.clear();
    ASSERT_TRUE(choose(QStringLiteral("Save")));
    EXPECT_EQ(answerRemoveQuestion(QStringLiteral("Cancel")), QStringLiteral("Remove the saved search “Reports”?"));
    ASSERT_NE(storedReports(), nullptr);
    EXPECT_EQ(canonical(storedReports()->criteria), QVariantList{reportName});
    EXPECT_NE(saved->selectedSavedSearch(), nullptr);

    ASSERT_TRUE(choose(QStringLiteral("Save")));
    EXPECT_FALSE(answerRemoveQuestion(QStringLiteral("Remove")).isNull());
    EXPECT_EQ(storedReports(), nullptr);
    EXPECT_EQ(saved->selectedSavedSearch(), nullptr);
}
