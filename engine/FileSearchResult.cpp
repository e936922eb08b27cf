#include "engine/FileSearchResult.h"

#include <cstring>
#include <sys/stat.h>

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
    std::shared_ptr<FileSearchResult> result(new FileSearchResult);
    result->_cPath = QByteArray(path, static_cast<qsizetype>(length));
    result->_path = QString::fromUtf8(result->_cPath);
    qsizetype slash = result->_path.lastIndexOf(QLatin1Char('/'));
    // "/a/b/" names "b"
    if (slash == result->_path.size() - 1 && slash > 0)
        slash = result->_path.lastIndexOf(QLatin1Char('/'), slash - 1);
    result->_fileName = result->_path.mid(slash + 1);
    if (result->_fileName.endsWith(QLatin1Char('/')) && result->_fileName.size() > 1)
        result->_fileName.chop(1);
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
    if (!_dateModified.isValid())
        _dateModified = QDateTime::fromSecsSinceEpoch(_statInfos.st_mtimespec.tv_sec, Qt::LocalTime);
    return _dateModified;
}

QDateTime FileSearchResult::dateCreated() const
{
    if (!_dateCreated.isValid())
        _dateCreated = QDateTime::fromSecsSinceEpoch(_statInfos.st_birthtimespec.tv_sec, Qt::LocalTime);
    return _dateCreated;
}

QUrl FileSearchResult::fileURL() const
{
    if (_cPath.isEmpty())
        return QUrl();
    if (_fileURL.isEmpty()) {
        // From the bytes, so that a name in another encoding keeps its exact bytes.
        _fileURL = QUrl::fromEncoded("file://" + _cPath.toPercentEncoding("/"), QUrl::StrictMode);
    }
    return _fileURL;
}

QString FileSearchResult::dirPath() const
{
    if (_dirPath.isNull()) {
        QString p = _path;
        while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
            p.chop(1);
        const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
        _dirPath = slash <= 0 ? QStringLiteral("/") : p.left(slash);
    }
    return _dirPath;
}

int FileSearchResult::updateStatus()
{
    kzplatform::KZStat st;
    if (_cPath.isEmpty() || kzplatform::kzLstat(_cPath.constData(), &st) != 0) {
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
    _fileURL.clear();
    attributesChanged();
    return 1;
}

void FileSearchResult::attributesChanged()
{
    _fileIcon.clear();
    _displayDirPath.clear();
    _dirPath = QString();
    _dateModified = QDateTime();
    _dateCreated = QDateTime();
}

QString FileSearchResult::description() const
{
    return QStringLiteral("<%1 %2 path:%3 isValid:%4>")
        .arg(QStringLiteral("FileSearchResult"))
        .arg(QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(this), 16))
        .arg(_path)
        .arg(_isValid ? 1 : 0);
}
