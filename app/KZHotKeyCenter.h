// The process-wide registry of global shortcuts: checks whether a combination
// can be had (with the status and message the user sees), holds it through
// the desktop's backend (X11 grabs, or the GlobalShortcuts portal), and
// signals a press of a registered shortcut. GUI thread only.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "support/KZHotKeyRepresentation.h"

class KZHotKey;
class KZHotKeyBackend;

class KZHotKeyCenter : public QObject
{
    Q_OBJECT
public:
    enum Status : qint64 {
        StatusRegisterable = 1,
        StatusNotCorrect = -1,
        StatusTaken = 2,
        StatusAlreadyRegistered = 3,
    };

    // The shared center, made on first use with the backend the desktop
    // allows: X11 grabs on the xcb platform, else the portal when there is a
    // session bus, else none (logged once: no shortcut can be registered).
    static KZHotKeyCenter *defaultCenter();
    // backend: owned; null for a desktop without global shortcuts.
    explicit KZHotKeyCenter(KZHotKeyBackend *backend, QObject *parent = nullptr);
    ~KZHotKeyCenter() override;

    // 1, -1, 2 or 3 (see Status); *keyCodeString the display string of the
    // combination, *errorMsg the message for the user (null for 1).
    qint64 registerableStatusOfHotKeyWithKeyCode(quint64 keyCode, quint64 modifierFlags, QString *keyCodeString,
                                                 QString *errorMsg);
    bool registerHotKeyWithKeyCode(quint64 keyCode, quint64 modifierFlags, qint64 tag);
    // Succeeds also when nothing has the tag.
    bool unregisterHotKeyWithTag(qint64 tag);
    KZHotKey *hotKeyWithKeyCode(quint64 keyCode, quint64 modifierFlags) const;
    // Registers an enabled representation when its status is 1; logs otherwise.
    void tryToRegisterHotKeyRepresentation(const std::optional<KZHotKeyRepresentation> &representation, qint64 tag);
    bool installEventHandlerIfNecessary();
    void removeEventHandler();
    // A press reported by the backend.
    void diffuseHotKeyPressedWithEvent(quint32 hotKeyId);

    // False when this desktop offers no global shortcut (no backend, or a
    // portal that has none): the user binds `trovix --toggle` instead.
    bool hasGlobalShortcuts() const;
    KZHotKeyBackend *backend() const { return m_backend.get(); }
    QList<KZHotKey *> hotKeys() const { return _hotKeys; }

signals:
    // hotKeyCenter:pressedHotKey: — the application's delegate reads the tag.
    void pressedHotKey(KZHotKey *hotKey);
    void globalShortcutsAvailabilityChanged(bool available);

private:
    std::unique_ptr<KZHotKeyBackend> m_backend;
    QList<KZHotKey *> _hotKeys;
    bool _eventHandler = false;
};

// The hint shown where no global shortcut can be had.
QString KZHotKeyBindToggleHint();
