#include <algorithm>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

struct FindRun {
    int status = -1;
    QByteArray out;
    QString err;
};

FindRun trovixFind(const QStringList &args, const QByteArray &input = QByteArray())
{
    QProcess p;
    p.start(QStringLiteral(TROVIX_FIND_PATH), args);
    EXPECT_TRUE(p.waitForStarted(10000));
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000));
    FindRun r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Paths printed (newline-separated), relative to root.
QSet<QString> relPaths(const FindRun &r, const QString &root, char sep = '\n')
{
    QSet<QString> set;
    for (const QByteArray &line : r.out.split(sep)) {
        if (line.isEmpty())
            continue;
        QString p = QString::fromUtf8(line);
        EXPECT_TRUE(p.startsWith(root + QLatin1Char('/'))) << p.toStdString();
        set.insert(p.mid(root.size() + 1));
    }
    return set;
}

QSet<QString> S(std::initializer_list<const char *> names)
{
    QSet<QString> s;
    for (const char *n : names)
        s.insert(QString::fromUtf8(n));
    return s;
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
    }
    kztest::TempTree tree;
    QString root;

    QSet<QString> find(const QStringList &args)
    {
        const FindRun r = trovixFind(QStringList{QStringLiteral("-s"), root, QStringLiteral("--no-excluded")} + args);
        EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err.toStdString();
        return relPaths(r, root);
    }
};

} // namespace

TEST_F(TrovixFind, PatternsReadLikeTheSearchField)
{
    EXPECT_EQ(find({QStringLiteral("ab*cd")}), S({"abXcd"}));
    EXPECT_EQ(find({QStringLiteral("*.txt")}), S({"notes.txt", "docs/report.txt"})); // .Trash is not entered
    EXPECT_EQ(find({QStringLiteral("rep*")}), S({"docs/report.txt", "docs/Report.pdf"}));
    EXPECT_EQ(find({QStringLiteral("a*b")}), S({}));
    EXPECT_EQ(find({QStringLiteral("main")}), S({"src/main.cpp", "src/build/main.o"}));
}

TEST_F(TrovixFind, OneRunPerRuleKind)
{
    EXPECT_EQ(find({QStringLiteral("--name"), QStringLiteral("is:REPORT.PDF")}), S({"docs/Report.pdf"}));
    EXPECT_EQ(find({QStringLiteral("--size"), QStringLiteral(">2K")}), S({"notes.txt"}));
        // both bounds are inclusive: one-byte files are "at most 1"
    EXPECT_EQ(find({QStringLiteral("--size"), QStringLiteral("<1"), QStringLiteral("--name"), QStringLiteral("contains:o")}),
              S({"src/build/main.o", "docs/report.txt"}));
    EXPECT_EQ(find({QStringLiteral("--modified"), QStringLiteral("before:2001-01-01")}), S({"docs/old.log"}));
    EXPECT_TRUE(find({QStringLiteral("--created"), QStringLiteral("today")}).contains(QStringLiteral("docs/photo.png")));
    EXPECT_EQ(find({QStringLiteral("--type"), QStringLiteral("link")}), S({"docs-link"}));
    EXPECT_EQ(find({QStringLiteral("--type"), QStringLiteral("dir")}), S({"docs", "src", "src/build"}));
    EXPECT_EQ(find({QStringLiteral("--type"), QStringLiteral("image/*")}), S({"docs/photo.png"}));
    EXPECT_EQ(find({QStringLiteral("--type"), QStringLiteral("text/plain"), QStringLiteral("--not-type"), QStringLiteral("text/x-log")}),
              S({"notes.txt", "docs/report.txt", "src/main.cpp"})); // C++ source is text/plain too
    EXPECT_EQ(find({QStringLiteral("--tag"), QStringLiteral("wor")}), S({"docs/report.txt"}));
    EXPECT_EQ(find({QStringLiteral("--xattr"), QStringLiteral("user.xdg.comment")}), S({"src/main.cpp"}));
    EXPECT_FALSE(find({QStringLiteral("--no-xattr"), QStringLiteral("user.xdg.comment")}).contains(QStringLiteral("src/main.cpp")));
    EXPECT_EQ(find({QStringLiteral("main"), QStringLiteral("--skip"), root + QStringLiteral("/src/build")}), S({"src/main.cpp"}));
    EXPECT_EQ(find({QStringLiteral("t"), QStringLiteral("--in"), QStringLiteral("docs"), QStringLiteral("--type"), QStringLiteral("file")}),
              S({"docs/report.txt", "docs/Report.pdf", "docs/photo.png"}));
    EXPECT_EQ(find({QStringLiteral("thrown")}), S({}));
    EXPECT_EQ(find({QStringLiteral("thrown"), QStringLiteral("--trash")}), S({".Trash/thrown.txt"}));
}

