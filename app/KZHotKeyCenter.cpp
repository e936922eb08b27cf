#include "app/KZHotKeyCenter.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QThread>

#include "app/KZHotKey.h"
#include "platform/KZHotKeyKeys.h"
#include "platform/hotkey/KZPortalGlobalShortcuts.h"
#include "platform/hotkey/KZX11HotKeyGrabber.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"

namespace {

// Qt's own X connection, when the application runs on X11 (the offscreen and
// Wayland platforms have none).
KZHotKeyBackend *x11Backend()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return nullptr;
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(setup).data;
    return screen ? new KZX11HotKeyGrabber(connection, screen->root) : nullptr;
}

} // namespace

QString KZHotKeyBindToggleHint()
{
    return KZLocalizedString("This desktop does not let applications have a global shortcut: bind \"trovix --toggle\" "
                             "to a key in the desktop's keyboard settings.");
}

KZHotKeyCenter *KZHotKeyCenter::defaultCenter()
{
    static KZHotKeyCenter *center = [] {
        KZHotKeyBackend *backend = nullptr;
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            backend = x11Backend();
        else if (QDBusConnection::sessionBus().isConnected())
            backend = new KZPortalGlobalShortcuts(QDBusConnection::sessionBus());
        // Never released: ending with the application object would let the
        // grabs go through an X connection that Qt has already closed.
        return new KZHotKeyCenter(backend);
    }();
    return center;
}

KZHotKeyCenter::KZHotKeyCenter(KZHotKeyBackend *backend, QObject *parent)
    : QObject(parent), m_backend(backend)
{
    qRegisterMetaType<KZHotKey *>();
    if (!m_backend) {
        KZLOG_WARNING_M(QStringLiteral("no global shortcut on the platform %1").arg(QGuiApplication::platformName()));
        return;
    }
    m_backend->setParent(nullptr);
    connect(m_backend.get(), &KZHotKeyBackend::problem, this,
            [this](const QString &message) { KZLOG_ERROR_M(message); });
    connect(m_backend.get(), &KZHotKeyBackend::availabilityChanged, this,
            &KZHotKeyCenter::globalShortcutsAvailabilityChanged);
}

KZHotKeyCenter::~KZHotKeyCenter()
{
    removeEventHandler();
    for (KZHotKey *hotKey : std::as_const(_hotKeys)) {
        hotKey->unregisterHotKey();
        delete hotKey;
    }
}

bool KZHotKeyCenter::hasGlobalShortcuts() const
{
    return m_backend && m_backend->isAvailable();
}

qint64 KZHotKeyCenter::registerableStatusOfHotKeyWithKeyCode(quint64 keyCode, quint64 modifierFlags,
                                                             QString *keyCodeString, QString *errorMsg)
{
    const quint64 flags = KZHotKey::cleanedModifierFlags(modifierFlags);
    if (keyCodeString)
        *keyCodeString = KZHotKey::keyCodeStringOfKeyCode(keyCode, flags);
    QString message;
    qint64 status = StatusRegisterable;
    // A key code that names no key here could never be held.
    if (!KZHotKey::isValidKeyCode(keyCode, flags) || !kzHotKeyKeyOfKeyCode(keyCode)) {
        status = StatusNotCorrect;
        message = KZLocalizedString("This shortcut is not correct.");
    } else if (hotKeyWithKeyCode(keyCode, flags)) {
        // Before asking the desktop: our own grab is no other program's.
        status = StatusAlreadyRegistered;
        message = KZLocalizedString("This shortcut is already registered.");
    } else if (KZHotKey::hasEquivalentOfKeyCode(keyCode, flags, m_backend.get())) {
        status = StatusTaken;
        message = KZLocalizedString("This shortcut is already used by another combination.");
    }
    if (errorMsg)
        *errorMsg = message;
    return status;
}

