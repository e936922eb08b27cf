// Keeping the user's files safe: a file that cannot be read is set aside under
// a new name, never overwritten before the user's data is safe; a file that
// several processes change is changed under an advisory lock.
#pragma once

#include <QString>
#include <functional>

#include "platform/KZFileLock.h"

// Moves (or copies) path to "path.bad"; when that name is taken, to
// "path.bad.2", "path.bad.3", ... so an earlier set-aside file is never
// replaced. Returns the new path, or a null string when nothing could be kept
// (logged). The observer hears of every file set aside.
QString kzSetFileAside(const QString &path, bool move = true);

// Told of each file set aside: its path, where it went and whether it was
// moved (true) or copied; called on the thread that set it aside.
using KZSetAsideObserver = std::function<void(const QString &path, const QString &aside, bool moved)>;
// Installs observer (an empty one: none) and returns the one it replaces.
KZSetAsideObserver kzSetFileAsideObserver(KZSetAsideObserver observer);

// Waits for the advisory lock that a process holds while it reads, changes
// and writes back a file other processes change too; lockPath is "NAME.lock"
// beside it. False after kzSharedFileLockTimeoutMs() (5 s) of waiting, logged
// ("lock timeout"), with *message saying that nothing was changed. A lock file
// that cannot be opened (a folder that cannot be written, where the change
// cannot be written either) is logged and gives true with *lock not held.
bool kzLockSharedFile(const QString &lockPath, kzplatform::KZFileLock *lock, QString *message = nullptr);
int kzSharedFileLockTimeoutMs();
// Tests: a shorter wait; 0 restores 5 s.
void kzSetSharedFileLockTimeoutMsForTesting(int ms);

// A working folder of this user's own at path, made 0700 and empty: one left
// by an earlier run is removed first. In a temporary directory that other
// accounts share, the name may be taken by something not ours (another
// user's folder, a link planted there): it is never entered or emptied, and
// path + fallbackSuffix is made instead; so is it when the old one cannot be
// removed. Returns the folder made, or a null string (logged).
QString kzMakeOwnWorkingFolder(const QString &path, const QString &fallbackSuffix);
