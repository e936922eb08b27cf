#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
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
    const QList<KZMountEntry> table = kzParseMountInfo(
        scopetest::rootLine() + scopetest::mountLine(2, tree.path(QStringLiteral("nas")), "nfs4", "srv:/e", "0:70")
        + scopetest::mountLine(3, tree.path(QStringLiteral("trap")), "autofs", "systemd-1", "0:71"));

    KZPathRoute r = kzRouteOfPath(enc(tree.path(QStringLiteral("abs-link/share/file"))), table);
    EXPECT_EQ(r.access, KZMountAccess::Remote);
    EXPECT_EQ(r.mountPoint, enc(tree.path(QStringLiteral("nas"))));
    EXPECT_EQ(r.resolvedPath, enc(tree.path(QStringLiteral("nas/share/file"))));

    r = kzRouteOfPath(enc(tree.path(QStringLiteral("rel-link/x"))), table);
    EXPECT_EQ(r.access, KZMountAccess::Remote);
    EXPECT_EQ(r.resolvedPath, enc(tree.path(QStringLiteral("nas/share/x"))));

    // The mount point itself is remote: crossing into it would ask the server.
    EXPECT_EQ(kzRouteOfPath(enc(tree.path(QStringLiteral("nas"))), table).access, KZMountAccess::Remote);
    EXPECT_EQ(kzRouteOfPath(enc(tree.path(QStringLiteral("trap/a/b"))), table).access, KZMountAccess::Automount);

    r = kzRouteOfPath(enc(tree.path(QStringLiteral("local-link/dir/../dir"))), table);
    EXPECT_EQ(r.access, KZMountAccess::Local);
    EXPECT_EQ(r.resolvedPath, enc(tree.path(QStringLiteral("local/dir"))));

    // The last component is not followed: lstat does not follow it either.
    r = kzRouteOfPath(enc(tree.path(QStringLiteral("abs-link"))), table);
    EXPECT_EQ(r.access, KZMountAccess::Local);

    // A loop of links ends the walk instead of spinning.
    tree.symlink(QStringLiteral("loop-b"), QStringLiteral("loop-a"));
    tree.symlink(QStringLiteral("loop-a"), QStringLiteral("loop-b"));
    EXPECT_EQ(kzRouteOfPath(enc(tree.path(QStringLiteral("loop-a/x"))), table).access, KZMountAccess::Local);
}

TEST(KZGuardedFS, TimeBoxGivesUpAndDoesNotPileUpWorkers)
{
    auto release = std::make_shared<std::atomic<bool>>(false);
    const QByteArray key = "/test/timebox";
    EXPECT_FALSE(kzRunTimeBoxed(key, 100, [release]() {
        while (!release->load())
            QThread::msleep(5);
    }));
    EXPECT_EQ(kzStuckWorkerCount(key), 1);
    // While that worker hangs, the same mount is not tried again.
    auto ran = std::make_shared<std::atomic<bool>>(false);
    EXPECT_FALSE(kzRunTimeBoxed(key, 1000, [ran]() { ran->store(true); }));
    EXPECT_FALSE(ran->load());
    // Another mount is not affected.
    EXPECT_TRUE(kzRunTimeBoxed("/test/other", 2000, [ran]() { ran->store(true); }));
    EXPECT_TRUE(ran->load());

    release->store(true);
    ASSERT_TRUE(kztest::waitUntil([&] { return kzStuckWorkerCount(key) == 0; }));
    ran->store(false);
    EXPECT_TRUE(kzRunTimeBoxed(key, 2000, [ran]() { ran->store(true); }));
    EXPECT_TRUE(ran->load());
}

