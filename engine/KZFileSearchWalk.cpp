#include "engine/KZFileSearchWalk.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <vector>

#include "engine/KZWalkReadAhead.h"
#include "platform/KZDirStream.h"
#include "platform/KZGuardedFS.h"
#include "platform/KZMimeTypes.h"
#include "platform/KZPosixFS.h"
#include "support/KZLog.h"

namespace {

using kzplatform::KZDirEntry;
using kzplatform::KZDirStream;
using kzplatform::KZStat;

struct AsciiLowerTable {
    unsigned char map[256];
    constexpr AsciiLowerTable()
        : map()
    {
        for (int i = 0; i < 256; ++i)
            map[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i - 'A' + 'a' : i);
    }
};
constexpr AsciiLowerTable kLower;

std::atomic<bool> g_countsListedFolders{false};
std::atomic<int64_t> g_listedFolders{0};

// Log entries name the function of the design, not the C++ helper that wrote them.
#define KZLOG_WALK(severity, msg) \
    KZLog::logWithSeverity((severity), KZFunctionMessage("PerformSearchInDirectory", __LINE__, (msg)))
#define KZLOG_FILTER(severity, msg) \
    KZLog::logWithSeverity((severity), KZFunctionMessage("EntryMatchWithFilters", __LINE__, (msg)))

inline unsigned char lower(char c)
{
    return kLower.map[static_cast<unsigned char>(c)];
}

inline bool equalIgnoringAsciiCase(const char *a, const char *b, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

QString bytesText(const char *bytes)
{
    return QString::fromUtf8(bytes);
}

QString errnoText(int error)
{
    return QStringLiteral("errno:%1 (%2)").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
}

// The buffers of one depth of the walk: the entry-path buffer and the
// directory-entry buffer, allocated the first time the walk reaches that
// depth and reused by every folder at that depth.
struct LevelBuffers {
    std::unique_ptr<char[]> path;
    std::unique_ptr<char[]> entries;
    size_t entriesSize = 0;
    KZDirStream *stream = nullptr; // the folder being listed at this depth
};

// Deep chains get smaller entry buffers: a folder that deep rarely holds many entries.
constexpr size_t kShallowLevels = 32;
constexpr size_t kDeepEntriesBufferSize = 4096;

struct Walk {
    const KZWalkOptions &options;
    std::vector<LevelBuffers> levels;

    explicit Walk(const KZWalkOptions &o)
        : options(o)
    {
        // Every level adds at least "/x" to a path shorter than PATH_MAX, so the
        // vector never moves while folders hold pointers into it.
        levels.reserve(PATH_MAX / 2 + 2);
    }

    bool cancelled() const { return options.isCancelled && options.isCancelled->load(std::memory_order_relaxed); }

    void tellUnreadable(const char *dirPath, int error) const
    {
        if (options.unreadableFolder && *options.unreadableFolder)
            (*options.unreadableFolder)(QByteArray(dirPath), error);
    }

    LevelBuffers *level(size_t depth)
    {
        if (depth < levels.size() && levels[depth].path)
            return &levels[depth];
        if (depth >= levels.size())
            levels.resize(depth + 1);
        LevelBuffers &l = levels[depth];
        l.entriesSize = depth < kShallowLevels ? KZDirStream::kDefaultBufferSize : kDeepEntriesBufferSize;
        l.path.reset(new (std::nothrow) char[PATH_MAX]);
        l.entries.reset(new (std::nothrow) char[l.entriesSize]);
        if (!l.path || !l.entries) {
            l.path.reset();
            l.entries.reset();
            return nullptr;
        }
        return &l;
    }

    // Out of descriptors: the folders above depth let theirs go and take
    // them up again by path when the walk comes back to them. True when one
    // was released.
    bool releaseAncestors(size_t depth)
    {
        bool released = false;
        for (size_t d = 0; d < depth && d < levels.size(); ++d) {
            KZDirStream *s = levels[d].stream;
            released = (s && s->isOpen() && s->release() == 0) || released;
        }
        return released;
    }

    int directory(int parentFd, const char *nameInParent, const char *dirPath, size_t dirPathLength, size_t depth);
    template <typename Folder>
    int entries(Folder &folder, const char *dirPath, size_t dirPathLength, size_t depth, LevelBuffers *buffers);
    void openFailed(const char *dirPath, int error) const;

    // Set when readers list folders ahead of the walk.
    KZWalkReadAhead *readAhead = nullptr;
    // The folder's place in walk order, and how many network mounts it is below.
    KZWalkKey key;
    int remoteDepth = 0;
};

bool isRootSkippedName(const char *name, size_t length)
{
    switch (length) {
    case 3:
        return std::memcmp(name, "sys", 3) == 0 || std::memcmp(name, "dev", 3) == 0
            || std::memcmp(name, "run", 3) == 0 || std::memcmp(name, "mnt", 3) == 0
            || std::memcmp(name, "net", 3) == 0;
    case 4: return std::memcmp(name, "proc", 4) == 0;
    case 5: return std::memcmp(name, "media", 5) == 0;
    default: return false;
    }
}

bool isTrashFolder(const char *name, size_t length, const char *path, size_t pathLength,
                   const QByteArray &homeTrash)
{
    if (length == 6 && std::memcmp(name, ".Trash", 6) == 0)
        return true;
    // Per-volume trash: ".Trash-" and the owner's user id.
    if (length > 7 && std::memcmp(name, ".Trash-", 7) == 0) {
        for (size_t i = 7; i < length; ++i)
            if (name[i] < '0' || name[i] > '9')
                return false;
        return true;
    }
    return length == 5 && std::memcmp(name, "Trash", 5) == 0 && static_cast<size_t>(homeTrash.size()) == pathLength
        && std::memcmp(homeTrash.constData(), path, pathLength) == 0;
}

bool isExcluded(const KZExcludedDir *list, const char *path, size_t pathLength)
{
    for (const KZExcludedDir *node = list; node; node = node->next)
        if (node->pathLength == pathLength && std::memcmp(node->path, path, pathLength) == 0)
            return true;
    return false;
}

bool isRemoteMount(const std::vector<QByteArray> &mounts, const char *path, size_t pathLength)
{
    for (const QByteArray &m : mounts)
        if (static_cast<size_t>(m.size()) == pathLength && std::memcmp(m.constData(), path, pathLength) == 0)
            return true;
    return false;
}

// Lists the start of a network or FUSE folder on a worker, waiting a short
// time only: 0 when it answered (whatever the answer), ETIMEDOUT when it did
// not, ENOMEDIUM when it is an automount point that is not mounted.
int remoteFolderSilence(const char *path)
{
    const QByteArray folder(path);
    int error = 0;
    const std::optional<int> answered = kzplatform::kzCallForPath<int>(
        folder, kzplatform::kzDefaultProbeTimeoutMs,
        [folder]() {
            char entries[1024];
            KZDirStream stream(entries, sizeof entries);
            KZDirEntry entry;
            if (stream.openPathNoFollow(folder.constData()) == 0)
                stream.read(&entry);
            return 0;
        },
        &error);
    return answered ? 0 : error;
}

bool isPositiveNameOperator(int64_t op)
{
    return op == KZFileSearchOperatorContains || op == KZFileSearchOperatorBeginsWith
        || op == KZFileSearchOperatorEndsWith || op == KZFileSearchOperatorIs;
}

// A name filter passes when either spelling (decomposed as typed, or
// precomposed as Linux mostly stores names) passes a positive test; a
// negative test (is not, does not contain) fails when either is found.
bool nameFilterPasses(const KZFileSearchFilterStruct &f, const char *name, size_t length)
{
    const bool first = KZNameTest(f.op, name, length, f.text, f.textLength);
    if (!f.auxText)
        return first;
    if (isPositiveNameOperator(f.op))
        return first || KZNameTest(f.op, name, length, f.auxText, f.auxTextLength);
    if (f.op == KZFileSearchOperatorIsNot || f.op == KZFileSearchOperatorDoesNotContain)
        return first && KZNameTest(f.op, name, length, f.auxText, f.auxTextLength);
    return true;
}

// The name pass: only what the directory entry tells, before any stat.
bool EntryMatchNames(const KZFileSearchFilterStruct *filters, int32_t count, const char *name, size_t length)
{
    for (int32_t i = 0; i < count; ++i) {
        const KZFileSearchFilterStruct &f = filters[i];
        if (f.kind == KZFileSearchKindFileName) {
            if (!nameFilterPasses(f, name, length))
                return false;
        } else if (f.kind == KZFileSearchKindUTIType && f.text) {
            const bool isDSStore = length == f.textLength && std::memcmp(name, f.text, length) == 0;
            if (f.op == KZFileSearchOperatorIs && !isDSStore)
                return false;
            if (f.op == KZFileSearchOperatorIsNot && isDSStore)
                return false;
        }
    }
    return true;
}

bool dateFilterPasses(const KZFileSearchFilterStruct &f, int64_t e)
{
    const int64_t t = f.timeValue;
    switch (f.op) {
    case KZFileSearchOperatorDateExactlyDay:
    case KZFileSearchOperatorDateToday:
    case KZFileSearchOperatorDateYesterday: return t <= e && e <= t + 86400;
    case KZFileSearchOperatorDateBefore: return e < t;
    case KZFileSearchOperatorDateAfter: return e > t + 86400;
    case KZFileSearchOperatorDateWithinLast:
    case KZFileSearchOperatorDateLastHour:
    case KZFileSearchOperatorDateLast6Hours: return e >= t;
    default: return true;
    }
}

bool attributeIsPresent(const char *filePath, const KZFileSearchFilterStruct &f, KZCBufferContainer *buffer,
                        bool *failed)
{
    *failed = false;
    const ssize_t namesSz = kzplatform::kzListXattr(filePath, nullptr, 0);
    if (namesSz < 1)
        return false;
    if (!KZCBufferContainerSetSize(buffer, static_cast<uint64_t>(namesSz))) {
        KZLOG_FILTER(KZLogSeverityError, QStringLiteral("KZCBufferContainerSetSize==false"));
        *failed = true;
        return false;
    }
    const ssize_t sz = kzplatform::kzListXattr(filePath, buffer->data, static_cast<size_t>(namesSz));
    if (sz != namesSz) {
        const int error = errno;
        KZLOG_FILTER(KZLogSeverityError, QStringLiteral("listxattr!=namesSz ") + errnoText(error));
        *failed = true;
        return false;
    }
    const char *p = buffer->data;
    const char *end = buffer->data + sz;
    while (p < end) {
        const size_t length = strnlen(p, static_cast<size_t>(end - p));
        if ((length == f.textLength && std::memcmp(p, f.text, length) == 0)
            || (f.auxText && length == f.auxTextLength && std::memcmp(p, f.auxText, length) == 0))
            return true;
        p += length + 1;
    }
    return false;
}

// The full pass, in filter order, once the entry is known to exist.
bool EntryMatchWithFilters(const KZFileSearchFilterStruct *filters, int32_t count, const char *entryPath,
                           const char *name, size_t nameLength, unsigned char type, const KZStat *st,
                           KZCBufferContainer *buffer)
{
    const bool fileOrDir = type == DT_REG || type == DT_DIR;
    for (int32_t i = 0; i < count; ++i) {
        const KZFileSearchFilterStruct &f = filters[i];
        switch (f.kind) {
        case KZFileSearchKindFileSize:
            if (type != DT_REG || !st)
                return false;
            if (f.op == KZFileSearchOperatorLessThan && st->size > f.sizeValue)
                return false;
            if (f.op == KZFileSearchOperatorGreaterThan && st->size < f.sizeValue)
                return false;
            break;
        case KZFileSearchKindUTIType:
            if (f.entryType) {
                if (f.op == KZFileSearchOperatorIs && type != f.entryType)
                    return false;
                if (f.op == KZFileSearchOperatorIsNot && type == f.entryType)
                    return false;
            } else if (!f.text && !f.typeIdentifier.isEmpty()) {
                if (!fileOrDir)
                    return false;
                if (f.op != KZFileSearchOperatorIs && f.op != KZFileSearchOperatorIsNot)
                    break;
                const QString typeName = type == DT_DIR ? kzplatform::KZMimeTypes::directoryTypeName()
                                                        : kzplatform::KZMimeTypes::typeNameForFileName(name, nameLength);
                const bool conforms =
                    !typeName.isEmpty() && kzplatform::KZMimeTypes::typeConformsTo(typeName, f.typeIdentifier);
                if (f.op == KZFileSearchOperatorIs && !conforms)
                    return false;
                if (f.op == KZFileSearchOperatorIsNot && conforms)
                    return false;
            }
            break;
        case KZFileSearchKindDateCreated:
            if (!st || !dateFilterPasses(f, st->btime.tv_sec))
                return false;
            break;
        case KZFileSearchKindDateModified:
            if (!st || !dateFilterPasses(f, st->mtime.tv_sec))
                return false;
            break;
        case KZFileSearchKindTagNames:
            if (!fileOrDir || !MD_TagNamesOfFilePath(entryPath, f, buffer))
                return false;
            break;
        case KZFileSearchKindXAttrs: {
            if (!fileOrDir)
                return false;
            bool failed = false;
            const bool present = attributeIsPresent(entryPath, f, buffer, &failed);
            if (failed)
                return false;
            if (f.op == KZFileSearchOperatorIsDefined && !present)
                return false;
            if (f.op == KZFileSearchOperatorIsNotDefined && present)
                return false;
            break;
        }
        default: break;
        }
    }
    return true;
}

int32_t typeLetter(unsigned char type)
{
    switch (type) {
    case DT_REG: return FileSearchResult::TypeRegularFile;
    case DT_DIR: return FileSearchResult::TypeDirectory;
    default: return FileSearchResult::TypeSymLink;
    }
}

uint16_t modeOfType(unsigned char type)
{
    switch (type) {
    case DT_REG: return S_IFREG;
    case DT_DIR: return S_IFDIR;
    default: return S_IFLNK;
    }
}

void countMatch(KZFileSearchCounters &counters, unsigned char type)
{
    if (type == DT_REG)
        ++counters.files;
    else if (type == DT_DIR)
        ++counters.dirs;
    else
        ++counters.links;
}

// A folder listed as the walk goes: the stream on an open descriptor.
struct StreamFolder {
    KZDirStream &stream;
    int fd;

    int read(KZDirEntry *entry) { return stream.read(entry); }
    int statEntry(const char *name, const char * /*entryPath*/, KZStat *st) const { return kzplatform::kzStatAt(fd, name, st); }
    int childFd() const { return fd; }
    bool isOpen() const { return stream.isOpen(); }
    // A deeper level that ran out of descriptors may have released this one.
    void afterChild(const Walk &walk, int child, const char *dirPath)
    {
        if (!stream.isOpen() && child != 0 && !walk.cancelled()) {
            if (stream.resume(dirPath) != 0) {
                const int error = errno;
                KZLOG_WALK(KZLogSeverityError, QStringLiteral("resume!=0 dirPath:%1 ").arg(bytesText(dirPath)) + errnoText(error));
                walk.tellUnreadable(dirPath, error);
            }
            fd = stream.fd();
        }
    }
    void finish(const char *dirPath)
    {
        if (stream.close() != 0) {
            const int error = errno;
            KZLOG_WALK(KZLogSeverityError, QStringLiteral("closeDir!=0 errno:%1 dirPath:%2").arg(error).arg(bytesText(dirPath)));
        }
    }
};

// A folder read in full beforehand, with the stats the filters need.
struct ListedFolder {
    const KZListing &listing;
    size_t next = 0;
    const KZListedEntry *current = nullptr;

    int read(KZDirEntry *entry)
    {
        if (next == listing.entries.size()) {
            errno = listing.readError;
            return listing.readError != 0 ? -1 : 0;
        }
        current = &listing.entries[next++];
        entry->name = listing.name(*current);
        entry->nameLength = current->nameLength;
        entry->type = (current->flags & KZListedEntry::WasUnknown) ? static_cast<unsigned char>(DT_UNKNOWN) : current->type;
        return 1;
    }
    int statEntry(const char * /*name*/, const char *entryPath, KZStat *st) const
    {
        if (current->flags & KZListedEntry::HasStat) {
            *st = listing.stats[static_cast<size_t>(current->stat)];
            return 0;
        }
        if (current->flags & KZListedEntry::StatFailed) {
            errno = current->stat;
            return -1;
        }
        return kzplatform::kzLstat(entryPath, st);
    }
    int childFd() const { return -1; }
    bool isOpen() const { return true; }
    void afterChild(const Walk &, int, const char *) {}
    void finish(const char *) {}
};

void Walk::openFailed(const char *dirPath, int error) const
{
    const QString message = QStringLiteral("dir==NULL dirPath:%1 ").arg(bytesText(dirPath)) + errnoText(error);
    if (error == EACCES)
        KZLOG_WALK(KZLogSeverityInfo, message);
    else
        KZLOG_WALK(KZLogSeverityError, message);
    tellUnreadable(dirPath, error);
}

int Walk::directory(int parentFd, const char *nameInParent, const char *dirPath, size_t dirPathLength, size_t depth)
{
    if (cancelled())
        return 0;
    if (!dirPath || dirPathLength == 0) {
        KZLOG_WALK(KZLogSeverityError, QStringLiteral("dirPathL==0 dirPath:%1").arg(dirPath ? bytesText(dirPath) : QString()));
        return -1;
    }
    LevelBuffers *buffers = level(depth);
    if (!buffers)
        return -3;

    if (readAhead && remoteDepth == 0) {
        std::unique_ptr<KZListing> listing = readAhead->take(key, dirPath, dirPathLength, depth == 0);
        int status = -2;
        if (listing->openError != 0) {
            openFailed(dirPath, listing->openError);
        } else {
            ListedFolder folder{*listing};
            status = entries(folder, dirPath, dirPathLength, depth, buffers);
        }
        readAhead->recycle(std::move(listing));
        return status;
    }

    // Only the root of the walk follows a final link.
    KZDirStream stream(buffers->entries.get(), buffers->entriesSize);
    int opened = parentFd >= 0 ? stream.openAt(parentFd, nameInParent)
                 : depth == 0  ? stream.openPath(dirPath)
                               : stream.openPathNoFollow(dirPath);
    if (opened != 0 && (errno == EMFILE || errno == ENFILE) && releaseAncestors(depth))
        opened = depth > 0 ? stream.openPathNoFollow(dirPath) : stream.openPath(dirPath);
    if (opened != 0) {
        openFailed(dirPath, errno);
        return -2;
    }
    KZWalkCountListedFolder();
    buffers->stream = &stream;
    StreamFolder folder{stream, stream.fd()};
    return entries(folder, dirPath, dirPathLength, depth, buffers);
}

template <typename Folder>
int Walk::entries(Folder &folder, const char *dirPath, size_t dirPathLength, size_t depth, LevelBuffers *buffers)
{
    char *pathBuffer = buffers->path.get();
    std::memcpy(pathBuffer, dirPath, dirPathLength);
    size_t prefixLength = dirPathLength;
    if (dirPath[dirPathLength - 1] != '/')
        pathBuffer[prefixLength++] = '/';
    const bool listingRoot = dirPathLength == 1 && dirPath[0] == '/';
    const KZWalkOptions &o = options;

    FileSearchResultList batch;
    QByteArray paths; // instead of batch, for a paths callback
    // The folder's matches join the counters with its batch: the sub-folders
    // handed over before it must not count what nobody has seen yet.
    KZFileSearchCounters found;
    const bool collectsPaths = o.pathsCallback != nullptr;
    int status = 1;
    KZDirEntry entry;
    KZStat st; // filled for the entries that get a stat
    uint32_t index = 0; // the entry's place in the folder, for its sub-folder's key
    for (;; ++index) {
        const int read = folder.read(&entry);
        if (read == 0)
            break;
        if (read < 0) {
            const int error = errno;
            KZLOG_WALK(KZLogSeverityError, QStringLiteral("readdir==NULL dirPath:%1 ").arg(bytesText(dirPath)) + errnoText(error));
            tellUnreadable(dirPath, error);
            break;
        }
        const char *name = entry.name;
        const size_t nameLength = entry.nameLength;
        do { // one entry; `break` moves on to the next
            if (nameLength == 0)
                break;
            if (name[0] == '.' && (nameLength == 1 || (nameLength == 2 && name[1] == '.')))
                break;
            if (KZWalkSkipsName(o, name, nameLength, listingRoot))
                break;
            const size_t entryPathLength = prefixLength + nameLength;
            if (entryPathLength >= PATH_MAX - 1) {
                KZLOG_WALK(KZLogSeverityError, QStringLiteral("entryPathL>=MAXPATHLEN entryPathL:%1").arg(entryPathLength));
                ++o.counters->skippedLongPaths;
                status = -4;
                break;
            }
            // The entry path is only written out for entries that need it:
            // folders, name matches and log messages.
            bool pathBuilt = false;
            const auto buildPath = [&] {
                if (!pathBuilt) {
                    std::memcpy(pathBuffer + prefixLength, name, nameLength + 1);
                    pathBuilt = true;
                }
            };

            unsigned char type = entry.type;
            bool haveStat = false;
            if (type == DT_UNKNOWN) {
                buildPath();
                if (folder.statEntry(name, pathBuffer, &st) != 0) {
                    const int error = errno;
                    KZLOG_WALK(KZLogSeverityError, QStringLiteral("lstat!=0 entryPath:%1 ").arg(bytesText(pathBuffer)) + errnoText(error));
                    break;
                }
                type = kzplatform::kzEntryTypeOfMode(st.mode);
                haveStat = true;
            }
            if (type != DT_REG && type != DT_DIR && type != DT_LNK) {
                buildPath();
                KZLOG_WALK(KZLogSeverityWarning, QStringLiteral("dirType:%1 entryPath:%2").arg(type).arg(bytesText(pathBuffer)));
                break;
            }
            bool intoRemote = false;
            if (type == DT_DIR) {
                buildPath();
                if (!o.includeTrash && isTrashFolder(name, nameLength, pathBuffer, entryPathLength, o.homeTrashPath))
                    break;
                if (o.excludedDirs && isExcluded(o.excludedDirs, pathBuffer, entryPathLength))
                    break;
                if (o.skippedDirNames && o.skippedDirNames->contains(name, nameLength))
                    break;
                // Even the stat of a mount point waits for its server: ask first.
                if (KZWalkIsRemoteMount(o, pathBuffer, entryPathLength)) {
                    if (const int silence = remoteFolderSilence(pathBuffer)) {
                        KZLOG_WALK(KZLogSeverityWarning, QStringLiteral("remoteDir==unreachable dirPath:%1 ").arg(bytesText(pathBuffer)) + errnoText(silence));
                        tellUnreadable(pathBuffer, silence);
                        break;
                    }
                    intoRemote = true;
                }
            }

            if ((type == DT_REG || !o.onlyFilesMatch) && EntryMatchNames(o.filters, o.filtersCount, name, nameLength)) {
                buildPath();
                if (o.statMatches && !haveStat) {
                    if (folder.statEntry(name, pathBuffer, &st) != 0) {
                        const int error = errno;
                        KZLOG_WALK(KZLogSeverityError, QStringLiteral("lstat!=0 entryPath:%1 ").arg(bytesText(pathBuffer))
                                      + errnoText(error));
                        break; // neither matched nor descended
                    }
                    haveStat = true;
                }
                if (EntryMatchWithFilters(o.filters, o.filtersCount, pathBuffer, name, nameLength, type,
                                          haveStat ? &st : nullptr, o.buffer)) {
                    if (collectsPaths) {
                        // The entry path's own NUL ends it in the list.
                        paths.append(pathBuffer, static_cast<qsizetype>(entryPathLength + 1));
                        countMatch(found, type);
                    } else {
                        FileSearchResultStatInfo info;
                        if (haveStat)
                            info = FileSearchResultStatInfo::fromStat(st);
                        else
                            info.st_mode = modeOfType(type);
                        FileSearchResultRef result = FileSearchResult::initWithPath(pathBuffer, entryPathLength,
                                                                                    typeLetter(type), info, haveStat);
                        if (!result) {
                            KZLOG_WALK(KZLogSeverityError,
                                       QStringLiteral("result==nil entryPath:%1").arg(bytesText(pathBuffer)));
                        } else {
                            batch.append(std::move(result));
                            countMatch(found, type);
                        }
                    }
                }
            }

            if (type == DT_DIR) {
                // Below a network mount the walk lists each folder itself.
                remoteDepth += intoRemote ? 1 : 0;
                key.push_back(index);
                const int child = directory(folder.childFd(), name, pathBuffer, entryPathLength, depth + 1);
                key.pop_back();
                remoteDepth -= intoRemote ? 1 : 0;
                folder.afterChild(*this, child, dirPath);
                if (child == 0) {
                    status = 0;
                } else if (child == -2) {
                    KZLOG_WALK(KZLogSeverityWarning, 
                        QStringLiteral("PerformSearchInDirectory:%1 entryPath:%2").arg(child).arg(bytesText(pathBuffer)));
                } else if (child != 1) {
                    KZLOG_WALK(KZLogSeverityError, 
                        QStringLiteral("PerformSearchInDirectory:%1 entryPath:%2").arg(child).arg(bytesText(pathBuffer)));
                }
            }
        } while (false);
        if (status == 0 || cancelled()) {
            status = 0;
            break;
        }
        if (!folder.isOpen())
            break; // released and not taken up again: the rest is out of reach
    }
    buffers->stream = nullptr;
    folder.finish(dirPath);
    if (cancelled())
        return status;
    o.counters->files += found.files;
    o.counters->dirs += found.dirs;
    o.counters->links += found.links;
    if (!batch.isEmpty() && o.callback && *o.callback)
        (*o.callback)(KZFileSearchStatusBatch, batch, *o.counters);
    else if (!paths.isEmpty() && o.pathsCallback && *o.pathsCallback)
        (*o.pathsCallback)(KZFileSearchStatusBatch, paths, *o.counters);
    return status;
}

} // namespace

bool KZWalkSkipsName(const KZWalkOptions &o, const char *name, size_t nameLength, bool listingRoot)
{
    if (o.skipDSStore && nameLength == 9 && std::memcmp(name, ".DS_Store", 9) == 0)
        return true;
    return listingRoot && isRootSkippedName(name, nameLength);
}

bool KZWalkPassesOverFolder(const KZWalkOptions &o, const char *name, size_t nameLength, const char *path,
                            size_t pathLength)
{
    return (!o.includeTrash && isTrashFolder(name, nameLength, path, pathLength, o.homeTrashPath))
           || (o.excludedDirs && isExcluded(o.excludedDirs, path, pathLength))
           || (o.skippedDirNames && o.skippedDirNames->contains(name, nameLength))
           || KZWalkIsRemoteMount(o, path, pathLength);
}

bool KZWalkIsRemoteMount(const KZWalkOptions &o, const char *path, size_t pathLength)
{
    return !o.remoteMounts.empty() && isRemoteMount(o.remoteMounts, path, pathLength);
}

bool KZEntryMatchNames(const KZWalkOptions &o, const char *name, size_t length)
{
    return EntryMatchNames(o.filters, o.filtersCount, name, length);
}

void KZWalkCountListedFolder()
{
    if (g_countsListedFolders.load(std::memory_order_relaxed))
        g_listedFolders.fetch_add(1, std::memory_order_relaxed);
}

bool KZNameContains(const char *name, size_t nameLength, const char *text, size_t textLength)
{
    if (textLength > nameLength)
        return false;
    if (textLength == 0)
        return true;
    const unsigned char first = lower(text[0]);
    const size_t last = nameLength - textLength;
    for (size_t i = 0; i <= last; ++i) {
        if (lower(name[i]) == first && equalIgnoringAsciiCase(name + i + 1, text + 1, textLength - 1))
            return true;
    }
    return false;
}

bool KZNameTest(int64_t op, const char *name, size_t nameLength, const char *text, size_t textLength)
{
    switch (op) {
    case KZFileSearchOperatorContains: return KZNameContains(name, nameLength, text, textLength);
    case KZFileSearchOperatorBeginsWith:
        return textLength <= nameLength && equalIgnoringAsciiCase(name, text, textLength);
    case KZFileSearchOperatorEndsWith:
        return textLength <= nameLength && equalIgnoringAsciiCase(name + nameLength - textLength, text, textLength);
    case KZFileSearchOperatorIs: return textLength == nameLength && equalIgnoringAsciiCase(name, text, textLength);
    case KZFileSearchOperatorIsNot: return !(textLength == nameLength && equalIgnoringAsciiCase(name, text, textLength));
    case KZFileSearchOperatorDoesNotContain: return !KZNameContains(name, nameLength, text, textLength);
    default: return true;
    }
}

QByteArray KZHomeTrashPath()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.isEmpty() || data.at(0) != '/')
        data = qgetenv("HOME") + "/.local/share";
    while (data.size() > 1 && data.endsWith('/'))
        data.chop(1);
    return data + "/Trash";
}

