#include <algorithm>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

// Runs name only the options they change.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

struct FindRun {
    int status = -1;
    QByteArray out, errBytes;
    QString err;
};

// Where the standard output of a run goes; a pipe read to its end by default.
enum class StdOut { Pipe, DevFull, Closed, PipeWithoutReader };

struct RunOptions {
    StdOut out = StdOut::Pipe;
    QByteArray cwd;
    QList<QByteArray> env; // NAME=VALUE added to the environment
    QByteArray input = "/dev/null";
    bool unprivileged = false;
    bool lowLimits = false;          // 128 descriptors, 1 MiB of stack
    std::vector<int> signalsOnOutput; // sent once the first output arrives
};

// Runs trovix-find with exactly these argument bytes (QProcess would pass them
// through QString).
FindRun trovixFind(QList<QByteArray> args, const RunOptions &o = {})
{
    const int errFd = ::memfd_create("err", MFD_CLOEXEC);
    args.prepend(TROVIX_FIND_PATH);
    std::vector<char *> argv, envp;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    QList<QByteArray> env = o.env;
    for (char **e = environ; *e; ++e)
        env.append(*e); // the first of a name counts
    for (QByteArray &v : env)
        envp.push_back(v.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const passwd *nobody = o.unprivileged && ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
    const uid_t uid = nobody ? nobody->pw_uid : 0, gid = nobody ? nobody->pw_gid : 0;
    int pipeFds[2] = {-1, -1};
    EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    if (o.out == StdOut::PipeWithoutReader)
        ::close(std::exchange(pipeFds[0], -1));
    const int inFd = ::open(o.input.constData(), O_RDONLY | O_CLOEXEC);
    const int fullFd = o.out == StdOut::DevFull ? ::open("/dev/full", O_WRONLY | O_CLOEXEC) : -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (nobody && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
            ::_exit(125);
        if (o.lowLimits) {
            const struct rlimit files{128, 128}, stack{1024 * 1024, 1024 * 1024};
            ::setrlimit(RLIMIT_NOFILE, &files);
            ::setrlimit(RLIMIT_STACK, &stack);
        }
        if (o.out == StdOut::PipeWithoutReader)
            ::signal(SIGPIPE, SIG_IGN);
        if (::dup2(inFd, 0) < 0 || ::dup2(errFd, 2) < 0
            || (o.out == StdOut::Closed ? ::close(1) : ::dup2(fullFd >= 0 ? fullFd : pipeFds[1], 1)) < 0
            || (!o.cwd.isEmpty() && ::chdir(o.cwd.constData()) != 0))
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    for (const int fd : {pipeFds[1], inFd, fullFd})
        ::close(fd);
    FindRun r;
    if (pipeFds[0] >= 0) {
        char buffer[65536];
        ssize_t n;
        bool signalled = false;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
            r.out.append(buffer, std::max<ssize_t>(n, 0));
            for (const int signo : signalled ? std::vector<int>{} : o.signalsOnOutput)
                ::kill(pid, signo);
            signalled = true;
        }
        ::close(pipeFds[0]);
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    QByteArray err(1 << 16, Qt::Uninitialized);
    const ssize_t n = ::pread(errFd, err.data(), err.size(), 0);
    r.errBytes = err.left(std::max<ssize_t>(n, 0));
    r.err = QString::fromUtf8(r.errBytes);
    ::close(errFd);
    return r;
}

} // namespace

// A folder that may be listed but not searched (read without execute) tells
// the names and types of its entries but refuses their stat: without the stat
// its matches are printed from the listing alone; with it (asked for, or
// needed by --json) they are left out as the window leaves them out.
// A folder that could not be read and an entry whose path was too long were
// left out of the output without a word.
TEST(TrovixFind, UnreadableAndTooLongEntriesAreLeftOutAsTold)
{
    ASSERT_TRUE(kztest::canRunUnprivileged());
    kztest::TempTree t;
    t.writeFile(QStringLiteral("listed/invoice-1.txt"), "1");
    t.writeFile(QStringLiteral("open/invoice-2.txt"), "2");
    t.writeFile(QStringLiteral("locked/invoice-3.txt"));
    t.chmod(QStringLiteral("listed"), 0444);
    t.chmod(QStringLiteral("locked"), 0700);
    t.chmod(QString(), 0755);
    // Folders nested until one more name (at most 250 bytes) makes a path of 4,095 bytes.
    QByteArray deep = t.rootBytes();
    for (qsizetype room = 4094 - deep.size(); room > 250; room = 4094 - deep.size()) {
        deep += '/' + QByteArray(std::min<qsizetype>(200, room - 150), 'd');
        ASSERT_EQ(::mkdir(deep.constData(), 0755), 0);
    }
    ::close(::open((deep + "/invoice-" + QByteArray(4094 - deep.size() - 8, 'x')).constData(), O_WRONLY | O_CREAT, 0644));
    ::close(::open((deep + "/invoice-short").constData(), O_WRONLY | O_CREAT, 0644));

    const FindRun run = trovixFind({"-s", t.rootBytes(), "--no-excluded", "invoice"}, {.unprivileged = true});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.count('\n'), 3);
    EXPECT_TRUE(run.err.contains(QStringLiteral("trovix-find: cannot read '%1/locked': Permission denied\n").arg(t.root())))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith(QStringLiteral("trovix-find: 1 entry skipped because its path reaches the 4,095-byte limit\n")))
        << run.err.toStdString();

    const struct {
        QList<QByteArray> env, args;
        bool listedShown;
    } cases[] = {{{"TROVIX_FIND_STAT_MATCHES=0"}, {}, true}, {{"TROVIX_FIND_STAT_MATCHES=1"}, {}, false}, {{}, {"--json"}, false}};
    for (const auto &c : cases) {
        const FindRun run = trovixFind(QList<QByteArray>{"-s", t.rootBytes(), "--no-excluded", "--name", "ends:.txt"} + c.args,
                                       {.env = c.env, .unprivileged = true});
        EXPECT_EQ(run.out.count('\n'), c.listedShown ? 2 : 1) << c.env.join(' ').constData() << c.args.join(' ').constData();
        EXPECT_EQ(run.out.contains(t.rootBytes() + "/listed/invoice-1.txt"), c.listedShown);
        EXPECT_TRUE(run.out.contains(t.rootBytes() + "/open/invoice-2.txt"));
    }
}

