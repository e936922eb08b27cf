#include "cli/TrovixFindRun.h"

#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>
#include <QTimer>

#include "cli/TrovixFindOptions.h"
#include "cli/TrovixFindSaved.h"
#include "engine/FileSearchResultExport.h"
#include "engine/KZFileSearch.h"
#include "engine/KZFileSearchObject.h"
#include "platform/KZPathBytes.h"
#include "platform/KZUnixSignals.h"
#include "support/KZFunctions.h"
#include "support/KZNotificationCenter.h"
#include "support/KZUserDefaults.h"

namespace {

// Messages name paths with their exact bytes.
void printLine(FILE *f, const QString &text)
{
    const QByteArray bytes = kzplatform::kzPathBytes(text);
    std::fwrite(bytes.constData(), 1, bytes.size(), f);
    std::fputc('\n', f);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Standard output with its first failure kept: output lost to a full disk, a
// closed descriptor or a pipe nobody reads makes the run fail.
class Output
{
public:
    explicit Output(FILE *file) : m_file(file) {}
    void write(const char *data, size_t size)
    {
        errno = 0;
        if (m_error == 0 && size > 0 && std::fwrite(data, 1, size, m_file) != size)
            m_error = errno ? errno : EIO;
    }
    void write(const QByteArray &bytes) { write(bytes.constData(), static_cast<size_t>(bytes.size())); }
    void line(const QString &text) { write(kzplatform::kzPathBytes(text) + '\n'); }
    // Hands what is buffered to the system; false once anything failed.
    bool flush()
    {
        errno = 0;
        if (m_error == 0 && std::fflush(m_file) != 0)
            m_error = errno ? errno : EIO;
        return m_error == 0;
    }
    bool failed() const { return m_error != 0; }
    int error() const { return m_error; }
    FILE *file() const { return m_file; }

private:
    FILE *m_file;
    int m_error = 0;
};

// A criteria list is a few KiB; a larger input is a mistake (/dev/zero never ends).
constexpr qint64 kMaxCriteriaBytes = 16 << 20;

// The criteria JSON of one --criteria argument ("-": in).
bool readCriteriaFile(const QString &file, FILE *in, QByteArray *json, QString *error)
{
    const bool standardInput = file == QLatin1String("-");
    const QString name = standardInput ? QStringLiteral("standard input") : file;
    FILE *f = standardInput ? in : std::fopen(kzplatform::kzPathBytes(file).constData(), "rbe");
    if (!f) {
        *error = QStringLiteral("cannot read criteria from %1: %2").arg(name, errnoText(errno));
        return false;
    }
    QByteArray bytes;
    char buffer[1 << 16];
    size_t n = 0;
    bool tooLarge = false;
    while (!tooLarge && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        tooLarge = bytes.size() + static_cast<qint64>(n) > kMaxCriteriaBytes;
        if (!tooLarge)
            bytes.append(buffer, static_cast<qsizetype>(n));
    }
    const int readError = std::ferror(f) ? errno : 0;
    if (!standardInput)
        std::fclose(f);
    if (tooLarge)
        *error = QStringLiteral("%1: criteria larger than 16 MiB are refused").arg(name);
    else if (readError)
        *error = QStringLiteral("cannot read criteria from %1: %2").arg(name, errnoText(readError));
    *json = bytes;
    return !tooLarge && !readError;
}

// paths: NUL-terminated paths; each is written followed by terminator.
void writePaths(const QByteArray &paths, char terminator, Output &out)
{
    if (terminator == '\0') {
        out.write(paths);
        return;
    }
    const char *p = paths.constData();
    const char *end = p + paths.size();
    while (p < end && !out.failed()) {
        const char *nul = static_cast<const char *>(std::memchr(p, '\0', static_cast<size_t>(end - p)));
        const size_t length = static_cast<size_t>((nul ? nul : end) - p);
        out.write(p, length);
        out.write(&terminator, 1);
        p += length + 1;
    }
}

// The folder of the first path of a batch (paths end with a NUL, a lone record path may not).
QString folderOfFirstPath(const QByteArray &paths)
{
    const qsizetype nul = paths.indexOf('\0');
    return QFileInfo(QFile::decodeName(nul < 0 ? paths : paths.left(nul))).path();
}

// Kinds the walk compiles into filters, and the operators it accepts for the
// steering kinds it does not compile.
bool criterionIsUsedBySearch(const QVariantMap &c, QString *why)
{
    const qint64 kind = c.value(QStringLiteral("kind")).toLongLong();
    const qint64 op = c.value(QStringLiteral("operator")).toLongLong();
    switch (kind) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 8: {
        KZFileSearchFilterStruct filter;
        int32_t count = 0;
        KZFileSearch compiler;
        const QDateTime now = QDateTime::currentDateTime();
        compiler.canonisateCriterionKind(kind, {c}, &filter, &count, QCalendar(), now, KZFileSearch::midnightOfDate(now));
        KZFileSearchFiltersRelease(&filter, count);
        if (count == 0)
            *why = QStringLiteral("its operator or value is not accepted for kind %1").arg(kind);
        return count == 1;
    }
    case 10:
        if (op != 4 && op != 5)
            *why = QStringLiteral("kind 10 takes operator 4 (search only in) or 5 (skip)");
        return op == 4 || op == 5;
    case 11:
        if (op != 4)
            *why = QStringLiteral("kind 11 takes operator 4");
        return op == 4;
    case KZFileSearchKindSkipDirNames:
        if (op != 5)
            *why = QStringLiteral("kind 12 takes operator 5 (skip folders with these names)");
        return op == 5;
    default:
        *why = QStringLiteral("kind %1 is not a criterion kind").arg(kind);
        return false;
    }
}

// TROVIX_FIND_STAT_MATCHES=1 keeps the stat of every name match even when
// nothing reads it: the walk then costs what it costs in the window.
bool statOfMatchesRequested()
{
    return qEnvironmentVariableIntValue("TROVIX_FIND_STAT_MATCHES") == 1;
}

// The checked folder names of the settings.
QStringList excludedNames()
{
    QStringList names;
    const QVariantList stored = KZUserDefaults::standardUserDefaults().arrayForKey(QStringLiteral("ScopeDirManager-excludedNames"));
    for (const QVariant &v : stored) {
        const QVariantMap m = v.toMap();
        const QString name = m.value(QStringLiteral("name")).toString();
        if (!name.isEmpty() && (!m.contains(QStringLiteral("state")) || m.value(QStringLiteral("state")).toBool()))
            names.append(name);
    }
    return names;
}

QStringList excludedFolders()
{
    QStringList paths;
    const QVariantList excluded = KZUserDefaults::standardUserDefaults().arrayForKey(QStringLiteral("ScopeDirManager-excludedDirs"));
    for (const QVariant &v : excluded) {
        const QVariantMap m = v.toMap();
        const QString path = m.value(QStringLiteral("path")).toString();
        if (!path.isEmpty() && m.value(QStringLiteral("state")).toBool())
            paths.append(path);
    }
    return paths;
}

int streamSearch(const TrovixFindOptions &options, const QVariantList &criteria, Output &output, FILE *err);

// Reads the command line and the criteria, then searches (or lists, or saves).
int runWithOutput(const QStringList &args, Output &output, FILE *err, FILE *in)
{
    const TrovixFindSetAsideReport setAsideReport(err);
    TrovixFindOptions options;
    QString error;
    if (parseTrovixFindArguments(args, kzplatform::kzCurrentDirPath(), &options, &error) != TrovixFindParse::Ok) {
        printLine(err, QStringLiteral("trovix-find: %1").arg(error));
        printLine(err, QStringLiteral("Try 'trovix-find --help'."));
        return 2;
    }
    if (options.help) {
        output.write(trovixFindUsage().toUtf8());
        return 0;
    }
    if (options.version) {
        output.line(
            QStringLiteral("trovix-find %1 (build %2)").arg(KZFunctions::appVersion(), KZFunctions::appBuild()));
        return 0;
    }

    if (options.listSaved) {
        for (const QString &line : trovixFindSavedSearchLines())
            output.line(line);
        return 0;
    }

    // The rules given on this command line, without the pattern: what --save stores.
    QVariantList rules = options.ruleCriteria;
    for (const QString &file : options.criteriaFiles) {
        QByteArray json;
        if (!readCriteriaFile(file, in, &json, &error)) {
            printLine(err, QStringLiteral("trovix-find: %1").arg(error));
            return 2;
        }
        QVariantList more;
        if (!parseCriteriaJson(json, &more, &error)) {
            printLine(err, QStringLiteral("trovix-find: %1: %2").arg(file == QLatin1String("-") ? QStringLiteral("standard input") : file, error));
            return 2;
        }
        for (qsizetype i = 0; i < more.size(); ++i) {
            QString why;
            if (!criterionIsUsedBySearch(more.at(i).toMap(), &why))
                printLine(err, QStringLiteral("trovix-find: warning: criterion %1 of %2 is ignored: %3")
                                   .arg(i + 1).arg(file == QLatin1String("-") ? QStringLiteral("standard input") : file, why));
        }
        rules += more;
    }

    if (!options.saveName.isEmpty()) {
        const qint64 id = trovixFindSaveSearch(options.saveName, rules, &error);
        if (id <= 0) {
            printLine(err, QStringLiteral("trovix-find: %1").arg(error));
            return 2;
        }
        output.line(QString::number(id));
        return 0;
    }

    QVariantList criteria = options.patternCriteria + rules;
    if (!options.savedName.isEmpty()) {
        QVariantList saved;
        if (!trovixFindSavedCriteria(options.savedName, &saved, &error)) {
            printLine(err, QStringLiteral("trovix-find: %1").arg(error));
            return 2;
        }
        criteria += saved;
    }

    QString message;
    if (!KZFileSearchObject::canStartSearch(options.scope, &message)) {
        printLine(err, QStringLiteral("trovix-find: %1: %2").arg(options.scope, message));
        return 2;
    }
    if (!options.noExcluded) {
        const QStringList excluded = excludedFolders();
        if (!excluded.isEmpty())
            criteria.append(QVariantMap{{QStringLiteral("kind"), 10}, {QStringLiteral("operator"), 5}, {QStringLiteral("value"), excluded}});
    }
    QStringList skipNames = options.skipNames;
    if (!options.noExcluded)
        skipNames += excludedNames();
    if (const QVariantMap names = KZSkippedDirNamesCriterion(skipNames); !names.isEmpty())
        criteria.append(names);
    if (!KZFileSearchObject::hasUsableCriteria(criteria)) {
        printLine(err, QStringLiteral("trovix-find: nothing to search for: give a PATTERN or a rule"));
        return 2;
    }
    return streamSearch(options, criteria, output, err);
}

// Runs the search, printing each batch as it arrives.
int streamSearch(const TrovixFindOptions &options, const QVariantList &criteria, Output &output, FILE *err)
{
    static char outBuffer[1 << 16];
    std::setvbuf(output.file(), outBuffer, _IOFBF, sizeof outBuffer);

    if (options.threads > 0)
        KZFileSearch::setWalkThreads(options.threads);
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    pool.setStackSize(KZFileSearchWalkStackSize);
    KZFileSearchObject session;
    session.setKeepsResults(false);
    session.setHandsOverWithoutWaiting(true);
    // Only JSON prints the snapshot; the walk still stats the matches that a
    // size or date rule must read.
    session.setSkipsMatchStat(!options.json && !statOfMatchesRequested());
    // Printing paths needs no record per match: the walk hands over path bytes.
    session.setDeliversPathsOnly(!options.json);
    session.setScopeDir(options.scope);
    session.setCriteria(criteria);

    const bool terminal = isatty(fileno(err)) == 1;
    bool progressShown = false;
    // The folder being read is only worked out when the progress line shows
    // it, from the first path of the last batch.
    QByteArray lastFound;
    QEventLoop loop;
    int exitCode = -1;

    auto clearProgress = [&] {
        if (progressShown) {
            std::fputs("\r\033[K", err);
            progressShown = false;
        }
    };
    auto finish = [&](int code) {
        // Once only: a second signal, or one that follows the end, adds nothing.
        if (exitCode >= 0)
            return;
        clearProgress();
        output.flush();
        if (const qint64 skipped = session.skippedLongPathCount())
            printLine(err, skipped == 1 ? QStringLiteral("trovix-find: 1 entry skipped because its path reaches the 4,095-byte limit")
                                        : QStringLiteral("trovix-find: %1 entries skipped because their path reaches the 4,095-byte limit").arg(skipped));
        const QString stats = session.displayStatistics();
        const QString line = stats.isNull() ? QStringLiteral("No File") : stats;
        if (options.count)
            output.line(line);
        else if (options.stats)
            printLine(err, line);
        exitCode = code;
        loop.quit();
    };
    // Stop the walk, then report what was printed so far.
    auto stopOnSignal = [&] {
        session.stopSearch();
        finish(130);
    };
    // Output that cannot be written ends the walk; the caller reports it.
    auto stopIfOutputLost = [&] {
        if (!output.failed() || exitCode >= 0)
            return;
        session.stopSearch();
        clearProgress();
        exitCode = 2;
        loop.quit();
    };

    // After each batch: output that failed ends the run, and so does a signal
    // that came while more batches were queued (the session has counted this
    // batch, so it is printed first).
    auto afterBatch = [&] {
        stopIfOutputLost();
        if (kzReceivedTerminationSignal() != 0)
            stopOnSignal();
    };

    QObject::connect(KZNotificationCenter::defaultCenter(), &KZNotificationCenter::fileSearchObjectUpdated, &loop,
                     [&](QObject *object, const QVariantMap &info) {
                         if (object != &session)
                             return;
                         const int kind = info.value(QStringLiteral("kind")).toInt();
                         if (kind == 2) {
                             finish(session.statistics().value(QStringLiteral("total")).toLongLong() > 0 ? 0 : 1);
                             return;
                         }
                         if (kind == 3) {
                             // A folder the walk could not read: said, and the search goes on.
                             clearProgress();
                             const QByteArray line = "trovix-find: cannot read '" + info.value(QStringLiteral("path")).toByteArray()
                                 + "': " + std::strerror(info.value(QStringLiteral("error")).toInt()) + '\n';
                             std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), err);
                             return;
                         }
                         if (session.deliversPathsOnly()) {
                             const QByteArray paths = info.value(QStringLiteral("paths")).toByteArray();
                             lastFound = paths;
                             if (options.count)
                                 return afterBatch();
                             clearProgress();
                             writePaths(paths, options.print0 ? '\0' : '\n', output);
                             return afterBatch();
                         }
                         const FileSearchResultList batch = info.value(QStringLiteral("results")).value<FileSearchResultList>();
                         if (!batch.isEmpty())
                             lastFound = batch.first()->cPath();
                         if (options.count)
                             return afterBatch();
                         clearProgress();
                         for (const FileSearchResultRef &r : batch)
                             output.write(FileSearchResultExport::line(FileSearchResultExportRow::fromResult(*r),
                                                                       FileSearchResultExport::Format::JsonLines));
                         afterBatch();
                     });

    QTimer progress;
    if (terminal) {
        progress.setInterval(250);
        QElapsedTimer since;
        since.start();
        QObject::connect(&progress, &QTimer::timeout, &loop, [&, since] {
            if (since.elapsed() < 1000)
                return;
            output.flush();
            stopIfOutputLost();
            if (exitCode >= 0)
                return;
            const qint64 found = session.statistics().value(QStringLiteral("total")).toLongLong();
            QString folder = folderOfFirstPath(lastFound);
            if (folder.size() > 60)
                folder = QStringLiteral("…") + folder.right(59);
            const QByteArray line = QStringLiteral("\r\033[K%1 found  %2").arg(found).arg(folder).toLocal8Bit();
            std::fwrite(line.constData(), 1, line.size(), err);
            std::fflush(err);
            progressShown = true;
        });
        progress.start();
    }

    kzWatchTerminationSignals(&loop, [&](int) { stopOnSignal(); });

    session.startSearch(&pool);
    if (exitCode < 0)
        loop.exec();
    progress.stop();
    // A stopped walk may still be handing a batch over: let it finish.
    while (!pool.waitForDone(10))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return exitCode;
}

} // namespace

int runTrovixFind(const QStringList &args, FILE *out, FILE *err, FILE *in)
{
    Output output(out);
    const int status = runWithOutput(args, output, err, in);
    if (!output.flush()) {
        printLine(err, QStringLiteral("trovix-find: write error: %1").arg(errnoText(output.error())));
        return 2;
    }
    return status;
}
