#include "platform/KZThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kzplatform {

bool kzLowerCurrentThreadPriority()
{
    // On Linux the nice value belongs to the thread named by its tid.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    return setpriority(PRIO_PROCESS, tid, 19) == 0;
}

} // namespace kzplatform
