// Saved searches: identifiers, selection, the archive on disk, damaged files,
// and two lists (a window and the command-line tool) sharing one file.
#include <QCborArray>
#include <QCborMap>
#include <QDir>
#include <QFile>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "rules/RulesEditorViewController.h"
#include "rules/SavedSearches.h"
#include "support/KZArchive.h"
#include "support/KZFileSafety.h"
#include "tests/rules/RulesTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

using rulestest::criterion;

namespace {

KZRuleRows rowsOf(const QVariantList &criteria)
{
    RulesEditorViewController controller;
    QString error;
    const auto rows = controller.rowsFromCanonizedCriteria(criteria, &error);
    EXPECT_TRUE(rows.has_value()) << error.toStdString();
    return rows.value_or(KZRuleRows());
}

QList<qint64> idsOf(const SavedSearches &list)
{
    QList<qint64> ids;
    for (const auto &record : list.savedSearches())
        ids.append(record->uniqueId);
    return ids;
}

QByteArray contentsOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class SavedSearchesTest : public ::testing::Test
{
protected:
    kztest::TempTree tree;
    QString file = tree.path(QStringLiteral("SavedSearches"));
};

} // namespace

TEST_F(SavedSearchesTest, IdentifiersGrowFromTheLargest)
{
    SavedSearches list(file);
    EXPECT_TRUE(list.savedSearches().isEmpty()) << "no file: an empty list";
    const auto first = kzMakeSavedSearch(QStringLiteral("one"), rowsOf({criterion(1, 1, QStringLiteral("a"))}));
    ASSERT_TRUE(list.addSavedSearches(first));
    EXPECT_EQ(first->uniqueId, 1);
    list.addSavedSearches(kzMakeSavedSearch(QStringLiteral("two"), {}));
    const auto third = kzMakeSavedSearch(QStringLiteral("three"), {});
    list.addSavedSearches(third);
    third->uniqueId = 5; // as if 3 and 4 had been removed in between
    list.saveToDisk();
    const auto next = kzMakeSavedSearch(QStringLiteral("next"), {});
    list.addSavedSearches(next);
    EXPECT_EQ(next->uniqueId, 6) << "records 1, 2 and 5: the next gets 6";
    EXPECT_EQ(idsOf(list), QList<qint64>({1, 2, 5, 6}));

    // Removing the largest lets its identifier come back.
    EXPECT_TRUE(list.removeSavedSearches(next));
    const auto again = kzMakeSavedSearch(QStringLiteral("again"), {});
    list.addSavedSearches(again);
    EXPECT_EQ(again->uniqueId, 6);

    // Refusals.
    kztest::LogCapture log;
    EXPECT_FALSE(list.addSavedSearches(kzMakeSavedSearch(QString(), {})));
    EXPECT_FALSE(list.addSavedSearches(again)) << "already in the list";
    EXPECT_FALSE(list.addSavedSearches(nullptr));
    EXPECT_FALSE(list.removeSavedSearches(kzMakeSavedSearch(QStringLiteral("unsaved"), {}))) << "no identifier";
    EXPECT_EQ(list.savedSearches().size(), 4);
    EXPECT_TRUE(log.contains(QStringLiteral("record.name.length==0")));
}

TEST_F(SavedSearchesTest, RemovingTheSelectedOneClearsTheSelection)
{
    SavedSearches list(file);
    const auto a = kzMakeSavedSearch(QStringLiteral("a"), {});
    const auto b = kzMakeSavedSearch(QStringLiteral("b"), {});
    list.addSavedSearches(a);
    list.addSavedSearches(b);
    list.setSelectedSavedSearch(b);
    list.removeSavedSearches(a);
    EXPECT_EQ(list.selectedSavedSearch(), b) << "another record's removal keeps the selection";
    // A copy carrying the same identifier removes the stored record.
    auto copy = std::make_shared<SavedSearch>(*b);
    EXPECT_TRUE(list.removeSavedSearches(copy));
    EXPECT_EQ(list.selectedSavedSearch(), nullptr);
    EXPECT_TRUE(list.savedSearches().isEmpty());
}

