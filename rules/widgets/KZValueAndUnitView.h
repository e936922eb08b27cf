// The count-with-a-unit controls of the rules editor: a number field, a
// stepper beside it and a unit pop-up. Their value travels as "count|unit"
// (KZValueAndUnit.h). KZFileSizeStepperView counts kilobytes to terabytes,
// KZDateWithinStepperView minutes to years. GUI thread only.
#pragma once

#include <QComboBox>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

#include "rules/KZMenu.h"

class QLineEdit;
class KZValueAndUnitView;

// Told after every change the user makes (the row view that holds the control).
class KZValueAndUnitViewDelegateProtocol
{
public:
    virtual ~KZValueAndUnitViewDelegateProtocol() = default;
    virtual void valueAndUnitViewDidChange(KZValueAndUnitView *view) = 0;
};

// A small up/down stepper: a click in the upper half steps up, in the lower half
// down, within [minimum, maximum]; the Up and Down keys do the same. Always
// reachable with Tab.
class KZValueAndUnitView_Stepper : public QWidget
{
    Q_OBJECT
public:
    explicit KZValueAndUnitView_Stepper(QWidget *parent = nullptr);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int value() const { return m_value; }
    void setMinimum(int minimum);
    void setMaximum(int maximum);
    // Clamped to [minimum, maximum].
    void setValue(int value);
    // A step as the user makes it: emits stepped() when the value changed.
    void stepBy(int steps);

Q_SIGNALS:
    void stepped();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int m_minimum = 1;
    int m_maximum = 100;
    int m_value = 1;
};

// The unit pop-up: one entry per unit, its tag in the entry's data.
class KZValueAndUnitView_PopUpButton : public QComboBox
{
    Q_OBJECT
public:
    explicit KZValueAndUnitView_PopUpButton(QWidget *parent = nullptr);
    void setUnitMenu(const KZMenuRef &menu);
    // The tag of the selected entry, or -1 when none is selected.
    qint64 selectedTag() const;
    // False (and nothing selected) when no entry has the tag.
    bool selectItemWithTag(qint64 tag);
};

class KZValueAndUnitView : public QWidget
{
    Q_OBJECT
public:
    explicit KZValueAndUnitView(QWidget *parent = nullptr);
    ~KZValueAndUnitView() override;

    // Places the control at frame (in its parent) and builds its three parts.
    // popBezelStyle is kept for the unit pop-up's look.
    void initWithFrame(const QRect &frame, uint popBezelStyle, KZValueAndUnitViewDelegateProtocol *controlView);

    // {"maxValue": n}; none in the base class.
    virtual QVariantMap valueStepperInfos() const { return {}; }
    // A new untitled menu of units; none in the base class.
    virtual KZMenuRef unitMenu() const { return nullptr; }
    // Width of the unit pop-up.
    virtual int unitPopUpWidth() const { return 60; }

    // The count typed in the field (a whole number).
    qint32 value() const;
    // The selected unit's tag. A unit code that no entry carries (set through
    // setValue) is kept as it was given, so that it is not silently changed.
    qint32 poids() const;
    void setValue(qint32 value, qint32 poids);
    QString valueComps() const;
    void setValueComps(const QString &comps);

    KZValueAndUnitViewDelegateProtocol *controlView() const { return _controlView; }
    void setControlView(KZValueAndUnitViewDelegateProtocol *controlView) { _controlView = controlView; }
    QLineEdit *textField() const { return _textField; }
    KZValueAndUnitView_Stepper *stepper() const { return _stepper; }
    KZValueAndUnitView_PopUpButton *popUpButton() const { return _popUpButton; }
    uint popBezelStyle() const { return m_popBezelStyle; }

    // Typing in the field, a click on the stepper, a unit chosen.
    void controlTextDidChange();
    void fileSizeStepperAction();
    void fileSizePoidsMenuAction();

private:
    void notify();

    QLineEdit *_textField = nullptr;
    KZValueAndUnitView_Stepper *_stepper = nullptr;
    KZValueAndUnitView_PopUpButton *_popUpButton = nullptr;
    KZValueAndUnitViewDelegateProtocol *_controlView = nullptr;
    uint m_popBezelStyle = 0;
    qint32 m_unlistedPoids = 0;
};

class KZFileSizeStepperView : public KZValueAndUnitView
{
    Q_OBJECT
public:
    using KZValueAndUnitView::KZValueAndUnitView;
    QVariantMap valueStepperInfos() const override;
    KZMenuRef unitMenu() const override;
    int unitPopUpWidth() const override { return 60; }
};

class KZDateWithinStepperView : public KZValueAndUnitView
{
    Q_OBJECT
public:
    using KZValueAndUnitView::KZValueAndUnitView;
    QVariantMap valueStepperInfos() const override;
    KZMenuRef unitMenu() const override;
    int unitPopUpWidth() const override { return 90; }
};

// The system font at the size of small controls, made once.
QFont kzSmallControlFont();
