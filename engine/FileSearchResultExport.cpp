#include "engine/FileSearchResultExport.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include "platform/KZPathBytes.h"

namespace {

QString nameOfPath(const QString &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == QLatin1Char('/'))
        --end;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

QString folderOfPath(const QString &path)
{
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == QLatin1Char('/'))
        --end;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), end - 1);
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString localIso(int64_t seconds)
{
    return FileSearchResultExport::isoWithOffset(QDateTime::fromSecsSinceEpoch(seconds, Qt::LocalTime));
}

// RFC 4180: a field with a comma, a quote or a line break is quoted, its quotes doubled.
void appendCsvField(QByteArray &out, const QString &field)
{
    const QByteArray bytes = field.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r')) {
        out += bytes;
        return;
    }
    out += '"';
    for (char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

FileSearchResultExportRow FileSearchResultExportRow::fromResult(const FileSearchResult &result)
{
    return {result.cPath(), result.type(), result.fileSize(), int64_t(result.modificationDate()),
            int64_t(result.creationDate())};
}

FileSearchResultExport::Format FileSearchResultExport::formatForFileName(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return Format::Csv;
    if (suffix == QLatin1String("jsonl") || suffix == QLatin1String("ndjson") || suffix == QLatin1String("json"))
        return Format::JsonLines;
    return Format::PlainText;
}

QString FileSearchResultExport::isoWithOffset(const QDateTime &local)
{
    if (!local.isValid())
        return QString();
    const int offset = local.offsetFromUtc();
    const int abs = offset < 0 ? -offset : offset;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(abs / 3600, 2, 10, QLatin1Char('0'))
               .arg((abs % 3600) / 60, 2, 10, QLatin1Char('0'));
}

QJsonObject FileSearchResultExport::jsonObject(const FileSearchResultExportRow &row)
{
    QJsonObject o{{QStringLiteral("path"), QString::fromUtf8(row.cPath)},
                  {QStringLiteral("type"), QString(QChar(row.type))},
                  {QStringLiteral("size"), qint64(row.size)},
                  {QStringLiteral("modified"), localIso(row.modified)},
                  {QStringLiteral("created"), localIso(row.created)}};
    // "path" shows bytes that are not UTF-8 as U+FFFD; scripts open the exact ones.
    bool utf8 = true;
    kzplatform::kzPathFromBytes(row.cPath, &utf8);
    if (!utf8)
        o.insert(QStringLiteral("path_bytes"), QString::fromLatin1(row.cPath.toBase64()));
    return o;
}

QByteArray FileSearchResultExport::csvHeader()
{
    return QByteArrayLiteral("path,name,folder,type,size,modified,created\r\n");
}

QByteArray FileSearchResultExport::line(const FileSearchResultExportRow &row, Format format)
{
    switch (format) {
    case Format::JsonLines:
        return QJsonDocument(jsonObject(row)).toJson(QJsonDocument::Compact) + '\n';
    case Format::PlainText:
        return row.cPath + '\n';
    case Format::Csv:
        break;
    }
    const QString path = QString::fromUtf8(row.cPath);
    QByteArray out;
    for (const QString &field : {path, nameOfPath(path), folderOfPath(path), QString(QChar(row.type)),
                                 QString::number(row.size), localIso(row.modified), localIso(row.created)}) {
        if (!out.isEmpty())
            out += ',';
        appendCsvField(out, field);
    }
    return out + "\r\n";
}

bool FileSearchResultExport::writeFile(const QString &fileName, const FileSearchResultExportRows &rows,
                                       QString *error)
{
    const Format format = formatForFileName(fileName);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QByteArray chunk = format == Format::Csv ? csvHeader() : QByteArray();
    for (const FileSearchResultExportRow &row : rows) {
        chunk += line(row, format);
        if (chunk.size() >= (1 << 16)) {
            if (file.write(chunk) != chunk.size())
                break;
            chunk.clear();
        }
    }
    if (file.error() == QFileDevice::NoError && !chunk.isEmpty())
        file.write(chunk);
    if (file.error() != QFileDevice::NoError || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}
