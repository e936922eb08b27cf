#include <QHBoxLayout>
#include <QLabel>
#include <QTest>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "app/KZHotKeyFieldView.h"
#include "tests/app/HotKeyTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

using Change = std::tuple<quint64, quint64, bool>;

struct Observer : KZHotKeyFieldViewObserver
{
    bool hotKeyFieldViewDidChangeWithKeyCode(KZHotKeyFieldView *, quint64 keyCode, quint64 flags, bool on) override
    {
        changes.emplace_back(keyCode, flags, on);
        return true;
    }
    std::vector<Change> changes;
};

struct Press
{
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

TEST(KZHotKeyFieldView, RecordsAndHandsOverOnlyAnAcceptableLastCombination)
{
    constexpr quint64 kCtrlAlt = KZModifierControl | KZModifierOption;
    kztest::OtherXClient other;
    ASSERT_TRUE(other.grab(98, KZModifierShift)); // Shift+F7
    const std::vector<Change> none;
    struct Row
    {
        const char *name;
        std::vector<Press> presses;
        double opacity;
        const char *message;
        bool onError;
        std::vector<Change> handedOver;
    } rows[] = {
        {"several within a second",
         {{Qt::Key_F5, {}}, {Qt::Key_F6, {}}, {Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier}},
         1.0, "", false, {{49, kCtrlAlt, true}}},
        {"taken by another program", {{Qt::Key_F7, Qt::ShiftModifier}}, 1.0,
         "This shortcut is already used by another combination.", false, none},
        {"not a shortcut", {{Qt::Key_Return, {}}}, 1.0, "This shortcut is not correct.", true, none},
        {"window fading in", {{Qt::Key_F5, {}}}, 0.5, "", false, none},
        // Holding a modifier on its way to the next key is no combination of its own.
        {"a modifier key alone", {{Qt::Key_F5, {}}, {Qt::Key_Control, Qt::ControlModifier}}, 1.0, "", false,
         {{96, 0, true}}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        auto *field = new KZHotKeyFieldView;
        auto *label = new QLabel;
        layout->addWidget(field);
        layout->addWidget(label);
        Observer observer;
        field->setMesLabel(label);
        field->setChangeObserver(&observer, 0, 0, true);
        window.setWindowOpacity(r.opacity);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::mouseClick(field, Qt::LeftButton);
        ASSERT_TRUE(field->isRecording());
        for (const Press &p : r.presses)
            QTest::keyClick(field, p.key, p.modifiers);
        EXPECT_EQ(label->text(), QString::fromUtf8(r.message));
        EXPECT_EQ(field->isOnError(), r.onError);
        QTest::qWait(KZHotKeyFieldView::kHandOverDelayMs / 4);
        EXPECT_TRUE(observer.changes.empty()) << "handed over before the second was up";
        QTest::qWait(KZHotKeyFieldView::kHandOverDelayMs * 3 / 4 + 300);
        EXPECT_EQ(observer.changes, r.handedOver);
        EXPECT_EQ(label->text(), QString());

        if (r.handedOver.size() != 1 || std::get<0>(r.handedOver[0]) != 49)
            continue;
        // Switched off and on again: the last combination had status 1, so it is handed over again.
        field->setIsEnabled(false);
        field->setIsEnabled(true);
        const std::vector<Change> expected{{49, kCtrlAlt, true}, {49, kCtrlAlt, false}, {49, kCtrlAlt, true}};
        EXPECT_EQ(observer.changes, expected);
    }
}

TEST(KZHotKeyFieldView, ASavedShortcutSwitchedOnAsksForRecordingAndFocusLossEndsIt)
{
    constexpr quint64 kK = 40, kCtrlAlt = KZModifierControl | KZModifierOption;
    KZHotKeyCenter *center = KZHotKeyCenter::defaultCenter();
    ASSERT_TRUE(center->registerHotKeyWithKeyCode(kK, kCtrlAlt, 5));
    QWidget window;
    auto *field = new KZHotKeyFieldView(&window);
    Observer observer;
    field->setChangeObserver(&observer, kK, kCtrlAlt, false);
    EXPECT_EQ(field->lastStatus(), 3);
    EXPECT_EQ(field->string(), QStringLiteral("Ctrl+Alt+K"));
    window.show();
    field->setIsEnabled(true);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_TRUE(kztest::waitUntil([&] { return field->hasFocus(); }));
    EXPECT_TRUE(observer.changes.empty());

    QTest::mouseClick(field, Qt::LeftButton);
    ASSERT_TRUE(field->isRecording());
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_FALSE(field->isRecording());
    center->unregisterHotKeyWithTag(5);
}

} // namespace
