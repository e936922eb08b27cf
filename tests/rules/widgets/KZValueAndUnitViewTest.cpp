#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "rules/KZValueAndUnit.h"
#include "rules/widgets/KZValueAndUnitView.h"
#include "support/KZLocalization.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

struct ChangeRecorder : KZValueAndUnitViewDelegateProtocol {
    QStringList comps;
    void valueAndUnitViewDidChange(KZValueAndUnitView *view) override { comps.append(view->valueComps()); }
};

template <typename T>
std::unique_ptr<T> makeControl(ChangeRecorder *recorder)
{
    auto control = std::make_unique<T>();
    control->initWithFrame(QRect(0, 0, 200, 27), 11, recorder);
    control->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(control.get()));
    return control;
}

// The unit tags in pop-up order; separators as -1.
QList<qint64> tagsInOrder(const KZValueAndUnitView &control)
{
    QList<qint64> tags;
    const QComboBox *popUp = control.popUpButton();
    for (int i = 0; i < popUp->count(); ++i) {
        const QVariant data = popUp->itemData(i);
        tags.append(data.isValid() ? data.toLongLong() : -1);
    }
    return tags;
}

void typeInto(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

} // namespace

TEST(KZValueAndUnitView, StringFormSetsFieldStepperAndUnit)
{
    ChangeRecorder recorder;
    auto size = makeControl<KZFileSizeStepperView>(&recorder);
    size->setValueComps(QStringLiteral("7|3"));
    EXPECT_EQ(size->textField()->text(), QStringLiteral("7"));
    EXPECT_EQ(size->stepper()->value(), 7);
    EXPECT_EQ(size->popUpButton()->selectedTag(), 3);
    EXPECT_EQ(size->valueComps(), QStringLiteral("7|3"));

    size->setValueComps(QStringLiteral("1|2"));
    EXPECT_EQ(size->textField()->text(), QStringLiteral("1"));
    EXPECT_EQ(size->popUpButton()->currentText(), KZLocalizedString("FileSizePoids_MB"));

    // Empty, none and malformed strings read as one of the first unit.
    for (const QString &bad : {QString(), QStringLiteral(""), QStringLiteral("12"), QStringLiteral("1|2|3")}) {
        size->setValueComps(QStringLiteral("9|4"));
        size->setValueComps(bad);
        EXPECT_EQ(size->value(), 1) << bad.toStdString();
        EXPECT_EQ(size->poids(), 1) << bad.toStdString();
        EXPECT_EQ(size->popUpButton()->currentText(), KZLocalizedString("FileSizePoids_KB"));
    }
    auto within = makeControl<KZDateWithinStepperView>(&recorder);
    within->setValueComps(QString());
    EXPECT_EQ(within->popUpButton()->currentText(), KZLocalizedString("Day(s)"));
    // Setting values programmatically reports nothing.
    EXPECT_TRUE(recorder.comps.isEmpty());
}

TEST(KZValueAndUnitView, UnitMenusAndLimits)
{
    ChangeRecorder recorder;
    auto size = makeControl<KZFileSizeStepperView>(&recorder);
    auto within = makeControl<KZDateWithinStepperView>(&recorder);
    EXPECT_EQ(tagsInOrder(*size), (QList<qint64>{1, 2, 3, 4}));
    // Minutes and hours, a separator, then days to years.
    EXPECT_EQ(tagsInOrder(*within), (QList<qint64>{6, 5, -1, 1, 2, 3, 4}));
    EXPECT_EQ(size->stepper()->maximum(), 1000000);
    EXPECT_EQ(within->stepper()->maximum(), 1000);
    EXPECT_EQ(size->stepper()->minimum(), 1);
    EXPECT_EQ(size->popUpButton()->width(), 60);
    EXPECT_EQ(within->popUpButton()->width(), 90);
    // Field, stepper and pop-up side by side.
    EXPECT_EQ(size->textField()->geometry(), QRect(0, 4, 50, 19));
    EXPECT_EQ(size->stepper()->geometry(), QRect(54, 3, 16, 22));
    EXPECT_EQ(size->popUpButton()->geometry().topLeft(), QPoint(74, 3));
}

