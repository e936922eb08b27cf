// KZRulesEditorView: the strip of rule rows under the search field. It shows
// one row view per row, or a single empty row holding only a "+" while there
// are no rows, grows and shrinks by one row height with a short fade when rows
// are added and removed, and asks its delegate (the rules editor controller)
// for every decision about rows. GUI thread only.
#pragma once

#include <QColor>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "rules/KZRulesEditorViewProtocols.h"
#include "rules/widgets/KZRuleEditorRowView.h"

class QAbstractAnimation;

class KZRulesEditorView : public QWidget, public KZRulesEditorViewInterface, public KZRuleEditorRowViewDelegateProtocol
{
    Q_OBJECT
public:
    static constexpr int kDefaultRowHeight = 27;
    static constexpr int kFadeDuration = 250;
    // No row is added once this many exist, whatever the delegate allows.
    static constexpr qsizetype kMaxRows = 15;

    explicit KZRulesEditorView(QWidget *parent = nullptr);
    ~KZRulesEditorView() override;

    // KZRulesEditorViewInterface
    KZRuleRows criteria() const override { return _criteria; }
    void setDelegate(KZRulesEditorViewDelegateSourceProtocol *delegate) override { m_delegate = delegate; }
    void reloadDataWithCriteria(const KZRuleRows &criteria) override;
    KZRuleRowRef criterionForRowViewController(const KZRuleItem_ViewControllerProtocol *viewController) const override;

    KZRulesEditorViewDelegateSourceProtocol *delegate() const { return m_delegate; }
    QList<KZRuleEditorRowView *> rowViews() const;
    bool isSomeAnimating() const { return _isSomeAnimating; }

    // None draws no background.
    QColor bgColor() const { return m_bgColor; }
    void setBgColor(const QColor &color);
    double marginTop() const { return m_marginTop; }
    void setMarginTop(double margin) { m_marginTop = margin; }
    double marginBottom() const { return m_marginBottom; }
    void setMarginBottom(double margin) { m_marginBottom = margin; }
    // 0 means 27.
    double rowHeight() const { return m_rowHeight; }
    void setRowHeight(double height) { m_rowHeight = height; }
    bool canBeEmpty() const { return m_canBeEmpty; }
    void setCanBeEmpty(bool canBeEmpty) { m_canBeEmpty = canBeEmpty; }
    // 108 ('l'): buttons at the left end of the rows; anything else at the right.
    qint64 buttonsPosition() const { return m_buttonsPosition; }
    void setButtonsPosition(qint64 position) { m_buttonsPosition = position; }

    // The row of a row view (by its index), or none.
    KZRuleRowRef criterionOfRowView(const KZRuleEditorRowView *rowView) const;

    // KZRuleEditorRowViewDelegateProtocol
    qint64 ruleEditorRowViewButtonsPosition(KZRuleEditorRowView *rowView) override;
    bool ruleEditorRowViewCanRemove(KZRuleEditorRowView *rowView) override;
    void ruleEditorRowViewWantsNewRow(KZRuleEditorRowView *rowView, qint64 infos) override;
    void ruleEditorRowViewWantsRemove(KZRuleEditorRowView *rowView, qint64 infos) override;
    void ruleEditorRowViewPopUpButtonDidChange(KZRuleEditorRowView *rowView, KZRuleEditorRow_PopUpButton *popUp) override;
    void ruleEditorRowViewTextFieldDidChange(KZRuleEditorRowView *rowView, QLineEdit *textField) override;
    void ruleEditorRowViewDatePickerDidChange(KZRuleEditorRowView *rowView, QDateEdit *datePicker) override;
    void ruleEditorRowViewDateWithinStepperDidChange(KZRuleEditorRowView *rowView,
                                                     KZDateWithinStepperView *stepper) override;
    void ruleEditorRowViewFileSizeStepperDidChange(KZRuleEditorRowView *rowView, KZFileSizeStepperView *stepper) override;
    void ruleEditorRowViewComboBoxDidChange(KZRuleEditorRowView *rowView, QComboBox *comboBox) override;
    void ruleEditorRowViewComboBoxDidValidated(KZRuleEditorRowView *rowView, QComboBox *comboBox) override;

Q_SIGNALS:
    // A reload changed the editor's height by offset points (adding and
    // removing rows report their offset through the delegate instead).
    void reloadDidChangeHeight(int offset);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int effectiveRowHeight() const;
    void setEditorHeight(int height);
    KZRuleEditorRowView *makeRowView(const QRect &frame, qint64 index);
    void rebuildKeyViewChain();
    QAbstractAnimation *fade(QWidget *view, double from, double to);
    void didChangeCriteria();
    // An edit of a control of rowView: tell(row) passes it to the delegate,
    // then the criteria are reported changed. Nothing without a row or delegate.
    void reportEdit(const KZRuleEditorRowView *rowView, const std::function<void(const KZRuleRowRef &)> &tell);

    KZRuleRows _criteria;
    QList<QPointer<KZRuleEditorRowView>> _rowViews;
    bool _isSomeAnimating = false;
    KZRulesEditorViewDelegateSourceProtocol *m_delegate = nullptr;
    QColor m_bgColor;
    double m_marginTop = 0;
    double m_marginBottom = 0;
    double m_rowHeight = 0;
    bool m_canBeEmpty = false;
    qint64 m_buttonsPosition = 0;
};
