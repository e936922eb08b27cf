// The process-wide notification hub: one QObject with one signal per named
// notification. Names stay constants for logs and tests; user info stays a
// QVariantMap with the design's keys. Post on the GUI thread.
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

inline const QString KZFileSearchObjectUpdatedNotification = QStringLiteral("KZFileSearchObjectUpdatedNotification");
inline const QString DirSizeCalculatorUpdatedNotification = QStringLiteral("DirSizeCalculatorUpdatedNotification");
inline const QString KZCheckForUpdatesDidInstallUpdateNotification =
    QStringLiteral("KZCheckForUpdatesDidInstallUpdateNotification");

class KZNotificationCenter : public QObject
{
    Q_OBJECT
public:
    static KZNotificationCenter *defaultCenter();

    // Emits the named signal (when the name is known) and notificationPosted.
    void post(const QString &name, QObject *object, const QVariantMap &userInfo = {});

Q_SIGNALS:
    void notificationPosted(const QString &name, QObject *object, const QVariantMap &userInfo);
    void fileSearchObjectUpdated(QObject *object, const QVariantMap &userInfo);
    void dirSizeCalculatorUpdated(QObject *object, const QVariantMap &userInfo);
    void checkForUpdatesDidInstallUpdate(QObject *object, const QVariantMap &userInfo);

private:
    KZNotificationCenter() = default;
};
