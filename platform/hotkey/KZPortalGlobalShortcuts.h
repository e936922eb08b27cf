// Global shortcuts where applications may not grab keys (Wayland): the
// xdg-desktop-portal GlobalShortcuts interface. One portal session per
// process; every change binds the whole set again, each shortcut offering its
// combination as the preferred trigger (the desktop may ask the user and
// choose another). Every call is asynchronous: the GUI thread never waits for
// the bus. A portal without the interface makes the backend unavailable,
// logged once.
#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QMap>
#include <QVariantMap>

#include "platform/hotkey/KZHotKeyBackend.h"

class QDBusPendingCallWatcher;

inline constexpr const char *KZPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char *KZPortalPath = "/org/freedesktop/portal/desktop";
inline constexpr const char *KZPortalGlobalShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";

class KZPortalGlobalShortcuts : public KZHotKeyBackend
{
    Q_OBJECT
public:
    explicit KZPortalGlobalShortcuts(const QDBusConnection &bus, QObject *parent = nullptr);

    // Always "grabbed": the portal answers later, and a refusal is logged.
    Result grabKey(quint32 hotKeyId, quint64 keyCode, quint64 flags, qint64 tag) override;
    bool ungrabKey(quint32 hotKeyId) override;
    // The portal has no way to ask; it settles conflicts itself.
    bool isTakenElsewhere(quint64, quint64) override { return false; }
    bool isAvailable() const override { return m_state != State::Unavailable; }
    bool hasSession() const { return m_state == State::Ready; }

    // The shortcut identifier the portal knows a tag by.
    static QString shortcutIdOfTag(qint64 tag);

private slots:
    void onResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusObjectPath &session, const QString &shortcutId, qulonglong timestamp,
                     const QVariantMap &options);

private:
    enum class State { Idle, Creating, Ready, Unavailable };
    struct Shortcut
    {
        qint64 tag;
        QString trigger;
    };
    void createSession();
    void bindShortcuts();
    // Calls a portal method whose answer comes as a Response signal on a
    // request object; follows the request to that signal.
    void callWithRequest(const QString &method, QList<QVariant> arguments, const QString &what);
    QString requestPath(const QString &token) const;
    void setUnavailable(const QString &why);

    QDBusConnection m_bus;
    State m_state = State::Idle;
    QString m_sessionHandle;
    QString m_pendingRequest; // the request whose Response is awaited
    QString m_pendingWhat;    // "CreateSession" or "BindShortcuts"
    bool m_bindAgain = false;
    int m_tokenCounter = 0;
    QMap<quint32, Shortcut> m_shortcuts;
};
