#include "update/KZUpdateArchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <memory>

#include "support/KZLog.h"

namespace
{

// Lexically normalised, relative, inside the folder: no absolute name, no
// "..", not empty. Returns the cleaned name or empty when refused.
QByteArray cleanRelativeName(const QByteArray &name)
{
    if (name.isEmpty() || name.startsWith('/'))
        return QByteArray();
    QList<QByteArray> parts;
    for (const QByteArray &part : name.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            return QByteArray();
        parts.append(part);
    }
    return parts.join('/');
}

// A link stored at `entry` pointing at `target` stays inside the folder when
// the target, resolved against the entry's folder, never climbs above the root.
bool linkStaysInside(const QByteArray &entry, const QByteArray &target)
{
    if (target.isEmpty() || target.startsWith('/'))
        return false;
    int depth = static_cast<int>(entry.count('/'));
    for (const QByteArray &part : target.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        depth += part == ".." ? -1 : 1;
        if (depth < 0)
            return false;
    }
    return true;
}

bool fail(const QString &message, QString *error)
{
    KZLOG_ERROR_F(message);
    if (error)
        *error = message;
    return false;
}

struct ArchiveCloser {
    void operator()(archive *a) const { archive_read_free(a); }
};
struct WriterCloser {
    void operator()(archive *a) const { archive_write_free(a); }
};

} // namespace

bool kzExtractUpdateArchive(const QString &archivePath, const QString &destDir, QString *error)
{
    std::unique_ptr<archive, ArchiveCloser> reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    archive_read_support_filter_none(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), 64 * 1024) != ARCHIVE_OK)
        return fail(QStringLiteral("archive_read_open_filename path:%1 error:%2")
                        .arg(archivePath, QString::fromUtf8(archive_error_string(reader.get()))),
            error);
    std::unique_ptr<archive, WriterCloser> writer(archive_write_disk_new());
    // Our own checks come first; libarchive's secure flags stand behind them.
    archive_write_disk_set_options(writer.get(),
        ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS
            | ARCHIVE_EXTRACT_NO_OVERWRITE);
    // Entries are written under the folder's real path (no link on the way,
    // which the symbolic-link check would refuse).
    const QString realDest = QFileInfo(destDir).canonicalFilePath();
    if (realDest.isEmpty())
        return fail(QStringLiteral("canonicalFilePath==nil destDir:%1").arg(destDir), error);
    const QByteArray root = QFile::encodeName(realDest);
    archive_entry *entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK)
            return fail(QStringLiteral("archive_read_next_header error:%1")
                            .arg(QString::fromUtf8(archive_error_string(reader.get()))),
                error);
        const QByteArray rawName
            = archive_entry_pathname(entry) ? QByteArray(archive_entry_pathname(entry)) : QByteArray();
        const QByteArray name = cleanRelativeName(rawName);
        if (name.isEmpty())
            return fail(QStringLiteral("refused entry name:%1").arg(QString::fromUtf8(rawName)), error);
        if (archive_entry_hardlink(entry))
            return fail(QStringLiteral("refused hard link name:%1").arg(QString::fromUtf8(name)), error);
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFLNK) {
            const char *target = archive_entry_symlink(entry);
            if (!target || !linkStaysInside(name, target))
                return fail(QStringLiteral("refused link name:%1 target:%2")
                                .arg(QString::fromUtf8(name), QString::fromUtf8(target ? target : "")),
                    error);
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            return fail(
                QStringLiteral("refused entry name:%1 type:%2").arg(QString::fromUtf8(name)).arg(type, 0, 8), error);
        }
        const QByteArray full = root + '/' + name;
        archive_entry_set_pathname(entry, full.constData());
        // No set-id bits and nothing writable by others, whatever the archive says.
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0755);
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK)
            return fail(QStringLiteral("archive_write_header name:%1 error:%2")
                            .arg(QString::fromUtf8(name), QString::fromUtf8(archive_error_string(writer.get()))),
                error);
        if (type == AE_IFREG && archive_entry_size(entry) > 0) {
            const void *block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            int r;
            while ((r = archive_read_data_block(reader.get(), &block, &size, &offset)) == ARCHIVE_OK) {
                if (archive_write_data_block(writer.get(), block, size, offset) != ARCHIVE_OK)
                    return fail(
                        QStringLiteral("archive_write_data_block name:%1 error:%2")
                            .arg(QString::fromUtf8(name), QString::fromUtf8(archive_error_string(writer.get()))),
                        error);
            }
            if (r != ARCHIVE_EOF)
                return fail(QStringLiteral("archive_read_data_block name:%1 error:%2")
                                .arg(QString::fromUtf8(name), QString::fromUtf8(archive_error_string(reader.get()))),
                    error);
        }
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK)
            return fail(QStringLiteral("archive_write_finish_entry name:%1 error:%2")
                            .arg(QString::fromUtf8(name), QString::fromUtf8(archive_error_string(writer.get()))),
                error);
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return fail(
            QStringLiteral("archive_write_close error:%1").arg(QString::fromUtf8(archive_error_string(writer.get()))),
            error);
    return true;
}