TEST_F(TrovixFind, CriteriaFromJson)
{
    const QByteArray json = R"([
        {"kind": 1, "operator": 1, "value": "o"},
        {"kind": 5, "operator": 9, "value": "2001-01-01T00:00:00+00:00"},
        {"kind": 3, "operator": 4, "value": "KZFileSearchUTIType_RegFile"},
        {"kind": 10, "operator": 4, "value": [")" + root.toUtf8() + R"(/docs"]},
        {"kind": 99, "operator": 1, "value": "ignored"},
        {"kind": 1, "operator": 1, "value": "   "}
    ])";
    FindRun r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("--criteria"), QStringLiteral("-")}, json);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(relPaths(r, root), S({"docs/old.log"}));
    EXPECT_TRUE(r.err.contains(QStringLiteral("criterion 5"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("criterion 6"))) << r.err.toStdString();

    tree.writeFile(QStringLiteral("bad.json"), R"([{"kind": 2, "operator": 6, "value": "ten"}])");
    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--criteria"), tree.path(QStringLiteral("bad.json"))});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("criterion 1"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());

    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--criteria"), QStringLiteral("-")}, "[{\"kind\": 1,");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("JSON")));
}

TEST_F(TrovixFind, OutputFormats)
{
    FindRun r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("--json"), QStringLiteral("*.txt")});
    ASSERT_EQ(r.status, 0);
    QSet<QString> paths;
    for (const QByteArray &line : r.out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        paths.insert(o.value(QStringLiteral("path")).toString());
        EXPECT_EQ(o.value(QStringLiteral("type")).toString(), QStringLiteral("F"));
        const QDateTime modified = QDateTime::fromString(o.value(QStringLiteral("modified")).toString(), Qt::ISODate);
        EXPECT_TRUE(modified.isValid());
        EXPECT_TRUE(QDateTime::fromString(o.value(QStringLiteral("created")).toString(), Qt::ISODate).isValid());
        EXPECT_TRUE(o.value(QStringLiteral("modified")).toString().contains(QRegularExpression(QStringLiteral("[+-]\\d\\d:\\d\\d$"))));
        if (o.value(QStringLiteral("path")).toString().endsWith(QStringLiteral("notes.txt"))) {
            EXPECT_EQ(o.value(QStringLiteral("size")).toInteger(), 2048);
        }
    }
    EXPECT_EQ(paths, (QSet<QString>{root + QStringLiteral("/notes.txt"), root + QStringLiteral("/docs/report.txt")}));

    // Lines, NUL-ended paths and JSON objects list the same paths in the same
    // order, several per folder included.
    QStringList jsonOrder;
    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("--json"), QStringLiteral("o")});
    for (const QByteArray &line : r.out.split('\n'))
        if (!line.isEmpty())
            jsonOrder.append(QJsonDocument::fromJson(line).object().value(QStringLiteral("path")).toString());
    ASSERT_GE(jsonOrder.size(), 3);
    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("o")});
    EXPECT_EQ(r.out, jsonOrder.join(QLatin1Char('\n')).toUtf8() + '\n');
    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("-0"), QStringLiteral("o")});
    EXPECT_EQ(r.out, jsonOrder.join(QLatin1Char('\0')).toUtf8() + '\0');

    tree.writeFile(QStringLiteral("odd\nname.txt"), "x");
    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("-0"), QStringLiteral("name.txt")});
    EXPECT_EQ(r.out, (root + QStringLiteral("/odd\nname.txt")).toUtf8() + '\0');

    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("--count"), QStringLiteral("o")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(QString::fromUtf8(r.out).contains(QStringLiteral("files"))) << r.out.constData();
    EXPECT_EQ(r.out.count('\n'), 1);

    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("--stats"), QStringLiteral("zzz")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(QStringLiteral("No File")));
}

