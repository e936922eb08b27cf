#include "engine/KZWalkReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <sys/resource.h>
#include <system_error>
#include <time.h>
#include <unistd.h>

#include "platform/KZDirStream.h"

using kzplatform::KZDirEntry;
using kzplatform::KZDirStream;

namespace {

constexpr size_t kReaderBufferSize = KZDirStream::kDefaultBufferSize;
// Walked listings kept for reuse, and the largest one worth keeping.
constexpr size_t kSpareListings = 16;
constexpr size_t kSpareEntriesCapacity = 4096;

// A listing slower than this is checked for block reads; one that read the
// disk takes longer, one served from the cache far less.
constexpr int64_t kCheckAfterNs = 40'000;
// The readers engage after this many listings that read the disk among the
// walk's last kEngageWindow folders, and rest after kRestWindow folders in
// which no listing did.
constexpr uint32_t kEngageAfter = 2;
constexpr uint32_t kEngageWindow = 256;
constexpr uint32_t kRestWindow = 1024;

std::atomic<int> g_engagementPeriod{0};

int64_t nowNs()
{
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Blocks this thread has read from a disk (not from the cache) so far.
long blocksRead()
{
    struct rusage usage {};
    return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_inblock : 0;
}

size_t keyBytes(const KZWalkKey &key)
{
    return sizeof(KZWalkKey) + key.size() * sizeof(uint32_t) + 64; // and the map node
}

// A share of the descriptor limit for the folders whose sub-folders wait:
// the walk's own folders and the rest of the process keep the larger part.
int descriptorCap()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 256;
    return static_cast<int>(std::clamp<rlim_t>(limit.rlim_cur / 4, 8, 1024));
}

} // namespace

KZFolderDescriptor::KZFolderDescriptor(int fd, std::atomic<int> *open)
    : m_fd(fd)
    , m_open(open)
{
    m_open->fetch_add(1, std::memory_order_relaxed);
}

KZFolderDescriptor::~KZFolderDescriptor()
{
    ::close(m_fd);
    m_open->fetch_sub(1, std::memory_order_relaxed);
}

size_t KZWalkReadAhead::Pending::bytes() const
{
    return sizeof(Pending) + static_cast<size_t>(path.size());
}

KZWalkReadAhead::KZWalkReadAhead(const KZWalkOptions &options, int readers)
    : m_options(options)
    , m_descriptorCap(descriptorCap())
    , m_walkBuffer(new char[kReaderBufferSize])
    , m_walkBlocks(blocksRead())
    , m_period(g_engagementPeriod.load(std::memory_order_relaxed))
    , m_readerCount(readers)
{
}

void KZWalkReadAhead::setEngagementForTesting(int period)
{
    g_engagementPeriod.store(std::max(0, period), std::memory_order_relaxed);
}

KZWalkReadAhead::~KZWalkReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_stopFlag.store(true, std::memory_order_relaxed);
    }
    m_work.notify_all();
    for (std::thread &t : m_readers)
        t.join();
}

bool KZWalkReadAhead::stopping() const
{
    return m_stopFlag.load(std::memory_order_relaxed)
           || (m_options.isCancelled && m_options.isCancelled->load(std::memory_order_relaxed));
}

std::unique_ptr<KZListing> KZWalkReadAhead::newListing()
{
    if (m_spare.empty())
        return std::make_unique<KZListing>();
    std::unique_ptr<KZListing> listing = std::move(m_spare.back());
    m_spare.pop_back();
    return listing;
}

void KZWalkReadAhead::recycle(std::unique_ptr<KZListing> listing)
{
    if (!listing)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (size_t i = m_walking.size(); i > 0; --i) {
        if (m_walking[i - 1].first == listing.get()) {
            m_walking.resize(i - 1);
            break;
        }
    }
    if (listing->entries.capacity() > kSpareEntriesCapacity || m_spare.size() >= kSpareListings)
        return;
    listing->entries.clear();
    listing->names.clear();
    listing->stats.clear();
    m_spare.push_back(std::move(listing));
}

