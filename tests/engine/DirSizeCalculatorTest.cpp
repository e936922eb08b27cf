#include <array>
#include <climits>

#include <QCoreApplication>
#include <QEventLoop>
#include <gtest/gtest.h>

#include "engine/DirSizeCalculator.h"
#include "support/KZNotificationCenter.h"
#include "tests/engine/SearchRunner.h"
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

// box: ten bytes in a file, a link to a 1 GiB file beside it, an empty folder.
QString makeBox(kztest::TempTree &tree)
{
    tree.writeFile(QStringLiteral("box/ten.bin"), "0123456789");
    tree.makeSized(QStringLiteral("big.bin"), 1LL << 30);
    tree.symlink(tree.path(QStringLiteral("big.bin")), QStringLiteral("box/link-to-big"));
    tree.mkdir(QStringLiteral("box/empty"));
    return tree.path(QStringLiteral("box"));
}

} // namespace

TEST(GetDirectoryStatistics, CountsLogicalSizesOfRegularFilesOnlyAndSkipsOverlongPaths)
{
    kztest::TempTree tree;
    const QString box = makeBox(tree);
    tree.mkfifo(QStringLiteral("box/pipe"));
    tree.writeFile(QStringLiteral("box/.hidden/.DS_Store"), "12345");

    KZDirectoryStatistics stats;
    ASSERT_TRUE(KZGetDirectoryStatistics(&stats, box));
    EXPECT_EQ((std::array<quint64, 4>{stats.totalSize, stats.files, stats.dirs, stats.links}), (std::array<quint64, 4>{15, 2, 2, 1}));

    KZDirectoryStatistics none;
    EXPECT_FALSE(KZGetDirectoryStatistics(&none, QStringLiteral("/")));
    EXPECT_FALSE(KZGetDirectoryStatistics(&none, QStringLiteral("/media")));
    EXPECT_EQ(none.totalSize, 0u);
    EXPECT_EQ(GetDirectoryStatistics("", &none), -1);
    EXPECT_EQ(GetDirectoryStatistics(tree.pathBytes("missing").constData(), &none), -2);

    // Entry paths of PATH_MAX - 2 bytes (counted) around one of PATH_MAX - 1 (too long).
    const QByteArray deep = enginetest::nestFolders(tree.mkdirBytes("deep"), PATH_MAX - 2);
    enginetest::touch(deep + '/' + QByteArray(PATH_MAX - 3 - deep.size(), 'a'), 5);
    enginetest::touch(deep + '/' + QByteArray(PATH_MAX - 2 - deep.size(), 'x'), 100);
    enginetest::touch(deep + '/' + QByteArray(PATH_MAX - 3 - deep.size(), 'z'), 6);
    KZDirectoryStatistics chain;
    EXPECT_TRUE(KZGetDirectoryStatistics(&chain, tree.path(QStringLiteral("deep"))));
    EXPECT_EQ(chain.totalSize, 11u);
}

TEST(DirSizeCalculator, CountsOnceAndAnnounces)
{
    kztest::TempTree tree;
    const QString box = makeBox(tree);

    DirSizeCalculator *calc = DirSizeCalculator::sharedInstance();
    calc->cancellAll();
    SizeNotes notes;
    bool calculating = false;
    EXPECT_FALSE(calc->sizeOfDirPath(box, &calculating).has_value());
    EXPECT_FALSE(calculating);
    EXPECT_TRUE(calc->startCalculateSizeOfDirPath(box));
    EXPECT_FALSE(calc->startCalculateSizeOfDirPath(box)); // pending: one count only
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

    // The root is refused at once, with a size of 0.
    EXPECT_TRUE(calc->startCalculateSizeOfDirPath(QStringLiteral("/")));
    ASSERT_TRUE(kztest::waitUntil([&] { return notes.notes.size() == 3; }));
    EXPECT_EQ(notes.notes[2].value(QStringLiteral("totalSize")).toULongLong(), 0u);
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
