// Limits of this process's resources.
#pragma once

namespace kzplatform {

// Raises the soft limit of open descriptors to the hard limit (to the
// system's ceiling when the hard limit is unlimited): a walk holds one
// descriptor per folder level, and the usual soft limit of 1,024 is lower
// than the deepest trees. Returns the soft limit in force afterwards, or -1
// when it cannot be read.
long long kzRaiseOpenFileLimit();

} // namespace kzplatform
