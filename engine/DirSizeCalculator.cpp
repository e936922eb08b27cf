#include "engine/DirSizeCalculator.h"

#include <dirent.h>
#include <fcntl.h>
#include <climits>
#include <cstring>
#include <functional>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QPointer>

#include "platform/KZDirStream.h"
#include "platform/KZPosixFS.h"
#include "support/KZHandOver.h"
#include "support/KZLog.h"
#include "support/KZNotificationCenter.h"

namespace {

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// One level of the count. path holds the folder's path (pathLength bytes) and
// has room for PATH_MAX bytes; entry paths are built in it in place. Buffers
// for directory streams are kept per depth and reused.
int countDirectory(int parentFd, const char *name, char *path, size_t pathLength, size_t depth,
                   std::vector<std::unique_ptr<char[]>> &buffers, KZDirectoryStatistics *stats)
{
    if (pathLength == 0) {
        KZLOG_ERROR_F(QStringLiteral("dirPathL==0 dirPath:%1").arg(QString::fromUtf8(path)));
        return -1;
    }
    if (buffers.size() <= depth) {
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[kzplatform::KZDirStream::kDefaultBufferSize]);
        if (!buffer)
            return -3;
        buffers.push_back(std::move(buffer));
    }
    kzplatform::KZDirStream dir(buffers[depth].get(), kzplatform::KZDirStream::kDefaultBufferSize);
    const int opened = parentFd >= 0 ? dir.openAt(parentFd, name) : dir.openPath(path);
    if (opened != 0) {
        const int err = errno;
        KZLOG_ERROR_F(QStringLiteral("dir==NULL dirPath:%1 errno:%2 (%3)")
                          .arg(QFile::decodeName(path)).arg(err).arg(errnoText(err)));
        return -2;
    }
    const bool endsWithSlash = path[pathLength - 1] == '/';
    kzplatform::KZDirEntry entry;
    int rc;
    while ((rc = dir.read(&entry)) == 1) {
        if (entry.nameLength == 0 || (entry.name[0] == '.' && (entry.nameLength == 1 || (entry.nameLength == 2 && entry.name[1] == '.'))))
            continue;
        const size_t entryLength = pathLength + entry.nameLength + (endsWithSlash ? 0 : 1);
        if (entryLength >= PATH_MAX - 1) {
            KZLOG_ERROR_F(QStringLiteral("entryPathL>=MAXPATHLEN entryPathL:%1").arg(entryLength));
            continue; // only this entry is left out
        }
        size_t at = pathLength;
        if (!endsWithSlash)
            path[at++] = '/';
        std::memcpy(path + at, entry.name, entry.nameLength);
        path[entryLength] = '\0';

        unsigned char type = entry.type;
        if (type == DT_UNKNOWN)
            type = kzplatform::kzEntryTypeAt(dir.fd(), entry.name);
        if (type == DT_DIR) {
            stats->dirs += 1;
            const int child = countDirectory(dir.fd(), entry.name, path, entryLength, depth + 1, buffers, stats);
            if (child != 0)
                KZLOG_ERROR_F(QStringLiteral("GetDirectoryStatistics:%1 entryPath:%2").arg(child).arg(QFile::decodeName(path)));
        } else if (type == DT_LNK) {
            stats->links += 1;
        } else if (type == DT_REG) {
            stats->files += 1;
            kzplatform::KZStat st;
            if (kzplatform::kzStatAt(dir.fd(), entry.name, &st) == 0) {
                stats->totalSize += static_cast<uint64_t>(st.size);
            } else {
                const int err = errno;
                KZLOG_ERROR_F(QStringLiteral("stat==-1 entryPath:%1 errno:%2 (%3)")
                                  .arg(QFile::decodeName(path)).arg(err).arg(errnoText(err)));
            }
        }
        path[pathLength] = '\0';
    }
    if (rc < 0) {
        const int err = errno;
        KZLOG_ERROR_F(QStringLiteral("readdir errno:%1 (%2) dirPath:%3").arg(err).arg(errnoText(err), QFile::decodeName(path)));
    }
    if (dir.close() != 0)
        KZLOG_ERROR_F(QStringLiteral("closeDir!=0 dirPath:%1 errno:%2").arg(QFile::decodeName(path)).arg(errno));
    return 0;
}

} // namespace

