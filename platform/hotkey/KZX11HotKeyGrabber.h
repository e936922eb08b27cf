// Global shortcuts on X11: passive key grabs on the root window, one for the
// combination alone and one with each of Caps Lock and Num Lock (and both), so
// that the lock keys never stop the shortcut. Presses are read from Qt's own
// event stream, on the GUI thread. A grab refused with BadAccess means another
// X client holds the combination.
#pragma once

#include <xcb/xcb.h>
#include <QAbstractNativeEventFilter>
#include <QList>

#include "platform/hotkey/KZHotKeyBackend.h"

typedef struct _XCBKeySymbols xcb_key_symbols_t;

class KZX11HotKeyGrabber : public KZHotKeyBackend, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    // The connection stays Qt's (or the caller's); the grabber only uses it.
    KZX11HotKeyGrabber(xcb_connection_t *connection, xcb_window_t root, QObject *parent = nullptr);
    ~KZX11HotKeyGrabber() override;

    Result grabKey(quint32 hotKeyId, quint64 keyCode, quint64 flags, qint64 tag) override;
    bool ungrabKey(quint32 hotKeyId) override;
    bool isTakenElsewhere(quint64 keyCode, quint64 flags) override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // X modifier mask of the stored flags on this server's modifier map.
    quint16 modifierMaskOfFlags(quint64 flags) const;

private:
    struct Grab
    {
        quint32 hotKeyId;
        xcb_keycode_t keycode;
        quint16 modifiers;
    };
    void readModifierMap();
    xcb_keycode_t keycodeOfKeyCode(quint64 keyCode) const;
    // Sends the four grabs and waits for the server's verdict; undoes the
    // ones that were granted when any was refused.
    Result grab(xcb_keycode_t keycode, quint16 modifiers);
    void ungrab(xcb_keycode_t keycode, quint16 modifiers);
    QList<quint16> lockVariants(quint16 modifiers) const;

    xcb_connection_t *m_connection;
    xcb_window_t m_root;
    xcb_key_symbols_t *m_symbols = nullptr;
    quint16 m_numLockMask = XCB_MOD_MASK_2;
    quint16 m_altMask = XCB_MOD_MASK_1;
    quint16 m_superMask = XCB_MOD_MASK_4;
    QList<Grab> m_grabs;
};
