#include "platform/KZGuardedFS.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include <QHash>

namespace kzplatform {

namespace {

std::mutex &stateMutex()
{
    static std::mutex m;
    return m;
}

QHash<QByteArray, int> &stuckWorkers()
{
    static QHash<QByteArray, int> h;
    return h;
}

QByteArray &mountInfoOverride()
{
    static QByteArray path;
    return path;
}

std::function<void(const QByteArray &)> &remoteProbeHook()
{
    static std::function<void(const QByteArray &)> hook;
    return hook;
}

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray join(const QByteArray &dir, const QByteArray &name)
{
    return dir == "/" ? dir + name : dir + '/' + name;
}

// What a worker and its caller share; the worker may outlive the caller.
struct TimeBox {
    std::mutex mutex;
    std::condition_variable cv;
    bool finished = false;
    bool overran = false;
};

} // namespace

KZPathRoute kzRouteOfPath(const QByteArray &absolutePath, const QList<KZMountEntry> &table, bool followFinalLink)
{
    KZPathRoute route;
    route.mountPoint = "/";
    route.resolvedPath = absolutePath;
    if (table.isEmpty() || !absolutePath.startsWith('/'))
        return route;

    const QList<KZMountEntry> visible = kzVisibleMounts(table);
    auto accessOf = [&](const QByteArray &p, QByteArray *mountPoint) {
        const std::optional<KZMountEntry> m = kzMountHoldingPath(visible, p);
        if (!m)
            return KZMountAccess::Local;
        *mountPoint = m->mountPoint;
        return kzMountAccess(*m);
    };

    QList<QByteArray> pending = absolutePath.split('/');
    QByteArray current = "/";
    int links = 0;
    while (!pending.isEmpty()) {
        const QByteArray name = pending.takeFirst();
        if (name.isEmpty() || name == ".")
            continue;
        if (name == "..") {
            current = parentOf(current);
            continue;
        }
        const QByteArray next = join(current, name);
        QByteArray mountPoint = "/";
        const KZMountAccess access = accessOf(next, &mountPoint);
        if (access != KZMountAccess::Local) {
            route.access = access;
            route.mountPoint = mountPoint;
            QByteArray resolved = next;
            for (const QByteArray &rest : pending)
                if (!rest.isEmpty())
                    resolved = join(resolved, rest);
            route.resolvedPath = resolved;
            return route;
        }
        route.mountPoint = mountPoint;
        if (pending.isEmpty() && !followFinalLink) {
            current = next;
            break; // the final component itself is not followed
        }
        // A local component: safe to look at. Follow it when it is a link.
        struct stat st;
        if (::lstat(next.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            current = next;
            continue;
        }
        if (++links > 40) {
            current = next;
            continue;
        }
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(next.constData(), target.data(), target.size());
        if (n <= 0) {
            current = next;
            continue;
        }
        target.truncate(n);
        if (target.startsWith('/'))
            current = "/";
        const QList<QByteArray> parts = target.split('/');
        for (qsizetype i = parts.size() - 1; i >= 0; --i)
            pending.prepend(parts.at(i));
    }
    route.resolvedPath = current;
    return route;
}

QList<KZMountEntry> kzCurrentMountTable()
{
    QByteArray path;
    {
        std::lock_guard<std::mutex> lock(stateMutex());
        path = mountInfoOverride();
    }
    if (!path.isEmpty())
        return kzReadMountInfo(QString::fromLocal8Bit(path));
    // The kernel marks an open mountinfo with POLLPRI once after every change
    // of the mounts of its namespace: until then the table read last is still
    // the table. A forked child (which may enter a namespace of its own)
    // watches anew rather than share its parent's watch.
    static std::mutex cacheMutex;
    static int watch = -1;
    static pid_t watcher = 0;
    static bool cached = false;
    static QList<KZMountEntry> table;
    std::lock_guard<std::mutex> lock(cacheMutex);
    const pid_t self = ::getpid();
    if (watch >= 0 && watcher != self) {
        ::close(watch);
        watch = -1;
        cached = false;
    }
    if (watch < 0) {
        watch = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        watcher = self;
    }
    bool changed = !cached || watch < 0;
    if (watch >= 0) {
        struct pollfd p = {watch, POLLPRI, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR)))
            changed = true;
    }
    if (changed) {
        table = kzReadMountInfo(QStringLiteral("/proc/self/mountinfo"));
        cached = !table.isEmpty();
    }
    return table;
}

