#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>

#include "engine/KZFileSearch.h"
#include "engine/KZFileSearchObject.h"
#include "engine/KZFileSearchWalk.h"
#include "platform/KZDirStream.h"
#include "support/KZLog.h"
#include "tests/engine/SearchRunner.h"
#include "tests/testlib/TestEnvironment.h"

using enginetest::criterion;
using enginetest::found;
using enginetest::nameIs;
using enginetest::runSearch;

namespace {

// Sorted relative paths from a blank-separated list.
QStringList paths(const char *list)
{
    QStringList l = QString::fromUtf8(list).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    l.sort();
    return l;
}

// One search per row below root, each expecting exactly the listed paths.
using Row = std::pair<QVariantList, const char *>;
void expectRows(const QString &root, std::initializer_list<Row> rows, const std::function<void(KZFileSearch &)> &configure = {})
{
    int i = 0;
    for (const auto &[criteria, expected] : rows)
        EXPECT_EQ(found(root, criteria, configure), paths(expected)) << "row " << i++;
}

// A small home-like tree shared by many cases.
void buildMixedTree(kztest::TempTree &t)
{
    t.writeFile(QStringLiteral("notes.txt"), "hello");
    for (const char *f : {".hidden.txt", ".DS_Store", "docs/photo.png", "docs/drawing.svg", "docs/.DS_Store", "linked/inside.txt"})
        t.writeFile(QString::fromUtf8(f));
    t.writeFile(QStringLiteral("docs/report.txt"), QByteArray(100, 'x'));
    t.mkdir(QStringLiteral("docs/txt.folder"));
    t.symlink(QStringLiteral("linked"), QStringLiteral("dirlink.txt"));
    t.symlink(QStringLiteral("notes.txt"), QStringLiteral("filelink.txt"));
    t.mkfifo(QStringLiteral("pipe.txt"));
}

void addFiles(kztest::TempTree &t, std::initializer_list<const char *> files)
{
    for (const char *f : files)
        t.writeFile(QString::fromUtf8(f));
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
        {1, "report.txt", "port", true}, {1, "report.txt", "PORT", true}, {1, "abc", "abcd", false}, {1, "abc", "", true}, {1, "aaab", "aab", true},
        {2, "report.txt", "REP", true}, {2, "report.txt", "port", false}, {2, "ab", "abc", false}, {3, "a.txt.txt", ".txt", true},
        {3, "a.TXT", ".txt", true}, {3, "txt", ".txt", false}, {4, "README", "readme", true}, {4, "README", "readm", false},
        {4, "readme", "readme!", false}, {5, "abc", "abcdef", true}, {5, "abc", "ABC", false}, {5, "abc", "abd", true},
        {20, "abc", "abcdef", true}, {20, "abc", "B", false}, {20, "abc", "x", true}, {99, "abc", "x", true},
        // ASCII-only case folding: an accented capital is not its lower-case form.
        {4, "\xc3\x89t\xc3\xa9", "\xc3\xa9t\xc3\xa9", false},                  {1, "caf\xc3\xa9", "CAF\xc3\xa9", true},
        {1, "caf\xc3\xa9", "CAF\xc3\x89", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(KZNameTest(c.op, c.name, std::strlen(c.name), c.text, std::strlen(c.text)), c.passes)
            << "op " << c.op << " name " << c.name << " text " << c.text;
}

TEST(KZFileSearchNames, PrecomposedAndDecomposedSpellingsAreBothFound)
{
    kztest::TempTree t;
    addFiles(t, {"caf\u00e9-nfc.txt", "cafe\u0301-nfd.txt", "cafe-plain.txt", "\u00f8re.txt"});
    expectRows(t.root(), {
        {nameIs(QStringLiteral("caf\u00e9")), "caf\u00e9-nfc.txt cafe\u0301-nfd.txt"},
        {nameIs(QStringLiteral("  cafe\u0301\n")), "caf\u00e9-nfc.txt cafe\u0301-nfd.txt"},
        {nameIs(QStringLiteral("CAF\u00e9"), 2), "caf\u00e9-nfc.txt cafe\u0301-nfd.txt"},
        {nameIs(QStringLiteral("caf\u00e9-nfd.txt"), 4), "cafe\u0301-nfd.txt"},
        // Negative tests fail when either spelling is found.
        {nameIs(QStringLiteral("caf\u00e9"), 20), "cafe-plain.txt \u00f8re.txt"},
        {nameIs(QStringLiteral("cafe\u0301-nfd.txt"), 5), "caf\u00e9-nfc.txt cafe-plain.txt \u00f8re.txt"},
        // Only ASCII letters are folded: a capital that has no decomposition stays apart.
        {nameIs(QStringLiteral("\u00d8re")), ""},
        {nameIs(QStringLiteral("\u00f8RE")), "\u00f8re.txt"},
        // Two name criteria must both pass.
        {{criterion(1, 1, QStringLiteral("caf")), criterion(1, 3, QStringLiteral("nfc.txt"))}, "caf\u00e9-nfc.txt"},
    });
}

// ------------------------------------------------------------------ walk rules

TEST(KZFileSearchWalk, HiddenFilesLinksAndFifosAndTheDSStore)
{
    kztest::TempTree t;
    buildMixedTree(t);
    t.writeFile(QStringLiteral("DS_other"));
    const QString fifoLog = QStringLiteral("dirType:%1 entryPath:%2").arg(DT_FIFO).arg(t.path(QStringLiteral("pipe.txt")));
    const char *txt = ".hidden.txt dirlink.txt docs/report.txt docs/txt.folder filelink.txt linked/inside.txt notes.txt";
    // Some file systems never fill the entry type; such entries are typed, not skipped.
    for (const bool unknownTypes : {false, true}) {
        SCOPED_TRACE(unknownTypes);
        kzplatform::KZDirStream::setReportsUnknownTypesForTesting(unknownTypes);
        kztest::LogCapture log;
        const enginetest::SearchRun run = runSearch(t.root(), nameIs(QStringLiteral("txt")));
        // The link to a folder matches as a link and is never descended; the FIFO is skipped.
        EXPECT_EQ(run.relativePaths(t.root()), paths(txt));
        EXPECT_EQ(QList<int64_t>({run.finalCounters.files, run.finalCounters.dirs, run.finalCounters.links}), QList<int64_t>({4, 1, 2}));
        EXPECT_TRUE(log.contains(fifoLog));
        expectRows(t.root(), {
            {{criterion(3, 4, KZFileSearchUTIType_Directorty)}, "docs docs/txt.folder linked"},
            // ".DS_Store" is neither reported nor counted unless a type criterion names it.
            {nameIs(QStringLiteral("DS_")), "DS_other"},
            {{criterion(3, 4, KZFileSearchUTIType_DSStore)}, ".DS_Store docs/.DS_Store"},
            {{criterion(1, 1, QStringLiteral("DS_")), criterion(3, 5, KZFileSearchUTIType_DSStore)}, "DS_other"},
        });
    }
    kzplatform::KZDirStream::setReportsUnknownTypesForTesting(false);
}

// Counters once ran ahead of the batches by every matching folder whose own
// folder was not handed over yet, so an interrupted trovix-find reported more
// than it had printed.
TEST(KZFileSearchWalk, BatchesComeOnePerFolderCountingOnlyWhatWasHandedOver)
{
    kztest::TempTree t;
    for (int d = 0; d < 5; ++d)
        for (int f = 0; f < 3; ++f)
            t.writeFile(QStringLiteral("d%1/match-%2").arg(d).arg(f));
    addFiles(t, {"d2/other", "match-dir/match-file", "match-dir/deeper/match-too"});
    t.mkdir(QStringLiteral("empty"));
    const enginetest::SearchRun run = runSearch(t.root(), nameIs(QStringLiteral("match")));
    ASSERT_EQ(run.batches.size(), 8u); // the root, d0 to d4, match-dir and deeper
    int64_t handedOver = 0;
    for (size_t i = 0; i < run.batches.size(); ++i) {
        for (const FileSearchResultRef &r : run.batches[i])
            EXPECT_EQ(r->dirPath(), run.batches[i].first()->dirPath());
        EXPECT_EQ(run.batchCounters[i].total(), handedOver += run.batches[i].size()) << "batch " << i;
    }
    EXPECT_EQ(run.finishedCalls, 1);
    EXPECT_TRUE(run.finishedWasLast);
    EXPECT_EQ(run.finalCounters.total(), 18);
}

TEST(KZFileSearchWalk, TrashLinksAndFoldersThatFailAFilter)
{
    kztest::TempTree t;
    addFiles(t, {".Trash/junk.txt", ".Trashes/junk.txt", ".Trash-1000/junk.txt", ".Trash-x1/junk.txt", "Trash/junk.txt",
                 "keep/junk.txt", "real/file", "wanted-dir/wanted-file"});
    t.symlink(QStringLiteral("real"), QStringLiteral("alias"));
    t.symlink(t.root(), QStringLiteral("real/loop"));
    const char *allJunk = ".Trash/junk.txt .Trashes/junk.txt .Trash-1000/junk.txt .Trash-x1/junk.txt Trash/junk.txt keep/junk.txt";
    const char *kept = ".Trash-x1/junk.txt .Trashes/junk.txt Trash/junk.txt keep/junk.txt";
    const QVariantList junk = nameIs(QStringLiteral("junk"));
    expectRows(t.root(), {
        // Trash folders are skipped, and not reported themselves, unless the trash switch is on (odd number, "is").
        {junk, kept},
        {nameIs(QStringLiteral(".Trash"), 2), ".Trash-x1 .Trashes"},
        {QVariantList(junk) << criterion(11, 4, true), allJunk},
        {QVariantList(junk) << criterion(11, 4, 2), kept},
        {QVariantList(junk) << criterion(11, 5, 1), kept},
        // A folder that fails a filter is still descended; a matching one is reported and descended.
        {nameIs(QStringLiteral("file")), "real/file wanted-dir/wanted-file"},
        {nameIs(QStringLiteral("wanted-")), "wanted-dir wanted-dir/wanted-file"},
        // Links to folders are never entered, even as they match the link keyword.
        {{criterion(3, 4, KZFileSearchUTIType_SymLink)}, "alias real/loop"},
        {{criterion(3, 4, KZFileSearchUTIType_RegFile), criterion(1, 1, QStringLiteral("l"))}, "real/file wanted-dir/wanted-file"},
        {{criterion(3, 5, KZFileSearchUTIType_RegFile), criterion(1, 1, QStringLiteral("l"))}, "alias real real/loop"},
    });
}

TEST(KZFileSearchWalk, TheHomeTrashIsSkipped)
{
    const QString dataHome = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
    ASSERT_FALSE(dataHome.isEmpty());
    for (const QString &dir : {QStringLiteral("/Trash/files"), QStringLiteral("/other/Trash")}) {
        QDir().mkpath(dataHome + dir);
        QFile(dataHome + dir + QStringLiteral("/thrown-away.txt")).open(QIODevice::WriteOnly);
    }
    const QString scope = QDir(dataHome).canonicalPath();
    expectRows(scope, {
        {nameIs(QStringLiteral("thrown-away")), "other/Trash/thrown-away.txt"},
        {QVariantList(nameIs(QStringLiteral("thrown-away"))) << criterion(11, 4, 1), "other/Trash/thrown-away.txt Trash/files/thrown-away.txt"},
    });
    for (const char *dir : {"/Trash", "/other"})
        QDir(dataHome + QLatin1String(dir)).removeRecursively();
}

TEST(KZFileSearchWalk, RootsAndExclusionsOfTheFoldersCriterion)
{
    kztest::TempTree t;
    addFiles(t, {"tree/a/x.txt", "tree/a/deep/x.txt", "tree/b/x.txt", "tree2/x.txt", "treex/x.txt"});
    const QString r = t.root();
    auto dirs = [&](qint64 op, std::initializer_list<const char *> rel) {
        QStringList list;
        for (const char *p : rel)
            list.append(r + QLatin1Char('/') + QString::fromUtf8(p));
        return criterion(10, op, list);
    };
    const QVariantList x = nameIs(QStringLiteral("x.txt"), 4);
    const char *all = "tree/a/x.txt tree/a/deep/x.txt tree/b/x.txt tree2/x.txt treex/x.txt";
    const char *withoutTreeA = "tree/b/x.txt tree2/x.txt treex/x.txt";
    expectRows(r, {
        // Only these roots; a root inside another one is walked once.
        {QVariantList(x) << dirs(4, {"tree/a", "tree/a/deep", "tree2", "tree/a/"}), "tree/a/deep/x.txt tree/a/x.txt tree2/x.txt"},
        {QVariantList(x) << dirs(4, {"tree/b/../a/deep", "tree/a"}), "tree/a/deep/x.txt tree/a/x.txt"},
        // Exclusions match whole paths byte for byte: Linux names differ by case.
        {QVariantList(x) << dirs(5, {"TREE/A", "tre"}), all},
        {QVariantList(x) << dirs(5, {"tree/a", "tre"}), withoutTreeA},
        // "." and ".." are resolved as text before the inside-the-scope test and the comparison.
        {QVariantList(x) << dirs(5, {"tree/./b/../a/deep/.."}), withoutTreeA},
        // Exclusions apply inside the roots too.
        {QVariantList(x) << dirs(5, {"tree/a/deep"}) << dirs(4, {"tree/a", "treex"}), "tree/a/x.txt treex/x.txt"},
        // Other operators are ignored.
        {QVariantList(x) << dirs(1, {"tree/a"}), all},
    });
    // "/tree2" only continues "/tree" as a string, not as a path: outside the scope, ignored.
    for (const char *outside : {"tree2", "tree/b/../../tree2"})
        EXPECT_EQ(found(r + QStringLiteral("/tree"), QVariantList(x) << dirs(4, {outside})), paths("a/deep/x.txt a/x.txt b/x.txt"));
}

TEST(KZFileSearchWalk, FoldersWithASkippedNameAreNeitherResultsNorEntered)
{
    kztest::TempTree t;
    addFiles(t, {"a/.git/x.txt", "a/b/.git/x.txt", "a/.GIT/x.txt", "a/node_modules/m/x.txt", "a/x.txt", "a/.git.x.txt"});
    const QString r = t.root();
    auto names = [](qint64 op, const QVariant &value) { return criterion(KZFileSearchKindSkipDirNames, op, value); };
    const QVariantList x = nameIs(QStringLiteral("x"));
    const char *all = "a/.GIT/x.txt a/.git/x.txt a/.git.x.txt a/b/.git/x.txt a/node_modules/m/x.txt a/x.txt";
    expectRows(r, {
        // Exact bytes of the entry name: ".GIT" and the file ".git.x.txt" stay.
        {QVariantList(x) << names(5, QStringList{QStringLiteral(".git"), QStringLiteral("node_modules")}),
         "a/.GIT/x.txt a/.git.x.txt a/x.txt"},
        // Names no entry can have, other operators and other values are ignored.
        {QVariantList(x) << names(5, QStringList{QStringLiteral("a/.git"), QString(), QStringLiteral("..")}), all},
        {QVariantList(x) << names(4, QStringList{QStringLiteral(".git")}) << names(5, QStringLiteral(".git")), all},
    });
}

TEST(KZFileSearchWalk, UnusableListsAndScopesFinishOnce)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("a.txt"));
    // A list holding only folder, blank or unknown criteria walks nothing, nor does an empty list, an
    // empty scope or a missing one (an error of the walk, logged as such with its errno).
    const QVariantList useless{criterion(10, 4, QStringList{t.root()}), criterion(1, 1, QStringLiteral("  ")), criterion(0, 1, QStringLiteral("a"))};
    kztest::LogCapture log;
    for (const auto &[scope, criteria] : {std::pair{t.root(), useless}, {t.root(), QVariantList()}, {QString(), nameIs(QStringLiteral("a"))},
                                          {QStringLiteral("/nonexistent/trovix-scope"), nameIs(QStringLiteral("a"))}}) {
        const enginetest::SearchRun run = runSearch(scope, criteria);
        EXPECT_TRUE(run.results.empty());
        EXPECT_EQ(run.finishedCalls, 1);
    }
    EXPECT_TRUE(enginetest::logged(log, KZLogSeverityError, QStringLiteral("dir==NULL dirPath:/nonexistent/trovix-scope errno:2")));
}

