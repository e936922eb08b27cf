// Entries walked per second by KZFileSearch for a name-contains query.
//
// Without settings it builds its own deterministic tree of 200,000 entries
// under the temporary folder and removes it at the end. Settings (environment):
//   TROVIX_BENCH_TREE=DIR      walk an existing tree instead (left in place)
//   TROVIX_BENCH_ENTRIES=N     size of the generated tree (default 200000)
//   TROVIX_BENCH_SEED=S        seed of the generated tree (default 1)
//   TROVIX_BENCH_NEEDLE=TEXT   the rare needle (default "invoice")
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include "bench/KZBenchTree.h"
#include "engine/KZFileSearch.h"

namespace {

QString g_root;
kzbench::TreeStats g_tree;
QString g_needle = QStringLiteral("invoice");

QVariantList nameContains(const QString &text)
{
    return {QVariantMap{{QStringLiteral("kind"), 1}, {QStringLiteral("operator"), 1}, {QStringLiteral("value"), text}}};
}

void walk(benchmark::State &state, const QString &needle, bool skipStat)
{
    int64_t matches = 0;
    for (auto _ : state) {
        KZFileSearch search;
        search.setSkipsMatchStat(skipStat);
        search.performSearchInDirectory(g_root, nameContains(needle),
                                        [&](int status, const FileSearchResultList &batch, const KZFileSearchCounters &c) {
                                            benchmark::DoNotOptimize(batch.size());
                                            if (status == KZFileSearchStatusFinished)
                                                matches = c.total();
                                        });
    }
    state.counters["entries"] = static_cast<double>(g_tree.entries);
    state.counters["matches"] = static_cast<double>(matches);
    state.counters["entries_per_s"] =
        benchmark::Counter(static_cast<double>(g_tree.entries), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_WalkRareNeedle(benchmark::State &state) { walk(state, g_needle, false); }
void BM_WalkRareNeedleNoStat(benchmark::State &state) { walk(state, g_needle, true); }
void BM_WalkCommonNeedle(benchmark::State &state) { walk(state, QStringLiteral("a"), false); }
void BM_WalkCommonNeedleNoStat(benchmark::State &state) { walk(state, QStringLiteral("a"), true); }

// The directory-stream facade alone: listing every folder, no name test, no stat.
void BM_ListingFloor(benchmark::State &state)
{
    int64_t entries = 0;
    for (auto _ : state)
        entries = kzbench::countTree(g_root).entries;
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["entries_per_s"] =
        benchmark::Counter(static_cast<double>(entries), benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    std::unique_ptr<QTemporaryDir> generated;
    const QByteArray given = qgetenv("TROVIX_BENCH_TREE");
    if (!qEnvironmentVariableIsEmpty("TROVIX_BENCH_NEEDLE"))
        g_needle = QString::fromLocal8Bit(qgetenv("TROVIX_BENCH_NEEDLE"));
    if (!given.isEmpty()) {
        g_root = QDir(QString::fromLocal8Bit(given)).canonicalPath();
        if (g_root.isEmpty()) {
            std::fprintf(stderr, "TROVIX_BENCH_TREE %s does not exist\n", given.constData());
            return 2;
        }
        g_tree = kzbench::countTree(g_root);
    } else {
        bool ok = false;
        int64_t entries = qEnvironmentVariableIntValue("TROVIX_BENCH_ENTRIES", &ok);
        if (!ok || entries <= 0)
            entries = 200000;
        const int seedValue = qEnvironmentVariableIntValue("TROVIX_BENCH_SEED", &ok);
        generated = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/trovix-bench-XXXXXX"));
        if (!generated->isValid()) {
            std::fprintf(stderr, "cannot create a temporary folder\n");
            return 2;
        }
        g_root = QDir(generated->path()).canonicalPath();
        std::fprintf(stderr, "generating %lld entries in %s ...\n", static_cast<long long>(entries), qPrintable(g_root));
        g_tree = kzbench::makeTree(g_root, entries, ok ? static_cast<uint32_t>(seedValue) : 1u);
        if (g_tree.entries < 0) {
            std::fprintf(stderr, "cannot generate the tree\n");
            return 2;
        }
        ::sync();
    }
    std::fprintf(stderr, "tree %s: %lld entries, %lld folders, %lld names with \"%s\"\n", qPrintable(g_root),
                 static_cast<long long>(g_tree.entries), static_cast<long long>(g_tree.folders),
                 static_cast<long long>(g_tree.rareMatches), qPrintable(g_needle));

    benchmark::RegisterBenchmark("BM_ListingFloor", BM_ListingFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_WalkRareNeedle", BM_WalkRareNeedle)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_WalkRareNeedleNoStat", BM_WalkRareNeedleNoStat)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_WalkCommonNeedle", BM_WalkCommonNeedle)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_WalkCommonNeedleNoStat", BM_WalkCommonNeedleNoStat)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The generated tree goes with `generated`.
    return 0;
}
