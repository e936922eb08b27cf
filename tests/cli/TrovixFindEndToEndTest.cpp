#include <algorithm>
#include <fcntl.h>
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
#include <vector>

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

// Runs name only the options they change.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

struct FindRun {
    int status = -1;
    QByteArray out;
    QString err;
};

// Where the standard output of a run goes; a pipe read to its end by default.
enum class StdOut { Pipe, DevFull, Closed, PipeWithoutReader };

struct RunOptions {
    StdOut out = StdOut::Pipe;
    QByteArray cwd;
    QByteArray input = "/dev/null";
    QByteArray statMatches; // TROVIX_FIND_STAT_MATCHES; unset when empty
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
    if (o.statMatches.isEmpty())
        qunsetenv("TROVIX_FIND_STAT_MATCHES");
    else
        qputenv("TROVIX_FIND_STAT_MATCHES", o.statMatches);
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
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
        ::execv(argv[0], argv.data());
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
    r.err = QString::fromUtf8(err.left(std::max<ssize_t>(n, 0)));
    ::close(errFd);
    return r;
}

QSet<QString> S(std::initializer_list<const char *> names)
{
    QSet<QString> s;
    for (const char *n : names)
        s.insert(QString::fromUtf8(n));
    return s;
}

QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.split('\n'))
        if (!line.isEmpty())
            objects.append(QJsonDocument::fromJson(line).object());
    return objects;
}

class TrovixFind : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tree.writeFile(QStringLiteral("abXcd"), "12345");
        tree.writeFile(QStringLiteral("notes.txt"), QByteArray(2048, 'n'));
        tree.writeFile(QStringLiteral("docs/report.txt"), "r");
        tree.writeFile(QStringLiteral("docs/Report.pdf"), "%PDF-1.4");
        tree.writeFile(QStringLiteral("docs/photo.png"), "png");
        tree.writeFile(QStringLiteral("docs/old.log"), "log");
        tree.setMTime(QStringLiteral("docs/old.log"), 946684800); // 2000-01-01
        tree.writeFile(QStringLiteral("src/main.cpp"), "int main(){}");
        tree.writeFile(QStringLiteral("src/build/main.o"), "o");
        tree.symlink(QStringLiteral("docs"), QStringLiteral("docs-link"));
        tree.writeFile(QStringLiteral(".Trash/thrown.txt"), "t");
        tree.setTags(QStringLiteral("docs/report.txt"), {QStringLiteral("Red"), QStringLiteral("Work")});
        tree.setXattr(QStringLiteral("src/main.cpp"), "user.xdg.comment", "entry point");
        root = tree.root();
        r = tree.rootBytes();
    }

    // The paths printed one a line, relative to root.
    QSet<QString> relPaths(const QByteArray &out, const QString &top = {})
    {
        const QString base = top.isEmpty() ? root : top;
        QSet<QString> set;
        for (const QByteArray &line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            EXPECT_TRUE(line.startsWith(base.toUtf8() + '/')) << line.constData();
            set.insert(QString::fromUtf8(line).mid(base.size() + 1));
        }
        return set;
    }

    QSet<QString> find(const QList<QByteArray> &args)
    {
        const FindRun run = trovixFind(QList<QByteArray>{"-s", r, "--no-excluded"} + args);
        EXPECT_TRUE(run.status == 0 || run.status == 1) << run.err.toStdString();
        return relPaths(run.out);
    }

    // A file outside the searched tree to feed as --criteria or standard input.
    QByteArray aside(const QByteArray &content)
    {
        QFile f(inputs.filePath(QString::number(++inputCount)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
        return QFile::encodeName(f.fileName());
    }

    kztest::TempTree tree;
    QString root;
    QByteArray r;
    QTemporaryDir inputs;
    int inputCount = 0;
};

} // namespace

