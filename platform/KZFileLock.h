// Advisory locks between processes: flock(2) on a lock file that lives beside
// the file it guards and is never removed (removing it would let two
// processes lock two different files of the same name).
#pragma once

#include <QByteArray>
#include <ctime>

namespace kzplatform {

class KZFileLock
{
public:
    KZFileLock() = default;
    ~KZFileLock();
    KZFileLock(KZFileLock &&other) noexcept;
    KZFileLock &operator=(KZFileLock &&other) noexcept;
    KZFileLock(const KZFileLock &) = delete;
    KZFileLock &operator=(const KZFileLock &) = delete;

    // Opens lockPath (created 0600 when missing; an existing one the user may
    // only read is opened read-only) and waits at most timeoutMs for the
    // exclusive lock. False with error() = EWOULDBLOCK when another holder
    // kept it that long, or the errno of the open.
    bool lock(const QByteArray &lockPath, int timeoutMs);
    void unlock();
    bool isLocked() const { return m_fd >= 0; }
    int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// Sets the modification time of path (following links) to t; 0, or -1 with errno.
int kzSetModificationTime(const char *path, const struct timespec &t);

} // namespace kzplatform
