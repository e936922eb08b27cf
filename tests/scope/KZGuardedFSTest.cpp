// The mount table as read from mountinfo, and the file-system calls it guards
// against silent servers and automount points.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QThread>
#include <algorithm>
#include <atomic>

#include <gtest/gtest.h>

#include "platform/KZGuardedFS.h"
#include "platform/KZMountTable.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

using namespace kzplatform;
using scopetest::FakeMountTable;
using scopetest::SilentServer;

namespace {

// A desktop with the usual mix: disks, a USB key with a blank in its name,
// network and FUSE mounts, pseudo file systems, a bind mount, a btrfs
// subvolume, an automount trap with its mount stacked on top.
const QByteArray kDesktopSample =
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 22 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "25 22 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=8000000k,mode=755\n"
    "26 22 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,size=1600000k,mode=755\n"
    "27 22 8:1 / /boot/efi rw,relatime shared:30 - vfat /dev/sda1 rw,fmask=0077\n"
    "28 22 8:3 / /home rw,relatime shared:31 - ext4 /dev/sda3 rw\n"
    "29 22 8:17 / /media/alice/My\\040Disk rw,nosuid,nodev,relatime shared:400 - exfat /dev/sdb1 rw,uid=1000\n"
    "30 26 8:33 / /run/media/alice/USB\\040KEY rw,nosuid master:7 - vfat /dev/sdc1 rw\n"
    "31 22 0:50 / /mnt/nas rw,relatime shared:410 - nfs4 server:/export/data rw,vers=4.2,addr=192.168.1.2\n"
    "32 28 0:51 / /home/alice/remote rw,nosuid,nodev,relatime shared:420 - fuse.sshfs alice@host:/srv rw,user_id=1000\n"
    "33 26 0:52 / /run/user/1000/gvfs rw,nosuid,nodev,relatime shared:430 - fuse.gvfsd-fuse gvfsd-fuse rw,user_id=1000\n"
    "34 22 8:3 /alice/projects /srv/projects rw,relatime shared:31 - ext4 /dev/sda3 rw\n"
    "35 22 0:53 / /net rw,relatime shared:440 - autofs /etc/auto.net rw,fd=7,pgrp=1,timeout=300,indirect\n"
    "36 22 7:0 / /snap/core/123 ro,nodev,relatime shared:450 - squashfs /dev/loop0 ro\n"
    "37 22 0:55 / /mnt/smb rw - cifs //winbox/share rw,vers=3.0\n"
    "38 22 0:56 / /tmp rw,nosuid,nodev shared:460 - tmpfs tmpfs rw\n"
    "39 22 0:57 /@data /data rw,relatime - btrfs /dev/sdd1 rw,subvol=/@data\n"
    "40 22 0:57 /@data/sub /mnt/sub-bind rw - btrfs /dev/sdd1 rw,subvol=/@data\n"
    "41 22 8:17 / /mnt/usb-again rw - exfat /dev/sdb1 rw\n"
    "42 22 0:58 / /mnt/auto rw - autofs systemd-1 rw,fd=50,direct\n"
    "43 42 0:59 / /mnt/auto rw - nfs srv:/x rw\n"
    "44 22 8:49 / /media/alice/a\\011b\\012c\\134d rw - ext4 /dev/sdd2 rw\n"
    "45 22 0:60 / /mnt/idle rw - autofs systemd-1 rw,fd=51,direct\n"
    "this line is not a mount\n"
    "46 22 8:50 / /broken rw no-separator ext4 /dev/sde1 rw\n";

QByteArray enc(const QString &s)
{
    return QFile::encodeName(s);
}

} // namespace

