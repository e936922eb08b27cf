// The fatal-signal handler: on SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT it
// writes the signal, the time, the build and a backtrace into
// CRASHDIR/trovix-<time>-<pid>.crash with async-signal-safe calls only, then
// raises the signal again with its default action, so that the system's core
// dump handling still sees the crash.
#pragma once

#include <QByteArray>

namespace kzplatform {

// Creates crashDir (and its parents) and installs the handler once per
// process; a later call changes the folder and build text. False when the
// folder cannot be made. Call before threads start.
bool kzInstallFatalSignalHandler(const QByteArray &crashDir, const QByteArray &build);

} // namespace kzplatform