TEST_F(TrovixFind, ErrorsAndExitStatus)
{
    FindRun r = trovixFind({QStringLiteral("--frobnicate")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--frobnicate")));
    r = trovixFind({QStringLiteral("-s"), tree.path(QStringLiteral("missing")), QStringLiteral("x")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Directory does not exist.")));
    r = trovixFind({QStringLiteral("-s"), tree.path(QStringLiteral("notes.txt")), QStringLiteral("x")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("The target path is not a directory.")));
    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--in"), QStringLiteral("docs")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("nothing to search for")));
    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("no-such-thing")});
    EXPECT_EQ(r.status, 1);
    r = trovixFind({QStringLiteral("--help")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("--criteria FILE"));
}

TEST_F(TrovixFind, ExcludedFoldersComeFromTheSettings)
{
    KZUserDefaults::standardUserDefaults().setObject(
        QVariantList{QVariantMap{{QStringLiteral("path"), root + QStringLiteral("/src")}, {QStringLiteral("state"), true}},
                     QVariantMap{{QStringLiteral("path"), root + QStringLiteral("/docs")}, {QStringLiteral("state"), false}},
                     QVariantMap{{QStringLiteral("path"), root + QStringLiteral("/DOCS")}, {QStringLiteral("state"), true}}},
        QStringLiteral("ScopeDirManager-excludedDirs"));
    ASSERT_TRUE(KZUserDefaults::standardUserDefaults().synchronize());
    // src is skipped; docs is not: its state is off, and "DOCS" is another folder
    FindRun r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("o")});
    EXPECT_EQ(relPaths(r, root), S({"notes.txt", "docs", "docs/report.txt", "docs/Report.pdf", "docs/photo.png", "docs/old.log", "docs-link"}));
    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("o")});
    EXPECT_EQ(relPaths(r, root), S({"notes.txt", "docs", "docs/report.txt", "docs/Report.pdf", "docs/photo.png", "docs/old.log",
                                    "docs-link", "src/build/main.o"}));
    KZUserDefaults::standardUserDefaults().removeObjectForKey(QStringLiteral("ScopeDirManager-excludedDirs"));
    KZUserDefaults::standardUserDefaults().synchronize();
}

TEST_F(TrovixFind, SaveThenUseAndListAcrossProcesses)
{
    FindRun r = trovixFind({QStringLiteral("--save"), QStringLiteral("Old logs"), QStringLiteral("--modified"),
                            QStringLiteral("before:2001-01-01"), QStringLiteral("--type"), QStringLiteral("file"),
                            QStringLiteral("ignored-pattern")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const qint64 id = QString::fromUtf8(r.out).trimmed().toLongLong();
    EXPECT_GT(id, 0);

    r = trovixFind({QStringLiteral("--save"), QStringLiteral("Old logs"), QStringLiteral("--type"), QStringLiteral("dir")});
    EXPECT_EQ(r.status, 2); // the name is taken
    r = trovixFind({QStringLiteral("--save"), QStringLiteral("Empty")});
    EXPECT_EQ(r.status, 2); // nothing to store

    r = trovixFind({QStringLiteral("--list-saved")});
    ASSERT_EQ(r.status, 0);
    const QStringList lines = QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("%1\tOld logs\t").arg(id))) << lines[0].toStdString();

    // A later process runs it by name and by identifier; a pattern narrows it further.
    EXPECT_EQ(find({QStringLiteral("--saved"), QStringLiteral("Old logs")}), S({"docs/old.log"}));
    EXPECT_EQ(find({QStringLiteral("--saved"), QString::number(id)}), S({"docs/old.log"}));
    EXPECT_EQ(find({QStringLiteral("--saved"), QStringLiteral("Old logs"), QStringLiteral("zzz")}), S({}));
    r = trovixFind({QStringLiteral("-s"), root, QStringLiteral("--saved"), QStringLiteral("Nope")});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Nope")));
}

