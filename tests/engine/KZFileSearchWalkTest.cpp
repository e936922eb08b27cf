#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "engine/KZFileSearch.h"
#include "engine/KZFileSearchWalk.h"
#include "platform/KZDirStream.h"
#include "support/KZLog.h"
#include "tests/engine/SearchRunner.h"
#include "tests/testlib/TestEnvironment.h"

using enginetest::criterion;
using enginetest::found;
using enginetest::runSearch;

namespace {

QVariantList nameIs(const QString &text, qint64 op = KZFileSearchOperatorContains)
{
    return {criterion(KZFileSearchKindFileName, op, text)};
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

// A small home-like tree shared by many cases.
void buildMixedTree(kztest::TempTree &t)
{
    t.writeFile(QStringLiteral("notes.txt"), "hello");
    t.writeFile(QStringLiteral(".hidden.txt"));
    t.writeFile(QStringLiteral(".DS_Store"));
    t.writeFile(QStringLiteral("docs/report.txt"), QByteArray(100, 'x'));
    t.writeFile(QStringLiteral("docs/photo.png"));
    t.writeFile(QStringLiteral("docs/drawing.svg"));
    t.writeFile(QStringLiteral("docs/.DS_Store"));
    t.mkdir(QStringLiteral("docs/txt.folder"));
    t.writeFile(QStringLiteral("linked/inside.txt"));
    t.symlink(QStringLiteral("linked"), QStringLiteral("dirlink.txt"));
    t.symlink(QStringLiteral("notes.txt"), QStringLiteral("filelink.txt"));
    t.mkfifo(QStringLiteral("pipe.txt"));
}

} // namespace

// ------------------------------------------------------------------ names

TEST(KZFileSearchNames, OperatorTableOnRawBytes)
{
    struct Case {
        int64_t op;
        const char *name;
        const char *text;
        bool passes;
    };
    const Case cases[] = {
        {1, "report.txt", "port", true},   {1, "report.txt", "PORT", true},    {1, "abc", "abcd", false},
        {1, "abc", "", true},              {1, "aaab", "aab", true},           {2, "report.txt", "REP", true},
        {2, "report.txt", "port", false},  {2, "ab", "abc", false},            {3, "a.txt.txt", ".txt", true},
        {3, "a.TXT", ".txt", true},        {3, "txt", ".txt", false},          {4, "README", "readme", true},
        {4, "README", "readm", false},     {4, "readme", "readme!", false},    {5, "abc", "abcdef", true},
        {5, "abc", "ABC", false},          {5, "abc", "abd", true},            {20, "abc", "abcdef", true},
        {20, "abc", "B", false},           {20, "abc", "x", true},             {99, "abc", "x", true},
        // ASCII-only case folding: an accented capital is not its lower-case form.
        {4, "\xc3\x89t\xc3\xa9", "\xc3\xa9t\xc3\xa9", false},                  {1, "caf\xc3\xa9", "CAF\xc3\xa9", true},
        {1, "caf\xc3\xa9", "CAF\xc3\x89", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(KZNameTest(c.op, c.name, std::strlen(c.name), c.text, std::strlen(c.text)), c.passes)
            << "op " << c.op << " name " << c.name << " text " << c.text;
}

TEST(KZFileSearchNames, EveryNameOperatorOnARealTree)
{
    kztest::TempTree t;
    for (const char *n : {"a.txt.txt", "abc", "README", "readme.md", "notes.txt", "xabcx"})
        t.writeFile(QString::fromUtf8(n));
    const QString r = t.root();
    EXPECT_EQ(found(r, nameIs(QStringLiteral(".txt"), 3)), sorted({QStringLiteral("a.txt.txt"), QStringLiteral("notes.txt")}));
    EXPECT_EQ(found(r, nameIs(QStringLiteral("readme"), 4)), QStringList{QStringLiteral("README")});
    EXPECT_EQ(found(r, nameIs(QStringLiteral("READ"), 2)), sorted({QStringLiteral("README"), QStringLiteral("readme.md")}));
    EXPECT_EQ(found(r, nameIs(QStringLiteral("abc"), 1)), sorted({QStringLiteral("abc"), QStringLiteral("xabcx")}));
    EXPECT_EQ(found(r, nameIs(QStringLiteral("abcdef"), 5)).size(), 6);
    EXPECT_EQ(found(r, nameIs(QStringLiteral("abc"), 5)).size(), 5);
    EXPECT_EQ(found(r, nameIs(QStringLiteral("e"), 20)), sorted({QStringLiteral("a.txt.txt"), QStringLiteral("abc"), QStringLiteral("xabcx")}));
    // Two name criteria must both pass.
    EXPECT_EQ(found(r, {criterion(1, 1, QStringLiteral("a")), criterion(1, 3, QStringLiteral(".txt"))}),
              QStringList{QStringLiteral("a.txt.txt")});
}

TEST(KZFileSearchNames, PrecomposedAndDecomposedSpellingsAreBothFound)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("caf\u00e9-nfc.txt"));
    t.writeFile(QStringLiteral("cafe\u0301-nfd.txt"));
    t.writeFile(QStringLiteral("cafe-plain.txt"));
    const QString r = t.root();
    const QStringList both = sorted({QStringLiteral("caf\u00e9-nfc.txt"), QStringLiteral("cafe\u0301-nfd.txt")});
    EXPECT_EQ(found(r, nameIs(QStringLiteral("caf\u00e9"))), both);
    EXPECT_EQ(found(r, nameIs(QStringLiteral("cafe\u0301"))), both);
    EXPECT_EQ(found(r, nameIs(QStringLiteral("CAF\u00e9"), 2)), both);
    EXPECT_EQ(found(r, nameIs(QStringLiteral("caf\u00e9-nfd.txt"), 4)), QStringList{QStringLiteral("cafe\u0301-nfd.txt")});
    // Negative tests fail when either spelling is found.
    EXPECT_EQ(found(r, nameIs(QStringLiteral("caf\u00e9"), 20)), QStringList{QStringLiteral("cafe-plain.txt")});
    EXPECT_EQ(found(r, nameIs(QStringLiteral("cafe\u0301-nfd.txt"), 5)),
              sorted({QStringLiteral("caf\u00e9-nfc.txt"), QStringLiteral("cafe-plain.txt")}));
    // Only ASCII letters are folded: a capital that has no decomposition stays apart.
    t.writeFile(QStringLiteral("\u00f8re.txt"));
    EXPECT_TRUE(found(r, nameIs(QStringLiteral("\u00d8re"))).isEmpty());
    EXPECT_EQ(found(r, nameIs(QStringLiteral("\u00f8RE"))), QStringList{QStringLiteral("\u00f8re.txt")});
}

TEST(KZFileSearchNames, NamesThatAreNotUtf8AreFoundWithTheirExactBytes)
{
    kztest::TempTree t;
    const QByteArray bytes = t.writeFileBytes("caf\xe9 latin1.txt", "x");
    const enginetest::SearchRun run = runSearch(t.root(), nameIs(QStringLiteral("latin1")));
    ASSERT_EQ(run.results.size(), 1u);
    EXPECT_EQ(run.results[0]->cPath(), bytes);
    EXPECT_EQ(run.results[0]->fileName(), QStringLiteral("caf\uFFFD latin1.txt"));
    EXPECT_EQ(run.results[0]->updateStatus(), 0);
}

// ------------------------------------------------------------------ walk rules

TEST(KZFileSearchWalk, HiddenFilesLinksAndFifosAndTheDSStore)
{
    kztest::TempTree t;
    buildMixedTree(t);
    kztest::LogCapture log;
    const enginetest::SearchRun run = runSearch(t.root(), nameIs(QStringLiteral("txt")));
    // The link to a folder matches as a link and is never descended; the FIFO is skipped.
    EXPECT_EQ(run.relativePaths(t.root()),
              sorted({QStringLiteral(".hidden.txt"), QStringLiteral("dirlink.txt"), QStringLiteral("docs/report.txt"),
                      QStringLiteral("docs/txt.folder"), QStringLiteral("filelink.txt"), QStringLiteral("linked/inside.txt"),
                      QStringLiteral("notes.txt")}));
    EXPECT_EQ(run.finalCounters.files, 4);
    EXPECT_EQ(run.finalCounters.dirs, 1);
    EXPECT_EQ(run.finalCounters.links, 2);
    EXPECT_TRUE(log.contains(QStringLiteral("dirType:%1 entryPath:%2").arg(DT_FIFO).arg(t.path(QStringLiteral("pipe.txt")))));
    EXPECT_TRUE(run.find(t.path(QStringLiteral("dirlink.txt")))->isSymLink());

    // ".DS_Store" is neither reported nor counted unless a type criterion names it.
    EXPECT_TRUE(found(t.root(), nameIs(QStringLiteral("DS_"))).isEmpty());
    EXPECT_EQ(found(t.root(), {criterion(3, 4, KZFileSearchUTIType_DSStore)}),
              sorted({QStringLiteral(".DS_Store"), QStringLiteral("docs/.DS_Store")}));
    t.writeFile(QStringLiteral("DS_other"));
    EXPECT_EQ(found(t.root(), {criterion(1, 1, QStringLiteral("DS_")), criterion(3, 5, KZFileSearchUTIType_DSStore)}),
              QStringList{QStringLiteral("DS_other")});
}

TEST(KZFileSearchWalk, EntriesOfUnknownDirectoryTypeAreTypedInsteadOfSkipped)
{
    // Some file systems never fill the entry type; skipping such entries would find nothing there.
    kztest::TempTree t;
    buildMixedTree(t);
    const QStringList expected = found(t.root(), nameIs(QStringLiteral("txt")));
    kzplatform::KZDirStream::setReportsUnknownTypesForTesting(true);
    kztest::LogCapture log;
    const enginetest::SearchRun run = runSearch(t.root(), nameIs(QStringLiteral("txt")));
    const QStringList folders = found(t.root(), {criterion(3, 4, KZFileSearchUTIType_Directorty)});
    kzplatform::KZDirStream::setReportsUnknownTypesForTesting(false);
    EXPECT_EQ(run.relativePaths(t.root()), expected);
    EXPECT_EQ(run.finalCounters.links, 2);
    EXPECT_TRUE(run.find(t.path(QStringLiteral("docs/txt.folder")))->isDirectory());
    EXPECT_EQ(folders, sorted({QStringLiteral("docs"), QStringLiteral("docs/txt.folder"), QStringLiteral("linked")}));
    EXPECT_TRUE(log.contains(QStringLiteral("dirType:%1 entryPath:%2").arg(DT_FIFO).arg(t.path(QStringLiteral("pipe.txt")))));
}

TEST(KZFileSearchWalk, BatchesComeOnePerFolderWithRunningCountersAndOneFinishLast)
{
    kztest::TempTree t;
    for (int d = 0; d < 5; ++d)
        for (int f = 0; f < 3; ++f)
            t.writeFile(QStringLiteral("d%1/match-%2").arg(d).arg(f));
    t.writeFile(QStringLiteral("d2/other"));
    t.mkdir(QStringLiteral("empty"));
    const enginetest::SearchRun run = runSearch(t.root(), nameIs(QStringLiteral("match")));
    ASSERT_EQ(run.batches.size(), 5u);
    int64_t previous = 0;
    for (size_t i = 0; i < run.batches.size(); ++i) {
        const FileSearchResultList &batch = run.batches[i];
        ASSERT_EQ(batch.size(), 3);
        for (const FileSearchResultRef &r : batch)
            EXPECT_EQ(r->dirPath(), batch.first()->dirPath());
        EXPECT_EQ(run.batchCounters[i].files, previous + 3);
        previous = run.batchCounters[i].files;
    }
    EXPECT_EQ(run.finishedCalls, 1);
    EXPECT_TRUE(run.finishedWasLast);
    EXPECT_EQ(run.finalCounters.files, 15);
    EXPECT_EQ(run.finalCounters.total(), 15);
}

// Counters once ran ahead of the batches by every matching folder whose own
// folder was not handed over yet, so an interrupted trovix-find reported more
// than it had printed.
TEST(KZFileSearchWalk, CountersCountOnlyWhatWasHandedOver)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("match-dir/match-file"));
    t.writeFile(QStringLiteral("match-dir/deeper/match-too"));
    const enginetest::SearchRun run = runSearch(t.root(), nameIs(QStringLiteral("match")));
    ASSERT_EQ(run.batches.size(), 3u);
    int64_t handedOver = 0;
    for (size_t i = 0; i < run.batches.size(); ++i)
        EXPECT_EQ(run.batchCounters[i].total(), handedOver += run.batches[i].size()) << "batch " << i;
}

