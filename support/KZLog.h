// The single logging facility: every failed check and unexpected system-call
// result goes through KZLog to the system log with a severity label; critical
// failures are also shown to the user when a GUI has installed a presenter.
#pragma once

#include <QString>
#include <functional>
#include <typeinfo>

enum KZLogSeverity : int {
    KZLogSeverityDiag = 0,
    KZLogSeverityDebug = 1,
    KZLogSeverityInfo = 2,
    KZLogSeverityWarning = 3,
    KZLogSeverityError = 4,
    KZLogSeverityCriticalException = 5,
};

class KZLog
{
public:
    // Any thread; takes no lock of its own beyond the sink's.
    static void logDiag(const QString &message);
    static void logDebug(const QString &message); // debug messages are dropped
    static void logInfo(const QString &message);
    static void logWarning(const QString &message);
    static void logError(const QString &message);
    static void logCriticalException(const QString &message);
    // error: the description of an error object, or a null QString for none.
    static void logWithSeverity(int severity, const QString &message, const QString &error = QString());

    // "DIAG", ..., "CRITIRAL EXCEPTION"; empty for an unknown severity.
    static QString labelOfSeverity(int severity);
    // The entry as written: label, a space, the message, and when an error is
    // given "\n{" + error + "\n}".
    static QString entryString(int severity, const QString &message, const QString &error = QString());

    // Shows the critical-error alert; from any thread. On a worker thread it
    // waits until the alert was closed on the GUI thread. In a process without
    // a presenter (the command-line tool, tests) the failure is only logged.
    static void showCritialException(const QString &message);

    // The GUI installs the alert here; it is called on the GUI thread.
    using Presenter = std::function<void(const QString &message)>;
    static void setCriticalPresenter(Presenter presenter);

    // Tests capture entries here (severity, whole entry). Only one sink; pass
    // an empty function to remove it. Called on the logging thread, under a lock.
    using Sink = std::function<void(int severity, const QString &entry)>;
    static void setSink(Sink sink);
};

// "%s(%d) %@ %@": method name, source line, the receiver, the message.
QString KZMethodMessage(const char *method, int line, const QString &receiver, const QString &message);
// "%s(%d) %@": function name, source line, the message.
QString KZFunctionMessage(const char *function, int line, const QString &message);
// "[%@ %s %d]\n%@": class name, method name, source line, the message.
QString KZAlertMessage(const QString &className, const char *method, int line, const QString &message);

// "<ClassName: 0x...>" for a receiver; the class name comes from its dynamic type.
QString KZDemangledTypeName(const std::type_info &info);
template <typename T>
QString KZReceiverDescription(const T *receiver)
{
    return QStringLiteral("<%1: 0x%2>")
        .arg(KZDemangledTypeName(typeid(*receiver)))
        .arg(reinterpret_cast<quintptr>(receiver), 0, 16);
}

// Inside a method (uses `this`):
#define KZLOG_M(severity, msg) \
    KZLog::logWithSeverity((severity), KZMethodMessage(__func__, __LINE__, KZReceiverDescription(this), (msg)))
#define KZLOG_INFO_M(msg) KZLOG_M(KZLogSeverityInfo, msg)
#define KZLOG_WARNING_M(msg) KZLOG_M(KZLogSeverityWarning, msg)
#define KZLOG_ERROR_M(msg) KZLOG_M(KZLogSeverityError, msg)
// A failed consistency check: logged as critical, then shown to the user; the
// caller carries on.
#define KZLOG_CRITICAL_M(msg)                                                                            \
    do {                                                                                                 \
        const QString kz_msg_ = (msg);                                                                   \
        KZLog::logCriticalException(KZMethodMessage(__func__, __LINE__, KZReceiverDescription(this), kz_msg_)); \
        KZLog::showCritialException(                                                                     \
            KZAlertMessage(KZDemangledTypeName(typeid(*this)), __func__, __LINE__, kz_msg_));            \
    } while (0)

// Inside a plain function:
#define KZLOG_F(severity, msg) KZLog::logWithSeverity((severity), KZFunctionMessage(__func__, __LINE__, (msg)))
#define KZLOG_INFO_F(msg) KZLOG_F(KZLogSeverityInfo, msg)
#define KZLOG_WARNING_F(msg) KZLOG_F(KZLogSeverityWarning, msg)
#define KZLOG_ERROR_F(msg) KZLOG_F(KZLogSeverityError, msg)
#define KZLOG_CRITICAL_F(msg)                                                                  \
    do {                                                                                       \
        const QString kz_msg_ = (msg);                                                         \
        KZLog::logCriticalException(KZFunctionMessage(__func__, __LINE__, kz_msg_));           \
        KZLog::showCritialException(KZAlertMessage(QString(), __func__, __LINE__, kz_msg_));   \
    } while (0)

// Hand a user-facing message back through an optional out-parameter while
// returning the failure value in one step.
bool KZ_ReturnNoWithMessage(const QString &message, QString *outMessage);
std::nullptr_t KZ_ReturnNilWithMessage(const QString &message, QString *outMessage);
std::nullptr_t KZ_ReturnNULLWithMessage(const QString &message, QString *outMessage);
long long KZ_ReturnIntegerWithMessage(long long value, const QString &message, QString *outMessage);
