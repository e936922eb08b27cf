#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "tests/testlib/TestEnvironment.h"
#include "toolkit/KZOverView.h"

namespace {

// Records what the view asks of its delegator.
class RecordingDelegate : public KZOverViewDelegateProtocol
{
public:
    void overViewDrawRect(KZOverView *view, QPainter *painter, const QRect &rect, int state) override
    {
        painter->fillRect(rect, state == KZOverView::StatePressed ? Qt::darkGray : Qt::lightGray);
        drawnStates.push_back(state);
        lastRect = rect;
    }
    void overViewDidPressed(KZOverView *view, const QVariantMap &info) override
    {
        clicks.append(info);
        if (onPressed)
            onPressed(view);
    }

    std::vector<int> drawnStates;
    QRect lastRect;
    QList<QVariantMap> clicks;
    std::function<void(KZOverView *)> onPressed;
};

class KZOverViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.setObjectName(QStringLiteral("overViewWindow"));
        window.resize(300, 200);
        window.move(200, 200);
        view = new KZOverView(&window);
        view->setObjectName(QStringLiteral("overView"));
        view->setGeometry(60, 50, 40, 30);
        view->setDelegator(&delegate);
        window.show();
        ASSERT_TRUE(activate(&window));
    }

    static bool activate(QWidget *w)
    {
        w->raise();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w, 5000);
    }

    bool waitForDrawnState(int state)
    {
        return kztest::waitUntil([&] { return !delegate.drawnStates.empty() && delegate.drawnStates.back() == state; });
    }

    // A left press at from, a drag to to, and the release there.
    void pressDragRelease(QPoint from, QPoint to)
    {
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, from);
        if (to != from)
            QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, to);
    }

    QWidget window;
    KZOverView *view = nullptr;
    RecordingDelegate delegate;
};

} // namespace

TEST_F(KZOverViewTest, DrawingIsDelegatedWithTheBoundsAndState)
{
    view->repaint();
    ASSERT_FALSE(delegate.drawnStates.empty());
    EXPECT_EQ(delegate.lastRect, QRect(0, 0, 40, 30));
    EXPECT_EQ(delegate.drawnStates.back(), KZOverView::StateNormal);

    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(view->state(), KZOverView::StatePressed);
    EXPECT_TRUE(waitForDrawnState(KZOverView::StatePressed));
    view->setIsDisabled(true);
    EXPECT_EQ(view->state(), KZOverView::StateDisabled); // disabled wins over pressed
    EXPECT_TRUE(waitForDrawnState(KZOverView::StateDisabled));
    view->cleanAllStates();
    EXPECT_FALSE(view->isDisabled());
    EXPECT_FALSE(view->isPressed());
    EXPECT_EQ(view->state(), KZOverView::StateNormal);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(delegate.clicks.isEmpty()); // the press was cleared before the release
}

TEST_F(KZOverViewTest, DisablingDuringAPressAbandonsIt)
{
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    view->setIsDisabled(true);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10)); // ignored while disabled
    view->setIsDisabled(false);
    EXPECT_FALSE(view->isPressed()); // not left drawn as pressed
    EXPECT_NE(view->state(), KZOverView::StatePressed);
    EXPECT_TRUE(delegate.clicks.isEmpty());
}

TEST_F(KZOverViewTest, HoverFollowsTheRealPointer)
{
    QTest::mouseMove(&window, QPoint(5, 5));
    QTest::mouseMove(view, QPoint(20, 15));
    ASSERT_TRUE(kztest::waitUntil([&] { return view->isEntered(); }));
    EXPECT_TRUE(waitForDrawnState(KZOverView::StateInside));
    QTest::mouseMove(&window, QPoint(250, 150));
    ASSERT_TRUE(kztest::waitUntil([&] { return !view->isEntered(); }));
    EXPECT_TRUE(waitForDrawnState(KZOverView::StateNormal));

    // Disabled: entering changes nothing.
    view->setIsDisabled(true);
    QTest::mouseMove(view, QPoint(20, 15));
    QTest::qWait(100);
    EXPECT_FALSE(view->isEntered());
    EXPECT_EQ(view->state(), KZOverView::StateDisabled);
    view->setIsDisabled(false);
    QTest::mouseMove(&window, QPoint(250, 150));
}