TEST(KZFileSearchWalk, AFolderThatFailsAFilterIsStillDescended)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("outer/inner/wanted.txt"));
    EXPECT_EQ(found(t.root(), nameIs(QStringLiteral("wanted"))), QStringList{QStringLiteral("outer/inner/wanted.txt")});
    // A matching folder is reported and descended.
    t.writeFile(QStringLiteral("wanted-dir/wanted-file"));
    EXPECT_EQ(found(t.root(), nameIs(QStringLiteral("wanted-"))),
              sorted({QStringLiteral("wanted-dir"), QStringLiteral("wanted-dir/wanted-file")}));
}

TEST(KZFileSearchWalk, TrashFoldersAreSkippedUnlessTheTrashSwitchIsOn)
{
    kztest::TempTree t;
    for (const char *dir : {".Trash", ".Trashes", ".Trash-1000", ".Trash-x1", "Trash", "keep"})
        t.writeFile(QString::fromUtf8(dir) + QStringLiteral("/junk.txt"));
    const QString r = t.root();
    EXPECT_EQ(found(r, nameIs(QStringLiteral("junk"))),
              sorted({QStringLiteral(".Trash-x1/junk.txt"), QStringLiteral(".Trashes/junk.txt"), QStringLiteral("Trash/junk.txt"),
                      QStringLiteral("keep/junk.txt")}));
    // The trash folders themselves are not reported either.
    EXPECT_EQ(found(r, nameIs(QStringLiteral(".Trash"), 2)), sorted({QStringLiteral(".Trash-x1"), QStringLiteral(".Trashes")}));
    QVariantList withTrash = nameIs(QStringLiteral("junk"));
    withTrash.append(criterion(11, 4, true));
    EXPECT_EQ(found(r, withTrash).size(), 6);
    // Off (even number), or with another operator: still skipped.
    EXPECT_EQ(found(r, QVariantList(nameIs(QStringLiteral("junk"))) << criterion(11, 4, 2)).size(), 4);
    EXPECT_EQ(found(r, QVariantList(nameIs(QStringLiteral("junk"))) << criterion(11, 5, 1)).size(), 4);
}

