// How the search window holds up while a large search streams in: 200,000
// results arrive batch by batch from a real walk while a timer probe on the
// GUI thread notes every gap between its 5 ms ticks (the longest gap is the
// longest stall the user would feel), first in walk order, then with the
// list sorted by size. Also the heap kept per result, for the session alone
// and for the window with its rows, and what is still held once Escape has
// emptied the window.
//
//   bench_window_stall [results] [--only=sorted|unsorted]
//   (runs itself under xvfb-run without a display)
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include "app/DocumentWindow.h"
#include "app/DocumentWindowController.h"
#include "engine/KZFileSearchObject.h"
#include "results/ResultsListModel.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsListViewController.h"
#include "scope/ScopeDirManager.h"
#include "support/KZNotificationCenter.h"
#include "support/KZUserDefaults.h"

namespace {

constexpr int kFilesPerFolder = 200;
constexpr int kSubFolders = 25;

// top-NN/sub-NN/report-NNNNNN.txt: wide and shallow like a photo or mail archive.
bool makeTree(const QString &root, int files)
{
    int made = 0;
    for (int top = 0; made < files; ++top) {
        const QString topDir = root + QStringLiteral("/top-%1").arg(top, 3, 10, QLatin1Char('0'));
        QDir().mkdir(topDir);
        for (int sub = 0; sub < kSubFolders && made < files; ++sub) {
            const QString dir = topDir + QStringLiteral("/sub-%1").arg(sub, 2, 10, QLatin1Char('0'));
            if (!QDir().mkdir(dir))
                return false;
            for (int i = 0; i < kFilesPerFolder && made < files; ++i, ++made) {
                const QByteArray path = QFile::encodeName(dir + QStringLiteral("/report-%1.txt").arg(made, 6, 10, QLatin1Char('0')));
                const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                if (fd < 0)
                    return false;
                // Sparse files of scattered sizes, so that a sort by size
                // places each new result anywhere in the list.
                const off_t size = off_t((quint64(made) * 2654435761u) % 5000000u);
                const bool sized = ::ftruncate(fd, size) == 0;
                ::close(fd);
                if (!sized)
                    return false;
            }
        }
    }
    return true;
}

double residentMiB()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

struct Probe {
    QElapsedTimer clock;
    qint64 last = 0;
    std::vector<qint64> gaps;
    std::vector<qint64> ends; // when each gap ended, ms since start
    QTimer timer;
    void start()
    {
        gaps.clear();
        clock.start();
        last = 0;
        timer.setInterval(5);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            gaps.push_back(now - last);
            ends.push_back(now);
            last = now;
        });
        timer.start();
    }
    void stop() { timer.stop(); }
    qint64 percentile(double p) const
    {
        if (gaps.empty())
            return 0;
        std::vector<qint64> sorted = gaps;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(p * (sorted.size() - 1)))];
    }
    qint64 longest() const { return gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end()); }
    int over(qint64 ms) const { return int(std::count_if(gaps.begin(), gaps.end(), [ms](qint64 g) { return g > ms; })); }
};

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("TROVIX_BENCH_UNDER_XVFB")) {
        // A private display, as the widget tests use.
        setenv("TROVIX_BENCH_UNDER_XVFB", "1", 1);
        std::vector<char *> args{const_cast<char *>("xvfb-run"), const_cast<char *>("-a"),
                                 const_cast<char *>("-s"), const_cast<char *>("-screen 0 1600x1200x24")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 1;
    }
    int files = 200000;
    QString only; // "sorted" or "unsorted": one variant alone
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.startsWith(QLatin1String("--only=")))
            only = arg.mid(7);
        else
            files = arg.toInt();
    }

    QTemporaryDir home;
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QString dir = home.path() + QLatin1Char('/') + QString::fromLatin1(name);
        QDir().mkpath(dir);
        setenv(name, QFile::encodeName(dir).constData(), 1);
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));

    QTemporaryDir treeDir;
    QElapsedTimer made;
    made.start();
    if (!makeTree(treeDir.path(), files)) {
        std::fprintf(stderr, "cannot build the tree in %s\n", qPrintable(treeDir.path()));
        return 1;
    }
    std::printf("tree: %d files in %d folders, made in %.1f s\n", files,
                (files + kFilesPerFolder - 1) / kFilesPerFolder, made.elapsed() / 1000.0);
    const QVariantList criteria{QVariantMap{{QStringLiteral("kind"), 1}, {QStringLiteral("operator"), 1},
                                            {QStringLiteral("value"), QStringLiteral("report")}}};

    // 1. The session alone: what the results cost before any view.
    {
        QThreadPool pool;
        const size_t before = heapInUse();
        auto *session = new KZFileSearchObject;
        session->setScopeDir(treeDir.path());
        session->setCriteria(criteria);
        session->startSearch(&pool);
        while (session->isSearching())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        pool.waitForDone();
        const qsizetype count = session->results().size();
        const size_t after = heapInUse();
        std::printf("session alone: %lld results, %.0f bytes of heap per result\n", (long long)count,
                    double(after - before) / double(std::max<qsizetype>(1, count)));
        delete session;
    }

    // 2. The window: typing the text, then the stream into the list; first
    // in walk order, then again with the list sorted by size, largest first.
    ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionPath, treeDir.path());
    const size_t before = heapInUse();
    auto *controller = new DocumentWindowController;
    controller->showWindowAnimated();
    if (!QTest::qWaitForWindowExposed(controller->window()))
        return 1;
    controller->window()->resize(900, 600);
    QTest::qWait(300);

    int batches = 0;
    QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated,
                     [&](QObject *, const QVariantMap &info) { batches += info.value(QStringLiteral("kind")).toInt() == 1; });
    bool ok = true;
    for (const bool sorted : {false, true}) {
        if (sorted && !only.isEmpty() && only != QLatin1String("sorted"))
            continue;
        if (!sorted && !only.isEmpty() && only != QLatin1String("unsorted"))
            continue;
        const char *variant = sorted ? "sorted by size" : "walk order";
        batches = 0;
        ResultsListViewController *list = controller->resultsViewController()
                                              ? controller->resultsViewController()->resultsListViewController()
                                              : nullptr;
        if (sorted && list)
            list->mTableView()->horizontalHeader()->setSortIndicator(ResultsListViewController::ColumnSize,
                                                                     Qt::DescendingOrder);
        Probe probe;
        probe.start();
        QElapsedTimer searchClock;
        searchClock.start();
        QTest::keyClicks(controller->mSearchField(), QStringLiteral("report"));
        QTest::keyClick(controller->mSearchField(), Qt::Key_Return);
        list = nullptr;
        while (!controller->searchObject() || controller->searchObject()->isSearching() || !list ||
               list->pendingRowCount() > 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            list = controller->resultsViewController() ? controller->resultsViewController()->resultsListViewController()
                                                       : nullptr;
        }
        if (sorted && list->mTableView()->horizontalHeader()->sortIndicatorSection() != ResultsListViewController::ColumnSize) {
            // The first search made the list: sort it now, and search again.
            list->mTableView()->horizontalHeader()->setSortIndicator(ResultsListViewController::ColumnSize,
                                                                     Qt::DescendingOrder);
            probe.stop();
            QTest::keyClick(controller->mSearchField(), Qt::Key_Escape);
            QTest::qWait(200);
            batches = 0;
            probe.start();
            searchClock.restart();
            QTest::keyClicks(controller->mSearchField(), QStringLiteral("report"));
            QTest::keyClick(controller->mSearchField(), Qt::Key_Return);
            while (!controller->searchObject() || controller->searchObject()->isSearching() ||
                   list->pendingRowCount() > 0)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        const qint64 searchMs = searchClock.elapsed();
        const qint64 streamEnd = probe.clock.elapsed();
        // Scroll through the list while the probe runs: drawing rows costs too.
        qint64 longestPage = 0;
        for (int i = 0; i < 40; ++i) {
            QElapsedTimer page;
            page.start();
            list->mTableView()->scrollTo(list->model()->index(int(qint64(list->objectList().size()) * i / 40), 0));
            list->mTableView()->viewport()->repaint();
            longestPage = std::max(longestPage, page.elapsed());
            QTest::qWait(10);
        }
        probe.stop();
        const qsizetype results = controller->searchObject()->results().size();
        const qsizetype rows = list->objectList().size();
        DocumentWindowController::searchQueue()->waitForDone();
        const size_t after = heapInUse();

        std::printf("\n%s: %lld results in %lld rows from %d batches, search %.2f s\n", variant, (long long)results,
                    (long long)rows, batches, searchMs / 1000.0);
        std::printf("longest repaint of a page of rows: %lld ms\n", (long long)longestPage);
        std::printf("GUI thread gaps (probe every 5 ms, %zu ticks): longest %lld ms, p99 %lld ms, p50 %lld ms, "
                    "over 100 ms: %d, over 50 ms: %d\n",
                    probe.gaps.size(), (long long)probe.longest(), (long long)probe.percentile(0.99),
                    (long long)probe.percentile(0.5), probe.over(100), probe.over(50));
        for (size_t i = 0; i < probe.gaps.size(); ++i)
            if (probe.gaps[i] > 40)
                std::printf("  gap of %lld ms ending %lld ms after the first key, %s\n", (long long)probe.gaps[i],
                            (long long)probe.ends[i],
                            probe.ends[i] <= streamEnd ? "while results streamed in" : "while scrolling the full list");
        std::printf("window with its rows: %.0f bytes of heap per result (RSS %.0f MiB)\n",
                    double(after - before) / double(std::max<qsizetype>(1, results)), residentMiB());

        // Escape empties the list and drops the session: the memory goes back.
        QTest::keyClick(controller->mSearchField(), Qt::Key_Escape);
        QTest::qWait(1500);
        const size_t dropped = mallinfo2().uordblks;
        std::printf("after Escape: %.1f MiB of heap in use over the empty window, RSS %.0f MiB\n",
                    (double(dropped) - double(before)) / 1048576.0, residentMiB());
        const bool passed = probe.longest() <= 100 && results == files;
        std::printf("%s (%s)\n", passed ? "PASS: no stall over 100 ms" : "FAIL", variant);
        ok = ok && passed;
    }
    delete controller;
    return ok ? 0 : 2;
}
