// bench_mktree: the benchmarks' deterministic tree as a command, for scripts
// that time other programs on it.
//
//   bench_mktree DIR ENTRIES [SEED]
//
// DIR must be an existing empty folder. Prints the counts of what was made.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QDir>
#include <QString>

#include "bench/KZBenchTree.h"

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: bench_mktree DIR ENTRIES [SEED]\n");
        return 2;
    }
    char *end = nullptr;
    errno = 0;
    const long long entries = std::strtoll(argv[2], &end, 10);
    if (errno != 0 || *end != '\0' || entries < 1) {
        std::fprintf(stderr, "bench_mktree: ENTRIES must be a positive number, not %s\n", argv[2]);
        return 2;
    }
    unsigned long seed = 1;
    if (argc == 4) {
        errno = 0;
        seed = std::strtoul(argv[3], &end, 10);
        if (errno != 0 || *end != '\0' || seed > 0xffffffffUL) {
            std::fprintf(stderr, "bench_mktree: SEED must be a number below 2^32, not %s\n", argv[3]);
            return 2;
        }
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QDir dir(root);
    if (!dir.exists() || !dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        std::fprintf(stderr, "bench_mktree: %s is not an existing empty folder\n", argv[1]);
        return 2;
    }
    const kzbench::TreeStats stats = kzbench::makeTree(root, entries, static_cast<uint32_t>(seed));
    if (stats.entries < 0) {
        std::fprintf(stderr, "bench_mktree: could not fill %s\n", argv[1]);
        return 1;
    }
    std::printf("entries %lld, folders %lld, names holding \"invoice\" %lld (seed %lu)\n",
                static_cast<long long>(stats.entries), static_cast<long long>(stats.folders),
                static_cast<long long>(stats.rareMatches), seed);
    return 0;
}