namespace {

// Runs trovix-find as the unprivileged user with TROVIX_FIND_STAT_MATCHES set
// to statMatches (unset when empty) and returns its exit status and output.
FindRun trovixFindUnprivileged(const QStringList &args, const QByteArray &statMatches)
{
    QList<QByteArray> argBytes{QByteArray(TROVIX_FIND_PATH)};
    for (const QString &a : args)
        argBytes.append(a.toLocal8Bit());
    QList<QByteArray> envBytes;
    for (const QString &e : QProcessEnvironment::systemEnvironment().toStringList())
        if (!e.startsWith(QLatin1String("TROVIX_FIND_STAT_MATCHES=")))
            envBytes.append(e.toLocal8Bit());
    if (!statMatches.isEmpty())
        envBytes.append("TROVIX_FIND_STAT_MATCHES=" + statMatches);
    std::vector<char *> argv, envp;
    for (QByteArray &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (QByteArray &e : envBytes)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int fds[2], errFds[2];
    FindRun r;
    if (::pipe(fds) != 0)
        return r;
    if (::pipe(errFds) != 0)
        return r;
    // The output is a few lines: it fits in the pipes while the child runs.
    r.status = kztest::runAsUnprivileged([&]() -> int {
        ::close(fds[0]);
        ::close(errFds[0]);
        if (::dup2(fds[1], STDOUT_FILENO) < 0 || ::dup2(errFds[1], STDERR_FILENO) < 0)
            return 126;
        ::execve(argv[0], argv.data(), envp.data());
        return 127;
    });
    ::close(fds[1]);
    ::close(errFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        r.out.append(buffer, n);
    ::close(fds[0]);
    QByteArray err;
    while ((n = ::read(errFds[0], buffer, sizeof buffer)) > 0)
        err.append(buffer, n);
    ::close(errFds[0]);
    r.err = QString::fromUtf8(err);
    return r;
}

} // namespace

// A folder that may be listed but not searched (read without execute) tells
// the names and types of its entries but refuses their stat: without the stat
// its matches are printed from the listing alone; with it (asked for, or
// needed by --json) they are left out as the window leaves them out.
TEST(TrovixFindEnvironment, StatOfMatchesIsKeptOnRequest)
{
    ASSERT_TRUE(kztest::canRunUnprivileged());
    kztest::TempTree t;
    t.writeFile(QStringLiteral("listed/invoice-1.txt"), "1");
    t.writeFile(QStringLiteral("open/invoice-2.txt"), "2");
    t.chmod(QStringLiteral("listed"), 0444);
    t.chmod(QString(), 0755);
    const QString root = t.root();
    const QStringList args{QStringLiteral("-s"), root, QStringLiteral("--no-excluded"), QStringLiteral("invoice")};

    FindRun r = trovixFindUnprivileged(args, QByteArray());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(relPaths(r, root), S({"listed/invoice-1.txt", "open/invoice-2.txt"}));
    r = trovixFindUnprivileged(args, "0");
    EXPECT_EQ(relPaths(r, root), S({"listed/invoice-1.txt", "open/invoice-2.txt"}));

    r = trovixFindUnprivileged(args, "1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(relPaths(r, root), S({"open/invoice-2.txt"}));

    r = trovixFindUnprivileged(args + QStringList{QStringLiteral("--json")}, QByteArray());
    QSet<QString> jsonPaths;
    for (const QByteArray &line : r.out.split('\n'))
        if (!line.isEmpty())
            jsonPaths.insert(QJsonDocument::fromJson(line).object().value(QStringLiteral("path")).toString().mid(root.size() + 1));
    EXPECT_EQ(jsonPaths, S({"open/invoice-2.txt"}));
}

namespace {

// Where the standard output of trovixFindBytes goes.
enum class StdOut { File, DevFull, Closed, PipeWithoutReader };

// Runs trovix-find with exactly these argument bytes (QProcess would pass
// them through QString), in folder cwd when given, reading inputPath.
FindRun trovixFindBytes(QList<QByteArray> args, StdOut where = StdOut::File, const QByteArray &cwd = {},
                        const char *inputPath = "/dev/null")
{
    QTemporaryDir dir;
    const QByteArray outPath = QFile::encodeName(dir.filePath(QStringLiteral("out")));
    const QByteArray errPath = QFile::encodeName(dir.filePath(QStringLiteral("err")));
    args.prepend(TROVIX_FIND_PATH);
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int unread[2] = {-1, -1};
    if (where == StdOut::PipeWithoutReader && ::pipe2(unread, O_CLOEXEC) == 0)
        ::close(unread[0]);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
        const int out = where == StdOut::File      ? ::open(outPath.constData(), flags, 0600)
                        : where == StdOut::DevFull ? ::open("/dev/full", O_WRONLY | O_CLOEXEC)
                                                   : unread[1];
        if (where == StdOut::PipeWithoutReader)
            ::signal(SIGPIPE, SIG_IGN);
        if (::dup2(::open(inputPath, O_RDONLY | O_CLOEXEC), 0) < 0
            || ::dup2(::open(errPath.constData(), flags, 0600), 2) < 0
            || (where == StdOut::Closed ? ::close(1) : ::dup2(out, 1)) < 0
            || (!cwd.isEmpty() && ::chdir(cwd.constData()) != 0))
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(unread[1]);
    FindRun r;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    QFile out(QFile::decodeName(outPath)), err(QFile::decodeName(errPath));
    if (out.open(QIODevice::ReadOnly))
        r.out = out.readAll();
    if (err.open(QIODevice::ReadOnly))
        r.err = QString::fromUtf8(err.readAll());
    return r;
}

} // namespace

// Output lost to a full disk, a closed standard output or a pipe nobody reads
// (SIGPIPE ignored) once passed unnoticed with status 0.
TEST_F(TrovixFind, LostOutputIsAWriteErrorWithStatus2)
{
    const struct {
        StdOut where;
        int error;
    } places[] = {{StdOut::DevFull, ENOSPC}, {StdOut::Closed, EBADF}, {StdOut::PipeWithoutReader, EPIPE}};
    const QByteArray r = root.toUtf8();
    const QList<QList<QByteArray>> commands{{"-s", r, "--no-excluded", "o"},
                                            {"-s", r, "--no-excluded", "--json", "o"},
                                            {"-s", r, "--no-excluded", "--count", "o"},
                                            {"--help"},
                                            {"--version"}};
    for (const auto &place : places) {
        for (const QList<QByteArray> &command : commands) {
            const FindRun run = trovixFindBytes(command, place.where);
            EXPECT_EQ(run.status, 2) << command.join(' ').constData();
            EXPECT_EQ(run.err, QStringLiteral("trovix-find: write error: %1\n")
                                   .arg(QString::fromLocal8Bit(std::strerror(place.error))));
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
    const QByteArray r = tree.rootBytes();
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
        const FindRun run = trovixFindBytes(QList<QByteArray>{"--no-excluded"} + c.args, StdOut::File, c.cwd);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out.toStdString(), c.expected.toStdString() + '\n');
    }

    // In JSON the exact bytes travel beside the lossy text, and only when needed.
    const QByteArray plain = tree.writeFile(QStringLiteral("plain-name.txt")).toUtf8();
    QSet<QByteArray> exact;
    for (const QByteArray &line : trovixFindBytes({"-s", r, "--no-excluded", "--json", "name"}).out.split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty())
            continue;
        const QByteArray text = o.value(QStringLiteral("path")).toString().toUtf8();
        const QJsonValue bytes = o.value(QStringLiteral("path_bytes"));
        EXPECT_EQ(bytes.isUndefined(), text == plain) << line.constData();
        exact.insert(bytes.isUndefined() ? text : QByteArray::fromBase64(bytes.toString().toLatin1()));
    }
    EXPECT_EQ(exact, (QSet<QByteArray>{file, other, plain}));
}

// An --in folder outside the scope was dropped and the whole scope searched,
// --saved '' ran as if absent, and --criteria read /dev/zero until memory ran out.
TEST_F(TrovixFind, InputThatCannotBeMeantIsAUsageError)
{
    const QByteArray r = root.toUtf8();
    const struct {
        QList<QByteArray> args;
        const char *input;
        QByteArray says;
    } cases[] = {
        {{"-s", r + "/docs", "--in", r + "/src", "main"}, "/dev/null", r + "/src"},
        {{"-s", r, "--in", "../elsewhere", "x"}, "/dev/null", QFileInfo(root).path().toUtf8() + "/elsewhere"},
        {{"-s", r, "--saved", "", "x"}, "/dev/null", "--saved"},
        {{"-s", r, "--criteria", "/dev/zero"}, "/dev/null", "16 MiB"},
        {{"-s", r, "--criteria", "-"}, "/dev/zero", "16 MiB"},
    };
    for (const auto &c : cases) {
        const FindRun run = trovixFindBytes(c.args, StdOut::File, {}, c.input);
        EXPECT_EQ(run.status, 2) << c.args.join(' ').constData();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.says))) << run.err.toStdString();
    }
}
// After Ctrl-C the statistics counted matches whose folders were never
// printed, and a second signal right behind the first printed them twice.
TEST(TrovixFindSignals, AnInterruptedRunCountsWhatItPrintedOnce)
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
    const QString root = t.root();
    const std::vector<std::vector<int>> bursts{{SIGINT}, {SIGINT, SIGTERM}};
    for (const std::vector<int> &burst : bursts) {
        QProcess p;
        p.start(QStringLiteral(TROVIX_FIND_PATH), {QStringLiteral("-s"), root, QStringLiteral("--no-excluded"),
                                                   QStringLiteral("--stats"), QStringLiteral("m")});
        ASSERT_TRUE(p.waitForReadyRead(20000)); // the walk runs: the handlers are in place
        for (const int signo : burst)
            ::kill(p.processId(), signo);
        ASSERT_TRUE(p.waitForFinished(60000));
        qint64 files = 0, dirs = 0;
        for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                ++(line.count('/') - root.count(QLatin1Char('/')) == 3 ? files : dirs);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        // A walk that ended before the signal arrived exits 0 with every match.
        const bool interrupted = files + dirs < kFiles + kDirs;
        EXPECT_EQ(p.exitCode(), interrupted ? 130 : 0) << err.toStdString();
        QStringList parts;
        if (files > 0)
            parts.append(QStringLiteral("%1 files").arg(QLocale().toString(files)));
        if (dirs > 0)
            parts.append(QStringLiteral("%1 directories").arg(QLocale().toString(dirs)));
        const QString line = parts.isEmpty() ? QStringLiteral("No File") : parts.join(QStringLiteral(", "));
        EXPECT_EQ(err, line + QLatin1Char('\n')) << burst.size() << " signal(s)";
    }
}