namespace {

std::atomic<int> g_walkThreads{0};

constexpr int kMaxWalkThreads = 64;
constexpr int kDefaultWalkThreads = 16;

int defaultWalkThreads()
{
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("TROVIX_WALK_THREADS", &ok);
    if (ok && fromEnvironment >= 1)
        return std::min(fromEnvironment, kMaxWalkThreads);
    // A cold disk answers faster the more requests wait, even on two cores:
    // 16 readers walked a cold million-entry tree in 3.9 s, 4 in 5.8 s and
    // the walk alone in 11.2 s. With a warm cache the readers rest, so their
    // number costs little there: 16 took 1.03 to 1.22 CPU seconds where the
    // walk alone took 0.92 to 1.05 (1.43 to 1.65 while they never rested).
    return kDefaultWalkThreads;
}

} // namespace

void KZFileSearch::setWalkThreads(int n)
{
    g_walkThreads.store(std::clamp(n, 0, kMaxWalkThreads), std::memory_order_relaxed);
}

int KZFileSearch::walkThreads()
{
    static const int byDefault = defaultWalkThreads();
    const int n = g_walkThreads.load(std::memory_order_relaxed);
    return n > 0 ? n : byDefault;
}

void KZFileSearch::setCountsListedFoldersForTesting(bool on)
{
    g_listedFolders.store(0, std::memory_order_relaxed);
    g_countsListedFolders.store(on, std::memory_order_relaxed);
}