TEST(KZFileSearchWalk, TheHomeTrashIsSkipped)
{
    const QString dataHome = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
    ASSERT_FALSE(dataHome.isEmpty());
    QDir().mkpath(dataHome + QStringLiteral("/Trash/files"));
    QDir().mkpath(dataHome + QStringLiteral("/other/Trash"));
    QFile(dataHome + QStringLiteral("/Trash/files/thrown-away.txt")).open(QIODevice::WriteOnly);
    QFile(dataHome + QStringLiteral("/other/Trash/thrown-away.txt")).open(QIODevice::WriteOnly);
    const QString scope = QDir(dataHome).canonicalPath();
    EXPECT_EQ(found(scope, nameIs(QStringLiteral("thrown-away"))), QStringList{QStringLiteral("other/Trash/thrown-away.txt")});
    EXPECT_EQ(found(scope, QVariantList(nameIs(QStringLiteral("thrown-away"))) << criterion(11, 4, 1)).size(), 2);
    QDir(dataHome + QStringLiteral("/Trash")).removeRecursively();
    QDir(dataHome + QStringLiteral("/other")).removeRecursively();
}

TEST(KZFileSearchWalk, RootsAndExclusionsOfTheFoldersCriterion)
{
    kztest::TempTree t;
    for (const char *p : {"tree/a/x.txt", "tree/a/deep/x.txt", "tree/b/x.txt", "tree2/x.txt", "treex/x.txt"})
        t.writeFile(QString::fromUtf8(p));
    const QString r = t.root();
    auto dirs = [&](qint64 op, std::initializer_list<const char *> rel) {
        QStringList paths;
        for (const char *p : rel)
            paths.append(r + QLatin1Char('/') + QString::fromUtf8(p));
        return criterion(10, op, paths);
    };
    const QVariantList x = nameIs(QStringLiteral("x.txt"), 4);

    // Only these roots; a root inside another one is walked once.
    const enginetest::SearchRun run = runSearch(r, QVariantList(x) << dirs(4, {"tree/a", "tree/a/deep", "tree2", "tree/a/"}));
    EXPECT_EQ(run.relativePaths(r), sorted({QStringLiteral("tree/a/deep/x.txt"), QStringLiteral("tree/a/x.txt"), QStringLiteral("tree2/x.txt")}));
    EXPECT_EQ(run.finalCounters.files, 3);

    // "/tree2" only continues "/tree" as a string, not as a path: outside the scope, ignored.
    const QString scope = r + QStringLiteral("/tree");
    EXPECT_EQ(found(scope, QVariantList(x) << dirs(4, {"tree2"})),
              sorted({QStringLiteral("a/deep/x.txt"), QStringLiteral("a/x.txt"), QStringLiteral("b/x.txt")}));

    // Exclusions match whole paths byte for byte: Linux names differ by case.
    const QStringList withoutTreeA{QStringLiteral("tree/b/x.txt"), QStringLiteral("tree2/x.txt"), QStringLiteral("treex/x.txt")};
    EXPECT_EQ(found(r, QVariantList(x) << dirs(5, {"TREE/A", "tre"})).size(), 5);
    EXPECT_EQ(found(r, QVariantList(x) << dirs(5, {"tree/a", "tre"})), withoutTreeA);
    // "." and ".." are resolved as text before the inside-the-scope test and the comparison.
    EXPECT_EQ(found(r, QVariantList(x) << dirs(5, {"tree/./b/../a/deep/.."})), withoutTreeA);
    EXPECT_EQ(found(scope, QVariantList(x) << dirs(4, {"tree/b/../../tree2"})),
              sorted({QStringLiteral("a/deep/x.txt"), QStringLiteral("a/x.txt"), QStringLiteral("b/x.txt")}));
    EXPECT_EQ(runSearch(r, QVariantList(x) << dirs(4, {"tree/b/../a/deep", "tree/a"})).finalCounters.files, 2);
    // Exclusions apply inside the roots too.
    EXPECT_EQ(found(r, QVariantList(x) << dirs(5, {"tree/a/deep"}) << dirs(4, {"tree/a", "treex"})),
              sorted({QStringLiteral("tree/a/x.txt"), QStringLiteral("treex/x.txt")}));
    // Other operators are ignored; a list holding only folder criteria walks nothing.
    EXPECT_EQ(found(r, QVariantList(x) << dirs(1, {"tree/a"})).size(), 5);
}