TEST_F(TrovixFind, PatternsRulesAndSavedSearchesSelectTheMatches)
{
    // A search saved by one process is listed and run by name and identifier by later ones.
    const FindRun saved = trovixFind({"--save", "Old logs", "--modified", "before:2001-01-01", "--type", "file", "ignored-pattern"});
    ASSERT_EQ(saved.status, 0) << saved.err.toStdString();
    const QByteArray id = saved.out.trimmed();
    EXPECT_GT(id.toLongLong(), 0);
    EXPECT_EQ(trovixFind({"--save", "Old logs", "--type", "dir"}).status, 2); // the name is taken
    const QByteArray listed = trovixFind({"--list-saved"}).out;
    EXPECT_TRUE(listed.startsWith(id + "\tOld logs\t") && listed.count('\n') == 1) << listed.constData();

    const struct {
        QList<QByteArray> args;
        QSet<QString> expected;
    } cases[] = {
        {{"ab*cd"}, S({"abXcd"})},
        {{"*.txt"}, S({"notes.txt", "docs/report.txt"})}, // .Trash is not entered
        {{"rep*"}, S({"docs/report.txt", "docs/Report.pdf"})},
        {{"a*b"}, S({})},
        {{"main"}, S({"src/main.cpp", "src/build/main.o"})},
        {{"--name", "is:REPORT.PDF"}, S({"docs/Report.pdf"})},
        {{"--size", ">2K"}, S({"notes.txt"})},
        // both bounds are inclusive: one-byte files are "at most 1"
        {{"--size", "<1", "--name", "contains:o"}, S({"src/build/main.o", "docs/report.txt"})},
        {{"--modified", "before:2001-01-01"}, S({"docs/old.log"})},
        {{"photo", "--created", "today"}, S({"docs/photo.png"})},
        {{"--type", "link"}, S({"docs-link"})},
        {{"--type", "dir"}, S({"docs", "src", "src/build"})},
        {{"--type", "image/*"}, S({"docs/photo.png"})},
        // C++ source is text/plain too
        {{"--type", "text/plain", "--not-type", "text/x-log"}, S({"notes.txt", "docs/report.txt", "src/main.cpp"})},
        {{"--tag", "wor"}, S({"docs/report.txt"})},
        {{"--xattr", "user.xdg.comment"}, S({"src/main.cpp"})},
        {{"main", "--no-xattr", "user.xdg.comment"}, S({"src/build/main.o"})},
        {{"main", "--skip", r + "/src/build"}, S({"src/main.cpp"})},
        {{"t", "--in", "docs", "--type", "file"}, S({"docs/report.txt", "docs/Report.pdf", "docs/photo.png"})},
        {{"thrown"}, S({})},
        {{"thrown", "--trash"}, S({".Trash/thrown.txt"})},
        {{"--saved", "Old logs"}, S({"docs/old.log"})},
        {{"--saved", id}, S({"docs/old.log"})},
        {{"--saved", "Old logs", "zzz"}, S({})},
    };
    for (const auto &c : cases)
        EXPECT_EQ(find(c.args), c.expected) << c.args.join(' ').constData();

    // Criteria as JSON: unknown kinds and blank values are skipped with a word.
    const FindRun run = trovixFind({"-s", r, "--no-excluded", "--criteria", "-"},
                                   {.input = aside(R"([
        {"kind": 1, "operator": 1, "value": "o"},
        {"kind": 5, "operator": 9, "value": "2001-01-01T00:00:00+00:00"},
        {"kind": 3, "operator": 4, "value": "KZFileSearchUTIType_RegFile"},
        {"kind": 10, "operator": 4, "value": [")" + r + R"(/docs"]},
        {"kind": 99, "operator": 1, "value": "ignored"},
        {"kind": 1, "operator": 1, "value": "   "}])")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(relPaths(run.out), S({"docs/old.log"}));
    EXPECT_TRUE(run.err.contains(QStringLiteral("criterion 5")) && run.err.contains(QStringLiteral("criterion 6")))
        << run.err.toStdString();
}

// An --in folder outside the scope was dropped and the whole scope searched,
// --saved '' ran as if absent, and --criteria read /dev/zero until memory ran out.
TEST_F(TrovixFind, BadInputIsAUsageErrorThatPrintsNothing)
{
    const struct {
        QList<QByteArray> args;
        QByteArray input;
        int status;
        QByteArray says;
    } cases[] = {
        {{"--frobnicate"}, "/dev/null", 2, "--frobnicate"},
        {{"-s", r + "/missing", "x"}, "/dev/null", 2, "Directory does not exist."},
        {{"-s", r + "/notes.txt", "x"}, "/dev/null", 2, "The target path is not a directory."},
        {{"-s", r, "--in", "docs"}, "/dev/null", 2, "nothing to search for"},
        {{"-s", r, "no-such-thing"}, "/dev/null", 1, ""},
        {{"-s", r, "--no-excluded", "--stats", "zzz"}, "/dev/null", 1, "No File"},
        {{"-s", r + "/docs", "--in", r + "/src", "main"}, "/dev/null", 2, r + "/src"},
        {{"-s", r, "--in", "../elsewhere", "x"}, "/dev/null", 2, QFileInfo(root).path().toUtf8() + "/elsewhere"},
        {{"-s", r, "--saved", "", "x"}, "/dev/null", 2, "--saved"},
        {{"-s", r, "--saved", "Nope"}, "/dev/null", 2, "Nope"},
        {{"--save", "Empty"}, "/dev/null", 2, ""}, // nothing to store
        {{"-s", r, "--criteria", "/dev/zero"}, "/dev/null", 2, "16 MiB"},
        {{"-s", r, "--criteria", "-"}, "/dev/zero", 2, "16 MiB"},
        {{"-s", r, "--criteria", "-"}, aside("[{\"kind\": 1,"), 2, "JSON"},
        {{"-s", r, "--criteria", aside(R"([{"kind": 2, "operator": 6, "value": "ten"}])")}, "/dev/null", 2, "criterion 1"},
    };
    for (const auto &c : cases) {
        const FindRun run = trovixFind(c.args, {.input = c.input});
        EXPECT_EQ(run.status, c.status) << c.args.join(' ').constData();
        EXPECT_TRUE(run.out.isEmpty()) << c.args.join(' ').constData();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.says))) << run.err.toStdString();
    }
    const FindRun help = trovixFind({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--criteria FILE"));
}

TEST_F(TrovixFind, OutputFormatsListTheSameMatchesInTheSameOrder)
{
    QStringList order;
    for (const QJsonObject &o : jsonLines(trovixFind({"-s", r, "--no-excluded", "--json", "o"}).out)) {
        const QString path = o.value(QStringLiteral("path")).toString();
        order.append(path);
        const QFileInfo info(path);
        EXPECT_EQ(o.value(QStringLiteral("type")).toString(), QLatin1String(info.isSymLink() ? "L" : info.isDir() ? "D" : "F"));
        if (path.endsWith(QStringLiteral("notes.txt"))) {
            EXPECT_EQ(o.value(QStringLiteral("size")).toInteger(), 2048);
        }
        EXPECT_TRUE(o.value(QStringLiteral("modified")).toString().contains(QRegularExpression(QStringLiteral("^\\d{4}-.*[+-]\\d\\d:\\d\\d$"))));
        EXPECT_TRUE(QDateTime::fromString(o.value(QStringLiteral("created")).toString(), Qt::ISODate).isValid());
    }
    ASSERT_GE(order.size(), 3);
    EXPECT_EQ(trovixFind({"-s", r, "--no-excluded", "o"}).out, order.join(QLatin1Char('\n')).toUtf8() + '\n');
    EXPECT_EQ(trovixFind({"-s", r, "--no-excluded", "-0", "o"}).out, order.join(QLatin1Char('\0')).toUtf8() + '\0');

    tree.writeFile(QStringLiteral("odd\nname.txt"), "x");
    EXPECT_EQ(trovixFind({"-s", r, "--no-excluded", "-0", "name.txt"}).out, r + "/odd\nname.txt" + '\0');

    const FindRun count = trovixFind({"-s", r, "--no-excluded", "--count", "o"});
    EXPECT_EQ(count.status, 0);
    EXPECT_TRUE(count.out.contains("files") && count.out.count('\n') == 1) << count.out.constData();
}

TEST_F(TrovixFind, ExcludedFoldersComeFromTheSettings)
{
    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    defaults.setObject(QVariantList{QVariantMap{{QStringLiteral("path"), root + QStringLiteral("/src")}, {QStringLiteral("state"), true}},
                                    QVariantMap{{QStringLiteral("path"), root + QStringLiteral("/docs")}, {QStringLiteral("state"), false}},
                                    QVariantMap{{QStringLiteral("path"), root + QStringLiteral("/DOCS")}, {QStringLiteral("state"), true}}},
                       QStringLiteral("ScopeDirManager-excludedDirs"));
    ASSERT_TRUE(defaults.synchronize());
    // src is skipped; docs is not: its state is off, and "DOCS" is another folder
    const QSet<QString> docs = S({"notes.txt", "docs", "docs/report.txt", "docs/Report.pdf", "docs/photo.png", "docs/old.log", "docs-link"});
    EXPECT_EQ(relPaths(trovixFind({"-s", r, "o"}).out), docs);
    EXPECT_EQ(find({"o"}), docs + S({"src/build/main.o"}));
    defaults.removeObjectForKey(QStringLiteral("ScopeDirManager-excludedDirs"));
    defaults.synchronize();
}

// A folder that may be listed but not searched (read without execute) tells
// the names and types of its entries but refuses their stat: without the stat
// its matches are printed from the listing alone; with it (asked for, or
// needed by --json) they are left out as the window leaves them out.
// A folder that could not be read and an entry whose path was too long were
// left out of the output without a word.
TEST_F(TrovixFind, UnreadableAndTooLongEntriesAreLeftOutAsTold)
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
        QByteArray statMatches;
        bool json;
        QSet<QString> expected;
    } cases[] = {
        {"0", false, S({"listed/invoice-1.txt", "open/invoice-2.txt"})},
        {"1", false, S({"open/invoice-2.txt"})},
        {"", true, S({"open/invoice-2.txt"})},
    };
    for (const auto &c : cases) {
        const QList<QByteArray> args{"-s", t.rootBytes(), "--no-excluded", "--name", "ends:.txt"};
        const FindRun run = trovixFind(c.json ? args + QList<QByteArray>{"--json"} : args,
                                       {.statMatches = c.statMatches, .unprivileged = true});
        QByteArray paths = run.out;
        if (c.json) {
            paths.clear();
            for (const QJsonObject &o : jsonLines(run.out))
                paths += o.value(QStringLiteral("path")).toString().toUtf8() + '\n';
        }
        EXPECT_EQ(relPaths(paths, t.root()), c.expected) << c.statMatches.constData();
    }
}