int64_t KZFileSearch::listedFoldersForTesting()
{
    return g_listedFolders.load(std::memory_order_relaxed);
}

int KZPerformSearchWithOptions(const char *dirPath, const KZWalkOptions &options)
{
    Walk walk(options);
    std::unique_ptr<KZWalkReadAhead> readAhead;
    if (options.walkThreads > 1)
        readAhead = std::make_unique<KZWalkReadAhead>(options, options.walkThreads);
    walk.readAhead = readAhead.get();
    return walk.directory(-1, nullptr, dirPath, dirPath ? std::strlen(dirPath) : 0, 0);
}

int PerformSearchInDirectory(const char *dirPath, bool skipDSStore, bool includeTrash,
                             const KZExcludedDir *excludedDirs, const KZFileSearchFilterStruct *filters,
                             int32_t filtersCount, KZCBufferContainer *buffer, const std::atomic<bool> *isCancelled,
                             KZFileSearchCounters *counters, const KZFileSearchCallback &callback)
{
    KZWalkOptions options;
    options.skipDSStore = skipDSStore;
    options.includeTrash = includeTrash;
    options.excludedDirs = excludedDirs;
    options.filters = filters;
    options.filtersCount = filtersCount;
    options.buffer = buffer;
    options.isCancelled = isCancelled;
    options.counters = counters;
    options.callback = &callback;
    options.homeTrashPath = KZHomeTrashPath();
    options.walkThreads = KZFileSearch::walkThreads();
    KZFileSearchCounters localCounters;
    if (!options.counters)
        options.counters = &localCounters;
    return KZPerformSearchWithOptions(dirPath, options);
}

