#include "results/KZFinderTools.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <mutex>
#include <optional>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QStandardPaths>

#include "engine/KZCFileTools.h"
#include "platform/KZGuardedFS.h"
#include "platform/KZTrash.h"
#include "platform/KZWorkspaceFileLabels.h"
#include "results/KZFileViewer.h"
#include "support/KZLocalization.h"

namespace {

QString cleanPath(const QString &path)
{
    QString clean = QDir::cleanPath(path);
    return clean.isEmpty() ? path : clean;
}

// The parent is writable and, under a sticky parent, the entry or the parent is ours.
bool isDeletable(const QByteArray &path, const struct stat &entry)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray parent = slash <= 0 ? QByteArray("/") : path.left(slash);
    struct stat dir;
    if (::stat(parent.constData(), &dir) != 0 || ::access(parent.constData(), W_OK | X_OK) != 0)
        return false;
    if (!(dir.st_mode & S_ISVTX))
        return true;
    const uid_t me = ::geteuid();
    return me == 0 || entry.st_uid == me || dir.st_uid == me;
}

} // namespace

QStringList KZFinderTools::protectedPaths()
{
    static std::mutex mutex;
    static QString home;
    static QStringList paths;
    std::lock_guard<std::mutex> lock(mutex);
    const QString currentHome = cleanPath(QDir::homePath());
    if (currentHome == home && !paths.isEmpty())
        return paths;
    home = currentHome;
    paths = QStringList{home};
    for (auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
                          QStandardPaths::DownloadLocation, QStandardPaths::MusicLocation,
                          QStandardPaths::PicturesLocation, QStandardPaths::MoviesLocation,
                          QStandardPaths::PublicShareLocation, QStandardPaths::TemplatesLocation}) {
        const QString dir = QStandardPaths::writableLocation(location);
        if (!dir.isEmpty())
            paths.append(cleanPath(dir));
    }
    for (const char *rel : {".config", ".local", ".local/share", ".cache", ".ssh", ".gnupg", ".mozilla", ".thunderbird"})
        paths.append(home + QLatin1Char('/') + QLatin1String(rel));
    paths.removeDuplicates();
    return paths;
}

namespace {

struct TrashStatus {
    int status = 1;
    const char *message = nullptr;
};

TrashStatus trashStatusOf(const QByteArray &bytes, const QString &path)
{
    struct stat entry;
    if (::lstat(bytes.constData(), &entry) != 0)
        return {0, "The file does not exist."};
    if (!isDeletable(bytes, entry))
        return {0, "Delete Access is not allowed."};
    if (!S_ISLNK(entry.st_mode) && ::access(bytes.constData(), W_OK) != 0)
        return {0, "Write Access is not allowed."};
    if (KZFinderTools::protectedPaths().contains(cleanPath(path)))
        return {-1, "Deleting user directory is not allowed."};
    if (!kzplatform::kzCanTrash(path))
        return {0, "This volume has no Trash."};
    return {};
}

} // namespace

int KZFinderTools::trashableStatusForFile(const QString &path, int mode, QString *reason)
{
    Q_UNUSED(mode);
    const QByteArray bytes = path.isEmpty() ? QByteArray() : QFile::encodeName(path);
    TrashStatus answer{0, "The file does not exist."};
    if (bytes.startsWith('/')) {
        // A network volume that does not answer holds up no one.
        int err = 0;
        const std::optional<TrashStatus> checked = kzplatform::kzCallForPath<TrashStatus>(
            bytes, kzplatform::kzDefaultProbeTimeoutMs, [bytes, path] { return trashStatusOf(bytes, path); }, &err);
        answer = checked ? *checked : TrashStatus{0, "The volume does not answer."};
    }
    if (reason && answer.message)
        *reason = KZLocalizedString(answer.message);
    return answer.status;
}

int KZFinderTools::trashableStatusForFiles(const QStringList &paths, QString *reason)
{
    int status = 1;
    QString first;
    for (const QString &path : paths) {
        QString why;
        const int one = trashableStatusForFile(path, 1, &why);
        if (one != 1 && status == 1)
            first = why;
        status = std::min(status, one);
    }
    if (reason && status != 1)
        *reason = first;
    return status;
}

bool KZFinderTools::displayFinderGetInfoOfPath(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path) || !KZFileViewer::hasFileManager())
        return false;
    return KZFileViewer::displayInfoOfURLs({QUrl::fromLocalFile(path)});
}

QList<KZFinderTools::LabelBadge> KZFinderTools::finderLabelsAsNameAndBadges()
{
    QList<LabelBadge> badges;
    const QList<kzplatform::KZFileLabel> &labels = kzplatform::kzWorkspaceFileLabels();
    for (qsizetype i = 1; i < labels.size(); ++i) {
        QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor::fromRgb(labels.at(i).rgb));
        p.setPen(QColor::fromRgbF(0.5, 0.5, 0.5, 0.33));
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.end();
        badges.append({labels.at(i).name, image});
    }
    return badges;
}

bool KZFinderTools::isVolumeSystemHiddenFilename(const QString &name, int mode)
{
    if (name.isNull())
        return false;
    const QByteArray bytes = QFile::encodeName(name);
    return KZIsVolumeSystemHiddenFilename(bytes.constData(), size_t(bytes.size()), mode);
}
