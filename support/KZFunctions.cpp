#include "support/KZFunctions.h"

#include <cmath>
#include <cstdlib>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QUuid>

#include "platform/KZMachineFacts.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "support/KZScrambled.h"

namespace {

constexpr auto kWebSite = kzScramble(TROVIX_WEBSITE_URL_DEFAULT);
constexpr auto kSupportEmail = kzScramble("support@trovix.org");

const char *const kFunctionsTable = "KZFunctions";

struct PathCache {
    QString appSupport;
};

PathCache &pathCache()
{
    static PathCache cache;
    return cache;
}

// Decodes strictly as UTF-8 (ASCII is a subset); nullopt when the bytes are not text.
std::optional<QString> decodeOutput(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QString KZFunctions::appName()
{
    static const QString name = [] {
        QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
        if (path.isEmpty())
            path = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
        return QFileInfo(path).fileName();
    }();
    return name;
}

QString KZFunctions::appVersion()
{
    return QStringLiteral(TROVIX_VERSION);
}

QString KZFunctions::appBuild()
{
    return QString::number(TROVIX_BUILD_NUMBER);
}

QString KZFunctions::UUIDString()
{
    QUuid uuid = QUuid::createUuid();
    if (uuid.isNull())
        uuid = QUuid::createUuidV5(QUuid::createUuid(), QString::number(QDateTime::currentMSecsSinceEpoch()));
    if (uuid.isNull()) {
        KZLOG_CRITICAL_F(QStringLiteral("uuid==NULL"));
        return QString();
    }
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

QString KZFunctions::stringFromBytesWithBin1024Style(qint64 count, int decimals)
{
    if (count < 0)
        return QString();
    // The platform formatter has no singular: it would say "1 bytes".
    if (count == 1)
        return KZLocalizedString("1 Byte", kFunctionsTable);
    const QString text = QLocale().formattedDataSize(count, decimals, QLocale::DataSizeTraditionalFormat);
    if (!text.isEmpty())
        return text;
    return stringFromBytesFallback(count);
}

QString KZFunctions::stringFromBytesFallback(qint64 count)
{
    if (count < 0)
        return QString();
    const double c = static_cast<double>(count);
    QString text;
    if (count >= (1LL << 40))
        text = QString::asprintf(KZLocalizedString("%.2f TB", kFunctionsTable).toUtf8().constData(), c / std::ldexp(1.0, 40));
    else if (count >= (1LL << 30))
        text = QString::asprintf(KZLocalizedString("%.2f GB", kFunctionsTable).toUtf8().constData(), c / std::ldexp(1.0, 30));
    else if (count >= (1LL << 20))
        text = QString::asprintf(KZLocalizedString("%.1f MB", kFunctionsTable).toUtf8().constData(), c / std::ldexp(1.0, 20));
    else if (count >= 1024)
        text = QString::asprintf(KZLocalizedString("%.0f KB", kFunctionsTable).toUtf8().constData(), c / 1024.0);
    else if (count == 0)
        return KZLocalizedString("Zero Byte", kFunctionsTable);
    else if (count == 1)
        return KZLocalizedString("1 Byte", kFunctionsTable);
    else
        return KZStringWithFormat(KZLocalizedString("%lld Bytes", kFunctionsTable), {QString::number(count)});

    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    if (blank > 0) {
        const QString number = text.left(blank);
        const QString unit = text.mid(blank + 1);
        if (number.endsWith(QLatin1String(".00")))
            text = QStringLiteral("%1 %2").arg(number.chopped(3), unit);
        else if (number.endsWith(QLatin1String(".0")))
            text = QStringLiteral("%1 %2").arg(number.chopped(2), unit);
    }
    return text;
}

bool KZFunctions::executeCommand(const QString &path, const QStringList &args,
                                 const std::optional<QProcessEnvironment> &environment, const QString &currentDir,
                                 int *status, QString *stdOut, QString *stdErr)
{
    if (status)
        *status = 0;
    if (stdOut)
        *stdOut = QString();
    if (stdErr)
        *stdErr = QString();

    if (path.isEmpty() || path == QLatin1String("/")) {
        KZLOG_ERROR_F(QStringLiteral("commandPath invalid:%1").arg(path));
        return false;
    }
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() || !info.isExecutable()) {
        KZLOG_ERROR_F(QStringLiteral("not an executable file:%1").arg(path));
        return false;
    }

    QProcess process;
    process.setProgram(path);
    process.setArguments(args);
    if (environment)
        process.setProcessEnvironment(*environment);
    if (!currentDir.isEmpty())
        process.setWorkingDirectory(currentDir);
    process.setStandardInputFile(QProcess::nullDevice());
    // QProcess reads both pipes as data arrives while we wait, so a tool that
    // fills one pipe while we would be reading the other cannot block.
    process.start();
    if (!process.waitForStarted(-1)) {
        KZLOG_ERROR_F(QStringLiteral("exception:%1 command:%2").arg(process.errorString(), path));
        return false;
    }
    process.waitForFinished(-1);

    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    if (stdOut && !out.isEmpty())
        *stdOut = decodeOutput(out).value_or(QStringLiteral("outString==nil"));
    if (stdErr && !err.isEmpty())
        *stdErr = decodeOutput(err).value_or(QStringLiteral("errString==nil"));
    if (status)
        *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (process.exitStatus() != QProcess::NormalExit)
        KZLOG_WARNING_F(QStringLiteral("command crashed:%1").arg(path));
    return true;
}

bool KZFunctions::executeCommand(const QString &path, const QStringList &args, int *status, QString *stdOut,
                                 QString *stdErr)
{
    return executeCommand(path, args, std::nullopt, QString(), status, stdOut, stdErr);
}

bool KZFunctions::checkDirectoryAtPath(const QString &dirPath, bool replaceIfNotDir)
{
    const QFileInfo info(dirPath);
    if (info.exists() || info.isSymLink()) {
        if (info.isDir())
            return true;
        KZLOG_ERROR_F(QStringLiteral("isDir==NO dirPath:%1").arg(dirPath));
        if (!replaceIfNotDir)
            return false;
        if (!QFile::remove(dirPath)) {
            KZLOG_ERROR_F(QStringLiteral("removeItemAtPath==NO dirPath:%1").arg(dirPath));
            return false;
        }
    }
    if (!QDir().mkpath(dirPath)) {
        KZLOG_ERROR_F(QStringLiteral("createDirectoryAtPath==NO dirPath:%1").arg(dirPath));
        return false;
    }
    return true;
}

QString KZFunctions::appSupportPath(QString *error)
{
    PathCache &cache = pathCache();
    if (!cache.appSupport.isEmpty())
        return cache.appSupport;
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString dir = base + QLatin1Char('/') + KZBundleIdentifier;
    if (base.isEmpty() || !checkDirectoryAtPath(dir, false)) {
        const QString message = QStringLiteral("checkDirectoryAtPath==NO supportDir:%1").arg(dir);
        KZLOG_CRITICAL_F(message);
        if (error)
            *error = message;
        return QString();
    }
    cache.appSupport = dir;
    return dir;
}

void KZFunctions::resetCachedPathsForTesting()
{
    pathCache() = PathCache();
}

// ---------------------------------------------------------------- addresses

QString KZ_StringDelacement(qsizetype length, char *bytes, int flags)
{
    if (!bytes || length < 0)
        return QString();
    QByteArray reversed(length, '\0');
    for (qsizetype i = 0; i < length; ++i)
        reversed[i] = bytes[length - 1 - i];
    if (flags & 1)
        std::free(bytes);
    const auto decoded = QByteArray::fromBase64Encoding(reversed, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return QString();
    return decodeOutput(*decoded).value_or(QString());
}

QString KZ_WebSiteURLString(const QString &pathComponent)
{
    QString base = qEnvironmentVariable("TROVIX_WEBSITE_URL");
    if (base.isEmpty()) {
        QByteArray stored(kWebSite.data, static_cast<qsizetype>(kWebSite.length()));
        base = KZ_StringDelacement(stored.size(), stored.data(), 0);
    }
    if (!pathComponent.isEmpty()) {
        if (!base.endsWith(QLatin1Char('/')) && !pathComponent.startsWith(QLatin1Char('/')) &&
            !pathComponent.startsWith(QLatin1Char('?')))
            base += QLatin1Char('/');
        base += pathComponent;
    }
    return base;
}

QUrl KZ_WebSiteURL(const QString &pathComponent)
{
    return QUrl(KZ_WebSiteURLString(pathComponent));
}

QVariant KZ_WebPageURL(const char *scrambledPage, qsizetype length, int flags)
{
    QByteArray copy(scrambledPage, length);
    QString page = KZ_StringDelacement(copy.size(), copy.data(), 0);
    if (page.isNull())
        return QVariant();
    if (flags & KZWebPageAppendPHP)
        page += QStringLiteral(".php");
    const QString s = KZ_WebSiteURLString(page);
    if (flags & KZWebPageAsString)
        return s;
    return QUrl(s);
}

QString KZ_SupportEmail()
{
    QByteArray stored(kSupportEmail.data, static_cast<qsizetype>(kSupportEmail.length()));
    return KZ_StringDelacement(stored.size(), stored.data(), 0);
}

// ---------------------------------------------------------------- system facts

QString KZDeviceInfo::productSystemVersion()
{
    static const QString version = kzplatform::kzOperatingSystemVersion();
    return version;
}

QString KZDeviceInfo::productSystemName()
{
    static const QString name = QStringLiteral("Linux %1").arg(kzplatform::kzOperatingSystemName());
    return name;
}

bool KZDeviceInfo::isYosemiteOrBetter() { return true; }
bool KZDeviceInfo::isElCapitanOrBetter() { return true; }
bool KZDeviceInfo::isMavericksOrBetter() { return true; }

quint64 KZMacInfo::physicalMemory()
{
    static const quint64 bytes = kzplatform::kzPhysicalMemory();
    return bytes;
}

bool KZMacInfo::getMemoryStatistics(MemoryStatistics *out)
{
    const auto stats = kzplatform::kzMemoryStatistics();
    if (!stats) {
        KZLOG_ERROR_F(QStringLiteral("meminfo unreadable"));
        return false;
    }
    if (out) {
        out->freeCount = stats->freePages;
        out->activeCount = stats->activePages;
        out->inactiveCount = stats->inactivePages;
        out->wireCount = stats->wiredPages;
    }
    return true;
}

QString KZMacInfo::macModelType()
{
    const QString model = kzplatform::kzMachineModel();
    if (model.isEmpty()) {
        KZLOG_ERROR_F(QStringLiteral("sysctl:%1").arg(-1));
        return QString();
    }
    return model;
}

QString KZMacInfo::processorInfo()
{
    static const QString info = QString::asprintf("%.2f Ghz (%ld)", kzplatform::kzProcessorMHz() / 1000.0,
                                                  kzplatform::kzProcessorCount());
    return info;
}

QString KZMacInfo::formatUptime(double s)
{
    if (s > 172800)
        return QString::asprintf("%.0f, %.2f days", s, s / 86400.0);
    if (s >= 7200)
        return QString::asprintf("%.0f, %.2f hours", s, s / 3600.0);
    if (s > 3600)
        return QString::asprintf("%.0f, %.2f hour", s, s / 3600.0);
    if (s >= 120)
        return QString::asprintf("%.0f, %.2f minutes", s, s / 60.0);
    return QString::asprintf("%.0f, %.0f sec(s)", s, s);
}

QString KZMacInfo::systemUptime()
{
    const double s = kzplatform::kzUptimeSeconds();
    if (s < 0)
        return QString();
    return formatUptime(s);
}
