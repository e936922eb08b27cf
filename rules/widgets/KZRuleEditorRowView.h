// One row of the rules editor: the "+" and "-" buttons and the controls built
// from the row's rule items, left to right. Every edit is passed to the editor
// view that owns the row. GUI thread only.
#pragma once

#include <QComboBox>
#include <QList>
#include <QPointer>
#include <QWidget>

#include "rules/KZRuleItem.h"
#include "rules/widgets/KZValueAndUnitView.h"
#include "toolkit/KZOverView.h"

class QDateEdit;
class QLineEdit;
class KZDateWithinStepperView;
class KZFileSizeStepperView;
class KZRuleEditorRowView;

// A pop-up of a row: the entries of a KZMenu, each keeping its tag and
// represented object. Always reachable with Tab.
class KZRuleEditorRow_PopUpButton : public QComboBox
{
    Q_OBJECT
public:
    explicit KZRuleEditorRow_PopUpButton(QWidget *parent = nullptr);

    KZMenuRef menu() const { return m_menu; }
    void setMenu(const KZMenuRef &menu);
    // The entry with the tag when tag is not 0, else the first one holding
    // object; the first entry when nothing matches.
    void selectEntry(qint64 tag, const QVariant &object);
    // The menu entry shown, or none.
    const KZMenuEntry *selectedEntry() const;
    // The combo row of a menu entry, -1 when it has none.
    int indexOfMenuEntry(qsizetype entryIndex) const;

private:
    KZMenuRef m_menu;
};

// What a row asks of the editor view that owns it.
class KZRuleEditorRowViewDelegateProtocol
{
public:
    virtual ~KZRuleEditorRowViewDelegateProtocol() = default;
    virtual qint64 ruleEditorRowViewButtonsPosition(KZRuleEditorRowView *rowView) = 0;
    virtual bool ruleEditorRowViewCanRemove(KZRuleEditorRowView *rowView) = 0;
    virtual void ruleEditorRowViewWantsNewRow(KZRuleEditorRowView *rowView, qint64 infos) = 0;
    virtual void ruleEditorRowViewWantsRemove(KZRuleEditorRowView *rowView, qint64 infos) = 0;
    virtual void ruleEditorRowViewPopUpButtonDidChange(KZRuleEditorRowView *rowView,
                                                       KZRuleEditorRow_PopUpButton *popUp) = 0;
    virtual void ruleEditorRowViewTextFieldDidChange(KZRuleEditorRowView *rowView, QLineEdit *textField) = 0;
    virtual void ruleEditorRowViewDatePickerDidChange(KZRuleEditorRowView *rowView, QDateEdit *datePicker) = 0;
    virtual void ruleEditorRowViewDateWithinStepperDidChange(KZRuleEditorRowView *rowView,
                                                             KZDateWithinStepperView *stepper) = 0;
    virtual void ruleEditorRowViewFileSizeStepperDidChange(KZRuleEditorRowView *rowView,
                                                           KZFileSizeStepperView *stepper) = 0;
    virtual void ruleEditorRowViewComboBoxDidChange(KZRuleEditorRowView *rowView, QComboBox *comboBox) = 0;
    virtual void ruleEditorRowViewComboBoxDidValidated(KZRuleEditorRowView *rowView, QComboBox *comboBox) = 0;
};

class KZRuleEditorRowView : public QWidget, public KZOverViewDelegateProtocol, public KZValueAndUnitViewDelegateProtocol
{
    Q_OBJECT
public:
    // The geometry of the controls is that of a 27-point row.
    static constexpr int kButtonSize = 16;
    static constexpr qint64 kButtonsAtLeft = 108;
    // Rows from this index on get no "+".
    static constexpr qint64 kMaxIndexWithAddButton = 14;

    KZRuleEditorRowView(const QRect &frame, qint64 rowIndex, KZRuleEditorRowViewDelegateProtocol *rulesEditor,
                        QWidget *parent);
    ~KZRuleEditorRowView() override;

    // Rebuilds the controls from the row's items; none builds only the buttons.
    void updateWithCriterion(const KZRuleRowRef &criterion);
    // Creates or removes the "+" and "-" buttons.
    void updateUIButtons();
    static QSize buttonsSize() { return QSize(kButtonSize, kButtonSize); }
    bool hasViewController(const KZRuleItem_ViewControllerProtocol *viewController) const;
    // The controls that Tab reaches, left to right.
    QList<QWidget *> keyViews() const;
    // Gives keyboard focus to the first control; false when the row has none.
    bool makeFirstKeyViewResponder();

    QList<QWidget *> criterionViews() const;
    KZOverView *addButtonView() const { return _addButtonView; }
    KZOverView *removeButtonView() const { return _removeButtonView; }
    bool isRowEnabled() const { return _isEnabled; }
    bool isFirstEmpty() const { return m_isFirstEmpty; }
    void setIsFirstEmpty(bool empty) { m_isFirstEmpty = empty; }
    qint64 rowIndex() const { return m_rowIndex; }
    void setRowIndex(qint64 index) { m_rowIndex = index; }

    static QFont defaultControlFont();

    // KZOverViewDelegateProtocol
    void overViewDrawRect(KZOverView *view, QPainter *painter, const QRect &rect, int state) override;
    void overViewDidPressed(KZOverView *view, const QVariantMap &info) override;
    // KZValueAndUnitViewDelegateProtocol
    void valueAndUnitViewDidChange(KZValueAndUnitView *view) override;

    // Control actions.
    void criterionPopMenuAction(KZRuleEditorRow_PopUpButton *sender);
    void criterionDatePickerAction(QDateEdit *sender);
    void criterionComboBoxAction(QComboBox *sender);
    void controlTextDidChange(QWidget *sender);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Control {
        QPointer<QWidget> widget;
        qint64 kind = 0;
        // Kept with its controller rather than deleted with the row.
        bool isBorrowed = false;
        // A control without a width of its own takes the rest of the row and
        // follows the row's width.
        bool stretches = false;
        int minimumWidth = 0;
        const KZRuleItem_ViewControllerProtocol *viewController = nullptr;
    };
    KZOverView *makeButton(int x, bool anchoredRight);
    void removeControls();
    QWidget *buildControl(const KZRuleItemRef &item, const QRect &rect, Control *control);

    KZRuleEditorRowViewDelegateProtocol *_rulesEditor = nullptr;
    QList<Control> _criterionViews;
    QPointer<KZOverView> _removeButtonView;
    QPointer<KZOverView> _addButtonView;
    bool _isEnabled = true;
    bool m_isFirstEmpty = false;
    qint64 m_rowIndex = 0;
    // Return in an editable combo box may come as both a return and a chosen
    // entry: the same text is validated once per event.
    bool m_validating = false;
    QString m_lastValidatedText;
};
