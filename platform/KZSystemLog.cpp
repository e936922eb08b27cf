#include "platform/KZSystemLog.h"

#include <syslog.h>
#include <unistd.h>
#include <cstdio>
#include <mutex>

#include <QString>

namespace kzplatform {

namespace {

int priorityOf(int severity)
{
    switch (severity) {
    case 0: return LOG_DEBUG;
    case 1: return LOG_DEBUG;
    case 2: return LOG_INFO;
    case 3: return LOG_WARNING;
    case 4: return LOG_ERR;
    default: return LOG_CRIT;
    }
}

} // namespace

void kzSystemLogWrite(int severity, const QString &entry)
{
    static std::once_flag opened;
    static bool stderrIsTerminal = false;
    std::call_once(opened, [] {
        openlog("trovix", LOG_PID, LOG_USER);
        stderrIsTerminal = isatty(STDERR_FILENO) == 1;
    });
    const QByteArray bytes = entry.toUtf8();
    syslog(priorityOf(severity), "%s", bytes.constData());
    if (stderrIsTerminal) {
        // One fprintf per record keeps records whole when threads log at once.
        std::fprintf(stderr, "trovix: %s\n", bytes.constData());
    }
}

} // namespace kzplatform