TEST(KZFileSearchWalk, AListWithoutUsableFilterWalksNothingButStillFinishes)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("a.txt"));
    kztest::LogCapture log;
    const enginetest::SearchRun run =
        runSearch(t.root(), {criterion(10, 4, QStringList{t.root()}), criterion(1, 1, QStringLiteral("  ")), criterion(0, 1, QStringLiteral("a"))});
    EXPECT_TRUE(run.results.empty());
    EXPECT_EQ(run.finishedCalls, 1);
    EXPECT_TRUE(log.contains(QStringLiteral("filtersCount==0 criteria:")));

    log.clear();
    const enginetest::SearchRun empty = runSearch(t.root(), {});
    EXPECT_EQ(empty.finishedCalls, 1);
    EXPECT_TRUE(log.contains(QStringLiteral("CRITIRAL EXCEPTION")));
    EXPECT_TRUE(log.contains(QStringLiteral("_criteria.count==0")));

    log.clear();
    const enginetest::SearchRun noScope = runSearch(QString(), nameIs(QStringLiteral("a")));
    EXPECT_EQ(noScope.finishedCalls, 1);
    EXPECT_TRUE(log.contains(QStringLiteral("scopeDir==nil")));
}

TEST(KZFileSearchWalk, AMissingScopeIsLoggedAndFinishes)
{
    kztest::LogCapture log;
    const enginetest::SearchRun run = runSearch(QStringLiteral("/nonexistent/trovix-scope"), nameIs(QStringLiteral("a")));
    EXPECT_EQ(run.finishedCalls, 1);
    EXPECT_TRUE(log.contains(QStringLiteral("dir==NULL dirPath:/nonexistent/trovix-scope errno:2")));
    const QStringList entries = log.entries();
    const auto opened = std::find_if(entries.begin(), entries.end(), [](const QString &e) { return e.contains(QStringLiteral("dir==NULL")); });
    ASSERT_NE(opened, entries.end());
    EXPECT_TRUE(opened->startsWith(QStringLiteral("ERROR PerformSearchInDirectory("))) << opened->toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("PerformSearchInDirectory:-2 scopeDir:/nonexistent/trovix-scope")));
}

TEST(KZFileSearchWalk, AnEntryPathAtTheLengthLimitSkipsOnlyThatEntry)
{
    kztest::TempTree t;
    // A chain of folders made relative to each other, so that no call needs a full path.
    int fd = ::open(t.rootBytes().constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    QByteArray path = t.rootBytes();
    // Stop with room for one name (at most 255 bytes) between the folder and the limit.
    for (qsizetype remaining = PATH_MAX - 3 - path.size(); remaining > 254; remaining = PATH_MAX - 3 - path.size()) {
        const QByteArray segment(std::min<qsizetype>(200, remaining - 150), 'd');
        ASSERT_EQ(::mkdirat(fd, segment.constData(), 0755), 0);
        const int child = ::openat(fd, segment.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = child;
        ASSERT_GE(fd, 0);
        path += '/' + segment;
    }
    // Entry path lengths: exactly PATH_MAX - 2 (kept) and PATH_MAX - 1 (too long).
    const size_t room = PATH_MAX - 2 - static_cast<size_t>(path.size()) - 1;
    QByteArray fits = "hit-" + QByteArray(static_cast<qsizetype>(room - 4), 'f');
    QByteArray tooLong = "hit-" + QByteArray(static_cast<qsizetype>(room - 3), 'g');
    for (const QByteArray &name : {fits, tooLong, QByteArray("hit-short")}) {
        const int f = ::openat(fd, name.constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(f, 0) << std::strerror(errno);
        ::close(f);
    }
    ::close(fd);

    kztest::LogCapture log;
    const enginetest::SearchRun run = runSearch(t.root(), nameIs(QStringLiteral("hit-")));
    QStringList names;
    for (const FileSearchResultRef &r : run.results)
        names.append(r->fileName());
    names.sort();
    EXPECT_EQ(names, sorted({QString::fromLatin1(fits), QStringLiteral("hit-short")}));
    EXPECT_TRUE(log.contains(QStringLiteral("entryPathL>=MAXPATHLEN entryPathL:%1").arg(PATH_MAX - 1)));
    EXPECT_TRUE(log.contains(QStringLiteral("PerformSearchInDirectory:-4 entryPath:")));
    // Counted for the caller, which must say what was left out.
    EXPECT_EQ(run.finalCounters.skippedLongPaths, 1);
    EXPECT_EQ(run.finalCounters.total(), 2);
}

TEST(KZFileSearchWalk, LinksToFoldersAreNeverEnteredEvenAsTheyMatchTheLinkKeyword)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("real/file"));
    t.symlink(QStringLiteral("real"), QStringLiteral("alias"));
    t.symlink(t.root(), QStringLiteral("real/loop"));
    const QString r = t.root();
    EXPECT_EQ(found(r, {criterion(3, 4, KZFileSearchUTIType_SymLink)}), sorted({QStringLiteral("alias"), QStringLiteral("real/loop")}));
    EXPECT_EQ(found(r, {criterion(3, 4, KZFileSearchUTIType_Directorty)}), QStringList{QStringLiteral("real")});
    EXPECT_EQ(found(r, {criterion(3, 4, KZFileSearchUTIType_RegFile)}), QStringList{QStringLiteral("real/file")});
    EXPECT_EQ(found(r, {criterion(3, 5, KZFileSearchUTIType_RegFile)}),
              sorted({QStringLiteral("alias"), QStringLiteral("real"), QStringLiteral("real/loop")}));
}

TEST(KZFileSearchWalk, TheRootListingSkipsTheLinuxVirtualFolders)
{
    // Walk "/" for folders while excluding every real top-level folder: what
    // is left would be the virtual ones, which the walk must not even list.
    const QStringList skipped{QStringLiteral("proc"), QStringLiteral("sys"), QStringLiteral("dev"), QStringLiteral("run"),
                              QStringLiteral("media"), QStringLiteral("mnt"), QStringLiteral("net")};
    QStringList excluded;
    int present = 0;
    for (const QString &name : QDir(QStringLiteral("/")).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks)) {
        if (skipped.contains(name))
            ++present;
        else
            excluded.append(QStringLiteral("/") + name);
    }
    ASSERT_GE(present, 3); // proc, sys and dev exist on every Linux machine
    const enginetest::SearchRun run = runSearch(QStringLiteral("/"), {criterion(3, 4, KZFileSearchUTIType_Directorty),
                                                                     criterion(10, 5, excluded)});
    EXPECT_TRUE(run.relativePaths(QStringLiteral("/")).isEmpty()) << run.relativePaths(QStringLiteral("/")).join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(run.finishedCalls, 1);

    // Below "/" the same names are ordinary folders.
    kztest::TempTree t;
    for (const QString &n : skipped)
        t.writeFile(n + QStringLiteral("/inner-hit"));
    EXPECT_EQ(found(t.root(), nameIs(QStringLiteral("inner-hit"))).size(), 7);
}

