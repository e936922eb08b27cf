// One registered global shortcut, and the rules about key codes and modifier
// flags that every shortcut obeys: validity, what is already taken, and the
// display strings in the desktop's own notation ("Ctrl+Alt+Space").
// Key codes and flags are the stored form (platform/KZHotKeyKeys.h). GUI thread.
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

class QAction;
class KZHotKeyBackend;

class KZHotKey
{
public:
    // The "Carbon" form of the flags, kept for the logs and the taken-list
    // comparison: command 0x100, shift 0x200, caps lock 0x400, option 0x800,
    // control 0x1000.
    static quint32 carbonModifierFlagsFromCocoaModifierFlags(quint64 flags);
    // Shift, control, option and command only: caps lock is never part of a shortcut.
    static quint64 cleanedModifierFlags(quint64 flags);
    // F1-F20 alone or with modifiers; key code 0 never; any other key with a modifier.
    static bool isValidKeyCode(quint64 keyCode, quint64 flags);
    // Held by another program (asked through system, when given) or by one of
    // the application's own menu items.
    static bool hasEquivalentOfKeyCode(quint64 keyCode, quint64 flags, KZHotKeyBackend *system);
    // Depth-first over the actions and their submenus; the first hit ends it.
    static bool hasMenuItemKeyEquivalent(quint64 keyCode, quint64 flags, const QList<QAction *> &menu);
    // The name of a special key (Return, Space, arrows, F1-F20, ...) for key
    // codes 36-126, empty for the keys that have no name, null otherwise.
    static QString keyCodesStringFromKeyCode(quint64 keyCode);
    // The whole shortcut as the desktop writes it, or null (logged) for a key
    // the table does not know.
    static QString keyCodeStringOfKeyCode(quint64 keyCode, quint64 flags);

    KZHotKey(quint64 keyCode, quint64 modifierFlags, qint64 tag, KZHotKeyBackend *backend);
    quint64 keyCode() const { return _keyCode; }
    quint64 modifierFlags() const { return _modifierFlags; }
    qint64 tag() const { return _tag; }
    quint32 hotKeyId() const { return _hotKeyId; }
    bool isRegistered() const { return _eventHotKeyRef; }
    // Takes the next identifier of the process and holds the combination.
    bool registerHotKey();
    bool unregisterHotKey();
    QString description() const;

private:
    quint64 _keyCode;
    quint64 _modifierFlags;
    qint64 _tag;
    quint32 _hotKeyId = 0;
    bool _eventHotKeyRef = false; // the backend holds the combination
    KZHotKeyBackend *m_backend;
};

Q_DECLARE_METATYPE(KZHotKey *)
