// Saved searches: identifiers, the archive on disk, damaged files, and several
// lists (windows, the command-line tool) sharing one file under a lock.
#include <QCborArray>
#include <QCborMap>
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
    QString error;
    const auto rows = RulesEditorViewController().rowsFromCanonizedCriteria(criteria, &error);
    EXPECT_TRUE(rows.has_value()) << error.toStdString();
    return rows.value_or(KZRuleRows());
}

QVariantList criteriaOf(const KZRuleRows &rows)
{
    return RulesEditorViewController::canonizedCriteriaFromCriteria(rows, false);
}

SavedSearchRef named(const char *name, const QVariantList &criteria = {})
{
    return kzMakeSavedSearch(QString::fromUtf8(name), criteria.isEmpty() ? KZRuleRows() : rowsOf(criteria));
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
    kztest::LogCapture log;
    QString file = tree.path(QStringLiteral("SavedSearches"));
};

} // namespace

TEST_F(SavedSearchesTest, IdentifiersGrowFromTheLargestAndTheSelectionIsNotKept)
{
    SavedSearches list(file);
    EXPECT_TRUE(list.savedSearches().isEmpty()) << "no file: an empty list";
    const auto a = named("a"), b = named("b"), c = named("c");
    auto d = named("d");
    for (const auto &record : {a, b, c})
        ASSERT_TRUE(list.addSavedSearches(record));
    c->uniqueId = 5; // as if 3 and 4 had been removed in between
    list.saveToDisk();
    list.addSavedSearches(d);
    EXPECT_EQ(idsOf(list), QList<qint64>({1, 2, 5, 6}));
    EXPECT_TRUE(list.removeSavedSearches(d));
    list.addSavedSearches(d = named("d again"));
    EXPECT_EQ(d->uniqueId, 6) << "the largest removed, its identifier comes back";

    EXPECT_FALSE(list.addSavedSearches(named("")));
    EXPECT_FALSE(list.addSavedSearches(d)) << "already in the list";
    EXPECT_FALSE(list.addSavedSearches(nullptr));
    EXPECT_FALSE(list.removeSavedSearches(named("unsaved"))) << "no identifier";

    list.setSelectedSavedSearch(b);
    list.removeSavedSearches(a);
    EXPECT_EQ(list.selectedSavedSearch(), b) << "another record's removal keeps the selection";
    EXPECT_TRUE(list.removeSavedSearches(std::make_shared<SavedSearch>(*b))) << "a copy with the same identifier";
    EXPECT_EQ(list.selectedSavedSearch(), nullptr);
    list.setSelectedSavedSearch(d);
    const SavedSearches relaunched(file);
    EXPECT_EQ(idsOf(relaunched), QList<qint64>({5, 6}));
    EXPECT_EQ(relaunched.savedSearchWithUniqueId(6), relaunched.savedSearchNamed(QStringLiteral("d again")));
    EXPECT_EQ(relaunched.selectedSavedSearch(), nullptr);
    EXPECT_EQ(SavedSearches::sharedInstance()->filePath(), SavedSearches::defaultFilePath());
    EXPECT_TRUE(SavedSearches::defaultFilePath().endsWith(QStringLiteral("/org.trovix.Trovix/SavedSearches")));
}

// A file that could not be read whole is kept for the user: moved aside when
// nothing in it is usable, copied when some searches were read; later saves
// neither touch that copy nor set the file aside again.
TEST_F(SavedSearchesTest, DamagedFilesAreSetAsideNeverOverwritten)
{
    const auto archived = [&](const QCborValue &object) {
        EXPECT_TRUE(kz_archiveObjectToFile(KZArchivedObject{QStringLiteral("SavedSearches"), 1, object}, file));
        return contentsOf(file);
    };
    QCborMap good{{QStringLiteral("name"), QStringLiteral("good")}, {QStringLiteral("uniqueId"), 3},
                  {QStringLiteral("criteria"), kzArchiveRuleRows(rowsOf({criterion(4, 11)}))}};
    QCborMap nameless = good;
    nameless.remove(QStringLiteral("name"));
    const std::pair<QByteArray, QList<qint64>> cases[] = {
        {"not cbor at all \xff\xfe", {}},
        {archived(QCborValue(42)), {}},
        {archived(QCborArray{good, nameless, QStringLiteral("junk")}), {3}},
    };
    for (const auto &[bytes, ids] : cases) {
        QFile::remove(file + QStringLiteral(".bad"));
        tree.writeFile(QStringLiteral("SavedSearches"), bytes);
        SavedSearches list(file);
        EXPECT_EQ(idsOf(list), ids);
        EXPECT_EQ(contentsOf(file + QStringLiteral(".bad")), bytes);
        EXPECT_EQ(QFile::exists(file), !ids.isEmpty());
        ASSERT_TRUE(list.addSavedSearches(named("new")));
        EXPECT_EQ(contentsOf(file + QStringLiteral(".bad")), bytes);
        EXPECT_FALSE(QFile::exists(file + QStringLiteral(".bad.2")));
        EXPECT_EQ(SavedSearches(file).savedSearches().size(), ids.size() + 1);
    }
}

