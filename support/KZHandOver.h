// Hand-overs between threads through Qt Core (its thread pools' queues, queued
// and blocking calls to another thread). Qt Core orders them with futexes that
// ThreadSanitizer cannot see: a release before data is handed over and an
// acquire first thing where the other thread takes it tell the sanitizer that
// order, so that it reports true races only. Empty in other builds.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define KZ_HANDOVER_ANNOTATED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KZ_HANDOVER_ANNOTATED 1
#endif
#endif

#ifdef KZ_HANDOVER_ANNOTATED
#include <sanitizer/tsan_interface.h>
// One address for every hand-over: the receiving side cannot read anything
// of the sender's before its acquire.
inline char kzHandOverToken;
inline void kzHandOverRelease() { __tsan_release(&kzHandOverToken); }
inline void kzHandOverAcquire() { __tsan_acquire(&kzHandOverToken); }
#else
inline void kzHandOverRelease() {}
inline void kzHandOverAcquire() {}
#endif