// A path at PATH_MAX - 1 bytes overflowed the entry buffer; one byte less must still be walked.
TEST(KZFileSearchWalk, AnEntryPathAtTheLengthLimitSkipsOnlyThatEntry)
{
    kztest::TempTree t;
    // Entry paths of exactly PATH_MAX - 2 bytes (kept) and PATH_MAX - 1 (too long).
    const QByteArray deep = enginetest::nestFolders(t.rootBytes(), PATH_MAX - 2);
    const QByteArray fits = "hit-" + QByteArray(PATH_MAX - 2 - deep.size() - 5, 'f');
    for (const QByteArray &name : {fits, "hit-" + QByteArray(PATH_MAX - 1 - deep.size() - 5, 'g'), QByteArray("hit-short")})
        enginetest::touch(deep + '/' + name);
    kztest::LogCapture log;
    const enginetest::SearchRun run = runSearch(t.root(), nameIs(QStringLiteral("hit-")));
    QStringList names;
    for (const FileSearchResultRef &r : run.results)
        names.append(r->fileName());
    names.sort();
    EXPECT_EQ(names, QStringList({QString::fromLatin1(fits), QStringLiteral("hit-short")}));
    EXPECT_TRUE(log.contains(QStringLiteral("entryPathL>=MAXPATHLEN entryPathL:%1").arg(PATH_MAX - 1)));
    // Counted for the caller, which must say what was left out.
    EXPECT_EQ(run.finalCounters.skippedLongPaths, 1);
    EXPECT_EQ(run.finalCounters.total(), 2);
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
    EXPECT_EQ(found(QStringLiteral("/"), {criterion(3, 4, KZFileSearchUTIType_Directorty), criterion(10, 5, excluded)}), QStringList());

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
    expectRows(t.root(), {
        {{criterion(2, 6, 100)}, "exact small folder/inner"},
        {{criterion(2, 7, 100)}, "big exact"},
        {{criterion(2, 7, qint64(4000000000))}, "big"},
        {{criterion(2, 7, 0), criterion(2, 6, 0)}, "folder/inner"},
    });
}

