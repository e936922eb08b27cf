#include "app/KZHotKey.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <array>

#include "platform/KZHotKeyKeys.h"
#include "platform/hotkey/KZHotKeyBackend.h"
#include "support/KZLog.h"

namespace {

// Identifiers of the process's registrations: the first is 1, none is reused.
quint32 g_hotKeyCounter = 0;

constexpr std::array<quint64, 20> kFunctionKeys{122, 120, 99, 118, 96, 97, 98, 100, 101, 109,
                                                103, 111, 105, 107, 113, 106, 64, 79, 80, 90};

QString nativeText(Qt::KeyboardModifiers modifiers, int qtKey)
{
    return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(qtKey))).toString(QKeySequence::NativeText);
}

// "Ctrl+Alt+" for control and option: the desktop's own order and words.
QString modifierPrefix(quint64 flags)
{
    const Qt::KeyboardModifiers modifiers = kzQtModifiersOfFlags(flags);
    if (!modifiers)
        return QString();
    const QString key = nativeText({}, Qt::Key_Space);
    return nativeText(modifiers, Qt::Key_Space).chopped(key.size());
}

} // namespace

quint32 KZHotKey::carbonModifierFlagsFromCocoaModifierFlags(quint64 flags)
{
    quint32 carbon = 0;
    if (flags & KZModifierCommand)
        carbon |= 0x100;
    if (flags & KZModifierShift)
        carbon |= 0x200;
    if (flags & KZModifierCapsLock)
        carbon |= 0x400;
    if (flags & KZModifierOption)
        carbon |= 0x800;
    if (flags & KZModifierControl)
        carbon |= 0x1000;
    return carbon;
}

quint64 KZHotKey::cleanedModifierFlags(quint64 flags)
{
    return flags & 0x1E0000;
}

bool KZHotKey::isValidKeyCode(quint64 keyCode, quint64 flags)
{
    if (std::find(kFunctionKeys.begin(), kFunctionKeys.end(), keyCode) != kFunctionKeys.end())
        return true;
    if (keyCode == 0)
        return false;
    return flags != 0;
}

bool KZHotKey::hasEquivalentOfKeyCode(quint64 keyCode, quint64 flags, KZHotKeyBackend *system)
{
    if (system && system->isTakenElsewhere(keyCode, flags))
        return true;
    if (keyCodeStringOfKeyCode(keyCode, 0).isEmpty())
        return false;
    QList<QAction *> menus;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        // Every window's menu bar: on Linux the application menu lives there.
        for (QMenuBar *bar : widget->findChildren<QMenuBar *>())
            menus += bar->actions();
        menus += widget->actions();
    }
    return hasMenuItemKeyEquivalent(keyCode, flags, menus);
}

bool KZHotKey::hasMenuItemKeyEquivalent(quint64 keyCode, quint64 flags, const QList<QAction *> &menu)
{
    const KZHotKeyKey *key = kzHotKeyKeyOfKeyCode(keyCode);
    if (!key)
        return false;
    for (QAction *action : menu) {
        if (QMenu *submenu = action->menu()) {
            if (hasMenuItemKeyEquivalent(keyCode, flags, submenu->actions()))
                return true;
            continue;
        }
        for (const QKeySequence &sequence : action->shortcuts()) {
            if (sequence.count() != 1)
                continue;
            const QKeyCombination combination = sequence[0];
            if (combination.key() == key->qtKey
                && cleanedModifierFlags(kzFlagsOfQtModifiers(combination.keyboardModifiers())) == flags)
                return true;
        }
    }
    return false;
}

QString KZHotKey::keyCodesStringFromKeyCode(quint64 keyCode)
{
    if (keyCode < 36 || keyCode > 126)
        return QString();
    const KZHotKeyKey *key = kzHotKeyKeyOfKeyCode(keyCode);
    if (!key)
        return QString();
    switch (keyCode) {
    case 72: case 73: case 74: case 114:
        return QStringLiteral("");
    case 36: case 48: case 49: case 51: case 53: case 55: case 56: case 57: case 58: case 59:
        break;
    default:
        // Letters, digits and punctuation come from the layout, not from this list.
        if (keyCode < 64)
            return QString();
    }
    return nativeText({}, key->qtKey);
}

QString KZHotKey::keyCodeStringOfKeyCode(quint64 keyCode, quint64 flags)
{
    const QString prefix = modifierPrefix(flags);
    if (kzIsModifierKeyCode(keyCode))
        return prefix.endsWith(QLatin1Char('+')) ? prefix.chopped(1) : prefix;
    const QString special = keyCodesStringFromKeyCode(keyCode);
    if (!special.isNull())
        return prefix + special;
    const KZHotKeyKey *key = kzHotKeyKeyOfKeyCode(keyCode);
    if (!key) {
        KZLog::logError(KZFunctionMessage(__func__, __LINE__, QStringLiteral("keyCode unknown:%1").arg(keyCode)));
        return QString();
    }
    return prefix + nativeText({}, key->qtKey);
}

KZHotKey::KZHotKey(quint64 keyCode, quint64 modifierFlags, qint64 tag, KZHotKeyBackend *backend)
    : _keyCode(keyCode), _modifierFlags(cleanedModifierFlags(modifierFlags)), _tag(tag), m_backend(backend)
{
}

bool KZHotKey::registerHotKey()
{
    _hotKeyId = ++g_hotKeyCounter;
    const KZHotKeyBackend::Result result = m_backend->grabKey(_hotKeyId, _keyCode, _modifierFlags, _tag);
    if (result != KZHotKeyBackend::Grabbed) {
        KZLOG_ERROR_M(QStringLiteral("RegisterEventHotKey:%1").arg(m_backend->lastError()));
        return false;
    }
    _eventHotKeyRef = true;
    return true;
}

bool KZHotKey::unregisterHotKey()
{
    if (!_eventHotKeyRef)
        return true;
    const bool ok = m_backend->ungrabKey(_hotKeyId);
    if (!ok)
        KZLOG_ERROR_M(QStringLiteral("UnregisterEventHotKey:%1").arg(-1));
    _eventHotKeyRef = false; // dropped anyway
    return ok;
}

QString KZHotKey::description() const
{
    return QStringLiteral("<KZHotKey: 0x%1 keyCode:%2 modifierFlags:0x%3 tag:%4>")
        .arg(reinterpret_cast<quintptr>(this), 0, 16)
        .arg(_keyCode)
        .arg(_modifierFlags, 0, 16)
        .arg(_tag);
}
