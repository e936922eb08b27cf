// The hover-and-press view: drawn by its delegator in its state, clicks within
// the drag tolerance only, right clicks, hover, and the menu under it.
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

class KZOverViewTest : public ::testing::Test, public KZOverViewDelegateProtocol
{
protected:
    void SetUp() override
    {
        window.resize(300, 200);
        window.move(200, 200);
        view->setGeometry(60, 50, 40, 30);
        view->setDelegator(this);
        window.show();
        ASSERT_TRUE(activate(&window));
    }
    void overViewDrawRect(KZOverView *, QPainter *painter, const QRect &rect, int state) override
    {
        painter->fillRect(rect, Qt::lightGray);
        drawn.push_back({rect, state});
    }
    void overViewDidPressed(KZOverView *v, const QVariantMap &info) override
    {
        clicks.append(info);
        if (onPressed)
            onPressed(v);
    }
    static bool activate(QWidget *w)
    {
        w->raise();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w, 5000);
    }
    bool waitForDrawnState(int state)
    {
        return kztest::waitUntil([&] { return !drawn.empty() && drawn.back().second == state; });
    }
    bool hoverBecomes(QWidget *over, QPoint at, bool entered)
    {
        QTest::mouseMove(over, at);
        return kztest::waitUntil([&] { return view->isEntered() == entered; });
    }
    // A left press at the first point, a drag through the others and the release
    // at the last; answers whether it clicked.
    bool clickedAlong(std::initializer_list<QPoint> points)
    {
        const auto before = clicks.size();
        QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, *points.begin());
        for (auto p = points.begin() + 1; p != points.end(); ++p)
            QTest::mouseMove(view, *p);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, *(points.end() - 1));
        return clicks.size() == before + 1;
    }
    bool rightClicked()
    {
        const auto before = clicks.size();
        QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, QPoint(5, 6));
        return clicks.size() == before + 1 && clicks.last().value(QStringLiteral("isRightClick")).toBool();
    }
    QVariantMap lastEvent() const { return clicks.last().value(QStringLiteral("event")).toMap(); }

    QWidget window;
    KZOverView *view = new KZOverView(&window);
    std::vector<std::pair<QRect, int>> drawn;
    QList<QVariantMap> clicks;
    std::function<void(KZOverView *)> onPressed;
};

} // namespace

TEST_F(KZOverViewTest, DrawnInItsStateAndClickedOnlyWhenEnabledAndActive)
{
    view->repaint();
    EXPECT_TRUE(waitForDrawnState(KZOverView::StateNormal));
    EXPECT_EQ(drawn.back().first, QRect(0, 0, 40, 30));
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(waitForDrawnState(KZOverView::StatePressed));
    view->setIsDisabled(true);
    EXPECT_TRUE(waitForDrawnState(KZOverView::StateDisabled)) << "disabled wins over pressed";
    view->cleanAllStates();
    EXPECT_EQ(view->state(), KZOverView::StateNormal);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(clicks.isEmpty()) << "the press was cleared before the release";

    // Disabled during a press: the press is abandoned, not left drawn once re-enabled.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    view->setIsDisabled(true);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    view->setIsDisabled(false);
    EXPECT_FALSE(view->isPressed());
    EXPECT_TRUE(clicks.isEmpty());

    // Disabled, or in a background window: right clicks only, or none.
    view->setIsDisabled(true);
    EXPECT_FALSE(clickedAlong({{10, 10}}));
    ASSERT_TRUE(rightClicked()) << "right clicks still count";
    EXPECT_EQ(lastEvent().value(QStringLiteral("type")).toInt(), static_cast<int>(QEvent::MouseButtonPress));
    EXPECT_EQ(lastEvent().value(QStringLiteral("button")).toInt(), static_cast<int>(Qt::RightButton));
    view->setIsDisabled(false);

    QWidget other;
    other.setGeometry(700, 200, 100, 100);
    other.show();
    ASSERT_TRUE(activate(&other));
    EXPECT_FALSE(clickedAlong({{10, 10}}));
    EXPECT_FALSE(rightClicked());
    view->setRespondsWhenIsNotKeyWindow(true);
    EXPECT_TRUE(clickedAlong({{10, 10}}));
    EXPECT_FALSE(rightClicked()) << "right clicks need the active window";
}