TEST(KZFileSearchAttributes, ModificationDateWindowsAroundAFixedMidnight)
{
    kztest::TempTree t;
    const QDateTime now(QDate(2024, 5, 15), QTime(12, 0), Qt::LocalTime);
    const qint64 m = QDateTime(QDate(2024, 5, 15), QTime(0, 0), Qt::LocalTime).toSecsSinceEpoch();
    const std::pair<const char *, qint64> files[] = {{"at-midnight", m}, {"next-midnight", m + 86400}, {"just-before", m - 1}, {"after-day", m + 86401},
                 {"eleven", m + 11 * 3600}, {"old", m - 40 * 86400}};
    for (const auto &[name, time] : files) {
        t.writeFile(QString::fromUtf8(name));
        t.setMTime(QString::fromUtf8(name), time);
    }
    t.mkdir(QStringLiteral("folder-today"));
    t.setMTime(QStringLiteral("folder-today"), m + 60);
    t.symlink(QStringLiteral("old"), QStringLiteral("link-today"));
    t.setMTime(QStringLiteral("link-today"), m + 120);
    const QDateTime day = QDateTime(QDate(2024, 5, 15), QTime(18, 30), Qt::LocalTime);
    const char *today = "at-midnight next-midnight eleven folder-today link-today";
    const char *sinceNoon = "after-day next-midnight eleven";
    expectRows(t.root(), {
        {{criterion(5, 8, day)}, today}, {{criterion(5, 11)}, today}, {{criterion(5, 10, day)}, "after-day"},
        {{criterion(5, 9, day)}, "just-before old"}, {{criterion(5, 12)}, "at-midnight just-before"},
        // The last hour and six hours have no upper bound.
        {{criterion(5, 18)}, sinceNoon}, {{criterion(5, 19)}, sinceNoon}, {{criterion(5, 15, QStringLiteral("1|5"))}, sinceNoon},
        {{criterion(5, 15, QStringLiteral("1|3"))}, "at-midnight next-midnight eleven folder-today link-today after-day just-before"},
        {{criterion(5, 15, QStringLiteral("2|4"))}, "at-midnight next-midnight eleven folder-today link-today after-day just-before old"},
    }, [&](KZFileSearch &s) { s.setNowForTesting(now); });

}

