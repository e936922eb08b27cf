#include "platform/KZHotKeyKeys.h"

#include <QStringList>
#include <array>

namespace {

// Virtual key codes of the ANSI layout, with the key that the same position
// carries on a US layout. Keypad keys are left out: no desktop agrees on them.
constexpr std::array kKeys{
    KZHotKeyKey{0, Qt::Key_A, 0x61, "a"},
    KZHotKeyKey{1, Qt::Key_S, 0x73, "s"},
    KZHotKeyKey{2, Qt::Key_D, 0x64, "d"},
    KZHotKeyKey{3, Qt::Key_F, 0x66, "f"},
    KZHotKeyKey{4, Qt::Key_H, 0x68, "h"},
    KZHotKeyKey{5, Qt::Key_G, 0x67, "g"},
    KZHotKeyKey{6, Qt::Key_Z, 0x7a, "z"},
    KZHotKeyKey{7, Qt::Key_X, 0x78, "x"},
    KZHotKeyKey{8, Qt::Key_C, 0x63, "c"},
    KZHotKeyKey{9, Qt::Key_V, 0x76, "v"},
    KZHotKeyKey{11, Qt::Key_B, 0x62, "b"},
    KZHotKeyKey{12, Qt::Key_Q, 0x71, "q"},
    KZHotKeyKey{13, Qt::Key_W, 0x77, "w"},
    KZHotKeyKey{14, Qt::Key_E, 0x65, "e"},
    KZHotKeyKey{15, Qt::Key_R, 0x72, "r"},
    KZHotKeyKey{16, Qt::Key_Y, 0x79, "y"},
    KZHotKeyKey{17, Qt::Key_T, 0x74, "t"},
    KZHotKeyKey{18, Qt::Key_1, 0x31, "1"},
    KZHotKeyKey{19, Qt::Key_2, 0x32, "2"},
    KZHotKeyKey{20, Qt::Key_3, 0x33, "3"},
    KZHotKeyKey{21, Qt::Key_4, 0x34, "4"},
    KZHotKeyKey{22, Qt::Key_6, 0x36, "6"},
    KZHotKeyKey{23, Qt::Key_5, 0x35, "5"},
    KZHotKeyKey{24, Qt::Key_Equal, 0x3d, "equal"},
    KZHotKeyKey{25, Qt::Key_9, 0x39, "9"},
    KZHotKeyKey{26, Qt::Key_7, 0x37, "7"},
    KZHotKeyKey{27, Qt::Key_Minus, 0x2d, "minus"},
    KZHotKeyKey{28, Qt::Key_8, 0x38, "8"},
    KZHotKeyKey{29, Qt::Key_0, 0x30, "0"},
    KZHotKeyKey{30, Qt::Key_BracketRight, 0x5d, "bracketright"},
    KZHotKeyKey{31, Qt::Key_O, 0x6f, "o"},
    KZHotKeyKey{32, Qt::Key_U, 0x75, "u"},
    KZHotKeyKey{33, Qt::Key_BracketLeft, 0x5b, "bracketleft"},
    KZHotKeyKey{34, Qt::Key_I, 0x69, "i"},
    KZHotKeyKey{35, Qt::Key_P, 0x70, "p"},
    KZHotKeyKey{36, Qt::Key_Return, 0xff0d, "Return"},
    KZHotKeyKey{37, Qt::Key_L, 0x6c, "l"},
    KZHotKeyKey{38, Qt::Key_J, 0x6a, "j"},
    KZHotKeyKey{39, Qt::Key_Apostrophe, 0x27, "apostrophe"},
    KZHotKeyKey{40, Qt::Key_K, 0x6b, "k"},
    KZHotKeyKey{41, Qt::Key_Semicolon, 0x3b, "semicolon"},
    KZHotKeyKey{42, Qt::Key_Backslash, 0x5c, "backslash"},
    KZHotKeyKey{43, Qt::Key_Comma, 0x2c, "comma"},
    KZHotKeyKey{44, Qt::Key_Slash, 0x2f, "slash"},
    KZHotKeyKey{45, Qt::Key_N, 0x6e, "n"},
    KZHotKeyKey{46, Qt::Key_M, 0x6d, "m"},
    KZHotKeyKey{47, Qt::Key_Period, 0x2e, "period"},
    KZHotKeyKey{48, Qt::Key_Tab, 0xff09, "Tab"},
    KZHotKeyKey{49, Qt::Key_Space, 0x20, "space"},
    KZHotKeyKey{50, Qt::Key_QuoteLeft, 0x60, "grave"},
    KZHotKeyKey{51, Qt::Key_Backspace, 0xff08, "BackSpace"},
    KZHotKeyKey{53, Qt::Key_Escape, 0xff1b, "Escape"},
    KZHotKeyKey{55, Qt::Key_Meta, 0xffeb, "Super_L"},
    KZHotKeyKey{56, Qt::Key_Shift, 0xffe1, "Shift_L"},
    KZHotKeyKey{57, Qt::Key_CapsLock, 0xffe5, "Caps_Lock"},
    KZHotKeyKey{58, Qt::Key_Alt, 0xffe9, "Alt_L"},
    KZHotKeyKey{59, Qt::Key_Control, 0xffe3, "Control_L"},
    KZHotKeyKey{60, Qt::Key_Shift, 0xffe2, "Shift_R"},
    KZHotKeyKey{61, Qt::Key_Alt, 0xffea, "Alt_R"},
    KZHotKeyKey{62, Qt::Key_Control, 0xffe4, "Control_R"},
    KZHotKeyKey{64, Qt::Key_F17, 0xffce, "F17"},
    KZHotKeyKey{72, Qt::Key_VolumeUp, 0x1008ff13, "XF86AudioRaiseVolume"},
    KZHotKeyKey{73, Qt::Key_VolumeDown, 0x1008ff11, "XF86AudioLowerVolume"},
    KZHotKeyKey{74, Qt::Key_VolumeMute, 0x1008ff12, "XF86AudioMute"},
    KZHotKeyKey{79, Qt::Key_F18, 0xffcf, "F18"},
    KZHotKeyKey{80, Qt::Key_F19, 0xffd0, "F19"},
    KZHotKeyKey{90, Qt::Key_F20, 0xffd1, "F20"},
    KZHotKeyKey{96, Qt::Key_F5, 0xffc2, "F5"},
    KZHotKeyKey{97, Qt::Key_F6, 0xffc3, "F6"},
    KZHotKeyKey{98, Qt::Key_F7, 0xffc4, "F7"},
    KZHotKeyKey{99, Qt::Key_F3, 0xffc0, "F3"},
    KZHotKeyKey{100, Qt::Key_F8, 0xffc5, "F8"},
    KZHotKeyKey{101, Qt::Key_F9, 0xffc6, "F9"},
    KZHotKeyKey{103, Qt::Key_F11, 0xffc8, "F11"},
    KZHotKeyKey{105, Qt::Key_F13, 0xffca, "F13"},
    KZHotKeyKey{106, Qt::Key_F16, 0xffcd, "F16"},
    KZHotKeyKey{107, Qt::Key_F14, 0xffcb, "F14"},
    KZHotKeyKey{109, Qt::Key_F10, 0xffc7, "F10"},
    KZHotKeyKey{111, Qt::Key_F12, 0xffc9, "F12"},
    KZHotKeyKey{113, Qt::Key_F15, 0xffcc, "F15"},
    KZHotKeyKey{114, Qt::Key_Help, 0xff6a, "Help"},
    KZHotKeyKey{115, Qt::Key_Home, 0xff50, "Home"},
    KZHotKeyKey{116, Qt::Key_PageUp, 0xff55, "Prior"},
    KZHotKeyKey{117, Qt::Key_Delete, 0xffff, "Delete"},
    KZHotKeyKey{118, Qt::Key_F4, 0xffc1, "F4"},
    KZHotKeyKey{119, Qt::Key_End, 0xff57, "End"},
    KZHotKeyKey{120, Qt::Key_F2, 0xffbf, "F2"},
    KZHotKeyKey{121, Qt::Key_PageDown, 0xff56, "Next"},
    KZHotKeyKey{122, Qt::Key_F1, 0xffbe, "F1"},
    KZHotKeyKey{123, Qt::Key_Left, 0xff51, "Left"},
    KZHotKeyKey{124, Qt::Key_Right, 0xff53, "Right"},
    KZHotKeyKey{125, Qt::Key_Down, 0xff54, "Down"},
    KZHotKeyKey{126, Qt::Key_Up, 0xff52, "Up"},
};

// What Shift makes of a key on a US layout: the key press reports the symbol.
struct Shifted
{
    int qtKey;
    quint64 keyCode;
};
constexpr std::array kShifted{
    Shifted{Qt::Key_Exclam, 18}, Shifted{Qt::Key_At, 19}, Shifted{Qt::Key_NumberSign, 20},
    Shifted{Qt::Key_Dollar, 21}, Shifted{Qt::Key_AsciiCircum, 22}, Shifted{Qt::Key_Percent, 23},
    Shifted{Qt::Key_Plus, 24}, Shifted{Qt::Key_ParenLeft, 25}, Shifted{Qt::Key_Ampersand, 26},
    Shifted{Qt::Key_Underscore, 27}, Shifted{Qt::Key_Asterisk, 28}, Shifted{Qt::Key_ParenRight, 29},
    Shifted{Qt::Key_BraceRight, 30}, Shifted{Qt::Key_BraceLeft, 33}, Shifted{Qt::Key_QuoteDbl, 39},
    Shifted{Qt::Key_Colon, 41}, Shifted{Qt::Key_Bar, 42}, Shifted{Qt::Key_Less, 43},
    Shifted{Qt::Key_Question, 44}, Shifted{Qt::Key_Greater, 47}, Shifted{Qt::Key_AsciiTilde, 50},
    Shifted{Qt::Key_Backtab, 48}, Shifted{Qt::Key_Enter, 36}, Shifted{Qt::Key_Super_L, 55},
    Shifted{Qt::Key_Super_R, 55}, Shifted{Qt::Key_AltGr, 58},
};

} // namespace

