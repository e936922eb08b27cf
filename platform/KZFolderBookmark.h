// The durable reference to a folder: a small CBOR blob {path, device, inode,
// volume} from which the folder is found again after a rename or a relaunch.
// Resolution never asks anything, never mounts and never hangs (every access
// goes through the guarded calls of KZGuardedFS).
#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace kzplatform {

struct KZFolderBookmark {
    QByteArray path;   // raw bytes of the path at creation
    uint64_t device = 0;
    uint64_t inode = 0;
    QByteArray volume; // mount point of the file system holding the folder
};

enum class KZBookmarkResolution {
    Resolved,          // the folder, possibly under a new name in its old parent folder
    NotFound,          // its volume is there, the folder is not
    VolumeUnavailable, // its volume is not mounted, or does not answer in time
    Invalid,           // not a bookmark
};

// A bookmark for an existing entry; empty with *err set (errno, ETIMEDOUT, ENOMEDIUM) on failure.
QByteArray kzBookmarkDataForPath(const QByteArray &absolutePath, int *err = nullptr);
std::optional<KZFolderBookmark> kzDecodeBookmarkData(const QByteArray &data);
QByteArray kzEncodeBookmark(const KZFolderBookmark &bookmark);

// The stored path when it still has the same device and inode; else the entry
// of the old parent folder with that device and inode (a rename); else
// nothing. resolvedPath receives the folder's path when Resolved.
KZBookmarkResolution kzResolveBookmarkData(const QByteArray &data, QByteArray *resolvedPath, int timeoutMs);

} // namespace kzplatform