TEST(KZFileSearchAttributes, ContentTypesFromNamesWithConformance)
{
    kztest::TempTree t;
    for (const char *n : {"a.png", "b.svg", "c.txt", "CMakeLists.txt", "d.tar.gz", "e.zzqqy", "main.c", "noext"})
        t.writeFile(QString::fromUtf8(n), "content that is never read");
    t.mkdir(QStringLiteral("folder.png"));
    t.symlink(QStringLiteral("a.png"), QStringLiteral("link.png"));
    auto typeIs = [](const char *id, qint64 op = 4) { return QVariantList{criterion(3, op, QString::fromUtf8(id))}; };
    expectRows(t.root(), {
        {typeIs("image/*"), "a.png b.svg"}, {typeIs("text/*"), "b.svg c.txt CMakeLists.txt main.c"},
        {typeIs("text/plain"), "b.svg c.txt CMakeLists.txt main.c"}, {typeIs("text/x-csrc"), "main.c"},
        {typeIs("application/x-compressed-tar"), "d.tar.gz"}, {typeIs("inode/directory"), "folder.png"},
        // Every file and folder, unknown types included; never a link.
        {typeIs("*/*"), "a.png b.svg c.txt CMakeLists.txt d.tar.gz e.zzqqy main.c noext folder.png"},
        {typeIs("image/png", 5), "b.svg c.txt CMakeLists.txt d.tar.gz e.zzqqy folder.png main.c noext"},
    });
}