bool MD_TagNamesOfFilePath(const char *filePath, const KZFileSearchFilterStruct &filter, KZCBufferContainer *buffer)
{
    static const char kTagsAttribute[] = "user.xdg.tags";
    const ssize_t avSize = kzplatform::kzGetXattr(filePath, kTagsAttribute, nullptr, 0);
    if (avSize < 1)
        return false;
    if (!KZCBufferContainerSetSize(buffer, static_cast<uint64_t>(avSize))) {
        KZLOG_ERROR_F(QStringLiteral("KZCBufferContainerSetSize==false filePath:%1").arg(bytesText(filePath)));
        return false;
    }
    const ssize_t sz = kzplatform::kzGetXattr(filePath, kTagsAttribute, buffer->data, static_cast<size_t>(avSize));
    if (sz != avSize) {
        KZLOG_ERROR_F(QStringLiteral("sz!=avSize (%1/%2) filePath:%3").arg(sz).arg(avSize).arg(bytesText(filePath)));
        return false;
    }
    const char *text = filter.auxText;
    const size_t textLength = filter.auxTextLength;
    bool textIsAscii = true;
    for (size_t i = 0; i < textLength; ++i)
        textIsAscii = textIsAscii && static_cast<unsigned char>(text[i]) < 0x80;

    const char *p = buffer->data;
    const char *end = buffer->data + sz;
    while (p < end) {
        const char *comma = static_cast<const char *>(std::memchr(p, ',', static_cast<size_t>(end - p)));
        const char *tagEnd = comma ? comma : end;
        const char *tagBegin = p;
        p = comma ? comma + 1 : end;
        auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0'; };
        while (tagBegin < tagEnd && isBlank(*tagBegin))
            ++tagBegin;
        while (tagEnd > tagBegin && isBlank(tagEnd[-1]))
            --tagEnd;
        const size_t tagLength = static_cast<size_t>(tagEnd - tagBegin);
        if (tagLength == 0)
            continue;
        bool tagIsAscii = textIsAscii;
        for (size_t i = 0; i < tagLength && tagIsAscii; ++i)
            tagIsAscii = static_cast<unsigned char>(tagBegin[i]) < 0x80;
        if (tagIsAscii && text) {
            if (KZNameContains(tagBegin, tagLength, text, textLength))
                return true;
        } else if (QString::fromUtf8(tagBegin, static_cast<qsizetype>(tagLength))
                       .contains(filter.typeIdentifier, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

QString UTI_TypeOfFilePath_needCFRelease(const char *filePath)
{
    KZStat st;
    if (!filePath || kzplatform::kzLstat(filePath, &st) != 0) {
        const int error = filePath ? errno : EINVAL;
        KZLOG_ERROR_F(QStringLiteral("FSPathMakeRef:%1 filePath:%2").arg(error).arg(filePath ? bytesText(filePath) : QString()));
        return QString();
    }
    switch (st.mode & S_IFMT) {
    case S_IFDIR: return kzplatform::KZMimeTypes::directoryTypeName();
    case S_IFLNK: return QStringLiteral("inode/symlink");
    case S_IFREG: break;
    default: {
        KZLOG_ERROR_F(QStringLiteral("LSCopyItemAttributes:%1 || values==NULL filePath:%2")
                          .arg(static_cast<int>(st.mode & S_IFMT))
                          .arg(bytesText(filePath)));
        return QString();
    }
    }
    const char *slash = std::strrchr(filePath, '/');
    const char *name = slash ? slash + 1 : filePath;
    const QString typeName = kzplatform::KZMimeTypes::typeNameForFileName(name, std::strlen(name));
    if (typeName.isEmpty())
        KZLOG_ERROR_F(QStringLiteral("LSCopyItemAttributes:%1 || values==NULL filePath:%2").arg(-1).arg(bytesText(filePath)));
    return typeName;
}
