// The desktop's applications for a file type ("Open With"), through GIO's
// application registry (the .desktop files and mimeinfo.cache of the XDG data
// folders). Any thread; the launch starts the application and returns.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace kzplatform {

struct KZDesktopApp {
    QString id;       // the desktop file's id ("org.gnome.gedit.desktop")
    QString name;     // its display name
    QString iconName; // a theme icon name or an absolute file, empty for none
};

// Every application registered for mimeType, in the order GIO gives
// (defaults and recommended first); empty for a type without any.
QList<KZDesktopApp> kzApplicationsForMimeType(const QString &mimeType);

// Opens urls with the application of that id; false with the reason in
// *error when it cannot be started.
bool kzLaunchApplication(const QString &id, const QList<QUrl> &urls, QString *error = nullptr);

} // namespace kzplatform
