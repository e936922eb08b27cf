// Several processes change the favourites and the excluded folders at once.
#include <QFile>
#include <QProcess>
#include <QSet>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "scope/ScopeDirManager.h"
#include "support/KZFileSafety.h"
#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

QString entry(const QString &path, bool state)
{
    return path + (state ? QStringLiteral(" on") : QStringLiteral(" off"));
}

} // namespace

// Favourites and excluded folders added or switched off by several processes
// at once were lost: each process wrote back the whole lists it had read at
// its start.
TEST(ScopeSharedFiles, ChangesFromManyProcessesAtOnceAreAllKept)
{
    kztest::resetTestEnvironment();
    ScopeDirManager::resetSharedInstanceForTesting();
    kztest::TempTree tree;
    KZUserDefaults::standardUserDefaults().setObject(50, kScopeDirManagerNbMaxKey);
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    QStringList expected;
    for (int i = 0; i < 4; ++i) {
        m->addExcludedDir(QStringLiteral("/srv/on%1").arg(i));
        expected.append(entry(QStringLiteral("/srv/on%1").arg(i), false));
    }
    QStringList favorites;
    for (int i = 0; i < 9; ++i)
        favorites.append(tree.mkdir(QStringLiteral("fav%1").arg(i)));

    std::vector<std::unique_ptr<QProcess>> runs;
    auto run = [&](const QString &verb, const QString &path) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->start(QStringLiteral(SCOPE_CHANGE_TOOL_PATH), {verb, path});
    };
    for (int i = 0; i < 8; ++i) {
        run(QStringLiteral("exclude"), QStringLiteral("/srv/x%1").arg(i));
        run(QStringLiteral("favorite"), favorites[i]);
    }
    for (int i = 0; i < 4; ++i)
        run(QStringLiteral("off"), QStringLiteral("/srv/on%1").arg(i));
    // This process changes both while the others do.
    m->addExcludedDir(QStringLiteral("/srv/here"));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(favorites[8]));
    for (auto &p : runs) {
        ASSERT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }

    ScopeDirManager::resetSharedInstanceForTesting();
    m = ScopeDirManager::sharedInstance();
    QStringList excluded;
    for (const QVariant &v : m->excludedDirs())
        excluded.append(entry(v.toMap().value(QStringLiteral("path")).toString(), v.toMap().value(QStringLiteral("state")).toBool()));
    for (int i = 0; i < 8; ++i)
        expected.append(entry(QStringLiteral("/srv/x%1").arg(i), true));
    expected.append(entry(QStringLiteral("/srv/here"), true));
    excluded.sort();
    expected.sort();
    EXPECT_EQ(excluded, expected);
    QSet<QString> paths;
    QSet<qint64> ids;
    for (const auto &dir : m->favoriteDirs()) {
        paths.insert(dir->path());
        ids.insert(dir->uniqueId());
    }
    EXPECT_EQ(paths, QSet<QString>(favorites.begin(), favorites.end()));
    EXPECT_EQ(ids.size(), favorites.size());
    ScopeDirManager::resetSharedInstanceForTesting();
}

// While another process holds the locks, a change waits for them and, when
// they do not come, changes neither memory nor files.
TEST(ScopeSharedFiles, ListsLockedElsewhereAreLeftAlone)
{
    kztest::resetTestEnvironment();
    ScopeDirManager::resetSharedInstanceForTesting();
    kztest::TempTree tree;
    const QString kept = tree.mkdir(QStringLiteral("kept"));
    ScopeDirManager *m = ScopeDirManager::sharedInstance();
    m->addExcludedDir(QStringLiteral("/srv/kept"));
    ASSERT_TRUE(m->proposeSelectionWithDirPath(kept));
    const auto favoritesBefore = m->favoriteDirs();

    kzplatform::KZFileLock settings;
    kzplatform::KZFileLock favorites;
    ASSERT_TRUE(settings.lock(QFile::encodeName(KZUserDefaults::standardUserDefaults().sharedLockPath()), 0));
    ASSERT_TRUE(favorites.lock(QFile::encodeName(ScopeDirManager::favoriteDirsArchivePath() + QStringLiteral(".lock")), 0));
    kzSetSharedFileLockTimeoutMsForTesting(100);
    kztest::LogCapture log;
    m->addExcludedDir(QStringLiteral("/srv/new"));
    m->setStateOfExcludedDir(false, QStringLiteral("/srv/kept"));
    m->addFilterFilterDirPath(kept);
    EXPECT_FALSE(m->proposeSelectionWithDirPath(tree.mkdir(QStringLiteral("new"))));
    EXPECT_FALSE(m->saveToDisk());
    EXPECT_EQ(log.count(QStringLiteral("lock timeout")), 5);
    kzSetSharedFileLockTimeoutMsForTesting(0);

    const QVariantList expected{QVariantMap{{QStringLiteral("path"), QStringLiteral("/srv/kept")}, {QStringLiteral("state"), true}}};
    EXPECT_EQ(m->excludedDirs(), expected);
    EXPECT_TRUE(m->filterDirPaths().isEmpty());
    EXPECT_EQ(m->favoriteDirs(), favoritesBefore);
    EXPECT_EQ(std::get<std::shared_ptr<FavoriteDir>>(m->selectionObject())->path(), kept);
    settings.unlock();
    favorites.unlock();
    ScopeDirManager::resetSharedInstanceForTesting();
    m = ScopeDirManager::sharedInstance();
    EXPECT_EQ(m->excludedDirs(), expected);
    EXPECT_TRUE(m->filterDirPaths().isEmpty());
    EXPECT_EQ(m->favoriteDirs().size(), 1);
    ScopeDirManager::resetSharedInstanceForTesting();
}
