// Folders listed ahead of the walk by a small pool of reader threads. The walk
// itself stays one depth-first pass on its own thread; it asks for each folder
// in turn and usually finds it already listed, its entries typed and the stats
// it will need taken. Readers work on the folders the walk will reach next
// (the smallest position in walk order first), within a fixed budget of
// listed-but-unwalked bytes and of open descriptors, and stop on cancel.
// Readers cost CPU (locking, bookkeeping, copies), so they only work while
// the disk makes the walk wait: the walk lists alone until folders start
// needing block reads, then engages the readers, and lets them rest again
// once a long run of folders came from the cache.
#pragma once

#include <QByteArray>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "engine/KZFileSearchWalk.h"
#include "platform/KZPosixFS.h"

// A folder's place in walk order: the index of each folder on the way down in
// its parent's listing. Walk order is the lexicographic order of these.
using KZWalkKey = std::vector<uint32_t>;

struct KZListedEntry {
    // Offered: a sub-folder the walk will enter, handed to the readers.
    enum : uint8_t { HasStat = 1, StatFailed = 2, WasUnknown = 4, Offered = 8 };
    uint32_t nameOffset = 0;
    uint16_t nameLength = 0;
    uint8_t type = 0;  // DT_*; the stat's answer when the kernel left it unknown
    uint8_t flags = 0;
    int32_t stat = 0;  // index into KZListing::stats, or the errno of a failed stat
};

// A descriptor shared by the sub-folders that still wait to be opened relative to it.
class KZFolderDescriptor
{
public:
    KZFolderDescriptor(int fd, std::atomic<int> *open);
    ~KZFolderDescriptor();
    KZFolderDescriptor(const KZFolderDescriptor &) = delete;
    KZFolderDescriptor &operator=(const KZFolderDescriptor &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
    std::atomic<int> *m_open;
};

// One folder read in full, entries in the kernel's order ("." and ".." left out).
struct KZListing {
    QByteArray path;
    int openError = 0; // errno when the folder could not be opened
    int readError = 0; // errno when reading stopped before the end
    std::vector<KZListedEntry> entries;
    std::vector<char> names; // each name followed by its NUL
    std::vector<kzplatform::KZStat> stats;
    bool offered = false; // its sub-folders went to the readers

    const char *name(const KZListedEntry &e) const { return names.data() + e.nameOffset; }
    size_t bytes() const
    {
        return sizeof(KZListing) + static_cast<size_t>(path.size()) + entries.size() * sizeof(KZListedEntry)
               + names.size() + stats.size() * sizeof(kzplatform::KZStat);
    }
};

class KZWalkReadAhead
{
public:
    // Listed-but-unwalked bytes the readers may hold, whatever the tree.
    static constexpr size_t kBudgetBytes = 4u << 20;

    KZWalkReadAhead(const KZWalkOptions &options, int readers);
    // 0: readers engage when the disk makes the walk wait (the default);
    // 1: always engaged; n > 1: engaged and rested in turn every n folders.
    static void setEngagementForTesting(int period);
    // Stops the readers, waits for them and closes every descriptor they kept.
    ~KZWalkReadAhead();
    KZWalkReadAhead(const KZWalkReadAhead &) = delete;
    KZWalkReadAhead &operator=(const KZWalkReadAhead &) = delete;

    // The folder at key, listed by a reader (waiting for one that is on it),
    // or listed here when no reader got to it; its sub-folders are offered to
    // the readers. Everything before key in walk order is given up. followLink:
    // a final link is followed (the root of the walk only).
    std::unique_ptr<KZListing> take(const KZWalkKey &key, const char *path, size_t pathLength, bool followLink);
    // Gives a walked listing back for reuse.
    void recycle(std::unique_ptr<KZListing> listing);

private:
    struct Pending {
        QByteArray path;
        uint32_t nameOffset = 0; // where the name starts in path
        std::shared_ptr<KZFolderDescriptor> parent; // null: open by path
        size_t bytes() const;
    };

    void readerLoop();
    // Lists one folder into out; fills out->openError on failure. Returns the
    // open descriptor (or -1) when out has sub-folders to offer.
    // slow: the listing read the disk (blocks: the thread's block reads so far).
    int list(const Pending &item, bool followLink, char *buffer, size_t bufferSize, KZListing *out, bool *outOfFiles,
             bool *slow, long *blocks);
    // Under the lock: queues the sub-folders of listing, opened relative to fd when it is kept.
    // From entry from on; guarded: leaves out what is already queued, read or listed.
    void offerLocked(const KZWalkKey &key, const KZListing &listing, int fd, size_t from = 0, bool guarded = false);
    // Under the lock: the walk waits on the disk, so the readers start, on
    // the folders still ahead of it in the listings being walked.
    void engageLocked(const KZWalkKey &key);
    void restLocked(std::vector<std::shared_ptr<KZFolderDescriptor>> *closeLater);
    // Under the lock: one more folder listed, slow when it had to read the disk.
    void countLocked(const KZWalkKey &key, bool slow, std::vector<std::shared_ptr<KZFolderDescriptor>> *closeLater);
    void dropBeforeLocked(const KZWalkKey &key, std::vector<std::shared_ptr<KZFolderDescriptor>> *closeLater);
    std::unique_ptr<KZListing> newListing();
    bool stopping() const;

    const KZWalkOptions &m_options;
    std::mutex m_mutex;
    std::condition_variable m_work; // readers wait here
    std::condition_variable m_done; // the walk waits here
    std::map<KZWalkKey, Pending> m_queue;
    std::set<KZWalkKey> m_reading;
    std::map<KZWalkKey, std::unique_ptr<KZListing>> m_listed;
    std::vector<std::unique_ptr<KZListing>> m_spare;
    KZWalkKey m_walkedUpTo;
    size_t m_usedBytes = 0;
    size_t m_idleReaders = 0;
    bool m_walkWaits = false;
    bool m_stop = false;
    std::atomic<bool> m_stopFlag{false};
    std::atomic<int> m_openDescriptors{0};
    std::atomic<int> m_descriptorCap{0};
    std::unique_ptr<char[]> m_walkBuffer; // the walk's own getdents buffer
    long m_walkBlocks = 0;
    // The listings the walk is inside, outermost first, with their depth.
    std::vector<std::pair<KZListing *, size_t>> m_walking;
    bool m_engaged = false;
    int m_period = 0;         // see setEngagementForTesting
    uint64_t m_taken = 0;     // folders the walk has taken
    uint32_t m_windowTaken = 0;
    uint32_t m_windowSlow = 0; // listings in the window that read the disk
    int m_readerCount = 0;    // started when first engaged
    std::vector<std::thread> m_readers;
};