// A folder that could not be read and an entry whose path was too long were
// left out of the output without a word.
TEST(TrovixFindEnvironment, WhatIsLeftOutIsToldOnStandardError)
{
    ASSERT_TRUE(kztest::canRunUnprivileged());
    kztest::TempTree t;
    t.writeFile(QStringLiteral("open/invoice-1.txt"));
    t.writeFile(QStringLiteral("locked/invoice-2.txt"));
    t.chmod(QStringLiteral("locked"), 0700);
    t.chmod(QString(), 0755);
    // Folders nested until one more name (at most 250 bytes) makes a path of 4,095 bytes.
    QByteArray deep = t.rootBytes();
    for (qsizetype room = 4094 - deep.size(); room > 250; room = 4094 - deep.size()) {
        deep += '/' + QByteArray(std::min<qsizetype>(200, room - 150), 'd');
        ASSERT_EQ(::mkdir(deep.constData(), 0755), 0);
    }
    const QByteArray longName = "invoice-" + QByteArray(4094 - deep.size() - 8, 'x');
    ::close(::open((deep + '/' + longName).constData(), O_WRONLY | O_CREAT, 0644));
    ::close(::open((deep + "/invoice-short").constData(), O_WRONLY | O_CREAT, 0644));

    const FindRun r = trovixFindUnprivileged({QStringLiteral("-s"), t.root(), QStringLiteral("--no-excluded"), QStringLiteral("invoice")},
                                             QByteArray());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.count('\n'), 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("trovix-find: cannot read '%1/locked': Permission denied\n").arg(t.root())))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("trovix-find: 1 entry skipped because its path reaches the 4,095-byte limit\n")))
        << r.err.toStdString();
}

