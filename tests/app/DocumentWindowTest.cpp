#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSemaphore>
#include <utility>

#include "app/AppDelegate.h"
#include "app/PreferencesWindowController.h"
#include "app/SkipNamesListView.h"
#include "support/KZFileSafety.h"
#include "platform/KZFileLock.h"
#include "engine/FileSearchResultExport.h"
#include "engine/KZFileSearch.h"
#include "results/ResultsExport.h"
#include "results/ResultsListTableView.h"
#include "support/KZFunctions.h"
#include "support/KZUserDefaults.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/testlib/OpenedUrls.h"
#include "toolkit/KZSpinnerView.h"

namespace {

using kztest::criterion;

const QVariantMap reportName = criterion(1, 1, QStringLiteral("report"));
const QVariantMap bigFiles = criterion(2, 7, qint64(4096));

QVariantList canonical(const KZRuleRows &rows)
{
    return RulesEditorViewController::canonizedCriteriaFromCriteria(rows, false);
}

// RFC 4180 records: quoted fields may hold commas, doubled quotes and line breaks.
QList<QStringList> parseCsv(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> records{{}};
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'"' && quoted && text.mid(i + 1, 1) == u'"') {
            field += text.at(++i);
        } else if (text.at(i) == u'"') {
            quoted = !quoted;
        } else if (!quoted && (text.at(i) == u',' || text.mid(i, 2) == QLatin1String("\r\n"))) {
            records.last().append(std::exchange(field, QString()));
            if (text.at(i) != u',') {
                records.append(QStringList());
                ++i;
            }
        } else {
            field += text.at(i);
        }
    }
    records.removeLast(); // the empty one after the last line break
    return records;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class DocumentWindowTest : public kztest::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        tree.mkdir(QStringLiteral("docs"));
        tree.writeFile(QStringLiteral("docs/Report.txt"), "r");
        tree.writeFile(QStringLiteral("docs/report-old.txt"), "r");
        tree.writeFile(QStringLiteral("notes.md"), "n");
        tree.writeFile(QStringLiteral("plain-file"), "p");
        useScope(tree.root());
    }

    QVariantList criteriaForText(const QString &text)
    {
        controller->mSearchField()->setText(text);
        QVariantList criteria;
        controller->evaluateStartableSearch(nullptr, &criteria);
        return criteria;
    }

    KZRuleRows rowsFor(const QVariantList &criteria)
    {
        QString error;
        const auto rows = controller->rulesEditorViewController()->rowsFromCanonizedCriteria(criteria, &error);
        EXPECT_TRUE(rows.has_value()) << error.toStdString();
        return rows.value_or(KZRuleRows());
    }

    // The saved searches with "Reports" (names containing "report") in them.
    SavedSearches *withReports()
    {
        SavedSearches *saved = SavedSearches::sharedInstance();
        EXPECT_TRUE(saved->addSavedSearches(kzMakeSavedSearch(QStringLiteral("Reports"), rowsFor({reportName}))));
        return saved;
    }
    static SavedSearchRef storedReports()
    {
        return SavedSearches(SavedSearches::sharedInstance()->filePath()).savedSearchNamed(QStringLiteral("Reports"));
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

};