TEST(KZFileSearchAttributes, TagsAndExtendedAttributesOnFilesAndFoldersButNeverThroughLinks)
{
    kztest::TempTree t;
    addFiles(t, {"tagged.txt", "untagged.txt", "other-attr.txt", "empty-tags.txt", "accented"});
    t.setTags(QStringLiteral("tagged.txt"), {QStringLiteral(" Important "), QStringLiteral("Caf\u00e9 Work")});
    t.mkdir(QStringLiteral("tagged-folder"));
    t.setTags(QStringLiteral("tagged-folder"), {QStringLiteral("red")});
    t.setXattr(QStringLiteral("tagged-folder"), "user.xdg.comment", "x");
    t.setXattr(QStringLiteral("other-attr.txt"), "user.xdg.comment", "important");
    t.setXattr(QStringLiteral("empty-tags.txt"), "user.xdg.tags", " , ,");
    t.setXattr(QStringLiteral("accented"), "user.caf\xc3\xa9", "1"); // stored precomposed
    t.symlink(QStringLiteral("tagged.txt"), QStringLiteral("link-to-tagged"));
    t.symlink(QStringLiteral("other-attr.txt"), QStringLiteral("link-to-commented"));
    auto tag = [](const QString &text) { return QVariantList{criterion(6, 0, text)}; };
    auto attr = [](qint64 op, const QString &name) { return QVariantList{criterion(8, op, name)}; };
    expectRows(t.root(), {
        {tag(QStringLiteral("portan")), "tagged.txt"}, {tag(QStringLiteral("IMPORTANT")), "tagged.txt"},
        {tag(QStringLiteral(" CAF\u00c9 ")), "tagged.txt"}, {tag(QStringLiteral("Red")), "tagged-folder"},
        // The trimmed tag is " Important " without its blanks: a blank inside the text does not match the edge.
        {tag(QStringLiteral("t,C")), ""}, {tag(QStringLiteral("nothing")), ""},
        // Attributes are matched by exact name.
        {attr(13, QStringLiteral("user.xdg.comment")), "other-attr.txt tagged-folder"},
        {attr(13, QStringLiteral("user.xdg.Comment")), ""}, {attr(13, QStringLiteral("user.xdg")), ""},
        {attr(14, QStringLiteral("user.xdg.comment")), "accented empty-tags.txt tagged.txt untagged.txt"},
        // Typed decomposed, found in its precomposed form.
        {attr(13, QStringLiteral("user.cafe\u0301")), "accented"},
    });
}

