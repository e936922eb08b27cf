#include "toolkit/KZOverView.h"

#include <cmath>

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

KZOverView::KZOverView(QWidget *parent) : QWidget(parent)
{
    // Right presses must reach mousePressEvent, never turn into the parent's
    // context menu.
    setContextMenuPolicy(Qt::PreventContextMenu);
}

KZOverView::~KZOverView()
{
    _delegator = nullptr;
}

void KZOverView::setDelegator(KZOverViewDelegateProtocol *delegator)
{
    _delegator = delegator;
    update();
}

int KZOverView::state() const
{
    if (_isDisabled)
        return StateDisabled;
    if (_isPressed)
        return StatePressed;
    if (_isEntered)
        return StateInside;
    return StateNormal;
}

void KZOverView::setIsDisabled(bool disabled)
{
    if (_isDisabled == disabled)
        return;
    _isDisabled = disabled;
    // A press in progress is abandoned: its release is ignored while disabled
    // and would otherwise leave the view drawn as pressed once re-enabled.
    if (disabled && _isPressed) {
        _isPressed = false;
        resetRememberedPoints();
    }
    update();
}

void KZOverView::cleanAllStates()
{
    _isEntered = false;
    _isPressed = false;
    _isDisabled = false;
    update();
}

void KZOverView::setEntered(bool entered)
{
    if (_isDisabled || _isEntered == entered)
        return;
    _isEntered = entered;
    update();
}

void KZOverView::resetRememberedPoints()
{
    _downPoint = QPointF();
    _downWinPoint = QPoint();
}

bool KZOverView::isWithinTolerance(const QPointF &p) const
{
    return std::abs(p.x() - _downPoint.x()) <= kDragTolerance && std::abs(p.y() - _downPoint.y()) <= kDragTolerance;
}

bool KZOverView::isApplicationActive() const
{
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

bool KZOverView::sendDidPressed(const QVariantMap &info)
{
    if (!_delegator)
        return true;
    QPointer<KZOverView> alive(this);
    _delegator->overViewDidPressed(this, info);
    return !alive.isNull();
}

QVariantMap KZOverView::eventInfo(const QMouseEvent *event)
{
    if (!event)
        return {};
    return {
        {QStringLiteral("type"), static_cast<int>(event->type())},
        {QStringLiteral("button"), static_cast<int>(event->button())},
        {QStringLiteral("buttons"), static_cast<int>(event->buttons())},
        {QStringLiteral("modifiers"), static_cast<int>(event->modifiers())},
        {QStringLiteral("position"), event->position()},
        {QStringLiteral("globalPosition"), event->globalPosition()},
        {QStringLiteral("timestamp"), static_cast<qulonglong>(event->timestamp())},
    };
}

void KZOverView::paintEvent(QPaintEvent *)
{
    if (isHidden() || !_delegator)
        return;
    QPainter painter(this);
    _delegator->overViewDrawRect(this, &painter, QRect(0, 0, width(), height()), state());
}

// Qt delivers enter and leave only while the view is visible and follows its
// geometry, which is what a tracking area over the whole view gives.
void KZOverView::enterEvent(QEnterEvent *)
{
    setEntered(true);
}

void KZOverView::leaveEvent(QEvent *)
{
    setEntered(false);
}

void KZOverView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        mouseDown(event);
    else if (event->button() == Qt::RightButton)
        rightMouseDown(event);
    else
        QWidget::mousePressEvent(event);
}

void KZOverView::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        mouseDragged(event);
}

void KZOverView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        mouseUp(event);
}

void KZOverView::mouseDown(QMouseEvent *event)
{
    if (_isDisabled)
        return;
    _downWinPoint = window()->pos();
    _downPoint = event->position();
    _isEntered = true;
    _isPressed = true;
    update();
}

void KZOverView::mouseDragged(QMouseEvent *event)
{
    if (_isDisabled || !_isPressed)
        return;
    if (!isWithinTolerance(event->position())) {
        _isEntered = false;
        _isPressed = false;
        update();
    }
}

void KZOverView::mouseUp(QMouseEvent *event)
{
    if (_isDisabled)
        return;
    const bool wasPressed = _isPressed;
    const bool inside = _isEntered && rect().contains(event->position().toPoint());
    _isPressed = false;
    if (!inside) {
        // Released outside: the press ends without a click. Clearing it here
        // keeps the view from staying drawn as pressed.
        if (wasPressed) {
            resetRememberedPoints();
            update();
        }
        return;
    }
    _mouseUpPoint = event->position();
    const bool deliver = wasPressed && isWithinTolerance(_mouseUpPoint) && window()->pos() == _downWinPoint
                         && isApplicationActive() && _delegator
                         && (window()->isActiveWindow() || _respondsWhenIsNotKeyWindow);
    if (deliver && !sendDidPressed({{QStringLiteral("event"), eventInfo(event)}}))
        return;
    resetRememberedPoints();
    update();
}

void KZOverView::rightMouseDown(QMouseEvent *event)
{
    if (isApplicationActive() && window()->isActiveWindow()) {
        const QVariantMap info{{QStringLiteral("isRightClick"), true}, {QStringLiteral("event"), eventInfo(event)}};
        if (!sendDidPressed(info))
            return;
    }
    resetRememberedPoints();
    update();
}

QPoint KZOverView::menuOriginForPointer(const QPoint &globalPointer, bool isPull) const
{
    // The release point seen from the pointer gives the view's top-left
    // corner; the menu hangs from the bottom edge.
    const double offset = isPull ? 8.0 : 0.0;
    const double x = globalPointer.x() - _mouseUpPoint.x();
    const double y = globalPointer.y() + (height() - _mouseUpPoint.y()) + offset;
    return QPoint(static_cast<int>(std::nearbyint(x)), static_cast<int>(std::nearbyint(y)));
}

QAction *KZOverView::displayMenu(QMenu *menu, bool isPull)
{
    if (!menu)
        return nullptr;
    return menu->exec(menuOriginForPointer(QCursor::pos(), isPull));
}