TEST_F(SavedSearchesTest, AFailedWriteSaysSoAndKeepsTheList)
{
    SavedSearches list(tree.mkdir(QStringLiteral("blocked"))); // a folder where the file should be
    QString message;
    EXPECT_FALSE(list.addSavedSearches(named("kept"), &message));
    EXPECT_TRUE(message.contains(QStringLiteral("could not be written"))) << message.toStdString();
    EXPECT_EQ(list.savedSearches().size(), 1);
}

// The editor changes its rows in place: a saved search took those edits
// without "Save" when it kept the very rows it was given.
TEST_F(SavedSearchesTest, EditsInTheEditorDoNotChangeWhatWasSaved)
{
    rulestest::FakeRulesEditorView view;
    RulesEditorViewController controller;
    controller.setRulesEditorView(&view);
    const auto edit = [&](const QString &text) {
        controller.rulesEditorViewDidChangeCombox(&view, text, {}, view.rows.at(0));
        EXPECT_EQ(controller.canonizedCriteria(), QVariantList({criterion(1, 1, text)}));
    };
    controller.reloadDataWithScopeDir(QString(), rowsOf({criterion(1, 1, QStringLiteral("saved"))}));
    SavedSearches list(file);
    const auto record = kzMakeSavedSearch(QStringLiteral("s"), view.rows);
    list.addSavedSearches(record);
    edit(QStringLiteral("edited"));
    EXPECT_EQ(criteriaOf(record->criteria), QVariantList({criterion(1, 1, QStringLiteral("saved"))}));
    list.replaceCriteriaOfSavedSearch(record, view.rows);
    edit(QStringLiteral("again"));
    EXPECT_EQ(criteriaOf(record->criteria), QVariantList({criterion(1, 1, QStringLiteral("edited"))}));
    EXPECT_EQ(criteriaOf(SavedSearches(file).savedSearches().first()->criteria), criteriaOf(record->criteria));
}

// A change made while another process holds the file's lock must wait for it,
// and when the lock does not come, change neither the list nor the file.
TEST_F(SavedSearchesTest, AFileLockedElsewhereIsLeftAloneAndSaysSo)
{
    SavedSearches list(file);
    const auto kept = named("kept", {criterion(1, 1, QStringLiteral("k"))});
    ASSERT_TRUE(list.addSavedSearches(kept));
    const QByteArray before = contentsOf(file);
    kzplatform::KZFileLock other; // another open of the lock file conflicts like another process
    ASSERT_TRUE(other.lock(QFile::encodeName(file + QStringLiteral(".lock")), 0));
    kzSetSharedFileLockTimeoutMsForTesting(100);
    const std::vector<std::function<bool(QString *)>> changes = {
        [&](QString *m) { return list.addSavedSearches(named("new"), m); },
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

    other.unlock();
    EXPECT_TRUE(list.addSavedSearches(named("new"))) << "the other holder is done";
    kzSetSharedFileLockTimeoutMsForTesting(0);
}

// A second list on the same file (the command-line tool, another window) wrote
// back what it had read at its start: searches added elsewhere were lost,
// identifiers collided, and searches removed elsewhere came back.
TEST_F(SavedSearchesTest, ChangesMadeElsewhereAreTakenInNotUndone)
{
    SavedSearches window(file);
    const auto a = named("a");
    const auto b = named("b", {criterion(1, 1, QStringLiteral("b"))});
    ASSERT_TRUE(window.addSavedSearches(a));
    ASSERT_TRUE(window.addSavedSearches(b));
    window.setSelectedSavedSearch(a);

    SavedSearches tool(file);
    ASSERT_TRUE(tool.addSavedSearches(named("t", {criterion(1, 1, QStringLiteral("t"))})));
    ASSERT_TRUE(tool.removeSavedSearches(tool.savedSearchNamed(QStringLiteral("a"))));
    ASSERT_TRUE(tool.replaceCriteriaOfSavedSearch(tool.savedSearchNamed(QStringLiteral("b")),
                                                  rowsOf({criterion(1, 1, QStringLiteral("new"))})));

    // The window still lists "a"; its next changes take in all of the tool's.
    EXPECT_FALSE(window.replaceCriteriaOfSavedSearch(a, {})) << "removed elsewhere";
    EXPECT_EQ(window.selectedSavedSearch(), nullptr);
    const auto c = named("c");
    ASSERT_TRUE(window.addSavedSearches(c));
    EXPECT_EQ(idsOf(SavedSearches(file)), QList<qint64>({2, 3, 4}));
    EXPECT_EQ(window.savedSearchNamed(QStringLiteral("b")), b) << "the same record, with the rows stored now";
    EXPECT_EQ(criteriaOf(b->criteria), QVariantList({criterion(1, 1, QStringLiteral("new"))}));
    EXPECT_EQ(criteriaOf(window.savedSearchWithUniqueId(3)->criteria), QVariantList({criterion(1, 1, QStringLiteral("t"))}));
}
