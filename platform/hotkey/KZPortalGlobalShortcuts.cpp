#include "platform/hotkey/KZPortalGlobalShortcuts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "platform/KZHotKeyKeys.h"

namespace {

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &arg, const PortalShortcut &s)
{
    arg.beginStructure();
    arg << s.id << s.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, PortalShortcut &s)
{
    arg.beginStructure();
    arg >> s.id >> s.properties;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

KZPortalGlobalShortcuts::KZPortalGlobalShortcuts(const QDBusConnection &bus, QObject *parent)
    : KZHotKeyBackend(parent), m_bus(bus)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    // No sender name in the match: Qt would ask the bus for the name's owner
    // and wait for the answer. The session handle is ours alone.
    m_bus.connect(QString(), QString::fromLatin1(KZPortalPath),
                  QString::fromLatin1(KZPortalGlobalShortcutsInterface), QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

QString KZPortalGlobalShortcuts::shortcutIdOfTag(qint64 tag)
{
    return QStringLiteral("trovix-hotkey-%1").arg(tag);
}

KZHotKeyBackend::Result KZPortalGlobalShortcuts::grabKey(quint32 hotKeyId, quint64 keyCode, quint64 flags,
                                                         qint64 tag)
{
    if (m_state == State::Unavailable) {
        m_lastError = -1;
        return Failed;
    }
    m_shortcuts.insert(hotKeyId, {tag, kzShortcutTriggerOfKeyCode(keyCode, flags)});
    if (m_state == State::Idle)
        createSession();
    else
        bindShortcuts();
    return Grabbed;
}

bool KZPortalGlobalShortcuts::ungrabKey(quint32 hotKeyId)
{
    if (!m_shortcuts.remove(hotKeyId))
        return false;
    bindShortcuts();
    return true;
}

// The portal names the request object after our unique bus name and a token
// of ours; listening there before calling catches a Response sent at once.
QString KZPortalGlobalShortcuts::requestPath(const QString &token) const
{
    QString sender = m_bus.baseService();
    sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

void KZPortalGlobalShortcuts::callWithRequest(const QString &method, QList<QVariant> arguments, const QString &what)
{
    const QString token = QStringLiteral("trovix%1").arg(++m_tokenCounter);
    QVariantMap options = arguments.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);
    if (!m_pendingRequest.isEmpty())
        m_bus.disconnect(QString(), m_pendingRequest,
                         QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap)));
    m_pendingRequest = requestPath(token);
    m_pendingWhat = what;
    m_bus.connect(QString(), m_pendingRequest, QStringLiteral("org.freedesktop.portal.Request"),
                  QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));

    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(KZPortalService),
                                                       QString::fromLatin1(KZPortalPath),
                                                       QString::fromLatin1(KZPortalGlobalShortcutsInterface), method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, method] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError()) {
            const QDBusError error = reply.error();
            if (method == QLatin1String("CreateSession"))
                setUnavailable(error.name() + QLatin1Char(' ') + error.message());
            else
                emit problem(QStringLiteral("%1:%2 %3").arg(method, error.name(), error.message()));
            return;
        }
        // An older portal may choose its own request path.
        const QString path = reply.value().path();
        if (path != m_pendingRequest) {
            m_bus.connect(QString(), path, QStringLiteral("org.freedesktop.portal.Request"),
                          QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
            m_pendingRequest = path;
        }
    });
}

void KZPortalGlobalShortcuts::createSession()
{
    m_state = State::Creating;
    callWithRequest(QStringLiteral("CreateSession"),
                    {QVariantMap{{QStringLiteral("session_handle_token"), QStringLiteral("trovix")}}},
                    QStringLiteral("CreateSession"));
}

void KZPortalGlobalShortcuts::bindShortcuts()
{
    if (m_state != State::Ready) {
        m_bindAgain = true;
        return;
    }
    QList<PortalShortcut> list;
    for (const Shortcut &s : std::as_const(m_shortcuts)) {
        list.append({shortcutIdOfTag(s.tag),
                     {{QStringLiteral("description"), QStringLiteral("Show or hide the Trovix windows")},
                      {QStringLiteral("preferred_trigger"), s.trigger}}});
    }
    callWithRequest(QStringLiteral("BindShortcuts"),
                    {QVariant::fromValue(QDBusObjectPath(m_sessionHandle)), QVariant::fromValue(list), QString(),
                     QVariantMap()},
                    QStringLiteral("BindShortcuts"));
}

void KZPortalGlobalShortcuts::onResponse(uint response, const QVariantMap &results)
{
    const QString what = m_pendingWhat;
    m_pendingWhat.clear();
    if (what == QLatin1String("CreateSession")) {
        if (response != 0) {
            setUnavailable(QStringLiteral("CreateSession answered %1").arg(response));
            return;
        }
        // The handle comes as a string (as the portal documents it) or an object path (some portals).
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        m_sessionHandle = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                                : handle.toString();
        m_state = State::Ready;
        bindShortcuts();
    } else if (what == QLatin1String("BindShortcuts") && response != 0) {
        m_lastError = static_cast<int>(response);
        emit problem(QStringLiteral("BindShortcuts:%1").arg(response));
    }
    if (m_bindAgain && m_state == State::Ready && m_pendingWhat.isEmpty()) {
        m_bindAgain = false;
        bindShortcuts();
    }
}

void KZPortalGlobalShortcuts::onActivated(const QDBusObjectPath &session, const QString &shortcutId, qulonglong,
                                          const QVariantMap &)
{
    if (session.path() != m_sessionHandle)
        return;
    for (auto it = m_shortcuts.cbegin(); it != m_shortcuts.cend(); ++it) {
        if (shortcutIdOfTag(it->tag) == shortcutId) {
            emit pressed(it.key());
            return;
        }
    }
}

void KZPortalGlobalShortcuts::setUnavailable(const QString &why)
{
    if (m_state == State::Unavailable)
        return;
    m_state = State::Unavailable;
    emit problem(QStringLiteral("GlobalShortcuts portal unavailable: %1").arg(why));
    emit availabilityChanged(false);
}
