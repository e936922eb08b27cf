// What the walk reaches where the system stands in its way: more folder levels
// than open descriptors, and network mounts that no longer answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/KZFileSearch.h"
#include "platform/KZResourceLimits.h"
#include "tests/engine/SearchRunner.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

using enginetest::criterion;
using enginetest::found;
using enginetest::runSearch;

namespace {

QVariantList nameIs(const QString &text, qint64 op = KZFileSearchOperatorContains)
{
    return {criterion(KZFileSearchKindFileName, op, text)};
}

// A chain of depth folders "d/d/d/..." below root, each holding a file "hit";
// removed by the object without needing a descriptor per level.
class Chain
{
public:
    Chain(const QByteArray &root, int depth)
        : m_root(root)
        , m_depth(depth)
    {
        int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < depth && fd >= 0; ++i) {
            const int file = ::openat(fd, "hit", O_WRONLY | O_CREAT, 0644);
            ::close(file);
            ::mkdirat(fd, "d", 0755);
            const int child = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = child;
        }
        EXPECT_GE(fd, 0);
        ::close(fd);
    }
    ~Chain()
    {
        for (int i = m_depth; i > 0; --i) {
            QByteArray dir = m_root;
            for (int j = 0; j < i - 1; ++j)
                dir += "/d";
            ::unlink((dir + "/hit").constData());
            ::rmdir((dir + "/d").constData());
        }
    }

private:
    QByteArray m_root;
    int m_depth;
};

// Lowers the soft limit of open descriptors while alive.
class DescriptorLimit
{
public:
    explicit DescriptorLimit(rlim_t soft)
    {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        struct rlimit low = m_saved;
        low.rlim_cur = soft;
        EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }

private:
    struct rlimit m_saved {};
};

} // namespace

// Each folder level holds a descriptor: under a low limit the walk skipped the
// deep part of a chain without a word.
TEST(KZFileSearchWalkReach, ADeepChainIsWalkedToItsEndUnderALowDescriptorLimit)
{
    kztest::TempTree t;
    const Chain chain(t.rootBytes(), 400);
    enginetest::SearchRun run;
    {
        const DescriptorLimit limit(64);
        run = runSearch(t.root(), nameIs(QStringLiteral("hit"), KZFileSearchOperatorIs));
    }
    EXPECT_EQ(run.finalCounters.files, 400);
    EXPECT_EQ(run.batches.size(), 400u);
    EXPECT_EQ(run.finishedCalls, 1);
}

TEST(KZFileSearchWalkReach, TheSoftDescriptorLimitIsRaisedToTheHardOne)
{
    const DescriptorLimit limit(64);
    const long long raised = kzplatform::kzRaiseOpenFileLimit();
    struct rlimit now {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
    EXPECT_EQ(raised, static_cast<long long>(now.rlim_cur));
    EXPECT_GT(now.rlim_cur, 64u);
    if (now.rlim_max != RLIM_INFINITY)
        EXPECT_EQ(now.rlim_cur, now.rlim_max);
}

// A dead network mount below the scope held the walk in a call that no cancel reaches.
TEST(KZFileSearchWalkReach, NetworkAndFuseMountsThatDoNotAnswerAreSkipped)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("local/hit-1"));
    t.writeFile(QStringLiteral("nas/share/hit-2"));
    t.writeFile(QStringLiteral("sshfs/hit-3"));
    const QString nas = t.path(QStringLiteral("nas"));
    const QString sshfs = t.path(QStringLiteral("sshfs"));
    const scopetest::FakeMountTable mounts(scopetest::mountLine(2, nas, "nfs4", "srv:/e", "0:70")
                                           + scopetest::mountLine(3, sshfs, "fuse.sshfs", "me@host:", "0:71"));
    kztest::LogCapture log;
    QList<QPair<QByteArray, int>> unreadable;
    {
        scopetest::SilentServer server;
        EXPECT_EQ(found(t.root(), nameIs(QStringLiteral("hit")),
                        [&](KZFileSearch &s) {
                            s.setUnreadableFolderCallback([&](const QByteArray &dir, int error) { unreadable.append({dir, error}); });
                        }),
                  QStringList{QStringLiteral("local/hit-1")});
        EXPECT_EQ(server.calls(), 2);
    }
    std::sort(unreadable.begin(), unreadable.end());
    EXPECT_EQ(unreadable, (QList<QPair<QByteArray, int>>{{QFile::encodeName(nas), ETIMEDOUT}, {QFile::encodeName(sshfs), ETIMEDOUT}}));
    EXPECT_TRUE(log.contains(QStringLiteral("remoteDir==unreachable dirPath:%1 errno:%2").arg(nas).arg(ETIMEDOUT)));
    EXPECT_TRUE(log.contains(QStringLiteral("remoteDir==unreachable dirPath:%1 errno:%2").arg(sshfs).arg(ETIMEDOUT)));
    ASSERT_TRUE(scopetest::waitForWorkersToDrain(nas));
    ASSERT_TRUE(scopetest::waitForWorkersToDrain(sshfs));
    // Mounts that answer are walked like any folder.
    EXPECT_EQ(found(t.root(), nameIs(QStringLiteral("hit"))).size(), 3);
}
