#include "support/KZLog.h"

#include <cxxabi.h>
#include <cstdlib>
#include <mutex>

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "platform/KZSystemLog.h"

namespace {

std::mutex &sinkMutex()
{
    static std::mutex m;
    return m;
}

KZLog::Sink &sinkSlot()
{
    static KZLog::Sink sink;
    return sink;
}

std::mutex &presenterMutex()
{
    static std::mutex m;
    return m;
}

KZLog::Presenter &presenterSlot()
{
    static KZLog::Presenter presenter;
    return presenter;
}

} // namespace

QString KZLog::labelOfSeverity(int severity)
{
    switch (severity) {
    case KZLogSeverityDiag: return QStringLiteral("DIAG");
    case KZLogSeverityDebug: return QStringLiteral("DEBUG");
    case KZLogSeverityInfo: return QStringLiteral("INFO");
    case KZLogSeverityWarning: return QStringLiteral("WARNING");
    case KZLogSeverityError: return QStringLiteral("ERROR");
    case KZLogSeverityCriticalException: return QStringLiteral("CRITIRAL EXCEPTION");
    default: return QString();
    }
}

QString KZLog::entryString(int severity, const QString &message, const QString &error)
{
    QString entry = labelOfSeverity(severity) + QLatin1Char(' ') + message;
    if (!error.isNull())
        entry += QStringLiteral("\n{") + error + QStringLiteral("\n}");
    return entry;
}

void KZLog::logWithSeverity(int severity, const QString &message, const QString &error)
{
    if (severity == KZLogSeverityDebug)
        return;
    const QString entry = entryString(severity, message, error);
    {
        std::lock_guard<std::mutex> lock(sinkMutex());
        if (sinkSlot()) {
            sinkSlot()(severity, entry);
        }
    }
    kzplatform::kzSystemLogWrite(severity, entry);
}

void KZLog::logDiag(const QString &message) { logWithSeverity(KZLogSeverityDiag, message); }
void KZLog::logDebug(const QString &) {}
void KZLog::logInfo(const QString &message) { logWithSeverity(KZLogSeverityInfo, message); }
void KZLog::logWarning(const QString &message) { logWithSeverity(KZLogSeverityWarning, message); }
void KZLog::logError(const QString &message) { logWithSeverity(KZLogSeverityError, message); }
void KZLog::logCriticalException(const QString &message) { logWithSeverity(KZLogSeverityCriticalException, message); }

void KZLog::setSink(Sink sink)
{
    std::lock_guard<std::mutex> lock(sinkMutex());
    sinkSlot() = std::move(sink);
}

void KZLog::setCriticalPresenter(Presenter presenter)
{
    std::lock_guard<std::mutex> lock(presenterMutex());
    presenterSlot() = std::move(presenter);
}

void KZLog::showCritialException(const QString &message)
{
    Presenter presenter;
    {
        std::lock_guard<std::mutex> lock(presenterMutex());
        presenter = presenterSlot();
    }
    QCoreApplication *app = QCoreApplication::instance();
    if (!presenter || !app)
        return; // no GUI: the failure was logged by the caller
    if (QThread::currentThread() == app->thread()) {
        presenter(message);
        return;
    }
    // A worker stops here until the user has closed the alert.
    QMetaObject::invokeMethod(app, [presenter, message] { presenter(message); }, Qt::BlockingQueuedConnection);
}

QString KZMethodMessage(const char *method, int line, const QString &receiver, const QString &message)
{
    return QStringLiteral("%1(%2) %3 %4").arg(QString::fromUtf8(method)).arg(line).arg(receiver, message);
}

QString KZFunctionMessage(const char *function, int line, const QString &message)
{
    return QStringLiteral("%1(%2) %3").arg(QString::fromUtf8(function)).arg(line).arg(message);
}

QString KZAlertMessage(const QString &className, const char *method, int line, const QString &message)
{
    return QStringLiteral("[%1 %2 %3]\n%4").arg(className, QString::fromUtf8(method)).arg(line).arg(message);
}

QString KZDemangledTypeName(const std::type_info &info)
{
    int status = 0;
    char *name = abi::__cxa_demangle(info.name(), nullptr, nullptr, &status);
    QString result = QString::fromUtf8(status == 0 && name ? name : info.name());
    std::free(name);
    return result;
}

bool KZ_ReturnNoWithMessage(const QString &message, QString *outMessage)
{
    if (outMessage)
        *outMessage = message;
    return false;
}

std::nullptr_t KZ_ReturnNilWithMessage(const QString &message, QString *outMessage)
{
    if (outMessage)
        *outMessage = message;
    return nullptr;
}

std::nullptr_t KZ_ReturnNULLWithMessage(const QString &message, QString *outMessage)
{
    return KZ_ReturnNilWithMessage(message, outMessage);
}

long long KZ_ReturnIntegerWithMessage(long long value, const QString &message, QString *outMessage)
{
    if (outMessage)
        *outMessage = message;
    return value;
}