// Output lost to a full disk, a closed standard output or a pipe nobody reads
// (SIGPIPE ignored) once passed unnoticed with status 0.
TEST(TrovixFind, LostOutputIsAWriteErrorWithStatus2)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("docs/report.txt"), "r");
    const QByteArray r = tree.rootBytes();
    const std::pair<StdOut, int> places[] = {{StdOut::DevFull, ENOSPC}, {StdOut::Closed, EBADF}, {StdOut::PipeWithoutReader, EPIPE}};
    const QList<QList<QByteArray>> commands{{"-s", r, "--no-excluded", "o"}, {"-s", r, "--no-excluded", "--json", "o"},
                                            {"-s", r, "--no-excluded", "--count", "o"}, {"--help"}, {"--version"}};
    for (const auto &[where, error] : places) {
        for (const QList<QByteArray> &command : commands) {
            const FindRun run = trovixFind(command, {.out = where});
            EXPECT_EQ(run.status, 2) << command.join(' ').constData();
            EXPECT_EQ(run.err, QStringLiteral("trovix-find: write error: %1\n").arg(QString::fromLocal8Bit(std::strerror(error))));
        }
    }
}

// After Ctrl-C the statistics counted matches whose folders were never
// printed, and a second signal right behind the first printed them twice.
TEST(TrovixFind, AnInterruptedRunCountsWhatItPrintedOnce)
{
    // A tree whose walk goes on well after the first 64 KiB of output reach
    // the pipe; its files are links to one file, quick to make.
    kztest::TempTree t;
    const QByteArray seed = t.writeFileBytes("seed");
    for (int d = 0; d < 30; ++d) {
        for (int e = 0; e < 40; ++e) {
            const QByteArray dir = t.mkdirBytes("m" + QByteArray::number(d) + "/m" + QByteArray::number(e));
            for (int f = 0; f < 4; ++f)
                ASSERT_EQ(::link(seed.constData(), (dir + "/m" + QByteArray::number(f)).constData()), 0);
        }
    }
    constexpr qint64 kFiles = 30 * 40 * 4, kDirs = 30 + 30 * 40;
    for (const std::vector<int> &burst : {std::vector<int>{SIGINT}, std::vector<int>{SIGINT, SIGTERM}}) {
        const FindRun run = trovixFind({"-s", t.rootBytes(), "--no-excluded", "--stats", "m"}, {.signalsOnOutput = burst});
        qint64 files = 0, dirs = 0;
        for (const QByteArray &line : run.out.split('\n'))
            if (!line.isEmpty())
                ++(line.count('/') - t.rootBytes().count('/') == 3 ? files : dirs);
        // A walk that ended before the signal arrived exits 0 with every match.
        EXPECT_EQ(run.status, files + dirs < kFiles + kDirs ? 130 : 0) << run.err.toStdString();
        QStringList parts;
        if (files > 0)
            parts.append(QStringLiteral("%1 files").arg(QLocale().toString(files)));
        if (dirs > 0)
            parts.append(QStringLiteral("%1 directories").arg(QLocale().toString(dirs)));
        const QString line = parts.isEmpty() ? QStringLiteral("No File") : parts.join(QStringLiteral(", "));
        EXPECT_EQ(run.err, line + QLatin1Char('\n')) << burst.size() << " signal(s)";
    }
}

