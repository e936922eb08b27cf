#include "support/KZNotificationCenter.h"

KZNotificationCenter *KZNotificationCenter::defaultCenter()
{
    // Never destroyed: posts may come while static objects are torn down.
    static KZNotificationCenter *center = new KZNotificationCenter;
    return center;
}

void KZNotificationCenter::post(const QString &name, QObject *object, const QVariantMap &userInfo)
{
    if (name == KZFileSearchObjectUpdatedNotification)
        Q_EMIT fileSearchObjectUpdated(object, userInfo);
    else if (name == DirSizeCalculatorUpdatedNotification)
        Q_EMIT dirSizeCalculatorUpdated(object, userInfo);
    else if (name == KZCheckForUpdatesDidInstallUpdateNotification)
        Q_EMIT checkForUpdatesDidInstallUpdate(object, userInfo);
    Q_EMIT notificationPosted(name, object, userInfo);
}
