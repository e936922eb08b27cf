// KZOverView: the small custom button of Trovix. It follows the mouse (inside,
// pressed), leaves all drawing to its delegator and reports completed clicks and
// right clicks to it; it can also pop a menu up from itself. GUI thread only.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QVariant>
#include <QWidget>

class QAction;
class QMenu;
class QMouseEvent;
class QPainter;
class KZOverView;

// What the owner of a KZOverView implements. The view never owns its delegator.
class KZOverViewDelegateProtocol
{
public:
    virtual ~KZOverViewDelegateProtocol() = default;

    // Draws the view. rect is the view's bounds (0, 0, width, height); state is
    // KZOverView::StateDisabled, StatePressed, StateInside or StateNormal.
    virtual void overViewDrawRect(KZOverView *view, QPainter *painter, const QRect &rect, int state) = 0;

    // A completed click. info is {"event": E} for a left click and
    // {"isRightClick": true, "event": E} for a right click, where E describes
    // the mouse event (see KZOverView::eventInfo). The delegator may
    // remove the view from here with deleteLater().
    virtual void overViewDidPressed(KZOverView *view, const QVariantMap &info) { }
};

class KZOverView : public QWidget
{
    Q_OBJECT
public:
    // Drawing states, computed in this order: disabled, pressed, inside, normal.
    enum State { StateNormal = 0, StateInside = 1, StatePressed = 2, StateDisabled = 3 };

    // A press that moves more than this many pixels on either axis is abandoned.
    static constexpr int kDragTolerance = 3;

    explicit KZOverView(QWidget *parent = nullptr);
    ~KZOverView() override;

    // Non-owning. Clear it (nullptr) before the delegator goes away if the view
    // may outlive it.
    KZOverViewDelegateProtocol *delegator() const { return _delegator; }
    void setDelegator(KZOverViewDelegateProtocol *delegator);

    // A value the owner attaches to the view, for example to tell several views apart.
    QVariant repObjectInfo() const { return _repObjectInfo; }
    void setRepObjectInfo(const QVariant &info) { _repObjectInfo = info; }

    // Clicks count also when the view's window is not the active window (default false).
    bool respondsWhenIsNotKeyWindow() const { return _respondsWhenIsNotKeyWindow; }
    void setRespondsWhenIsNotKeyWindow(bool responds) { _respondsWhenIsNotKeyWindow = responds; }

    // A disabled view ignores hover and left clicks and draws with
    // StateDisabled; right clicks are still reported. Disabling abandons a
    // press in progress. Independent of
    // QWidget::setEnabled, which would swallow the right clicks too.
    bool isDisabled() const { return _isDisabled; }
    void setIsDisabled(bool disabled);

    bool isEntered() const { return _isEntered; }
    bool isPressed() const { return _isPressed; }
    int state() const;

    // Clears inside, pressed and disabled and redraws; owners call it when a
    // menu opened from the view has closed.
    void cleanAllStates();

    // Pops menu up under the view: its top-left corner goes to the pointer
    // position minus the last release point, that is the view's lower-left
    // corner while the pointer stays where the button was released; isPull
    // places it 8 pixels lower. Runs the menu modally and returns the chosen
    // action, or nullptr.
    QAction *displayMenu(QMenu *menu, bool isPull);
    // Where displayMenu puts the menu's top-left corner, in global coordinates,
    // for the pointer at globalPointer.
    QPoint menuOriginForPointer(const QPoint &globalPointer, bool isPull) const;

    // The "event" entry of the click dictionaries: {"type": QEvent::Type,
    // "button": Qt::MouseButton, "buttons": Qt::MouseButtons, "modifiers":
    // Qt::KeyboardModifiers (all as int), "position": QPointF in view
    // coordinates, "globalPosition": QPointF, "timestamp": qulonglong}.
    static QVariantMap eventInfo(const QMouseEvent *event);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

    // Handlers that subclasses may extend.
    virtual void mouseDown(QMouseEvent *event);
    virtual void mouseDragged(QMouseEvent *event);
    virtual void mouseUp(QMouseEvent *event);
    virtual void rightMouseDown(QMouseEvent *event);

    // True when p is within kDragTolerance of the press point on both axes.
    bool isWithinTolerance(const QPointF &p) const;
    // Reports a click to the delegator; false when the view was deleted meanwhile.
    bool sendDidPressed(const QVariantMap &info);
    bool isApplicationActive() const;

private:
    void setEntered(bool entered);
    void resetRememberedPoints();

    bool _isEntered = false;
    bool _isPressed = false;
    bool _isDisabled = false;
    QPoint _downWinPoint;
    QPointF _downPoint;
    QPointF _mouseUpPoint;
    bool _respondsWhenIsNotKeyWindow = false;
    QVariant _repObjectInfo;
    KZOverViewDelegateProtocol *_delegator = nullptr;
};
