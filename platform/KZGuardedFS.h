// Touching a path from the GUI thread without ever hanging on a dead server:
// before a path is touched, the mount table says which file system holds it.
// Paths under an automount point that is not mounted are never touched (that
// would mount it); paths on network and FUSE file systems are touched on a
// worker thread, and the caller waits at most a short time for the answer.
#pragma once

#include <cerrno>

#include <QByteArray>
#include <QList>
#include <functional>
#include <memory>
#include <optional>

#include "platform/KZMountTable.h"
#include "platform/KZPosixFS.h"

namespace kzplatform {

// How long a caller waits for a network or FUSE file system to answer.
inline constexpr int kzDefaultProbeTimeoutMs = 800;

// Where a path lives, found without touching any network, FUSE or automount
// file system: symbolic links on the way are followed while they stay on local
// file systems (at most 40 of them). The final component is followed too when
// followFinalLink is true (for calls that follow links: stat, access, opendir).
struct KZPathRoute {
    KZMountAccess access = KZMountAccess::Local;
    QByteArray mountPoint;   // the mount that holds the path ("/" when unknown)
    QByteArray resolvedPath; // the path with the links before that mount resolved
};
KZPathRoute kzRouteOfPath(const QByteArray &absolutePath, const QList<KZMountEntry> &table,
                          bool followFinalLink = false);

// The mount table that the guarded calls consult: /proc/self/mountinfo, or the
// file set for tests. Empty when unreadable (then every path counts as local).
// The table is read again only when the kernel reports a change of the mounts.
QList<KZMountEntry> kzCurrentMountTable();
void kzSetMountInfoPathForTesting(const QByteArray &path); // empty: back to /proc/self/mountinfo

// Runs fn on a worker thread and waits at most timeoutMs. True when fn finished
// in time. A worker that overran keeps running detached; while one of them is
// still stuck, further calls with the same key fail at once instead of piling
// up threads. fn must only use what it owns (it may outlive the caller).
bool kzRunTimeBoxed(const QByteArray &key, int timeoutMs, std::function<void()> fn);
// Number of overrun workers of key that are still running.
int kzStuckWorkerCount(const QByteArray &key);

// Runs fn where path lives: directly for a local path; time-boxed for a
// network or FUSE path. Returns nullopt with *err = ETIMEDOUT when the file
// system did not answer in time, or *err = ENOMEDIUM when the path is under an
// automount point that is not mounted (nothing is touched then). With
// followFinalLink, a final symbolic link decides where the path lives (for an
// fn that follows it).
template <typename T>
std::optional<T> kzCallForPath(const QByteArray &absolutePath, int timeoutMs, std::function<T()> fn, int *err,
                               bool followFinalLink = false);

// lstat (statx) of path, guarded as above. 0, or -1 with errno set (ETIMEDOUT,
// ENOMEDIUM, or the lstat errno).
int kzLstatGuarded(const QByteArray &absolutePath, KZStat *out, int timeoutMs = kzDefaultProbeTimeoutMs);
// The same following links (stat).
int kzStatGuarded(const QByteArray &absolutePath, KZStat *out, int timeoutMs = kzDefaultProbeTimeoutMs);
// access(2) of path, guarded: 0, or -1 with errno set as above.
int kzAccessGuarded(const QByteArray &absolutePath, int mode, int timeoutMs = kzDefaultProbeTimeoutMs);
// The entry names of a folder (without "." and ".."), read in one guarded
// call; nullopt with errno set as above (or opendir's errno).
std::optional<QList<QByteArray>> kzListFolderGuarded(const QByteArray &absolutePath,
                                                     int timeoutMs = kzDefaultProbeTimeoutMs);

// Tests only: called on the worker, before a network or FUSE path is touched
// (lets a test play an unresponsive server). Empty function to remove.
void kzSetRemoteProbeHookForTesting(std::function<void(const QByteArray &path)> hook);
void kzCallRemoteProbeHook(const QByteArray &path);

template <typename T>
std::optional<T> kzCallForPath(const QByteArray &absolutePath, int timeoutMs, std::function<T()> fn, int *err,
                               bool followFinalLink)
{
    if (err)
        *err = 0;
    const KZPathRoute route = kzRouteOfPath(absolutePath, kzCurrentMountTable(), followFinalLink);
    if (route.access == KZMountAccess::Automount) {
        if (err)
            *err = ENOMEDIUM;
        return std::nullopt;
    }
    if (route.access == KZMountAccess::Local)
        return fn();
    auto result = std::make_shared<std::optional<T>>();
    const QByteArray path = absolutePath;
    const bool done = kzRunTimeBoxed(route.mountPoint, timeoutMs, [result, fn, path]() {
        kzCallRemoteProbeHook(path);
        *result = fn();
    });
    if (!done) {
        if (err)
            *err = ETIMEDOUT;
        return std::nullopt;
    }
    return *result;
}

} // namespace kzplatform
