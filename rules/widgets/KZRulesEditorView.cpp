#include "rules/widgets/KZRulesEditorView.h"

#include <QDateEdit>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

#include "support/KZLog.h"

KZRulesEditorView::KZRulesEditorView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("rulesEditorView"));
}

KZRulesEditorView::~KZRulesEditorView()
{
    m_delegate = nullptr;
}

QList<KZRuleEditorRowView *> KZRulesEditorView::rowViews() const
{
    QList<KZRuleEditorRowView *> views;
    for (const QPointer<KZRuleEditorRowView> &view : _rowViews) {
        if (view)
            views.append(view);
    }
    return views;
}

void KZRulesEditorView::setBgColor(const QColor &color)
{
    m_bgColor = color;
    update();
}

int KZRulesEditorView::effectiveRowHeight() const
{
    return m_rowHeight == 0 ? kDefaultRowHeight : int(m_rowHeight);
}

void KZRulesEditorView::setEditorHeight(int height)
{
    // The top edge stays: with y growing downwards only the height changes.
    setFixedHeight(std::max(0, height));
}

KZRuleEditorRowView *KZRulesEditorView::makeRowView(const QRect &frame, qint64 index)
{
    auto *rowView = new KZRuleEditorRowView(frame, index, this, this);
    rowView->show();
    return rowView;
}

void KZRulesEditorView::paintEvent(QPaintEvent *)
{
    if (!m_bgColor.isValid())
        return;
    QPainter p(this);
    p.fillRect(rect(), m_bgColor);
}

void KZRulesEditorView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (KZRuleEditorRowView *rowView : rowViews())
        rowView->resize(width(), rowView->height());
}

void KZRulesEditorView::reloadDataWithCriteria(const KZRuleRows &criteria)
{
    _criteria = criteria;
    for (KZRuleEditorRowView *rowView : rowViews()) {
        rowView->hide();
        rowView->deleteLater();
    }
    _rowViews.clear();
    const int h = effectiveRowHeight();
    int top = int(m_marginTop);
    int total = int(m_marginTop);
    QList<QPointer<KZRuleEditorRowView>> views;
    for (qsizetype i = 0; i < _criteria.size(); ++i) {
        KZRuleEditorRowView *rowView = makeRowView(QRect(0, top, width(), h), i);
        views.append(rowView);
        _rowViews = views; // rows ask whether they may be removed while building
        rowView->updateWithCriterion(_criteria.at(i));
        top += h;
        total += h;
    }
    if (_criteria.isEmpty()) {
        KZRuleEditorRowView *rowView = makeRowView(QRect(0, top, width(), h), 0);
        rowView->setIsFirstEmpty(true);
        rowView->updateWithCriterion(nullptr);
        views.append(rowView);
        total += h;
    }
    _rowViews = views;
    total += int(m_marginBottom);
    const int oldHeight = height();
    setEditorHeight(total);
    rebuildKeyViewChain();
    if (total != oldHeight)
        Q_EMIT reloadDidChangeHeight(total - oldHeight);
}

KZRuleRowRef KZRulesEditorView::criterionOfRowView(const KZRuleEditorRowView *rowView) const
{
    if (!rowView || rowView->isFirstEmpty())
        return nullptr;
    const qint64 index = rowView->rowIndex();
    if (index < 0 || index >= _criteria.size())
        return nullptr;
    return _criteria.at(index);
}

KZRuleRowRef KZRulesEditorView::criterionForRowViewController(const KZRuleItem_ViewControllerProtocol *viewController) const
{
    for (KZRuleEditorRowView *rowView : rowViews()) {
        if (rowView->hasViewController(viewController))
            return criterionOfRowView(rowView);
    }
    return nullptr;
}

void KZRulesEditorView::rebuildKeyViewChain()
{
    QList<QWidget *> chain;
    for (KZRuleEditorRowView *rowView : rowViews())
        chain += rowView->keyViews();
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain.at(i - 1), chain.at(i));
}

QAbstractAnimation *KZRulesEditorView::fade(QWidget *view, double from, double to)
{
    auto *effect = new QGraphicsOpacityEffect(view);
    effect->setOpacity(from);
    view->setGraphicsEffect(effect);
    auto *animation = new QPropertyAnimation(effect, "opacity");
    animation->setDuration(kFadeDuration);
    animation->setStartValue(from);
    animation->setEndValue(to);
    return animation;
}

void KZRulesEditorView::didChangeCriteria()
{
    if (m_delegate)
        m_delegate->rulesEditorViewDidChangeCriteria(this, _criteria);
}

qint64 KZRulesEditorView::ruleEditorRowViewButtonsPosition(KZRuleEditorRowView *)
{
    return m_buttonsPosition;
}

bool KZRulesEditorView::ruleEditorRowViewCanRemove(KZRuleEditorRowView *)
{
    return m_canBeEmpty || _criteria.size() > 1;
}

