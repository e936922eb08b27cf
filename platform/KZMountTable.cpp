#include "platform/KZMountTable.h"

#include <QFile>
#include <QHash>
#include <QSet>


namespace kzplatform {

namespace {

// File systems without user data of their own, or views the user never thinks
// of as a drive.
const QSet<QByteArray> &pseudoFileSystems()
{
    static const QSet<QByteArray> set = {
        "proc", "sysfs", "cgroup", "cgroup2", "devtmpfs", "devpts", "tmpfs", "ramfs", "overlay", "overlayfs",
        "squashfs", "securityfs", "pstore", "efivarfs", "bpf", "debugfs", "tracefs", "configfs", "fusectl",
        "mqueue", "hugetlbfs", "autofs", "binfmt_misc", "rpc_pipefs", "nfsd", "nsfs", "selinuxfs", "smackfs",
        "apparmorfs", "cpuset", "devfs", "usbfs", "rootfs", "aufs", "erofs", "zram", "fuse.lxcfs",
        "fuse.gvfsd-fuse", "fuse.portal", "fuse.snapfuse", "fuse.xdg-document-portal", "binder", "none",
    };
    return set;
}

const QSet<QByteArray> &networkFileSystems()
{
    static const QSet<QByteArray> set = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "ncp", "afs", "coda", "9p", "ceph", "glusterfs",
        "lustre", "gfs2", "ocfs2", "davfs", "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.davfs2",
        "fuse.glusterfs", "fuse.curlftpfs", "fuse.cifs", "virtiofs", "vboxsf", "vmhgfs", "fuse.vmhgfs-fuse",
    };
    return set;
}

// Folders whose mounts belong to the system, not the user.
bool isUnderSystemFolder(const QByteArray &mountPoint)
{
    static const QByteArray hidden[] = {"/proc", "/sys", "/dev", "/boot", "/snap"};
    for (const QByteArray &h : hidden)
        if (kzPathHasComponentPrefix(mountPoint, h))
            return true;
    if (kzPathHasComponentPrefix(mountPoint, "/run"))
        return !kzPathHasComponentPrefix(mountPoint, "/run/media") || mountPoint == "/run/media";
    return false;
}

// A btrfs subvolume mounted on its own shows its subvolume path as root; that
// is a volume in its own right, not a bind mount.
bool isSubvolumeRoot(const KZMountEntry &e)
{
    if (e.fsType != "btrfs")
        return false;
    for (const QByteArray &opt : e.superOptions.split(','))
        if (opt.startsWith("subvol=") && opt.mid(7) == e.root)
            return true;
    return false;
}

} // namespace

QByteArray kzUnescapeMountField(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field.at(i + 1), b = field.at(i + 2), d = field.at(i + 3);
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && d >= '0' && d <= '7') {
                out.append(char(((a - '0') << 6) | ((b - '0') << 3) | (d - '0')));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

QList<KZMountEntry> kzParseMountInfo(const QByteArray &text)
{
    QList<KZMountEntry> entries;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        const qsizetype dash = f.indexOf(QByteArray("-"), 6);
        if (dash < 6 || dash + 2 >= f.size())
            continue;
        KZMountEntry e;
        bool ok1 = false, ok2 = false;
        e.mountId = f.at(0).toInt(&ok1);
        e.parentId = f.at(1).toInt(&ok2);
        const QList<QByteArray> dev = f.at(2).split(':');
        if (!ok1 || !ok2 || dev.size() != 2)
            continue;
        e.major = dev.at(0).toUInt();
        e.minor = dev.at(1).toUInt();
        e.root = kzUnescapeMountField(f.at(3));
        e.mountPoint = kzUnescapeMountField(f.at(4));
        e.mountOptions = f.at(5);
        e.fsType = kzUnescapeMountField(f.at(dash + 1));
        e.source = kzUnescapeMountField(f.at(dash + 2));
        e.superOptions = dash + 3 < f.size() ? f.at(dash + 3) : QByteArray();
        if (!e.mountPoint.startsWith('/'))
            continue;
        entries.append(e);
    }
    return entries;
}

QList<KZMountEntry> kzReadMountInfo(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return {};
    }
    // Files of /proc report size 0: read until the end.
    return kzParseMountInfo(file.readAll());
}

bool kzIsPseudoFileSystem(const QByteArray &fsType)
{
    return pseudoFileSystems().contains(fsType);
}

bool kzIsNetworkFileSystem(const QByteArray &fsType)
{
    return networkFileSystems().contains(fsType);
}

bool kzIsFuseFileSystem(const QByteArray &fsType)
{
    return fsType == "fuse" || fsType == "fuseblk" || fsType.startsWith("fuse.");
}

KZMountAccess kzMountAccess(const KZMountEntry &entry)
{
    if (entry.fsType == "autofs")
        return KZMountAccess::Automount;
    if (kzIsNetworkFileSystem(entry.fsType) || kzIsFuseFileSystem(entry.fsType))
        return KZMountAccess::Remote;
    return KZMountAccess::Local;
}

QList<KZMountEntry> kzVisibleMounts(const QList<KZMountEntry> &entries)
{
    QHash<QByteArray, qsizetype> lastIndex;
    for (qsizetype i = 0; i < entries.size(); ++i)
        lastIndex.insert(entries.at(i).mountPoint, i);
    QList<KZMountEntry> visible;
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (lastIndex.value(entries.at(i).mountPoint) == i)
            visible.append(entries.at(i));
    return visible;
}

QList<QByteArray> kzMountedVolumePaths(const QList<KZMountEntry> &entries)
{
    QList<QByteArray> paths{QByteArray("/")};
    QSet<QByteArray> seenViews;
    const QList<KZMountEntry> visible = kzVisibleMounts(entries);
    // The root file system first, so that its second views count as binds.
    for (const KZMountEntry &e : visible)
        if (e.mountPoint == "/")
            seenViews.insert(QByteArray::number(e.major) + ':' + QByteArray::number(e.minor) + ' ' + e.root);
    for (const KZMountEntry &e : visible) {
        if (e.mountPoint == "/" || kzIsPseudoFileSystem(e.fsType) || isUnderSystemFolder(e.mountPoint))
            continue;
        if (e.root != "/" && !isSubvolumeRoot(e))
            continue;
        const QByteArray view = QByteArray::number(e.major) + ':' + QByteArray::number(e.minor) + ' ' + e.root;
        if (seenViews.contains(view))
            continue;
        seenViews.insert(view);
        paths.append(e.mountPoint);
    }
    return paths;
}

bool kzPathHasComponentPrefix(const QByteArray &path, const QByteArray &prefix)
{
    if (prefix == "/")
        return path.startsWith('/');
    if (!path.startsWith(prefix))
        return false;
    return path.size() == prefix.size() || path.at(prefix.size()) == '/';
}

std::optional<KZMountEntry> kzMountHoldingPath(const QList<KZMountEntry> &entries, const QByteArray &path)
{
    std::optional<KZMountEntry> best;
    for (const KZMountEntry &e : entries) {
        if (!kzPathHasComponentPrefix(path, e.mountPoint))
            continue;
        // Later entries with the same mount point are stacked on top of earlier ones.
        if (!best || e.mountPoint.size() >= best->mountPoint.size())
            best = e;
    }
    return best;
}

} // namespace kzplatform
