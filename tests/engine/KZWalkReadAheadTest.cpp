// Folders read ahead by several threads must reach the walk's consumer exactly
// as the one-thread walk hands them over: same batches, order, counters and
// reports, and no descriptor left behind whatever stops the walk.
#include <gtest/gtest.h>

#include <QDir>
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>

#include "engine/KZFileSearch.h"
#include "engine/KZWalkReadAhead.h"
#include "platform/KZDirStream.h"
#include "tests/engine/SearchRunner.h"
#include "tests/testlib/TestEnvironment.h"

using enginetest::criterion;
using enginetest::nameIs;
using enginetest::touch;

namespace {

// On a warm test tree the readers would rest: the suite keeps them engaged
// from the first folder so that every walk of it goes through them.
class ReadersEngaged : public ::testing::Environment
{
public:
    void SetUp() override { KZWalkReadAhead::setEngagementForTesting(1); }
};
[[maybe_unused]] ::testing::Environment *const kReadersEngaged = ::testing::AddGlobalTestEnvironment(new ReadersEngaged);

// Counted after one walk: the first opens the mount table, which stays open.
int openDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

// Everything a walk tells its caller, in the order told.
QByteArray transcript(const QString &root, const QVariantList &criteria, int threads, bool paths = false)
{
    KZFileSearch::setWalkThreads(threads);
    QByteArray out;
    const auto counters = [&](int status, const KZFileSearchCounters &c) {
        out += "status " + QByteArray::number(status) + ' ' + QByteArray::number(c.files) + ' '
               + QByteArray::number(c.dirs) + ' ' + QByteArray::number(c.links) + '\n';
    };
    KZFileSearch search;
    search.setSkipsMatchStat(paths);
    search.setUnreadableFolderCallback(
        [&](const QByteArray &dir, int error) { out += "unreadable " + dir + ' ' + QByteArray::number(error) + '\n'; });
    if (paths) {
        search.performPathSearchInDirectory(root, criteria, [&](int status, const QByteArray &list, const KZFileSearchCounters &c) {
            counters(status, c);
            out += list;
        });
    } else {
        search.performSearchInDirectory(root, criteria, [&](int status, const FileSearchResultList &batch, const KZFileSearchCounters &c) {
            counters(status, c);
            for (const FileSearchResultRef &r : batch)
                out += r->cPath() + ' ' + char(r->type()) + QByteArray::number(r->fileSize()) + '\n';
        });
    }
    KZFileSearch::setWalkThreads(0);
    return out;
}

// About 20,000 entries over 2,000 folders up to 6 levels deep, with names
// that are not UTF-8, links to files and folders, and locked folders.
int buildLargeTree(const QByteArray &root)
{
    int locked = 0;
    std::vector<QByteArray> folders{root};
    for (size_t i = 0; folders.size() < 2000; ++i) {
        const QByteArray parent = folders[i % folders.size()];
        if (parent.count('/') - root.count('/') >= 6)
            continue;
        const QByteArray dir = parent + "/d" + QByteArray::number(int(folders.size())) + (i % 7 == 0 ? "\xe9\xff" : "");
        EXPECT_EQ(::mkdir(dir.constData(), 0755), 0);
        folders.push_back(dir);
    }
    for (size_t i = 0; i < folders.size(); ++i) {
        const QByteArray &dir = folders[i];
        for (int f = 0; f < 8; ++f)
            touch(dir + "/f" + QByteArray::number(f) + (f == 3 ? "-hit\x80.txt" : f == 5 ? "-HIT.txt" : ".dat"), f == 5 ? 100 : 0);
        EXPECT_EQ(::symlink("f1.dat", (dir + "/link-hit").constData()), 0);
        if (i % 50 == 7) {
            EXPECT_EQ(::symlink("..", (dir + "/up-hit").constData()), 0);
        }
        if (i % 97 == 13 && i > 0) {
            ::chmod(dir.constData(), 0);
            ++locked;
        }
    }
    return locked;
}

// A walk with readers ahead of it on a warm tree, counting the folders they
// list; no descriptor may be left open when it is over.
class ReadAheadWalk : public ::testing::Test
{
protected:
    void start(int threads)
    {
        KZFileSearch::setWalkThreads(threads);
        enginetest::found(t.root(), nameIs(QStringLiteral("nothing")));
        KZFileSearch::setCountsListedFoldersForTesting(true);
        descriptors = openDescriptors();
    }
    void TearDown() override
    {
        KZFileSearch::setCountsListedFoldersForTesting(false);
        KZFileSearch::setWalkThreads(0);
        EXPECT_EQ(openDescriptors(), descriptors);
    }
    kztest::TempTree t;
    int descriptors = 0;
};

} // namespace

