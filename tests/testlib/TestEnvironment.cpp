#include "tests/testlib/TestEnvironment.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include "support/KZFunctions.h"
#include "support/KZLog.h"
#include "support/KZUserDefaults.h"

namespace kztest {

namespace {

QByteArray enc(const QString &s)
{
    return QFile::encodeName(s);
}

} // namespace

void resetTestEnvironment()
{
    static std::unique_ptr<QTemporaryDir> slot;
    static const QString systemTemp = QDir::tempPath();
    // A temporary folder of the program's own, for its whole run (trees made
    // there outlive a reset), so that test programs running side by side
    // share no working folder. Open to all as /tmp is: tests run parts as
    // another user in trees made there.
    static const QTemporaryDir programTemp(systemTemp + QStringLiteral("/trovix-tmp-XXXXXX"));
    ::chmod(enc(programTemp.path()).constData(), 01777);
    qputenv("TMPDIR", enc(programTemp.path()));
    slot = std::make_unique<QTemporaryDir>(systemTemp + QStringLiteral("/trovix-test-XXXXXX"));
    const QString root = slot->path();
    const std::pair<const char *, const char *> dirs[] = {
        {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"}, {"XDG_CACHE_HOME", "cache"},
        {"XDG_STATE_HOME", "state"},   {"XDG_RUNTIME_DIR", "runtime"}, {"HOME", "home"},
    };
    for (const auto &[var, sub] : dirs) {
        const QString p = root + QLatin1Char('/') + QLatin1String(sub);
        QDir().mkpath(p);
        ::chmod(enc(p).constData(), 0700);
        qputenv(var, enc(p));
    }
    // The XDG user folders would otherwise come from the user's real config.
    qputenv("XDG_CONFIG_DIRS", enc(root + QStringLiteral("/config-dirs")));
    KZUserDefaults::resetStandardUserDefaults();
    KZFunctions::resetCachedPathsForTesting();
}

// ---------------------------------------------------------------- LogCapture

LogCapture::LogCapture()
{
    KZLog::setSink([this](int severity, const QString &entry) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records.emplace_back(severity, entry);
    });
}

LogCapture::~LogCapture()
{
    KZLog::setSink({});
}

QStringList LogCapture::entries() const
{
    QStringList list;
    for (const auto &r : records())
        list.append(r.second);
    return list;
}

std::vector<std::pair<int, QString>> LogCapture::records() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

int LogCapture::count(const QString &substring) const
{
    const auto all = records();
    return int(std::count_if(all.begin(), all.end(), [&](const auto &r) { return r.second.contains(substring); }));
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.clear();
}

// ---------------------------------------------------------------- TempTree

TempTree::TempTree()
    : m_dir(QDir::tempPath() + QStringLiteral("/trovix-tree-XXXXXX"))
{
    // Resolve links (/tmp may be one) so that paths compare with what a walk reports.
    m_root = QDir(m_dir.path()).canonicalPath();
}

// Removes everything inside the folder open at dirfd, byte by byte and
// relative to each folder, so that names that are not UTF-8 and paths longer
// than PATH_MAX go too. Folders made unreadable by a test are opened again first.
static void removeContentsAt(int dirfd)
{
    DIR *dir = ::fdopendir(dirfd);
    if (!dir) {
        ::close(dirfd);
        return;
    }
    while (const struct dirent *e = ::readdir(dir)) {
        const char *name = e->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            ::fchmodat(::dirfd(dir), name, 0700, 0);
            const int child = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                removeContentsAt(child);
            ::unlinkat(::dirfd(dir), name, AT_REMOVEDIR);
        } else {
            ::unlinkat(::dirfd(dir), name, 0);
        }
    }
    ::closedir(dir);
}

TempTree::~TempTree()
{
    ::chmod(rootBytes().constData(), 0700);
    const int fd = ::open(rootBytes().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        removeContentsAt(fd);
    // m_dir removes the then empty root.
}

QString TempTree::root() const { return m_root; }
QByteArray TempTree::rootBytes() const { return enc(m_root); }
QString TempTree::path(const QString &rel) const { return rel.isEmpty() ? m_root : m_root + QLatin1Char('/') + rel; }
QByteArray TempTree::pathBytes(const QByteArray &rel) const { return rel.isEmpty() ? rootBytes() : rootBytes() + '/' + rel; }

QByteArray TempTree::mkdirBytes(const QByteArray &rel)
{
    const QByteArray p = pathBytes(rel);
    // parents first
    for (qsizetype i = rootBytes().size() + 1; i < p.size(); ++i)
        if (p.at(i) == '/')
            ::mkdir(p.left(i).constData(), 0755);
    if (::mkdir(p.constData(), 0755) != 0 && errno != EEXIST)
        ADD_FAILURE() << "mkdir " << p.constData() << ": " << std::strerror(errno);
    return p;
}

QByteArray TempTree::writeFileBytes(const QByteArray &rel, const QByteArray &content)
{
    const QByteArray p = pathBytes(rel);
    const qsizetype slash = rel.lastIndexOf('/');
    if (slash > 0)
        mkdirBytes(rel.left(slash));
    const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        ADD_FAILURE() << "open " << p.constData() << ": " << std::strerror(errno);
        return p;
    }
    if (::write(fd, content.constData(), content.size()) != content.size())
        ADD_FAILURE() << "write " << p.constData();
    ::close(fd);
    return p;
}

