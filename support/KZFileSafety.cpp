#include "support/KZFileSafety.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "support/KZLog.h"

namespace {

constexpr int kLockTimeoutMs = 5000;
std::atomic<int> lockTimeoutForTesting{0};

std::mutex &observerMutex()
{
    static std::mutex mutex;
    return mutex;
}

KZSetAsideObserver &observerSlot()
{
    static KZSetAsideObserver observer;
    return observer;
}

} // namespace

QString kzSetFileAside(const QString &path, bool move)
{
    QString target = path + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) {
        if (n > 1000)
            return QString();
        target = path + QStringLiteral(".bad.%1").arg(n);
    }
    const bool ok = move ? QFile::rename(path, target) : QFile::copy(path, target);
    if (!ok) {
        KZLog::logError(KZFunctionMessage(__func__, __LINE__,
                                          QStringLiteral("set aside failed path:%1 target:%2").arg(path, target)));
        return QString();
    }
    KZSetAsideObserver observer;
    {
        std::lock_guard<std::mutex> lock(observerMutex());
        observer = observerSlot();
    }
    if (observer)
        observer(path, target, move);
    return target;
}

KZSetAsideObserver kzSetFileAsideObserver(KZSetAsideObserver observer)
{
    std::lock_guard<std::mutex> lock(observerMutex());
    std::swap(observerSlot(), observer);
    return observer;
}

int kzSharedFileLockTimeoutMs()
{
    const int forTesting = lockTimeoutForTesting.load();
    return forTesting > 0 ? forTesting : kLockTimeoutMs;
}

void kzSetSharedFileLockTimeoutMsForTesting(int ms)
{
    lockTimeoutForTesting.store(ms);
}

bool kzLockSharedFile(const QString &lockPath, kzplatform::KZFileLock *lock, QString *message)
{
    if (lock->lock(QFile::encodeName(lockPath), kzSharedFileLockTimeoutMs()))
        return true;
    const int err = lock->error();
    if (err != EWOULDBLOCK) {
        KZLog::logWarning(KZFunctionMessage(__func__, __LINE__, QStringLiteral("open lock file errno:%1 (%2) path:%3")
                                                                    .arg(err).arg(QString::fromLocal8Bit(std::strerror(err)), lockPath)));
        return true;
    }
    KZLog::logError(KZFunctionMessage(__func__, __LINE__, QStringLiteral("lock timeout %1 ms path:%2")
                                                              .arg(kzSharedFileLockTimeoutMs()).arg(lockPath)));
    if (message)
        *message = QStringLiteral("another process kept %1 locked for %2 s; nothing was changed")
                       .arg(lockPath).arg(kzSharedFileLockTimeoutMs() / 1000.0);
    return false;
}

QString kzMakeOwnWorkingFolder(const QString &path, const QString &fallbackSuffix)
{
    QString folder = path;
    struct stat st;
    if (::lstat(QFile::encodeName(folder).constData(), &st) == 0) {
        const bool ours = S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
        if (!ours || !QDir(folder).removeRecursively()) {
            KZLOG_WARNING_F(QStringLiteral("removeItemAtPath==NO path:%1").arg(folder));
            folder += fallbackSuffix;
        }
    }
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
        KZLOG_ERROR_F(QStringLiteral("mkdir==NO path:%1 errno:%2").arg(folder).arg(errno));
        return QString();
    }
    return folder;
}
