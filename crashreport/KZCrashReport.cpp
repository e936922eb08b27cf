#include "crashreport/KZCrashReport.h"
#include "support/KZWebAddressPolicy.h"

#include <archive.h>
#include <archive_entry.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <mutex>

#include "crashreport/KZCrashReporter.h"
#include "support/KZFileSafety.h"
#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "support/KZScrambled.h"
#include "support/KZUserDefaults.h"

namespace {

constexpr auto kCrashPage = kzScramble("crashreport");
const QString kHomeMask = QStringLiteral("/home/xxx");
const QString kSender = QStringLiteral("trovix");

std::function<QStringList()> &externalInfosProvider()
{
    static std::function<QStringList()> provider;
    return provider;
}

// One worker: collecting and zipping never run at once. Static, so that a
// closed window never waits for a step that is still running.
QThreadPool &workQueue()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

QString maskHome(QString text)
{
    const QString home = QDir::homePath();
    if (home.size() > 1)
        text.replace(home, kHomeMask);
    return text;
}

bool writeText(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        KZLOG_ERROR_F(QStringLiteral("write==NO path:%1 error:%2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

QString rule(const char *name)
{
    return QStringLiteral("--------------------------------------------- %1 ---------------------------------------------\n")
        .arg(QLatin1String(name));
}

QString progressMessage(const char *key)
{
    return KZLocalizedString(key, KZCrashReporterTable);
}

} // namespace

// Shared between the report object (GUI thread) and its worker steps: the
// cancellation flag and the receiver of progress, cleared when the report goes.
struct KZCrashReport::Shared {
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    KZCrashReport *receiver = nullptr;

    void post(std::function<void(KZCrashReport *)> fn)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!receiver)
            return;
        KZCrashReport *r = receiver;
        QMetaObject::invokeMethod(r, [r, fn = std::move(fn)] { fn(r); }, Qt::QueuedConnection);
    }
};

KZCrashReport::KZCrashReport(KZCrashReportDelegate *delegate, QObject *parent)
    : QObject(parent), m_delegate(delegate)
{
}

KZCrashReport::~KZCrashReport()
{
    cancelAll();
}

QString KZCrashReport::jetonId()
{
    return KZCrashReporter::jetonId();
}

void KZCrashReport::setExternalInfosProvider(std::function<QStringList()> provider)
{
    externalInfosProvider() = std::move(provider);
}

void KZCrashReport::cancelAll()
{
    if (m_shared) {
        m_shared->cancelled = true;
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->receiver = nullptr;
    }
    m_shared.reset();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->abort();
        reply->deleteLater();
    }
    m_submitting = false;
}

bool KZCrashReport::cleanDir()
{
    if (m_dirPath.isEmpty() || !QFileInfo::exists(m_dirPath))
        return true;
    if (!QDir(m_dirPath).removeRecursively()) {
        KZLOG_ERROR_M(QStringLiteral("removeRecursively==NO path:%1").arg(m_dirPath));
        return false;
    }
    return true;
}

