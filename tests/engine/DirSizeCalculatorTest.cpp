#include <fcntl.h>
#include <unistd.h>
#include <climits>
#include <cstring>

#include <QCoreApplication>
#include <QEventLoop>
#include <gtest/gtest.h>

#include "engine/DirSizeCalculator.h"
#include "support/KZNotificationCenter.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

struct SizeNotes {
    SizeNotes()
    {
        connection = QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::dirSizeCalculatorUpdated,
                                      [this](QObject *, const QVariantMap &info) { notes.append(info); });
    }
    ~SizeNotes() { QObject::disconnect(connection); }
    QMetaObject::Connection connection;
    QList<QVariantMap> notes;
};

} // namespace

TEST(GetDirectoryStatistics, CountsLogicalSizesOfRegularFilesOnly)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("box/ten.bin"), "0123456789");
    tree.makeSized(QStringLiteral("big.bin"), 1LL << 30);
    tree.symlink(tree.path(QStringLiteral("big.bin")), QStringLiteral("box/link-to-big"));
    tree.mkdir(QStringLiteral("box/empty"));
    tree.mkfifo(QStringLiteral("box/pipe"));
    tree.writeFile(QStringLiteral("box/.hidden/.DS_Store"), "12345");

    KZDirectoryStatistics stats;
    ASSERT_TRUE(KZGetDirectoryStatistics(&stats, tree.path(QStringLiteral("box"))));
    EXPECT_EQ(stats.totalSize, 15u);
    EXPECT_EQ(stats.files, 2u);
    EXPECT_EQ(stats.dirs, 2u);
    EXPECT_EQ(stats.links, 1u);

    kztest::LogCapture capture;
    KZDirectoryStatistics none;
    EXPECT_FALSE(KZGetDirectoryStatistics(&none, QStringLiteral("/")));
    EXPECT_FALSE(KZGetDirectoryStatistics(&none, QStringLiteral("/media")));
    EXPECT_EQ(none.totalSize, 0u);
    EXPECT_EQ(GetDirectoryStatistics("", &none), -1);
    EXPECT_EQ(GetDirectoryStatistics(tree.pathBytes("missing").constData(), &none), -2);
    EXPECT_TRUE(capture.contains(QStringLiteral("dir==NULL dirPath:") + tree.path(QStringLiteral("missing"))));
}

TEST(GetDirectoryStatistics, AnOverlongPathSkipsOnlyThatEntry)
{
    kztest::TempTree tree;
    // Nest 200-byte names until the next level would pass the path limit.
    QByteArray rel = "deep";
    tree.mkdirBytes(rel);
    const QByteArray segment(200, 'n');
    while (tree.pathBytes(rel).size() + 2 * (segment.size() + 1) < PATH_MAX - 1) {
        rel += '/' + segment;
        tree.mkdirBytes(rel);
    }
    // Siblings in the deepest folder: a short name that fits, a long one that does not.
    tree.writeFileBytes(rel + "/a", "12345");
    const QByteArray longName(std::min<qsizetype>(255, PATH_MAX - tree.pathBytes(rel).size()), 'x');
    const int dirfd = ::open(tree.pathBytes(rel).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirfd, 0);
    const int fd = ::openat(dirfd, longName.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0) << strerror(errno);
    ASSERT_EQ(::write(fd, "123", 3), 3);
    ::close(fd);
    tree.writeFileBytes(rel + "/z", "123456");
    ::close(dirfd);

    kztest::LogCapture capture;
    KZDirectoryStatistics stats;
    EXPECT_TRUE(KZGetDirectoryStatistics(&stats, tree.path(QStringLiteral("deep"))));
    EXPECT_EQ(stats.totalSize, 11u);
    EXPECT_EQ(stats.files, 2u);
    EXPECT_TRUE(capture.contains(QStringLiteral("entryPathL>=MAXPATHLEN entryPathL:")));
}

