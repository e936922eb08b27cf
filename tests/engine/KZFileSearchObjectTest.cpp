#include <QCoreApplication>
#include <QEventLoop>
#include <QLocale>
#include <QThread>
#include <QThreadPool>

#include <functional>
#include <numeric>

#include <gtest/gtest.h>

#include "engine/KZFileSearch.h"
#include "engine/KZFileSearchObject.h"
#include "support/KZNotificationCenter.h"
#include "tests/engine/SearchRunner.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

// Calls fn with every session notification while it lives.
struct OnUpdate {
    explicit OnUpdate(std::function<void(QObject *, const QVariantMap &)> fn)
        : connection(QObject::connect(KZNotificationCenter::defaultCenter(),
                                      &KZNotificationCenter::fileSearchObjectUpdated, std::move(fn)))
    {
    }
    ~OnUpdate() { QObject::disconnect(connection); }
    QMetaObject::Connection connection;
};

// Records the notifications of one session; a batch as its NUL-ended path
// bytes, with the session's total at the moment it was announced.
struct Recorder {
    struct Note {
        int kind;
        QByteArray paths;
        qint64 total;
        bool withRecords;
    };
    explicit Recorder(KZFileSearchObject *session)
        : on([this, session](QObject *object, const QVariantMap &info) {
            if (object != session)
                return;
            QByteArray paths = info.value(QStringLiteral("paths")).toByteArray();
            for (const FileSearchResultRef &r : info.value(QStringLiteral("results")).value<FileSearchResultList>())
                paths += r->cPath() + '\0';
            notes.push_back({info.value(QStringLiteral("kind")).toInt(), paths,
                             session->statistics().value(QStringLiteral("total")).toLongLong(),
                             info.contains(QStringLiteral("results"))});
        })
    {
    }
    int count(int kind) const { return int(std::count_if(notes.begin(), notes.end(), [&](const Note &n) { return n.kind == kind; })); }
    QList<QByteArray> batches() const
    {
        QList<QByteArray> out;
        for (const Note &n : notes)
            if (n.kind == 1)
                out.append(n.paths);
        return out;
    }
    std::vector<Note> notes;
    OnUpdate on;
};

// A tree of dirs x files: d000/f0_even.txt, d000/f1_odd.txt ...
void fillTree(kztest::TempTree &tree, int dirs, int files)
{
    for (int d = 0; d < dirs; ++d)
        for (int f = 0; f < files; ++f)
            tree.writeFile(QStringLiteral("d%1/f%2_%3.txt").arg(d, 3, 10, QLatin1Char('0')).arg(f).arg(f % 2 ? QStringLiteral("odd") : QStringLiteral("even")));
}

// Each batch of the bare walk as NUL-ended path bytes, in walk order.
QList<QByteArray> bareWalkBatches(const QString &root, const QVariantList &criteria)
{
    QList<QByteArray> batches;
    for (const FileSearchResultList &batch : enginetest::runSearch(root, criteria).batches)
        batches.append(std::accumulate(batch.begin(), batch.end(), QByteArray(), [](QByteArray a, const FileSearchResultRef &r) { return a + r->cPath() + '\0'; }));
    return batches;
}

// Lets the pool finish while the GUI thread keeps taking batches in.
void drain(QThreadPool &pool)
{
    kztest::waitUntil([&] { return pool.activeThreadCount() == 0; }, 20000);
    QCoreApplication::processEvents();
}

void start(KZFileSearchObject &session, QThreadPool &pool, const QString &root, const QVariantList &criteria)
{
    session.setScopeDir(root);
    session.setCriteria(criteria);
    session.startSearch(&pool);
}

// Lets a started search end; false when it did not end in time.
bool runToTheEnd(KZFileSearchObject &session, QThreadPool &pool)
{
    const bool ended = kztest::waitUntil([&] { return !session.isSearching(); }, 20000);
    drain(pool);
    return ended;
}

const QVariantList kOdd{kztest::criterion(1, 1, QStringLiteral("odd"))};

} // namespace

