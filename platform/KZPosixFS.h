// Thin facades over the Linux file-system calls that Trovix uses: statx with
// a birth-time stand-in, and extended attributes read without following links.
#pragma once

#include <sys/types.h>
#include <cstdint>
#include <ctime>

namespace kzplatform {

// The attribute snapshot of one entry, as the rest of Trovix sees it.
struct KZStat {
    uint64_t dev = 0;          // st_dev as makedev(major, minor)
    uint64_t ino = 0;
    uint32_t mode = 0;         // type and permission bits
    uint32_t nlink = 0;
    uint32_t uid = 0;
    uint32_t gid = 0;
    int64_t size = 0;          // logical size in bytes
    int64_t blocks = 0;        // 512-byte blocks
    struct timespec atime {};
    struct timespec mtime {};
    struct timespec ctime {};
    struct timespec btime {};  // birth time, or the stand-in (earlier of ctime and mtime)
    bool hasBirthTime = false; // false when btime is the stand-in
};

// statx(dirfd, name) without following a final symbolic link. Returns 0, or
// -1 with errno set. Where the file system gives no birth time (no STATX_BTIME
// in the answer, or a birth time of 0) the earlier of change and modification
// time stands in, so that a creation date is always defined.
int kzStatAt(int dirfd, const char *name, KZStat *out);
// The same for an absolute path (dirfd AT_FDCWD).
int kzLstat(const char *path, KZStat *out);
// The same but following links (stat rather than lstat).
int kzStatFollow(const char *path, KZStat *out);

// llistxattr into buf; returns the byte length of the NUL-separated list, or
// -1 with errno set (ERANGE when buf is too small; call with size 0 for the size).
ssize_t kzListXattr(const char *path, char *buf, size_t size);
// lgetxattr; same conventions.
ssize_t kzGetXattr(const char *path, const char *name, void *buf, size_t size);
// lsetxattr / lremovexattr; 0 or -1 with errno.
int kzSetXattr(const char *path, const char *name, const void *value, size_t size);
int kzRemoveXattr(const char *path, const char *name);

} // namespace kzplatform
