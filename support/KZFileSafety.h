// Keeping the user's files safe: a file that cannot be read is set aside under
// a new name, never overwritten before the user's data is safe.
#pragma once

#include <QString>

// Moves (or copies) path to "path.bad"; when that name is taken, to
// "path.bad.2", "path.bad.3", ... so an earlier set-aside file is never
// replaced. Returns the new path, or a null string when nothing could be kept
// (logged).
QString kzSetFileAside(const QString &path, bool move = true);
