#include "rules/widgets/KZValueAndUnitView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOption>
#include <cmath>

#include "rules/KZValueAndUnit.h"

QFont kzSmallControlFont()
{
    static const QFont font = [] {
        QFont f = QApplication::font();
        const qreal size = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
        f.setPointSizeF(std::max(7.0, size - 1.0));
        return f;
    }();
    return font;
}

// --- Stepper

KZValueAndUnitView_Stepper::KZValueAndUnitView_Stepper(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void KZValueAndUnitView_Stepper::setMinimum(int minimum)
{
    m_minimum = minimum;
    if (m_maximum < m_minimum)
        m_maximum = m_minimum;
    setValue(m_value);
}

void KZValueAndUnitView_Stepper::setMaximum(int maximum)
{
    m_maximum = std::max(maximum, m_minimum);
    setValue(m_value);
}

void KZValueAndUnitView_Stepper::setValue(int value)
{
    m_value = std::clamp(value, m_minimum, m_maximum);
    update();
}

void KZValueAndUnitView_Stepper::stepBy(int steps)
{
    const int old = m_value;
    setValue(int(std::clamp(qint64(m_value) + steps, qint64(m_minimum), qint64(m_maximum))));
    if (m_value != old)
        Q_EMIT stepped();
}

void KZValueAndUnitView_Stepper::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(palette().color(isEnabled() ? QPalette::Button : QPalette::Window));
    p.drawRoundedRect(frame, 3, 3);
    const int half = height() / 2;
    p.drawLine(QPointF(1, half + 0.5), QPointF(width() - 1, half + 0.5));
    QStyleOption opt;
    opt.initFrom(this);
    opt.rect = QRect(0, 1, width(), half - 1);
    if (m_value >= m_maximum)
        opt.state &= ~QStyle::State_Enabled;
    style()->drawPrimitive(QStyle::PE_IndicatorArrowUp, &opt, &p, this);
    opt.initFrom(this);
    opt.rect = QRect(0, half + 1, width(), height() - half - 2);
    if (m_value <= m_minimum)
        opt.state &= ~QStyle::State_Enabled;
    style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &opt, &p, this);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(frame, 3, 3);
    }
}

void KZValueAndUnitView_Stepper::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    stepBy(event->position().y() < height() / 2.0 ? 1 : -1);
}

void KZValueAndUnitView_Stepper::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Up)
        stepBy(1);
    else if (event->key() == Qt::Key_Down)
        stepBy(-1);
    else
        QWidget::keyPressEvent(event);
}

// --- Unit pop-up

