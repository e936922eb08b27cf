#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QThread>
#include <atomic>

#include <gtest/gtest.h>

#include "platform/KZGuardedFS.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

using namespace kzplatform;
using scopetest::FakeMountTable;
using scopetest::SilentServer;

namespace {
QByteArray enc(const QString &s)
{
    return QFile::encodeName(s);
}
} // namespace

TEST(KZGuardedFS, RouteFollowsLocalLinksIntoARemoteMount)
{
    kztest::TempTree tree;
    tree.mkdir(QStringLiteral("nas/share"));
    tree.mkdir(QStringLiteral("local/dir"));
    tree.symlink(tree.path(QStringLiteral("nas")), QStringLiteral("abs-link"));
    tree.symlink(QStringLiteral("nas/share"), QStringLiteral("rel-link"));
    tree.symlink(QStringLiteral("local"), QStringLiteral("local-link"));
    tree.symlink(QStringLiteral("loop-b"), QStringLiteral("loop-a"));
    tree.symlink(QStringLiteral("loop-a"), QStringLiteral("loop-b"));
    const QList<KZMountEntry> table = kzParseMountInfo(
        scopetest::rootLine() + scopetest::mountLine(2, tree.path(QStringLiteral("nas")), "nfs4", "srv:/e", "0:70")
        + scopetest::mountLine(3, tree.path(QStringLiteral("trap")), "autofs", "systemd-1", "0:71"));
    using enum KZMountAccess;
    // path asked, how it is reached, the path it resolves to
    const std::tuple<const char *, KZMountAccess, const char *> cases[] = {
        {"abs-link/share/file", Remote, "nas/share/file"},
        {"rel-link/x", Remote, "nas/share/x"},
        {"nas", Remote, "nas"}, // crossing into the mount point would ask the server
        {"trap/a/b", Automount, "trap/a/b"},
        {"local-link/dir/../dir", Local, "local/dir"},
        {"abs-link", Local, "abs-link"}, // the last component is not followed, as by lstat
        {"loop-a/x", Local, nullptr},    // a loop of links ends the walk instead of spinning
    };
    for (const auto &[path, access, resolved] : cases) {
        const KZPathRoute r = kzRouteOfPath(tree.pathBytes(path), table);
        EXPECT_EQ(r.access, access) << path;
        if (resolved) {
            EXPECT_EQ(r.resolvedPath, tree.pathBytes(resolved)) << path;
        }
    }
    EXPECT_EQ(kzRouteOfPath(tree.pathBytes("abs-link/share"), table).mountPoint, tree.pathBytes("nas"));
}

TEST(KZGuardedFS, TimeBoxGivesUpAndDoesNotPileUpWorkers)
{
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto ran = std::make_shared<std::atomic<int>>(0);
    auto count = [ran]() { ++*ran; };
    const QByteArray key = "/test/timebox";
    EXPECT_FALSE(kzRunTimeBoxed(key, 100, [release]() {
        while (!release->load())
            QThread::msleep(5);
    }));
    EXPECT_EQ(kzStuckWorkerCount(key), 1);
    // While that worker hangs, the same mount is not tried again; another one is.
    EXPECT_FALSE(kzRunTimeBoxed(key, 1000, count));
    EXPECT_EQ(ran->load(), 0);
    EXPECT_TRUE(kzRunTimeBoxed("/test/other", 2000, count));
    EXPECT_EQ(ran->load(), 1);

    release->store(true);
    ASSERT_TRUE(kztest::waitUntil([&] { return kzStuckWorkerCount(key) == 0; }));
    EXPECT_TRUE(kzRunTimeBoxed(key, 2000, count));
    EXPECT_EQ(ran->load(), 2);
}

