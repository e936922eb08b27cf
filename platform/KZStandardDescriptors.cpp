#include "platform/KZStandardDescriptors.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace kzplatform {

void kzHoldClosedStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

} // namespace kzplatform