TEST_F(DocumentWindowTest, FieldTextAndRuleRowsBecomeTheSearchCriteria)
{
    open(true);
    // The field's text goes through KZFileNameCriteriaFromSearchText, whose
    // table is tested on its own; here the examples the tooltip gives.
    // Operators: 1 contains, 2 begins with, 3 ends with.
    const QList<std::pair<QString, QVariantList>> cases = {
        {QStringLiteral("ab*cd"), {criterion(1, 2, QStringLiteral("ab")), criterion(1, 3, QStringLiteral("cd"))}},
        {QStringLiteral("*.txt"), {criterion(1, 3, QStringLiteral(".txt"))}},
        {QStringLiteral("rep*"), {criterion(1, 2, QStringLiteral("rep"))}},
        {QStringLiteral("   "), {}},
    };
    for (const auto &[text, criteria] : cases) {
        EXPECT_EQ(criteriaForText(text), criteria) << text.toStdString();
        EXPECT_EQ(controller->evaluateStartableSearch(nullptr, nullptr), criteria.isEmpty() ? 0 : 1) << text.toStdString();
    }

    // The patterns were a secret: the field had no tooltip. Each example the
    // tooltip gives is in the table above, so it does what it says.
    const QString tip = controller->mSearchField()->toolTip();
    for (const QString &example : {QStringLiteral("*.txt"), QStringLiteral("rep*"), QStringLiteral("ab*cd")})
        EXPECT_TRUE(tip.contains(u'\u201C' + example + u'\u201D')) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("contain")) && tip.contains(QStringLiteral("four characters"))) << tip.toStdString();

    // A size row joins the search after the field's criterion; a changed
    // rule searches again at once, without the field's delay.
    editor.rows = rowsFor({criterion(2, 7, qint64(1000))});
    EXPECT_EQ(criteriaForText(QStringLiteral("rep")), QVariantList({criterion(1, 1, QStringLiteral("rep")), canonical(editor.rows).first()}));
    const int before = controller->searchCount();
    controller->rulesEditorViewControllerDidChange(controller->rulesEditorViewController(),
                                                   {{QStringLiteral("kind"), QStringLiteral("criteriaChanged")}});
    EXPECT_EQ(controller->searchCount(), before + 1);
    ASSERT_TRUE(waitForEnd());
    editor.rows.clear();

    // Enabled excluded folders come last, as one "is not" folders criterion;
    // alone they are not enough to search.
    for (const QString &name : {QStringLiteral("docs"), QStringLiteral("other")})
        manager()->addExcludedDir(tree.path(name));
    manager()->setStateOfExcludedDir(false, tree.path(QStringLiteral("other")));
    EXPECT_TRUE(criteriaForText(QStringLiteral(" ")).isEmpty());
    EXPECT_EQ(criteriaForText(QStringLiteral("rep")),
              QVariantList({criterion(1, 1, QStringLiteral("rep")),
                            criterion(10, 5, QStringList({tree.path(QStringLiteral("docs"))}))}));
}

// The checked names of the list become one criterion of the window's search,
// which then prunes exactly what find prunes; unchecking a name walks it again.
TEST_F(DocumentWindowTest, SkippedFolderNamesPruneTheWindowsSearchLikeFind)
{
    kztest::writeVersionControlTree(tree, QStringLiteral("vcs"));
    open();
    SkipNamesListView view;
    for (const QString &name : {QStringLiteral(".git"), QStringLiteral("node_modules")})
        EXPECT_TRUE(view.addName(name));
    auto walk = [&] {
        QStringList paths;
        KZFileSearch().performPathSearchInDirectory(tree.root(), criteriaForText(QStringLiteral("x")), [&](int, const QByteArray &batch, const KZFileSearchCounters &) {
            for (const QByteArray &path : batch.split('\0'))
                if (!path.isEmpty())
                    paths.append(QFile::decodeName(path));
        });
        paths.sort();
        return paths;
    };
    auto expected = [&](const QStringList &pruned) { return kztest::findPrunedPaths(tree.root(), pruned, QStringLiteral("x")); };
    EXPECT_EQ(walk(), expected({QStringLiteral(".git"), QStringLiteral("node_modules")}));
    view.listWidget()->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(walk(), expected({QStringLiteral(".git")}));

    // Refused names leave the stored list as it was and say why; a stored
    // change reaches a manager loaded afresh, as another process would see it.
    const std::pair<QString, QString> refused[] = {
        {QString(), QStringLiteral("empty")}, {QStringLiteral("a/b"), QStringLiteral("\u201C/\u201D")},
        {QStringLiteral(".."), QStringLiteral("not a folder name")}, {QStringLiteral(".git"), QStringLiteral("already")}};
    for (const auto &[name, why] : refused) {
        EXPECT_FALSE(view.addName(name)) << name.toStdString();
        EXPECT_TRUE(view.errorLabel()->isVisibleTo(&view) && view.errorLabel()->text().contains(why))
            << view.errorLabel()->text().toStdString();
    }
    // Settings kept locked by another program: the change is refused, said,
    // and the list goes back to what is stored (it once showed a check that
    // was never stored).
    {
        kzplatform::KZFileLock held;
        ASSERT_TRUE(held.lock(QFile::encodeName(KZUserDefaults::standardUserDefaults().sharedLockPath()), 0));
        kzSetSharedFileLockTimeoutMsForTesting(100);
        view.listWidget()->item(1)->setCheckState(Qt::Checked);
        EXPECT_TRUE(kztest::waitUntil([&] { return view.listWidget()->item(1)->checkState() == Qt::Unchecked; }));
        EXPECT_TRUE(view.errorLabel()->text().contains(QStringLiteral("locked")));
        view.listWidget()->item(0)->setSelected(true);
        view.removeSelectedNames();
        EXPECT_EQ(view.listWidget()->count(), 2);
        kzSetSharedFileLockTimeoutMsForTesting(0);
    }
    view.listWidget()->item(0)->setSelected(true);
    view.removeSelectedNames();
    EXPECT_FALSE(view.errorLabel()->isVisibleTo(&view));
    ScopeDirManager::resetSharedInstanceForTesting();
    EXPECT_EQ(manager()->excludedNames(),
              QVariantList{QVariantMap({{QStringLiteral("name"), QStringLiteral("node_modules")}, {QStringLiteral("state"), false}})});
}

