#include "platform/KZUnixSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <cerrno>

#include <QObject>
#include <QSocketNotifier>

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_received = 0;

void onUnixSignal(int signo)
{
    const int saved = errno;
    g_received = signo;
    const char byte = static_cast<char>(signo);
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void kzWatchTerminationSignals(QObject *context, std::function<void(int signo)> onSignal)
{
    if (g_pipe[0] < 0) {
        if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        struct sigaction sa {};
        sa.sa_handler = onUnixSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGHUP, &sa, nullptr);
    }
    auto *notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onSignal = std::move(onSignal)] {
        char byte = 0;
        while (read(g_pipe[0], &byte, 1) == 1)
            onSignal(static_cast<unsigned char>(byte));
    });
}

int kzReceivedTerminationSignal()
{
    return g_received;
}