// The walk holds a descriptor per folder level: with the limits `ulimit -n 128`
// sets, trovix-find lost the deep part of a tree without a word. It also goes
// one call deeper per level: a small stack limit must not end it.
TEST(TrovixFind, ADeepChainIsListedUnderALowDescriptorLimit)
{
    kztest::TempTree t;
    const int depth = 1500;
    QByteArray dir = t.rootBytes();
    for (int i = 0; i < depth; ++i) {
        ::close(::open((dir + "/hit").constData(), O_WRONLY | O_CREAT, 0644));
        dir += "/d";
        ASSERT_EQ(::mkdir(dir.constData(), 0755), 0);
    }
    // With the walk alone and with folders read ahead.
    for (const QByteArray threads : {"1", "8"}) {
        const FindRun run = trovixFind({"-s", t.rootBytes(), "--no-excluded", "--threads", threads, "--name", "is:hit"},
                                       {.lowLimits = true});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out.count('\n'), depth) << "threads " << threads.constData();
    }
    // Removed from the bottom up, without a descriptor per level.
    for (; dir.size() > t.rootBytes().size(); dir.chop(2)) {
        ::rmdir(dir.constData());
        ::unlink((dir.left(dir.size() - 2) + "/hit").constData());
    }
}

// ------------------------------------------------------------------ the corpus
// Each file of tests/cli/corpus is one case: comment lines ('#'), "args:" as
// words ('...' groups, "\xHH" is a byte, "$ROOT" the fixture, "$TMP" its
// folder), optionally "cwd:", "stdin: FILE", "order: kept" and the settings'
// "excluded:"/"excluded-off:" folders and "skipped-name:"/"skipped-name-off:"
// names; then the sections "--- stdin"
// (optional, also at $TMP/stdin), "--- status", "--- stdout", "--- stderr".
// Output records are sorted unless the order is kept, one a line, a NUL
// shown as "\0". TROVIX_UPDATE_SNAPSHOTS=1 rewrites the sections.
namespace {

const QByteArray kCorpus = TROVIX_CORPUS_DIR;

std::vector<std::string> caseNames()
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(kCorpus.constData()))
        if (entry.path().extension() == ".case")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Corpus : public ::testing::TestWithParam<std::string>
{
public:
    // Every name, size, time and attribute set: the same tree on every run.
    static void SetUpTestSuite()
    {
        tree = new kztest::TempTree;
        for (const auto &[name, content] : std::initializer_list<std::pair<const char *, QByteArray>>{
                 {"abXcd", "12345"}, {"notes.txt", QByteArray(2048, 'n')}, {"docs/report.txt", "r"},
                 {"docs/Report.pdf", "%PDF-1.4"}, {"docs/photo.png", "png"}, {"docs/old.log", "log"},
                 {"src/main.cpp", "int main(){}"}, {"src/build/main.o", "o"}, {".Trash/thrown.txt", "t"},
                 {"odd/dir\xff" "bad/f\xfe" "name.txt", ""}, {"odd/other/f\xfd" "name.txt", ""},
                 {"odd/line\nbreak.txt", "x"}, {"odd/plain-name.txt", "x"}, {"odd/-dash", "-"}})
            tree->writeFileBytes(QByteArray("root/") + name, content);
        tree->symlink(QStringLiteral("docs"), QStringLiteral("root/docs-link"));
        tree->setTags(QStringLiteral("root/docs/report.txt"), {QStringLiteral("Red"), QStringLiteral("Work")});
        tree->setXattr(QStringLiteral("root/src/main.cpp"), "user.xdg.comment", "entry point");
        ::nftw(tree->pathBytes("root").constData(), [](const char *path, const struct stat *, int, FTW *) {
            const time_t when = std::strstr(path, "/old.log") ? 946684800 : 1767323045; // 2000-01-01, 2026-01-02
            const struct timespec times[2] = {{when, 0}, {when, 0}};
            return ::utimensat(AT_FDCWD, path, times, AT_SYMLINK_NOFOLLOW);
        }, 16, FTW_PHYS | FTW_DEPTH);
        // The cases read saved searches and never write them.
        const FindRun saved = trovixFind({"--save", "Old logs", "--modified", "before:2001-01-01", "--type", "file", "ignored"});
        ASSERT_EQ(saved.out, "1\n") << saved.err.toStdString();
    }
    static void TearDownTestSuite() { delete tree; }

    QByteArray expand(QByteArray word) const
    {
        word.replace("$ROOT", tree->pathBytes("root")).replace("$TMP", tree->rootBytes());
        for (qsizetype i; (i = word.indexOf("\\x")) >= 0;)
            word.replace(i, 4, QByteArray(1, char(word.mid(i + 2, 2).toInt(nullptr, 16))));
        return word;
    }
    QList<QByteArray> words(const QByteArray &line) const
    {
        QList<QByteArray> list;
        QByteArray word;
        bool quoted = false, inWord = false;
        for (const char c : line) {
            if (c == '\'')
                quoted = !quoted, inWord = true;
            else if (c != ' ' || quoted)
                word += c, inWord = true;
            else if (std::exchange(inWord, false))
                list.append(expand(std::exchange(word, {})));
        }
        if (inWord)
            list.append(expand(word));
        return list;
    }
    // The fixture's paths as placeholders; a text that is not UTF-8 shows its high bytes as "\xHH".
    static QByteArray placeholders(QByteArray text)
    {
        text.replace(tree->pathBytes("root"), "$ROOT").replace(tree->rootBytes(), "$TMP");
        if (QString::fromUtf8(text).toUtf8() == text)
            return text;
        QByteArray escaped;
        for (const char c : text)
            escaped += uchar(c) < 0x80 ? QByteArray(1, c) : "\\x" + QByteArray::number(uchar(c), 16);
        return escaped;
    }
    // In JSON the birth time (it cannot be set) reads "$BIRTH" and "path_bytes" the decoded bytes.
    static QByteArray records(const QByteArray &out, bool sorted)
    {
        static const QRegularExpression birth(QStringLiteral(R"re("created":"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)?")re"));
        static const QRegularExpression bytes(QStringLiteral(R"re("path_bytes":"([A-Za-z0-9+/=]*)")re"));
        const char separator = out.contains('\0') ? '\0' : '\n';
        QList<QByteArray> list = out.split(separator);
        if (const QByteArray last = list.takeLast(); !last.isEmpty())
            list.append(last + "<no terminator>");
        for (QByteArray &record : list) {
            QString text = QString::fromLatin1(record).replace(birth, QStringLiteral(R"("created":"$BIRTH")"));
            if (const QRegularExpressionMatch m = bytes.match(text); m.hasMatch())
                text.replace(m.capturedStart(1), m.capturedLength(1),
                             QString::fromLatin1(placeholders(QByteArray::fromBase64(m.captured(1).toLatin1()))));
            record = placeholders(text.toLatin1()).replace("\n", "\\n") + (separator ? "" : "\\0");
        }
        if (sorted)
            std::sort(list.begin(), list.end());
        return list.isEmpty() ? QByteArray() : list.join('\n') + '\n';
    }

    static kztest::TempTree *tree;
};
kztest::TempTree *Corpus::tree = nullptr;

} // namespace

