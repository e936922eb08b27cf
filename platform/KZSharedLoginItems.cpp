#include "platform/KZSharedLoginItems.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

#include "platform/KZGuardedFS.h"

namespace kzplatform {

namespace {

constexpr qint64 kMaxEntrySize = 64 * 1024;

enum class Program { Present, Gone, Unknown };

struct Entry {
    QString filePath;
    bool wellFormed = false;
    bool disabled = false; // Hidden=true or X-GNOME-Autostart-enabled=false: never starts
    bool byName = false;
    bool byPath = false;
    Program program = Program::Unknown;
};

bool isOurName(const QString &name)
{
    return name == QLatin1String("Trovix") || name == QLatin1String("trovix");
}

// A desktop entry's string value: "\s", "\n", "\t", "\r" and "\\" unescaped.
QString unescapeValue(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) != QLatin1Char('\\') || i + 1 == value.size()) {
            out.append(value.at(i));
            continue;
        }
        const QChar c = value.at(++i);
        out.append(c == QLatin1Char('s')   ? QChar(QLatin1Char(' '))
                   : c == QLatin1Char('n') ? QChar(QLatin1Char('\n'))
                   : c == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                   : c == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
                                           : c);
    }
    return out;
}

// The first argument of an Exec line; null when its quotes do not close.
QString firstExecArgument(const QString &exec)
{
    QString arg;
    bool quoted = false;
    qsizetype i = 0;
    while (i < exec.size() && exec.at(i).isSpace())
        ++i;
    for (; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                arg.append(exec.at(++i));
            } else {
                arg.append(c);
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c.isSpace()) {
            break;
        } else {
            arg.append(c);
        }
    }
    if (quoted)
        return QString();
    arg.replace(QLatin1String("%%"), QLatin1String("%"));
    return arg;
}

QString execValueOf(const QString &executable)
{
    QString inner;
    for (QChar c : executable) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            inner.append(QLatin1Char('\\'));
        inner.append(c);
    }
    QString value = QLatin1Char('"') + inner + QLatin1String("\" --background");
    value.replace(QLatin1Char('%'), QLatin1String("%%"));
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return value;
}

struct Parsed {
    bool ok = false;
    QString name;
    QString program;
    bool disabled = false;
};

Parsed parseEntry(const QByteArray &bytes)
{
    Parsed parsed;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return parsed;
    QString group;
    bool sawMainGroup = false;
    QString exec;
    bool hasExec = false;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (trimmed.startsWith(QLatin1Char('['))) {
            if (!trimmed.endsWith(QLatin1Char(']')))
                return parsed;
            group = trimmed.mid(1, trimmed.size() - 2);
            // The main group comes first, once.
            if (!sawMainGroup && group != QLatin1String("Desktop Entry"))
                return parsed;
            if (sawMainGroup && group == QLatin1String("Desktop Entry"))
                return parsed;
            sawMainGroup = true;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!sawMainGroup || eq <= 0)
            return parsed;
        if (group != QLatin1String("Desktop Entry"))
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = unescapeValue(line.mid(eq + 1).trimmed());
        if (key == QLatin1String("Name")) {
            parsed.name = value;
        } else if (key == QLatin1String("Exec")) {
            exec = value;
            hasExec = true;
        } else if ((key == QLatin1String("Hidden") && value == QLatin1String("true"))
                   || (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false"))) {
            parsed.disabled = true;
        }
    }
    if (!sawMainGroup || !hasExec)
        return parsed;
    parsed.program = firstExecArgument(exec);
    parsed.ok = !parsed.program.isEmpty();
    return parsed;
}

bool sameFile(const KZStat &a, const KZStat &b)
{
    return a.dev == b.dev && a.ino == b.ino;
}