TEST_F(SavedSearchesTest, RecordsSurviveARelaunchButNotTheSelection)
{
    const QVariantList criteria = {criterion(5, 15, QStringLiteral("3|1")), criterion(2, 7, qint64(1048576)),
                                   criterion(10, 5, QStringList({QStringLiteral("/srv")}))};
    {
        SavedSearches list(file);
        const auto record = kzMakeSavedSearch(QStringLiteral("Recent big files"), rowsOf(criteria));
        list.addSavedSearches(record);
        list.setSelectedSavedSearch(record);
    }
    SavedSearches relaunched(file);
    ASSERT_EQ(relaunched.savedSearches().size(), 1);
    const auto record = relaunched.savedSearches().first();
    EXPECT_EQ(record->name, QStringLiteral("Recent big files"));
    EXPECT_EQ(record->uniqueId, 1);
    EXPECT_EQ(relaunched.selectedSavedSearch(), nullptr);
    EXPECT_EQ(relaunched.savedSearchWithUniqueId(1), record);
    EXPECT_EQ(relaunched.savedSearchNamed(QStringLiteral("Recent big files")), record);
    EXPECT_EQ(relaunched.savedSearchNamed(QStringLiteral("recent big files")), nullptr);

    // The stored rows reload into an editor and give the same criteria.
    rulestest::FakeRulesEditorView view;
    RulesEditorViewController controller;
    controller.setRulesEditorView(&view);
    controller.reloadDataWithScopeDir(QString(), record->criteria);
    EXPECT_EQ(controller.canonizedCriteria(), criteria);

    // Updating the rows of the selected record is saved too.
    relaunched.replaceCriteriaOfSavedSearch(record, rowsOf({criterion(1, 1, QStringLiteral("x"))}));
    SavedSearches third(file);
    EXPECT_EQ(RulesEditorViewController::canonizedCriteriaFromCriteria(third.savedSearches().first()->criteria, false),
              QVariantList({criterion(1, 1, QStringLiteral("x"))}));
}

TEST_F(SavedSearchesTest, ADamagedFileIsSetAsideNotOverwritten)
{
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not cbor at all \xff\xfe");
    }
    kztest::LogCapture log;
    SavedSearches list(file);
    EXPECT_TRUE(list.savedSearches().isEmpty());
    EXPECT_EQ(contentsOf(file + QStringLiteral(".bad")), QByteArray("not cbor at all \xff\xfe"));
    list.addSavedSearches(kzMakeSavedSearch(QStringLiteral("new"), {}));
    EXPECT_EQ(contentsOf(file + QStringLiteral(".bad")), QByteArray("not cbor at all \xff\xfe"))
        << "the user's old file stays where it was put";
    EXPECT_EQ(SavedSearches(file).savedSearches().size(), 1);
}

TEST_F(SavedSearchesTest, AListOfTheWrongShapeIsSetAside)
{
    ASSERT_TRUE(kz_archiveObjectToFile(KZArchivedObject{QStringLiteral("SavedSearches"), 1, QCborValue(42)}, file));
    const QByteArray original = contentsOf(file);
    kztest::LogCapture log;
    SavedSearches list(file);
    EXPECT_TRUE(list.savedSearches().isEmpty());
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(contentsOf(file + QStringLiteral(".bad")), original);
}

TEST_F(SavedSearchesTest, UnreadableRecordsAreKeptInACopy)
{
    QCborArray records;
    QCborMap good;
    good.insert(QStringLiteral("name"), QStringLiteral("good"));
    good.insert(QStringLiteral("uniqueId"), 3);
    good.insert(QStringLiteral("criteria"), kzArchiveRuleRows(rowsOf({criterion(4, 11)})));
    records.append(good);
    QCborMap nameless = good;
    nameless.remove(QStringLiteral("name"));
    records.append(nameless);
    records.append(QStringLiteral("junk"));
    ASSERT_TRUE(kz_archiveObjectToFile(KZArchivedObject{QStringLiteral("SavedSearches"), 1, records}, file));
    const QByteArray original = contentsOf(file);

    kztest::LogCapture log;
    SavedSearches list(file);
    ASSERT_EQ(list.savedSearches().size(), 1);
    EXPECT_EQ(list.savedSearches().first()->name, QStringLiteral("good"));
    EXPECT_EQ(list.savedSearches().first()->uniqueId, 3);
    EXPECT_EQ(contentsOf(file + QStringLiteral(".bad")), original) << "a copy keeps what could not be read";
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_TRUE(log.contains(QStringLiteral("unreadable saved searches")));
}