int KZWalkReadAhead::list(const Pending &item, bool followLink, char *buffer, size_t bufferSize, KZListing *out,
                          bool *unusable, bool *slow, long *blocks)
{
    const int64_t started = nowNs();
    *slow = false;
    const auto timed = [&](int fd) {
        if (nowNs() - started > kCheckAfterNs) {
            const long now = blocksRead();
            *slow = now > *blocks;
            *blocks = now;
        }
        return fd;
    };
    const KZWalkOptions &o = m_options;
    out->path = item.path;
    out->openError = out->readError = 0;
    out->entries.clear();
    out->names.clear();
    out->stats.clear();
    out->offered = false;
    *unusable = false;
    if (stopping()) {
        *unusable = true;
        return -1;
    }
    const char *path = item.path.constData();
    KZDirStream stream(buffer, bufferSize);
    const int opened = item.parent ? stream.openAt(item.parent->fd(), path + item.nameOffset)
                                   : followLink ? stream.openPath(path) : stream.openPathNoFollow(path);
    if (opened != 0) {
        out->openError = errno;
        *unusable = errno == EMFILE || errno == ENFILE;
        return timed(-1);
    }
    KZWalkCountListedFolder();

    const size_t pathLength = static_cast<size_t>(item.path.size());
    char entryPath[PATH_MAX];
    std::memcpy(entryPath, path, pathLength);
    size_t prefixLength = pathLength;
    if (path[pathLength - 1] != '/')
        entryPath[prefixLength++] = '/';
    const bool listingRoot = pathLength == 1 && path[0] == '/';
    const int fd = stream.fd();
    bool offers = false;
    KZDirEntry entry;
    kzplatform::KZStat st;
    for (;;) {
        const int read = stream.read(&entry);
        if (read == 0)
            break;
        if (read < 0) {
            out->readError = errno;
            break;
        }
        const char *name = entry.name;
        const size_t nameLength = entry.nameLength;
        if (nameLength == 0 || (name[0] == '.' && (nameLength == 1 || (nameLength == 2 && name[1] == '.'))))
            continue;
        KZListedEntry e;
        e.nameOffset = static_cast<uint32_t>(out->names.size());
        e.nameLength = static_cast<uint16_t>(nameLength);
        e.type = entry.type;
        out->names.insert(out->names.end(), name, name + nameLength + 1);
        const auto statEntry = [&] {
            if (kzplatform::kzStatAt(fd, name, &st) != 0) {
                e.flags |= KZListedEntry::StatFailed;
                e.stat = errno;
                return false;
            }
            e.flags |= KZListedEntry::HasStat;
            e.stat = static_cast<int32_t>(out->stats.size());
            out->stats.push_back(st);
            return true;
        };
        const size_t entryPathLength = prefixLength + nameLength;
        // What the walk passes over is left untouched: it never stats it.
        if (KZWalkSkipsName(o, name, nameLength, listingRoot) || entryPathLength >= PATH_MAX - 1) {
            out->entries.push_back(e);
            continue;
        }
        std::memcpy(entryPath + prefixLength, name, nameLength + 1);
        if (KZWalkIsRemoteMount(o, entryPath, entryPathLength)) {
            out->entries.push_back(e);
            continue;
        }
        unsigned char type = entry.type;
        if (type == DT_UNKNOWN) {
            e.flags |= KZListedEntry::WasUnknown;
            if (!statEntry()) {
                out->entries.push_back(e);
                continue;
            }
            type = kzplatform::kzEntryTypeOfMode(st.mode);
            e.type = type;
        }
        const bool passedOver = type == DT_DIR && KZWalkPassesOverFolder(o, name, nameLength, entryPath, entryPathLength);
        if (!passedOver && (type == DT_REG || type == DT_DIR || type == DT_LNK)
            && (type == DT_REG || !o.onlyFilesMatch) && o.statMatches && !(e.flags & KZListedEntry::HasStat)
            && KZEntryMatchNames(o, name, nameLength))
            statEntry();
        if (type == DT_DIR && !passedOver && !(e.flags & KZListedEntry::StatFailed)) {
            e.flags |= KZListedEntry::Offered;
            offers = true;
        }
        out->entries.push_back(e);
        if (stopping()) {
            *unusable = true;
            return -1;
        }
    }
    if (!offers || m_openDescriptors.load(std::memory_order_relaxed) >= m_descriptorCap.load(std::memory_order_relaxed))
        return timed(-1);
    return timed(stream.takeDescriptor());
}

