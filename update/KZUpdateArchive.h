// Unpacks an update's zip archive into a folder, refusing every entry that
// could write elsewhere or make something that is not plain data: absolute
// names, "..", links that point outside the folder, and anything that is not a
// regular file, a folder or a symbolic link (devices, FIFOs, sockets, hard links).
#pragma once

#include <QString>

// destDir must exist and be empty. False with *error (logged) on the first
// refused entry or failure; what was unpacked before stays in destDir, which
// the caller removes.
bool kzExtractUpdateArchive(const QString &archivePath, const QString &destDir, QString *error);