TEST(KZGuardedFS, SilentServerTimesOutOnceAutomountIsNeverTouchedAndLinksAskWhereTheyLead)
{
    kztest::TempTree tree;
    tree.mkdir(QStringLiteral("nas/dir"));
    tree.mkdir(QStringLiteral("trap/dir"));
    tree.mkdir(QStringLiteral("disk/dir"));
    const QByteArray toNas = enc(tree.symlink(tree.path(QStringLiteral("nas/dir")), QStringLiteral("to-nas")));
    const QByteArray toDisk = enc(tree.symlink(QStringLiteral("disk"), QStringLiteral("to-disk")));
    const QString nas = tree.path(QStringLiteral("nas"));
    FakeMountTable mounts(scopetest::mountLine(2, nas, "nfs", "srv:/e", "0:70")
                          + scopetest::mountLine(3, tree.path(QStringLiteral("trap")), "autofs", "auto", "0:71"));
    KZStat st;
    {
        SilentServer server;
        // lstat of a local link into the mount is local.
        EXPECT_EQ(kzLstatGuarded(toNas, &st, 150), 0);
        EXPECT_TRUE(S_ISLNK(st.mode));
        EXPECT_EQ(server.calls(), 0);
        errno = 0;
        EXPECT_EQ(kzLstatGuarded(tree.pathBytes("nas/dir"), &st, 150), -1);
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_EQ(server.calls(), 1);
        // Stuck: every later call on that mount, through a link too, answers
        // at once without a new worker.
        EXPECT_EQ(kzLstatGuarded(tree.pathBytes("nas"), &st, 5000), -1);
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_EQ(kzStatGuarded(toNas, &st, 5000), -1);
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_EQ(kzAccessGuarded(toNas, R_OK, 5000), -1);
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_FALSE(kzListFolderGuarded(toNas, 5000).has_value());
        EXPECT_EQ(errno, ETIMEDOUT);

        EXPECT_EQ(kzLstatGuarded(tree.pathBytes("trap/dir"), &st, 5000), -1);
        EXPECT_EQ(errno, ENOMEDIUM);
        // Local paths and link targets are answered whatever the server does.
        EXPECT_EQ(kzLstatGuarded(tree.pathBytes("disk/dir"), &st, 5000), 0);
        EXPECT_TRUE(S_ISDIR(st.mode));
        EXPECT_EQ(kzStatGuarded(toDisk, &st), 0);
        EXPECT_TRUE(S_ISDIR(st.mode));
        EXPECT_EQ(kzListFolderGuarded(toDisk), QList<QByteArray>{"dir"});
        EXPECT_EQ(server.calls(), 1);
    }
    ASSERT_TRUE(scopetest::waitForWorkersToDrain(nas));
    // The server answers again: the remote path is reachable, errors come through.
    EXPECT_EQ(kzStatGuarded(toNas, &st), 0);
    EXPECT_TRUE(S_ISDIR(st.mode));
    EXPECT_EQ(kzAccessGuarded(toNas, R_OK), 0);
    EXPECT_EQ(kzListFolderGuarded(enc(nas)), QList<QByteArray>{"dir"});
    EXPECT_EQ(kzLstatGuarded(tree.pathBytes("nas/missing"), &st, 5000), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(KZGuardedFS, TheMountTableSeesEveryChangeOfTheMounts)
{
    // The table is kept between reads: a mount made or removed later must
    // still be seen (in a child with a mount namespace of its own).
    kztest::TempTree tree;
    const QByteArray point = enc(tree.mkdir(QStringLiteral("point")));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(77);
        const auto mounted = [&] {
            for (const KZMountEntry &e : kzCurrentMountTable())
                if (e.mountPoint == point)
                    return true;
            return false;
        };
        if (mounted())
            ::_exit(1);
        if (::mount("trovix-test", point.constData(), "tmpfs", 0, nullptr) != 0)
            ::_exit(77);
        if (!mounted())
            ::_exit(2);
        ::umount(point.constData());
        ::_exit(mounted() ? 3 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no permission to make a mount namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