TEST_F(SavedSearchesTest, AFailedWriteIsLoggedAndKeepsTheList)
{
    const QString folder = tree.mkdir(QStringLiteral("blocked"));
    SavedSearches list(folder); // a folder where the file should be
    kztest::LogCapture log;
    EXPECT_FALSE(list.addSavedSearches(kzMakeSavedSearch(QStringLiteral("kept"), {})));
    EXPECT_EQ(list.savedSearches().size(), 1);
    EXPECT_TRUE(log.contains(QStringLiteral("kz_archiveObjectToFile==NO path:") + folder));
}

TEST_F(SavedSearchesTest, TwoListsOnOneFileKeepEachOthersSearches)
{
    SavedSearches window(file);
    window.addSavedSearches(kzMakeSavedSearch(QStringLiteral("from window"), {}));

    // The command-line tool starts later, reads the file and adds its own.
    SavedSearches tool(file);
    ASSERT_EQ(tool.savedSearches().size(), 1);
    const auto fromTool = kzMakeSavedSearch(QStringLiteral("from tool"), rowsOf({criterion(1, 1, QStringLiteral("t"))}));
    tool.addSavedSearches(fromTool);
    EXPECT_EQ(fromTool->uniqueId, 2);

    // The window, still running, saves again: the tool's search is taken in,
    // not overwritten, and identifiers do not collide.
    const auto later = kzMakeSavedSearch(QStringLiteral("window again"), {});
    window.addSavedSearches(later);
    EXPECT_EQ(later->uniqueId, 3);
    const SavedSearches reread(file);
    QStringList names;
    for (const auto &record : reread.savedSearches())
        names.append(record->name);
    EXPECT_EQ(names, rulestest::strs({"from window", "from tool", "window again"}));
    EXPECT_EQ(RulesEditorViewController::canonizedCriteriaFromCriteria(reread.savedSearchWithUniqueId(2)->criteria, false),
              QVariantList({criterion(1, 1, QStringLiteral("t"))}));
}

TEST_F(SavedSearchesTest, SharedInstanceLivesInTheApplicationSupportFolder)
{
    const QString path = SavedSearches::defaultFilePath();
    EXPECT_TRUE(path.endsWith(QStringLiteral("/org.trovix.Trovix/SavedSearches"))) << path.toStdString();
    EXPECT_TRUE(path.startsWith(kztest::testRoot()));
    SavedSearches *shared = SavedSearches::sharedInstance();
    EXPECT_EQ(shared, SavedSearches::sharedInstance());
    EXPECT_EQ(shared->filePath(), path);
    shared->addSavedSearches(kzMakeSavedSearch(QStringLiteral("shared"), {}));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(SavedSearches(path).savedSearches().size(), 1);
}

TEST_F(SavedSearchesTest, EditsInTheEditorDoNotChangeWhatWasSaved)
{
    // The editor edits its rows in place; a saved search keeps the rows as saved.
    rulestest::FakeRulesEditorView view;
    RulesEditorViewController controller;
    controller.setRulesEditorView(&view);
    controller.reloadDataWithScopeDir(QString(), rowsOf({criterion(1, 1, QStringLiteral("saved"))}));
    SavedSearches list(file);
    const auto record = kzMakeSavedSearch(QStringLiteral("s"), view.rows);
    list.addSavedSearches(record);
    const QVariantList saved = {criterion(1, 1, QStringLiteral("saved"))};
    const auto criteriaOf = [](const KZRuleRows &rows) {
        return RulesEditorViewController::canonizedCriteriaFromCriteria(rows, false);
    };

    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("edited"), {}, view.rows.at(0));
    EXPECT_EQ(controller.canonizedCriteria(), QVariantList({criterion(1, 1, QStringLiteral("edited"))}));
    EXPECT_EQ(criteriaOf(record->criteria), saved);
    EXPECT_EQ(criteriaOf(SavedSearches(file).savedSearches().first()->criteria), saved);

    // Loading the record into the editor with a detached copy keeps it so.
    controller.reloadDataWithScopeDir(QString(), kzDetachedRuleRows(record->criteria));
    controller.rulesEditorViewDidChangeCombox(&view, QStringLiteral("again"), {}, view.rows.at(0));
    EXPECT_EQ(criteriaOf(record->criteria), saved);
    list.replaceCriteriaOfSavedSearch(record, view.rows);
    EXPECT_EQ(criteriaOf(record->criteria), QVariantList({criterion(1, 1, QStringLiteral("again"))}));
    EXPECT_NE(record->criteria.first()->items.at(2), view.rows.first()->items.at(2));
}

