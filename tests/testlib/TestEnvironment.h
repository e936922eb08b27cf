// What every Trovix test starts with: XDG folders and HOME in a private
// temporary folder, a log-capturing sink, temporary trees, and a way to run a
// piece of a test as an unprivileged user.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantMap>
#include <ctime>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << (l.isEmpty() ? std::string("[]") : "[\"" + l.join(QStringLiteral("\", \"")).toStdString() + "\"]");
}

namespace kztest {

// Points XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME, XDG_STATE_HOME,
// XDG_RUNTIME_DIR, HOME and TMPDIR at fresh sub-folders of a new temporary root and
// forgets cached settings and folders. Called by the mains before the
// application object exists; tests that need a clean slate may call it again.
void resetTestEnvironment();

// Captures KZLog entries while alive.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList entries() const;
    std::vector<std::pair<int, QString>> records() const;
    bool contains(const QString &substring) const { return count(substring) > 0; }
    int count(const QString &substring) const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<int, QString>> m_records;
};

// A temporary folder tree that is removed with the object. Paths are relative
// to root(); every helper fails the current test (ADD_FAILURE) when the
// system call fails.
class TempTree
{
public:
    TempTree();
    ~TempTree();

    QString root() const;
    QByteArray rootBytes() const;
    QString path(const QString &rel) const;
    QByteArray pathBytes(const QByteArray &rel) const;

    QString mkdir(const QString &rel) { return QFile::decodeName(mkdirBytes(QFile::encodeName(rel))); }
    QString writeFile(const QString &rel, const QByteArray &content = QByteArray())
    {
        return QFile::decodeName(writeFileBytes(QFile::encodeName(rel), content));
    }
    // A sparse file of the given size.
    QString makeSized(const QString &rel, qint64 size);
    QString symlink(const QString &target, const QString &rel);
    QString mkfifo(const QString &rel);
    void setXattr(const QString &rel, const QByteArray &name, const QByteArray &value);
    void setTags(const QString &rel, const QStringList &tags); // "user.xdg.tags"
    // Modification (and access) time, without following a final link.
    void setMTime(const QString &rel, time_t seconds);
    void chmod(const QString &rel, int mode);
    void remove(const QString &rel); // file, link or whole folder

    // Byte-level variants for names that are not valid UTF-8.
    QByteArray mkdirBytes(const QByteArray &rel);
    QByteArray writeFileBytes(const QByteArray &rel, const QByteArray &content = QByteArray());

private:
    QTemporaryDir m_dir;
    QString m_root;
};

// Runs fn in a forked child as the user "nobody" (when root; otherwise as
// ourselves) and returns its exit status (0-255), or -1 when the child could
// not be run. fn's return value is the exit status. Only async-signal-safe work
// and plain file-system calls belong in fn (no Qt event loop, no threads).
int runAsUnprivileged(const std::function<int()> &fn);
// True when runAsUnprivileged really drops privileges (we are root and
// "nobody" exists) or we are not root in the first place.
bool canRunUnprivileged();

// A canonical criterion {"kind", "operator", "value"}; no "value" key when
// value is invalid.
inline QVariantMap criterion(int kind, int op, const QVariant &value = QVariant())
{
    QVariantMap c{{QStringLiteral("kind"), kind}, {QStringLiteral("operator"), op}};
    if (value.isValid())
        c.insert(QStringLiteral("value"), value);
    return c;
}

// Writes a tree with ".git" and "node_modules" folders at several depths
// (nested in each other too, and a ".GIT" and a ".git.d" that are not them)
// below rel; every file name holds an "x".
void writeVersionControlTree(TempTree &tree, const QString &rel);
// What GNU find lists below root (root itself left out) whose name contains
// text, ignoring ASCII case, pruning the folders named pruned: the reference
// for skipped folder names. Sorted.
QStringList findPrunedPaths(const QString &root, const QStringList &pruned, const QString &text);

// The whole content of a file; empty when it cannot be read.
QByteArray readFile(const QString &path);
// Writes text at an absolute path, making the folders above it.
void writeText(const QString &path, const QByteArray &text);

// Waits (processing events) until pred is true or timeoutMs passes.
bool waitUntil(const std::function<bool()> &pred, int timeoutMs = 5000);

} // namespace kztest
