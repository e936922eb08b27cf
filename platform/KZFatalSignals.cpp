#include "platform/KZFatalSignals.h"

#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <QDir>
#include <QString>

namespace kzplatform {

namespace {

// Filled before the handler is installed; the handler only reads them.
char g_crashDir[4096];
char g_build[128];
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Appends text to buf at *pos, never past cap - 1.
void put(char *buf, size_t cap, size_t *pos, const char *text)
{
    while (*text && *pos + 1 < cap)
        buf[(*pos)++] = *text++;
    buf[*pos] = '\0';
}

void putNumber(char *buf, size_t cap, size_t *pos, long long value)
{
    char digits[24];
    int n = 0;
    const bool negative = value < 0;
    unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v && n < 23);
    if (negative)
        digits[n++] = '-';
    char text[24];
    for (int i = 0; i < n; ++i)
        text[i] = digits[n - 1 - i];
    text[n] = '\0';
    put(buf, cap, pos, text);
}

const char *signalName(int signo)
{
    switch (signo) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

void writeAll(int fd, const char *text, size_t length)
{
    while (length > 0) {
        const ssize_t n = write(fd, text, length);
        if (n <= 0)
            return;
        text += n;
        length -= static_cast<size_t>(n);
    }
}

void onFatalSignal(int signo)
{
    const int savedErrno = errno;
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);

    char path[sizeof g_crashDir + 64];
    size_t pos = 0;
    put(path, sizeof path, &pos, g_crashDir);
    put(path, sizeof path, &pos, "/trovix-");
    putNumber(path, sizeof path, &pos, now.tv_sec);
    put(path, sizeof path, &pos, "-");
    putNumber(path, sizeof path, &pos, getpid());
    put(path, sizeof path, &pos, ".crash");

    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        char head[512];
        pos = 0;
        put(head, sizeof head, &pos, "Signal: ");
        put(head, sizeof head, &pos, signalName(signo));
        put(head, sizeof head, &pos, " (");
        putNumber(head, sizeof head, &pos, signo);
        put(head, sizeof head, &pos, ")\nTime: ");
        putNumber(head, sizeof head, &pos, now.tv_sec);
        put(head, sizeof head, &pos, "\nPid: ");
        putNumber(head, sizeof head, &pos, getpid());
        put(head, sizeof head, &pos, "\nBuild: ");
        put(head, sizeof head, &pos, g_build);
        put(head, sizeof head, &pos, "\nBacktrace:\n");
        writeAll(fd, head, pos);
        void *frames[128];
        const int count = backtrace(frames, 128);
        backtrace_symbols_fd(frames, count, fd);
        close(fd);
    }

    // The default action now: the process ends of this very signal.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signo, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signo);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    errno = savedErrno;
    raise(signo);
}

} // namespace

bool kzInstallFatalSignalHandler(const QByteArray &crashDir, const QByteArray &build)
{
    if (crashDir.isEmpty() || static_cast<size_t>(crashDir.size()) >= sizeof g_crashDir ||
        !QDir().mkpath(QString::fromLocal8Bit(crashDir)))
        return false;
    memcpy(g_crashDir, crashDir.constData(), static_cast<size_t>(crashDir.size()));
    g_crashDir[crashDir.size()] = '\0';
    const size_t buildLength = qMin(static_cast<size_t>(build.size()), sizeof g_build - 1);
    memcpy(g_build, build.constData(), buildLength);
    g_build[buildLength] = '\0';

    static bool installed = false;
    if (installed)
        return true;
    installed = true;
    // The first backtrace loads the unwinder, which allocates: do it here,
    // never in the handler.
    void *warm[2];
    backtrace(warm, 2);
    // A stack of its own, so that a stack overflow still leaves its file.
    static char alternate[64 * 1024];
    stack_t stack {};
    stack.ss_sp = alternate;
    stack.ss_size = sizeof alternate;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    for (int signo : kSignals)
        sigaction(signo, &action, nullptr);
    return true;
}

} // namespace kzplatform