bool KZHotKeyCenter::registerHotKeyWithKeyCode(quint64 keyCode, quint64 modifierFlags, qint64 tag)
{
    const quint64 flags = KZHotKey::cleanedModifierFlags(modifierFlags);
    if (!KZHotKey::isValidKeyCode(keyCode, flags)) {
        KZLOG_ERROR_M(QStringLiteral("isValidKeyCode==NO"));
        return false;
    }
    if (!unregisterHotKeyWithTag(tag)) {
        KZLOG_ERROR_M(QStringLiteral("unregisterHotKeyWithTag==NO"));
        return false;
    }
    if (hotKeyWithKeyCode(keyCode, flags)) {
        KZLOG_ERROR_M(QStringLiteral("hotKeyWithKeyCode!=nil"));
        return false;
    }
    if (!installEventHandlerIfNecessary()) {
        KZLOG_ERROR_M(QStringLiteral("InstallEventHandler:%1").arg(-1));
        return false;
    }
    auto hotKey = std::make_unique<KZHotKey>(keyCode, flags, tag, m_backend.get());
    if (!hotKey->registerHotKey())
        return false;
    _hotKeys.append(hotKey.release());
    return true;
}

bool KZHotKeyCenter::unregisterHotKeyWithTag(qint64 tag)
{
    const QList<KZHotKey *> hotKeys = _hotKeys;
    for (KZHotKey *hotKey : hotKeys) {
        if (hotKey->tag() != tag)
            continue;
        hotKey->unregisterHotKey();
        _hotKeys.removeOne(hotKey);
        delete hotKey;
    }
    return true;
}

KZHotKey *KZHotKeyCenter::hotKeyWithKeyCode(quint64 keyCode, quint64 modifierFlags) const
{
    const quint64 flags = KZHotKey::cleanedModifierFlags(modifierFlags);
    for (KZHotKey *hotKey : _hotKeys) {
        if (hotKey->keyCode() == keyCode && hotKey->modifierFlags() == flags)
            return hotKey;
    }
    return nullptr;
}

void KZHotKeyCenter::tryToRegisterHotKeyRepresentation(const std::optional<KZHotKeyRepresentation> &representation,
                                                       qint64 tag)
{
    if (!representation || !representation->isEnabled())
        return;
    QString message;
    const qint64 status = registerableStatusOfHotKeyWithKeyCode(representation->keyCode(),
                                                                representation->modifierFlags(), nullptr, &message);
    if (status != StatusRegisterable) {
        KZLOG_ERROR_M(QStringLiteral("registerableStatusOfHotKeyWithKeyCode:%1 errorMsg:%2 hotKey:%3")
                          .arg(status)
                          .arg(message, representation->description()));
        return;
    }
    if (!registerHotKeyWithKeyCode(representation->keyCode(), representation->modifierFlags(), tag))
        KZLOG_ERROR_M(QStringLiteral("registerHotKeyWithKeyCode==NO hotKey:%1").arg(representation->description()));
}

bool KZHotKeyCenter::installEventHandlerIfNecessary()
{
    if (_eventHandler)
        return true;
    if (!m_backend || !m_backend->isAvailable())
        return false;
    connect(m_backend.get(), &KZHotKeyBackend::pressed, this, &KZHotKeyCenter::diffuseHotKeyPressedWithEvent);
    _eventHandler = true;
    return true;
}

void KZHotKeyCenter::removeEventHandler()
{
    if (!_eventHandler)
        return;
    disconnect(m_backend.get(), &KZHotKeyBackend::pressed, this, &KZHotKeyCenter::diffuseHotKeyPressedWithEvent);
    _eventHandler = false;
}

void KZHotKeyCenter::diffuseHotKeyPressedWithEvent(quint32 hotKeyId)
{
    if (QThread::currentThread() != thread())
        KZLog::logError(QStringLiteral("ERROR: [NSThread isMainThread]==NO"));
    for (KZHotKey *hotKey : std::as_const(_hotKeys)) {
        if (hotKey->hotKeyId() == hotKeyId) {
            emit pressedHotKey(hotKey);
            return;
        }
    }
}