TEST_F(KZOverViewTest, OnlyAPressReleasedInsideWithinTheToleranceClicks)
{
    view->setRepObjectInfo(QStringLiteral("saved-searches"));
    onPressed = [](KZOverView *v) { EXPECT_EQ(v->repObjectInfo().toString(), QStringLiteral("saved-searches")); };
    ASSERT_TRUE(clickedAlong({{10, 10}}));
    EXPECT_FALSE(clicks.last().contains(QStringLiteral("isRightClick")));
    EXPECT_EQ(lastEvent().value(QStringLiteral("type")).toInt(), static_cast<int>(QEvent::MouseButtonRelease));
    EXPECT_EQ(lastEvent().value(QStringLiteral("position")).toPointF(), QPointF(10, 10));
    EXPECT_FALSE(view->isPressed());
    EXPECT_TRUE(view->isEntered());
    onPressed = nullptr;

    // 3 points on both axes is the last accepted distance; 4 in x or y abandons
    // the press, even when the pointer comes back.
    EXPECT_TRUE(clickedAlong({{10, 10}, {12, 8}}));
    EXPECT_TRUE(clickedAlong({{10, 10}, {13, 13}}));
    EXPECT_FALSE(clickedAlong({{10, 10}, {14, 10}}));
    EXPECT_EQ(view->state(), KZOverView::StateNormal);
    EXPECT_FALSE(clickedAlong({{10, 10}, {10, 14}, {10, 10}}));
    // Released outside, though within the tolerance: no click, no press left behind.
    EXPECT_FALSE(clickedAlong({{1, 10}, {-1, 10}}));
    EXPECT_NE(view->state(), KZOverView::StatePressed);

    // The window moved during the press: no click; the new position counts at the next press.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    const QPoint before = window.pos();
    window.move(before + QPoint(40, 0));
    ASSERT_TRUE(kztest::waitUntil([&] { return window.pos() != before; }));
    const auto count = clicks.size();
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(clicks.size(), count);
    EXPECT_TRUE(clickedAlong({{10, 10}}));

    // The menu hangs from the lower-left corner.
    // The release point seen from the pointer gives the view's corner, wherever the pointer is.
    ASSERT_TRUE(clickedAlong({{7, 9}}));
    const QPoint pointer = view->mapToGlobal(QPoint(7, 9));
    EXPECT_EQ(view->menuOriginForPointer(pointer, false), view->mapToGlobal(QPoint(0, 30)));
    EXPECT_EQ(view->menuOriginForPointer(pointer, true), view->mapToGlobal(QPoint(0, 38))) << "a pull-down hangs lower";
    EXPECT_EQ(view->menuOriginForPointer(pointer + QPoint(5, -3), false), view->mapToGlobal(QPoint(5, 27)));

    // Shown there for the pointer's place; the menu runs modally, so it is closed once up.
    QMenu menu;
    menu.addAction(QStringLiteral("Save"));
    QCursor::setPos(pointer);
    ASSERT_TRUE(kztest::waitUntil([&] { return QCursor::pos() == pointer; }));
    QPoint shownAt;
    QTimer::singleShot(100, [&] {
        shownAt = QApplication::activePopupWidget() ? QApplication::activePopupWidget()->pos() : QPoint();
        menu.close();
    });
    EXPECT_EQ(view->displayMenu(&menu, true), nullptr);
    EXPECT_EQ(shownAt, view->mapToGlobal(QPoint(0, 38)));
}

TEST_F(KZOverViewTest, TheDelegatorMayDeleteTheViewItClicked)
{
    // The "-" button of a rule row removes its own row when clicked; deleted at
    // once from inside the click, the view must not touch itself afterwards.
    QPointer<KZOverView> guard(view);
    onPressed = [](KZOverView *v) { delete v; };
    EXPECT_TRUE(clickedAlong({{10, 10}}));
    EXPECT_TRUE(guard.isNull());
}

TEST_F(KZOverViewTest, HoverFollowsThePointerWhileShownAndEnabled)
{
    QTest::mouseMove(&window, QPoint(5, 5));
    ASSERT_TRUE(hoverBecomes(view, QPoint(20, 15), true));
    EXPECT_TRUE(waitForDrawnState(KZOverView::StateInside));
    ASSERT_TRUE(hoverBecomes(&window, QPoint(250, 150), false));
    EXPECT_TRUE(waitForDrawnState(KZOverView::StateNormal));

    view->setIsDisabled(true);
    QTest::mouseMove(view, QPoint(20, 15));
    QTest::qWait(100);
    EXPECT_FALSE(view->isEntered()) << "disabled: entering changes nothing";
    view->setIsDisabled(false);
    QTest::mouseMove(&window, QPoint(250, 150));
    ASSERT_TRUE(hoverBecomes(view, QPoint(20, 15), true));

    // Hidden: no hover left behind, none taken, nothing drawn; shown again under
    // the pointer: hovered.
    view->hide();
    EXPECT_TRUE(kztest::waitUntil([&] { return !view->isEntered(); }));
    QTest::mouseMove(&window, QPoint(250, 150));
    QTest::mouseMove(&window, QPoint(80, 65));
    QTest::qWait(100);
    EXPECT_FALSE(view->isEntered());
    const size_t count = drawn.size();
    window.repaint();
    EXPECT_EQ(drawn.size(), count);
    view->show();
    EXPECT_TRUE(kztest::waitUntil([&] { return view->isEntered(); }));
}

