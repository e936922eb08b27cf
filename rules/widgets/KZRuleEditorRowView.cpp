#include "rules/widgets/KZRuleEditorRowView.h"

#include <QApplication>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cmath>

#include "rules/widgets/RulesDirPathView.h"

namespace {

// Qt's y grows downwards: a control placed y points above the bottom of a
// rectangle of height h starts at h - y - its height.
int topOf(int rectHeight, int bottomOffset, int controlHeight)
{
    return rectHeight - bottomOffset - controlHeight;
}

int centredBottom(int rectHeight, int controlHeight)
{
    return int(std::floor((rectHeight - controlHeight) / 2.0));
}

QIcon badgeIcon(uint32_t rgb)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor color(QRgb(0xff000000u | rgb));
    p.setPen(color.darker(130));
    p.setBrush(color);
    p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    return QIcon(pixmap);
}

const QDate &earliestDate()
{
    static const QDate date(1970, 1, 1);
    return date;
}

const QDate &latestDate()
{
    static const QDate date(2050, 1, 1);
    return date;
}

constexpr int kPopUpHeight = 19;
constexpr int kLabelHeight = 14;
constexpr int kTextFieldHeight = 19;
constexpr int kDatePickerWidth = 88;
constexpr int kDatePickerHeight = 22;
constexpr int kComboHeight = 22;
constexpr int kRightLimit = 40;
constexpr int kMinimumRestWidth = 60;

} // namespace

// --- Pop-up