void KZCrashReport::startCollect()
{
    cancelAll();
    m_dirPath.clear();
    m_collectDirPath.clear();
    m_zipPath.clear();
    m_collectDate = QDateTime::currentDateTime();
    mt_collectDidProgress({{QStringLiteral("progression"), 1}});

    // The folders and the application's counters are decided here, on the GUI thread.
    // A folder of our own in the temporary directory, which other accounts share.
    const QString dirPath = kzMakeOwnWorkingFolder(
        QDir::tempPath() + QLatin1Char('/') + KZBundleIdentifier + QStringLiteral("-KZCrashReporter"),
        QStringLiteral("-%1").arg(QDateTime::currentMSecsSinceEpoch() / 1000.0, 0, 'f'));
    if (dirPath.isEmpty()) {
        // Nothing can be collected; the window hears it as a collection that
        // ended without a folder.
        QMetaObject::invokeMethod(this, [this] { mt_collectingEnd(); }, Qt::QueuedConnection);
        return;
    }
    m_dirPath = dirPath;
    m_collectDirPath = dirPath + QLatin1Char('/') +
                       QStringLiteral("%1_%2_%3").arg(KZFunctions::appName().remove(QLatin1Char(' ')), jetonId(),
                                                      m_collectDate.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
    KZUserDefaults &defaults = KZUserDefaults::standardUserDefaults();
    QStringList app{
        QStringLiteral("Version: %1 (%2)").arg(KZFunctions::appVersion(), KZFunctions::appBuild()),
        QStringLiteral("Path: %1").arg(QCoreApplication::applicationFilePath()),
        QStringLiteral("Number of crashs: %1").arg(defaults.integerForKey(QStringLiteral("KZCrashReporter-NumberOfCrashs"))),
        QStringLiteral("StartCount: %1").arg(defaults.integerForKey(QStringLiteral("KZCrashReporter-StartCount"))),
        QStringLiteral("FirstLaunch: %1")
            .arg(defaults.dateForKey(QStringLiteral("KZCrashReporter-FirstLaunchDate")).toString(Qt::ISODate))};
    const QStringList ext = externalInfosProvider() ? externalInfosProvider()() : QStringList();

    m_shared = std::make_shared<Shared>();
    m_shared->receiver = this;
    auto shared = m_shared;
    workQueue().start([shared, dir = m_dirPath, collect = m_collectDirPath, app, ext] {
        performCollect(shared, dir, collect, app, ext);
    });
}

// Worker thread. Touches only its arguments; the report is reached through
// shared->post alone.
void KZCrashReport::performCollect(const std::shared_ptr<Shared> &shared, const QString &dirPath,
                                   const QString &collectDir, const QStringList &appLines, const QStringList &extLines)
{
    auto progress = [&](const QString &message) {
        shared->post([message](KZCrashReport *r) {
            r->mt_collectDidProgress({{QStringLiteral("progression"), 1}, {QStringLiteral("message"), message}});
        });
    };
    const auto finish = [&] {
        if (shared->cancelled)
            QDir(dirPath).removeRecursively(); // the window went while we wrote
        else
            shared->post([](KZCrashReport *r) { r->mt_collectingEnd(); });
    };
    if (!QDir().mkpath(collectDir)) {
        KZLOG_ERROR_F(QStringLiteral("mkpath==NO collectDirPath:%1").arg(collectDir));
        shared->post([](KZCrashReport *r) { r->m_collectDirPath.clear(); });
        finish();
        return;
    }
    writeText(collectDir + QStringLiteral("/Env Profile.tlg"), collectEnvProfile(appLines, extLines));

    if (!shared->cancelled) {
        progress(progressMessage("ASL"));
        QThread::msleep(250);
        progress(KZStringWithFormat(progressMessage("ASL (%@)"), {kSender}));
        if (!collectAslInDirectory(collectDir, kSender))
            KZLOG_ERROR_F(QStringLiteral("collectAslInDirectory==NO"));
    }
    if (!shared->cancelled) {
        progress(progressMessage("Crash Reports"));
        QThread::msleep(250);
        const int status = collectCrashReportsKind(QStringLiteral("User"), collectDir, KZCrashReporter::crashesDirPath());
        if (status != 1)
            KZLOG_WARNING_F(QStringLiteral("userCrashsStatus:%1").arg(status));
        const QString coredumpctl = QStandardPaths::findExecutable(QStringLiteral("coredumpctl"));
        int exitStatus = -1;
        QString out, err;
        if (!coredumpctl.isEmpty() &&
            KZFunctions::executeCommand(coredumpctl, {QStringLiteral("info"), kSender, QStringLiteral("--no-pager")},
                                        &exitStatus, &out, &err) &&
            exitStatus == 0 && !out.isEmpty()) {
            const QString folder = collectDir + QStringLiteral("/CrashReports-User");
            QDir().mkpath(folder);
            writeText(folder + QStringLiteral("/coredumpctl info %1.txt").arg(kSender), maskHome(out));
        } else {
            KZLOG_INFO_F(QStringLiteral("coredumpctl status:%1 %2").arg(exitStatus).arg(coredumpctl.isEmpty()
                                                                                        ? QStringLiteral("absent")
                                                                                        : err.trimmed()));
        }
    }
    finish();
}

QString KZCrashReport::collectEnvProfile(const QStringList &appLines, const QStringList &appExtInfo)
{
    QString text = rule("MAC");
    KZMacInfo::MemoryStatistics stats;
    const bool haveStats = KZMacInfo::getMemoryStatistics(&stats);
    const qint64 page = sysconf(_SC_PAGESIZE);
    auto bytes = [&](quint64 pages) {
        return KZFunctions::stringFromBytesWithBin1024Style(static_cast<qint64>(pages) * page);
    };
    text += QStringLiteral("Model: %1\n").arg(KZMacInfo::macModelType());
    text += QStringLiteral("Processor: %1\n").arg(KZMacInfo::processorInfo());
    text += QStringLiteral("SystemVersion: %1\n").arg(KZDeviceInfo::productSystemName());
    text += QStringLiteral("PhysicalMemory: %1\n")
                .arg(KZFunctions::stringFromBytesWithBin1024Style(static_cast<qint64>(KZMacInfo::physicalMemory())));
    if (haveStats)
        text += QStringLiteral("MemoryStatistics: %1 (free), %2 (active), %3 (inactive), %4 (wired)\n")
                    .arg(bytes(stats.freeCount), bytes(stats.activeCount), bytes(stats.inactiveCount),
                         bytes(stats.wireCount));
    else
        text += QStringLiteral("MemoryStatistics: <unknown>\n");
    text += QStringLiteral("System Uptime: %1\n").arg(KZMacInfo::systemUptime());
    text += QStringLiteral("Language: %1\n").arg(QLocale::system().name());

    text += QLatin1Char('\n') + rule("APP");
    for (const QString &line : appLines)
        text += line + QLatin1Char('\n');
    const QString exe = QCoreApplication::applicationFilePath();
    const QString ldd = QStandardPaths::findExecutable(QStringLiteral("ldd"));
    int status = -1;
    QString out, err;
    if (!ldd.isEmpty() && KZFunctions::executeCommand(ldd, {exe}, &status, &out, &err))
        text += QStringLiteral("ldd %1: %2\n").arg(exe, (out + err).trimmed());
    else
        text += QStringLiteral("ldd %1: No ldd\n").arg(exe);
    // What the install put in its prefix, from its list of files.
    QFile installed(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/trovix/installed-files"));
    QStringList subpaths;
    if (installed.open(QIODevice::ReadOnly))
        subpaths = QString::fromUtf8(installed.read(1 << 20)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    text += QStringLiteral("subpaths: %1\n")
                .arg(subpaths.isEmpty() ? QStringLiteral("<none>") : subpaths.join(QStringLiteral(", ")));

    text += QLatin1Char('\n') + rule("EXT INFO");
    text += appExtInfo.isEmpty() ? QStringLiteral("<nothing>\n") : appExtInfo.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return maskHome(text);
}

bool KZCrashReport::collectAslInDirectory(const QString &dir, const QString &sender)
{
    if (dir.isEmpty() || sender.isEmpty())
        return false;
    QString text = QStringLiteral("----------- KZCrashReporter ASL Collect -----------\n");
    const QString journalctl = QStandardPaths::findExecutable(QStringLiteral("journalctl"));
    bool answered = false;
    QString noEntries;
    if (journalctl.isEmpty()) {
        KZLOG_WARNING_F(QStringLiteral("journalctl absent"));
    } else {
        // The user's journal first, then the system's.
        for (bool user : {true, false}) {
            QStringList args{QStringLiteral("-t"), sender, QStringLiteral("--since"), QStringLiteral("-1d"),
                             QStringLiteral("--no-pager")};
            if (user)
                args.prepend(QStringLiteral("--user"));
            int status = -1;
            QString out, err;
            // A journal answers with at least one entry; "-- No entries --" is a note.
            const bool ran = KZFunctions::executeCommand(journalctl, args, &status, &out, &err) && status == 0;
            if (ran && out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).count() >
                           out.count(QRegularExpression(QStringLiteral("^-- "), QRegularExpression::MultilineOption))) {
                text += out;
                answered = true;
                break;
            }
            if (ran)
                noEntries = out;
            KZLOG_WARNING_F(QStringLiteral("journalctl %1 status:%2 %3").arg(args.join(QLatin1Char(' '))).arg(status).arg(err.trimmed()));
        }
    }
    if (!answered) {
        // Trovix logs to the journal (or syslog) only: without an answer
        // from it there is no other source.
        KZLOG_WARNING_F(QStringLiteral("no log source"));
        text += noEntries.isEmpty() ? QStringLiteral("<no log source>\n") : noEntries;
    }
    return writeText(dir + QStringLiteral("/ASL %1.tlg").arg(sender), maskHome(text));
}

int KZCrashReport::collectCrashReportsKind(const QString &kind, const QString &inDir, const QString &fromReportsDir)
{
    if (kind.isEmpty() || inDir.isEmpty() || fromReportsDir.isEmpty())
        return -1;
    const QFileInfo info(fromReportsDir);
    if (!info.isDir())
        return -2;
    if (!info.isReadable())
        return -3;
    QDir reports(fromReportsDir);
    if (!reports.isReadable())
        return -4;
    QStringList files = reports.entryList({QStringLiteral("trovix-*.crash")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    const QString folder = inDir + QStringLiteral("/CrashReports-") + kind;
    for (const QString &name : files) {
        if (!QDir().mkpath(folder)) {
            KZLOG_ERROR_F(QStringLiteral("mkpath==NO path:%1").arg(folder));
            break;
        }
        QFile file(reports.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            KZLOG_ERROR_F(QStringLiteral("open==NO path:%1 error:%2").arg(file.fileName(), file.errorString()));
            continue;
        }
        writeText(folder + QLatin1Char('/') + name, maskHome(QString::fromUtf8(file.read(8 << 20))));
    }
    return 1;
}

bool KZCrashReport::zipFolder(const QString &folder, const QString &zipPath, QString *error)
{
    archive *zip = archive_write_new();
    archive_write_set_format_zip(zip);
    if (archive_write_open_filename(zip, QFile::encodeName(zipPath).constData()) != ARCHIVE_OK) {
        *error = QString::fromLocal8Bit(archive_error_string(zip));
        archive_write_free(zip);
        return false;
    }
    const QDir base = QFileInfo(folder).dir();
    bool ok = true;
    QStringList paths{folder};
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isSymLink())
            continue;
        QByteArray data;
        if (info.isFile()) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                *error = file.errorString();
                ok = false;
                break;
            }
            data = file.readAll();
        }
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, base.relativeFilePath(path).toUtf8().constData());
        archive_entry_set_filetype(entry, info.isDir() ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, info.isDir() ? 0755 : 0644);
        archive_entry_set_size(entry, data.size());
        archive_entry_set_mtime(entry, info.lastModified().toSecsSinceEpoch(), 0);
        if (archive_write_header(zip, entry) != ARCHIVE_OK ||
            (data.size() > 0 && archive_write_data(zip, data.constData(), static_cast<size_t>(data.size())) < 0)) {
            *error = QString::fromLocal8Bit(archive_error_string(zip));
            ok = false;
        }
        archive_entry_free(entry);
        if (!ok)
            break;
    }
    if (archive_write_close(zip) != ARCHIVE_OK && ok) {
        *error = QString::fromLocal8Bit(archive_error_string(zip));
        ok = false;
    }
    archive_write_free(zip);
    return ok;
}