// ------------------------------------------------------------------ attributes

TEST(KZFileSearchAttributes, SizeOnlyMatchesRegularFilesWithInclusiveBounds)
{
    kztest::TempTree t;
    t.makeSized(QStringLiteral("small"), 99);
    t.makeSized(QStringLiteral("exact"), 100);
    t.makeSized(QStringLiteral("big"), 5000000000LL);
    t.writeFile(QStringLiteral("folder/inner"));
    t.symlink(QStringLiteral("big"), QStringLiteral("link"));
    const QString r = t.root();
    EXPECT_EQ(found(r, {criterion(2, 6, 100)}), sorted({QStringLiteral("exact"), QStringLiteral("small"), QStringLiteral("folder/inner")}));
    EXPECT_EQ(found(r, {criterion(2, 7, 100)}), sorted({QStringLiteral("big"), QStringLiteral("exact")}));
    EXPECT_EQ(found(r, {criterion(2, 7, qint64(4000000000))}), QStringList{QStringLiteral("big")});
    EXPECT_EQ(found(r, {criterion(2, 7, 0), criterion(2, 6, 0)}), QStringList{QStringLiteral("folder/inner")});
}

TEST(KZFileSearchAttributes, ModificationDateWindowsAroundAFixedMidnight)
{
    kztest::TempTree t;
    const QDateTime now(QDate(2024, 5, 15), QTime(12, 0), Qt::LocalTime);
    const qint64 m = QDateTime(QDate(2024, 5, 15), QTime(0, 0), Qt::LocalTime).toSecsSinceEpoch();
    const struct {
        const char *name;
        qint64 time;
    } files[] = {{"at-midnight", m}, {"next-midnight", m + 86400}, {"just-before", m - 1}, {"after-day", m + 86401},
                 {"eleven", m + 11 * 3600}, {"old", m - 40 * 86400}};
    for (const auto &f : files) {
        t.writeFile(QString::fromUtf8(f.name));
        t.setMTime(QString::fromUtf8(f.name), f.time);
    }
    t.mkdir(QStringLiteral("folder-today"));
    t.setMTime(QStringLiteral("folder-today"), m + 60);
    t.symlink(QStringLiteral("old"), QStringLiteral("link-today"));
    t.setMTime(QStringLiteral("link-today"), m + 120);
    const auto atFixedNow = [&](KZFileSearch &s) { s.setNowForTesting(now); };
    const QString r = t.root();
    const QDateTime day = QDateTime(QDate(2024, 5, 15), QTime(18, 30), Qt::LocalTime);

    EXPECT_EQ(found(r, {criterion(5, 8, day)}, atFixedNow),
              sorted({QStringLiteral("at-midnight"), QStringLiteral("next-midnight"), QStringLiteral("eleven"),
                      QStringLiteral("folder-today"), QStringLiteral("link-today")}));
    EXPECT_EQ(found(r, {criterion(5, 11)}, atFixedNow), found(r, {criterion(5, 8, day)}, atFixedNow));
    EXPECT_EQ(found(r, {criterion(5, 10, day)}, atFixedNow), QStringList{QStringLiteral("after-day")});
    EXPECT_EQ(found(r, {criterion(5, 9, day)}, atFixedNow), sorted({QStringLiteral("just-before"), QStringLiteral("old")}));
    EXPECT_EQ(found(r, {criterion(5, 12)}, atFixedNow), sorted({QStringLiteral("at-midnight"), QStringLiteral("just-before")}));
    // The last hour and six hours have no upper bound.
    EXPECT_EQ(found(r, {criterion(5, 18)}, atFixedNow),
              sorted({QStringLiteral("after-day"), QStringLiteral("next-midnight"), QStringLiteral("eleven")}));
    EXPECT_EQ(found(r, {criterion(5, 19)}, atFixedNow), found(r, {criterion(5, 18)}, atFixedNow));
    EXPECT_EQ(found(r, {criterion(5, 15, QStringLiteral("1|5"))}, atFixedNow),
              sorted({QStringLiteral("after-day"), QStringLiteral("next-midnight"), QStringLiteral("eleven")}));
    EXPECT_EQ(found(r, {criterion(5, 15, QStringLiteral("1|3"))}, atFixedNow).size(), 7);
    EXPECT_EQ(found(r, {criterion(5, 15, QStringLiteral("2|4"))}, atFixedNow).size(), 8);
}

TEST(KZFileSearchAttributes, CreationDateIsTheBirthTime)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("fresh"));
    t.setMTime(QStringLiteral("fresh"), 1000000000); // an old modification time does not matter
    const QString r = t.root();
    EXPECT_EQ(found(r, {criterion(4, 18)}), QStringList{QStringLiteral("fresh")});
    EXPECT_EQ(found(r, {criterion(4, 11)}), QStringList{QStringLiteral("fresh")});
    EXPECT_TRUE(found(r, {criterion(4, 9, QDateTime::currentDateTime())}).isEmpty());
    EXPECT_TRUE(found(r, {criterion(5, 18)}).isEmpty());
}