TEST(KZFileSearchAttributes, ContentTypeOfAPath)
{
    kztest::TempTree t;
    t.writeFile(QStringLiteral("picture.PNG"), "not really an image");
    t.mkdir(QStringLiteral("folder.txt"));
    t.symlink(QStringLiteral("picture.PNG"), QStringLiteral("link.png"));
    t.mkfifo(QStringLiteral("pipe.txt"));
    const auto typeOf = [&](const char *rel) { return UTI_TypeOfFilePath_needCFRelease(t.pathBytes(rel).constData()); };
    EXPECT_EQ(QStringList({typeOf("picture.PNG"), typeOf("folder.txt"), typeOf("link.png")}),
              QStringList({QStringLiteral("image/png"), QStringLiteral("inode/directory"), QStringLiteral("inode/symlink")}));
    EXPECT_TRUE(typeOf("missing.png").isNull());
    EXPECT_TRUE(typeOf("pipe.txt").isNull());
}

// ------------------------------------------------------------------ options, threads, permissions

// The same walk reporting path bytes: every batch must hold exactly the
// paths of the records the record walk makes, in the same order, with the
// same counts, whatever the criteria.
TEST(KZFileSearchWalk, PathListsCarryExactlyWhatTheRecordsWould)
{
    kztest::TempTree t;
    buildMixedTree(t);
    t.writeFileBytes("caf\xe9 latin1.txt", "x");
    t.writeFile(QStringLiteral("deep/a/b/c/report.txt"), QByteArray(2048, 'y'));
    addFiles(t, {"deep/a/skipme/report.txt", ".Trash/old.txt"});
    const QList<QVariantList> cases{
        nameIs(QStringLiteral(".txt"), KZFileSearchOperatorEndsWith),
        {criterion(KZFileSearchKindFileSize, KZFileSearchOperatorGreaterThan, 50),
         criterion(KZFileSearchKindFileName, KZFileSearchOperatorContains, QStringLiteral("r"))},
        {criterion(KZFileSearchKindUTIType, KZFileSearchOperatorIs, KZFileSearchUTIType_Directorty)},
        {criterion(KZFileSearchKindFileName, KZFileSearchOperatorContains, QStringLiteral("report")),
         criterion(KZFileSearchKindDirPaths, KZFileSearchOperatorIsNot, QStringList{t.path(QStringLiteral("deep/a/skipme"))})},
    };
    for (const QVariantList &criteria : cases) {
        for (const bool skipStat : {false, true}) {
            SCOPED_TRACE(testing::Message() << "case " << cases.indexOf(criteria) << (skipStat ? " without stat" : ""));
            const auto configure = [&](KZFileSearch &s) { s.setSkipsMatchStat(skipStat); };
            const enginetest::SearchRun records = runSearch(t.root(), criteria, configure);
            ASSERT_FALSE(records.results.empty());
            // One finish, last, with no paths.
            QList<QByteArrayList> expected(records.batches.size() + 1), got;
            QList<int64_t> expectedCounts, gotCounts;
            for (size_t i = 0; i < records.batches.size(); ++i) {
                for (const FileSearchResultRef &r : records.batches[i])
                    expected[i].append(r->cPath());
                expectedCounts << records.batchCounters[i].files << records.batchCounters[i].dirs << records.batchCounters[i].links;
            }
            expectedCounts << records.finalCounters.total();
            KZFileSearch search;
            configure(search);
            search.performPathSearchInDirectory(t.root(), criteria, [&](int status, const QByteArray &list, const KZFileSearchCounters &c) {
                // Every path ends with its NUL, the last one too.
                EXPECT_TRUE(list.isEmpty() || list.endsWith('\0'));
                got.append(list.split('\0').mid(0, list.count('\0')));
                if (status == KZFileSearchStatusFinished)
                    gotCounts << c.total();
                else
                    gotCounts << c.files << c.dirs << c.links;
            });
            EXPECT_EQ(got, expected);
            EXPECT_EQ(gotCounts, expectedCounts);
        }
    }
}