void KZRulesEditorView::ruleEditorRowViewWantsNewRow(KZRuleEditorRowView *rowView, qint64 infos)
{
    if (!rowView || _isSomeAnimating || _criteria.size() >= kMaxRows || !m_delegate)
        return;
    const qint64 i = rowView->rowIndex();
    if (!m_delegate->rulesEditorViewCanAddRowAtIndex(this, i))
        return;
    const bool isEmptyRow = rowView->isFirstEmpty();
    int offset = 0;
    if (!isEmptyRow) {
        offset = rowView->height();
        setEditorHeight(height() + offset);
    }
    const KZRuleRowRef row = m_delegate->rulesEditorViewAddRow(this, i + 1, offset);
    if (!row) {
        KZLOG_CRITICAL_M(QStringLiteral("criterion==nil"));
        // No row comes: the editor and its owner go back to their height.
        if (offset != 0) {
            setEditorHeight(height() - offset);
            m_delegate->rulesEditorViewRemoveRow(this, i + 1, -offset);
        }
        return;
    }
    KZRuleRows criteria = _criteria;
    if (i + 1 <= criteria.size())
        criteria.insert(i + 1, row);
    else
        criteria.append(row);
    _criteria = criteria;
    didChangeCriteria();

    QList<QPointer<KZRuleEditorRowView>> views;
    KZRuleEditorRowView *newRow = nullptr;
    bool afterRow = false;
    for (KZRuleEditorRowView *view : rowViews()) {
        if (view == rowView) {
            if (!isEmptyRow) {
                views.append(view);
                view->updateUIButtons();
            }
            const QRect frame = isEmptyRow ? view->geometry()
                                           : QRect(view->x(), view->y() + view->height(), width(), view->height());
            newRow = makeRowView(frame, isEmptyRow ? 0 : i + 1);
            newRow->setGraphicsEffect(nullptr);
            auto *effect = new QGraphicsOpacityEffect(newRow);
            effect->setOpacity(0.0);
            newRow->setGraphicsEffect(effect);
            newRow->raise();
            views.append(newRow);
            afterRow = true;
            continue;
        }
        if (afterRow) {
            view->setRowIndex(view->rowIndex() + 1);
            view->move(view->x(), view->y() + view->height());
        }
        views.append(view);
        view->updateUIButtons();
    }
    _rowViews = views;
    if (newRow)
        newRow->updateWithCriterion(row);
    rebuildKeyViewChain();
    _isSomeAnimating = true;

    auto *group = new QParallelAnimationGroup(this);
    if (newRow)
        group->addAnimation(fade(newRow, 0.0, 1.0));
    if (isEmptyRow)
        group->addAnimation(fade(rowView, 1.0, 0.0));
    QPointer<KZRuleEditorRowView> added(newRow);
    QPointer<KZRuleEditorRowView> emptyRow(isEmptyRow ? rowView : nullptr);
    connect(group, &QAbstractAnimation::finished, this, [this, added, emptyRow, infos] {
        _isSomeAnimating = false;
        if (added)
            added->setGraphicsEffect(nullptr);
        if (emptyRow) {
            emptyRow->hide();
            emptyRow->deleteLater();
        }
        if ((infos & 1) && added)
            added->makeFirstKeyViewResponder();
    });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void KZRulesEditorView::ruleEditorRowViewWantsRemove(KZRuleEditorRowView *rowView, qint64 infos)
{
    if (!rowView || _isSomeAnimating || (!m_canBeEmpty && _criteria.size() < 2))
        return;
    const qint64 i = rowView->rowIndex();
    if (rowView->isFirstEmpty() || i < 0 || i >= _criteria.size())
        return;
    int offset = rowView->height();
    KZRuleRows criteria = _criteria;
    criteria.removeAt(i);
    _criteria = criteria;
    didChangeCriteria();

    QList<QPointer<KZRuleEditorRowView>> views = _rowViews;
    if (_criteria.isEmpty() && m_canBeEmpty) {
        KZRuleEditorRowView *emptyRow = makeRowView(rowView->geometry(), i);
        emptyRow->setIsFirstEmpty(true);
        emptyRow->updateWithCriterion(nullptr);
        views.append(emptyRow);
        offset = 0;
    }
    _rowViews = views;
    _isSomeAnimating = true;

    QAbstractAnimation *animation = fade(rowView, 1.0, 0.0);
    QPointer<KZRuleEditorRowView> removed(rowView);
    connect(animation, &QAbstractAnimation::finished, this, [this, removed, i, offset, infos] {
        _isSomeAnimating = false;
        const QList<KZRuleEditorRowView *> current = rowViews();
        KZRuleEditorRowView *focusTarget = nullptr;
        QList<QPointer<KZRuleEditorRowView>> kept;
        for (qsizetype at = 0; at < current.size(); ++at) {
            KZRuleEditorRowView *view = current.at(at);
            if (view == removed) {
                if (current.size() >= 2)
                    focusTarget = at != 0 ? current.at(at - 1) : current.at(1);
                continue;
            }
            kept.append(view);
            view->updateUIButtons();
            if (view->rowIndex() > i) {
                view->setRowIndex(view->rowIndex() - 1);
                view->move(view->x(), view->y() - view->height());
            }
        }
        if (removed) {
            removed->hide();
            removed->deleteLater();
        }
        _rowViews = kept;
        rebuildKeyViewChain();
        if ((infos & 1) && focusTarget)
            focusTarget->makeFirstKeyViewResponder();
        setEditorHeight(height() - offset);
        if (m_delegate)
            m_delegate->rulesEditorViewRemoveRow(this, i, -offset);
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void KZRulesEditorView::reportEdit(const KZRuleEditorRowView *rowView,
                                   const std::function<void(const KZRuleRowRef &)> &tell)
{
    const KZRuleRowRef row = criterionOfRowView(rowView);
    if (!row || !m_delegate)
        return;
    tell(row);
    didChangeCriteria();
}

void KZRulesEditorView::ruleEditorRowViewPopUpButtonDidChange(KZRuleEditorRowView *rowView,
                                                              KZRuleEditorRow_PopUpButton *popUp)
{
    const KZRuleRowRef row = criterionOfRowView(rowView);
    const KZMenuEntry *entry = popUp ? popUp->selectedEntry() : nullptr;
    if (!row || !entry || !popUp->menu() || !m_delegate)
        return;
    const KZMenuRef menu = popUp->menu();
    const KZMenuEntry selected = *entry;
    const bool hadFocus = popUp->hasFocus();
    const qsizetype position = rowView->criterionViews().indexOf(popUp);
    const KZRuleRowRef replacement = m_delegate->rulesEditorViewDidChangeMenu(this, *menu, selected, row);
    if (replacement && replacement != row) {
        KZRuleRows criteria = _criteria;
        for (KZRuleRowRef &r : criteria) {
            if (r == row) {
                r = replacement;
                break;
            }
        }
        _criteria = criteria;
        rowView->updateWithCriterion(replacement);
        rebuildKeyViewChain();
        const QList<QWidget *> controls = rowView->criterionViews();
        if (hadFocus && position >= 0 && position < controls.size())
            controls.at(position)->setFocus(Qt::OtherFocusReason);
    }
    didChangeCriteria();
}

void KZRulesEditorView::ruleEditorRowViewTextFieldDidChange(KZRuleEditorRowView *rowView, QLineEdit *textField)
{
    reportEdit(rowView, [&](const KZRuleRowRef &row) {
        m_delegate->rulesEditorViewDidChangeTextField(this, textField->text(), row);
    });
}

void KZRulesEditorView::ruleEditorRowViewDatePickerDidChange(KZRuleEditorRowView *rowView, QDateEdit *datePicker)
{
    reportEdit(rowView, [&](const KZRuleRowRef &row) {
        m_delegate->rulesEditorViewDidChangeDate(this, datePicker->date().startOfDay(), row);
    });
}

void KZRulesEditorView::ruleEditorRowViewDateWithinStepperDidChange(KZRuleEditorRowView *rowView,
                                                                    KZDateWithinStepperView *stepper)
{
    reportEdit(rowView, [&](const KZRuleRowRef &row) {
        m_delegate->rulesEditorViewDidChangeDateWithinValue(this, stepper->valueComps(), row);
    });
}

void KZRulesEditorView::ruleEditorRowViewFileSizeStepperDidChange(KZRuleEditorRowView *rowView,
                                                                  KZFileSizeStepperView *stepper)
{
    reportEdit(rowView, [&](const KZRuleRowRef &row) {
        m_delegate->rulesEditorViewDidChangeFileSizeValue(this, stepper->valueComps(), row);
    });
}

namespace {

QStringList choicesOf(const QComboBox *comboBox)
{
    QStringList strings;
    for (int i = 0; i < comboBox->count(); ++i)
        strings.append(comboBox->itemText(i));
    return strings;
}

} // namespace

void KZRulesEditorView::ruleEditorRowViewComboBoxDidChange(KZRuleEditorRowView *rowView, QComboBox *comboBox)
{
    reportEdit(rowView, [&](const KZRuleRowRef &row) {
        m_delegate->rulesEditorViewDidChangeCombox(this, comboBox->currentText(), choicesOf(comboBox), row);
    });
}

void KZRulesEditorView::ruleEditorRowViewComboBoxDidValidated(KZRuleEditorRowView *rowView, QComboBox *comboBox)
{
    const KZRuleRowRef row = criterionOfRowView(rowView);
    if (!row || !m_delegate)
        return;
    const QString text = comboBox->currentText();
    const KZStringListRef strings = m_delegate->rulesEditorViewDidValidatedCombox(this, text, choicesOf(comboBox), row);
    if (strings) {
        const QStringList copy = *strings;
        const QSignalBlocker blocker(comboBox);
        comboBox->clear();
        comboBox->addItems(copy);
        comboBox->setEditText(text);
    }
    didChangeCriteria();
}