TEST_P(Corpus, Case)
{
    QFile f(QFile::decodeName(kCorpus + '/' + QByteArray::fromStdString(GetParam()) + ".case"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << GetParam();
    const QByteArray text = f.readAll();
    f.close();
    const qsizetype firstSection = text.indexOf("\n--- ") + 1;
    const QByteArray header = firstSection > 0 ? text.left(firstSection) : text.trimmed() + '\n';
    QList<QByteArray> args;
    RunOptions options{.env = {"TZ=UTC", "LC_ALL=C.UTF-8"}};
    QVariantList excluded, skippedNames;
    bool sorted = true;
    for (const QByteArray &line : header.split('\n')) {
        const QByteArray key = line.left(line.indexOf(':')), value = line.mid(line.indexOf(':') + 1).trimmed();
        if (key == "args")
            args = words(value);
        else if (key == "cwd" || key == "stdin")
            (key == "cwd" ? options.cwd : options.input) = expand(value);
        else if (key == "order")
            sorted = value != "kept";
        else if (key.startsWith("excluded"))
            excluded.append(QVariantMap{{QStringLiteral("path"), QFile::decodeName(expand(value))}, {QStringLiteral("state"), key == "excluded"}});
        else if (key.startsWith("skipped-name"))
            skippedNames.append(QVariantMap{{QStringLiteral("name"), QFile::decodeName(expand(value))}, {QStringLiteral("state"), key == "skipped-name"}});
    }
    QMap<QByteArray, QByteArray> sections;
    for (qsizetype at = header.size(); at < text.size();) {
        const qsizetype eol = text.indexOf('\n', at), next = text.indexOf("\n--- ", eol);
        const qsizetype end = next < 0 ? text.size() : next + 1;
        sections.insert(text.mid(at + 4, eol - at - 4), text.mid(eol + 1, end - eol - 1));
        at = end;
    }
    if (sections.contains("stdin")) {
        options.input = tree->rootBytes() + "/stdin";
        QFile in(QFile::decodeName(options.input));
        const QByteArray content = expand(sections.value("stdin"));
        ASSERT_TRUE(in.open(QIODevice::WriteOnly | QIODevice::Truncate) && in.write(content) == content.size());
    }
    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    defaults.setObject(excluded, QStringLiteral("ScopeDirManager-excludedDirs"));
    defaults.setObject(skippedNames, QStringLiteral("ScopeDirManager-excludedNames"));
    ASSERT_TRUE(defaults.synchronize());
    const FindRun run = trovixFind(args, options);
    QByteArray err = placeholders(run.errBytes);
    if (!err.isEmpty() && !err.endsWith('\n'))
        err += "<no terminator>\n";
    const QByteArray actual[] = {QByteArray::number(run.status) + '\n', records(run.out, sorted), err};
    const char *names[] = {"status", "stdout", "stderr"};
    if (qEnvironmentVariableIntValue("TROVIX_UPDATE_SNAPSHOTS") == 1) {
        QByteArray updated = header + (sections.contains("stdin") ? "--- stdin\n" + sections.value("stdin") : QByteArray());
        for (int i = 0; i < 3; ++i)
            updated += QByteArray("--- ") + names[i] + '\n' + actual[i];
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(updated) == updated.size());
        return;
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(actual[i].toStdString(), sections.value(names[i]).toStdString()) << names[i];
}

INSTANTIATE_TEST_SUITE_P(TrovixFind, Corpus, ::testing::ValuesIn(caseNames()), [](const auto &info) {
    std::string name = info.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});
