#include "app/KZHotKeyFieldView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/KZHotKey.h"
#include "app/KZHotKeyCenter.h"
#include "platform/KZHotKeyKeys.h"
#include "support/KZLocalization.h"

namespace {

// The X11 state bit of Caps Lock: Qt reports no modifier for it.
constexpr quint32 kX11LockMask = 0x2;

void fillRoundedRect(QPainter &painter, const QRectF &rect, const QColor &color)
{
    QPainterPath path;
    path.addRoundedRect(rect, 4, 4);
    painter.fillPath(path, color);
}

} // namespace

KZHotKeyFieldView::KZHotKeyFieldView(QWidget *parent, KZHotKeyCenter *center)
    : QWidget(parent), m_center(center ? center : KZHotKeyCenter::defaultCenter())
{
    setObjectName(QStringLiteral("KZHotKeyFieldView"));
    setFocusPolicy(Qt::NoFocus);
    m_handOverTimer.setSingleShot(true);
    m_handOverTimer.setInterval(kHandOverDelayMs);
    connect(&m_handOverTimer, &QTimer::timeout, this, &KZHotKeyFieldView::delayedHandOver);
    connect(m_center, &KZHotKeyCenter::globalShortcutsAvailabilityChanged, this, [this] { setMessage(QString()); });
}

KZHotKeyFieldView::~KZHotKeyFieldView()
{
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
}

QSize KZHotKeyFieldView::sizeHint() const
{
    return {180, _controlSize == 1 ? 22 : 28};
}

// The window stops being main: recording ends. The window is known only once
// the field is placed in one.
void KZHotKeyFieldView::watchWindow()
{
    QWidget *w = window();
    if (w == m_watchedWindow)
        return;
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
    m_watchedWindow = w;
    w->installEventFilter(this);
    _hasNotificationInstalled = true;
}

void KZHotKeyFieldView::setChangeObserver(KZHotKeyFieldViewObserver *observer, quint64 keyCode, quint64 modifierFlags,
                                          bool isEnabled)
{
    watchWindow();
    _changeObserver = observer;
    _isEnabled = isEnabled;
    setFocusPolicy(_isEnabled ? Qt::StrongFocus : Qt::NoFocus);
    QString string;
    const qint64 status = m_center->registerableStatusOfHotKeyWithKeyCode(keyCode, modifierFlags, &string, nullptr);
    _string = status >= 1 ? string : QString();
    _lastStatus = status;
    _lastKeyCode = keyCode;
    _lastModifierFlags = modifierFlags;
    setMessage(QString());
    _isOnError = false;
    update();
}

void KZHotKeyFieldView::setControlSize(int controlSize)
{
    _controlSize = controlSize;
    QFont f = QApplication::font();
    if (_controlSize == 1)
        f.setPointSizeF(f.pointSizeF() * 0.85);
    setFont(f);
    updateGeometry();
    update();
}

// Where the desktop gives no global shortcut, the empty message line says
// what to do instead.
void KZHotKeyFieldView::setMessage(const QString &message)
{
    if (mesLabel)
        mesLabel->setText(message.isEmpty() && !m_center->hasGlobalShortcuts() ? KZHotKeyBindToggleHint() : message);
}

void KZHotKeyFieldView::setIsEnabled(bool isEnabled)
{
    if (isEnabled && !_isEnabled) {
        _isEnabled = true;
        setFocusPolicy(Qt::StrongFocus);
        if (_lastStatus == KZHotKeyCenter::StatusRegisterable) {
            const bool ok = _changeObserver
                            && _changeObserver->hotKeyFieldViewDidChangeWithKeyCode(this, _lastKeyCode,
                                                                                    _lastModifierFlags, true);
            setMessage(ok ? QString() : KZLocalizedString("Unable to register shortcut."));
        } else {
            window()->raise();
            window()->activateWindow();
            setFocus(Qt::OtherFocusReason);
        }
    } else if (!isEnabled && _isEnabled) {
        _isEnabled = false;
        if (_changeObserver)
            _changeObserver->hotKeyFieldViewDidChangeWithKeyCode(this, _lastKeyCode, _lastModifierFlags, false);
        clearFocus();
        setFocusPolicy(Qt::NoFocus);
        endRecording();
    }
    update();
}

bool KZHotKeyFieldView::event(QEvent *e)
{
    // While recording, every combination is the field's: no menu shortcut
    // fires and Tab does not move the focus.
    if (_isClicked && _isEnabled && e->type() == QEvent::ShortcutOverride) {
        e->accept();
        return true;
    }
    if (_isClicked && _isEnabled && e->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent *>(e));
        return true;
    }
    return QWidget::event(e);
}