TEST(KZFileSearchAttributes, ContentTypesFromNamesWithConformance)
{
    kztest::TempTree t;
    for (const char *n : {"a.png", "b.svg", "c.txt", "CMakeLists.txt", "d.tar.gz", "e.zzqqy", "main.c", "noext"})
        t.writeFile(QString::fromUtf8(n), "content that is never read");
    t.mkdir(QStringLiteral("folder.png"));
    t.symlink(QStringLiteral("a.png"), QStringLiteral("link.png"));
    const QString r = t.root();
    auto typeIs = [](const QString &id, qint64 op = 4) { return QVariantList{criterion(3, op, id)}; };
    EXPECT_EQ(found(r, typeIs(QStringLiteral("image/*"))), sorted({QStringLiteral("a.png"), QStringLiteral("b.svg")}));
    EXPECT_EQ(found(r, typeIs(QStringLiteral("text/*"))),
              sorted({QStringLiteral("b.svg"), QStringLiteral("c.txt"), QStringLiteral("CMakeLists.txt"), QStringLiteral("main.c")}));
    EXPECT_EQ(found(r, typeIs(QStringLiteral("text/plain"))),
              sorted({QStringLiteral("b.svg"), QStringLiteral("c.txt"), QStringLiteral("CMakeLists.txt"), QStringLiteral("main.c")}));
    EXPECT_EQ(found(r, typeIs(QStringLiteral("text/x-csrc"))), QStringList{QStringLiteral("main.c")});
    EXPECT_EQ(found(r, typeIs(QStringLiteral("application/x-compressed-tar"))), QStringList{QStringLiteral("d.tar.gz")});
    EXPECT_EQ(found(r, typeIs(QStringLiteral("inode/directory"))), QStringList{QStringLiteral("folder.png")});
    // Every file and folder, unknown types included; never a link.
    EXPECT_EQ(found(r, typeIs(QStringLiteral("*/*"))).size(), 9);
    EXPECT_EQ(found(r, typeIs(QStringLiteral("image/png"), 5)),
              sorted({QStringLiteral("b.svg"), QStringLiteral("c.txt"), QStringLiteral("CMakeLists.txt"), QStringLiteral("d.tar.gz"),
                      QStringLiteral("e.zzqqy"), QStringLiteral("folder.png"), QStringLiteral("main.c"), QStringLiteral("noext")}));
}

TEST(KZFileSearchAttributes, TagsOnFilesAndFoldersButNeverThroughLinks)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("tagged.txt"));
    t.setTags(QStringLiteral("tagged.txt"), {QStringLiteral(" Important "), QStringLiteral("Caf\u00e9 Work")});
    t.mkdir(QStringLiteral("tagged-folder"));
    t.setTags(QStringLiteral("tagged-folder"), {QStringLiteral("red")});
    t.writeFile(QStringLiteral("untagged.txt"));
    t.writeFile(QStringLiteral("other-attr.txt"));
    t.setXattr(QStringLiteral("other-attr.txt"), "user.xdg.comment", "important");
    t.writeFile(QStringLiteral("empty-tags.txt"));
    t.setXattr(QStringLiteral("empty-tags.txt"), "user.xdg.tags", " , ,");
    t.symlink(QStringLiteral("tagged.txt"), QStringLiteral("link-to-tagged"));
    const QString r = t.root();
    EXPECT_EQ(found(r, {criterion(6, 0, QStringLiteral("portan"))}), QStringList{QStringLiteral("tagged.txt")});
    EXPECT_EQ(found(r, {criterion(6, 0, QStringLiteral("IMPORTANT"))}), QStringList{QStringLiteral("tagged.txt")});
    EXPECT_EQ(found(r, {criterion(6, 0, QStringLiteral("CAF\u00c9"))}), QStringList{QStringLiteral("tagged.txt")});
    EXPECT_EQ(found(r, {criterion(6, 0, QStringLiteral("Red"))}), QStringList{QStringLiteral("tagged-folder")});
    // The trimmed tag is " Important " without its blanks: a blank inside the text does not match the edge.
    EXPECT_TRUE(found(r, {criterion(6, 0, QStringLiteral("t,C"))}).isEmpty());
    EXPECT_TRUE(found(r, {criterion(6, 0, QStringLiteral("nothing"))}).isEmpty());
}

TEST(KZFileSearchAttributes, ExtendedAttributesAreMatchedByExactName)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("commented"));
    t.setXattr(QStringLiteral("commented"), "user.xdg.comment", "hello");
    t.mkdir(QStringLiteral("commented-folder"));
    t.setXattr(QStringLiteral("commented-folder"), "user.xdg.comment", "x");
    t.writeFile(QStringLiteral("accented"));
    t.setXattr(QStringLiteral("accented"), "user.caf\xc3\xa9", "1"); // stored precomposed
    t.writeFile(QStringLiteral("plain"));
    t.symlink(QStringLiteral("commented"), QStringLiteral("link"));
    const QString r = t.root();
    EXPECT_EQ(found(r, {criterion(8, 13, QStringLiteral("user.xdg.comment"))}),
              sorted({QStringLiteral("commented"), QStringLiteral("commented-folder")}));
    EXPECT_TRUE(found(r, {criterion(8, 13, QStringLiteral("user.xdg.Comment"))}).isEmpty());
    EXPECT_TRUE(found(r, {criterion(8, 13, QStringLiteral("user.xdg"))}).isEmpty());
    EXPECT_EQ(found(r, {criterion(8, 14, QStringLiteral("user.xdg.comment"))}),
              sorted({QStringLiteral("accented"), QStringLiteral("plain")}));
    // Typed decomposed, found in its precomposed form.
    EXPECT_EQ(found(r, {criterion(8, 13, QStringLiteral("user.cafe\u0301"))}), QStringList{QStringLiteral("accented")});
}

