// Scheduling of background worker threads.
#pragma once

namespace kzplatform {

// Gives the calling thread the lowest normal scheduling priority (nice 19 for
// this thread only), so background work such as thumbnails yields to the
// interface and to searches without ever being starved. Threads created
// afterwards by this thread inherit it. False when the system refused (logged
// by the caller if it matters).
bool kzLowerCurrentThreadPriority();

} // namespace kzplatform
