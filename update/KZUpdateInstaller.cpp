#include "update/KZUpdateInstaller.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"

namespace
{

std::optional<bool> g_packageManagedForTesting;

QString tr(const char *key)
{
    return KZLocalizedString(key, "KZCheckForUpdates");
}

QByteArray bytes(const QString &path)
{
    return QFile::encodeName(path);
}

QString errnoText(int e)
{
    return QStringLiteral("errno:%1 (%2)").arg(e).arg(QString::fromLocal8Bit(std::strerror(e)));
}

bool isCleanRelative(const QString &path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('/')))
        return false;
    for (const QString &part : path.split(QLatin1Char('/')))
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    return true;
}

// Creates the parent folders of `path` below `root`, remembering those it made.
bool makeParents(const QString &root, const QString &rel, QStringList *created, QString *error)
{
    const QStringList parts = rel.split(QLatin1Char('/'));
    QString path = root;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        path += QLatin1Char('/') + parts.at(i);
        if (::mkdir(bytes(path).constData(), 0755) == 0) {
            if (created)
                created->append(path);
            continue;
        }
        struct stat st;
        if (errno == EEXIST && ::stat(bytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        *error = QStringLiteral("mkdir path:%1 %2").arg(path, errnoText(errno));
        return false;
    }
    return true;
}

// Copies a regular file or a symbolic link to `dst` through a temporary name
// beside it and a rename, so that `dst` is either the old or the new file.
bool copyEntry(const QString &src, const QString &dst, QString *error)
{
    struct stat st;
    if (::lstat(bytes(src).constData(), &st) != 0) {
        *error = QStringLiteral("lstat path:%1 %2").arg(src, errnoText(errno));
        return false;
    }
    const QFileInfo dstInfo(dst);
    const QByteArray tmp
        = bytes(dstInfo.path() + QStringLiteral("/.") + dstInfo.fileName() + QStringLiteral(".trovix-new"));
    ::unlink(tmp.constData());
    if (S_ISLNK(st.st_mode)) {
        QByteArray target(st.st_size + 1, '\0');
        const ssize_t n = ::readlink(bytes(src).constData(), target.data(), target.size());
        if (n < 0 || n >= target.size()) {
            *error = QStringLiteral("readlink path:%1 %2").arg(src, errnoText(errno));
            return false;
        }
        target.truncate(n);
        if (::symlink(target.constData(), tmp.constData()) != 0) {
            *error = QStringLiteral("symlink path:%1 %2").arg(QString::fromLocal8Bit(tmp), errnoText(errno));
            return false;
        }
    } else if (S_ISREG(st.st_mode)) {
        const int in = ::open(bytes(src).constData(), O_RDONLY | O_CLOEXEC);
        const int out = in < 0
            ? -1
            : ::open(tmp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, st.st_mode & 0777);
        bool ok = in >= 0 && out >= 0;
        int e = errno;
        char buffer[64 * 1024];
        while (ok) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n == 0)
                break;
            ok = n > 0 && ::write(out, buffer, static_cast<size_t>(n)) == n;
            e = errno;
        }
        if (ok && (::fchmod(out, st.st_mode & 07777) != 0 || ::fsync(out) != 0)) {
            ok = false;
            e = errno;
        }
        if (in >= 0)
            ::close(in);
        if (out >= 0 && ::close(out) != 0 && ok) {
            ok = false;
            e = errno;
        }
        if (!ok) {
            ::unlink(tmp.constData());
            *error = QStringLiteral("copy from:%1 to:%2 %3").arg(src, dst, errnoText(e));
            return false;
        }
    } else {
        *error = QStringLiteral("not a file or link path:%1").arg(src);
        return false;
    }
    if (::rename(tmp.constData(), bytes(dst).constData()) != 0) {
        const int e = errno;
        ::unlink(tmp.constData());
        *error = QStringLiteral("rename to:%1 %2").arg(dst, errnoText(e));
        return false;
    }
    return true;
}

} // namespace

bool KZUpdateInstaller::readInstalledFiles(const QString &listPath, QStringList *paths)
{
    QFile file(listPath);
    if (!file.open(QIODevice::ReadOnly)) {
        KZLOG_ERROR_F(QStringLiteral("open==NO path:%1 error:%2").arg(listPath, file.errorString()));
        return false;
    }
    paths->clear();
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QFile::decodeName(raw.trimmed());
        if (line.isEmpty())
            continue;
        if (!isCleanRelative(line)) {
            KZLOG_ERROR_F(QStringLiteral("refused line:%1 path:%2").arg(line, listPath));
            return false;
        }
        paths->append(line);
    }
    return true;
}