const KZHotKeyKey *kzHotKeyKeyOfKeyCode(quint64 keyCode)
{
    for (const KZHotKeyKey &key : kKeys) {
        if (key.keyCode == keyCode)
            return &key;
    }
    return nullptr;
}

qint64 kzKeyCodeOfQtKey(int qtKey)
{
    for (const KZHotKeyKey &key : kKeys) {
        if (key.qtKey == qtKey)
            return static_cast<qint64>(key.keyCode);
    }
    for (const Shifted &s : kShifted) {
        if (s.qtKey == qtKey)
            return static_cast<qint64>(s.keyCode);
    }
    return -1;
}

qint64 kzKeyCodeOfKeysym(std::uint32_t keysym)
{
    if (keysym >= 0x41 && keysym <= 0x5a) // upper-case letters share their key
        keysym += 0x20;
    for (const KZHotKeyKey &key : kKeys) {
        if (key.keysym == keysym)
            return static_cast<qint64>(key.keyCode);
    }
    return -1;
}

bool kzIsModifierKeyCode(quint64 keyCode)
{
    return keyCode == 55 || keyCode == 56 || keyCode == 58 || keyCode == 59;
}

Qt::KeyboardModifiers kzQtModifiersOfFlags(quint64 flags)
{
    Qt::KeyboardModifiers m;
    if (flags & KZModifierShift)
        m |= Qt::ShiftModifier;
    if (flags & KZModifierControl)
        m |= Qt::ControlModifier;
    if (flags & KZModifierOption)
        m |= Qt::AltModifier;
    if (flags & KZModifierCommand)
        m |= Qt::MetaModifier;
    return m;
}

quint64 kzFlagsOfQtModifiers(Qt::KeyboardModifiers modifiers)
{
    quint64 flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= KZModifierShift;
    if (modifiers & Qt::ControlModifier)
        flags |= KZModifierControl;
    if (modifiers & Qt::AltModifier)
        flags |= KZModifierOption;
    if (modifiers & Qt::MetaModifier)
        flags |= KZModifierCommand;
    return flags;
}

QString kzShortcutTriggerOfKeyCode(quint64 keyCode, quint64 flags)
{
    const KZHotKeyKey *key = kzHotKeyKeyOfKeyCode(keyCode);
    if (!key)
        return QString();
    QStringList parts;
    if (flags & KZModifierControl)
        parts << QStringLiteral("CTRL");
    if (flags & KZModifierOption)
        parts << QStringLiteral("ALT");
    if (flags & KZModifierShift)
        parts << QStringLiteral("SHIFT");
    if (flags & KZModifierCommand)
        parts << QStringLiteral("LOGO");
    parts << QString::fromLatin1(key->name);
    return parts.join(QLatin1Char('+'));
}
