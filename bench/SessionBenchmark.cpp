// The search session against the bare walk on the same tree: the session adds
// the hand-over of the folders' batches to the GUI thread's event loop (the
// walk waits for each hand-over). Reports both walls, their ratio (goal: at
// most 1.2) and the CPU time of each, steadier than the wall on a busy machine.
//
// Settings (environment), as for bench_walk:
//   TROVIX_BENCH_TREE=DIR      walk an existing tree instead (left in place)
//   TROVIX_BENCH_ENTRIES=N     size of the generated tree (default 200000)
//   TROVIX_BENCH_NEEDLE=TEXT   the needle (default "a", a common one: many batches)
//   TROVIX_BENCH_ROUNDS=N      rounds of each (default 7; medians are reported)
//   TROVIX_BENCH_NO_WAIT=1     the session posts batches without waiting for
//                              each (as trovix-find does) instead of the
//                              window's waiting hand-over
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThreadPool>

#include "bench/KZBenchTree.h"
#include "engine/KZFileSearch.h"
#include "engine/KZFileSearchObject.h"
#include "support/KZNotificationCenter.h"

namespace {

QVariantList nameContains(const QString &text)
{
    return {QVariantMap{{QStringLiteral("kind"), 1}, {QStringLiteral("operator"), 1}, {QStringLiteral("value"), text}}};
}

// User + system time of the whole process (both threads), seconds.
double processCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::unique_ptr<QTemporaryDir> generated;
    QString root = QString::fromLocal8Bit(qgetenv("TROVIX_BENCH_TREE"));
    kzbench::TreeStats tree;
    if (root.isEmpty()) {
        generated = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/trovix-bench-XXXXXX"));
        root = generated->path();
        const qint64 entries = qEnvironmentVariableIntValue("TROVIX_BENCH_ENTRIES") > 0
                                   ? qEnvironmentVariableIntValue("TROVIX_BENCH_ENTRIES")
                                   : 200000;
        tree = kzbench::makeTree(root, entries, 1);
        if (tree.entries < 0) {
            std::fprintf(stderr, "cannot make the tree in %s\n", qPrintable(root));
            return 1;
        }
    } else {
        tree = kzbench::countTree(root);
    }
    const QString needle = qEnvironmentVariableIsEmpty("TROVIX_BENCH_NEEDLE")
                               ? QStringLiteral("a")
                               : QString::fromLocal8Bit(qgetenv("TROVIX_BENCH_NEEDLE"));
    const int rounds = qEnvironmentVariableIntValue("TROVIX_BENCH_ROUNDS") > 0 ? qEnvironmentVariableIntValue("TROVIX_BENCH_ROUNDS") : 7;
    const QVariantList criteria = nameContains(needle);

    // Warm the cache once.
    kzbench::countTree(root);

    std::vector<double> bare, session, bareCpu, sessionCpu;
    qint64 matches = 0, batches = 0;
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    for (int round = 0; round < rounds; ++round) {
        // Alternate the two so that a busy neighbour hurts both alike.
        QElapsedTimer t;
        double cpu = processCpu();
        t.start();
        KZFileSearch walk;
        walk.performSearchInDirectory(root, criteria, [&](int status, const FileSearchResultList &, const KZFileSearchCounters &c) {
            if (status == KZFileSearchStatusFinished)
                matches = c.total();
        });
        bare.push_back(t.nsecsElapsed() / 1e9);
        bareCpu.push_back(processCpu() - cpu);

        KZFileSearchObject object;
        object.setHandsOverWithoutWaiting(qEnvironmentVariableIntValue("TROVIX_BENCH_NO_WAIT") == 1);
        QEventLoop loop;
        qint64 seen = 0;
        auto c = QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated, &loop,
                                  [&](QObject *o, const QVariantMap &info) {
                                      if (o != &object)
                                          return;
                                      if (info.value(QStringLiteral("kind")).toInt() == 2)
                                          loop.quit();
                                      else
                                          ++seen;
                                  });
        object.setScopeDir(root);
        object.setCriteria(criteria);
        cpu = processCpu();
        t.restart();
        object.startSearch(&pool);
        loop.exec();
        session.push_back(t.nsecsElapsed() / 1e9);
        sessionCpu.push_back(processCpu() - cpu);
        QObject::disconnect(c);
        batches = seen;
        if (object.results().size() != matches) {
            std::fprintf(stderr, "session kept %lld results, the walk found %lld\n",
                         static_cast<long long>(object.results().size()), static_cast<long long>(matches));
            return 1;
        }
    }
    const double b = median(bare), s = median(session);
    std::printf("tree: %lld entries, needle \"%s\": %lld matches in %lld batches, %d rounds\n",
                static_cast<long long>(tree.entries), qPrintable(needle), static_cast<long long>(matches),
                static_cast<long long>(batches), rounds);
    std::printf("bare walk        median %.3f s  min %.3f s  CPU %.3f s  (%.0f entries/s)\n", b,
                *std::min_element(bare.begin(), bare.end()), median(bareCpu), tree.entries / b);
    std::printf("hand-over: %s\n", qEnvironmentVariableIntValue("TROVIX_BENCH_NO_WAIT") == 1
                                       ? "posted, at most 256 hand-overs in flight"
                                       : "the walk waits for each hand-over");
    std::printf("session + loop   median %.3f s  min %.3f s  CPU %.3f s\n", s,
                *std::min_element(session.begin(), session.end()), median(sessionCpu));
    std::printf("ratio session/bare: %.3f (goal <= 1.20)\n", s / b);
    return 0;
}
