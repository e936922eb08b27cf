#include "platform/metadata/KZHeaderReadDevice.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace kzplatform {

KZHeaderReadDevice::KZHeaderReadDevice(int fd, qint64 budget, QObject *parent)
    : QIODevice(parent), m_fd(fd), m_budget(budget)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        m_size = st.st_size;
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 KZHeaderReadDevice::readData(char *data, qint64 maxSize)
{
    const qint64 allowed = qMin(maxSize, m_budget - m_read);
    if (allowed <= 0)
        return -1;
    ssize_t n;
    do {
        n = ::pread(m_fd, data, size_t(allowed), off_t(pos()));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    m_read += n;
    return n;
}

} // namespace kzplatform