TEST_F(KZOverViewTest, ClickWithinTheDragToleranceIsDelivered)
{
    view->setRepObjectInfo(QStringLiteral("saved-searches"));
    delegate.onPressed = [](KZOverView *v) { EXPECT_EQ(v->repObjectInfo().toString(), QStringLiteral("saved-searches")); };

    pressDragRelease(QPoint(10, 10), QPoint(10, 10));
    ASSERT_EQ(delegate.clicks.size(), 1);
    const QVariantMap click = delegate.clicks.at(0);
    EXPECT_FALSE(click.contains(QStringLiteral("isRightClick")));
    const QVariantMap event = click.value(QStringLiteral("event")).toMap();
    EXPECT_EQ(event.value(QStringLiteral("type")).toInt(), static_cast<int>(QEvent::MouseButtonRelease));
    EXPECT_EQ(event.value(QStringLiteral("button")).toInt(), static_cast<int>(Qt::LeftButton));
    EXPECT_EQ(event.value(QStringLiteral("position")).toPointF(), QPointF(10, 10));
    EXPECT_FALSE(view->isPressed());
    EXPECT_TRUE(view->isEntered());

    // Moving 2 points on both axes still clicks; 3 is the last accepted distance.
    pressDragRelease(QPoint(10, 10), QPoint(12, 8));
    EXPECT_EQ(delegate.clicks.size(), 2);
    pressDragRelease(QPoint(10, 10), QPoint(13, 13));
    EXPECT_EQ(delegate.clicks.size(), 3);
}

TEST_F(KZOverViewTest, DragBeyondTheToleranceAbandonsThePress)
{
    // 4 points in x
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseMove(view, QPoint(14, 10));
    EXPECT_FALSE(view->isPressed());
    EXPECT_FALSE(view->isEntered());
    EXPECT_EQ(view->state(), KZOverView::StateNormal);
    EXPECT_TRUE(waitForDrawnState(KZOverView::StateNormal));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(14, 10));
    EXPECT_TRUE(delegate.clicks.isEmpty());

    // 4 points in y, then back to the press point before releasing: still abandoned.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseMove(view, QPoint(10, 14));
    QTest::mouseMove(view, QPoint(10, 10));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(delegate.clicks.isEmpty());
    EXPECT_FALSE(view->isPressed());
}

TEST_F(KZOverViewTest, ReleaseOutsideClearsThePressWithoutClick)
{
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(1, 10));
    QTest::mouseMove(view, QPoint(-1, 10)); // within the tolerance, but outside
    EXPECT_TRUE(view->isPressed());
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(-1, 10));
    EXPECT_TRUE(delegate.clicks.isEmpty());
    EXPECT_FALSE(view->isPressed());
    EXPECT_NE(view->state(), KZOverView::StatePressed);
}

TEST_F(KZOverViewTest, DisabledViewIgnoresLeftClicksButReportsRightClicks)
{
    view->setIsDisabled(true);
    EXPECT_TRUE(view->isDisabled());
    pressDragRelease(QPoint(10, 10), QPoint(10, 10));
    EXPECT_TRUE(delegate.clicks.isEmpty());
    EXPECT_FALSE(view->isPressed());
    EXPECT_EQ(view->state(), KZOverView::StateDisabled);

    QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, QPoint(5, 6));
    ASSERT_EQ(delegate.clicks.size(), 1);
    EXPECT_TRUE(delegate.clicks.at(0).value(QStringLiteral("isRightClick")).toBool());
    const QVariantMap event = delegate.clicks.at(0).value(QStringLiteral("event")).toMap();
    EXPECT_EQ(event.value(QStringLiteral("type")).toInt(), static_cast<int>(QEvent::MouseButtonPress));
    EXPECT_EQ(event.value(QStringLiteral("button")).toInt(), static_cast<int>(Qt::RightButton));

    view->setIsDisabled(false);
    pressDragRelease(QPoint(10, 10), QPoint(10, 10));
    EXPECT_EQ(delegate.clicks.size(), 2);
}

TEST_F(KZOverViewTest, ClicksInABackgroundWindow)
{
    QWidget other;
    other.resize(100, 100);
    other.move(700, 200);
    other.show();
    ASSERT_TRUE(activate(&other));
    ASSERT_FALSE(window.isActiveWindow());

    pressDragRelease(QPoint(10, 10), QPoint(10, 10));
    EXPECT_TRUE(delegate.clicks.isEmpty());
    QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(delegate.clicks.isEmpty());

    view->setRespondsWhenIsNotKeyWindow(true);
    pressDragRelease(QPoint(10, 10), QPoint(10, 10));
    EXPECT_EQ(delegate.clicks.size(), 1);
    QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(delegate.clicks.size(), 1); // right clicks need the active window
}