// The default of the suite runs with readers; one reader is the reference walk.
// Readers engaged throughout, engaged and rested every few folders (what is
// queued, listed or being walked when they start or stop), and as measured.
TEST(KZWalkReadAhead, TheSameTranscriptForOneTwoAndEightReaders)
{
    ASSERT_TRUE(kztest::canRunUnprivileged());
    kztest::TempTree t;
    const int locked = buildLargeTree(t.rootBytes());
    t.chmod(QString(), 0755);
    const QString root = t.root();
    const QVariantList queries[] = {
        nameIs(QStringLiteral("hit")),
        {criterion(KZFileSearchKindFileName, KZFileSearchOperatorEndsWith, QStringLiteral(".txt")),
         criterion(KZFileSearchKindFileSize, KZFileSearchOperatorGreaterThan, qint64(40))},
        nameIs(QStringLiteral("d1")),
    };
    const int rc = kztest::runAsUnprivileged([&]() -> int {
        int failures = 0;
        for (const bool unknownTypes : {false, true}) {
            kzplatform::KZDirStream::setReportsUnknownTypesForTesting(unknownTypes);
            for (size_t q = 0; q < std::size(queries); ++q) {
                const QByteArray reference = transcript(root, queries[q], 1, q == 2);
                const int unreadable = int(reference.count("unreadable "));
                if (unreadable < 1 || unreadable > locked || reference.size() < 2000)
                    failures |= 1;
                for (const int period : {1, 3, 0})
                    for (const int threads : {2, 8}) {
                        KZWalkReadAhead::setEngagementForTesting(period);
                        if (transcript(root, queries[q], threads, q == 2) != reference)
                            failures |= 2 << q;
                    }
                KZWalkReadAhead::setEngagementForTesting(1);
            }
        }
        kzplatform::KZDirStream::setReportsUnknownTypesForTesting(false);
        return failures;
    });
    EXPECT_EQ(rc, 0) << "failure bits: " << rc;
}

// A cancel while readers held listings and descriptors ahead of the walk must
// end the batches at once and close every descriptor.
TEST_F(ReadAheadWalk, ACancelWhileReadersAreAheadEndsTheBatchesAndClosesEverything)
{
    for (int d = 0; d < 300; ++d)
        for (int f = 0; f < 3; ++f)
            t.writeFile(QStringLiteral("d%1/sub%2/hit-%3").arg(d % 30).arg(d).arg(f));
    start(8);
    KZFileSearch search;
    int batchesAfterCancel = 0;
    QList<int> statuses;
    search.performSearchInDirectory(t.root(), nameIs(QStringLiteral("hit")),
                                    [&](int status, const FileSearchResultList &, const KZFileSearchCounters &) {
                                        batchesAfterCancel += search.isCancelled() && status == KZFileSearchStatusBatch;
                                        statuses.append(status);
                                        if (statuses.size() != 2)
                                            return;
                                        // Let the readers get well ahead, then cancel from elsewhere.
                                        for (int i = 0; i < 2000 && KZFileSearch::listedFoldersForTesting() < 100; ++i)
                                            std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                        EXPECT_GE(KZFileSearch::listedFoldersForTesting(), 100);
                                        std::thread([&] { search.cancelSearch(); }).join();
                                    });
    EXPECT_EQ(statuses, QList<int>({KZFileSearchStatusBatch, KZFileSearchStatusBatch, KZFileSearchStatusFinished}));
    EXPECT_EQ(batchesAfterCancel, 0);
}

// Readers once listed the folders the walk skips by name (and everything in
// them), on a cold disk, where skipping matters most.
TEST_F(ReadAheadWalk, ReadersLeaveFoldersSkippedByNameAlone)
{
    for (int d = 0; d < 30; ++d)
        for (int f = 0; f < 5; ++f)
            t.writeFile(QStringLiteral("d%1/node_modules/m%2/hit").arg(d).arg(f));
    start(8);
    KZWalkReadAhead::setEngagementForTesting(1);
    const QVariantList criteria = nameIs(QStringLiteral("hit"))
        << criterion(KZFileSearchKindSkipDirNames, 5, QStringList{QStringLiteral("node_modules")});
    EXPECT_TRUE(enginetest::found(t.root(), criteria).isEmpty());
    // The root and the thirty folders d0…d29: nothing under node_modules.
    EXPECT_EQ(KZFileSearch::listedFoldersForTesting(), 31);
}

// A folder removed after readers listed it and its sub-folders, before the
// walk reached it: the walk goes on, reports only what it was handed, and
// leaves no descriptor open.
TEST_F(ReadAheadWalk, AFolderRemovedWhileItsReadAheadIsPending)
{
    for (int d = 0; d < 40; ++d)
        t.writeFile(QStringLiteral("d%1/a/b/hit").arg(d));
    start(4);
    QStringList seen;
    QString removed;
    QList<int> errors;
    KZFileSearch search;
    search.setUnreadableFolderCallback([&](const QByteArray &, int error) { errors.append(error); });
    search.performSearchInDirectory(t.root(), nameIs(QStringLiteral("hit")),
                                    [&](int status, const FileSearchResultList &batch, const KZFileSearchCounters &) {
                                        for (const FileSearchResultRef &r : batch)
                                            seen.append(r->path().mid(t.root().size() + 1));
                                        if (status != KZFileSearchStatusBatch || !removed.isEmpty())
                                            return;
                                        for (int i = 0; i < 2000 && KZFileSearch::listedFoldersForTesting() < 121; ++i)
                                            std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                        // The last top folder of walk order is still ahead of the walk.
                                        DIR *dir = ::opendir(t.rootBytes().constData());
                                        while (const dirent *e = ::readdir(dir))
                                            if (e->d_name[0] == 'd')
                                                removed = QString::fromUtf8(e->d_name);
                                        ::closedir(dir);
                                        t.remove(removed);
                                    });
    ASSERT_FALSE(removed.isEmpty());
    // Every other folder's match arrives once; the removed one's at most once.
    const QString removedHit = removed + QStringLiteral("/a/b/hit");
    EXPECT_EQ(seen.size() - seen.count(removedHit), 39);
    EXPECT_LE(seen.count(removedHit), 1);
    EXPECT_EQ(seen.count(removedHit) + errors.size(), 1);
    for (const int error : errors)
        EXPECT_EQ(error, ENOENT);
}
