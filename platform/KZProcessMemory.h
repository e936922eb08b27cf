// The memory of this process as the system counts it.
#pragma once

namespace kzplatform {

// Hands the free pages of the heap back to the system (glibc's malloc_trim).
// Blocks freed between blocks still in use otherwise stay resident: a window
// emptied of millions of results would keep their memory. Any thread; it holds
// the allocator's locks while it walks the heap (tens of milliseconds for a
// heap of gigabytes), so the GUI thread leaves it to a worker. True when some
// memory was given back.
bool kzReleaseFreeHeapMemory();

} // namespace kzplatform
