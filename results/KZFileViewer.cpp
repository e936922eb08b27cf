#include "results/KZFileViewer.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QSet>
#include <QStringList>

#include "support/KZLog.h"

namespace {

KZFileViewer::CallHandler &callHandler()
{
    static KZFileViewer::CallHandler handler;
    return handler;
}

const QString kService = QStringLiteral("org.freedesktop.FileManager1");
// A file manager that has not answered by then is taken as absent.
constexpr int kReplyTimeoutMs = 2000;

// The owner of the file manager's name, followed on the GUI thread.
struct FileManagerPresence {
    bool present = false;
    QDBusServiceWatcher *watcher = nullptr;
};

FileManagerPresence &presence()
{
    static FileManagerPresence state;
    return state;
}

} // namespace

bool KZFileViewer::hasFileManager()
{
    if (callHandler())
        return true;
    FileManagerPresence &state = presence();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!state.watcher && bus.isConnected()) {
        state.watcher = new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange,
                                                QCoreApplication::instance());
        QObject::connect(state.watcher, &QDBusServiceWatcher::serviceOwnerChanged,
                         [](const QString &, const QString &, const QString &owner) {
                             presence().present = !owner.isEmpty();
                         });
        QDBusMessage ask = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        ask << kService;
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask, kReplyTimeoutMs), state.watcher);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher] {
            watcher->deleteLater();
            const QDBusPendingReply<bool> reply = *watcher;
            if (!reply.isError())
                presence().present = reply.value();
        });
    }
    return state.present;
}

void KZFileViewer::setCallHandlerForTesting(CallHandler handler)
{
    callHandler() = std::move(handler);
}

bool KZFileViewer::callFileManager(const QString &method, const QList<QUrl> &urls,
                                   std::function<void(const QDBusError &)> finished)
{
    if (callHandler()) {
        finished(callHandler()(method, urls) ? QDBusError()
                                             : QDBusError(QDBusError::Failed, QStringLiteral("refused")));
        return true;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QStringList uris;
    for (const QUrl &url : urls)
        uris.append(url.toString(QUrl::FullyEncoded));
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/FileManager1"), kService, method);
    call << uris << QString();
    // An absent name that no service file provides is answered at once by
    // the bus itself (ServiceUnknown); nothing here waits for it.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kReplyTimeoutMs), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, finished = std::move(finished)] {
        watcher->deleteLater();
        finished(watcher->isError() ? watcher->error() : QDBusError());
    });
    return true;
}

void KZFileViewer::openParentFolders(const QList<QUrl> &urls)
{
    QSet<QUrl> parents;
    for (const QUrl &url : urls) {
        const QUrl parent = url.adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash);
        if (parents.contains(parent))
            continue;
        parents.insert(parent);
        if (!QDesktopServices::openUrl(parent))
            KZLOG_WARNING_F(QStringLiteral("openUrl==NO url:%1").arg(parent.toString()));
    }
}

bool KZFileViewer::activateFileViewerSelectingURLs(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return false;
    const bool sent = callFileManager(QStringLiteral("ShowItems"), urls, [urls](const QDBusError &error) {
        if (!error.isValid())
            return;
        // No file manager at all is an ordinary desktop.
        if (error.type() != QDBusError::ServiceUnknown)
            KZLOG_WARNING_F(QStringLiteral("ShowItems error:%1 %2").arg(error.name(), error.message()));
        openParentFolders(urls);
    });
    if (!sent)
        openParentFolders(urls);
    return true;
}

bool KZFileViewer::displayInfoOfURLs(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return false;
    return callFileManager(QStringLiteral("ShowItemProperties"), urls, [](const QDBusError &error) {
        if (error.type() == QDBusError::ServiceUnknown)
            KZLOG_WARNING_F(QStringLiteral("ShowItemProperties: no file manager on the session bus"));
        else if (error.isValid())
            KZLOG_WARNING_F(QStringLiteral("ShowItemProperties error:%1 %2").arg(error.name(), error.message()));
    });
}
