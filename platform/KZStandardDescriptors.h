// The standard descriptors of a command-line tool, kept where they belong.
#pragma once

namespace kzplatform {

// Call first in main, before anything opens a file. A standard descriptor
// (0, 1, 2) that was closed at start is taken by /dev/null opened the wrong
// way round (input for writing, outputs for reading): no file opened later
// gets its number and receives what was meant for it, and every read or write
// on it still fails with EBADF, as on a closed descriptor.
void kzHoldClosedStandardDescriptors();

} // namespace kzplatform
