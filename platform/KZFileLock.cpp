#include "platform/KZFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace kzplatform {

KZFileLock::~KZFileLock()
{
    unlock();
}

KZFileLock::KZFileLock(KZFileLock &&other) noexcept : m_fd(other.m_fd), m_error(other.m_error)
{
    other.m_fd = -1;
}

KZFileLock &KZFileLock::operator=(KZFileLock &&other) noexcept
{
    if (this != &other) {
        unlock();
        m_fd = other.m_fd;
        m_error = other.m_error;
        other.m_fd = -1;
    }
    return *this;
}

bool KZFileLock::lock(const QByteArray &lockPath, int timeoutMs)
{
    unlock();
    int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    // Polled rather than blocking, so that the wait has an end; the pause
    // grows from 1 ms to 20 ms, short beside a holder's durable write.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_fd = fd;
            m_error = 0;
            return true;
        }
        const int err = errno;
        if (err != EWOULDBLOCK && err != EINTR) {
            ::close(fd);
            m_error = err;
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            ::close(fd);
            m_error = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

void KZFileLock::unlock()
{
    if (m_fd >= 0) {
        ::close(m_fd); // closing the last descriptor releases the flock
        m_fd = -1;
    }
}

int kzSetModificationTime(const char *path, const struct timespec &t)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, t};
    return ::utimensat(AT_FDCWD, path, times, 0);
}

} // namespace kzplatform
