// The user's choice of global shortcut as it is kept between launches: a key
// code, the modifier flags as recorded and an on/off switch, stored as the text
// "KZHotKeyRepresentation-%lu-%lu-%d" under "HotKey-StringRepresentation".
// An immutable value; any thread, but the settings store is the GUI thread's.
#pragma once

#include <QString>
#include <optional>

inline constexpr const char *KZHotKeyRepresentationDefaultsKey = "HotKey-StringRepresentation";

class KZHotKeyRepresentation
{
public:
    KZHotKeyRepresentation(quint64 keyCode, quint64 modifierFlags, bool isEnabled)
        : _keyCode(keyCode), _modifierFlags(modifierFlags), _isEnabled(isEnabled)
    {
    }
    // None unless the text has exactly four parts between "-"; the first part
    // is not examined, the second and third are read as numbers (their
    // leading digits, else 0), the fourth enables when it is a number above 0.
    static std::optional<KZHotKeyRepresentation> initWithStringRepresentation(const QString &string);
    QString stringRepresentation() const;

    quint64 keyCode() const { return _keyCode; }
    quint64 modifierFlags() const { return _modifierFlags; }
    bool isEnabled() const { return _isEnabled; }
    QString description() const;

    // None when the key is absent or its text malformed.
    static std::optional<KZHotKeyRepresentation> hotKeyRepresentationFromUserDefaults();
    void saveToUserDefaults() const;

private:
    quint64 _keyCode;
    quint64 _modifierFlags;
    bool _isEnabled;
};