bool KZCrashReport::isAllowedUploadURL(const QUrl &url)
{
    return kzIsAllowedWebURL(url);
}

QUrl KZCrashReport::submitURL(const QString &zipFileName)
{
    QString page = KZ_WebPageURL(kCrashPage.data, static_cast<qsizetype>(kCrashPage.length()),
                                 KZWebPageAppendPHP | KZWebPageAsString)
                       .toString();
    const QString query = KZStringWithFormat(QStringLiteral("?file=%@&app=%@&appbuild=%d"),
                                             {QString::fromUtf8(QUrl::toPercentEncoding(zipFileName)),
                                              KZFunctions::appName().remove(QLatin1Char(' ')).toLower(),
                                              QString::number(KZFunctions::appBuild().toInt())});
    return QUrl(page + query);
}

void KZCrashReport::startSubmit()
{
    if (m_collectDirPath.isEmpty() || m_dirPath.isEmpty()) {
        KZLOG_CRITICAL_M(QStringLiteral("collectDirPath==nil || dirPath==nil"));
        return;
    }
    if (m_reply || m_submitting)
        return;
    m_submitting = true;
    if (!m_shared) {
        m_shared = std::make_shared<Shared>();
        m_shared->receiver = this;
    }
    m_delegate->crashReportSubmittingProgress({{QStringLiteral("progression"), 1}});
    auto shared = m_shared;
    const QString folder = m_collectDirPath;
    const QString zipPath = folder + QStringLiteral(".zip");
    workQueue().start([shared, folder, zipPath] {
        if (shared->cancelled)
            return;
        QFile::remove(zipPath);
        QString error;
        QString failure;
        QByteArray body;
        if (!zipFolder(folder, zipPath, &error)) {
            KZLOG_ERROR_F(QStringLiteral("zipFolder==NO path:%1 error:%2").arg(zipPath, error));
            failure = KZLocalizedString("Unable to create Zip", KZCrashReporterTable);
        } else {
            QFile zip(zipPath);
            if (zip.open(QIODevice::ReadOnly))
                body = zip.readAll();
            if (body.isEmpty())
                failure = KZLocalizedString("Unable to create data from Zip", KZCrashReporterTable);
        }
        shared->post([zipPath, body, failure](KZCrashReport *r) { r->mt_submittingEnd(zipPath, body, failure); });
    });
}

