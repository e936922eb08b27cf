#include "bench/KZBenchTree.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/KZDirStream.h"

namespace kzbench {

namespace {

// A small linear congruential generator: identical on every platform.
struct Random {
    uint64_t state;
    explicit Random(uint32_t seed)
        : state(seed * 6364136223846793005ULL + 1442695040888963407ULL)
    {
    }
    uint32_t next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
    uint32_t below(uint32_t n) { return next() % n; }
};

const char *const kWords[] = {"report", "photo", "notes", "draft", "budget", "summary", "holiday", "meeting",
                              "project", "archive", "backup", "readme", "config", "index", "main", "test",
                              "data", "image", "music", "video", "letter", "scan", "thesis", "module",
                              "widget", "server", "client", "build", "cache", "log"};
const char *const kSuffixes[] = {".txt", ".pdf", ".jpg", ".png", ".md", ".c", ".h", ".json", ".mp3",
                                 ".docx", ".py", ".js", ".html", ".xml", "", ".tar.gz", ".svg", ".cpp"};

std::string makeName(Random &r, bool folder, bool *rare)
{
    std::string name;
    if (r.below(100) < 3)
        name += '.';
    *rare = r.below(400) == 0;
    name += *rare ? (r.below(2) ? "Invoice" : "invoice") : kWords[r.below(sizeof kWords / sizeof *kWords)];
    name += '-';
    name += std::to_string(r.below(100000));
    if (!folder)
        name += kSuffixes[r.below(sizeof kSuffixes / sizeof *kSuffixes)];
    return name;
}

struct Maker {
    Random random;
    int64_t target;
    TreeStats stats;
    bool failed = false;

    void fill(int dirfd, int depth)
    {
        const uint32_t count = 4 + random.below(37);
        std::vector<std::string> subfolders;
        for (uint32_t i = 0; i < count && stats.entries < target && !failed; ++i) {
            const uint32_t roll = random.below(100);
            const bool folder = depth < 9 && roll < 14;
            bool rare = false;
            std::string name = makeName(random, folder, &rare);
            name += '~' + std::to_string(i); // unique within the folder
            if (folder) {
                if (::mkdirat(dirfd, name.c_str(), 0755) != 0) {
                    failed = true;
                    return;
                }
                subfolders.push_back(name);
                ++stats.folders;
            } else if (roll < 16) {
                if (::symlinkat("../some/target", dirfd, name.c_str()) != 0) {
                    failed = true;
                    return;
                }
            } else {
                const int fd = ::openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (fd < 0) {
                    failed = true;
                    return;
                }
                ::close(fd);
            }
            ++stats.entries;
            if (rare)
                ++stats.rareMatches;
        }
        for (const std::string &sub : subfolders) {
            if (failed)
                return;
            const int fd = ::openat(dirfd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) {
                failed = true;
                return;
            }
            fill(fd, depth + 1);
            ::close(fd);
        }
    }
};

bool containsInvoice(const char *name, size_t length)
{
    static const char needle[] = "invoice";
    for (size_t i = 0; i + 7 <= length; ++i) {
        size_t k = 0;
        while (k < 7) {
            char c = name[i + k];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != needle[k])
                break;
            ++k;
        }
        if (k == 7)
            return true;
    }
    return false;
}

void countInto(int parentFd, const char *name, TreeStats *stats, std::vector<std::vector<char>> &buffers, size_t depth)
{
    if (buffers.size() <= depth)
        buffers.emplace_back(kzplatform::KZDirStream::kDefaultBufferSize);
    kzplatform::KZDirStream stream(buffers[depth].data(), buffers[depth].size());
    if ((parentFd >= 0 ? stream.openAt(parentFd, name) : stream.openPath(name)) != 0)
        return;
    kzplatform::KZDirEntry e;
    while (stream.read(&e) == 1) {
        if (e.name[0] == '.' && (e.nameLength == 1 || (e.nameLength == 2 && e.name[1] == '.')))
            continue;
        ++stats->entries;
        if (containsInvoice(e.name, e.nameLength))
            ++stats->rareMatches;
        unsigned char type = e.type;
        if (type == DT_UNKNOWN)
            type = kzplatform::kzEntryTypeAt(stream.fd(), e.name);
        if (type == DT_DIR) {
            ++stats->folders;
            countInto(stream.fd(), e.name, stats, buffers, depth + 1);
        }
    }
}

} // namespace

TreeStats makeTree(const QString &root, int64_t entries, uint32_t seed)
{
    Maker maker{Random(seed), entries, {}};
    const int fd = ::open(root.toUtf8().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        TreeStats failed;
        failed.entries = -1;
        return failed;
    }
    // Keep filling new top-level folders until the target is reached.
    int round = 0;
    while (maker.stats.entries < entries && !maker.failed) {
        const std::string top = "top-" + std::to_string(round++);
        if (::mkdirat(fd, top.c_str(), 0755) != 0) {
            maker.failed = true;
            break;
        }
        ++maker.stats.entries;
        ++maker.stats.folders;
        const int topFd = ::openat(fd, top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (topFd < 0) {
            maker.failed = true;
            break;
        }
        maker.fill(topFd, 1);
        ::close(topFd);
    }
    ::close(fd);
    if (maker.failed)
        maker.stats.entries = -1;
    return maker.stats;
}

TreeStats countTree(const QString &root)
{
    TreeStats stats;
    std::vector<std::vector<char>> buffers;
    buffers.reserve(64);
    const QByteArray path = root.toUtf8();
    countInto(-1, path.constData(), &stats, buffers, 0);
    return stats;
}

} // namespace kzbench
