// The freedesktop Trash through GIO (`g_file_trash`: the home trash, or the
// volume's own ".Trash-UID" folder). Any thread; both calls touch the disk.
#pragma once

#include <QString>

namespace kzplatform {

// GIO's "access::can-trash" of the entry (not following a final link):
// false on volumes without a usable trash (tmpfs and other system mounts),
// and for a missing entry.
bool kzCanTrash(const QString &path);

// Moves the entry into the Trash with its .trashinfo; false with GIO's reason.
bool kzMoveToTrash(const QString &path, QString *error = nullptr);

} // namespace kzplatform
