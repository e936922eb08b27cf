#include <gtest/gtest.h>

#include <QSet>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/KZDirStream.h"
#include "tests/testlib/TestEnvironment.h"

using kzplatform::KZDirEntry;
using kzplatform::KZDirStream;

namespace {

QMap<QByteArray, unsigned char> listAll(KZDirStream &stream)
{
    QMap<QByteArray, unsigned char> out;
    KZDirEntry e;
    int rc;
    while ((rc = stream.read(&e)) == 1)
        out.insert(QByteArray(e.name, static_cast<qsizetype>(e.nameLength)), e.type);
    EXPECT_EQ(rc, 0);
    return out;
}

} // namespace

TEST(KZDirStream, ListsEveryEntryWithItsTypeAcrossManyBufferRefills)
{
    kztest::TempTree tree;
    // More entries than one 1 KiB buffer holds, so the stream refills many times.
    for (int i = 0; i < 300; ++i)
        tree.writeFile(QStringLiteral("d/file-%1").arg(i));
    tree.mkdir(QStringLiteral("d/sub"));
    tree.symlink(QStringLiteral("sub"), QStringLiteral("d/link"));
    tree.mkfifo(QStringLiteral("d/fifo"));

    char buffer[1024];
    KZDirStream stream(buffer, sizeof buffer);
    ASSERT_EQ(stream.openPath(tree.pathBytes("d").constData()), 0);
    EXPECT_TRUE(stream.isOpen());
    const auto entries = listAll(stream);
    EXPECT_EQ(entries.size(), 300 + 3 + 2); // with "." and ".."
    EXPECT_EQ(entries.value("file-299"), DT_REG);
    EXPECT_EQ(entries.value("sub"), DT_DIR);
    EXPECT_EQ(entries.value("link"), DT_LNK);
    EXPECT_EQ(entries.value("fifo"), DT_FIFO);
    EXPECT_TRUE(entries.contains("."));
    EXPECT_EQ(stream.close(), 0);
    EXPECT_FALSE(stream.isOpen());
    EXPECT_EQ(stream.close(), 0);
}

TEST(KZDirStream, OpensRelativeToItsParentButNeverThroughALink)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("real/inside.txt"));
    tree.symlink(tree.path(QStringLiteral("real")), QStringLiteral("alias"));

    char parentBuffer[4096];
    KZDirStream parent(parentBuffer, sizeof parentBuffer);
    ASSERT_EQ(parent.openPath(tree.rootBytes().constData()), 0);

    char childBuffer[4096];
    KZDirStream child(childBuffer, sizeof childBuffer);
    ASSERT_EQ(child.openAt(parent.fd(), "real"), 0);
    EXPECT_TRUE(listAll(child).contains("inside.txt"));

    EXPECT_EQ(child.openAt(parent.fd(), "alias"), -1);
    EXPECT_TRUE(errno == ELOOP || errno == ENOTDIR) << errno;
    EXPECT_EQ(child.openAt(parent.fd(), "missing"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(child.openAt(parent.fd(), "real/inside.txt"), -1);
    EXPECT_EQ(errno, ENOTDIR);

    // A chosen scope folder may itself be a link: opening by path follows it.
    KZDirStream byPath(childBuffer, sizeof childBuffer);
    ASSERT_EQ(byPath.openPath(tree.pathBytes("alias").constData()), 0);
    EXPECT_TRUE(listAll(byPath).contains("inside.txt"));
}

TEST(KZDirStream, ReadingAClosedStreamFails)
{
    char buffer[2048];
    KZDirStream stream(buffer, sizeof buffer);
    KZDirEntry e;
    EXPECT_EQ(stream.read(&e), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(stream.openPath("/nonexistent/trovix/dir"), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(KZDirStream, TypesEntriesFromTheirMode)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("f"));
    tree.mkdir(QStringLiteral("d"));
    tree.symlink(QStringLiteral("d"), QStringLiteral("l"));
    tree.mkfifo(QStringLiteral("p"));
    const int fd = ::open(tree.rootBytes().constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(kzplatform::kzEntryTypeAt(fd, "f"), DT_REG);
    EXPECT_EQ(kzplatform::kzEntryTypeAt(fd, "d"), DT_DIR);
    EXPECT_EQ(kzplatform::kzEntryTypeAt(fd, "l"), DT_LNK);
    EXPECT_EQ(kzplatform::kzEntryTypeAt(fd, "p"), DT_FIFO);
    EXPECT_EQ(kzplatform::kzEntryTypeAt(fd, "gone"), DT_UNKNOWN);
    ::close(fd);
}

TEST(KZDirStream, AReleasedStreamResumesWhereItStoodAndOnlyInTheSameFolder)
{
    kztest::TempTree tree;
    for (int i = 0; i < 300; ++i)
        tree.writeFile(QStringLiteral("d/file-%1").arg(i));
    const QByteArray dir = tree.pathBytes("d");
    char buffer[1024];
    KZDirStream stream(buffer, sizeof buffer);
    ASSERT_EQ(stream.openPath(dir.constData()), 0);
    QMap<QByteArray, unsigned char> seen;
    KZDirEntry e;
    for (int i = 0; i < 100 && stream.read(&e) == 1; ++i)
        seen.insert(QByteArray(e.name, static_cast<qsizetype>(e.nameLength)), e.type);
    ASSERT_EQ(stream.release(), 0);
    EXPECT_FALSE(stream.isOpen());
    EXPECT_TRUE(stream.isReleased());
    ASSERT_EQ(stream.resume(dir.constData()), 0);
    const auto rest = listAll(stream);
    for (auto it = rest.cbegin(); it != rest.cend(); ++it)
        EXPECT_FALSE(seen.contains(it.key())) << it.key().constData();
    seen.insert(rest);
    EXPECT_EQ(seen.size(), 302);

    // A folder chosen through a link is taken up again through it.
    tree.symlink(QStringLiteral("d"), QStringLiteral("alias"));
    ASSERT_EQ(stream.openPath(tree.pathBytes("alias").constData()), 0);
    ASSERT_EQ(stream.release(), 0);
    ASSERT_EQ(stream.resume(tree.pathBytes("alias").constData()), 0);
    EXPECT_EQ(listAll(stream).size(), 302);

    // The path now names another folder: the place would mean nothing there.
    ASSERT_EQ(stream.openPath(dir.constData()), 0);
    ASSERT_EQ(stream.release(), 0);
    ASSERT_EQ(::rename(dir.constData(), tree.pathBytes("old").constData()), 0);
    tree.mkdir(QStringLiteral("d"));
    EXPECT_EQ(stream.resume(dir.constData()), -1);
    EXPECT_EQ(errno, ESTALE);
    EXPECT_EQ(stream.close(), 0);
    EXPECT_FALSE(stream.isReleased());
}