// Searches stopped while they still waited for a pool thread walked their
// whole scope all the same, holding one of the two threads the next needed.
TEST_F(DocumentWindowTest, QuickKeystrokesStartOneSearchAndStoppedOnesListNoFolder)
{
    for (int i = 0; i < 200; ++i)
        tree.writeFile(QStringLiteral("many/d%1/x").arg(i));
    open();
    type(QStringLiteral("repor"));
    QTest::qWait(120);
    EXPECT_EQ(controller->searchCount(), 0); // the wait restarts with every key
    ASSERT_TRUE(kztest::waitUntil([&] { return controller->searchCount() == 1; }, 2000));
    QTest::qWait(400);
    EXPECT_EQ(controller->searchCount(), 1);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(controller->searchObject()->criteria().first().toMap(), criterion(1, 1, QStringLiteral("repor")));

    // A keystroke stops the finished session; Return searches without waiting.
    type(QStringLiteral("t"));
    EXPECT_EQ(controller->searchObject(), nullptr);
    QTest::keyClick(controller->mSearchField(), Qt::Key_Return);
    EXPECT_EQ(controller->searchCount(), 2);
    ASSERT_TRUE(waitForEnd());
    QTest::qWait(350);
    EXPECT_EQ(controller->searchCount(), 2);

    // Both search threads are taken, so that the next three searches wait in the queue.
    QSemaphore started, release;
    for (int i = 0; i < 2; ++i)
        DocumentWindowController::searchQueue()->start([&] { started.release(), release.acquire(); });
    ASSERT_TRUE(started.tryAcquire(2, 5000));
    KZFileSearch::setCountsListedFoldersForTesting(true);
    controller->mSearchField()->clear();
    for (const QString &text : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
        type(text, true);
    EXPECT_EQ(controller->searchCount(), 5);
    release.release(2);
    ASSERT_TRUE(waitForEnd());
    DocumentWindowController::searchQueue()->waitForDone();
    const int64_t listed = KZFileSearch::listedFoldersForTesting();
    KZFileSearch::setCountsListedFoldersForTesting(false);
    EXPECT_EQ(listed, 203); // the root, docs, many and its 200 folders
    EXPECT_EQ(controller->searchObject()->criteria().first().toMap(), criterion(1, 1, QStringLiteral("abc")));
}

// Down in the field and Escape in the results move the keyboard between the
// field and the results; Down does nothing while none are shown.
TEST_F(DocumentWindowTest, ResultsExpandTheWindowAndNoResultCollapsesIt)
{
    open();
    DocumentWindow *window = controller->window();
    SearchTextField *field = controller->mSearchField();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_TRUE(field->hasFocus());
    const int collapsedHeight = window->height();
    auto search = [&](const QString &text) {
        field->clear();
        type(text, true);
        return waitForEnd();
    };
    ASSERT_TRUE(search(QStringLiteral("rep")));
    ASSERT_TRUE(kztest::waitUntil([&] { return !window->isToogle() && window->height() > collapsedHeight; }));
    EXPECT_EQ(controller->mSearchLabel()->text(), QStringLiteral("\u2014 2 files"));
    EXPECT_FALSE(controller->mSearchingIndicator()->isAnimating());
    ResultsListTableView *table = controller->resultsViewController()->resultsListViewController()->mTableView();
    ASSERT_TRUE(kztest::waitUntil([&] { return table->isVisible() && table->model()->rowCount() == 3; }));
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_TRUE(kztest::waitUntil([&] { return table->hasFocus(); }));
    EXPECT_TRUE(table->currentIndex().isValid());
    QTest::keyClick(table, Qt::Key_Escape);
    EXPECT_TRUE(kztest::waitUntil([&] { return field->hasFocus(); }));
    EXPECT_EQ(field->text(), QStringLiteral("rep"));

    // The user makes it larger; a search without results collapses it...
    window->resize(900, 520);
    ASSERT_TRUE(kztest::waitUntil([&] { return window->size() == QSize(900, 520); }));
    ASSERT_TRUE(search(QStringLiteral("zzz-nothing")));
    ASSERT_TRUE(kztest::waitUntil([&] { return window->isToogle(); }));
    EXPECT_EQ(controller->mSearchLabel()->text(), QStringLiteral("\u2014 No File"));
    EXPECT_TRUE(kztest::waitUntil([&] { return window->height() == collapsedHeight; }));
    // ...and results bring the size back.
    ASSERT_TRUE(search(QStringLiteral("notes")));
    EXPECT_TRUE(kztest::waitUntil([&] { return window->size() == QSize(900, 520); }));

    // Escape empties the field and collapses.
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_TRUE(window->isToogle());

    // Expanding again after a size below the minimum never goes below it.
    controller->setIsWindowToggled(false);
    window->setMinimumSize(0, 0);
    window->resize(400, 200);
    ASSERT_TRUE(kztest::waitUntil([&] { return window->size() == QSize(400, 200); }));
    controller->setIsWindowToggled(true);
    controller->setIsWindowToggled(false);
    EXPECT_GT(window->minimumSize().height(), 200);
    EXPECT_TRUE(kztest::waitUntil([&] { return window->size() == window->minimumSize(); }));
}

TEST_F(DocumentWindowTest, WindowsStayInsideTheScreen)
{
    // A window placed low by the last one closed grew below the screen's
    // bottom when it expanded (and again when rule rows were added).
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint origins[] = {QPoint(area.left() + 100, area.bottom() - 140),
                              QPoint(area.right() - 100, area.top() + 40), QPoint(area.left() - 300, area.top() - 200)};
    for (const QPoint &origin : origins) {
        KZUserDefaults::standardUserDefaults().setObject(QStringLiteral("%1,%2").arg(origin.x()).arg(origin.y()),
                                                         DocumentWindowController::frameOriginKey());
        open();
        DocumentWindow *window = controller->window();
        const auto inside = [&] { return area.contains(window->frameGeometry()); };
        EXPECT_TRUE(kztest::waitUntil(inside)) << origin.x() << "," << origin.y();
        controller->setIsWindowToggled(false);
        EXPECT_TRUE(kztest::waitUntil([&] { return window->height() >= 350 && inside(); }))
            << origin.x() << "," << origin.y();
        controller->rulesEditorViewControllerDidChange(
            nullptr, {{QStringLiteral("kind"), QStringLiteral("rowsChanged")}, {QStringLiteral("rowOffset"), 120}});
        EXPECT_TRUE(kztest::waitUntil(inside)) << origin.x() << "," << origin.y();
        controller.reset();
    }
}

TEST_F(DocumentWindowTest, FadesAndAssistantOrSheetKeepTheWindowOnScreen)
{
    open();
    DocumentWindow *window = controller->window();
    ASSERT_TRUE(kztest::waitUntil([&] { return !controller->isWinShowing(); }));
    EXPECT_DOUBLE_EQ(window->windowOpacity(), 1.0);
    auto hideKeepsIt = [&] {
        controller->hideWindowAnimated();
        QTest::qWait(DocumentWindowController::kFadeDuration + 150);
        return window->isVisible();
    };
    controller->showAssistant();
    EXPECT_TRUE(hideKeepsIt());
    controller->updateUI();
    auto *sheet = new QDialog(window);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->show();
    EXPECT_TRUE(hideKeepsIt());
    delete sheet;
    controller->hideWindowAnimated();
    EXPECT_TRUE(window->isVisible()); // fading
    ASSERT_TRUE(kztest::waitUntil([&] { return !window->isVisible(); }, 2000));
    controller->showWindowAnimated();
    EXPECT_TRUE(window->isVisible() && controller->isWinShowing());
    ASSERT_TRUE(kztest::waitUntil([&] { return !controller->isWinShowing(); }, 2000));
    EXPECT_DOUBLE_EQ(window->windowOpacity(), 1.0);
}

TEST_F(DocumentWindowTest, SavedSearchesMenuOpensOnAClickAndSaveUpdatesTheChosenSearch)
{
    open(true);
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    SavedSearches *saved = withReports();
    KZOverView *button = controller->mSearchesOverView();
    QStringList shown;
    const kztest::PopupWatcher watcher(QStringLiteral("searches-menu"), [&](QMenu *menu) {
        shown.append(kztest::describe(menu));
        menu->close();
    });
    // Moving 2 points is still a click: the menu drops down; moving 4 abandons the press.
    for (const QPoint move : {QPoint(2, 2), QPoint(4, 0)}) {
        QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
        QTest::mouseMove(button, QPoint(8, 8) + move);
        QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8) + move);
        QTest::qWait(100);
    }
    // Nothing chosen, no rule rows: Save and Save As are disabled; the saved one is listed.
    EXPECT_EQ(shown, QStringList({QStringLiteral("Save-|Save As…-|--|Reports")}));
    ASSERT_TRUE(saved->addSavedSearches(kzMakeSavedSearch(QStringLiteral("Big"), rowsFor({bigFiles}))));

    // Chosen, it is the selected one; the editor shows a copy of its rows and
    // the search runs with them.
    const int searchesBefore = controller->searchCount();
    ASSERT_TRUE(choose(QStringLiteral("Reports")));
    ASSERT_EQ(canonical(editor.rows), QVariantList{reportName});
    EXPECT_NE(editor.rows.first(), saved->savedSearchNamed(QStringLiteral("Reports"))->criteria.first());
    EXPECT_EQ(controller->searchCount(), searchesBefore + 1);
    EXPECT_EQ(kztest::describe(std::unique_ptr<QMenu>(controller->savedSearchesMenu()).get()),
              QStringLiteral("Save|Save As…|--|Reports*|Big"));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(controller->searchObject()->results().size(), 2);

    // The user changes the rules; Save replaces the rows of that same search, on disk too.
    const QVariantMap invoiceName = criterion(1, 2, QStringLiteral("inv"));
    editor.rows = rowsFor({invoiceName, bigFiles});
    ASSERT_TRUE(choose(QStringLiteral("Save")));
    ASSERT_NE(storedReports(), nullptr);
    EXPECT_EQ(storedReports()->uniqueId, 1);
    EXPECT_EQ(canonical(storedReports()->criteria), QVariantList({invoiceName, bigFiles}));
    EXPECT_EQ(canonical(saved->savedSearchNamed(QStringLiteral("Big"))->criteria), QVariantList{bigFiles});

    // Save As: the sheet needs a name; the stored rows are the editor's own.
    ASSERT_TRUE(choose(QStringLiteral("Save As…")));
    ASSERT_NE(controller->saveSearchSheet(), nullptr);
    controller->hideWindowAnimated(); // a sheet keeps the window
    controller->mSsField()->clear();
    QTest::mouseClick(controller->mSsOkButton(), Qt::LeftButton);
    EXPECT_TRUE(controller->saveSearchSheet()->isVisible());
    QTest::keyClicks(controller->mSsField(), QStringLiteral("Small files"));
    QTest::mouseClick(controller->mSsOkButton(), Qt::LeftButton);
    EXPECT_FALSE(controller->saveSearchSheet()->isVisible());
    EXPECT_EQ(saved->savedSearches().size(), 3);
    ASSERT_NE(saved->savedSearchNamed(QStringLiteral("Small files")), nullptr);
    EXPECT_EQ(canonical(saved->savedSearchNamed(QStringLiteral("Small files"))->criteria), QVariantList({invoiceName, bigFiles}));
    EXPECT_TRUE(controller->window()->isVisible());
}

