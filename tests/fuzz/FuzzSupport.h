// What every fuzz target shares (each includes this header once, in its only
// source file): a Qt Core application, XDG folders and HOME
// in a private temporary folder (nothing of the user's is read or written),
// and a system log that drops records, so that millions of rejected inputs do
// not flood it. KZ_FUZZ_CHECK aborts on a broken promise; libFuzzer then keeps
// the input like a crash.
#pragma once

#include <syslog.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#define KZ_FUZZ_CHECK(condition)                                                                 \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Trovix never logs at LOG_EMERG: this mask drops every record.
    setlogmask(LOG_MASK(LOG_EMERG));
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/trovix-fuzz-XXXXXX"));
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "HOME"}) {
        const QString path = root.path() + QLatin1Char('/') + QLatin1String(var);
        QDir().mkpath(path);
        qputenv(var, QFile::encodeName(path));
    }
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root.path() + QStringLiteral("/config-dirs")));
    static QCoreApplication app(*argc, *argv);
    return 0;
}

inline QByteArray kzFuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}