KZRuleEditorRow_PopUpButton::KZRuleEditorRow_PopUpButton(QWidget *parent)
    : QComboBox(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

void KZRuleEditorRow_PopUpButton::setMenu(const KZMenuRef &menu)
{
    m_menu = menu;
    clear();
    if (!menu)
        return;
    for (qsizetype i = 0; i < menu->count(); ++i) {
        const KZMenuEntry &entry = menu->entryAt(i);
        if (entry.isSeparator) {
            insertSeparator(count());
            continue;
        }
        if (entry.badgeRGB)
            addItem(badgeIcon(*entry.badgeRGB), entry.title, QVariant(qlonglong(i)));
        else
            addItem(entry.title, QVariant(qlonglong(i)));
        setItemData(count() - 1, entry.title, Qt::ToolTipRole);
    }
}

int KZRuleEditorRow_PopUpButton::indexOfMenuEntry(qsizetype entryIndex) const
{
    for (int row = 0; row < count(); ++row) {
        const QVariant data = itemData(row);
        if (data.isValid() && data.toLongLong() == entryIndex)
            return row;
    }
    return -1;
}

void KZRuleEditorRow_PopUpButton::selectEntry(qint64 tag, const QVariant &object)
{
    if (!m_menu)
        return;
    const qsizetype entry = m_menu->indexOfSelection(tag, object);
    setCurrentIndex(entry < 0 ? -1 : indexOfMenuEntry(entry));
}

const KZMenuEntry *KZRuleEditorRow_PopUpButton::selectedEntry() const
{
    const QVariant data = currentData();
    if (!m_menu || !data.isValid())
        return nullptr;
    const qsizetype i = data.toLongLong();
    if (i < 0 || i >= m_menu->count())
        return nullptr;
    return &m_menu->entryAt(i);
}

// --- Row

KZRuleEditorRowView::KZRuleEditorRowView(const QRect &frame, qint64 rowIndex,
                                         KZRuleEditorRowViewDelegateProtocol *rulesEditor, QWidget *parent)
    : QWidget(parent),
      _rulesEditor(rulesEditor),
      m_rowIndex(rowIndex)
{
    setGeometry(frame);
}

KZRuleEditorRowView::~KZRuleEditorRowView()
{
    // Embedded views belong to their controllers (and may have moved on to a
    // newer row of the same item already).
    for (const Control &control : std::as_const(_criterionViews)) {
        if (control.isBorrowed && control.widget && control.widget->parentWidget() == this) {
            control.widget->hide();
            control.widget->setParent(nullptr);
        }
    }
}

QFont KZRuleEditorRowView::defaultControlFont()
{
    return kzSmallControlFont();
}

QList<QWidget *> KZRuleEditorRowView::criterionViews() const
{
    QList<QWidget *> views;
    for (const Control &control : _criterionViews) {
        if (control.widget)
            views.append(control.widget);
    }
    return views;
}

bool KZRuleEditorRowView::hasViewController(const KZRuleItem_ViewControllerProtocol *viewController) const
{
    if (!viewController)
        return false;
    for (const Control &control : _criterionViews) {
        if (control.viewController == viewController && control.widget)
            return true;
    }
    return false;
}

QList<QWidget *> KZRuleEditorRowView::keyViews() const
{
    QList<QWidget *> views;
    for (const Control &control : _criterionViews) {
        QWidget *w = control.widget;
        if (!w)
            continue;
        if (w->focusPolicy() & Qt::TabFocus) {
            views.append(w);
            continue;
        }
        // A compound control: its own focusable parts, in creation order.
        for (QWidget *child : w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if ((child->focusPolicy() & Qt::TabFocus) && !child->isHidden() && !child->isWindow())
                views.append(child);
        }
    }
    return views;
}

bool KZRuleEditorRowView::makeFirstKeyViewResponder()
{
    for (QWidget *w : keyViews()) {
        if (w->isVisibleTo(this)) {
            w->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}

void KZRuleEditorRowView::removeControls()
{
    for (const Control &control : std::as_const(_criterionViews)) {
        QWidget *w = control.widget;
        if (!w)
            continue;
        w->hide();
        if (control.isBorrowed) {
            w->setParent(nullptr);
        } else {
            // A control may be removed from inside its own signal.
            w->setParent(nullptr);
            w->deleteLater();
        }
    }
    _criterionViews.clear();
}

QWidget *KZRuleEditorRowView::buildControl(const KZRuleItemRef &item, const QRect &rect, Control *control)
{
    const int h = rect.height();
    const QFont font = defaultControlFont();
    switch (item->kind()) {
    case KZRuleItemKindPopUp: {
        auto *popUp = new KZRuleEditorRow_PopUpButton(this);
        popUp->setFont(font);
        popUp->setMenu(item->menu());
        popUp->selectEntry(item->menuSelectedTag(), item->menuSelectedObject());
        popUp->setGeometry(rect.x(), rect.y() + topOf(h, centredBottom(h, kPopUpHeight), kPopUpHeight), rect.width(),
                           kPopUpHeight);
        connect(popUp, &QComboBox::activated, this, [this, popUp] { criterionPopMenuAction(popUp); });
        return popUp;
    }
    case KZRuleItemKindLabel: {
        auto *label = new QLabel(item->stringValue(), this);
        label->setFont(font);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setGeometry(rect.x(), rect.y() + topOf(h, centredBottom(h, kLabelHeight), kLabelHeight), rect.width(),
                           kLabelHeight);
        return label;
    }
    case KZRuleItemKindTextField: {
        auto *field = new QLineEdit(item->stringValue(), this);
        field->setFont(font);
        field->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        field->setGeometry(rect.x(), rect.y() + topOf(h, centredBottom(h, kTextFieldHeight), kTextFieldHeight),
                           rect.width(), kTextFieldHeight);
        connect(field, &QLineEdit::textEdited, this, [this, field] { controlTextDidChange(field); });
        return field;
    }
    case KZRuleItemKindDatePicker: {
        auto *picker = new QDateEdit(this);
        picker->setFont(font);
        picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        picker->setDateRange(earliestDate(), latestDate());
        const QDateTime value = item->dateValue().isValid() ? item->dateValue() : QDate::currentDate().startOfDay();
        picker->setDate(value.toLocalTime().date());
        picker->setGeometry(rect.x(),
                            rect.y() + topOf(h, centredBottom(h, kDatePickerHeight) + 1, kDatePickerHeight),
                            kDatePickerWidth, kDatePickerHeight);
        connect(picker, &QDateEdit::dateChanged, this, [this, picker] { criterionDatePickerAction(picker); });
        return picker;
    }
    case KZRuleItemKindFileSize:
    case KZRuleItemKindDateWithin: {
        KZValueAndUnitView *view;
        if (item->kind() == KZRuleItemKindFileSize)
            view = new KZFileSizeStepperView(this);
        else
            view = new KZDateWithinStepperView(this);
        view->initWithFrame(rect, 11, this);
        view->setValueComps(item->kind() == KZRuleItemKindFileSize ? item->fileSizeValue() : item->dateWithin());
        return view;
    }
    case KZRuleItemKindCombox: {
        auto *combo = new QComboBox(this);
        combo->setFont(font);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        if (item->comboStrings())
            combo->addItems(*item->comboStrings());
        combo->setEditText(item->stringValue());
        combo->setGeometry(rect.x(), rect.y() + topOf(h, centredBottom(h, kComboHeight), kComboHeight), rect.width(),
                           kComboHeight);
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, combo] { controlTextDidChange(combo); });
        connect(combo->lineEdit(), &QLineEdit::returnPressed, this, [this, combo] { criterionComboBoxAction(combo); });
        connect(combo, &QComboBox::activated, this, [this, combo] { criterionComboBoxAction(combo); });
        return combo;
    }
    case KZRuleItemKindViewController: {
        const auto controller = item->viewController();
        auto *provider = dynamic_cast<KZRuleItem_ViewProvider *>(controller.get());
        if (!provider)
            return nullptr;
        controller->rulesEditorViewWillDisplayView();
        QWidget *view = provider->ruleItemView();
        if (!view)
            return nullptr;
        view->setParent(this);
        view->setGeometry(rect);
        view->show();
        control->isBorrowed = true;
        control->viewController = controller.get();
        return view;
    }
    default:
        return nullptr;
    }
}

void KZRuleEditorRowView::updateWithCriterion(const KZRuleRowRef &criterion)
{
    removeControls();
    updateUIButtons();
    if (!criterion)
        return;
    const bool atLeft = _rulesEditor && _rulesEditor->ruleEditorRowViewButtonsPosition(this) == kButtonsAtLeft;
    int x = atLeft ? 2 * kButtonSize + 16 : 8;
    const int limit = width() - kRightLimit;
    const int h = height();
    const QList<KZRuleItemRef> &items = criterion->items;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const KZRuleItemRef &item = items.at(i);
        if (!item || item->isInvisible())
            continue;
        const int w = item->wSize() != 0 ? int(item->wSize()) : std::max(kMinimumRestWidth, limit - x);
        Control control;
        control.kind = item->kind();
        control.widget = buildControl(item, QRect(x, 0, w, h), &control);
        if (control.widget) {
            // The rows are built before the window has its final width: every
            // control that takes the rest of the row follows the row's width.
            control.stretches = item->wSize() == 0 && item->kind() != KZRuleItemKindDatePicker;
            control.minimumWidth = item->kind() == KZRuleItemKindFileSize || item->kind() == KZRuleItemKindDateWithin
                ? 74 + 90
                : kMinimumRestWidth;
            control.widget->show();
            _criterionViews.append(control);
        }
        x += w + 8;
    }
}