TEST(KZFileSearchObject, ScopeChecksAndUsableCriteria)
{
    // A missing scope and a file as scope are trovix-find's snapshots.
    kztest::TempTree tree;
    tree.mkdir(QStringLiteral("closed"));
    tree.chmod(QStringLiteral("closed"), 0700);
    tree.chmod(QString(), 0755);
    QString message;
    EXPECT_FALSE(KZFileSearchObject::canStartSearch(QString(), &message));
    EXPECT_EQ(message, QStringLiteral("The directory is not specified."));

    // Root reads every folder: the unreadable case runs as an unprivileged user.
    ASSERT_TRUE(kztest::canRunUnprivileged());
    const QString closed = tree.path(QStringLiteral("closed")), open = tree.root();
    EXPECT_EQ(kztest::runAsUnprivileged([&] {
                  QString m;
                  if (KZFileSearchObject::canStartSearch(closed, &m) || m != QStringLiteral("No directory access."))
                      return 1;
                  return KZFileSearchObject::canStartSearch(open, &m) ? 0 : 2;
              }),
              0);

    EXPECT_FALSE(KZFileSearchObject::hasUsableCriteria({kztest::criterion(10, 5, QStringList{QStringLiteral("/x")}), kztest::criterion(11, 4, true), kztest::criterion(7, 1)}));
    EXPECT_TRUE(KZFileSearchObject::hasUsableCriteria({kztest::criterion(10, 5, QStringList{QStringLiteral("/x")}), kztest::criterion(8, 13, QStringLiteral("user.a"))}));
}

TEST(KZFileSearchObject, StatisticsTextInTheUsersLocale)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(KZFileSearchObject::displayStatisticsWithCounts(1, 1234, 0, english), QStringLiteral("1 file, 1,234 directories"));
    EXPECT_EQ(KZFileSearchObject::displayStatisticsWithCounts(1, 1234, 0, german), QStringLiteral("1 file, 1.234 directories"));
    // The key of one folder is spelled "1 directoriy"; the English text must not be.
    EXPECT_EQ(KZFileSearchObject::displayStatisticsWithCounts(2, 1, 1, english), QStringLiteral("2 files, 1 directory, 1 link"));
    EXPECT_TRUE(KZFileSearchObject::displayStatisticsWithCounts(0, 0, 0, english).isNull());
}

TEST(KZFileSearchObject, SearchThatFindsNothingFinishesOnceAndLogsNoCriteria)
{
    kztest::TempTree tree;
    fillTree(tree, 3, 3);
    QThreadPool pool;
    KZFileSearchObject session;
    Recorder recorder(&session);
    kztest::LogCapture log;
    start(session, pool, tree.root(), {kztest::criterion(1, 1, QStringLiteral("no-such-name"))});
    EXPECT_TRUE(session.isSearching());
    ASSERT_TRUE(runToTheEnd(session, pool));
    // What the user searches for is private: it once went to the system log at
    // every start.
    EXPECT_FALSE(log.contains(QStringLiteral("no-such-name"))) << log.entries().join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(recorder.notes.size(), 1u);
    EXPECT_EQ(recorder.notes[0].kind, 2);
    EXPECT_EQ(session.statistics().value(QStringLiteral("total")), 0);
}