// Fails the current test when a system call on p did not return 0.
static void expectDone(int rc, const char *call, const QByteArray &p)
{
    if (rc != 0)
        ADD_FAILURE() << call << ' ' << p.constData() << ": " << std::strerror(errno);
}

QString TempTree::makeSized(const QString &rel, qint64 size)
{
    const QString p = writeFile(rel);
    expectDone(::truncate(enc(p).constData(), size), "truncate", enc(p));
    return p;
}

QString TempTree::symlink(const QString &target, const QString &rel)
{
    expectDone(::symlink(enc(target).constData(), enc(path(rel)).constData()), "symlink", enc(path(rel)));
    return path(rel);
}

QString TempTree::mkfifo(const QString &rel)
{
    expectDone(::mkfifo(enc(path(rel)).constData(), 0644), "mkfifo", enc(path(rel)));
    return path(rel);
}

void TempTree::setXattr(const QString &rel, const QByteArray &name, const QByteArray &value)
{
    const QByteArray p = enc(path(rel));
    expectDone(::lsetxattr(p.constData(), name.constData(), value.constData(), value.size(), 0), "lsetxattr",
               p + ' ' + name);
}

void TempTree::setTags(const QString &rel, const QStringList &tags)
{
    setXattr(rel, "user.xdg.tags", tags.join(QLatin1Char(',')).toUtf8());
}

void TempTree::setMTime(const QString &rel, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    const QByteArray p = enc(path(rel));
    expectDone(::utimensat(AT_FDCWD, p.constData(), times, AT_SYMLINK_NOFOLLOW), "utimensat", p);
}

void TempTree::chmod(const QString &rel, int mode)
{
    expectDone(::chmod(enc(path(rel)).constData(), mode), "chmod", enc(path(rel)));
}

void TempTree::remove(const QString &rel)
{
    const QString p = path(rel);
    const QFileInfo info(p);
    if (info.isDir() && !info.isSymLink())
        QDir(p).removeRecursively();
    else
        QFile::remove(p);
}

// ---------------------------------------------------------------- privileges

bool canRunUnprivileged()
{
    return geteuid() != 0 || getpwnam("nobody") != nullptr;
}

int runAsUnprivileged(const std::function<int()> &fn)
{
    uid_t uid = geteuid();
    gid_t gid = getegid();
    const bool drop = uid == 0;
    if (drop) {
        const struct passwd *pw = getpwnam("nobody");
        if (!pw)
            return -1;
        uid = pw->pw_uid;
        gid = pw->pw_gid;
    }
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (drop) {
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
                _exit(254);
        }
        const int rc = fn();
        _exit(rc & 0xff);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void writeVersionControlTree(TempTree &tree, const QString &rel)
{
    for (const char *file : {".git/x-config", ".git/objects/x1", "x-top.txt", "a/.git/x-head", "a/x-a.txt",
                             "a/node_modules/pkg/x.js", "a/node_modules/pkg/.git/x", "a/b/c/node_modules/x.js",
                             "a/b/c/.git/x", "a/b/c/x-deep.txt", "a/b/.GIT/x", "a/b/.git.d/x", "node_modules/x.js",
                             "src/x.cpp"})
        tree.writeFile(rel + QLatin1Char('/') + QString::fromUtf8(file));
}

QStringList findPrunedPaths(const QString &root, const QStringList &pruned, const QString &text)
{
    QStringList args{root, QStringLiteral("-mindepth"), QStringLiteral("1")};
    for (const QString &name : pruned)
        args << QStringLiteral("-name") << name << QStringLiteral("-prune") << QStringLiteral("-o");
    args << QStringLiteral("-iname") << QLatin1Char('*') + text + QLatin1Char('*') << QStringLiteral("-print");
    QProcess find;
    find.start(QStringLiteral("find"), args);
    if (!find.waitForFinished(20000) || find.exitCode() != 0)
        ADD_FAILURE() << "find failed: " << find.readAllStandardError().toStdString();
    QStringList paths = QString::fromUtf8(find.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    paths.sort();
    return paths;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeText(const QString &path, const QByteArray &text)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size())
        ADD_FAILURE() << "write " << path.toStdString();
}

bool waitUntil(const std::function<bool()> &pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace kztest
