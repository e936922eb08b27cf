#include <sys/stat.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include "engine/KZFileSearch.h"
#include "engine/KZFileSearchObject.h"
#include "support/KZNotificationCenter.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

// Records the notifications of one session.
struct Recorder {
    struct Note {
        int kind;
        FileSearchResultList results;
    };
    explicit Recorder(KZFileSearchObject *session)
    {
        connection = QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated,
                                      [this, session](QObject *object, const QVariantMap &info) {
                                          if (object != session)
                                              return;
                                          notes.push_back({info.value(QStringLiteral("kind")).toInt(),
                                                           info.value(QStringLiteral("results")).value<FileSearchResultList>()});
                                      });
    }
    ~Recorder() { QObject::disconnect(connection); }
    int count(int kind) const
    {
        int n = 0;
        for (const Note &note : notes)
            n += note.kind == kind;
        return n;
    }
    QMetaObject::Connection connection;
    std::vector<Note> notes;
};

// A tree of dirs x files: d000/f000_a.txt ...
void fillTree(kztest::TempTree &tree, int dirs, int files)
{
    for (int d = 0; d < dirs; ++d)
        for (int f = 0; f < files; ++f)
            tree.writeFile(QStringLiteral("d%1/f%2_%3.txt").arg(d, 3, 10, QLatin1Char('0')).arg(f).arg(f % 2 ? QStringLiteral("odd") : QStringLiteral("even")));
}

// The folder of each batch the bare walk delivers, in its order.
QStringList bareWalkOrder(const QString &root, const QVariantList &criteria)
{
    QStringList order;
    KZFileSearch walk;
    walk.performSearchInDirectory(root, criteria,
                                  [&](int status, const FileSearchResultList &batch, const KZFileSearchCounters &) {
                                      if (status == 1)
                                          order.append(batch.first()->dirPath());
                                  });
    return order;
}

// Lets the pool finish while the GUI thread keeps taking batches in.
void drain(QThreadPool &pool)
{
    kztest::waitUntil([&] { return pool.activeThreadCount() == 0; }, 20000);
    QCoreApplication::processEvents();
}

// Searches root with criteria and lets the walk end; false when it did not end in time.
bool searchToTheEnd(KZFileSearchObject &session, QThreadPool &pool, const QString &root, const QVariantList &criteria)
{
    session.setScopeDir(root);
    session.setCriteria(criteria);
    session.startSearch(&pool);
    const bool ended = kztest::waitUntil([&] { return !session.isSearching(); }, 20000);
    drain(pool);
    return ended;
}

} // namespace

TEST(KZFileSearchObject, ScopeChecksAndUsableCriteria)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("file.txt"), "x");
    tree.mkdir(QStringLiteral("closed"));
    tree.chmod(QStringLiteral("closed"), 0700);
    QString message;
    EXPECT_FALSE(KZFileSearchObject::canStartSearch(QString(), &message));
    EXPECT_EQ(message, QStringLiteral("The directory is not specified."));
    EXPECT_FALSE(KZFileSearchObject::canStartSearch(tree.path(QStringLiteral("missing")), &message));
    EXPECT_EQ(message, QStringLiteral("Directory does not exist."));
    EXPECT_FALSE(KZFileSearchObject::canStartSearch(tree.path(QStringLiteral("file.txt")), &message));
    EXPECT_EQ(message, QStringLiteral("The target path is not a directory."));
    EXPECT_TRUE(KZFileSearchObject::canStartSearch(tree.root(), nullptr));

    // Root reads every folder: the unreadable case runs as an unprivileged user.
    ASSERT_TRUE(kztest::canRunUnprivileged());
    const QString closed = tree.path(QStringLiteral("closed"));
    const QString open = tree.root();
    ::chmod(QFile::encodeName(tree.root()).constData(), 0755);
    const int rc = kztest::runAsUnprivileged([&] {
        QString m;
        if (KZFileSearchObject::canStartSearch(closed, &m))
            return 1;
        if (m != QStringLiteral("No directory access."))
            return 2;
        return KZFileSearchObject::canStartSearch(open, &m) ? 0 : 3;
    });
    EXPECT_EQ(rc, 0);

    EXPECT_FALSE(KZFileSearchObject::hasUsableCriteria({}));
    EXPECT_FALSE(KZFileSearchObject::hasUsableCriteria({kztest::criterion(10, 5, QStringList{QStringLiteral("/x")}), kztest::criterion(11, 4, true), kztest::criterion(7, 1)}));
    EXPECT_TRUE(KZFileSearchObject::hasUsableCriteria({kztest::criterion(10, 5, QStringList{QStringLiteral("/x")}), kztest::criterion(8, 13, QStringLiteral("user.a"))}));
}