TEST(KZFileSearchAttributes, ContentTypeOfAPath)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("picture.PNG"), "not really an image");
    t.mkdir(QStringLiteral("folder.txt"));
    t.symlink(QStringLiteral("picture.PNG"), QStringLiteral("link.png"));
    t.mkfifo(QStringLiteral("pipe.txt"));
    kztest::LogCapture log;
    EXPECT_EQ(UTI_TypeOfFilePath_needCFRelease(t.pathBytes("picture.PNG").constData()), QStringLiteral("image/png"));
    EXPECT_EQ(UTI_TypeOfFilePath_needCFRelease(t.pathBytes("folder.txt").constData()), QStringLiteral("inode/directory"));
    EXPECT_EQ(UTI_TypeOfFilePath_needCFRelease(t.pathBytes("link.png").constData()), QStringLiteral("inode/symlink"));
    EXPECT_TRUE(log.entries().isEmpty());
    EXPECT_TRUE(UTI_TypeOfFilePath_needCFRelease(t.pathBytes("missing.png").constData()).isNull());
    EXPECT_TRUE(log.contains(QStringLiteral("FSPathMakeRef:2 filePath:") + t.path(QStringLiteral("missing.png"))));
    EXPECT_TRUE(UTI_TypeOfFilePath_needCFRelease(t.pathBytes("pipe.txt").constData()).isNull());
    EXPECT_TRUE(log.contains(QStringLiteral("|| values==NULL filePath:") + t.path(QStringLiteral("pipe.txt"))));
}

// ------------------------------------------------------------------ options, threads, permissions

TEST(KZFileSearchWalk, SkippingTheStatOfMatchesLeavesRecordsWithoutSnapshot)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("one.txt"), "12345");
    t.mkdir(QStringLiteral("two.txt"));
    const auto skip = [](KZFileSearch &s) { s.setSkipsMatchStat(true); };
    const enginetest::SearchRun names = runSearch(t.root(), nameIs(QStringLiteral(".txt")), skip);
    ASSERT_EQ(names.results.size(), 2u);
    for (const FileSearchResultRef &r : names.results) {
        EXPECT_FALSE(r->hasStatInfos());
        EXPECT_EQ(r->modificationDate(), 0.0);
    }
    EXPECT_EQ(names.finalCounters.files, 1);
    EXPECT_EQ(names.finalCounters.dirs, 1);
    EXPECT_TRUE(names.find(t.path(QStringLiteral("two.txt")))->isDirectory());
    // A criterion that reads the snapshot keeps the stat.
    const enginetest::SearchRun sized = runSearch(t.root(), {criterion(2, 7, 5)}, skip);
    ASSERT_EQ(sized.results.size(), 1u);
    EXPECT_TRUE(sized.results[0]->hasStatInfos());
    EXPECT_EQ(sized.results[0]->fileSize(), 5);
    // Off by default.
    const enginetest::SearchRun normal = runSearch(t.root(), nameIs(QStringLiteral(".txt")));
    EXPECT_TRUE(normal.results[0]->hasStatInfos());
}

// The same walk reporting path bytes: every batch must hold exactly the
// paths of the records the record walk makes, in the same order, with the
// same counts, whatever the criteria.
TEST(KZFileSearchWalk, PathListsCarryExactlyWhatTheRecordsWould)
{
    kztest::TempTree t;
    buildMixedTree(t);
    t.writeFileBytes("caf\xe9 latin1.txt", "x");
    t.writeFile(QStringLiteral("deep/a/b/c/report.txt"), QByteArray(2048, 'y'));
    t.writeFile(QStringLiteral("deep/a/skipme/report.txt"));
    t.writeFile(QStringLiteral(".Trash/old.txt"));
    const QList<QVariantList> cases{
        nameIs(QStringLiteral(".txt"), KZFileSearchOperatorEndsWith),
        nameIs(QStringLiteral("o")),
        {criterion(KZFileSearchKindFileSize, KZFileSearchOperatorGreaterThan, 50),
         criterion(KZFileSearchKindFileName, KZFileSearchOperatorContains, QStringLiteral("r"))},
        {criterion(KZFileSearchKindUTIType, KZFileSearchOperatorIs, KZFileSearchUTIType_Directorty)},
        {criterion(KZFileSearchKindFileName, KZFileSearchOperatorContains, QStringLiteral("report")),
         criterion(KZFileSearchKindDirPaths, KZFileSearchOperatorIsNot, QStringList{t.path(QStringLiteral("deep/a/skipme"))})},
    };
    for (const QVariantList &criteria : cases) {
        SCOPED_TRACE(QString::fromUtf8(QJsonDocument(QJsonArray::fromVariantList(criteria)).toJson(QJsonDocument::Compact)).toStdString());
        for (const bool skipStat : {false, true}) {
            const enginetest::SearchRun records =
                runSearch(t.root(), criteria, [&](KZFileSearch &s) { s.setSkipsMatchStat(skipStat); });
            ASSERT_FALSE(records.results.empty());

            std::vector<QByteArrayList> batches;
            std::vector<KZFileSearchCounters> counters;
            KZFileSearchCounters last;
            int finished = 0;
            bool finishedLast = true;
            QByteArray finishedPaths("not called");
            KZFileSearch search;
            search.setSkipsMatchStat(skipStat);
            search.performPathSearchInDirectory(t.root(), criteria,
                                                [&](int status, const QByteArray &paths, const KZFileSearchCounters &c) {
                                                    if (finished)
                                                        finishedLast = false;
                                                    if (status == KZFileSearchStatusFinished) {
                                                        ++finished;
                                                        last = c;
                                                        finishedPaths = paths;
                                                        return;
                                                    }
                                                    // Every path ends with its NUL, the last one too.
                                                    EXPECT_TRUE(paths.endsWith('\0'));
                                                    QByteArrayList list = paths.split('\0');
                                                    list.removeLast();
                                                    batches.push_back(list);
                                                    counters.push_back(c);
                                                });
            ASSERT_EQ(batches.size(), records.batches.size());
            for (size_t i = 0; i < batches.size(); ++i) {
                QByteArrayList expected;
                for (const FileSearchResultRef &r : records.batches[i])
                    expected.append(r->cPath());
                EXPECT_EQ(batches[i], expected);
                EXPECT_EQ(counters[i].files, records.batchCounters[i].files);
                EXPECT_EQ(counters[i].dirs, records.batchCounters[i].dirs);
                EXPECT_EQ(counters[i].links, records.batchCounters[i].links);
            }
            EXPECT_EQ(finished, 1);
            EXPECT_TRUE(finishedLast);
            EXPECT_TRUE(finishedPaths.isEmpty());
            EXPECT_EQ(last.total(), records.finalCounters.total());
        }
    }
}