// Output lost to a full disk, a closed standard output or a pipe nobody reads
// (SIGPIPE ignored) once passed unnoticed with status 0.
TEST_F(TrovixFind, LostOutputIsAWriteErrorWithStatus2)
{
    const struct {
        StdOut where;
        int error;
    } places[] = {{StdOut::DevFull, ENOSPC}, {StdOut::Closed, EBADF}, {StdOut::PipeWithoutReader, EPIPE}};
    const QList<QList<QByteArray>> commands{{"-s", r, "--no-excluded", "o"},
                                            {"-s", r, "--no-excluded", "--json", "o"},
                                            {"-s", r, "--no-excluded", "--count", "o"},
                                            {"--help"},
                                            {"--version"}};
    for (const auto &place : places) {
        for (const QList<QByteArray> &command : commands) {
            const FindRun run = trovixFind(command, {.out = place.where});
            EXPECT_EQ(run.status, 2) << command.join(' ').constData();
            EXPECT_EQ(run.err, QStringLiteral("trovix-find: write error: %1\n").arg(QString::fromLocal8Bit(std::strerror(place.error))));
        }
    }
}

// Arguments that are not UTF-8 lost their odd bytes (they became U+FFFD), so
// such folders and names could not be searched.
TEST_F(TrovixFind, ArgumentBytesThatAreNotUtf8AreKept)
{
    const QByteArray odd = tree.mkdirBytes("dir\xff" "bad");
    const QByteArray file = tree.writeFileBytes("dir\xff" "bad/f\xfe" "name.txt");
    const QByteArray other = tree.writeFileBytes("other/f\xfd" "name.txt");
    const struct {
        QList<QByteArray> args;
        QByteArray cwd;
        QByteArray expected;
    } cases[] = {
        {{"-s", odd, "name"}, {}, file},
        {{"-s", r, "--in", "dir\xff" "bad", "name"}, {}, file},
        {{"-s", r, "--skip", odd, "name"}, {}, other},
        {{"-s", r, "\xfe"}, {}, file},
        {{"name"}, odd, file}, // the current folder
    };
    for (const auto &c : cases) {
        const FindRun run = trovixFind(QList<QByteArray>{"--no-excluded"} + c.args, {.cwd = c.cwd});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out.toStdString(), c.expected.toStdString() + '\n');
    }

    // In JSON the exact bytes travel beside the lossy text, and only when needed.
    const QByteArray plain = tree.writeFile(QStringLiteral("plain-name.txt")).toUtf8();
    QSet<QByteArray> exact;
    for (const QJsonObject &o : jsonLines(trovixFind({"-s", r, "--no-excluded", "--json", "name"}).out)) {
        const QByteArray text = o.value(QStringLiteral("path")).toString().toUtf8();
        const QJsonValue bytes = o.value(QStringLiteral("path_bytes"));
        EXPECT_EQ(bytes.isUndefined(), text == plain) << text.constData();
        exact.insert(bytes.isUndefined() ? text : QByteArray::fromBase64(bytes.toString().toLatin1()));
    }
    EXPECT_EQ(exact, (QSet<QByteArray>{file, other, plain}));
}

// After Ctrl-C the statistics counted matches whose folders were never
// printed, and a second signal right behind the first printed them twice.
TEST_F(TrovixFind, AnInterruptedRunCountsWhatItPrintedOnce)
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
TEST_F(TrovixFind, ADeepChainIsListedUnderALowDescriptorLimit)
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