void KZWalkReadAhead::offerLocked(const KZWalkKey &key, const KZListing &listing, int fd, size_t from, bool guarded)
{
    std::shared_ptr<KZFolderDescriptor> shared;
    if (fd >= 0)
        shared = std::make_shared<KZFolderDescriptor>(fd, &m_openDescriptors);
    const bool slash = !listing.path.endsWith('/');
    const uint32_t nameOffset = static_cast<uint32_t>(listing.path.size() + (slash ? 1 : 0));
    KZWalkKey childKey = key;
    childKey.push_back(0);
    size_t offered = 0;
    for (size_t i = from; i < listing.entries.size(); ++i) {
        const KZListedEntry &e = listing.entries[i];
        if (!(e.flags & KZListedEntry::Offered))
            continue;
        if (m_usedBytes >= kBudgetBytes)
            break; // the walk lists the rest itself when it gets there
        childKey.back() = static_cast<uint32_t>(i);
        if (guarded && (m_queue.count(childKey) || m_reading.count(childKey) || m_listed.count(childKey)))
            continue;
        Pending p;
        p.path.reserve(nameOffset + e.nameLength);
        p.path.append(listing.path);
        if (slash)
            p.path.append('/');
        p.path.append(listing.name(e), e.nameLength);
        p.nameOffset = nameOffset;
        p.parent = shared;
        m_usedBytes += p.bytes() + keyBytes(childKey);
        m_queue.emplace(childKey, std::move(p));
        ++offered;
    }
    // Wake only readers that wait: a wake-up is a context switch.
    for (size_t i = std::min(offered, m_idleReaders); i > 0; --i)
        m_work.notify_one();
}

void KZWalkReadAhead::engageLocked(const KZWalkKey &key)
{
    m_engaged = true;
    // Fewer readers than asked (none at all) only slow the walk: it lists
    // what no reader got to itself.
    try {
        while (static_cast<int>(m_readers.size()) < m_readerCount)
            m_readers.emplace_back([this] { readerLoop(); });
    } catch (const std::system_error &) {
    }
    // The folders the walk is inside were listed without offering what
    // follows the way down; the innermost first in walk order anyway.
    for (const auto &[listing, depth] : m_walking) {
        if (depth >= key.size())
            continue;
        KZWalkKey folderKey(key.begin(), key.begin() + static_cast<ptrdiff_t>(depth));
        offerLocked(folderKey, *listing, -1, size_t(key[depth]) + 1, true);
    }
}

void KZWalkReadAhead::restLocked(std::vector<std::shared_ptr<KZFolderDescriptor>> *closeLater)
{
    m_engaged = false;
    // What was queued is left to the walk; what was listed it still takes.
    for (auto &[k, p] : m_queue) {
        m_usedBytes -= p.bytes() + keyBytes(k);
        closeLater->push_back(std::move(p.parent));
    }
    m_queue.clear();
}

void KZWalkReadAhead::countLocked(const KZWalkKey &key, bool slow,
                                  std::vector<std::shared_ptr<KZFolderDescriptor>> *closeLater)
{
    ++m_taken;
    ++m_windowTaken;
    if (slow)
        ++m_windowSlow;
    if (m_period > 0) {
        const bool engage = m_period == 1 || (m_taken / static_cast<uint64_t>(m_period)) % 2 == 1;
        if (engage && !m_engaged)
            engageLocked(key);
        else if (!engage && m_engaged)
            restLocked(closeLater);
        return;
    }
    if (!m_engaged && m_windowSlow >= kEngageAfter) {
        engageLocked(key);
    } else if (m_windowTaken < (m_engaged ? kRestWindow : kEngageWindow)) {
        return;
    } else if (m_engaged && m_windowSlow == 0) {
        restLocked(closeLater);
    }
    m_windowTaken = m_windowSlow = 0;
}

void KZWalkReadAhead::dropBeforeLocked(const KZWalkKey &key, std::vector<std::shared_ptr<KZFolderDescriptor>> *closeLater)
{
    while (!m_queue.empty() && m_queue.begin()->first < key) {
        auto node = m_queue.extract(m_queue.begin());
        m_usedBytes -= node.mapped().bytes() + keyBytes(node.key());
        closeLater->push_back(std::move(node.mapped().parent));
    }
    while (!m_listed.empty() && m_listed.begin()->first < key) {
        m_usedBytes -= m_listed.begin()->second->bytes();
        m_listed.erase(m_listed.begin());
    }
}