void kzSetMountInfoPathForTesting(const QByteArray &path)
{
    std::lock_guard<std::mutex> lock(stateMutex());
    mountInfoOverride() = path;
}

bool kzRunTimeBoxed(const QByteArray &key, int timeoutMs, std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lock(stateMutex());
        if (stuckWorkers().value(key) > 0)
            return false;
    }
    auto box = std::make_shared<TimeBox>();
    std::thread worker;
    try {
        worker = std::thread([box, fn = std::move(fn), key]() {
        fn();
        bool overran = false;
        {
            std::lock_guard<std::mutex> lock(box->mutex);
            box->finished = true;
            overran = box->overran;
        }
        box->cv.notify_all();
        if (overran) {
            std::lock_guard<std::mutex> lock(stateMutex());
            if (--stuckWorkers()[key] <= 0)
                stuckWorkers().remove(key);
        }
        });
    } catch (const std::system_error &) {
        return false; // no thread to spare: do not touch the remote file system
    }
    worker.detach();

    std::unique_lock<std::mutex> lock(box->mutex);
    if (box->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return box->finished; }))
        return true;
    box->overran = true;
    {
        std::lock_guard<std::mutex> stateLock(stateMutex());
        ++stuckWorkers()[key];
    }
    return false;
}

int kzStuckWorkerCount(const QByteArray &key)
{
    std::lock_guard<std::mutex> lock(stateMutex());
    return stuckWorkers().value(key);
}

namespace {

// One stat through the guard: of the entry itself (lstat) or of what a final
// link names.
int statGuarded(const QByteArray &absolutePath, KZStat *out, int timeoutMs, bool followFinalLink)
{
    struct Answer {
        int rc = -1;
        int err = 0;
        KZStat st;
    };
    int guardErr = 0;
    const std::optional<Answer> answer = kzCallForPath<Answer>(
        absolutePath, timeoutMs,
        [absolutePath, followFinalLink]() {
            Answer a;
            a.rc = followFinalLink ? kzStatFollow(absolutePath.constData(), &a.st)
                                   : kzLstat(absolutePath.constData(), &a.st);
            a.err = a.rc == 0 ? 0 : errno;
            return a;
        },
        &guardErr, followFinalLink);
    if (!answer || answer->rc != 0) {
        errno = answer ? answer->err : guardErr;
        return -1;
    }
    if (out)
        *out = answer->st;
    return 0;
}

} // namespace

int kzLstatGuarded(const QByteArray &absolutePath, KZStat *out, int timeoutMs)
{
    return statGuarded(absolutePath, out, timeoutMs, false);
}

int kzStatGuarded(const QByteArray &absolutePath, KZStat *out, int timeoutMs)
{
    return statGuarded(absolutePath, out, timeoutMs, true);
}

int kzAccessGuarded(const QByteArray &absolutePath, int mode, int timeoutMs)
{
    int guardErr = 0;
    const std::optional<int> answer = kzCallForPath<int>(
        absolutePath, timeoutMs,
        [absolutePath, mode]() { return ::access(absolutePath.constData(), mode) == 0 ? 0 : errno; }, &guardErr,
        true);
    errno = answer ? *answer : guardErr;
    return errno == 0 ? 0 : -1;
}

std::optional<QList<QByteArray>> kzListFolderGuarded(const QByteArray &absolutePath, int timeoutMs)
{
    struct Answer {
        int err = 0;
        QList<QByteArray> names;
    };
    int guardErr = 0;
    const std::optional<Answer> answer = kzCallForPath<Answer>(
        absolutePath, timeoutMs,
        [absolutePath]() {
            Answer a;
            DIR *dir = ::opendir(absolutePath.constData());
            if (!dir) {
                a.err = errno;
                return a;
            }
            while (const dirent *entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != "..")
                    a.names.append(name);
            }
            ::closedir(dir);
            return a;
        },
        &guardErr, true);
    if (!answer || answer->err != 0) {
        errno = answer ? answer->err : guardErr;
        return std::nullopt;
    }
    return answer->names;
}

void kzSetRemoteProbeHookForTesting(std::function<void(const QByteArray &path)> hook)
{
    std::lock_guard<std::mutex> lock(stateMutex());
    remoteProbeHook() = std::move(hook);
}

void kzCallRemoteProbeHook(const QByteArray &path)
{
    std::function<void(const QByteArray &)> hook;
    {
        std::lock_guard<std::mutex> lock(stateMutex());
        hook = remoteProbeHook();
    }
    if (hook)
        hook(path);
}

} // namespace kzplatform