TEST(KZGuardedFS, LstatOfASilentServerTimesOutAndAutomountIsNeverTouched)
{
    kztest::TempTree tree;
    tree.mkdir(QStringLiteral("nas/dir"));
    tree.mkdir(QStringLiteral("trap/dir"));
    tree.mkdir(QStringLiteral("disk/dir"));
    const QString nas = tree.path(QStringLiteral("nas"));
    FakeMountTable mounts(scopetest::mountLine(2, nas, "nfs", "srv:/e", "0:70")
                          + scopetest::mountLine(3, tree.path(QStringLiteral("trap")), "autofs", "auto", "0:71"));
    KZStat st;
    {
        SilentServer server;
        errno = 0;
        EXPECT_EQ(kzLstatGuarded(enc(tree.path(QStringLiteral("nas/dir"))), &st, 150), -1);
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_EQ(server.calls(), 1);
        // Stuck: the next call answers at once without a new worker.
        EXPECT_EQ(kzLstatGuarded(enc(tree.path(QStringLiteral("nas"))), &st, 5000), -1);
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_EQ(server.calls(), 1);

        EXPECT_EQ(kzLstatGuarded(enc(tree.path(QStringLiteral("trap/dir"))), &st, 5000), -1);
        EXPECT_EQ(errno, ENOMEDIUM);
        // A local path is stat'ed directly, whatever the server does.
        EXPECT_EQ(kzLstatGuarded(enc(tree.path(QStringLiteral("disk/dir"))), &st, 5000), 0);
        EXPECT_TRUE(S_ISDIR(st.mode));
        EXPECT_EQ(server.calls(), 1);
    }
    ASSERT_TRUE(scopetest::waitForWorkersToDrain(nas));
    // The server answers again: the remote path is reachable, errors come through.
    EXPECT_EQ(kzLstatGuarded(enc(tree.path(QStringLiteral("nas/dir"))), &st, 5000), 0);
    EXPECT_TRUE(S_ISDIR(st.mode));
    EXPECT_EQ(kzLstatGuarded(enc(tree.path(QStringLiteral("nas/missing"))), &st, 5000), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(KZGuardedFS, CallsThatFollowLinksAskWhereTheLinkLeads)
{
    // A local link into a silent server's mount: lstat of the link is local,
    // stat, access and listing through it are time-boxed.
    kztest::TempTree tree;
    tree.mkdir(QStringLiteral("nas/dir"));
    tree.mkdir(QStringLiteral("disk/dir"));
    tree.symlink(tree.path(QStringLiteral("nas/dir")), QStringLiteral("to-nas"));
    tree.symlink(QStringLiteral("disk"), QStringLiteral("to-disk"));
    const QString nas = tree.path(QStringLiteral("nas"));
    FakeMountTable mounts(scopetest::mountLine(2, nas, "nfs", "srv:/e", "0:70"));
    const QByteArray toNas = enc(tree.path(QStringLiteral("to-nas")));
    KZStat st;
    {
        SilentServer server;
        EXPECT_EQ(kzLstatGuarded(toNas, &st, 150), 0);
        EXPECT_TRUE(S_ISLNK(st.mode));
        EXPECT_EQ(server.calls(), 0);
        errno = 0;
        EXPECT_EQ(kzStatGuarded(toNas, &st, 150), -1);
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_EQ(kzAccessGuarded(toNas, R_OK, 5000), -1);
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_FALSE(kzListFolderGuarded(toNas, 5000).has_value());
        EXPECT_EQ(errno, ETIMEDOUT);
        EXPECT_EQ(server.calls(), 1);
        // Local targets are answered whatever the server does.
        EXPECT_EQ(kzStatGuarded(enc(tree.path(QStringLiteral("to-disk"))), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.mode));
        EXPECT_EQ(kzListFolderGuarded(enc(tree.path(QStringLiteral("to-disk")))), QList<QByteArray>{"dir"});
    }
    ASSERT_TRUE(scopetest::waitForWorkersToDrain(nas));
    EXPECT_EQ(kzStatGuarded(toNas, &st), 0);
    EXPECT_TRUE(S_ISDIR(st.mode));
    EXPECT_EQ(kzAccessGuarded(toNas, R_OK), 0);
    EXPECT_EQ(kzListFolderGuarded(enc(nas)), QList<QByteArray>{"dir"});
    EXPECT_EQ(kzAccessGuarded(enc(tree.path(QStringLiteral("nas/missing"))), R_OK), -1);
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