TEST(KZFileSearchObject, StatisticsTextInTheUsersLocale)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(KZFileSearchObject::displayStatisticsWithCounts(1, 1234, 0, english), QStringLiteral("1 file, 1,234 directories"));
    EXPECT_EQ(KZFileSearchObject::displayStatisticsWithCounts(1, 1234, 0, german), QStringLiteral("1 file, 1.234 directories"));
    EXPECT_EQ(KZFileSearchObject::displayStatisticsWithCounts(0, 0, 2, english), QStringLiteral("2 links"));
    // The key of one folder is spelled "1 directoriy"; the English text must not be.
    EXPECT_EQ(KZFileSearchObject::displayStatisticsWithCounts(2, 1, 1, english), QStringLiteral("2 files, 1 directory, 1 link"));
    EXPECT_TRUE(KZFileSearchObject::displayStatisticsWithCounts(0, 0, 0, english).isNull());
}

TEST(KZFileSearchObject, SearchThatFindsNothingFinishesOnce)
{
    kztest::TempTree tree;
    fillTree(tree, 3, 3);
    QThreadPool pool;
    KZFileSearchObject session;
    Recorder recorder(&session);
    kztest::LogCapture log;
    session.setScopeDir(tree.root());
    session.setCriteria({kztest::criterion(1, 1, QStringLiteral("no-such-name"))});
    session.startSearch(&pool);
    EXPECT_TRUE(session.isSearching());
    ASSERT_TRUE(kztest::waitUntil([&] { return !session.isSearching(); }));
    drain(pool);
    // What the user searches for is private: it once went to the system log at
    // every start.
    EXPECT_FALSE(log.contains(QStringLiteral("no-such-name"))) << log.entries().join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(recorder.notes.size(), 1u);
    EXPECT_EQ(recorder.notes[0].kind, 2);
    const QVariantMap zeros{{QStringLiteral("files"), 0}, {QStringLiteral("dirs"), 0}, {QStringLiteral("links"), 0}, {QStringLiteral("total"), 0}};
    EXPECT_EQ(session.statistics(), zeros);
    EXPECT_TRUE(session.displayStatistics().isNull());
    EXPECT_TRUE(session.results().isEmpty());
}

TEST(KZFileSearchObject, BatchesArriveInWalkOrderAndAccumulate)
{
    kztest::TempTree tree;
    fillTree(tree, 12, 4);
    tree.writeFile(QStringLiteral("d003/deeper/more/f_odd.txt"), "x");
    const QVariantList criteria{kztest::criterion(1, 1, QStringLiteral("odd"))};

    // What the bare walk delivers, in its order.
    const QStringList walkOrder = bareWalkOrder(tree.root(), criteria);

    QThreadPool pool;
    KZFileSearchObject session;
    Recorder recorder(&session);
    ASSERT_TRUE(searchToTheEnd(session, pool, tree.root(), criteria));

    QStringList sessionOrder;
    int kept = 0;
    for (const auto &note : recorder.notes) {
        if (note.kind != 1)
            continue;
        sessionOrder.append(note.results.first()->dirPath());
        for (const auto &r : note.results)
            EXPECT_EQ(r->dirPath(), note.results.first()->dirPath()); // one folder per batch
        kept += note.results.size();
    }
    EXPECT_EQ(sessionOrder, walkOrder);
    EXPECT_EQ(recorder.count(2), 1);
    EXPECT_EQ(recorder.notes.back().kind, 2);
    EXPECT_EQ(kept, 12 * 2 + 1);
    EXPECT_EQ(session.results().size(), kept);
    EXPECT_EQ(session.statistics().value(QStringLiteral("files")).toLongLong(), kept);
    EXPECT_EQ(session.statistics().value(QStringLiteral("total")).toLongLong(), kept);
    EXPECT_EQ(session.displayStatistics(), QStringLiteral("%1 files").arg(kept));
}

TEST(KZFileSearchObject, SecondStartSupersedesTheFirst)
{
    kztest::TempTree tree;
    fillTree(tree, 200, 10);
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    KZFileSearchObject session;
    Recorder recorder(&session);
    session.setScopeDir(tree.root());
    session.setCriteria({kztest::criterion(1, 1, QStringLiteral("even"))});
    session.startSearch(&pool);
    session.setCriteria({kztest::criterion(1, 1, QStringLiteral("odd"))});
    session.startSearch(&pool);
    ASSERT_TRUE(kztest::waitUntil([&] { return !session.isSearching(); }, 20000));
    drain(pool);
    EXPECT_EQ(recorder.count(2), 1);
    int found = 0;
    for (const auto &note : recorder.notes)
        for (const auto &r : note.results) {
            EXPECT_TRUE(r->fileName().contains(QStringLiteral("odd"))) << r->path().toStdString();
            ++found;
        }
    EXPECT_EQ(found, 200 * 5);
    EXPECT_EQ(session.results().size(), 200 * 5);
}

