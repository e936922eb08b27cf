#include "support/KZArchive.h"

#include <unistd.h>

#include <QCborMap>
#include <QCborParserError>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "support/KZFileSafety.h"
#include "support/KZLog.h"

namespace {

const QString kClassKey = QStringLiteral("class");
const QString kVersionKey = QStringLiteral("version");
const QString kObjectKey = QStringLiteral("object");

// Archives larger than this are not ours; refusing them keeps a stray huge file
// from exhausting memory.
constexpr qint64 kMaxArchiveSize = 256LL * 1024 * 1024;

} // namespace

bool kz_archiveObjectToFile(const KZArchivedObject &archive, const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && info.isDir()) {
        KZLOG_ERROR_F(QStringLiteral("fileExistsAtPath==YES isDir==YES path:%1").arg(path));
        return false;
    }
    const QString parent = info.absolutePath();
    const QFileInfo parentInfo(parent);
    if (!parentInfo.exists() || !parentInfo.isDir()) {
        KZLOG_ERROR_F(QStringLiteral("fileExistsAtPath==NO path:%1").arg(parent));
        return false;
    }
    if (access(QFile::encodeName(parent).constData(), W_OK) != 0) {
        KZLOG_ERROR_F(QStringLiteral("isWritableFileAtPath==NO path:%1").arg(parent));
        return false;
    }

    QCborMap root;
    root.insert(kClassKey, archive.className);
    root.insert(kVersionKey, archive.version);
    root.insert(kObjectKey, archive.object);
    const QByteArray bytes = QCborValue(root).toCbor();

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        KZLOG_ERROR_F(QStringLiteral("exception:%1 path:%2").arg(file.errorString(), path));
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        KZLOG_ERROR_F(QStringLiteral("exception:%1 path:%2").arg(file.errorString(), path));
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        KZLOG_ERROR_F(QStringLiteral("exception:%1 path:%2").arg(file.errorString(), path));
        return false;
    }
    return true;
}

std::optional<KZArchivedObject> kz_archivedObjectFromData(const QByteArray &data, const QString &expectedClass,
                                                          QString *problem)
{
    QCborParserError parseError;
    const QCborValue value = QCborValue::fromCbor(data, &parseError);
    if (parseError.error != QCborError::NoError) {
        *problem = parseError.errorString();
        return std::nullopt;
    }
    if (!value.isMap()) {
        *problem = QStringLiteral("not an archive");
        return std::nullopt;
    }
    const QCborMap root = value.toMap();
    KZArchivedObject archive;
    archive.className = root.value(kClassKey).toString();
    // Only an integer is a version: converting any other number could overflow.
    const QCborValue version = root.value(kVersionKey);
    archive.version = version.isInteger() ? version.toInteger() : 1;
    archive.object = root.value(kObjectKey);
    if (archive.className != expectedClass) {
        *problem = QStringLiteral("class %1 where %2 was expected").arg(archive.className, expectedClass);
        return std::nullopt;
    }
    if (!root.contains(kObjectKey)) {
        *problem = QStringLiteral("no object");
        return std::nullopt;
    }
    return archive;
}

std::optional<KZArchivedObject> kz_unarchivedObjectAtFile(const QString &path, const QString &expectedClass,
                                                          QString *setAsidePath)
{
    if (setAsidePath)
        *setAsidePath = QString();
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return std::nullopt;

    QString problem;
    QByteArray bytes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
    } else if (file.size() > kMaxArchiveSize) {
        problem = QStringLiteral("archive too large (%1 bytes)").arg(file.size());
    } else {
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            problem = file.errorString();
    }

    if (problem.isEmpty()) {
        std::optional<KZArchivedObject> archive = kz_archivedObjectFromData(bytes, expectedClass, &problem);
        if (archive)
            return archive;
    }

    KZLOG_ERROR_F(QStringLiteral("exception:%1 filePath:%2").arg(problem, path));
    file.close();
    const QString aside = kzSetFileAside(path, /*move=*/true);
    if (setAsidePath)
        *setAsidePath = aside;
    return std::nullopt;
}