int GetDirectoryStatistics(const char *dirPath, KZDirectoryStatistics *stats)
{
    const size_t length = dirPath ? std::strlen(dirPath) : 0;
    if (length == 0) {
        KZLOG_ERROR_F(QStringLiteral("dirPathL==0 dirPath:%1").arg(QString::fromUtf8(dirPath ? dirPath : "")));
        return -1;
    }
    if (length >= PATH_MAX - 1) {
        KZLOG_ERROR_F(QStringLiteral("entryPathL>=MAXPATHLEN entryPathL:%1").arg(length));
        return -4;
    }
    std::unique_ptr<char[]> path(new (std::nothrow) char[PATH_MAX]);
    if (!path)
        return -3;
    std::memcpy(path.get(), dirPath, length + 1);
    std::vector<std::unique_ptr<char[]>> buffers;
    return countDirectory(-1, nullptr, path.get(), length, 0, buffers, stats);
}

bool KZGetDirectoryStatistics(KZDirectoryStatistics *stats, const QString &dirPath)
{
    // The root and the folders that hold every mounted volume are never counted.
    if (dirPath == QLatin1String("/") || dirPath == QLatin1String("/media") || dirPath == QLatin1String("/mnt"))
        return false;
    const QByteArray bytes = QFile::encodeName(dirPath);
    return GetDirectoryStatistics(bytes.constData(), stats) == 0;
}

DirSizeCalculator::DirSizeCalculator(QObject *parent)
    : QObject(parent)
{
    m_opQueue.setMaxThreadCount(4);
}

DirSizeCalculator *DirSizeCalculator::sharedInstance()
{
    static QPointer<DirSizeCalculator> instance;
    if (!instance) {
        instance = new DirSizeCalculator;
        if (QCoreApplication *app = QCoreApplication::instance()) {
            instance->setParent(app);
        }
    }
    return instance;
}

std::optional<quint64> DirSizeCalculator::sizeOfDirPath(const QString &path, bool *isCalculating) const
{
    const auto it = _dirSizes.constFind(path);
    if (it == _dirSizes.constEnd())
        return std::nullopt;
    if (isCalculating)
        *isCalculating = it->op != 0;
    return it->size;
}

bool DirSizeCalculator::startCalculateSizeOfDirPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    Entry &entry = _dirSizes[path];
    if (entry.op != 0)
        return false;
    entry.op = ++m_nextOp;
    const quint64 op = entry.op;
    QPointer<DirSizeCalculator> self(this);
    std::function<void()> count = [self, path, op] {
        kzHandOverAcquire();
        KZDirectoryStatistics stats;
        if (!KZGetDirectoryStatistics(&stats, path))
            KZLog::logError(KZFunctionMessage("operation", __LINE__, QStringLiteral("KZGetDirectoryStatistics==false path:%1").arg(path)));
        const QVariantMap result{{QStringLiteral("path"), path},
                                 {QStringLiteral("totalSize"), quint64(stats.totalSize)},
                                 {QStringLiteral("op"), op}};
        kzHandOverRelease();
        if (self)
            QMetaObject::invokeMethod(self, [self, result] {
                kzHandOverAcquire();
                if (self)
                    self->mt_didFinished(result);
            }, Qt::QueuedConnection);
    };
    kzHandOverRelease();
    m_opQueue.start(std::move(count));
    return true;
}

void DirSizeCalculator::cancellAll()
{
    m_opQueue.clear(); // counts not yet started never run
    _dirSizes.clear();
}

void DirSizeCalculator::mt_didFinished(const QVariantMap &result)
{
    const QString path = result.value(QStringLiteral("path")).toString();
    auto it = _dirSizes.find(path);
    if (it == _dirSizes.end() || it->op == 0)
        return;
    // A count started before cancellAll must not finish a newer one.
    if (result.contains(QStringLiteral("op")) && result.value(QStringLiteral("op")).toULongLong() != it->op)
        return;
    it->op = 0;
    it->size = result.value(QStringLiteral("totalSize")).toULongLong();
    KZNotificationCenter::defaultCenter()->post(
        DirSizeCalculatorUpdatedNotification, this,
        {{QStringLiteral("kind"), 1}, {QStringLiteral("path"), path}, {QStringLiteral("totalSize"), *it->size}});
}