TEST(KZFileSearchObject, StopDuringAWalkPostsNothingMore)
{
    kztest::TempTree tree;
    fillTree(tree, 300, 6);
    QThreadPool pool;
    KZFileSearchObject session;
    Recorder recorder(&session);
    session.setScopeDir(tree.root());
    session.setCriteria({kztest::criterion(1, 1, QStringLiteral("f"))});
    bool stopped = false;
    auto c = QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated,
                              [&](QObject *object, const QVariantMap &) {
                                  if (object == &session && !stopped) {
                                      stopped = true;
                                      session.stopSearch();
                                      EXPECT_FALSE(session.isSearching());
                                  }
                              });
    session.startSearch(&pool);
    ASSERT_TRUE(kztest::waitUntil([&] { return stopped; }));
    const size_t notesAtStop = recorder.notes.size();
    drain(pool);
    QObject::disconnect(c);
    EXPECT_EQ(recorder.notes.size(), notesAtStop);
    EXPECT_EQ(recorder.count(2), 0);
    EXPECT_FALSE(session.isSearching());
    EXPECT_LT(session.results().size(), 300 * 6);
}

TEST(KZFileSearchObject, DestroyingASessionWhileItsWalkRuns)
{
    kztest::TempTree tree;
    fillTree(tree, 300, 6);
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    int notes = 0;
    auto c = QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated,
                              [&](QObject *, const QVariantMap &) { ++notes; });
    for (int round = 0; round < 5; ++round) {
        auto *session = new KZFileSearchObject;
        session->setScopeDir(tree.root());
        session->setCriteria({kztest::criterion(1, 1, QStringLiteral("f"))});
        session->startSearch(&pool);
        // Let some batches through on later rounds, none on the first.
        for (int i = 0; i < round * 3; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const int before = notes;
        delete session;
        drain(pool);
        EXPECT_EQ(notes, before) << "round " << round;
    }
    QObject::disconnect(c);
}

TEST(KZFileSearchObject, BatchesWithoutKeepingOrWaiting)
{
    // A hand-over for every folder, and more folders than hand-overs may be
    // on their way, so the walk must also wait for credits; every batch still
    // arrives once, in walk order, before the end.
    kztest::TempTree tree;
    fillTree(tree, KZFileSearchObject::kMaxHandOversInFlight + 60, 2);
    const QVariantList criteria{kztest::criterion(1, 3, QStringLiteral(".txt"))};
    const QStringList walkOrder = bareWalkOrder(tree.root(), criteria);

    QThreadPool pool;
    KZFileSearchObject session;
    session.setKeepsResults(false);
    session.setHandsOverWithoutWaiting(true);
    session.setHandOverIntervalMs(0);
    Recorder recorder(&session);
    session.setScopeDir(tree.root());
    session.setCriteria(criteria);
    session.startSearch(&pool);
    // Nothing is taken in yet: the walk must stop at the credit limit rather
    // than run to its end.
    QThread::msleep(500);
    EXPECT_EQ(pool.activeThreadCount(), 1);
    ASSERT_TRUE(kztest::waitUntil([&] { return !session.isSearching(); }, 20000));
    drain(pool);
    QStringList order;
    int announced = 0;
    for (const auto &note : recorder.notes)
        if (note.kind == 1) {
            order.append(note.results.first()->dirPath());
            announced += note.results.size();
        }
    EXPECT_EQ(order, walkOrder);
    EXPECT_EQ(announced, (KZFileSearchObject::kMaxHandOversInFlight + 60) * 2);
    EXPECT_EQ(recorder.count(2), 1);
    EXPECT_EQ(recorder.notes.back().kind, 2);
    EXPECT_TRUE(session.results().isEmpty());
    EXPECT_EQ(session.statistics().value(QStringLiteral("total")).toLongLong(), announced);
}