KZOverView *KZRuleEditorRowView::makeButton(int x, bool anchoredRight)
{
    auto *button = new KZOverView(this);
    button->setDelegator(this);
    button->setFocusPolicy(Qt::NoFocus);
    const int y = topOf(height(), centredBottom(height(), kButtonSize) + 1, kButtonSize);
    button->setGeometry(x, y, kButtonSize, kButtonSize);
    button->setProperty("anchoredRight", anchoredRight);
    button->setProperty("rightGap", width() - x);
    button->show();
    return button;
}

void KZRuleEditorRowView::updateUIButtons()
{
    const int w = width();
    const bool atLeft = _rulesEditor && _rulesEditor->ruleEditorRowViewButtonsPosition(this) == kButtonsAtLeft;
    const bool canRemove = !m_isFirstEmpty && _rulesEditor && _rulesEditor->ruleEditorRowViewCanRemove(this);

    if (m_rowIndex > kMaxIndexWithAddButton) {
        if (_addButtonView) {
            _addButtonView->setDelegator(nullptr);
            _addButtonView->deleteLater();
            _addButtonView = nullptr;
        }
    } else if (!_addButtonView) {
        const bool left = atLeft || m_isFirstEmpty;
        _addButtonView = makeButton(left ? 8 : w - 8 - kButtonSize, !left);
        _addButtonView->setObjectName(QStringLiteral("addButton"));
    }

    if (!canRemove) {
        if (_removeButtonView) {
            _removeButtonView->setDelegator(nullptr);
            _removeButtonView->deleteLater();
            _removeButtonView = nullptr;
        }
    } else if (!_removeButtonView) {
        int x;
        if (atLeft)
            x = _addButtonView ? _addButtonView->x() + _addButtonView->width() : 0;
        else
            x = _addButtonView ? _addButtonView->x() - _addButtonView->width() : w - 8 - kButtonSize;
        _removeButtonView = makeButton(x, !atLeft);
        _removeButtonView->setObjectName(QStringLiteral("removeButton"));
    }
}