void KZWalkReadAhead::readerLoop()
{
    std::unique_ptr<char[]> buffer(new char[kReaderBufferSize]);
    long blocks = blocksRead();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        ++m_idleReaders;
        m_work.wait(lock, [this] { return m_stop || (!m_queue.empty() && m_usedBytes < kBudgetBytes); });
        --m_idleReaders;
        if (m_stop)
            return;
        auto node = m_queue.extract(m_queue.begin());
        KZWalkKey key = std::move(node.key());
        Pending item = std::move(node.mapped());
        m_usedBytes -= item.bytes() + keyBytes(key);
        m_reading.insert(key);
        std::unique_ptr<KZListing> listing = newListing();
        lock.unlock();

        bool unusable = false;
        bool slow = false;
        int fd = list(item, false, buffer.get(), kReaderBufferSize, listing.get(), &unusable, &slow, &blocks);
        item.parent.reset();
        if (unusable && listing->openError != 0) // out of descriptors: keep fewer
            m_descriptorCap.store(std::max(4, m_openDescriptors.load(std::memory_order_relaxed) / 2),
                                  std::memory_order_relaxed);

        lock.lock();
        m_reading.erase(key);
        if (slow)
            ++m_windowSlow;
        if (unusable || m_stop || key < m_walkedUpTo) {
            // Given up: the walk lists the folder itself if it still needs it.
            if (fd >= 0)
                ::close(fd);
            if (m_spare.size() < kSpareListings)
                m_spare.push_back(std::move(listing));
        } else {
            if (m_engaged) {
                offerLocked(key, *listing, fd);
                listing->offered = true;
            } else if (fd >= 0) {
                ::close(fd); // resting: the walk lists what follows itself
            }
            m_usedBytes += listing->bytes();
            m_listed.emplace(std::move(key), std::move(listing));
        }
        if (m_walkWaits)
            m_done.notify_all();
    }
}

std::unique_ptr<KZListing> KZWalkReadAhead::take(const KZWalkKey &key, const char *path, size_t pathLength,
                                                 bool followLink)
{
    const QByteArray folder = QByteArray::fromRawData(path, static_cast<qsizetype>(pathLength));
    std::vector<std::shared_ptr<KZFolderDescriptor>> closeLater;
    std::unique_ptr<KZListing> listing;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_walkedUpTo = key;
    // Readers held back by the budget go on once the walk has freed room.
    const bool wasFull = m_usedBytes >= kBudgetBytes;
    dropBeforeLocked(key, &closeLater);
    for (;;) {
        const auto it = m_listed.find(key);
        if (it != m_listed.end()) {
            listing = std::move(it->second);
            m_listed.erase(it);
            m_usedBytes -= listing->bytes();
            if (wasFull && m_usedBytes < kBudgetBytes)
                m_work.notify_all();
            if (listing->path == folder) {
                countLocked(key, false, &closeLater);
                if (m_engaged && !listing->offered) // listed while the readers rested
                    offerLocked(key, *listing, -1, 0, true);
                m_walking.emplace_back(listing.get(), key.size());
                lock.unlock();
                return listing;
            }
            break; // the tree changed under the readers: list it again
        }
        if (m_reading.count(key) == 0)
            break;
        m_walkWaits = true;
        m_done.wait(lock);
        m_walkWaits = false;
    }

    // No reader got to it: list it here and offer its sub-folders.
    Pending item;
    if (!m_queue.empty()) {
        const auto queued = m_queue.find(key);
        if (queued != m_queue.end()) {
            m_usedBytes -= queued->second.bytes() + keyBytes(key);
            if (queued->second.path == folder)
                item = std::move(queued->second);
            m_queue.erase(queued);
        }
    }
    if (wasFull && m_usedBytes < kBudgetBytes)
        m_work.notify_all();
    if (item.path.isEmpty())
        item.path = QByteArray(path, static_cast<qsizetype>(pathLength));
    if (!listing)
        listing = newListing();
    lock.unlock();
    closeLater.clear();

    bool unusable = false;
    bool slow = false;
    int fd = list(item, followLink, m_walkBuffer.get(), kReaderBufferSize, listing.get(), &unusable, &slow, &m_walkBlocks);
    if (unusable && listing->openError != 0) {
        // Out of descriptors: the folders whose sub-folders wait let theirs
        // go (those open by path), and this one is opened by path.
        lock.lock();
        for (auto &[k, p] : m_queue)
            closeLater.push_back(std::move(p.parent));
        m_descriptorCap.store(4, std::memory_order_relaxed);
        lock.unlock();
        closeLater.clear();
        item.parent.reset();
        fd = list(item, followLink, m_walkBuffer.get(), kReaderBufferSize, listing.get(), &unusable, &slow,
                  &m_walkBlocks);
    }
    item.parent.reset();
    lock.lock();
    countLocked(key, slow, &closeLater);
    if (m_engaged) {
        offerLocked(key, *listing, fd);
        listing->offered = true;
        fd = -1;
    }
    m_walking.emplace_back(listing.get(), key.size());
    lock.unlock();
    if (fd >= 0)
        ::close(fd);
    return listing;
}