// A cancelled walk went on: the folder left open when the cancel came handed
// over its matches, and the next root of the folders criterion was opened.
TEST(KZFileSearchWalk, NothingIsOpenedOrHandedOverAfterTheCancel)
{
    kztest::TempTree t;
    addFiles(t, {"a/hit-1", "a/sub/hit-2", "b/hit-3"});
    KZFileSearch search;
    QStringList handedOver;
    KZFileSearch::setCountsListedFoldersForTesting(true);
    const QStringList roots{t.path(QStringLiteral("a")), t.path(QStringLiteral("b"))};
    search.performSearchInDirectory(t.root(), nameIs(QStringLiteral("hit")) << criterion(10, 4, roots),
                                    [&](int status, const FileSearchResultList &batch, const KZFileSearchCounters &) {
                                        for (const FileSearchResultRef &r : batch)
                                            handedOver.append(r->fileName());
                                        if (status == KZFileSearchStatusBatch)
                                            search.cancelSearch();
                                    });
    EXPECT_EQ(handedOver, QStringList{QStringLiteral("hit-2")}); // a/sub's batch comes before a's
    EXPECT_EQ(KZFileSearch::listedFoldersForTesting(), 2);      // a and a/sub, not b
    KZFileSearch::setCountsListedFoldersForTesting(false);
}

// An unreadable folder was once dropped without a word, so users took a partial result for a whole one.
TEST(KZFileSearchWalk, AnUnreadableFolderIsReportedAndItsSiblingsAreStillWalked)
{
    ASSERT_TRUE(kztest::canRunUnprivileged());
    kztest::TempTree t;
    addFiles(t, {"a-open/hit-1", "b-locked/hit-2", "c-open/hit-3", "hit-top"});
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
            failures |= 1;
        // The locked folder itself matches nothing by name; its content is out of reach.
        if (run.relativePaths(root) != paths("a-open/hit-1 c-open/hit-3 hit-top") || run.finishedCalls != 1)
            failures |= 2;
        if (!enginetest::logged(log, KZLogSeverityInfo, QStringLiteral("dir==NULL dirPath:") + root + QStringLiteral("/b-locked errno:13")))
            failures |= 4;
        return failures;
    });
    EXPECT_EQ(rc, 0) << "failure bits: " << rc;
}

