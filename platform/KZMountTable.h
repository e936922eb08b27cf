// The mount table of this process (/proc/self/mountinfo): parsing, the kinds of
// file system (pseudo, network, FUSE, automount), the mounted volumes a user
// would call drives, and the mount that holds a given path. Reading the table
// never touches the mounted file systems, so it cannot hang on a dead server.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace kzplatform {

// One line of mountinfo. Paths are the raw bytes with the octal escapes
// ("\040" for a space, "\011", "\012", "\134") decoded.
struct KZMountEntry {
    int mountId = 0;
    int parentId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    QByteArray root;       // the part of the file system seen at the mount point ("/" unless a bind or subvolume)
    QByteArray mountPoint;
    QByteArray mountOptions;
    QByteArray fsType;     // "ext4", "nfs4", "fuse.sshfs", ...
    QByteArray source;     // "/dev/sda1", "server:/export", "sshfs", ...
    QByteArray superOptions;
};

// How a path's file system may be touched.
enum class KZMountAccess {
    Local,     // a disk or memory file system: stat directly
    Remote,    // network or FUSE: a server or daemon may not answer; time-box every access
    Automount, // an automount trap that is not mounted: touching it would mount it
};

// Parses mountinfo text. Lines that do not have the mandatory fields are skipped.
QList<KZMountEntry> kzParseMountInfo(const QByteArray &text);
// Reads and parses the file (default: this process's table). Empty on failure,
// with the reason in error.
QList<KZMountEntry> kzReadMountInfo(const QString &path = QStringLiteral("/proc/self/mountinfo"),
                                    QString *error = nullptr);
// Decodes the octal escapes of one mountinfo field.
QByteArray kzUnescapeMountField(const QByteArray &field);

bool kzIsPseudoFileSystem(const QByteArray &fsType);
bool kzIsNetworkFileSystem(const QByteArray &fsType);
bool kzIsFuseFileSystem(const QByteArray &fsType);
KZMountAccess kzMountAccess(const KZMountEntry &entry);

// The mounts that are visible at their mount point: when several are stacked
// on the same point, only the last one (the top of the stack) is kept.
QList<KZMountEntry> kzVisibleMounts(const QList<KZMountEntry> &entries);

// Mount points of the volumes shown to the user, in table order: "/" always,
// then real block-device, network and FUSE mounts; pseudo file systems, second
// views of an already listed file system (bind mounts), and mounts under /proc,
// /sys, /dev, /boot, /snap and /run (except /run/media) are hidden.
QList<QByteArray> kzMountedVolumePaths(const QList<KZMountEntry> &entries);

// The visible mount whose mount point is the longest prefix (by whole
// components) of the absolute, lexically clean path.
std::optional<KZMountEntry> kzMountHoldingPath(const QList<KZMountEntry> &entries, const QByteArray &path);

// True when path and prefix are equal or path continues below prefix.
bool kzPathHasComponentPrefix(const QByteArray &path, const QByteArray &prefix);

} // namespace kzplatform
