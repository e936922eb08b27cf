// A directory stream over getdents64 on a descriptor opened relative to its
// parent, so that walks never resolve full paths. The entry buffer is given by
// the caller and reused from one folder to the next: listing a folder
// allocates nothing.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <cstdint>

namespace kzplatform {

// One entry as the kernel gives it. name points into the stream's buffer and
// stays valid until the next read() or close().
struct KZDirEntry {
    const char *name = nullptr;
    size_t nameLength = 0;
    unsigned char type = 0; // DT_REG, DT_DIR, DT_LNK, ... or DT_UNKNOWN
    uint64_t ino = 0;
};

class KZDirStream
{
public:
    // A buffer of this size holds a few hundred entries per system call.
    static constexpr size_t kDefaultBufferSize = 32 * 1024;

    // buffer (at least 1 KiB) belongs to the caller and must outlive the stream.
    KZDirStream(char *buffer, size_t bufferSize);
    ~KZDirStream();
    KZDirStream(const KZDirStream &) = delete;
    KZDirStream &operator=(const KZDirStream &) = delete;

    // Opens the directory name relative to dirfd without following a final
    // symbolic link (a link is never entered). 0, or -1 with errno set.
    int openAt(int dirfd, const char *name);
    // Opens a directory by path; a final link is followed (the folder a user
    // chose may be a link). 0, or -1 with errno set.
    int openPath(const char *path);
    // Opens a directory by path without following a final link. 0, or -1
    // with errno set.
    int openPathNoFollow(const char *path);

    // Closes the descriptor but keeps the entries already read and the place
    // in the directory, so that resume() carries on from there: a deep walk
    // frees the descriptors of its ancestors this way. 0, or -1 with errno set.
    int release();
    // Reopens a released stream by path at the place where it was released;
    // a final link is followed only when the stream was opened with openPath(). Fails with ESTALE when the path now names
    // another directory. 0, or -1 with errno set (the stream stays released).
    int resume(const char *path);
    bool isReleased() const { return m_released; }

    // 1: entry filled; 0: end of the directory; -1: read error (errno set).
    // "." and ".." are returned like any other entry.
    int read(KZDirEntry *entry);

    // The open descriptor, for *at() calls on the entries; -1 when closed.
    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

    // 0, or -1 with errno set. Closing a closed stream does nothing.
    int close();
    // Hands the open descriptor over to the caller, who closes it; the
    // stream is left closed. -1 when it was not open.
    int takeDescriptor();

    // Makes every stream report DT_UNKNOWN, as some file systems do, so that
    // tests can check that callers type such entries themselves. Any thread.
    static void setReportsUnknownTypesForTesting(bool on);

private:
    int openWith(int dirfd, const char *name, int flags);

    char *m_buffer;
    size_t m_bufferSize;
    size_t m_filled = 0;
    size_t m_offset = 0;
    int m_fd = -1;
    // Where a released stream stands, and what it listed.
    bool m_released = false;
    int m_openFlags = 0;
    off_t m_position = 0;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
};

// Types an entry the kernel left as DT_UNKNOWN (some file systems never fill
// the type): one fstatat without following links. Returns the DT_* code, or
// DT_UNKNOWN with errno set when the entry cannot be stat-ed.
unsigned char kzEntryTypeAt(int dirfd, const char *name);

// DT_* code of a st_mode.
unsigned char kzEntryTypeOfMode(uint32_t mode);

} // namespace kzplatform