// Every hand-over mode announces what the bare walk finds, folder by folder in
// walk order, each with the counts up to it, and ends once, last; nothing of
// the search a second start superseded shows.
TEST(KZFileSearchObject, EveryHandOverAnnouncesTheWalkFolderByFolder)
{
    kztest::TempTree tree;
    // More folders than posted hand-overs may be on their way.
    const int dirs = KZFileSearchObject::kMaxHandOversInFlight + 60;
    fillTree(tree, dirs, 2);
    tree.writeFile(QStringLiteral("d003/deeper/more/f_odd.txt"), "x");
    const QList<QByteArray> expected = bareWalkBatches(tree.root(), kOdd);
    ASSERT_EQ(expected.size(), dirs + 1);

    struct Case {
        const char *name;
        bool keeps, waits, pathsOnly;
        qint64 intervalMs;
    };
    const Case cases[] = {
        {"kept, waiting, folders travel together", true, true, false, KZFileSearchObject::kHandOverIntervalMs},
        // A hand-over per folder without taking any in: the walk must wait at
        // the credit limit rather than run to its end.
        {"not kept, posted, one folder per hand-over", false, false, false, 0},
        {"paths, waiting", true, true, true, KZFileSearchObject::kHandOverIntervalMs},
        {"paths, posted", true, false, true, KZFileSearchObject::kHandOverIntervalMs},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QThreadPool pool;
        KZFileSearchObject session;
        session.setKeepsResults(c.keeps);
        session.setHandsOverWithoutWaiting(!c.waits);
        session.setDeliversPathsOnly(c.pathsOnly);
        session.setHandOverIntervalMs(c.intervalMs);
        Recorder recorder(&session);
        if (c.intervalMs != 0) { // the credit case wants its walk alone
            start(session, pool, tree.root(), {kztest::criterion(1, 1, QStringLiteral("even"))});
            QThread::msleep(20); // the first walk hands batches over that are never taken in
        }
        start(session, pool, tree.root(), kOdd);
        if (c.intervalMs == 0) {
            QThread::msleep(500);
            EXPECT_EQ(pool.activeThreadCount(), 1);
        }
        ASSERT_TRUE(runToTheEnd(session, pool));
        EXPECT_EQ(recorder.batches(), expected);
        qint64 found = 0;
        for (const auto &note : recorder.notes) {
            found += note.paths.count('\0');
            EXPECT_EQ(note.total, found);
            EXPECT_EQ(note.withRecords, note.kind == 1 && !c.pathsOnly);
        }
        EXPECT_EQ(recorder.count(2), 1);
        EXPECT_EQ(recorder.notes.back().kind, 2);
        EXPECT_EQ(session.results().size(), c.keeps && !c.pathsOnly ? found : 0);
        EXPECT_EQ(session.displayStatistics(), QStringLiteral("%1 files").arg(found));
    }
}

// A stop from the first announcement drops what is on its way, with both
// hand-overs. Deleting a session while its walk runs, from outside or from a
// handler in the middle of a hand-over of several folders, ends every delivery.
TEST(KZFileSearchObject, AStopOrADeleteDuringAWalkPostsNothingMore)
{
    kztest::TempTree tree;
    fillTree(tree, 1500, 2);
    const QVariantList all{kztest::criterion(1, 1, QStringLiteral("f"))};
    for (const bool waits : {true, false}) {
        SCOPED_TRACE(waits ? "waiting hand-over" : "posted hand-over");
        QThreadPool pool;
        KZFileSearchObject session;
        session.setHandsOverWithoutWaiting(!waits);
        Recorder recorder(&session);
        size_t atStop = 0;
        OnUpdate stopper([&](QObject *object, const QVariantMap &) {
            if (object == &session && atStop == 0) {
                session.stopSearch();
                atStop = recorder.notes.size();
            }
        });
        start(session, pool, tree.root(), all);
        ASSERT_TRUE(kztest::waitUntil([&] { return atStop != 0; }));
        EXPECT_FALSE(session.isSearching());
        drain(pool);
        EXPECT_EQ(recorder.notes.size(), atStop);
        EXPECT_EQ(recorder.count(2), 0);
        EXPECT_LT(recorder.notes.size(), 1500u);
    }

    QThreadPool pool;
    pool.setMaxThreadCount(2);
    KZFileSearchObject *doomed = nullptr;
    bool inHandler = false;
    int notes = 0;
    OnUpdate counter([&](QObject *, const QVariantMap &) {
        ++notes;
        if (inHandler && doomed) {
            delete doomed;
            doomed = nullptr;
        }
    });
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        inHandler = round == 5;
        doomed = new KZFileSearchObject;
        start(*doomed, pool, tree.root(), all);
        // Let some batches through on later rounds, none on the first.
        for (int i = 0; i < round * 3; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (inHandler) {
            ASSERT_TRUE(kztest::waitUntil([&] { return doomed == nullptr; }, 20000));
        }
        const int before = notes;
        delete doomed;
        doomed = nullptr;
        drain(pool);
        EXPECT_EQ(notes, before);
    }
}
