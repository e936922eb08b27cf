// The logic behind the rules editor: builds rows (the default row of a new
// rule, a fresh row when a row's kind changes), applies the user's edits to
// the rows' items, turns rows into canonical criteria and back, and reloads
// the editor from stored rows. Main thread only; it keeps no locks.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantList>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "platform/KZWorkspaceFileLabels.h"
#include "rules/KZRulesEditorViewProtocols.h"
#include "rules/RulesDirPathViewController.h"

class RulesEditorViewController : public KZRulesEditorViewDelegateSourceProtocol,
                                  public RulesDirPathViewControllerDelegatorProtocol
{
public:
    using DirPathControllerFactory = std::function<std::shared_ptr<RulesDirPathViewController>()>;

    RulesEditorViewController();
    ~RulesEditorViewController() override;

    // Not owned; both must outlive the controller or be reset to none.
    KZRulesEditorViewInterface *rulesEditorView() const { return m_rulesEditorView; }
    void setRulesEditorView(KZRulesEditorViewInterface *view) { m_rulesEditorView = view; }
    RulesEditorViewControllerDelegate *delegateController() const { return m_delegateController; }
    void setDelegateController(RulesEditorViewControllerDelegate *delegate) { m_delegateController = delegate; }
    // The remembered filter folders: the scope manager's unless another is set;
    // none offers no folders. Not owned.
    KZFilterDirPathsProvider *filterDirPathsProvider() const { return m_filterDirPathsProvider; }
    void setFilterDirPathsProvider(KZFilterDirPathsProvider *provider) { m_filterDirPathsProvider = provider; }
    // The file labels offered by tags rows (index 0 stands for no label).
    QList<kzplatform::KZFileLabel> fileLabels() const { return m_fileLabels; }
    void setFileLabels(const QList<kzplatform::KZFileLabel> &labels) { m_fileLabels = labels; }
    // Makes the folders control of new and restored folders rows; the widget
    // layer installs one that builds the real control.
    void setDirPathControllerFactory(DirPathControllerFactory factory);

    QString scopeDir() const { return m_scopeDir; }
    // The remembered file names (index 0) and attribute names (index 1): the
    // very lists that combo items offer.
    KZStringListRef savedComboxValues(int index) const;

    // Menus (new on every call).
    static KZMenuRef majorCriteriaMenu();
    KZMenuRef operatorMenuOfCriterionKind(qint64 kind) const;
    static KZMenuRef valueMenuOfCriterionKind(qint64 kind);

    // Reloads the editor with rows (archived rows get their menus, remembered
    // choices and folders controls back).
    void reloadDataWithScopeDir(const QString &scopeDir, const KZRuleRows &criteria);
    // The criteria of the view's current rows.
    QVariantList canonizedCriteria() const;
    // Rows to canonical criteria: {"kind", "operator", "value"} for each
    // complete row, in order; incomplete rows are left out. With hitTest the
    // conversion stops at the first criterion.
    static QVariantList canonizedCriteriaFromCriteria(const KZRuleRows &criteria, bool hitTest);
    // Canonical criteria to rows, with menus attached, such that
    // canonizedCriteriaFromCriteria gives the criteria back. Name and tag texts
    // are trimmed and a tag criterion's operator becomes 0, as the editor
    // writes them; a criterion that no row can express (kind 11, an operator
    // outside its kind's list, a missing or mistyped value, a negative size)
    // gives none and a message naming it in *error.
    std::optional<KZRuleRows> rowsFromCanonizedCriteria(const QVariantList &criteria, QString *error);

    // The start of today, local time.
    static QDateTime todayAtMidnight();
    // "%d|%d" for a byte count: the largest of KB, MB, GB and TB that divides
    // it exactly, else the count in bytes with unit code 5.
    static QString fileSizeCompsOfByteCount(qint64 bytes);

    // KZRulesEditorViewDelegateSourceProtocol
    bool rulesEditorViewCanAddRowAtIndex(KZRulesEditorViewInterface *view, qint64 index) override;
    KZRuleRowRef rulesEditorViewAddRow(KZRulesEditorViewInterface *view, qint64 index, double rowOffset) override;
    void rulesEditorViewRemoveRow(KZRulesEditorViewInterface *view, qint64 index, double rowOffset) override;
    KZRuleRowRef rulesEditorViewDidChangeMenu(KZRulesEditorViewInterface *view, const KZMenu &menu,
                                              const KZMenuEntry &selectedItem, const KZRuleRowRef &row) override;
    void rulesEditorViewDidChangeTextField(KZRulesEditorViewInterface *view, const QString &text,
                                           const KZRuleRowRef &row) override;
    void rulesEditorViewDidChangeDate(KZRulesEditorViewInterface *view, const QDateTime &date,
                                      const KZRuleRowRef &row) override;
    void rulesEditorViewDidChangeDateWithinValue(KZRulesEditorViewInterface *view, const QString &value,
                                                 const KZRuleRowRef &row) override;
    void rulesEditorViewDidChangeFileSizeValue(KZRulesEditorViewInterface *view, const QString &value,
                                               const KZRuleRowRef &row) override;
    void rulesEditorViewDidChangeCombox(KZRulesEditorViewInterface *view, const QString &text,
                                        const QStringList &strings, const KZRuleRowRef &row) override;
    KZStringListRef rulesEditorViewDidValidatedCombox(KZRulesEditorViewInterface *view, const QString &text,
                                                      const QStringList &strings, const KZRuleRowRef &row) override;
    void rulesEditorViewDidChangeCriteria(KZRulesEditorViewInterface *view, const KZRuleRows &criteria) override;

    // RulesDirPathViewControllerDelegatorProtocol
    void rulesDirPathViewControllerDidChange(RulesDirPathViewController *controller) override;

private:
    struct OperatorAndValue {
        KZRuleItemRef operatorItem;
        KZRuleItemRef valueItem;
    };
    // The default operator and value items of a kind; none for a kind the
    // editor does not offer.
    std::optional<OperatorAndValue> defaultOperatorAndValue(qint64 kind);
    std::shared_ptr<RulesDirPathViewController> makeDirPathController(const KZDirPathEntryList &paths);
    KZRuleItemRef makeDirPathItem(const KZDirPathEntryList &paths);
    KZRuleRowRef rowForDateOperator(const KZRuleRowRef &row, qint64 op);
    void sendChange(const QVariantMap &change);
    std::optional<KZRuleRowRef> rowFromCriterion(const QVariantMap &criterion, QString *problem);

    QString m_scopeDir;
    std::array<KZStringListRef, 2> m_savedComboxValues;
    bool m_hasRememberedComboxValues = false;
    RulesEditorViewControllerDelegate *m_delegateController = nullptr;
    KZRulesEditorViewInterface *m_rulesEditorView = nullptr;
    KZFilterDirPathsProvider *m_filterDirPathsProvider = nullptr;
    QList<kzplatform::KZFileLabel> m_fileLabels;
    DirPathControllerFactory m_dirPathControllerFactory;
};
