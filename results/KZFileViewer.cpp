#include "results/KZFileViewer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
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

} // namespace

void KZFileViewer::setCallHandlerForTesting(CallHandler handler)
{
    callHandler() = std::move(handler);
}

bool KZFileViewer::callFileManager(const QString &method, const QList<QUrl> &urls)
{
    if (callHandler())
        return callHandler()(method, urls);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    // Asking for an absent name would start nothing useful and block; a
    // missing service is an ordinary case (no file manager installed).
    if (!bus.interface()->isServiceRegistered(kService).value() &&
        !bus.interface()->activatableServiceNames().value().contains(kService))
        return false;
    QStringList uris;
    for (const QUrl &url : urls)
        uris.append(url.toString(QUrl::FullyEncoded));
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/FileManager1"), kService, method);
    call << uris << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        KZLOG_ERROR_F(QStringLiteral("%1 error:%2").arg(method, reply.errorMessage()));
        return false;
    }
    return true;
}

bool KZFileViewer::activateFileViewerSelectingURLs(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return false;
    if (callFileManager(QStringLiteral("ShowItems"), urls))
        return true;
    QSet<QUrl> parents;
    bool shown = false;
    for (const QUrl &url : urls) {
        const QUrl parent = url.adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash);
        if (parents.contains(parent))
            continue;
        parents.insert(parent);
        shown = QDesktopServices::openUrl(parent) || shown;
    }
    return shown;
}

bool KZFileViewer::displayInfoOfURLs(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return false;
    return callFileManager(QStringLiteral("ShowItemProperties"), urls);
}
