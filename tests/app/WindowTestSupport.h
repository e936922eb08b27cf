// Shared by the window and scope chooser tests: a window with its chooser, as
// the application makes it, on fresh settings, and a menu written as text.
#pragma once

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "app/DocumentWindow.h"
#include "app/DocumentWindowController.h"
#include "app/ScopeDirChooser.h"
#include "engine/KZFileSearchObject.h"
#include "rules/SavedSearches.h"
#include "scope/ScopeDirManager.h"
#include "tests/rules/RulesTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace kztest {

// An item as its title, "-" when disabled, "*" when checked, ">" when it has
// a submenu; a separator is "--". Menus join their items with "|".
inline QString menuItem(const QString &title, bool enabled, bool checked, bool submenu, bool separator = false)
{
    return separator ? QStringLiteral("--")
                     : title + QLatin1String(enabled ? "" : "-") + QLatin1String(checked ? "*" : "") + QLatin1String(submenu ? ">" : "");
}

inline QString describe(const QMenu *menu)
{
    QStringList items;
    for (QAction *a : menu->actions())
        items.append(menuItem(a->text(), a->isEnabled(), a->isChecked(), a->menu(), a->isSeparator()));
    return items.join(QLatin1Char('|'));
}

// Hands the popup menu named name to act whenever it is up, as a user would
// meet it, for as long as the watcher lives.
class PopupWatcher
{
public:
    PopupWatcher(const QString &name, const std::function<void(QMenu *)> &act)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [name, act] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (menu && menu->objectName() == name && menu->isVisible())
                act(menu);
        });
        m_timer.start(20);
    }

private:
    QTimer m_timer;
};

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetTestEnvironment();
        ScopeDirManager::resetSharedInstanceForTesting();
        SavedSearches::resetSharedInstanceForTesting();
    }
    void TearDown() override
    {
        // A walk hands each batch to this thread and waits: let it finish
        // while events are served; walks must not outlive the tree.
        if (controller) {
            waitUntil([&] { return !controller->searchObject() || !controller->searchObject()->isSearching(); }, 10000);
            controller->rulesEditorViewController()->setRulesEditorView(nullptr);
        }
        controller.reset();
        DocumentWindowController::searchQueue()->waitForDone();
        SavedSearches::resetSharedInstanceForTesting();
        ScopeDirManager::resetSharedInstanceForTesting();
    }

    static ScopeDirManager *manager() { return ScopeDirManager::sharedInstance(); }
    static void useScope(const QString &path)
    {
        ASSERT_TRUE(manager()->setSelectionKind(ScopeDirManager::SelectionPath, path));
    }

    // The window and its chooser; the editor's rows are read from editor when asked.
    void open(bool withEditor = false)
    {
        controller = std::make_unique<DocumentWindowController>();
        if (withEditor)
            controller->rulesEditorViewController()->setRulesEditorView(&editor);
        chooser = new ScopeDirChooser(controller.get());
        chooser->setObservator(controller.get());
        controller->setScopeDirChooser(chooser);
        controller->showWindowAnimated();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
        controller->window()->activateWindow();
    }

    // Types text into the field as key events, then Return if asked.
    void type(const QString &text, bool enter = false)
    {
        QTest::keyClicks(controller->mSearchField(), text);
        if (enter)
            QTest::keyClick(controller->mSearchField(), Qt::Key_Return);
    }
    bool waitForEnd()
    {
        return waitUntil([&] { return controller->searchObject() && !controller->searchObject()->isSearching(); }, 10000);
    }

    TempTree tree;
    rulestest::FakeRulesEditorView editor; // the rows the controller reads
    std::unique_ptr<DocumentWindowController> controller;
    ScopeDirChooser *chooser = nullptr;
};

} // namespace kztest
