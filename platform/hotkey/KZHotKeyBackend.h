// What the hot key center asks of the desktop: hold a key combination for the
// whole session, let it go, tell whether another program holds one, and report
// presses. GUI thread; presses are signalled there.
#pragma once

#include <QObject>

class KZHotKeyBackend : public QObject
{
    Q_OBJECT
public:
    enum Result {
        Grabbed = 0,
        Taken = 1,  // another program holds the combination
        Failed = 2, // the desktop refused for another reason (see lastError())
    };

    using QObject::QObject;

    // flags: cleaned user-interface modifier flags; tag: the caller's name for
    // the shortcut, kept by desktops that remember bindings between launches.
    virtual Result grabKey(quint32 hotKeyId, quint64 keyCode, quint64 flags, qint64 tag) = 0;
    virtual bool ungrabKey(quint32 hotKeyId) = 0;
    // True when another program holds the combination. Combinations this
    // backend holds itself are not taken.
    virtual bool isTakenElsewhere(quint64 keyCode, quint64 flags) = 0;
    // False once the desktop has said it offers no global shortcuts.
    virtual bool isAvailable() const { return true; }
    // The last platform error code, for the logs.
    int lastError() const { return m_lastError; }

signals:
    void pressed(quint32 hotKeyId);
    void availabilityChanged(bool available);
    // Something the desktop refused after the fact, for the caller's log.
    void problem(const QString &message);

protected:
    int m_lastError = 0;
};
