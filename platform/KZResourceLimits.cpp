#include "platform/KZResourceLimits.h"

#include <sys/resource.h>
#include <climits>

#include <QFile>

namespace kzplatform {

long long kzRaiseOpenFileLimit()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur != limit.rlim_max) {
        struct rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) != 0 && limit.rlim_max == RLIM_INFINITY) {
            // "Unlimited" is refused beyond the kernel's ceiling: take the ceiling.
            QFile ceiling(QStringLiteral("/proc/sys/fs/nr_open"));
            bool ok = false;
            const qlonglong value = ceiling.open(QIODevice::ReadOnly) ? ceiling.readAll().trimmed().toLongLong(&ok) : 0;
            if (ok && value > 0 && static_cast<rlim_t>(value) > limit.rlim_cur) {
                raised.rlim_cur = static_cast<rlim_t>(value);
                ::setrlimit(RLIMIT_NOFILE, &raised);
            }
        }
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur == RLIM_INFINITY ? LLONG_MAX : static_cast<long long>(limit.rlim_cur);
}

} // namespace kzplatform
