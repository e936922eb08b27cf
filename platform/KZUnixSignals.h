// Termination signals (SIGINT, SIGTERM, SIGHUP) delivered to the event loop:
// the handler only writes the signal number into a pipe; the callback runs on
// the thread that called kzWatchTerminationSignals, from its event loop.
#pragma once

#include <functional>

class QObject;

// Installs the handlers once per process; a later call replaces the callback.
// context owns the notifier (the callback stops with it).
void kzWatchTerminationSignals(QObject *context, std::function<void(int signo)> onSignal);
// The last signal that reached the handlers, or 0: work that the event loop
// queued before the callback's turn can ask it and stop at once.
int kzReceivedTerminationSignal();
