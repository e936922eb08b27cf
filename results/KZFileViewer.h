// The desktop's file manager as the results views need it: reveal items
// (select them in a file-manager window) and show their properties window,
// through the freedesktop "org.freedesktop.FileManager1" D-Bus service.
// GUI thread. The calls never wait for the bus: they return once the request
// is sent, and the answer is handled when it arrives.
#pragma once

#include <QDBusError>
#include <QList>
#include <QUrl>
#include <functional>

class KZFileViewer
{
public:
    // Selects urls in a file-manager window (ShowItems). When there is no
    // file manager on the bus, or it answers with an error or not in time,
    // the parent folder of each url opens with the default handler instead.
    // False only for an empty list.
    static bool activateFileViewerSelectingURLs(const QList<QUrl> &urls);
    // The file manager's information window of each url (ShowItemProperties).
    // False for an empty list or without a session bus; a refusal that
    // arrives later is logged.
    static bool displayInfoOfURLs(const QList<QUrl> &urls);
    // Whether a file manager owns "org.freedesktop.FileManager1", as last
    // heard: the first call asks the bus without waiting (false until the
    // answer) and then follows the name's changes of owner. True while a
    // test handler replaces the bus.
    static bool hasFileManager();

    // Tests: replaces the D-Bus call. The handler receives the method name
    // ("ShowItems", "ShowItemProperties") and the URLs, and answers whether
    // the call succeeded. An empty handler restores the real service.
    using CallHandler = std::function<bool(const QString &method, const QList<QUrl> &urls)>;
    static void setCallHandlerForTesting(CallHandler handler);

private:
    // Sends the call and returns whether it went out; finished runs on the
    // GUI thread once the answer (or the time-out) is in, with an invalid
    // error for a success.
    static bool callFileManager(const QString &method, const QList<QUrl> &urls,
                                std::function<void(const QDBusError &)> finished);
    static void openParentFolders(const QList<QUrl> &urls);
};