// A change made while another process holds the file's lock must wait for it,
// and when the lock does not come, change neither the list nor the file.
TEST_F(SavedSearchesTest, AFileLockedElsewhereIsLeftAloneAndSaysSo)
{
    SavedSearches list(file);
    const auto kept = kzMakeSavedSearch(QStringLiteral("kept"), rowsOf({criterion(1, 1, QStringLiteral("k"))}));
    ASSERT_TRUE(list.addSavedSearches(kept));
    const QByteArray before = contentsOf(file);
    kzplatform::KZFileLock other; // another open of the lock file conflicts like another process
    ASSERT_TRUE(other.lock(QFile::encodeName(file + QStringLiteral(".lock")), 0));
    kzSetSharedFileLockTimeoutMsForTesting(100);
    kztest::LogCapture log;
    const std::vector<std::function<bool(QString *)>> changes = {
        [&](QString *m) { return list.addSavedSearches(kzMakeSavedSearch(QStringLiteral("new"), {}), m); },
        [&](QString *m) { return list.removeSavedSearches(kept, m); },
        [&](QString *m) { return list.replaceCriteriaOfSavedSearch(kept, {}, m); },
        [&](QString *m) { return list.saveToDisk(m); },
    };
    for (const auto &change : changes) {
        QString message;
        EXPECT_FALSE(change(&message));
        EXPECT_TRUE(message.contains(QStringLiteral("SavedSearches.lock"))) << message.toStdString();
        EXPECT_TRUE(message.contains(QStringLiteral("nothing was changed"))) << message.toStdString();
    }
    EXPECT_EQ(log.count(QStringLiteral("lock timeout")), int(changes.size()));
    ASSERT_EQ(list.savedSearches().size(), 1);
    EXPECT_FALSE(list.savedSearches().first()->criteria.isEmpty());
    EXPECT_EQ(contentsOf(file), before);

    // Once the other holder is done, the next change goes through.
    other.unlock();
    EXPECT_TRUE(list.addSavedSearches(kzMakeSavedSearch(QStringLiteral("new"), {})));
    kzSetSharedFileLockTimeoutMsForTesting(0);
}

// A search removed by one process came back when another process, which still
// listed it, saved its own list.
TEST_F(SavedSearchesTest, ChangesMadeElsewhereAreTakenInNotUndone)
{
    SavedSearches window(file);
    const auto a = kzMakeSavedSearch(QStringLiteral("a"), {});
    const auto b = kzMakeSavedSearch(QStringLiteral("b"), rowsOf({criterion(1, 1, QStringLiteral("b"))}));
    ASSERT_TRUE(window.addSavedSearches(a));
    ASSERT_TRUE(window.addSavedSearches(b));
    window.setSelectedSavedSearch(a);

    SavedSearches tool(file);
    ASSERT_TRUE(tool.removeSavedSearches(tool.savedSearchNamed(QStringLiteral("a"))));
    ASSERT_TRUE(tool.replaceCriteriaOfSavedSearch(tool.savedSearchNamed(QStringLiteral("b")),
                                                  rowsOf({criterion(1, 1, QStringLiteral("new"))})));

    // The window still lists "a"; its next change takes in both changes.
    EXPECT_FALSE(window.replaceCriteriaOfSavedSearch(a, {})) << "removed elsewhere";
    EXPECT_EQ(window.selectedSavedSearch(), nullptr);
    const auto c = kzMakeSavedSearch(QStringLiteral("c"), {});
    ASSERT_TRUE(window.addSavedSearches(c));
    EXPECT_EQ(c->uniqueId, 3);
    const SavedSearches reread(file);
    EXPECT_EQ(idsOf(reread), QList<qint64>({2, 3}));
    EXPECT_EQ(window.savedSearchNamed(QStringLiteral("b")), b) << "the same record, with the rows stored now";
    EXPECT_EQ(RulesEditorViewController::canonizedCriteriaFromCriteria(b->criteria, false),
              QVariantList({criterion(1, 1, QStringLiteral("new"))}));
}