void KZHotKeyFieldView::mousePressEvent(QMouseEvent *e)
{
    watchWindow();
    _isOnError = false;
    if (_isEnabled) {
        _isClicked = !_isClicked;
        update();
    }
    QWidget::mousePressEvent(e);
}

void KZHotKeyFieldView::keyPressEvent(QKeyEvent *e)
{
    _isOnError = false;
    if (!_isEnabled)
        return;
    if (!_isClicked) {
        if (!_string.isNull()) {
            _string = QString();
            update();
        }
        return;
    }
    recordKey(e);
}

void KZHotKeyFieldView::recordKey(QKeyEvent *e)
{
    // A modifier pressed on its way to the key is not a combination: the
    // shown one stays until a real key comes.
    switch (e->key()) {
    case Qt::Key_Shift: case Qt::Key_Control: case Qt::Key_Meta: case Qt::Key_Alt: case Qt::Key_AltGr:
    case Qt::Key_Super_L: case Qt::Key_Super_R: case Qt::Key_Hyper_L: case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock: case Qt::Key_NumLock:
        return;
    default:
        break;
    }
    qint64 keyCode = kzKeyCodeOfQtKey(e->key());
    if (keyCode < 0)
        keyCode = kzKeyCodeOfKeysym(e->nativeVirtualKey());
    if (keyCode < 0)
        keyCode = 0xFFFF; // no key of the table: not a combination anyone can have
    quint64 flags = kzFlagsOfQtModifiers(e->modifiers());
    if (e->nativeModifiers() & kX11LockMask)
        flags |= KZModifierCapsLock;

    QString string;
    QString message;
    const qint64 status = m_center->registerableStatusOfHotKeyWithKeyCode(static_cast<quint64>(keyCode) & 0xFFFF,
                                                                          flags, &string, &message);
    _string = status >= 1 ? string : QString();
    _lastStatus = status;
    _lastKeyCode = static_cast<quint64>(keyCode) & 0xFFFF;
    _lastModifierFlags = flags;
    _isOnError = status < 1;
    if (status == KZHotKeyCenter::StatusRegisterable)
        setMessage(QString());
    else
        setMessage(message.isEmpty() ? QStringLiteral("?") : message);
    m_handOverTimer.start();
    update();
}

void KZHotKeyFieldView::delayedHandOver()
{
    setMessage(QString());
    QWidget *w = window();
    if (!w->isVisible())
        return;
    // A window still fading in hands nothing over.
    if (w->windowOpacity() < 1.0 || _lastStatus != KZHotKeyCenter::StatusRegisterable || !_isEnabled || !_isClicked)
        return;
    const bool ok = _changeObserver
                    && _changeObserver->hotKeyFieldViewDidChangeWithKeyCode(this, _lastKeyCode, _lastModifierFlags,
                                                                            true);
    if (!ok)
        setMessage(KZLocalizedString("Unable to register shortcut."));
    _isOnError = !ok;
    update();
}

void KZHotKeyFieldView::endRecording()
{
    if (!_isClicked)
        return;
    _isClicked = false;
    update();
}

void KZHotKeyFieldView::focusOutEvent(QFocusEvent *e)
{
    endRecording();
    QWidget::focusOutEvent(e);
}

bool KZHotKeyFieldView::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == m_watchedWindow && e->type() == QEvent::WindowDeactivate)
        endRecording();
    return QWidget::eventFilter(watched, e);
}

void KZHotKeyFieldView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    QColor frame = QColor::fromRgbF(0.85, 0.85, 0.85);
    if (_isEnabled && _isOnError)
        frame = Qt::red;
    else if (_isEnabled && _isClicked)
        frame = QColor::fromRgbF(0.5, 0.5, 0.5);
    fillRoundedRect(painter, bounds, frame);
    fillRoundedRect(painter, bounds.adjusted(2, 2, -2, -2), Qt::white);

    const bool placeholder = _string.isNull();
    const QString text = placeholder ? KZLocalizedString("No Shortcut") : _string;
    // Shortcut in black; the placeholder and a disabled field in grey.
    painter.setPen(_isEnabled && !placeholder ? QColor(Qt::black) : QColor::fromRgbF(0.5, 0.5, 0.5));
    painter.setFont(font());
    const int textHeight = static_cast<int>(std::ceil(QFontMetricsF(font()).height()));
    const int y = static_cast<int>(std::floor((height() - textHeight) / 2.0));
    painter.drawText(QRect(0, y, width(), textHeight), Qt::AlignHCenter | Qt::AlignVCenter, text);
}

void KZHotKeyFieldView::setMesLabel(QLabel *label)
{
    mesLabel = label;
}
