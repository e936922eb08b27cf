// Keyed archives: objects that must survive launches are written as CBOR maps
// {"class", "version", "object"} with the design's keys inside "object".
// Writes are atomic (QSaveFile); an archive that cannot be read is set aside as
// NAME.bad and reads as none, so the next save never overwrites the user's data.
#pragma once

#include <QCborValue>
#include <QString>
#include <optional>

// The archive of one object. The class name is checked when reading.
struct KZArchivedObject {
    QString className;
    qint64 version = 1;
    QCborValue object;
};

// Refuses (logs and returns false) when path is an existing folder
// ("fileExistsAtPath==YES isDir==YES path:%@"), when its parent folder does not
// exist ("fileExistsAtPath==NO path:%@") or is not writable
// ("isWritableFileAtPath==NO path:%@"); a failed write is logged as
// "exception:%@ path:%@" and leaves any earlier archive untouched.
bool kz_archiveObjectToFile(const KZArchivedObject &archive, const QString &path);

// The archive held in data (an archive file's bytes). None, with the reason in
// problem, when data does not parse, is not an archive or holds another class.
std::optional<KZArchivedObject> kz_archivedObjectFromData(const QByteArray &data, const QString &expectedClass,
                                                          QString *problem);

// None when nothing is at path or it is a folder. An existing file that cannot
// be read, does not parse, or holds another class is logged
// ("exception:%@ filePath:%@"), moved aside to "path.bad" and read as none.
// setAsidePath, when given, receives where it went (null when not moved).
std::optional<KZArchivedObject> kz_unarchivedObjectAtFile(const QString &path, const QString &expectedClass,
                                                          QString *setAsidePath = nullptr);
