// The desktop's file manager as the results views need it: reveal items
// (select them in a file-manager window) and show their properties window,
// through the freedesktop "org.freedesktop.FileManager1" D-Bus service.
// GUI thread.
#pragma once

#include <QList>
#include <QUrl>
#include <functional>

class KZFileViewer
{
public:
    // Selects urls in a file-manager window (ShowItems). Without the service,
    // opens the parent folder of each url with the default handler instead.
    // False when nothing could be shown.
    static bool activateFileViewerSelectingURLs(const QList<QUrl> &urls);
    // The file manager's information window of each url (ShowItemProperties);
    // false without the service.
    static bool displayInfoOfURLs(const QList<QUrl> &urls);

    // Tests: replaces the D-Bus call. The handler receives the method name
    // ("ShowItems", "ShowItemProperties") and the URLs, and answers whether
    // the call succeeded. An empty handler restores the real service.
    using CallHandler = std::function<bool(const QString &method, const QList<QUrl> &urls)>;
    static void setCallHandlerForTesting(CallHandler handler);

private:
    static bool callFileManager(const QString &method, const QList<QUrl> &urls);
};
