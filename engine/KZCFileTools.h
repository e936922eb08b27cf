// Name predicates for the entries at the top of a volume that lists offered
// to the user leave out. They work on single names, not paths.
#pragma once

#include <cstddef>

// Volume hidden names (".Trashes", ".Spotlight-V100", "lost+found", ...).
// Names shorter than 1 or longer than 40 bytes are never hidden.
bool KZIsVolumeHiddenFilename(const char *name, size_t length);

// Volume hidden names and system names. Mode 1 keeps the Unix top-level
// folders (etc, usr, ...) visible; mode 0 hides them too. Names shorter than
// 1 or longer than 50 bytes are never hidden.
bool KZIsVolumeSystemHiddenFilename(const char *name, size_t length, int mode);
