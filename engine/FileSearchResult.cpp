#include "engine/FileSearchResult.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "platform/KZGuardedFS.h"

FileSearchResultStatInfo FileSearchResultStatInfo::fromStat(const kzplatform::KZStat &st)
{
    FileSearchResultStatInfo info;
    info.st_mode = static_cast<uint16_t>(st.mode);
    info.st_mtimespec = {st.mtime.tv_sec, st.mtime.tv_nsec};
    info.st_birthtimespec = {st.btime.tv_sec, st.btime.tv_nsec};
    info.st_size = st.size;
    return info;
}

int32_t FileSearchResult::typeOfMode(uint16_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG: return TypeRegularFile;
    case S_IFDIR: return TypeDirectory;
    case S_IFLNK: return TypeSymLink;
    default: return 0;
    }
}

std::shared_ptr<FileSearchResult> FileSearchResult::initWithPath(const char *path, int32_t type,
                                                                 const kzplatform::KZStat &st)
{
    if (!path)
        return nullptr;
    return initWithPath(path, std::strlen(path), type, FileSearchResultStatInfo::fromStat(st), true);
}

std::shared_ptr<FileSearchResult> FileSearchResult::initWithPath(const char *path, size_t length, int32_t type,
                                                                 const FileSearchResultStatInfo &info,
                                                                 bool hasStatInfos)
{
    if (!path || length == 0)
        return nullptr;
    if (type != TypeRegularFile && type != TypeDirectory && type != TypeSymLink)
        return nullptr;
    auto result = std::make_shared<FileSearchResult>(Private{});
    result->_cPath = QByteArray(path, static_cast<qsizetype>(length));
    result->_type = type;
    result->_statInfos = info;
    result->_hasStatInfos = hasStatInfos;
    result->_isValid = true;
    return result;
}

int64_t FileSearchResult::fileSize() const
{
    return isRegularFile() ? _statInfos.st_size : 0;
}

double FileSearchResult::modificationDate() const
{
    return static_cast<double>(_statInfos.st_mtimespec.tv_sec);
}

double FileSearchResult::creationDate() const
{
    return static_cast<double>(_statInfos.st_birthtimespec.tv_sec);
}

QDateTime FileSearchResult::dateModified() const
{
    Details &d = details();
    if (!d.dateModified.isValid())
        d.dateModified = QDateTime::fromSecsSinceEpoch(_statInfos.st_mtimespec.tv_sec, Qt::LocalTime);
    return d.dateModified;
}

QDateTime FileSearchResult::dateCreated() const
{
    Details &d = details();
    if (!d.dateCreated.isValid())
        d.dateCreated = QDateTime::fromSecsSinceEpoch(_statInfos.st_birthtimespec.tv_sec, Qt::LocalTime);
    return d.dateCreated;
}

QUrl FileSearchResult::fileURL() const
{
    if (_cPath.isEmpty())
        return QUrl();
    Details &d = details();
    if (d.fileURL.isEmpty()) {
        // From the bytes, so that a name in another encoding keeps its exact bytes.
        d.fileURL = QUrl::fromEncoded("file://" + _cPath.toPercentEncoding("/"), QUrl::StrictMode);
    }
    return d.fileURL;
}

QString FileSearchResult::dirPath() const
{
    Details &d = details();
    if (d.dirPath.isNull()) {
        QString p = d.path;
        while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
            p.chop(1);
        const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
        d.dirPath = slash <= 0 ? QStringLiteral("/") : p.left(slash);
    }
    return d.dirPath;
}

FileSearchResult::~FileSearchResult()
{
    delete _details.load(std::memory_order_acquire);
}

FileSearchResult::Details &FileSearchResult::makeDetails() const
{
    auto *made = new Details;
    made->path = QString::fromUtf8(_cPath);
    qsizetype slash = made->path.lastIndexOf(QLatin1Char('/'));
    // "/a/b/" names "b"
    if (slash == made->path.size() - 1 && slash > 0)
        slash = made->path.lastIndexOf(QLatin1Char('/'), slash - 1);
    made->fileName = made->path.mid(slash + 1);
    if (made->fileName.endsWith(QLatin1Char('/')) && made->fileName.size() > 1)
        made->fileName.chop(1);
    // Two threads may both get here first: one set of details wins.
    Details *expected = nullptr;
    if (_details.compare_exchange_strong(expected, made, std::memory_order_acq_rel))
        return *made;
    delete made;
    return *expected;
}

int FileSearchResult::updateStatus()
{
    kzplatform::KZStat st;
    // Time-boxed: the results list re-checks its rows on the GUI thread.
    if (_cPath.isEmpty() || kzplatform::kzLstatGuarded(_cPath, &st) != 0) {
        if (!_cPath.isEmpty() && (errno == ETIMEDOUT || errno == ENOMEDIUM))
            return 0; // no answer: nothing is known to have changed
        _isValid = false;
        return -1;
    }
    const FileSearchResultStatInfo info = FileSearchResultStatInfo::fromStat(st);
    if (_hasStatInfos && info == _statInfos) {
        _isValid = true;
        return 0;
    }
    const int32_t type = typeOfMode(info.st_mode);
    if (type == 0) {
        _isValid = false;
        return -1;
    }
    _type = type;
    _statInfos = info;
    _hasStatInfos = true;
    _isValid = true;
    if (Details *d = _details.load(std::memory_order_acquire))
        d->fileURL.clear();
    attributesChanged();
    return 1;
}

void FileSearchResult::attributesChanged()
{
    Details *d = _details.load(std::memory_order_acquire);
    if (!d)
        return;
    d->fileIcon.clear();
    d->displayDirPath.clear();
    d->dirPath = QString();
    d->dateModified = QDateTime();
    d->dateCreated = QDateTime();
}

QString FileSearchResult::description() const
{
    return QStringLiteral("<%1 %2 path:%3 isValid:%4>")
        .arg(QStringLiteral("FileSearchResult"))
        .arg(QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(this), 16))
        .arg(path())
        .arg(_isValid ? 1 : 0);
}