TEST(KZFileSearchObject, StopWithoutWaitingDropsWhatIsOnItsWay)
{
    // Enough folders for several hand-overs: the stop comes from the first
    // announcement, while later hand-overs are posted or on their way.
    kztest::TempTree tree;
    fillTree(tree, 1500, 2);
    QThreadPool pool;
    KZFileSearchObject session;
    session.setHandsOverWithoutWaiting(true);
    Recorder recorder(&session);
    session.setScopeDir(tree.root());
    session.setCriteria({kztest::criterion(1, 1, QStringLiteral("f"))});
    size_t atStop = 0;
    auto c = QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated,
                              [&](QObject *object, const QVariantMap &) {
                                  if (object == &session && atStop == 0) {
                                      session.stopSearch();
                                      atStop = recorder.notes.size();
                                  }
                              });
    session.startSearch(&pool);
    ASSERT_TRUE(kztest::waitUntil([&] { return atStop != 0; }));
    drain(pool);
    QObject::disconnect(c);
    EXPECT_EQ(recorder.notes.size(), atStop);
    EXPECT_EQ(recorder.count(2), 0);
    EXPECT_FALSE(session.isSearching());
    EXPECT_LT(recorder.notes.size(), 1500u);
}

TEST(KZFileSearchObject, FoldersHandedOverTogetherAreStillAnnouncedOneByOne)
{
    // Small folders are walked faster than the hand-over interval, so many
    // travel together; each must still come with its own counts, and a
    // handler that deletes the session in the middle ends the delivery.
    kztest::TempTree tree;
    fillTree(tree, 400, 2);
    const QVariantList criteria{kztest::criterion(1, 1, QStringLiteral("odd"))};
    QThreadPool pool;
    {
        KZFileSearchObject session;
        qint64 found = 0;
        int mismatches = 0;
        auto c = QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated,
                                  [&](QObject *object, const QVariantMap &info) {
                                      if (object != &session || info.value(QStringLiteral("kind")).toInt() != 1)
                                          return;
                                      found += info.value(QStringLiteral("results")).value<FileSearchResultList>().size();
                                      mismatches += session.statistics().value(QStringLiteral("total")).toLongLong() != found;
                                  });
        ASSERT_TRUE(searchToTheEnd(session, pool, tree.root(), criteria));
        QObject::disconnect(c);
        EXPECT_EQ(found, 400);
        EXPECT_EQ(mismatches, 0);
    }

    int after = 0;
    KZFileSearchObject *doomed = new KZFileSearchObject;
    auto c = QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated,
                              [&](QObject *, const QVariantMap &) {
                                  if (doomed) {
                                      delete doomed;
                                      doomed = nullptr;
                                  } else {
                                      ++after;
                                  }
                              });
    doomed->setScopeDir(tree.root());
    doomed->setCriteria(criteria);
    doomed->startSearch(&pool);
    ASSERT_TRUE(kztest::waitUntil([&] { return doomed == nullptr; }, 20000));
    drain(pool);
    QObject::disconnect(c);
    EXPECT_EQ(after, 0);
}

TEST(KZFileSearchObject, PathsOnlySessionsAnnounceEachFolderAsPathBytes)
{
    // What the bare walk finds, folder by folder, must arrive as NUL-ended
    // path lists in the same order, with both hand-overs, and nothing is kept.
    kztest::TempTree tree;
    fillTree(tree, 300, 3);
    const QVariantList criteria{kztest::criterion(1, 1, QStringLiteral("odd"))};
    QList<QByteArray> expected;
    KZFileSearch walk;
    walk.performSearchInDirectory(tree.root(), criteria,
                                  [&](int status, const FileSearchResultList &batch, const KZFileSearchCounters &) {
                                      if (status != 1)
                                          return;
                                      QByteArray paths;
                                      for (const FileSearchResultRef &r : batch)
                                          paths += r->cPath() + '\0';
                                      expected.append(paths);
                                  });
    ASSERT_EQ(expected.size(), 300);

    for (const bool waits : {true, false}) {
        SCOPED_TRACE(waits ? "waiting hand-over" : "posted hand-over");
        QThreadPool pool;
        KZFileSearchObject session;
        session.setDeliversPathsOnly(true);
        session.setHandsOverWithoutWaiting(!waits);
        QList<QByteArray> announced;
        int withRecords = 0;
        int mismatches = 0;
        qint64 found = 0;
        auto c = QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated,
                                  [&](QObject *object, const QVariantMap &info) {
                                      if (object != &session || info.value(QStringLiteral("kind")).toInt() != 1)
                                          return;
                                      withRecords += info.contains(QStringLiteral("results"));
                                      const QByteArray paths = info.value(QStringLiteral("paths")).toByteArray();
                                      announced.append(paths);
                                      found += paths.count('\0');
                                      mismatches += session.statistics().value(QStringLiteral("total")).toLongLong() != found;
                                  });
        ASSERT_TRUE(searchToTheEnd(session, pool, tree.root(), criteria));
        QObject::disconnect(c);
        EXPECT_EQ(announced, expected);
        EXPECT_EQ(withRecords, 0);
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(found, 300);
        EXPECT_TRUE(session.results().isEmpty());
    }
}