// The walk holds a descriptor per folder level: with the limits `ulimit -n 128`
// sets, trovix-find lost the deep part of a tree without a word. It also goes
// one call deeper per level: a small stack limit must not end it.
TEST(TrovixFindEnvironment, ADeepChainIsListedUnderALowDescriptorLimit)
{
    kztest::TempTree t;
    const int depth = 1500;
    QByteArray dir = t.rootBytes();
    for (int i = 0; i < depth; ++i) {
        ::close(::open((dir + "/hit").constData(), O_WRONLY | O_CREAT, 0644));
        dir += "/d";
        ASSERT_EQ(::mkdir(dir.constData(), 0755), 0);
    }
    QProcess p;
    p.setChildProcessModifier([] {
        const struct rlimit limit{128, 128};
        ::setrlimit(RLIMIT_NOFILE, &limit);
        struct rlimit stack {};
        ::getrlimit(RLIMIT_STACK, &stack);
        stack.rlim_cur = 1024 * 1024;
        ::setrlimit(RLIMIT_STACK, &stack);
    });
    p.start(QStringLiteral(TROVIX_FIND_PATH),
            {QStringLiteral("-s"), t.root(), QStringLiteral("--no-excluded"), QStringLiteral("--name"), QStringLiteral("is:hit")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardOutput().count('\n'), depth);
    // Removed from the bottom up, without a descriptor per level.
    for (; dir.size() > t.rootBytes().size(); dir.chop(2)) {
        ::rmdir(dir.constData());
        ::unlink((dir.left(dir.size() - 2) + "/hit").constData());
    }
}