// Every "*.desktop" of the folder, read and judged for executable. False when
// the folder exists but cannot be listed.
bool readEntries(const QString &executable, QList<Entry> *entries, QStringList *errors)
{
    const QString folder = KZSharedLoginItems::autostartFolder();
    QDir dir(folder);
    if (!dir.exists())
        return true;
    if (!QFileInfo(folder).isReadable()) {
        if (errors)
            errors->append(QStringLiteral("snapshot==NULL folder:%1").arg(folder));
        return false;
    }
    KZStat self;
    const bool haveSelf = kzStatGuarded(QFile::encodeName(executable), &self) == 0;
    const QStringList names =
        dir.entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &fileName : names) {
        Entry entry;
        entry.filePath = dir.filePath(fileName);
        const QString base = fileName.chopped(int(strlen(".desktop")));
        const bool fileNamed = isOurName(base) || fileName == KZSharedLoginItems::entryFileName();
        QFile file(entry.filePath);
        Parsed parsed;
        if (file.size() <= kMaxEntrySize && file.open(QIODevice::ReadOnly))
            parsed = parseEntry(file.readAll());
        entry.wellFormed = parsed.ok;
        entry.disabled = parsed.disabled;
        // A malformed entry still tells by its file name that it means Trovix.
        entry.byName = fileNamed || (parsed.ok && isOurName(parsed.name));
        if (parsed.ok) {
            QString program = parsed.program;
            if (!QDir::isAbsolutePath(program))
                program = QStandardPaths::findExecutable(program);
            KZStat st;
            if (program.isEmpty()) {
                entry.program = Program::Gone;
            } else if (kzStatGuarded(QFile::encodeName(program), &st) == 0) {
                entry.program = Program::Present;
                entry.byPath = QDir::cleanPath(program) == QDir::cleanPath(executable)
                    || (haveSelf && sameFile(st, self));
            } else {
                entry.program = (errno == ENOENT || errno == ENOTDIR) ? Program::Gone : Program::Unknown;
            }
        }
        entries->append(entry);
    }
    return true;
}

bool removeEntry(const Entry &entry, QStringList *errors)
{
    if (QFile::remove(entry.filePath))
        return true;
    if (errors)
        errors->append(QStringLiteral("remove failed errno:%1 file:%2").arg(errno).arg(entry.filePath));
    return false;
}

} // namespace

QString KZSharedLoginItems::autostartFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString KZSharedLoginItems::entryFileName()
{
    return QStringLiteral("org.trovix.Trovix.desktop");
}

QString KZSharedLoginItems::execProgramOfEntry(const QByteArray &text)
{
    const Parsed parsed = parseEntry(text);
    return parsed.ok ? parsed.program : QString();
}

bool KZSharedLoginItems::addLoginItem(const QString &executable, QStringList *errors)
{
    if (executable.isEmpty() || executable.contains(QLatin1Char('\n'))) {
        if (errors)
            errors->append(QStringLiteral("executable==nil or not on one line"));
        return false;
    }
    QList<Entry> entries;
    if (!readEntries(executable, &entries, errors))
        return false;
    bool present = false;
    for (const Entry &entry : std::as_const(entries)) {
        if (!entry.wellFormed || entry.program == Program::Unknown)
            continue;
        if (entry.byPath && !entry.disabled)
            present = true;
        else if (entry.byName)
            removeEntry(entry, errors);
    }
    if (present)
        return true;
    const QString path = autostartFolder() + QLatin1Char('/') + entryFileName();
    // Whatever is still there could not be read with certainty: it stays.
    if (QFileInfo::exists(path)) {
        if (errors)
            errors->append(QStringLiteral("entry left alone file:%1").arg(path));
        return false;
    }
    if (!QDir().mkpath(autostartFolder())) {
        if (errors)
            errors->append(QStringLiteral("mkpath failed folder:%1").arg(autostartFolder()));
        return false;
    }
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Trovix\n"
                                        "Comment=Finds files and folders without an index\n"
                                        "Exec=%1\n"
                                        "Icon=org.trovix.Trovix\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(execValueOf(executable));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        if (errors)
            errors->append(QStringLiteral("write failed file:%1 error:%2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

bool KZSharedLoginItems::removeLoginItem(const QString &executable, QStringList *errors)
{
    QList<Entry> entries;
    if (!readEntries(executable, &entries, errors))
        return false;
    bool attempted = false;
    for (const Entry &entry : std::as_const(entries)) {
        if (entry.wellFormed && (entry.byPath || entry.byName)) {
            attempted = true;
            removeEntry(entry, errors);
        }
    }
    return attempted;
}

bool KZSharedLoginItems::isLoginItem(const QString &executable, bool *isValid, QStringList *errors)
{
    if (isValid)
        *isValid = false;
    QList<Entry> entries;
    if (!readEntries(executable, &entries, errors))
        return false;
    bool any = false;
    for (const Entry &entry : std::as_const(entries)) {
        const bool valid = entry.byPath && !entry.disabled;
        if (valid && isValid)
            *isValid = true;
        any = any || valid || entry.byName;
    }
    return any;
}

} // namespace kzplatform