KZUpdateInstaller::Result KZUpdateInstaller::replaceInstalledFiles(
    const QString &prefix, const QString &newTree, const QString &backupDir, QString *error)
{
    const auto refuse = [&](const QString &log, const char *message) {
        KZLOG_ERROR_F(log);
        *error = tr(message);
        return FailedUnchanged;
    };
    if (g_packageManagedForTesting.value_or(false))
        return refuse(QStringLiteral("packageManaged==YES prefix:%1").arg(prefix),
            "Trovix was installed by your package manager; update it there.");
    QStringList oldPaths, newPaths;
    if (!readInstalledFiles(newTree + QLatin1Char('/') + KZInstalledFilesListPath, &newPaths) || newPaths.isEmpty())
        return refuse(QStringLiteral("newList==nil tree:%1").arg(newTree), "Can not found content of app");
    if (!readInstalledFiles(prefix + QLatin1Char('/') + KZInstalledFilesListPath, &oldPaths))
        return refuse(QStringLiteral("oldList==nil prefix:%1").arg(prefix), "Can not find the list of installed files");
    for (const QString &p : newPaths) {
        struct stat st;
        if (::lstat(bytes(newTree + QLatin1Char('/') + p).constData(), &st) != 0
            || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
            return refuse(QStringLiteral("missing path:%1 tree:%2").arg(p, newTree), "Can not found content of app");
    }
    const QSet<QString> newSet(newPaths.begin(), newPaths.end());
    QStringList all = oldPaths + newPaths;
    all.removeDuplicates();
    all.sort();

    // Every file that is there now goes into the backup before anything changes.
    QSet<QString> present;
    for (const QString &p : all) {
        struct stat st;
        const QString target = prefix + QLatin1Char('/') + p;
        if (::lstat(bytes(target).constData(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                continue;
            return refuse(
                QStringLiteral("lstat path:%1 %2").arg(target, errnoText(errno)), "Can not back up installed files");
        }
        QString why;
        if (S_ISDIR(st.st_mode))
            why = QStringLiteral("listed path is a folder:%1").arg(target);
        else if (makeParents(backupDir, p, nullptr, &why) && copyEntry(target, backupDir + QLatin1Char('/') + p, &why))
            why.clear();
        if (!why.isEmpty())
            return refuse(why, "Can not back up installed files");
        present.insert(p);
    }

    // The change, one file at a time; `touched` in the order done.
    QStringList touched, createdDirs;
    QString why;
    bool ok = true;
    for (const QString &p : all) {
        const QString target = prefix + QLatin1Char('/') + p;
        touched.append(p);
        if (newSet.contains(p)) {
            ok = makeParents(prefix, p, &createdDirs, &why) && copyEntry(newTree + QLatin1Char('/') + p, target, &why);
        } else if (::unlink(bytes(target).constData()) != 0 && errno != ENOENT) {
            why = QStringLiteral("unlink path:%1 %2").arg(target, errnoText(errno));
            ok = false;
        }
        if (!ok)
            break;
    }
    if (ok)
        return Installed;

    KZLOG_ERROR_F(QStringLiteral("replace failed: %1; restoring %2 files").arg(why).arg(touched.size()));
    bool restored = true;
    for (const QString &p : touched) {
        const QString target = prefix + QLatin1Char('/') + p;
        QString restoreWhy;
        if (present.contains(p)) {
            if (!copyEntry(backupDir + QLatin1Char('/') + p, target, &restoreWhy)) {
                KZLOG_ERROR_F(QStringLiteral("restore failed: %1").arg(restoreWhy));
                restored = false;
            }
        } else if (::unlink(bytes(target).constData()) != 0 && errno != ENOENT && errno != ENOTDIR) {
            KZLOG_ERROR_F(QStringLiteral("unlink path:%1 %2").arg(target, errnoText(errno)));
            restored = false;
        }
    }
    for (auto it = createdDirs.crbegin(); it != createdDirs.crend(); ++it)
        ::rmdir(bytes(*it).constData());
    *error = tr("Can not copy downloaded files (%@)").replace(QStringLiteral("%@"), why);
    return restored ? FailedUnchanged : FailedIncomplete;
}

QString KZUpdateInstaller::keepBackup(const QString &backup)
{
    QTemporaryDir kept(QDir::tempPath() + QStringLiteral("/org.trovix.Trovix-backup-XXXXXX"));
    const QString target = kept.path() + QStringLiteral("/files");
    if (!kept.isValid() || ::rename(bytes(backup).constData(), bytes(target).constData()) != 0) {
        KZLOG_ERROR_F(QStringLiteral("rename==NO backup:%1 errno:%2").arg(backup).arg(errno));
        return QString();
    }
    kept.setAutoRemove(false);
    return target;
}

QString KZUpdateInstaller::runningPrefix()
{
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    return QFileInfo(QFileInfo(exe).path()).path();
}

bool KZUpdateInstaller::isInstalledByPackageManager(const QString &executablePath)
{
    if (g_packageManagedForTesting)
        return *g_packageManagedForTesting;
    const QString path = QFileInfo(executablePath).canonicalFilePath();
    if (path.startsWith(QLatin1String("/usr/")) && !path.startsWith(QLatin1String("/usr/local/")))
        return true;
    int status = -1;
    QString out, err;
    return KZFunctions::executeCommand(
               QStringLiteral("/usr/bin/dpkg-query"), { QStringLiteral("-S"), path }, &status, &out, &err)
        && status == 0;
}

void KZUpdateInstaller::setInstalledByPackageManagerForTesting(std::optional<bool> owned)
{
    g_packageManagedForTesting = owned;
}

bool KZUpdateInstaller::canWriteInstalledFiles(const QString &prefix, const QStringList &paths)
{
    for (const QString &p : paths) {
        // The deepest folder that exists must be writable, and so must the file.
        QString dir = QFileInfo(prefix + QLatin1Char('/') + p).path();
        while (::access(bytes(dir).constData(), F_OK) != 0 && dir.size() > prefix.size())
            dir = QFileInfo(dir).path();
        if (::access(bytes(dir).constData(), W_OK) != 0)
            return false;
        const QByteArray file = bytes(prefix + QLatin1Char('/') + p);
        if (::access(file.constData(), F_OK) == 0 && ::access(file.constData(), W_OK) != 0)
            return false;
    }
    return true;
}

KZUpdateInstaller::Result KZUpdateInstaller::replaceWithPrivileges(
    const QString &helperPath, const QString &prefix, const QString &newTree, QString *error)
{
    int status = -1;
    QString out, err;
    const QString pkexec = QStringLiteral("/usr/bin/pkexec");
    if (!KZFunctions::executeCommand(pkexec, { helperPath, ReplaceOption, newTree, prefix }, &status, &out, &err)) {
        KZLOG_ERROR_F(QStringLiteral("executeCommand==NO path:%1").arg(pkexec));
        *error = tr("Can not get privileges");
        return FailedUnchanged;
    }
    // pkexec: 126 when the authorisation was refused or dismissed, 127 when
    // it could not ask.
    if (status == 126 || status == 127) {
        KZLOG_ERROR_F(QStringLiteral("pkexec status:%1 error:%2").arg(status).arg(err));
        *error = tr("Can not get privileges");
        return FailedUnchanged;
    }
    if (status == 0)
        return Installed;
    KZLOG_ERROR_F(QStringLiteral("pkexec status:%1 error:%2").arg(status).arg(err));
    *error = err.trimmed().isEmpty() ? tr("Can not copy downloaded files (with privileges)") : err.trimmed();
    return status == 3 ? FailedIncomplete : FailedUnchanged;
}

int KZUpdateInstaller::runReplaceCommand(const QStringList &arguments)
{
    if (arguments.size() != 2) {
        std::fputs("usage: trovix --replace-installed-files NEW_TREE PREFIX\n", stderr);
        return 2;
    }
    // A backup of its own, private to the account that runs it; kept when
    // some file could not be put back.
    QTemporaryDir backup(QDir::tempPath() + QStringLiteral("/org.trovix.Trovix-backup-XXXXXX"));
    if (!backup.isValid()) {
        std::fprintf(stderr, "%s\n", qPrintable(tr("Can not create temporary directory")));
        return 1;
    }
    QString error;
    const Result result = replaceInstalledFiles(arguments.at(1), arguments.at(0), backup.path(), &error);
    if (result == Installed)
        return 0;
    if (result == FailedIncomplete) {
        backup.setAutoRemove(false);
        error += QStringLiteral(" (backup: %1)").arg(backup.path());
    }
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return result == FailedIncomplete ? 3 : 1;
}
