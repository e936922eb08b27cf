#include <gtest/gtest.h>

#include <dirent.h>

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

TEST(KZDirStream, ListsEveryEntryWithItsTypeAcrossRefillsAndResumesWhereItStood)
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
    KZDirEntry e;
    EXPECT_EQ(stream.read(&e), -1); // not open yet
    EXPECT_EQ(errno, EBADF);
    ASSERT_EQ(stream.openPath(tree.pathBytes("d").constData()), 0);
    const auto entries = listAll(stream);
    EXPECT_EQ(entries.size(), 300 + 3 + 2); // with "." and ".."
    const std::pair<const char *, unsigned char> types[] = {
        {"file-299", DT_REG}, {"sub", DT_DIR}, {"link", DT_LNK}, {"fifo", DT_FIFO}, {"gone", DT_UNKNOWN}};
    for (const auto &[name, type] : types) {
        EXPECT_EQ(entries.value(name), type) << name;
        EXPECT_EQ(kzplatform::kzEntryTypeAt(stream.fd(), name), type) << name;
    }
    EXPECT_EQ(stream.close(), 0);
    EXPECT_FALSE(stream.isOpen());
    EXPECT_EQ(stream.close(), 0);

    // Released after 100 entries, it goes on with the others only.
    const QByteArray dir = tree.pathBytes("d");
    ASSERT_EQ(stream.openPath(dir.constData()), 0);
    QMap<QByteArray, unsigned char> seen;
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
    EXPECT_EQ(seen.size(), 305);

    // A folder chosen through a link is taken up again through it.
    tree.symlink(QStringLiteral("d"), QStringLiteral("alias"));
    ASSERT_EQ(stream.openPath(tree.pathBytes("alias").constData()), 0);
    ASSERT_EQ(stream.release(), 0);
    ASSERT_EQ(stream.resume(tree.pathBytes("alias").constData()), 0);
    EXPECT_EQ(listAll(stream).size(), 305);

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

TEST(KZDirStream, OpensRelativeToItsParentButNeverThroughALink)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("real/inside.txt"));
    tree.symlink(tree.path(QStringLiteral("real")), QStringLiteral("alias"));

    char parentBuffer[4096], childBuffer[4096];
    KZDirStream parent(parentBuffer, sizeof parentBuffer);
    ASSERT_EQ(parent.openPath(tree.rootBytes().constData()), 0);
    KZDirStream child(childBuffer, sizeof childBuffer);
    ASSERT_EQ(child.openAt(parent.fd(), "real"), 0);
    EXPECT_TRUE(listAll(child).contains("inside.txt"));

    const std::pair<const char *, int> refused[] = {{"alias", ELOOP}, {"missing", ENOENT}, {"real/inside.txt", ENOTDIR}};
    for (const auto &[name, error] : refused) {
        EXPECT_EQ(child.openAt(parent.fd(), name), -1) << name;
        // Linux reports a refused link as ENOTDIR when a folder is wanted.
        EXPECT_TRUE(errno == error || (error == ELOOP && errno == ENOTDIR)) << name << " " << errno;
    }
    // A chosen scope folder may itself be a link: opening by path follows it.
    ASSERT_EQ(child.openPath(tree.pathBytes("alias").constData()), 0);
    EXPECT_TRUE(listAll(child).contains("inside.txt"));
}

