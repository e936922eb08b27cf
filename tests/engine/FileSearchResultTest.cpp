#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "engine/FileSearchResult.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

FileSearchResultRef resultFor(const QByteArray &path, int32_t type)
{
    kzplatform::KZStat st;
    EXPECT_EQ(kzplatform::kzLstat(path.constData(), &st), 0) << path.constData();
    return FileSearchResult::initWithPath(path.constData(), type, st);
}

} // namespace

TEST(FileSearchResult, KeepsPathBytesNameTypeAndSnapshot)
{
    kztest::TempTree tree;
    tree.makeSized(QStringLiteral("dir/file.txt"), 1234);
    tree.setMTime(QStringLiteral("dir/file.txt"), 1600000000);
    for (int i = 0; i < 40; ++i)
        tree.writeFile(QStringLiteral("folder/entry-with-a-long-name-%1").arg(i));
    tree.symlink(QStringLiteral("/some/where/far/away"), QStringLiteral("link"));
    const FileSearchResultRef r = resultFor(tree.pathBytes("dir/file.txt"), FileSearchResult::TypeRegularFile);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->fileSize(), 1234);
    EXPECT_EQ(r->dateModified(), QDateTime::fromSecsSinceEpoch(1600000000));

    // Folders and links have no file size even though their size is stored.
    const FileSearchResultRef dir = resultFor(tree.pathBytes("folder"), FileSearchResult::TypeDirectory);
    const FileSearchResultRef link = resultFor(tree.pathBytes("link"), FileSearchResult::TypeSymLink);
    ASSERT_TRUE(dir && link);
    for (const FileSearchResultRef &e : {dir, link}) {
        EXPECT_GT(e->statInfos().st_size, 0);
        EXPECT_EQ(e->fileSize(), 0);
    }
    EXPECT_TRUE(S_ISLNK(link->statInfos().st_mode)); // the link itself, not its target

    // A name that is not UTF-8 is shown with a replacement character, and
    // every later operation uses the exact bytes.
    const QByteArray latin1 = tree.writeFileBytes("caf\xe9.txt", "data");
    const FileSearchResultRef odd = resultFor(latin1, FileSearchResult::TypeRegularFile);
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->cPath(), latin1);
    EXPECT_EQ(odd->fileName(), QStringLiteral("caf\uFFFD.txt"));
    EXPECT_EQ(odd->updateStatus(), 0);
    EXPECT_TRUE(odd->fileURL().toEncoded().endsWith("/caf%E9.txt")) << odd->fileURL().toEncoded().constData();

    kzplatform::KZStat st;
    EXPECT_FALSE(FileSearchResult::initWithPath(nullptr, FileSearchResult::TypeRegularFile, st));
    EXPECT_FALSE(FileSearchResult::initWithPath("", FileSearchResult::TypeRegularFile, st));
    EXPECT_FALSE(FileSearchResult::initWithPath("/tmp/x", 'X', st));
}

TEST(FileSearchResult, UpdateStatusFollowsTheEntryOnDisk)
{
    // A record made without a snapshot counts as changed on its first check.
    kztest::TempTree tree;
    const QByteArray p = tree.writeFileBytes("a.txt", "abc");
    FileSearchResultStatInfo info;
    info.st_mode = S_IFREG;
    const FileSearchResultRef r =
        FileSearchResult::initWithPath(p.constData(), size_t(p.size()), FileSearchResult::TypeRegularFile, info, false);
    EXPECT_EQ(r->fileSize(), 0);
    EXPECT_EQ(r->updateStatus(), 1);
    EXPECT_EQ(r->fileSize(), 3);
    EXPECT_EQ(r->updateStatus(), 0);
    r->setDisplayDirPath(QStringLiteral("shown"));
    r->setFileIcon(QStringLiteral("icon"));
    r->setDisplayFilename(QStringLiteral("a.txt highlighted"));

    // Touched: the snapshot and the presentation caches are rebuilt, the
    // highlighted name (owned by the views) stays.
    tree.setMTime(QStringLiteral("a.txt"), 1700000000);
    EXPECT_EQ(r->updateStatus(), 1);
    EXPECT_EQ(r->dateModified(), QDateTime::fromSecsSinceEpoch(1700000000));
    EXPECT_TRUE(r->displayDirPath().isNull());
    EXPECT_FALSE(r->fileIcon().isValid());
    EXPECT_EQ(r->displayFilename().toString(), QStringLiteral("a.txt highlighted"));
    EXPECT_EQ(r->updateStatus(), 0);

    // Deleted, then restored unchanged.
    const QByteArray saved = tree.pathBytes("a.txt.saved");
    ASSERT_EQ(::rename(tree.pathBytes("a.txt").constData(), saved.constData()), 0);
    EXPECT_EQ(r->updateStatus(), -1);
    EXPECT_FALSE(r->isValid());
    EXPECT_EQ(r->modificationDate(), 1700000000.0); // the last snapshot stays
    ASSERT_EQ(::rename(saved.constData(), tree.pathBytes("a.txt").constData()), 0);
    EXPECT_EQ(r->updateStatus(), 0);

    // Replaced by a folder of the same name, then by a named pipe (not a supported type).
    tree.remove(QStringLiteral("a.txt"));
    tree.mkdir(QStringLiteral("a.txt"));
    EXPECT_EQ(r->updateStatus(), 1);
    EXPECT_TRUE(r->isDirectory());
    EXPECT_EQ(r->fileSize(), 0);
    tree.remove(QStringLiteral("a.txt"));
    tree.mkfifo(QStringLiteral("a.txt"));
    EXPECT_EQ(r->updateStatus(), -1);
    EXPECT_FALSE(r->isValid());
}

