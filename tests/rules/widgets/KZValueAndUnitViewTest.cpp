// The count-with-unit controls: what they show for a string form, and what
// typing, stepping and choosing a unit report.
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "rules/widgets/KZValueAndUnitView.h"
#include "tests/rules/widgets/RulesWidgetsTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

class KZValueAndUnitViewTest : public ::testing::Test, public KZValueAndUnitViewDelegateProtocol
{
protected:
    void SetUp() override
    {
        for (KZValueAndUnitView *control : {static_cast<KZValueAndUnitView *>(&size), static_cast<KZValueAndUnitView *>(&within)}) {
            control->initWithFrame(QRect(0, 0, 200, 27), 11, this);
            control->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(control));
        }
    }
    void valueAndUnitViewDidChange(KZValueAndUnitView *view) override { reported.append(view->valueComps()); }
    void typeInto(QLineEdit *field, const QString &text)
    {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    // A click on the upper or lower half of the stepper.
    void step(KZValueAndUnitView *control, bool up)
    {
        QTest::mouseClick(control->stepper(), Qt::LeftButton, {}, QPoint(8, up ? 4 : control->stepper()->height() - 4));
    }

    QStringList reported;
    KZFileSizeStepperView size;
    KZDateWithinStepperView within;
};

} // namespace

TEST_F(KZValueAndUnitViewTest, StringFormSetsFieldStepperAndUnit)
{
    size.setValueComps(QStringLiteral("7|3"));
    EXPECT_EQ(size.textField()->text(), QStringLiteral("7"));
    EXPECT_EQ(size.stepper()->value(), 7);
    EXPECT_EQ(size.popUpButton()->currentText(), QStringLiteral("GB"));
    // A malformed string reads as one of the first unit (the string forms are tested with the rules).
    size.setValueComps(QStringLiteral("1|2|3"));
    EXPECT_EQ(size.valueComps(), QStringLiteral("1|1"));
    EXPECT_EQ(size.popUpButton()->currentText(), QStringLiteral("KB"));
    within.setValueComps(QString());
    EXPECT_EQ(within.popUpButton()->currentText(), QStringLiteral("Day(s)"));
    EXPECT_TRUE(reported.isEmpty()) << "values set by the program are not reported";

    // A byte count that no unit divides comes with unit code 5, kept until the user picks a unit.
    size.setValueComps(QStringLiteral("1500|5"));
    EXPECT_EQ(size.valueComps(), QStringLiteral("1500|5"));
    EXPECT_EQ(size.popUpButton()->currentIndex(), -1);
    rulestest::activate(size.popUpButton(), 0);
    EXPECT_EQ(reported, QStringList{QStringLiteral("1500|1")});
}

TEST_F(KZValueAndUnitViewTest, TypingIsReportedAsTyped)
{
    size.setValueComps(QStringLiteral("5|2"));
    typeInto(size.textField(), QStringLiteral("0"));
    // Below the stepper's minimum: the stepper stays, the count 0 is reported.
    EXPECT_EQ(size.stepper()->value(), 5);
    EXPECT_EQ(reported.last(), QStringLiteral("0|2"));

    reported.clear();
    typeInto(size.textField(), QStringLiteral("2000000"));
    EXPECT_EQ(reported.last(), QStringLiteral("2000000|2"));
    EXPECT_EQ(size.stepper()->value(), 1000000) << "the stepper stops at its maximum";
    EXPECT_EQ(reported.size(), 8) << "one report per keystroke, the backspace included";
    QTest::keyClicks(size.textField(), QStringLiteral("x"));
    EXPECT_EQ(size.textField()->text(), QStringLiteral("2000000")) << "letters are not taken";
}

TEST_F(KZValueAndUnitViewTest, StepperAndUnitChangesAreReported)
{
    within.setValueComps(QStringLiteral("3|1"));
    step(&within, true);
    EXPECT_EQ(within.textField()->text(), QStringLiteral("4"));
    step(&within, false);
    step(&within, false);
    EXPECT_EQ(reported, (QStringList{QStringLiteral("4|1"), QStringLiteral("3|1"), QStringLiteral("2|1")}));

    // At the minimum a step down changes nothing and reports nothing.
    within.setValueComps(QStringLiteral("1|1"));
    reported.clear();
    step(&within, false);
    EXPECT_TRUE(reported.isEmpty());
    within.stepper()->setFocus();
    QTest::keyClick(within.stepper(), Qt::Key_Up);
    rulestest::activate(within.popUpButton(), within.popUpButton()->findData(5));
    EXPECT_EQ(reported, (QStringList{QStringLiteral("2|1"), QStringLiteral("2|5")}));
    EXPECT_EQ(within.popUpButton()->currentText(), QStringLiteral("Hour(s)"));
}
