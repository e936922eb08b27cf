#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "platform/KZMountTable.h"
#include "tests/testlib/TestEnvironment.h"

using namespace kzplatform;

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

QList<QByteArray> mountPoints(const QList<KZMountEntry> &entries)
{
    QList<QByteArray> list;
    for (const KZMountEntry &e : entries)
        list.append(e.mountPoint);
    return list;
}

} // namespace

TEST(KZMountTable, ParsesFieldsEscapesAndOptionalTags)
{
    const QList<KZMountEntry> entries = kzParseMountInfo(kDesktopSample);
    // Two malformed lines are skipped, every other one is read.
    ASSERT_EQ(entries.size(), 24);
    const KZMountEntry &usb = entries.at(8);
    EXPECT_EQ(usb.mountId, 30);
    EXPECT_EQ(usb.parentId, 26);
    EXPECT_EQ(usb.major, 8u);
    EXPECT_EQ(usb.minor, 33u);
    EXPECT_EQ(usb.mountPoint, QByteArray("/run/media/alice/USB KEY"));
    // "master:7" is an optional field: the type and source come after the dash.
    EXPECT_EQ(usb.fsType, QByteArray("vfat"));
    EXPECT_EQ(usb.source, QByteArray("/dev/sdc1"));
    EXPECT_EQ(entries.at(22).mountPoint, QByteArray("/media/alice/a\tb\nc\\d"));
    EXPECT_EQ(entries.at(12).root, QByteArray("/alice/projects"));
    EXPECT_EQ(entries.at(9).source, QByteArray("server:/export/data"));
    EXPECT_EQ(kzUnescapeMountField("no\\escape\\09x\\"), QByteArray("no\\escape\\09x\\"));
}

TEST(KZMountTable, ClassifiesFileSystems)
{
    EXPECT_TRUE(kzIsPseudoFileSystem("proc"));
    EXPECT_TRUE(kzIsPseudoFileSystem("tmpfs"));
    EXPECT_TRUE(kzIsPseudoFileSystem("overlay"));
    EXPECT_TRUE(kzIsPseudoFileSystem("squashfs"));
    EXPECT_FALSE(kzIsPseudoFileSystem("ext4"));
    EXPECT_TRUE(kzIsNetworkFileSystem("nfs4"));
    EXPECT_TRUE(kzIsNetworkFileSystem("cifs"));
    EXPECT_FALSE(kzIsNetworkFileSystem("btrfs"));
    EXPECT_TRUE(kzIsFuseFileSystem("fuse.sshfs"));
    EXPECT_TRUE(kzIsFuseFileSystem("fuseblk"));
    EXPECT_FALSE(kzIsFuseFileSystem("fusectl"));

    const QList<KZMountEntry> entries = kzParseMountInfo(kDesktopSample);
    auto accessAt = [&](const QByteArray &mountPoint) {
        for (const KZMountEntry &e : kzVisibleMounts(entries))
            if (e.mountPoint == mountPoint)
                return kzMountAccess(e);
        ADD_FAILURE() << "no mount at " << mountPoint.constData();
        return KZMountAccess::Local;
    };
    EXPECT_EQ(accessAt("/"), KZMountAccess::Local);
    EXPECT_EQ(accessAt("/mnt/nas"), KZMountAccess::Remote);
    EXPECT_EQ(accessAt("/home/alice/remote"), KZMountAccess::Remote);
    EXPECT_EQ(accessAt("/net"), KZMountAccess::Automount);
    EXPECT_EQ(accessAt("/mnt/idle"), KZMountAccess::Automount);
    // Once the automount has fired, the mount on top is what a path reaches.
    EXPECT_EQ(accessAt("/mnt/auto"), KZMountAccess::Remote);
}

TEST(KZMountTable, VolumesLeaveOutPseudoSystemAndBindMounts)
{
    const QList<QByteArray> volumes = kzMountedVolumePaths(kzParseMountInfo(kDesktopSample));
    const QList<QByteArray> expected = {
        "/",          "/home",    "/media/alice/My Disk", "/run/media/alice/USB KEY", "/mnt/nas", "/home/alice/remote",
        "/mnt/smb",   "/data",    "/mnt/auto",            "/media/alice/a\tb\nc\\d",
    };
    EXPECT_EQ(volumes, expected);
}

TEST(KZMountTable, RootIsAlwaysAVolume)
{
    // A container or live system whose root is an overlay still has "/".
    const QByteArray overlayRoot = "1 0 0:30 / / rw - overlay overlay rw,lowerdir=/a\n"
                                   "2 1 254:0 /var/lib/x/hosts /etc/hosts rw - ext4 /dev/vda rw\n";
    EXPECT_EQ(kzMountedVolumePaths(kzParseMountInfo(overlayRoot)), QList<QByteArray>{"/"});
    EXPECT_EQ(kzMountedVolumePaths({}), QList<QByteArray>{"/"});
}

TEST(KZMountTable, MountHoldingPathUsesWholeComponentsAndTheTopOfAStack)
{
    const QList<KZMountEntry> entries = kzVisibleMounts(kzParseMountInfo(kDesktopSample));
    auto holder = [&](const QByteArray &path) {
        const std::optional<KZMountEntry> e = kzMountHoldingPath(entries, path);
        return e ? e->mountPoint + ' ' + e->fsType : QByteArray("none");
    };
    EXPECT_EQ(holder("/mnt/nas/projects/2024"), QByteArray("/mnt/nas nfs4"));
    EXPECT_EQ(holder("/mnt/nas"), QByteArray("/mnt/nas nfs4"));
    EXPECT_EQ(holder("/mnt/nasty/x"), QByteArray("/ ext4"));
    EXPECT_EQ(holder("/home/alice/remote/file"), QByteArray("/home/alice/remote fuse.sshfs"));
    EXPECT_EQ(holder("/home/alice/Documents"), QByteArray("/home ext4"));
    EXPECT_EQ(holder("/mnt/auto/deep"), QByteArray("/mnt/auto nfs"));
    EXPECT_EQ(holder("/media/alice/My Disk/Photos"), QByteArray("/media/alice/My Disk exfat"));
    // Stacking keeps only the last mount of a mount point.
    EXPECT_EQ(mountPoints(kzVisibleMounts(kzParseMountInfo(kDesktopSample))).count("/mnt/auto"), 1);
}

TEST(KZMountTable, ReadsThisProcessTable)
{
    QString error;
    const QList<KZMountEntry> entries = kzReadMountInfo(QStringLiteral("/proc/self/mountinfo"), &error);
    ASSERT_FALSE(entries.isEmpty()) << error.toStdString();
    EXPECT_TRUE(mountPoints(entries).contains("/"));
    EXPECT_TRUE(kzReadMountInfo(QStringLiteral("/nonexistent/mountinfo"), &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}
