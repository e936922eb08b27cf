#include "platform/hotkey/KZX11HotKeyGrabber.h"

#include <xcb/xcb_keysyms.h>
#include <cstdlib>
#include <memory>

#include <QCoreApplication>

#include "platform/KZHotKeyKeys.h"

namespace {

constexpr quint8 kBadAccess = 10;
constexpr quint16 kModifierBits = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2
                                  | XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;

struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};

} // namespace

KZX11HotKeyGrabber::KZX11HotKeyGrabber(xcb_connection_t *connection, xcb_window_t root, QObject *parent)
    : KZHotKeyBackend(parent), m_connection(connection), m_root(root)
{
    m_symbols = xcb_key_symbols_alloc(m_connection);
    readModifierMap();
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installNativeEventFilter(this);
}

KZX11HotKeyGrabber::~KZX11HotKeyGrabber()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    for (const Grab &g : std::as_const(m_grabs))
        ungrab(g.keycode, g.modifiers);
    xcb_flush(m_connection);
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
}

// Which of Mod1..Mod5 carry Num Lock, Alt and Super depends on the server's
// keymap; the usual Mod2, Mod1 and Mod4 stand when a key is not mapped.
void KZX11HotKeyGrabber::readModifierMap()
{
    if (!m_symbols)
        return;
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, FreeDeleter> reply(
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    if (!reply)
        return;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    auto maskOf = [&](xcb_keysym_t keysym, quint16 fallback) -> quint16 {
        std::unique_ptr<xcb_keycode_t, FreeDeleter> wanted(xcb_key_symbols_get_keycode(m_symbols, keysym));
        if (!wanted)
            return fallback;
        for (int mod = 3; mod < 8; ++mod) { // Mod1..Mod5
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[mod * perModifier + i];
                for (const xcb_keycode_t *w = wanted.get(); code && *w != XCB_NO_SYMBOL; ++w) {
                    if (*w == code)
                        return static_cast<quint16>(1u << mod);
                }
            }
        }
        return fallback;
    };
    m_numLockMask = maskOf(0xff7f /* Num_Lock */, XCB_MOD_MASK_2);
    m_altMask = maskOf(0xffe9 /* Alt_L */, XCB_MOD_MASK_1);
    m_superMask = maskOf(0xffeb /* Super_L */, XCB_MOD_MASK_4);
}

quint16 KZX11HotKeyGrabber::modifierMaskOfFlags(quint64 flags) const
{
    quint16 mask = 0;
    if (flags & KZModifierShift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (flags & KZModifierControl)
        mask |= XCB_MOD_MASK_CONTROL;
    if (flags & KZModifierOption)
        mask |= m_altMask;
    if (flags & KZModifierCommand)
        mask |= m_superMask;
    return mask;
}

xcb_keycode_t KZX11HotKeyGrabber::keycodeOfKeyCode(quint64 keyCode) const
{
    const KZHotKeyKey *key = kzHotKeyKeyOfKeyCode(keyCode);
    if (!key || !m_symbols)
        return XCB_NO_SYMBOL;
    std::unique_ptr<xcb_keycode_t, FreeDeleter> codes(xcb_key_symbols_get_keycode(m_symbols, key->keysym));
    return codes ? codes.get()[0] : XCB_NO_SYMBOL;
}

QList<quint16> KZX11HotKeyGrabber::lockVariants(quint16 modifiers) const
{
    return {modifiers, quint16(modifiers | XCB_MOD_MASK_LOCK), quint16(modifiers | m_numLockMask),
            quint16(modifiers | XCB_MOD_MASK_LOCK | m_numLockMask)};
}

KZHotKeyBackend::Result KZX11HotKeyGrabber::grab(xcb_keycode_t keycode, quint16 modifiers)
{
    const QList<quint16> variants = lockVariants(modifiers);
    QList<xcb_void_cookie_t> cookies;
    // Not owner events: with one of our windows focused the press would be
    // reported to that window as an ordinary key, not as the shortcut.
    for (quint16 m : variants)
        cookies << xcb_grab_key_checked(m_connection, 0, m_root, m, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    Result result = Grabbed;
    for (const xcb_void_cookie_t &cookie : std::as_const(cookies)) {
        std::unique_ptr<xcb_generic_error_t, FreeDeleter> error(xcb_request_check(m_connection, cookie));
        if (error && result == Grabbed) {
            m_lastError = error->error_code;
            result = error->error_code == kBadAccess ? Taken : Failed;
        }
    }
    if (result != Grabbed)
        ungrab(keycode, modifiers);
    return result;
}

// Ungrabbing a combination another client holds leaves that client's grab alone.
void KZX11HotKeyGrabber::ungrab(xcb_keycode_t keycode, quint16 modifiers)
{
    for (quint16 m : lockVariants(modifiers))
        xcb_ungrab_key(m_connection, keycode, m_root, m);
}

KZHotKeyBackend::Result KZX11HotKeyGrabber::grabKey(quint32 hotKeyId, quint64 keyCode, quint64 flags, qint64)
{
    const xcb_keycode_t keycode = keycodeOfKeyCode(keyCode);
    if (keycode == XCB_NO_SYMBOL) {
        m_lastError = -1;
        return Failed;
    }
    const quint16 modifiers = modifierMaskOfFlags(flags);
    const Result result = grab(keycode, modifiers);
    xcb_flush(m_connection);
    if (result == Grabbed)
        m_grabs.append({hotKeyId, keycode, modifiers});
    return result;
}

bool KZX11HotKeyGrabber::ungrabKey(quint32 hotKeyId)
{
    for (qsizetype i = 0; i < m_grabs.size(); ++i) {
        if (m_grabs.at(i).hotKeyId == hotKeyId) {
            ungrab(m_grabs.at(i).keycode, m_grabs.at(i).modifiers);
            xcb_flush(m_connection);
            m_grabs.removeAt(i);
            return true;
        }
    }
    return false;
}

bool KZX11HotKeyGrabber::isTakenElsewhere(quint64 keyCode, quint64 flags)
{
    const xcb_keycode_t keycode = keycodeOfKeyCode(keyCode);
    if (keycode == XCB_NO_SYMBOL)
        return false;
    const quint16 modifiers = modifierMaskOfFlags(flags);
    // A grab of our own would simply be renewed and then dropped by the probe.
    for (const Grab &g : std::as_const(m_grabs)) {
        if (g.keycode == keycode && g.modifiers == modifiers)
            return false;
    }
    const Result probe = grab(keycode, modifiers);
    if (probe == Grabbed)
        ungrab(keycode, modifiers);
    xcb_flush(m_connection);
    return probe == Taken;
}

bool KZX11HotKeyGrabber::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || m_grabs.isEmpty())
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & ~0x80;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
    if (key->event != m_root)
        return false;
    const quint16 modifiers = key->state & kModifierBits & ~m_numLockMask;
    for (const Grab &g : std::as_const(m_grabs)) {
        if (g.keycode == key->detail && g.modifiers == modifiers) {
            if (type == XCB_KEY_PRESS)
                emit pressed(g.hotKeyId);
            return true;
        }
    }
    return false;
}