TEST_F(KZOverViewTest, WindowMovedDuringThePressIsNoClick)
{
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    const QPoint before = window.pos();
    window.move(before + QPoint(40, 0));
    ASSERT_TRUE(kztest::waitUntil([&] { return window.pos() != before; }));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(delegate.clicks.isEmpty());

    pressDragRelease(QPoint(10, 10), QPoint(10, 10)); // the new position is remembered at the next press
    EXPECT_EQ(delegate.clicks.size(), 1);
}

TEST_F(KZOverViewTest, DelegatorMayRemoveTheViewWhenClicked)
{
    // The "-" button of a rule row removes its own row when clicked.
    delegate.onPressed = [](KZOverView *v) { v->deleteLater(); };
    QPointer<KZOverView> guard(view);
    pressDragRelease(QPoint(10, 10), QPoint(10, 10));
    EXPECT_EQ(delegate.clicks.size(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());

    // Deleted at once from inside the click: the view must not touch itself afterwards.
    view = new KZOverView(&window);
    view->setGeometry(60, 50, 40, 30);
    view->setDelegator(&delegate);
    view->show();
    delegate.onPressed = [](KZOverView *v) { delete v; };
    guard = view;
    pressDragRelease(QPoint(10, 10), QPoint(10, 10));
    EXPECT_EQ(delegate.clicks.size(), 2);
    EXPECT_TRUE(guard.isNull());
    view = nullptr;
}

TEST_F(KZOverViewTest, MenuHangsFromTheLowerLeftCorner)
{
    QMenu menu;
    menu.addAction(QStringLiteral("Save"));
    menu.addAction(QStringLiteral("Save As\u2026"));

    pressDragRelease(QPoint(7, 9), QPoint(7, 9));
    ASSERT_EQ(delegate.clicks.size(), 1);
    const QPoint pointer = view->mapToGlobal(QPoint(7, 9));
    EXPECT_EQ(view->menuOriginForPointer(pointer, false), view->mapToGlobal(QPoint(0, 30)));
    EXPECT_EQ(view->menuOriginForPointer(pointer, true), view->mapToGlobal(QPoint(0, 38)));
    // Another pointer position moves the menu with it.
    EXPECT_EQ(view->menuOriginForPointer(pointer + QPoint(5, -3), false), view->mapToGlobal(QPoint(5, 27)));

    QCursor::setPos(pointer);
    ASSERT_TRUE(kztest::waitUntil([&] { return QCursor::pos() == pointer; }));
    QPoint shownAt;
    QTimer closer; // the menu runs modally: close it once it is up
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget *popup = QApplication::activePopupWidget(); popup && popup->isVisible()) {
            shownAt = popup->pos();
            popup->close();
        }
    });
    closer.start(50);
    QAction *chosen = view->displayMenu(&menu, true);
    closer.stop();
    EXPECT_EQ(chosen, nullptr);
    EXPECT_EQ(shownAt, view->mapToGlobal(QPoint(0, 38)));
}

TEST_F(KZOverViewTest, HiddenViewTracksNothingUntilShownAgain)
{
    QTest::mouseMove(view, QPoint(20, 15));
    ASSERT_TRUE(kztest::waitUntil([&] { return view->isEntered(); }));
    view->hide();
    EXPECT_TRUE(kztest::waitUntil([&] { return !view->isEntered(); })); // no hover left behind
    QTest::mouseMove(&window, QPoint(250, 150));
    QTest::mouseMove(&window, QPoint(80, 65)); // over the hidden view
    QTest::qWait(100);
    EXPECT_FALSE(view->isEntered());
    const size_t drawn = delegate.drawnStates.size();
    window.repaint();
    EXPECT_EQ(delegate.drawnStates.size(), drawn);

    view->show();
    EXPECT_TRUE(kztest::waitUntil([&] { return view->isEntered(); })); // the pointer is over it again
    QTest::mouseMove(&window, QPoint(250, 150));
    EXPECT_TRUE(kztest::waitUntil([&] { return !view->isEntered(); }));
}