// "Save" with every rule row removed deleted the loaded saved search without
// a word, and so did "Save" after the window had emptied the editor itself.
TEST_F(DocumentWindowTest, SaveNeverRemovesTheLoadedSearchWithoutAsking)
{
    open(true);
    SavedSearches *saved = withReports();
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

TEST_F(DocumentWindowTest, AppDelegateWindowsAndHelpItems)
{
    qputenv("TROVIX_WEBSITE_URL", "http://127.0.0.1:9/");
    kztest::OpenedUrls web(QStringLiteral("http"));
    kztest::OpenedUrls mail(QStringLiteral("mailto"));
    AppDelegate app;
    app.applicationDidFinishLaunching();
    ASSERT_EQ(app.documentWindowControllers().size(), 1);
    for (int i = 0; i < 4; ++i)
        app.newWindowAction()->trigger();
    EXPECT_FALSE(app.validateMenuItem(app.newWindowAction()));
    app.mi_file_newWindow();
    EXPECT_EQ(app.documentWindowControllers().size(), 5);
    // Every window has a scope button of its own, showing the scope.
    QSet<ScopeDirOverView *> buttons;
    for (DocumentWindowController *each : app.documentWindowControllers()) {
        buttons.insert(each->window()->findChild<ScopeDirOverView *>());
        EXPECT_EQ(each->window()->findChild<ScopeDirOverView *>()->toolTip(), tree.root());
    }
    EXPECT_EQ(buttons.size(), 5);

    // Closing windows: each controller leaves the list but the last.
    DocumentWindowController *last = app.documentWindowControllers().at(4);
    for (DocumentWindowController *each : app.documentWindowControllers())
        EXPECT_TRUE(each->window()->close());
    EXPECT_EQ(app.documentWindowControllers(), QList<DocumentWindowController *>({last}));
    EXPECT_FALSE(last->window()->isVisible());

    // A new window opens where the last closed one stood.
    last->window()->move(123, 77);
    last->window()->show();
    ASSERT_TRUE(kztest::waitUntil([&] { return last->window()->pos() == QPoint(123, 77); }));
    EXPECT_TRUE(last->window()->close());
    {
        DocumentWindowController another;
        EXPECT_EQ(another.window()->pos(), QPoint(123, 77));
    }

    // The launch activation shows nothing more; a later one shows every window.
    app.applicationDidBecomeActive();
    EXPECT_FALSE(last->window()->isVisible());
    app.applicationDidResignActive();
    app.applicationDidBecomeActive();
    EXPECT_TRUE(last->window()->isVisible());

    // The Help items open the maker's pages and the support address; the
    // problem report waits, disabled with a reason, until a reporter is set.
    const QList<QAction *> help = app.findChildren<QAction *>(QStringLiteral("mi_help"));
    // The items in menu order, with the address each opens (none for the report).
    const QString expected[] = {QStringLiteral("http://127.0.0.1:9/"), QStringLiteral("http://127.0.0.1:9/?page=support&app=trovix"),
                                QStringLiteral("mailto:") + KZ_SupportEmail(), QString(),
                                QStringLiteral("http://127.0.0.1:9/changelog.php?&app=trovix")};
    ASSERT_EQ(help.size(), 5);
    for (int i : {0, 1, 2, 4}) {
        help.at(i)->trigger();
        EXPECT_EQ((web.urls + mail.urls).value(0).toString(), expected[i]) << i;
        web.urls.clear();
        mail.urls.clear();
    }
    QAction *report = help.at(3);
    EXPECT_FALSE(report->isEnabled());
    EXPECT_FALSE(report->toolTip().isEmpty());
    int mode = 0;
    app.setProblemReportPresenter([&](int m) { mode = m; });
    report->trigger();
    EXPECT_EQ(mode, 1);
    EXPECT_TRUE(web.urls.isEmpty() && mail.urls.isEmpty());
    qunsetenv("TROVIX_WEBSITE_URL");
}

// Export writes every result in list order as CSV, JSON lines or plain paths.
TEST_F(DocumentWindowTest, AppDelegateMenusAndHotKeyReachTheWindows)
{
    AppDelegate app;
    app.applicationDidFinishLaunching();
    DocumentWindowController *controller = app.documentWindowControllers().first();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
    controller->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    // The field has the focus and nothing is found yet: no result command.
    app.validateMenuItems();
    for (QAction *item : {app.showInFinderAction(), app.exportResultsAction()})
        EXPECT_FALSE(item->isEnabled()) << item->objectName().toStdString();
    tree.writeFile(QStringLiteral("found.txt"), "f");
    tree.writeFile(QStringLiteral("we,\"ird\nfound.txt"), "odd");
    QTest::keyClicks(controller->mSearchField(), QStringLiteral("found"));
    QTest::keyClick(controller->mSearchField(), Qt::Key_Return);
    ResultsListViewController *list = nullptr;
    ASSERT_TRUE(kztest::waitUntil([&] {
        list = controller->resultsViewController()->resultsListViewController();
        return list && !controller->searchObject()->isSearching() && ResultsExport::rowsOfList(list).size() == 2;
    }));
    FileSearchResultList results;
    for (const ResultsListRow &row : list->objectList())
        if (row.kind == ResultsListRow::KindResult)
            results.append(row.result);
    ASSERT_EQ(results.size(), 2);
    // Without a selection no result command is offered.
    list->mTableView()->setFocus();
    ASSERT_TRUE(kztest::waitUntil([&] { return list->mTableView()->hasFocus(); }));
    app.validateMenuItems();
    for (QAction *item : {app.openAction(), app.showInFinderAction(), app.displayInfoAction(), app.copyPathAction()})
        EXPECT_FALSE(item->isEnabled()) << item->objectName().toStdString();
    // Properties also needs a file manager on the bus, which this test has not.
    list->mTableView()->selectRow(0);
    app.validateMenuItems();
    for (QAction *item : {app.openAction(), app.showInFinderAction(), app.copyPathAction(), app.exportResultsAction()})
        EXPECT_TRUE(item->isEnabled()) << item->objectName().toStdString();
    QApplication::clipboard()->clear();
    app.copyPathAction()->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), results.at(0)->path());

    // The View items act on the key window's list.
    app.findChildren<QAction *>(QStringLiteral("mi_view_details")).last()->trigger();
    EXPECT_EQ(list->detailsMode(), 2);
    QAction *sizeColumn = app.findChildren<QAction *>(QStringLiteral("mi_view_column")).last();
    sizeColumn->trigger();
    EXPECT_EQ(list->visibleColumnValue(sizeColumn->property("representedObject").toString()), 1);

    // Preferences… waits for its window, saying so; Ctrl+, then opens it.
    EXPECT_FALSE(app.preferencesAction()->isEnabled());
    EXPECT_FALSE(app.preferencesAction()->toolTip().isEmpty());
    int opened = 0;
    app.setPreferencesOpener([&] { ++opened; });
    QTest::keyClick(controller->window(), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(opened, 1);
    // Find, shown in the Edit menu, and the window's own Ctrl+F are one key.
    QTest::keyClick(list->mTableView(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(kztest::waitUntil([&] { return controller->mSearchField()->hasFocus(); }));

    // Export through the menu, the save dialog answered with each name; a
    // folder that does not exist is told to the user and nothing is written.
    kztest::TempTree out;
    for (const char *name : {"found.csv", "found.jsonl", "found.txt", "missing/found.csv"}) {
        const QString path = out.path(QString::fromLatin1(name));
        ResultsExport::setSaveFileNameForTesting([path] { return path; });
        app.validateMenuItems(); // as the File menu opens
        app.exportResultsAction()->trigger();
        ResultsExport::setSaveFileNameForTesting({});
        EXPECT_TRUE(path.contains(QStringLiteral("missing")) || kztest::waitUntil([&] { return QFile::exists(path); })) << name;
    }
    QMessageBox *alert = nullptr;
    ASSERT_TRUE(kztest::waitUntil([&] {
        alert = controller->window()->findChild<QMessageBox *>(QStringLiteral("exportResultsAlert"));
        return alert && alert->isVisible();
    }));
    EXPECT_TRUE(alert->informativeText().contains(QStringLiteral("found.csv")));
    alert->close();
    EXPECT_FALSE(QFile::exists(out.path(QStringLiteral("missing/found.csv"))));
    const QList<QStringList> csv = parseCsv(readAll(out.path(QStringLiteral("found.csv"))));
    ASSERT_EQ(csv.size(), 3);
    EXPECT_EQ(csv.first(), QStringLiteral("path,name,folder,type,size,modified,created").split(u','));
    const QList<QByteArray> jsonLines = readAll(out.path(QStringLiteral("found.jsonl"))).split('\n');
    ASSERT_EQ(jsonLines.size(), 3); // and an empty one after the last line feed
    QByteArray paths;
    for (int i = 0; i < results.size(); ++i) {
        const FileSearchResultRef &r = results.at(i);
        const QString modified = FileSearchResultExport::isoWithOffset(r->dateModified());
        const QString created = FileSearchResultExport::isoWithOffset(r->dateCreated());
        EXPECT_EQ(csv.at(i + 1), QStringList({r->path(), r->fileName(), r->dirPath(), QStringLiteral("F"),
                                              QString::number(r->fileSize()), modified, created}));
        const QJsonObject o = QJsonDocument::fromJson(jsonLines.at(i)).object();
        for (int column : {0, 3, 5, 6}) // path, type, modified, created as in the CSV row
            EXPECT_EQ(o.value(csv.first().at(column)).toString(), csv.at(i + 1).at(column));
        EXPECT_EQ(o.value(QStringLiteral("size")).toInteger(), r->fileSize());
        paths += r->cPath() + '\n';
    }
    EXPECT_EQ(readAll(out.path(QStringLiteral("found.txt"))), paths);

    // The hot key's press: an inactive application shows every window, an
    // active one fades them out; presses are ignored while the preferences
    // are key; a background start opens its first window on the first request.
    app.mi_file_newWindow();
    const QList<DocumentWindowController *> controllers = app.documentWindowControllers();
    auto visibleCount = [&] {
        return std::count_if(controllers.begin(), controllers.end(),
                             [](DocumentWindowController *each) { return each->window()->isVisible(); });
    };
    for (DocumentWindowController *each : controllers)
        ASSERT_TRUE(QTest::qWaitForWindowExposed(each->window()));
    controllers.first()->window()->activateWindow();
    ASSERT_TRUE(kztest::waitUntil([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }));
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());

    // The hot key must not toggle the windows while the user records a
    // shortcut in the preferences window, which is made once.
    app.showPreferences();
    PreferencesWindowController *prefs = app.preferencesWindowController();
    app.showPreferences();
    EXPECT_EQ(app.preferencesWindowController(), prefs);
    ASSERT_TRUE(QTest::qWaitForWindowActive(prefs));
    app.toggleWindowsFromHotKey();
    QTest::qWait(DocumentWindowController::kFadeDuration + 100);
    EXPECT_EQ(visibleCount(), 2);
    prefs->close();
    controllers.first()->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controllers.first()->window()));
    app.toggleWindowsFromHotKey();
    EXPECT_EQ(visibleCount(), 2); // fading out
    ASSERT_TRUE(kztest::waitUntil([&] { return visibleCount() == 0; }, 2000));
    ASSERT_TRUE(kztest::waitUntil([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }));
    app.toggleWindowsFromHotKey();
    EXPECT_EQ(visibleCount(), 2);
    EXPECT_TRUE(kztest::waitUntil([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }));

    AppDelegate background;
    background.setLaunchesInBackground(true);
    background.applicationDidFinishLaunching();
    EXPECT_TRUE(background.documentWindowControllers().isEmpty());
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
    background.showWindowsFromRequest();
    ASSERT_EQ(background.documentWindowControllers().size(), 1);
    EXPECT_TRUE(background.documentWindowControllers().first()->window()->isVisible());
    background.setLaunchesInBackground(false);
}

} // namespace
