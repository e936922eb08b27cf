// Results written out for other programs: one JSON object per result (the
// lines of `trovix-find --json`), CSV rows and plain paths, and a whole list
// written atomically to a file in the format its name asks for. Qt Core only.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <cstdint>

#include "engine/FileSearchResult.h"

// What is written of one result, copied from the record on the thread that
// owns it, so that a worker can write it while the list goes on changing.
struct FileSearchResultExportRow {
    QByteArray cPath;
    int32_t type = 0;
    int64_t size = 0;
    int64_t modified = 0; // seconds since 1970
    int64_t created = 0;

    static FileSearchResultExportRow fromResult(const FileSearchResult &result);
};
using FileSearchResultExportRows = QList<FileSearchResultExportRow>;

namespace FileSearchResultExport {

enum class Format { Csv, JsonLines, PlainText };

// ".csv" CSV; ".jsonl", ".ndjson" or ".json" JSON Lines; anything else one path a line.
Format formatForFileName(const QString &fileName);

// "2024-03-01T14:05:09+01:00": local time with its offset; empty when invalid.
QString isoWithOffset(const QDateTime &local);

// {"path", "type", "size", "modified", "created"} and, when the path's bytes
// are not UTF-8, "path_bytes" (base64 of the exact bytes).
QJsonObject jsonObject(const FileSearchResultExportRow &row);

// The header line of the CSV form (CRLF-terminated).
QByteArray csvHeader();
// One record as written in format, with its line end.
QByteArray line(const FileSearchResultExportRow &row, Format format);

// Writes every row to fileName through a temporary file that replaces it
// only when everything was written; on failure the old file is untouched and
// error says why. Blocks on the disk: call it off the GUI thread.
bool writeFile(const QString &fileName, const FileSearchResultExportRows &rows, QString *error);

} // namespace FileSearchResultExport
