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
#include "tests/testlib/TestEnvironment.h"

namespace {

// Holds the rows the way the editor widget does, without the widgets.
class PlainRowsEditor : public KZRulesEditorViewInterface
{
public:
    KZRuleRows criteria() const override { return rows; }
    void setDelegate(KZRulesEditorViewDelegateSourceProtocol *) override { }
    void reloadDataWithCriteria(const KZRuleRows &criteria) override
    {
        rows = criteria;
        ++reloads;
    }
    KZRuleRowRef criterionForRowViewController(const KZRuleItem_ViewControllerProtocol *) const override
    {
        return nullptr;
    }
    KZRuleRows rows;
    int reloads = 0;
};

QVariantList canonical(const KZRuleRows &rows)
{
    return RulesEditorViewController::canonizedCriteriaFromCriteria(rows, false);
}

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
        ASSERT_TRUE(saved->savedSearches().isEmpty());
        controller = std::make_unique<DocumentWindowController>();
        controller->rulesEditorViewController()->setRulesEditorView(&editor);
        controller->showWindowAnimated();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
    }
    void TearDown() override
    {
        // A walk hands each batch to this thread and waits: let it finish
        // while events are served, before the queue is waited for.
        if (controller) {
            kztest::waitUntil([&] {
                return !controller->searchObject() || !controller->searchObject()->isSearching();
            }, 10000);
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

    // Runs the searches-menu item titled title, as a choice in the menu does.
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

    QStringList menuStates()
    {
        std::unique_ptr<QMenu> menu(controller->savedSearchesMenu());
        QStringList states;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                states.append(a->text() + (a->isEnabled() ? QStringLiteral("+") : QStringLiteral("-")) +
                              (a->isChecked() ? QStringLiteral("*") : QString()));
        return states;
    }

    // Answers the window's question about removing a saved search by clicking
    // the button titled answer; returns the question, null when none came.
    QString answerRemoveQuestion(const QString &answer, QStringList *buttons = nullptr)
    {
        QMessageBox *box = nullptr;
        kztest::waitUntil([&] {
            box = controller->window()->findChild<QMessageBox *>(QStringLiteral("removeSavedSearchAlert"));
            return box && box->isVisible();
        }, 3000);
        if (!box || !box->isVisible())
            return QString();
        const QString question = box->text();
        for (QAbstractButton *b : box->buttons()) {
            if (buttons)
                buttons->append(b->text());
        }
        for (QAbstractButton *b : box->buttons()) {
            if (b->text() == answer) {
                b->click();
                break;
            }
        }
        kztest::waitUntil([&] { return !controller->window()->findChild<QMessageBox *>(QStringLiteral("removeSavedSearchAlert")); }, 3000);
        return question;
    }

    kztest::TempTree tree;
    PlainRowsEditor editor;
    SavedSearches *saved = nullptr;
    std::unique_ptr<DocumentWindowController> controller;
};

TEST_F(WindowSavedSearchTest, ChoosingASavedSearchLoadsItsRowsAndSaveUpdatesItInPlace)
{
    const QVariantMap reportName = kztest::criterion(1, 1, QStringLiteral("report"));
    const QVariantMap bigFiles = kztest::criterion(2, 7, qint64(4096));
    ASSERT_TRUE(saved->addSavedSearches(kzMakeSavedSearch(QStringLiteral("Reports"), rows({reportName}))));
    ASSERT_TRUE(saved->addSavedSearches(kzMakeSavedSearch(QStringLiteral("Big"), rows({bigFiles}))));
    const SavedSearchRef reports = saved->savedSearchNamed(QStringLiteral("Reports"));
    ASSERT_NE(reports, nullptr);
    const qint64 reportsId = reports->uniqueId;
    EXPECT_TRUE(editor.rows.isEmpty());
    EXPECT_EQ(menuStates(), QStringList({QStringLiteral("Save-"), QStringLiteral("Save As…-"),
                                         QStringLiteral("Reports+"), QStringLiteral("Big+")}));

    // Choosing it: the editor shows its rows (a copy), it is the selected
    // one, and the search runs with them.
    const int searchesBefore = controller->searchCount();
    ASSERT_TRUE(choose(QStringLiteral("Reports")));
    EXPECT_EQ(canonical(editor.rows), QVariantList{reportName});
    ASSERT_FALSE(editor.rows.isEmpty());
    EXPECT_NE(editor.rows.first(), reports->criteria.first());
    ASSERT_NE(saved->selectedSavedSearch(), nullptr);
    EXPECT_EQ(saved->selectedSavedSearch()->uniqueId, reportsId);
    EXPECT_EQ(controller->rulesEditorViewController()->scopeDir(), tree.root());
    EXPECT_EQ(controller->searchCount(), searchesBefore + 1);
    ASSERT_NE(controller->searchObject(), nullptr);
    EXPECT_TRUE(controller->searchObject()->criteria().contains(reportName));
    ASSERT_TRUE(kztest::waitUntil([&] { return !controller->searchObject()->isSearching(); }, 10000));
    EXPECT_EQ(controller->searchObject()->results().size(), 1);
    EXPECT_EQ(menuStates(), QStringList({QStringLiteral("Save+"), QStringLiteral("Save As…+"),
                                         QStringLiteral("Reports+*"), QStringLiteral("Big+")}));

    // The user changes the rules; Save replaces the rows of that same search.
    const QVariantMap invoiceName = kztest::criterion(1, 2, QStringLiteral("inv"));
    editor.rows = rows({invoiceName, bigFiles});
    ASSERT_TRUE(choose(QStringLiteral("Save")));
    ASSERT_EQ(saved->savedSearches().size(), 2);
    const SavedSearchRef updated = saved->savedSearchWithUniqueId(reportsId);
    ASSERT_NE(updated, nullptr);
    EXPECT_EQ(updated->name, QStringLiteral("Reports"));
    EXPECT_EQ(canonical(updated->criteria), QVariantList({invoiceName, bigFiles}));
    EXPECT_EQ(canonical(saved->savedSearchNamed(QStringLiteral("Big"))->criteria), QVariantList{bigFiles});
    // On disk too.
    SavedSearches reread(saved->filePath());
    ASSERT_EQ(reread.savedSearches().size(), 2);
    EXPECT_EQ(canonical(reread.savedSearchWithUniqueId(reportsId)->criteria), QVariantList({invoiceName, bigFiles}));

    // Choosing the other one switches the editor and the selection.
    ASSERT_TRUE(choose(QStringLiteral("Big")));
    EXPECT_EQ(canonical(editor.rows), QVariantList{bigFiles});
    EXPECT_EQ(saved->selectedSavedSearch()->name, QStringLiteral("Big"));
}

TEST_F(WindowSavedSearchTest, AnEditorEmptiedByTheWindowNeverSavesOverTheLoadedSearch)
{
    const QVariantMap reportName = kztest::criterion(1, 1, QStringLiteral("report"));
    ASSERT_TRUE(saved->addSavedSearches(kzMakeSavedSearch(QStringLiteral("Reports"), rows({reportName}))));
    ASSERT_TRUE(choose(QStringLiteral("Reports")));
    ASSERT_FALSE(editor.rows.isEmpty());

    // Escape resets the window and empties the editor: "Save" would now
    // remove the search, so the loaded search is no longer selected.
    controller->searchTextFieldCancelOperation();
    EXPECT_TRUE(editor.rows.isEmpty());
    EXPECT_EQ(saved->selectedSavedSearch(), nullptr);
    EXPECT_FALSE(choose(QStringLiteral("Save")));
    ASSERT_EQ(saved->savedSearches().size(), 1);
    EXPECT_EQ(canonical(saved->savedSearches().first()->criteria), QVariantList{reportName});

    // Emptying the rows by hand and saving still removes it, once confirmed.
    ASSERT_TRUE(choose(QStringLiteral("Reports")));
    editor.rows.clear();
    ASSERT_TRUE(choose(QStringLiteral("Save")));
    EXPECT_FALSE(answerRemoveQuestion(QStringLiteral("Remove")).isNull());
    EXPECT_TRUE(saved->savedSearches().isEmpty());
}

// "Save" with every rule row removed deleted the loaded saved search without
// a word: it asks first, and Cancel keeps the search as it was.
TEST_F(WindowSavedSearchTest, SaveWithNoRowsLeftAsksBeforeRemovingTheSearch)
{
    const QVariantMap reportName = kztest::criterion(1, 1, QStringLiteral("report"));
    ASSERT_TRUE(saved->addSavedSearches(kzMakeSavedSearch(QStringLiteral("Reports"), rows({reportName}))));
    ASSERT_TRUE(choose(QStringLiteral("Reports")));
    editor.rows.clear();

    ASSERT_TRUE(choose(QStringLiteral("Save")));
    QStringList buttons;
    EXPECT_EQ(answerRemoveQuestion(QStringLiteral("Cancel"), &buttons), QStringLiteral("Remove the saved search “Reports”?"));
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Remove")}));
    ASSERT_EQ(SavedSearches(saved->filePath()).savedSearches().size(), 1);
    EXPECT_EQ(canonical(SavedSearches(saved->filePath()).savedSearches().first()->criteria), QVariantList{reportName});
    ASSERT_NE(saved->selectedSavedSearch(), nullptr);
    EXPECT_EQ(saved->selectedSavedSearch()->name, QStringLiteral("Reports"));

    ASSERT_TRUE(choose(QStringLiteral("Save")));
    EXPECT_FALSE(answerRemoveQuestion(QStringLiteral("Remove")).isNull());
    EXPECT_TRUE(saved->savedSearches().isEmpty());
    EXPECT_TRUE(SavedSearches(saved->filePath()).savedSearches().isEmpty());
    EXPECT_EQ(saved->selectedSavedSearch(), nullptr);
}

} // namespace