void KZRuleEditorRowView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    for (KZOverView *button : {_addButtonView.data(), _removeButtonView.data()}) {
        if (button && button->property("anchoredRight").toBool())
            button->move(w - button->property("rightGap").toInt(), button->y());
    }
    for (const Control &control : std::as_const(_criterionViews)) {
        if (control.stretches && control.widget) {
            const QRect g = control.widget->geometry();
            control.widget->resize(std::max(control.minimumWidth, w - kRightLimit - g.x()), g.height());
        }
    }
}

void KZRuleEditorRowView::overViewDrawRect(KZOverView *view, QPainter *painter, const QRect &rect, int state)
{
    static const QFont glyphFont = [] {
        QFont f = QApplication::font();
        f.setBold(true);
        f.setPixelSize(14);
        return f;
    }();
    double white = 0.5;
    if (state == KZOverView::StateInside)
        white = 0.33;
    else if (state == KZOverView::StatePressed)
        white = 0.1;
    const QString glyph = view == _addButtonView ? QStringLiteral("+") : QStringLiteral("-");
    painter->setFont(glyphFont);
    painter->setPen(QColor::fromRgbF(white, white, white, 1.0));
    const QFontMetricsF metrics(glyphFont);
    const int gw = int(std::ceil(metrics.horizontalAdvance(glyph)));
    const int gh = int(std::ceil(metrics.height()));
    const int x = int(std::ceil((rect.width() - gw) / 2.0));
    const int bottom = int(std::ceil((rect.height() - gh) / 2.0)) + 2;
    painter->drawText(QRect(x, rect.height() - bottom - gh, gw, gh), Qt::AlignLeft | Qt::AlignTop, glyph);
}

void KZRuleEditorRowView::overViewDidPressed(KZOverView *view, const QVariantMap &info)
{
    if (info.value(QStringLiteral("isRightClick")).toBool() || !_rulesEditor)
        return;
    if (view == _removeButtonView)
        _rulesEditor->ruleEditorRowViewWantsRemove(this, 0);
    else if (view == _addButtonView)
        _rulesEditor->ruleEditorRowViewWantsNewRow(this, 0);
}

void KZRuleEditorRowView::valueAndUnitViewDidChange(KZValueAndUnitView *view)
{
    if (!_rulesEditor)
        return;
    if (auto *within = qobject_cast<KZDateWithinStepperView *>(view))
        _rulesEditor->ruleEditorRowViewDateWithinStepperDidChange(this, within);
    else if (auto *size = qobject_cast<KZFileSizeStepperView *>(view))
        _rulesEditor->ruleEditorRowViewFileSizeStepperDidChange(this, size);
}

void KZRuleEditorRowView::criterionPopMenuAction(KZRuleEditorRow_PopUpButton *sender)
{
    if (_rulesEditor)
        _rulesEditor->ruleEditorRowViewPopUpButtonDidChange(this, sender);
}

void KZRuleEditorRowView::criterionDatePickerAction(QDateEdit *sender)
{
    if (_rulesEditor)
        _rulesEditor->ruleEditorRowViewDatePickerDidChange(this, sender);
}

void KZRuleEditorRowView::criterionComboBoxAction(QComboBox *sender)
{
    if (!_rulesEditor || (m_validating && sender->currentText() == m_lastValidatedText))
        return;
    m_validating = true;
    m_lastValidatedText = sender->currentText();
    QTimer::singleShot(0, this, [this] { m_validating = false; });
    _rulesEditor->ruleEditorRowViewComboBoxDidValidated(this, sender);
}

void KZRuleEditorRowView::controlTextDidChange(QWidget *sender)
{
    if (!_rulesEditor)
        return;
    // Combo boxes first: they hold a text field too.
    if (auto *combo = qobject_cast<QComboBox *>(sender))
        _rulesEditor->ruleEditorRowViewComboBoxDidChange(this, combo);
    else if (auto *field = qobject_cast<QLineEdit *>(sender))
        _rulesEditor->ruleEditorRowViewTextFieldDidChange(this, field);
}