TEST(KZMountTable, ParsesFieldsEscapesAndOptionalTags)
{
    const QList<KZMountEntry> entries = kzParseMountInfo(kDesktopSample);
    // Two malformed lines are skipped, every other one is read.
    ASSERT_EQ(entries.size(), 24);
    const KZMountEntry &usb = entries.at(8);
    EXPECT_EQ(QList<unsigned>({unsigned(usb.mountId), unsigned(usb.parentId), usb.major, usb.minor}),
              QList<unsigned>({30, 26, 8, 33}));
    // "master:7" is an optional field: the type and source come after the dash.
    EXPECT_EQ(usb.mountPoint + '|' + usb.fsType + '|' + usb.source, QByteArray("/run/media/alice/USB KEY|vfat|/dev/sdc1"));
    EXPECT_EQ(entries.at(22).mountPoint, QByteArray("/media/alice/a\tb\nc\\d"));
    EXPECT_EQ(entries.at(12).root, QByteArray("/alice/projects"));
    EXPECT_EQ(kzUnescapeMountField("no\\escape\\09x\\400\\"), QByteArray("no\\escape\\09x\\400\\"));
}

TEST(KZMountTable, AccessAndHolderOfAPathUseWholeComponentsAndTheTopOfAStack)
{
    const QList<KZMountEntry> entries = kzVisibleMounts(kzParseMountInfo(kDesktopSample));
    ASSERT_EQ(entries.size(), 23); // the automount under /mnt/auto's mount is hidden
    // path -> the mount that holds it, and how it may be reached
    const struct {
        const char *path, *holder;
        KZMountAccess access;
    } cases[] = {
        {"/", "/ ext4", KZMountAccess::Local},
        {"/mnt/nas", "/mnt/nas nfs4", KZMountAccess::Remote},
        {"/mnt/nas/projects/2024", "/mnt/nas nfs4", KZMountAccess::Remote},
        {"/mnt/nasty/x", "/ ext4", KZMountAccess::Local},
        {"/mnt/smb/x", "/mnt/smb cifs", KZMountAccess::Remote},
        {"/home/alice/remote/file", "/home/alice/remote fuse.sshfs", KZMountAccess::Remote},
        {"/home/alice/Documents", "/home ext4", KZMountAccess::Local},
        {"/net/host", "/net autofs", KZMountAccess::Automount},
        {"/mnt/idle", "/mnt/idle autofs", KZMountAccess::Automount},
        // Once the automount has fired, the mount on top is what a path reaches.
        {"/mnt/auto/deep", "/mnt/auto nfs", KZMountAccess::Remote},
        {"/media/alice/My Disk/Photos", "/media/alice/My Disk exfat", KZMountAccess::Local},
    };
    for (const auto &c : cases) {
        const std::optional<KZMountEntry> e = kzMountHoldingPath(entries, c.path);
        ASSERT_TRUE(e) << c.path;
        EXPECT_EQ(e->mountPoint + ' ' + e->fsType, QByteArray(c.holder)) << c.path;
        EXPECT_EQ(kzMountAccess(*e), c.access) << c.path;
    }
    EXPECT_TRUE(kzIsFuseFileSystem("fuseblk"));
    EXPECT_FALSE(kzIsFuseFileSystem("fusectl"));
}

TEST(KZMountTable, VolumesLeaveOutPseudoSystemAndBindMountsButAlwaysHoldTheRoot)
{
    EXPECT_EQ(kzMountedVolumePaths(kzParseMountInfo(kDesktopSample)),
              (QList<QByteArray>{"/", "/home", "/media/alice/My Disk", "/run/media/alice/USB KEY", "/mnt/nas",
                                 "/home/alice/remote", "/mnt/smb", "/data", "/mnt/auto", "/media/alice/a\tb\nc\\d"}));
    // A container or live system whose root is an overlay still has "/".
    const QByteArray overlayRoot = "1 0 0:30 / / rw - overlay overlay rw,lowerdir=/a\n"
                                   "2 1 254:0 /var/lib/x/hosts /etc/hosts rw - ext4 /dev/vda rw\n";
    EXPECT_EQ(kzMountedVolumePaths(kzParseMountInfo(overlayRoot)), QList<QByteArray>{"/"});
    EXPECT_EQ(kzMountedVolumePaths({}), QList<QByteArray>{"/"});
}

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
            const QList<KZMountEntry> table = kzCurrentMountTable();
            return std::any_of(table.begin(), table.end(),
                               [&](const KZMountEntry &e) { return e.mountPoint == point; });
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