TEST(KZFileSearchWalk, CancellingFromAnotherThreadStopsTheBatchesAndFinishesOnce)
{
    kztest::TempTree t;
    for (int d = 0; d < 60; ++d)
        for (int f = 0; f < 4; ++f)
            t.writeFile(QStringLiteral("d%1/sub/hit-%2").arg(d).arg(f));

    KZFileSearch search;
    std::atomic<int> batchesAfterCancel{0};
    std::atomic<bool> cancelled{false};
    int batches = 0;
    int finished = 0;
    bool finishedLast = true;
    search.performSearchInDirectory(t.root(), nameIs(QStringLiteral("hit")),
                                    [&](int status, const FileSearchResultList &, const KZFileSearchCounters &) {
                                        if (finished)
                                            finishedLast = false;
                                        if (status == KZFileSearchStatusFinished) {
                                            ++finished;
                                            return;
                                        }
                                        if (cancelled)
                                            ++batchesAfterCancel;
                                        if (++batches == 3) {
                                            std::thread other([&] { search.cancelSearch(); });
                                            other.join();
                                            cancelled = true;
                                        }
                                    });
    EXPECT_EQ(batches, 3);
    EXPECT_EQ(batchesAfterCancel, 0);
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(finishedLast);
    EXPECT_TRUE(search.isCancelled());

    // Cancelled while running freely on a worker thread.
    KZFileSearch second;
    std::atomic<int> seen{0};
    std::atomic<int> finishes{0};
    kztest::LogCapture log;
    std::thread worker([&] {
        second.performSearchInDirectory(t.root(), nameIs(QStringLiteral("hit")),
                                        [&](int status, const FileSearchResultList &, const KZFileSearchCounters &) {
                                            if (status == KZFileSearchStatusFinished)
                                                ++finishes;
                                            else
                                                ++seen;
                                            std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                        });
    });
    while (seen == 0 && finishes == 0)
        std::this_thread::yield();
    second.cancelSearch();
    worker.join();
    EXPECT_EQ(finishes, 1);
    EXPECT_LT(seen, 60);
    EXPECT_TRUE(log.contains(QStringLiteral("PerformSearchInDirectory cancelled scopeDir:") + t.root()));
}

TEST(KZFileSearchWalk, AnUnreadableFolderIsLoggedAndItsSiblingsAreStillWalked)
{
    ASSERT_TRUE(kztest::canRunUnprivileged());
    kztest::TempTree t;
    t.writeFile(QStringLiteral("a-open/hit-1"));
    t.writeFile(QStringLiteral("b-locked/hit-2"));
    t.writeFile(QStringLiteral("c-open/hit-3"));
    t.writeFile(QStringLiteral("hit-top"));
    t.chmod(QStringLiteral("b-locked"), 0);
    t.chmod(QString(), 0755);
    const QString root = t.root();
    const int rc = kztest::runAsUnprivileged([&]() -> int {
        kztest::LogCapture log;
        QList<QPair<QByteArray, int>> unreadable;
        const enginetest::SearchRun run = runSearch(root, nameIs(QStringLiteral("hit")), [&](KZFileSearch &s) {
            s.setUnreadableFolderCallback([&](const QByteArray &dir, int error) { unreadable.append({dir, error}); });
        });
        int failures = 0;
        // The caller hears of it, to tell its user.
        if (unreadable != QList<QPair<QByteArray, int>>{{QFile::encodeName(root) + "/b-locked", EACCES}})
            failures |= 16;
        // The locked folder itself still matches nothing by name; its content is out of reach.
        if (run.relativePaths(root) != QStringList{QStringLiteral("a-open/hit-1"), QStringLiteral("c-open/hit-3"), QStringLiteral("hit-top")})
            failures |= 1;
        bool infoLogged = false;
        for (const auto &[severity, entry] : log.records())
            if (entry.contains(QStringLiteral("dir==NULL dirPath:") + root + QStringLiteral("/b-locked errno:13")))
                infoLogged = severity == KZLogSeverityInfo;
        if (!infoLogged)
            failures |= 2;
        if (!log.contains(QStringLiteral("PerformSearchInDirectory:-2 entryPath:") + root + QStringLiteral("/b-locked")))
            failures |= 4;
        if (run.finishedCalls != 1)
            failures |= 8;
        return failures;
    });
    EXPECT_EQ(rc, 0) << "failure bits: " << rc;
}

TEST(KZFileSearchWalk, PerformSearchInDirectoryReportsItsStatuses)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("x/hit"));
    KZFileSearch compiler;
    const QVariantList criteria = nameIs(QStringLiteral("hit"));
    std::vector<KZFileSearchFilterStruct> filters(1);
    const int32_t count = compiler.compileCriteria(criteria, filters.data(), QDateTime::currentDateTime());
    ASSERT_EQ(count, 1);
    KZCBufferContainer buffer;
    KZCBufferContainerNew(&buffer, 1024, false);
    std::atomic<bool> cancel{false};
    KZFileSearchCounters counters;
    int batches = 0;
    const KZFileSearchCallback callback = [&](int, const FileSearchResultList &, const KZFileSearchCounters &) { ++batches; };
    const QByteArray root = t.rootBytes();
    kztest::LogCapture log;
    EXPECT_EQ(PerformSearchInDirectory(root.constData(), true, false, nullptr, filters.data(), count, &buffer, &cancel,
                                       &counters, callback),
              1);
    EXPECT_EQ(batches, 1);
    EXPECT_EQ(counters.files, 1);
    EXPECT_EQ(PerformSearchInDirectory("", true, false, nullptr, filters.data(), count, &buffer, &cancel, &counters, callback), -1);
    EXPECT_TRUE(log.contains(QStringLiteral("dirPathL==0 dirPath:")));
    EXPECT_EQ(PerformSearchInDirectory("/nonexistent/x", true, false, nullptr, filters.data(), count, &buffer, &cancel,
                                       &counters, callback),
              -2);
    cancel = true;
    EXPECT_EQ(PerformSearchInDirectory(root.constData(), true, false, nullptr, filters.data(), count, &buffer, &cancel,
                                       &counters, callback),
              0);
    EXPECT_EQ(batches, 1);
    KZCBufferContainerFree(&buffer);
    KZFileSearchFiltersRelease(filters.data(), count);
}
