// The walk's scratch buffer: a byte buffer with a hard capacity that only
// grows, reused for every entry so that reading attributes allocates only
// when a larger value than ever before comes along.
#pragma once

#include <cstdint>

struct KZCBufferContainer {
    uint64_t capacity = 0;  // largest size the buffer may ever have
    uint64_t allocated = 0; // bytes currently allocated
    uint64_t length = 0;    // bytes currently in use
    char *data = nullptr;   // owned
};

// Sets the capacity and clears the rest; with allocateNow the buffer is sized
// to the full capacity at once. Does not free an earlier allocation.
void KZCBufferContainerNew(KZCBufferContainer *container, uint64_t capacity, bool allocateNow);

// Makes the buffer hold at least size bytes. A size within the allocation only
// sets length. A larger one replaces the allocation (the old contents are not
// kept). False, logged, when size exceeds the capacity (nothing changes) or
// the allocation fails (the container is then empty).
bool KZCBufferContainerSetSize(KZCBufferContainer *container, uint64_t size);

// Releases the allocation; the container may be sized again afterwards.
void KZCBufferContainerFree(KZCBufferContainer *container);