TEST(DirSizeCalculator, CountsOnceAndAnnounces)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("box/ten.bin"), "0123456789");
    tree.makeSized(QStringLiteral("big.bin"), 1LL << 30);
    tree.symlink(tree.path(QStringLiteral("big.bin")), QStringLiteral("box/link"));
    tree.mkdir(QStringLiteral("box/empty"));
    const QString box = tree.path(QStringLiteral("box"));

    DirSizeCalculator *calc = DirSizeCalculator::sharedInstance();
    calc->cancellAll();
    SizeNotes notes;
    bool calculating = false;
    EXPECT_FALSE(calc->sizeOfDirPath(box, &calculating).has_value());
    EXPECT_FALSE(calculating);
    EXPECT_TRUE(calc->startCalculateSizeOfDirPath(box));
    EXPECT_FALSE(calc->startCalculateSizeOfDirPath(box)); // pending: one count only
    calc->sizeOfDirPath(box, &calculating);
    EXPECT_TRUE(calculating);
    ASSERT_TRUE(kztest::waitUntil([&] { return !notes.notes.isEmpty(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(notes.notes.size(), 1);
    EXPECT_EQ(notes.notes[0].value(QStringLiteral("path")).toString(), box);
    EXPECT_EQ(notes.notes[0].value(QStringLiteral("totalSize")).toULongLong(), 10u);
    EXPECT_EQ(notes.notes[0].value(QStringLiteral("kind")).toInt(), 1);
    EXPECT_EQ(calc->sizeOfDirPath(box, &calculating).value_or(0), 10u);
    EXPECT_FALSE(calculating);

    // A second count keeps the old size visible while it runs.
    tree.writeFile(QStringLiteral("box/more.bin"), "12345");
    EXPECT_TRUE(calc->startCalculateSizeOfDirPath(box));
    EXPECT_EQ(calc->sizeOfDirPath(box, &calculating).value_or(0), 10u);
    ASSERT_TRUE(kztest::waitUntil([&] { return notes.notes.size() == 2; }));
    EXPECT_EQ(calc->sizeOfDirPath(box, &calculating).value_or(0), 15u);
}

TEST(DirSizeCalculator, RootIsRefusedAtOnce)
{
    DirSizeCalculator *calc = DirSizeCalculator::sharedInstance();
    calc->cancellAll();
    SizeNotes notes;
    kztest::LogCapture capture;
    EXPECT_TRUE(calc->startCalculateSizeOfDirPath(QStringLiteral("/")));
    ASSERT_TRUE(kztest::waitUntil([&] { return !notes.notes.isEmpty(); }));
    EXPECT_EQ(notes.notes[0].value(QStringLiteral("totalSize")).toULongLong(), 0u);
    EXPECT_TRUE(capture.contains(QStringLiteral("KZGetDirectoryStatistics==false path:/")));
}

TEST(DirSizeCalculator, LateResultsAfterCancelAllPostNothing)
{
    kztest::TempTree tree;
    for (int d = 0; d < 40; ++d)
        for (int f = 0; f < 25; ++f)
            tree.writeFile(QStringLiteral("box%1/sub/f%2").arg(d).arg(f), "x");
    DirSizeCalculator *calc = DirSizeCalculator::sharedInstance();
    calc->cancellAll();
    SizeNotes notes;
    for (int d = 0; d < 40; ++d)
        EXPECT_TRUE(calc->startCalculateSizeOfDirPath(tree.path(QStringLiteral("box%1").arg(d))));
    calc->cancellAll();
    bool calculating = false;
    EXPECT_FALSE(calc->sizeOfDirPath(tree.path(QStringLiteral("box0")), &calculating).has_value());
    kztest::waitUntil([&] { return calc->queue()->activeThreadCount() == 0; }, 20000);
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(notes.notes.isEmpty());
    // A new count of the same path after the cancel is not finished by a stale result.
    EXPECT_TRUE(calc->startCalculateSizeOfDirPath(tree.path(QStringLiteral("box1"))));
    ASSERT_TRUE(kztest::waitUntil([&] { return notes.notes.size() == 1; }));
    EXPECT_EQ(notes.notes[0].value(QStringLiteral("totalSize")).toULongLong(), 25u);
}
