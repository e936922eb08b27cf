#include "engine/FileSearchResult.h"

#include <cerrno>
#include <cstring>
#include <new>
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

namespace {

// Where allocate_shared's block ends: the path bytes go there.
struct PathTail {
    size_t size = 0;
    char *bytes = nullptr;
};

// Makes allocate_shared's one block (count and record) larger by the path
// bytes, so that a record costs a single allocation.
template <class T>
struct PathTailAllocator {
    using value_type = T;
    PathTail *tail;

    explicit PathTailAllocator(PathTail *t)
        : tail(t)
    {
    }
    template <class U>
    PathTailAllocator(const PathTailAllocator<U> &other)
        : tail(other.tail)
    {
    }
    T *allocate(size_t n)
    {
        const size_t head = n * sizeof(T);
        char *block = static_cast<char *>(::operator new(head + tail->size));
        tail->bytes = block + head;
        return reinterpret_cast<T *>(block);
    }
    void deallocate(T *p, size_t) noexcept { ::operator delete(p); }
    template <class U>
    bool operator==(const PathTailAllocator<U> &other) const
    {
        return tail == other.tail;
    }
};

} // namespace

std::shared_ptr<FileSearchResult> FileSearchResult::initWithPath(const char *path, size_t length, int32_t type,
                                                                 const FileSearchResultStatInfo &info,
                                                                 bool hasStatInfos)
{
    if (!path || length == 0 || length > UINT32_MAX - 1)
        return nullptr;
    if (type != TypeRegularFile && type != TypeDirectory && type != TypeSymLink)
        return nullptr;
    PathTail tail{length + 1, nullptr};
    auto result = std::allocate_shared<FileSearchResult>(PathTailAllocator<FileSearchResult>(&tail), Private{});
    std::memcpy(tail.bytes, path, length);
    tail.bytes[length] = '\0';
    result->_cPath = tail.bytes;
    result->_cPathLength = static_cast<uint32_t>(length);
    result->_type = static_cast<char>(type);
    result->setStatInfos(info);
    result->_hasStatInfos = hasStatInfos;
    result->_isValid = true;
    return result;
}

void FileSearchResult::setStatInfos(const FileSearchResultStatInfo &info)
{
    _mode = info.st_mode;
    _mtimeSec = info.st_mtimespec.tv_sec;
    _mtimeNsec = static_cast<int32_t>(info.st_mtimespec.tv_nsec);
    _btimeSec = info.st_birthtimespec.tv_sec;
    _btimeNsec = static_cast<int32_t>(info.st_birthtimespec.tv_nsec);
    _size = info.st_size;
}

FileSearchResultStatInfo FileSearchResult::statInfos() const
{
    FileSearchResultStatInfo info;
    info.st_mode = _mode;
    info.st_mtimespec = {_mtimeSec, _mtimeNsec};
    info.st_birthtimespec = {_btimeSec, _btimeNsec};
    info.st_size = _size;
    return info;
}

int64_t FileSearchResult::fileSize() const
{
    return isRegularFile() ? _size : 0;
}

double FileSearchResult::modificationDate() const
{
    return static_cast<double>(_mtimeSec);
}

double FileSearchResult::creationDate() const
{
    return static_cast<double>(_btimeSec);
}

QDateTime FileSearchResult::dateModified() const
{
    Details &d = details();
    if (!d.dateModified.isValid())
        d.dateModified = QDateTime::fromSecsSinceEpoch(_mtimeSec, Qt::LocalTime);
    return d.dateModified;
}

QDateTime FileSearchResult::dateCreated() const
{
    Details &d = details();
    if (!d.dateCreated.isValid())
        d.dateCreated = QDateTime::fromSecsSinceEpoch(_btimeSec, Qt::LocalTime);
    return d.dateCreated;
}

QUrl FileSearchResult::fileURL() const
{
    if (_cPathLength == 0)
        return QUrl();
    Details &d = details();
    if (d.fileURL.isEmpty()) {
        // From the bytes, so that a name in another encoding keeps its exact bytes.
        const QByteArray bytes = QByteArray::fromRawData(_cPath, qsizetype(_cPathLength));
        d.fileURL = QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
    }
    return d.fileURL;
}

QByteArrayView FileSearchResult::dirPathBytes() const
{
    size_t end = _cPathLength;
    // "/a/b/" is in "/a"
    while (end > 1 && _cPath[end - 1] == '/')
        --end;
    const void *slash = end ? ::memrchr(_cPath, '/', end) : nullptr;
    if (!slash || slash == _cPath)
        return QByteArrayView("/", 1);
    return QByteArrayView(_cPath, static_cast<const char *>(slash) - _cPath);
}

QString FileSearchResult::dirPath() const
{
    Details &d = details();
    // A multi-byte sequence never spans a '/', so the folder's bytes decode
    // to the start of the decoded path.
    if (d.dirPath.isNull())
        d.dirPath = QString::fromUtf8(dirPathBytes());
    return d.dirPath;
}

FileSearchResult::~FileSearchResult()
{
    delete _details.load(std::memory_order_acquire);
}

FileSearchResult::Details &FileSearchResult::makeDetails() const
{
    auto *made = new Details;
    made->path = QString::fromUtf8(_cPath, qsizetype(_cPathLength));
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
    if (_cPathLength == 0 || kzplatform::kzLstatGuarded(cPath(), &st) != 0) {
        if (_cPathLength != 0 && (errno == ETIMEDOUT || errno == ENOMEDIUM))
            return 0; // no answer: nothing is known to have changed
        _isValid = false;
        return -1;
    }
    const FileSearchResultStatInfo info = FileSearchResultStatInfo::fromStat(st);
    if (_hasStatInfos && info == statInfos()) {
        _isValid = true;
        return 0;
    }
    const int32_t type = typeOfMode(info.st_mode);
    if (type == 0) {
        _isValid = false;
        return -1;
    }
    _type = static_cast<char>(type);
    setStatInfos(info);
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
