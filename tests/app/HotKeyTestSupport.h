// Shared by the hot key tests: Qt's own X connection, a second X client that
// holds combinations of its own, and xdotool presses.
#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <cstdlib>

#include <QGuiApplication>
#include <QProcess>

#include "app/KZHotKeyCenter.h"
#include "platform/KZHotKeyKeys.h"
#include "platform/hotkey/KZX11HotKeyGrabber.h"

namespace kztest {

inline xcb_connection_t *qtX11Connection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

inline xcb_window_t rootOf(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// A center of its own on Qt's X connection; deleting it lets its grabs go.
inline KZHotKeyCenter *newX11Center()
{
    xcb_connection_t *c = qtX11Connection();
    return new KZHotKeyCenter(new KZX11HotKeyGrabber(c, rootOf(c)));
}

// Another program on the same display, holding one combination.
class OtherXClient
{
public:
    OtherXClient() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~OtherXClient() { xcb_disconnect(m_connection); }
    // Grabs the key of the table with the stored flags; true when granted.
    bool grab(quint64 keyCode, quint64 flags)
    {
        xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_connection);
        xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, kzHotKeyKeyOfKeyCode(keyCode)->keysym);
        KZX11HotKeyGrabber masks(m_connection, rootOf(m_connection));
        xcb_generic_error_t *error = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, 1, rootOf(m_connection), masks.modifierMaskOfFlags(flags),
                                               codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(codes);
        xcb_key_symbols_free(symbols);
        std::free(error);
        return error == nullptr;
    }

private:
    xcb_connection_t *m_connection;
};

// Presses combinations through XTEST ("ctrl+alt+space", several separated by
// spaces). The presses wait in our X connection until the caller lets the
// event loop run; xdotool is done before the display can go away.
inline void pressWithXdotool(const QString &keys)
{
    QProcess::execute(QStringLiteral("xdotool"), QStringList{QStringLiteral("key")} + keys.split(QLatin1Char(' ')));
}

} // namespace kztest