void KZCrashReport::mt_submittingEnd(const QString &zipPath, const QByteArray &body, const QString &error)
{
    auto fail = [this](const QString &text) {
        m_submitting = false;
        m_delegate->crashReportSubmittingProgress({{QStringLiteral("progression"), -1}, {QStringLiteral("error"), text}});
    };
    if (!error.isEmpty())
        return fail(error);
    m_zipPath = zipPath;
    const QUrl url = submitURL(QFileInfo(zipPath).fileName());
    if (!isAllowedUploadURL(url)) {
        KZLOG_ERROR_M(QStringLiteral("refused url:%1").arg(url.toString()));
        return fail(KZLocalizedString("Can not reach server.", KZCrashReporterTable));
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/zip"));
    request.setTransferTimeout(300 * 1000);
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    m_reply = m_network->post(request, body);
    connect(m_reply, &QNetworkReply::uploadProgress, this, [this](qint64 sent, qint64 total) {
        KZLog::logDebug(QStringLiteral("crash report upload %1/%2").arg(sent).arg(total));
    });
    connect(m_reply, &QNetworkReply::finished, this, &KZCrashReport::finishReply);
    m_delegate->crashReportSubmittingProgress(
        {{QStringLiteral("progression"), 2}, {QStringLiteral("dataSize"), static_cast<qint64>(body.size())}});
}

void KZCrashReport::finishReply()
{
    QNetworkReply *reply = m_reply;
    if (!reply || sender() != reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();
    m_submitting = false;
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (code.isValid() && code.toInt() != 200) {
        QString phrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
        KZLOG_WARNING_M(QStringLiteral("response code:%1 (%2)").arg(code.toInt()).arg(phrase));
        if (!phrase.isEmpty()) {
            QStringList words = phrase.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            for (QString &w : words)
                w[0] = w[0].toUpper();
            phrase = words.join(QLatin1Char(' '));
        }
        m_delegate->crashReportSubmittingProgress(
            {{QStringLiteral("progression"), -1},
             {QStringLiteral("error"), phrase.isEmpty() ? KZLocalizedString("Can not reach server.", KZCrashReporterTable)
                                                         : phrase}});
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        KZLOG_WARNING_M(QStringLiteral("connection error:%1").arg(reply->errorString()));
        m_delegate->crashReportSubmittingProgress(
            {{QStringLiteral("progression"), -1}, {QStringLiteral("error"), reply->errorString()}});
        return;
    }
    m_delegate->crashReportSubmittingProgress({{QStringLiteral("progression"), 3}});
}

void KZCrashReport::mt_collectDidProgress(const QVariantMap &progress)
{
    m_delegate->crashReportCollectingProgress(progress);
}

void KZCrashReport::mt_collectingEnd()
{
    m_delegate->crashReportCollectingProgress({{QStringLiteral("progression"), 2}});
}
