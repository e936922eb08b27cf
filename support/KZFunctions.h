// Small stateless helpers shared across Trovix: identity, byte counts,
// running command-line tools, file-name hygiene, per-application folders,
// POSIX timestamps, the maker's addresses and equality helpers.
#pragma once

#include <QDateTime>
#include <QPointF>
#include <QProcessEnvironment>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <optional>

inline const QString KZBundleIdentifier = QStringLiteral("org.trovix.Trovix");

class KZFunctions
{
public:
    // Identity
    static QString appName();
    static QString appVersion();
    static QString appBuild();
    static QDateTime dateCompiled();
    // Parses "MMM d yyyy HH:mm:ss" in the en_US locale (runs of blanks folded,
    // as the compiler pads one-digit days). Invalid when unparsable.
    static QDateTime dateFromCompilerStamp(const QString &stamp);
    static bool isSandboxedApp();
    static QString UUIDString();

    // Byte counts (1,024-based) with up to `decimals` decimals; null for a
    // negative count.
    static QString stringFromBytesWithBin1024Style(qint64 count, int decimals = 2);
    // The fallback formats, used when the platform formatter yields nothing.
    static QString stringFromBytesFallback(qint64 count);

    // Commands. Runs the executable at path and waits; both pipes are drained
    // as the tool writes, so large outputs cannot deadlock. environment and
    // currentDir are optional (empty: inherit). Returns true when the tool ran.
    // Blocks the caller: call from background threads in the GUI.
    static bool executeCommand(const QString &path, const QStringList &args,
                               const std::optional<QProcessEnvironment> &environment, const QString &currentDir,
                               int *status, QString *stdOut, QString *stdErr);
    static bool executeCommand(const QString &path, const QStringList &args, int *status, QString *stdOut,
                               QString *stdErr);

    // Strings and files
    static bool isEmailString(const QString &s);
    static bool isLegalFilename(const QString &name);
    static QString securisedFileName(const QString &name, const QString &substitution);
    static QStringList linesFromFilePath(const QString &path, QString *error);
    static QStringList linesFromString(const QString &s);
    enum LinesOption { LinesSkipEmpty = 1, LinesTrimmed = 2 };
    // maxLines 0 = no limit.
    static QStringList linesFromString(const QString &s, int maxLines, int options);
    static int linesCountOfString(const QString &s);
    static bool checkDirectoryAtPath(const QString &dirPath, bool replaceIfNotDir);
    // $XDG_DATA_HOME/org.trovix.Trovix, created on first use; null on failure.
    static QString appSupportPath(QString *error = nullptr);
    // $XDG_CACHE_HOME/org.trovix.Trovix/kzfunctions-caches[/subPath], ensured.
    static QString cachesDirPath(const QString &subPath = QString());
    // Removes everything inside dirPath; each failure is appended to errors as
    // {"path", "error"}. True when nothing failed.
    static bool cleanDirectoryContentsAtPath(const QString &dirPath, QVariantList *errors);
    static bool getCreationDate1970(qint64 *outSeconds, const QString &path);
    static bool getModDate1970(qint64 *outSeconds, const QString &path);

    // Forgets the cached folders (tests that move XDG_* elsewhere).
    static void resetCachedPathsForTesting();
};

// Maker addresses. The stored values are scrambled (Base64, then reversed).
QString KZ_StringDelacement(qsizetype length, char *bytes, int flags);
QByteArray KZ_StringScramble(const QString &plain);
QString KZ_WebSiteURLString(const QString &pathComponent = QString());
QUrl KZ_WebSiteURL(const QString &pathComponent = QString());
enum KZWebPageFlags { KZWebPageAppendPHP = 1, KZWebPageAsString = 2 };
// scrambledPage is not freed. Returns a string (flag bit 1) or a URL.
QVariant KZ_WebPageURL(const char *scrambledPage, qsizetype length, int flags);
QString KZ_SupportEmail();

// Equality helpers: two missing values are equal; exactly one missing is not.
bool KZ_IsEqualNSDate(const QDateTime &a, const QDateTime &b);    // invalid = missing
bool KZ_IsEqualNSString(const QString &a, const QString &b);      // null = missing
bool KZ_IsEqualNSObject(const QVariant &a, const QVariant &b);    // invalid = missing
bool KZ_IsEqualNSArray(const QVariant &a, const QVariant &b);
bool KZ_IsEqualNSNumber(const QVariant &a, const QVariant &b);
bool KZ_IsEqualNSPoint(const QPointF &p, const QPointF &q, double tolerance);
QString KZ_SringFromRect(const QRectF &r);

// Facts about the system (the Linux forms of the design's questions).
class KZDeviceInfo
{
public:
    static QString productSystemVersion(); // os-release VERSION_ID
    static QString productSystemName();    // "Linux Debian GNU/Linux 12"
    static bool isYosemiteOrBetter();      // every "or later" branch takes the newer path
    static bool isElCapitanOrBetter();
    static bool isMavericksOrBetter();
    static bool isAtLeastMacOSX(const QString &version); // "10.12" and "10.13" only
};

class KZMacInfo
{
public:
    struct MemoryStatistics {
        quint64 freeCount = 0, activeCount = 0, inactiveCount = 0, wireCount = 0;
    };
    static quint64 physicalMemory();
    static bool getMemoryStatistics(MemoryStatistics *out);
    static QString macModelType();
    static QString processorInfo();
    static QString systemUptime();
    static QString formatUptime(double seconds);
};