KZValueAndUnitView_PopUpButton::KZValueAndUnitView_PopUpButton(QWidget *parent)
    : QComboBox(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void KZValueAndUnitView_PopUpButton::setUnitMenu(const KZMenuRef &menu)
{
    clear();
    if (!menu)
        return;
    for (const KZMenuEntry &entry : menu->entries()) {
        if (entry.isSeparator)
            insertSeparator(count());
        else
            addItem(entry.title, entry.tag);
    }
    // The first unit, not a separator.
    for (int i = 0; i < count(); ++i) {
        if (itemData(i).isValid()) {
            setCurrentIndex(i);
            break;
        }
    }
}

qint64 KZValueAndUnitView_PopUpButton::selectedTag() const
{
    const QVariant data = currentData();
    return data.isValid() ? data.toLongLong() : -1;
}

bool KZValueAndUnitView_PopUpButton::selectItemWithTag(qint64 tag)
{
    for (int i = 0; i < count(); ++i) {
        const QVariant data = itemData(i);
        if (data.isValid() && data.toLongLong() == tag) {
            setCurrentIndex(i);
            return true;
        }
    }
    setCurrentIndex(-1);
    return false;
}

// --- Control

KZValueAndUnitView::KZValueAndUnitView(QWidget *parent)
    : QWidget(parent)
{
}

KZValueAndUnitView::~KZValueAndUnitView()
{
    _controlView = nullptr;
}

void KZValueAndUnitView::initWithFrame(const QRect &frame, uint popBezelStyle,
                                       KZValueAndUnitViewDelegateProtocol *controlView)
{
    setGeometry(frame);
    m_popBezelStyle = popBezelStyle;
    _controlView = controlView;
    const int h = frame.height();
    const QFont font = kzSmallControlFont();

    // Heights below are those of the small controls; the offsets centre them.
    _textField = new QLineEdit(this);
    _textField->setFont(font);
    _textField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    _textField->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), _textField));
    _textField->setGeometry(0, h - int(std::floor((h - 19) / 2.0)) - 19, 50, 19);
    connect(_textField, &QLineEdit::textEdited, this, &KZValueAndUnitView::controlTextDidChange);

    _stepper = new KZValueAndUnitView_Stepper(this);
    _stepper->setMinimum(1);
    _stepper->setMaximum(valueStepperInfos().value(QStringLiteral("maxValue"), 100).toInt());
    _stepper->setValue(1);
    _stepper->setGeometry(54, h - int(std::floor((h - 22) / 2.0)) - 22, 16, 22);
    connect(_stepper, &KZValueAndUnitView_Stepper::stepped, this, &KZValueAndUnitView::fileSizeStepperAction);

    _popUpButton = new KZValueAndUnitView_PopUpButton(this);
    _popUpButton->setFont(font);
    _popUpButton->setUnitMenu(unitMenu());
    _popUpButton->setGeometry(74, h - int(std::floor((h - 22) / 2.0)) - 22, unitPopUpWidth(), 22);
    connect(_popUpButton, &QComboBox::activated, this, &KZValueAndUnitView::fileSizePoidsMenuAction);

    setTabOrder(_textField, _stepper);
    setTabOrder(_stepper, _popUpButton);
}

qint32 KZValueAndUnitView::value() const
{
    return _textField ? qint32(std::clamp<qint64>(kzLeadingIntegerOfString(_textField->text()), INT32_MIN, INT32_MAX)) : 0;
}

qint32 KZValueAndUnitView::poids() const
{
    if (!_popUpButton)
        return 0;
    const qint64 tag = _popUpButton->selectedTag();
    return tag < 0 ? m_unlistedPoids : qint32(tag);
}

void KZValueAndUnitView::setValue(qint32 value, qint32 poids)
{
    if (!_textField)
        return;
    _textField->setText(QString::number(value));
    _stepper->setValue(value);
    m_unlistedPoids = _popUpButton->selectItemWithTag(poids) ? 0 : poids;
}

QString KZValueAndUnitView::valueComps() const
{
    return kzValueCompsString(value(), poids());
}

void KZValueAndUnitView::setValueComps(const QString &comps)
{
    const KZValueAndUnit parts = kzValueAndUnitFromComps(comps);
    setValue(parts.value, parts.poids);
}

void KZValueAndUnitView::notify()
{
    if (_controlView)
        _controlView->valueAndUnitViewDidChange(this);
}

void KZValueAndUnitView::controlTextDidChange()
{
    const qint32 typed = value();
    if (typed >= _stepper->minimum())
        _stepper->setValue(typed);
    notify();
}

void KZValueAndUnitView::fileSizeStepperAction()
{
    _textField->setText(QString::number(_stepper->value()));
    notify();
}

void KZValueAndUnitView::fileSizePoidsMenuAction()
{
    m_unlistedPoids = 0;
    notify();
}

QVariantMap KZFileSizeStepperView::valueStepperInfos() const
{
    return {{QStringLiteral("maxValue"), KZFileSizeStepperMaxValue}};
}

KZMenuRef KZFileSizeStepperView::unitMenu() const
{
    return kzFileSizeUnitMenu();
}

QVariantMap KZDateWithinStepperView::valueStepperInfos() const
{
    return {{QStringLiteral("maxValue"), KZDateWithinStepperMaxValue}};
}

KZMenuRef KZDateWithinStepperView::unitMenu() const
{
    return kzDateWithinUnitMenu();
}
