// What the walk reaches where the system stands in its way: more folder levels
// than open descriptors, and network mounts that no longer answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/resource.h>

#include "engine/KZFileSearch.h"
#include "platform/KZResourceLimits.h"
#include "tests/engine/SearchRunner.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

using enginetest::found;
using enginetest::nameIs;

// The soft descriptor limit stayed as low as the login set it (often 1,024),
// while a walk holds one descriptor per folder level.
TEST(KZFileSearchWalkReach, TheSoftDescriptorLimitIsRaisedToTheHardOne)
{
    struct rlimit low {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &low), 0);
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const long long raised = kzplatform::kzRaiseOpenFileLimit();
    struct rlimit now {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
    EXPECT_EQ(raised, static_cast<long long>(now.rlim_cur));
    EXPECT_GT(now.rlim_cur, 64u);
    EXPECT_TRUE(now.rlim_max == RLIM_INFINITY || now.rlim_cur == now.rlim_max);
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
    for (const QString &mount : {nas, sshfs}) {
        EXPECT_TRUE(log.contains(QStringLiteral("remoteDir==unreachable dirPath:%1 errno:%2").arg(mount).arg(ETIMEDOUT)));
        ASSERT_TRUE(scopetest::waitForWorkersToDrain(mount));
    }
    // Mounts that answer are walked like any folder.
    EXPECT_EQ(found(t.root(), nameIs(QStringLiteral("hit"))).size(), 3);
}
