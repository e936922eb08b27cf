// Small stateless helpers shared across Trovix: identity, byte counts,
// running command-line tools, per-application folders, the maker's addresses
// and facts about the machine.
#pragma once

#include <QProcessEnvironment>
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

    // Folders
    static bool checkDirectoryAtPath(const QString &dirPath, bool replaceIfNotDir);
    // $XDG_DATA_HOME/org.trovix.Trovix, created on first use; null on failure.
    static QString appSupportPath(QString *error = nullptr);

    // Forgets the cached folders (tests that move XDG_* elsewhere).
    static void resetCachedPathsForTesting();
};

// Maker addresses. The stored values are scrambled (Base64, then reversed).
QString KZ_StringDelacement(qsizetype length, char *bytes, int flags);
QString KZ_WebSiteURLString(const QString &pathComponent = QString());
QUrl KZ_WebSiteURL(const QString &pathComponent = QString());
enum KZWebPageFlags { KZWebPageAppendPHP = 1, KZWebPageAsString = 2 };
// scrambledPage is not freed. Returns a string (flag bit 1) or a URL.
QVariant KZ_WebPageURL(const char *scrambledPage, qsizetype length, int flags);
QString KZ_SupportEmail();

// Facts about the system (the Linux forms of the design's questions).
class KZDeviceInfo
{
public:
    static QString productSystemVersion(); // os-release VERSION_ID
    static QString productSystemName();    // "Linux Debian GNU/Linux 12"
    static bool isYosemiteOrBetter();      // every "or later" branch takes the newer path
    static bool isElCapitanOrBetter();
    static bool isMavericksOrBetter();
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