// Window activation re-checks the visible rows on the GUI thread, and did so
// with a plain lstat: a row on a silent server froze the window. The check is
// time-boxed and an unanswered row keeps what it knew.
TEST(FileSearchResult, UpdateStatusOfARowOnASilentServerIsTimeBoxed)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("nas/a.txt"), "one");
    const QString nas = tree.path(QStringLiteral("nas"));
    scopetest::FakeMountTable mounts(scopetest::mountLine(2, nas, "nfs4", "srv:/export", "0:70"));
    const FileSearchResultRef r = resultFor(tree.pathBytes("nas/a.txt"), FileSearchResult::TypeRegularFile);
    ASSERT_TRUE(r);
    {
        scopetest::SilentServer server;
        EXPECT_EQ(r->updateStatus(), 0);
        EXPECT_EQ(r->updateStatus(), 0);
        EXPECT_EQ(server.calls(), 1);
    }
    ASSERT_TRUE(scopetest::waitForWorkersToDrain(nas));
    tree.remove(QStringLiteral("nas/a.txt"));
    EXPECT_EQ(r->updateStatus(), -1);
}

TEST(FileSearchResult, DirPathOfATopLevelEntryIsTheRoot)
{
    // The folder's bytes, which the results list groups by, read as dirPath() does.
    kzplatform::KZStat st;
    st.mode = S_IFDIR;
    const std::pair<QByteArray, QByteArray> folders[] = {
        {"/usr", "/"}, {"/", "/"}, {"/a/b/", "/a"}, {"/a//b", "/a/"}, {"/d\xffx/f\xc3", "/d\xffx"}};
    for (const auto &[path, folder] : folders) {
        const auto e = FileSearchResult::initWithPath(path.constData(), FileSearchResult::TypeDirectory, st);
        EXPECT_EQ(e->dirPathBytes(), folder) << path.constData();
    }
    EXPECT_EQ(FileSearchResult::initWithPath("/usr", FileSearchResult::TypeDirectory, st)->fileName(), QStringLiteral("usr"));
}

TEST(FileSearchResult, NamesReadFirstFromSeveralThreadsAgree)
{
    // The walk makes records without their decoded names; whichever thread
    // reads a name first makes them, and every reader must see the same text.
    const FileSearchResultStatInfo info{};
    std::vector<FileSearchResultRef> records;
    for (int i = 0; i < 2000; ++i) {
        const QByteArray path = "/tmp/d\xc3\xa9j\xc3\xa0/" + QByteArray::number(i) + "_n\xc3\xb8m.txt";
        records.push_back(FileSearchResult::initWithPath(path.constData(), path.size(),
                                                         FileSearchResult::TypeRegularFile, info, false));
    }
    std::vector<std::vector<const QString *>> seen(4);
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&, t] {
            for (const auto &r : records)
                seen[t].push_back(t % 2 ? &r->fileName() : &r->path());
        });
    for (auto &reader : readers)
        reader.join();
    for (size_t i = 0; i < records.size(); ++i) {
        // Same storage for every reader: one set of names per record.
        EXPECT_EQ(seen[0][i], seen[2][i]);
        EXPECT_EQ(seen[1][i], seen[3][i]);
        EXPECT_EQ(*seen[0][i], QStringLiteral("/tmp/déjà/%1_nøm.txt").arg(i));
        EXPECT_EQ(*seen[1][i], QStringLiteral("%1_nøm.txt").arg(i));
    }
}

TEST(FileSearchResult, ARecordAndItsPathBytesAreOneSmallAllocation)
{
    // A record took 224 bytes of heap in two allocations for a 60-byte path,
    // which took a window of two million results to gigabytes.
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps no malloc statistics";
#endif
    constexpr int count = 20000;
    FileSearchResultStatInfo info;
    info.st_mode = S_IFREG | 0644;
    std::vector<QByteArray> paths;
    for (int i = 0; i < count; ++i)
        paths.push_back("/home/someone/Pictures/2023/holiday-by-the-sea/IM_" + QByteArray::number(100000 + i) + ".jpg");
    ASSERT_EQ(paths.front().size(), 60);
    std::vector<FileSearchResultRef> records;
    records.reserve(count);
    const size_t before = mallinfo2().uordblks;
    for (const QByteArray &path : paths)
        records.push_back(FileSearchResult::initWithPath(path.constData(), size_t(path.size()),
                                                         FileSearchResult::TypeRegularFile, info, true));
    const double perRecord = double(mallinfo2().uordblks - before) / count;
    EXPECT_LE(perRecord, 176.0);
    EXPECT_EQ(records.back()->cPath(), paths.back());
}
