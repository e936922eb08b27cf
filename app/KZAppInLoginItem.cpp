#include "app/KZAppInLoginItem.h"

#include <QCoreApplication>

#include "platform/KZSharedLoginItems.h"
#include "support/KZLog.h"

using kzplatform::KZSharedLoginItems;

namespace {

QString &executableOverride()
{
    static QString path;
    return path;
}

void logErrors(const char *function, const QStringList &errors)
{
    for (const QString &error : errors)
        KZLog::logWithSeverity(KZLogSeverityError, KZFunctionMessage(function, __LINE__, error));
}

} // namespace

QString KZAppInLoginItem::executablePath()
{
    return executableOverride().isNull() ? QCoreApplication::applicationFilePath() : executableOverride();
}

void KZAppInLoginItem::setExecutablePathForTesting(const QString &path)
{
    executableOverride() = path;
}

int KZAppInLoginItem::loginItemStatus()
{
    QStringList errors;
    bool valid = false;
    const bool listed = KZSharedLoginItems::isLoginItem(executablePath(), &valid, &errors);
    logErrors(__func__, errors);
    return !listed ? 0 : valid ? 1 : -1;
}

void KZAppInLoginItem::setIsLoginItem(bool isLoginItem)
{
    QStringList errors;
    if (isLoginItem)
        KZSharedLoginItems::addLoginItem(executablePath(), &errors);
    else
        KZSharedLoginItems::removeLoginItem(executablePath(), &errors);
    logErrors(__func__, errors);
}
