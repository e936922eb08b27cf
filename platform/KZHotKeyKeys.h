// The one table between the stored form of a shortcut (virtual key codes and
// user-interface modifier flags, kept from the original design so that saved
// shortcuts carry over) and what Linux speaks: Qt::Key values, X keysyms and
// keysym names. Any thread; pure functions.
#pragma once

#include <QString>
#include <Qt>
#include <cstdint>

// User-interface modifier flags (the stored form).
inline constexpr quint64 KZModifierCapsLock = 0x10000;
inline constexpr quint64 KZModifierShift = 0x20000;
inline constexpr quint64 KZModifierControl = 0x40000;
inline constexpr quint64 KZModifierOption = 0x80000;  // Alt
inline constexpr quint64 KZModifierCommand = 0x100000; // Super (Meta)

struct KZHotKeyKey
{
    quint64 keyCode;      // virtual key code
    int qtKey;            // Qt::Key
    std::uint32_t keysym; // X keysym of the unshifted key
    const char *name;     // keysym name, as shortcut triggers write it
};

// The row of a virtual key code, or null when the table has none.
const KZHotKeyKey *kzHotKeyKeyOfKeyCode(quint64 keyCode);
// The virtual key code of a Qt::Key (shifted symbols of a US layout count as
// their key: Key_Exclam is the key of "1"), or -1.
qint64 kzKeyCodeOfQtKey(int qtKey);
// The virtual key code of an X keysym (letters of either case), or -1.
qint64 kzKeyCodeOfKeysym(std::uint32_t keysym);

// Modifier keys' own codes: command 55, shift 56, option 58, control 59.
bool kzIsModifierKeyCode(quint64 keyCode);

// Stored flags <-> Qt modifiers (Meta = command). Caps lock has no Qt modifier.
Qt::KeyboardModifiers kzQtModifiersOfFlags(quint64 flags);
quint64 kzFlagsOfQtModifiers(Qt::KeyboardModifiers modifiers);

// The trigger text of the freedesktop shortcut notation: "CTRL+ALT+space",
// "LOGO+SHIFT+F5"; empty for a key the table does not know.
QString kzShortcutTriggerOfKeyCode(quint64 keyCode, quint64 flags);
