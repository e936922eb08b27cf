#include "platform/KZDirStream.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kzplatform {

namespace {

// The record layout of getdents64 (glibc declares the call but not the struct).
struct LinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

std::atomic<bool> g_reportsUnknownTypes{false};

} // namespace

KZDirStream::KZDirStream(char *buffer, size_t bufferSize)
    : m_buffer(buffer)
    , m_bufferSize(bufferSize)
{
}

KZDirStream::~KZDirStream()
{
    close();
}

int KZDirStream::openAt(int dirfd, const char *name)
{
    return openWith(dirfd, name, kOpenFlags | O_NOFOLLOW);
}

int KZDirStream::openPath(const char *path)
{
    return openWith(AT_FDCWD, path, kOpenFlags);
}

int KZDirStream::openPathNoFollow(const char *path)
{
    return openWith(AT_FDCWD, path, kOpenFlags | O_NOFOLLOW);
}

int KZDirStream::release()
{
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    struct stat st;
    const off_t position = ::lseek(m_fd, 0, SEEK_CUR);
    if (position < 0 || ::fstat(m_fd, &st) != 0)
        return -1;
    m_position = position;
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    const int fd = m_fd;
    m_fd = -1;
    m_released = true;
    ::close(fd);
    return 0;
}

namespace {

int openRetryingOnSignal(int dirfd, const char *name, int flags)
{
    int fd;
    do {
        fd = ::openat(dirfd, name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

int KZDirStream::resume(const char *path)
{
    if (!m_released) {
        errno = EINVAL;
        return -1;
    }
    const int fd = openRetryingOnSignal(AT_FDCWD, path, m_openFlags);
    if (fd < 0)
        return -1;
    struct stat st;
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (st.st_dev != m_dev || st.st_ino != m_ino)
        error = ESTALE;
    else if (::lseek(fd, m_position, SEEK_SET) < 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    m_fd = fd;
    m_released = false;
    return 0;
}

int KZDirStream::openWith(int dirfd, const char *name, int flags)
{
    close();
    const int fd = openRetryingOnSignal(dirfd, name, flags);
    if (fd < 0)
        return -1;
    m_fd = fd;
    m_openFlags = flags;
    m_filled = m_offset = 0;
    return 0;
}

int KZDirStream::read(KZDirEntry *entry)
{
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (m_offset >= m_filled) {
        ssize_t n;
        do {
            n = ::getdents64(m_fd, m_buffer, m_bufferSize);
        } while (n < 0 && errno == EINTR);
        if (n < 0)
            return -1;
        if (n == 0)
            return 0;
        m_filled = static_cast<size_t>(n);
        m_offset = 0;
    }
    const auto *d = reinterpret_cast<const LinuxDirent64 *>(m_buffer + m_offset);
    m_offset += d->d_reclen;
    entry->name = d->d_name;
    // The kernel ends every name with a NUL inside the record.
    entry->nameLength = std::strlen(d->d_name);
    entry->type = g_reportsUnknownTypes.load(std::memory_order_relaxed) ? static_cast<unsigned char>(DT_UNKNOWN) : d->d_type;
    entry->ino = d->d_ino;
    return 1;
}

int KZDirStream::close()
{
    m_released = false;
    if (m_fd < 0) {
        m_filled = m_offset = 0;
        return 0;
    }
    const int fd = m_fd;
    m_fd = -1;
    m_filled = m_offset = 0;
    // Linux releases the descriptor even when close reports EINTR; never retry.
    return ::close(fd);
}

int KZDirStream::takeDescriptor()
{
    const int fd = m_fd;
    m_fd = -1;
    m_released = false;
    m_filled = m_offset = 0;
    return fd;
}

void KZDirStream::setReportsUnknownTypesForTesting(bool on)
{
    g_reportsUnknownTypes.store(on, std::memory_order_relaxed);
}

unsigned char kzEntryTypeOfMode(uint32_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return DT_REG;
    case S_IFDIR: return DT_DIR;
    case S_IFLNK: return DT_LNK;
    case S_IFIFO: return DT_FIFO;
    case S_IFSOCK: return DT_SOCK;
    case S_IFCHR: return DT_CHR;
    case S_IFBLK: return DT_BLK;
    default: return DT_UNKNOWN;
    }
}

unsigned char kzEntryTypeAt(int dirfd, const char *name)
{
    struct stat st;
    if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return DT_UNKNOWN;
    return kzEntryTypeOfMode(st.st_mode);
}

} // namespace kzplatform
