// The control that shows the global shortcut and records a new one: a click
// starts recording, each combination pressed is checked at once (status,
// display string and message from the hot key center), and one second after
// the last one an acceptable combination is handed to the change observer,
// which saves and registers it. mesLabel shows why a combination was refused.
// GUI thread.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <QLabel>
class KZHotKeyCenter;
class KZHotKeyFieldView;

class KZHotKeyFieldViewObserver
{
public:
    virtual ~KZHotKeyFieldViewObserver() = default;
    // Whether the change took effect (saved and registered, or switched off).
    virtual bool hotKeyFieldViewDidChangeWithKeyCode(KZHotKeyFieldView *view, quint64 keyCode, quint64 modifierFlags,
                                                     bool isEnabled) = 0;
};

class KZHotKeyFieldView : public QWidget
{
    Q_OBJECT
public:
    // center: the default center when null.
    explicit KZHotKeyFieldView(QWidget *parent = nullptr, KZHotKeyCenter *center = nullptr);
    ~KZHotKeyFieldView() override;

    // The initial state. observer is not owned and must outlive the field.
    void setChangeObserver(KZHotKeyFieldViewObserver *observer, quint64 keyCode, quint64 modifierFlags, bool isEnabled);
    void setIsEnabled(bool isEnabled);
    void setControlSize(int controlSize); // 1 small, otherwise regular
    void setMesLabel(QLabel *label);

    bool isEnabled() const { return _isEnabled; }
    bool isRecording() const { return _isClicked; }
    bool isOnError() const { return _isOnError; }
    QString string() const { return _string; }
    qint64 lastStatus() const { return _lastStatus; }
    // The one-second hand-over delay (tests shorten nothing; they wait).
    static constexpr int kHandOverDelayMs = 1000;

    QSize sizeHint() const override;

protected:
    bool event(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void recordKey(QKeyEvent *e);
    void delayedHandOver();
    void endRecording();
    void setMessage(const QString &message);
    void watchWindow();

    KZHotKeyCenter *m_center;
    KZHotKeyFieldViewObserver *_changeObserver = nullptr;
    int _controlSize = 0;
    bool _isEnabled = false;
    bool _isClicked = false;
    bool _isOnError = false;
    QString _string;
    qint64 _lastStatus = 0;
    quint64 _lastKeyCode = 0;
    quint64 _lastModifierFlags = 0;
    bool _hasNotificationInstalled = false;
    QPointer<QLabel> mesLabel;
    QPointer<QWidget> m_watchedWindow;
    QTimer m_handOverTimer;
};