TEST(KZValueAndUnitView, TypingIsReportedAsTyped)
{
    ChangeRecorder recorder;
    auto size = makeControl<KZFileSizeStepperView>(&recorder);
    size->setValueComps(QStringLiteral("5|2"));

    typeInto(size->textField(), QStringLiteral("0"));
    // Below the stepper's minimum: the stepper stays, the count 0 is reported.
    EXPECT_EQ(size->stepper()->value(), 5);
    ASSERT_FALSE(recorder.comps.isEmpty());
    EXPECT_EQ(recorder.comps.last(), QStringLiteral("0|2"));

    recorder.comps.clear();
    typeInto(size->textField(), QStringLiteral("2000000"));
    EXPECT_EQ(recorder.comps.last(), QStringLiteral("2000000|2"));
    EXPECT_EQ(size->valueComps(), QStringLiteral("2000000|2"));
    EXPECT_EQ(size->stepper()->value(), 1000000);
    // One report per keystroke (the backspace included).
    EXPECT_EQ(recorder.comps.size(), 8);

    recorder.comps.clear();
    typeInto(size->textField(), QStringLiteral("12"));
    EXPECT_EQ(size->stepper()->value(), 12);
    // Letters are not taken.
    QTest::keyClicks(size->textField(), QStringLiteral("x"));
    EXPECT_EQ(size->textField()->text(), QStringLiteral("12"));
}

TEST(KZValueAndUnitView, StepperAndUnitChangesAreReported)
{
    ChangeRecorder recorder;
    auto within = makeControl<KZDateWithinStepperView>(&recorder);
    within->setValueComps(QStringLiteral("3|1"));
    KZValueAndUnitView_Stepper *stepper = within->stepper();

    QTest::mouseClick(stepper, Qt::LeftButton, {}, QPoint(8, 4));
    EXPECT_EQ(within->textField()->text(), QStringLiteral("4"));
    QTest::mouseClick(stepper, Qt::LeftButton, {}, QPoint(8, stepper->height() - 4));
    QTest::mouseClick(stepper, Qt::LeftButton, {}, QPoint(8, stepper->height() - 4));
    EXPECT_EQ(within->textField()->text(), QStringLiteral("2"));
    EXPECT_EQ(recorder.comps, (QStringList{QStringLiteral("4|1"), QStringLiteral("3|1"), QStringLiteral("2|1")}));

    // At the minimum a step down changes nothing and reports nothing.
    within->setValueComps(QStringLiteral("1|1"));
    recorder.comps.clear();
    QTest::mouseClick(stepper, Qt::LeftButton, {}, QPoint(8, stepper->height() - 4));
    EXPECT_TRUE(recorder.comps.isEmpty());
    EXPECT_EQ(within->value(), 1);

    // Keyboard steps.
    stepper->setFocus();
    QTest::keyClick(stepper, Qt::Key_Up);
    EXPECT_EQ(recorder.comps, QStringList{QStringLiteral("2|1")});

    // Choosing a unit.
    recorder.comps.clear();
    QComboBox *popUp = within->popUpButton();
    const int hours = popUp->findData(5);
    ASSERT_GE(hours, 0);
    popUp->setCurrentIndex(hours);
    Q_EMIT popUp->activated(hours);
    EXPECT_EQ(recorder.comps, QStringList{QStringLiteral("2|5")});
}

TEST(KZValueAndUnitView, AUnitWithoutEntryIsKept)
{
    ChangeRecorder recorder;
    auto size = makeControl<KZFileSizeStepperView>(&recorder);
    // A byte count that no unit divides comes back with unit code 5.
    size->setValueComps(QStringLiteral("1500|5"));
    EXPECT_EQ(size->valueComps(), QStringLiteral("1500|5"));
    EXPECT_EQ(size->popUpButton()->currentIndex(), -1);
    // Until the user picks a unit.
    size->popUpButton()->setCurrentIndex(0);
    Q_EMIT size->popUpButton()->activated(0);
    EXPECT_EQ(size->valueComps(), QStringLiteral("1500|1"));
}
