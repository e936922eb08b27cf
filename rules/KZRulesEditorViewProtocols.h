// The conversations around the rules editor: the editor view asks its
// delegate (the rules editor controller) for every decision about rows; the
// controller drives the view through a narrow interface that the widget
// implements; the controller tells its owner (the search window) when rows were
// added or removed and when the criteria changed; and it asks the scope
// manager which folders to offer in new folders rows.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "rules/KZMenu.h"
#include "rules/KZRuleItem.h"

class KZRulesEditorViewInterface;
class RulesEditorViewController;

// What the editor view asks of its delegate. The row is the row concerned,
// compared by identity.
class KZRulesEditorViewDelegateSourceProtocol
{
public:
    virtual ~KZRulesEditorViewDelegateSourceProtocol() = default;
    virtual bool rulesEditorViewCanAddRowAtIndex(KZRulesEditorViewInterface *view, qint64 index) = 0;
    // The new row; none is a programming error on the delegate's side.
    virtual KZRuleRowRef rulesEditorViewAddRow(KZRulesEditorViewInterface *view, qint64 index, double rowOffset) = 0;
    virtual void rulesEditorViewRemoveRow(KZRulesEditorViewInterface *view, qint64 index, double rowOffset) = 0;
    // A replacement row, or none when the row stays as it is.
    virtual KZRuleRowRef rulesEditorViewDidChangeMenu(KZRulesEditorViewInterface *view, const KZMenu &menu,
                                                      const KZMenuEntry &selectedItem, const KZRuleRowRef &row) = 0;
    virtual void rulesEditorViewDidChangeTextField(KZRulesEditorViewInterface *view, const QString &text,
                                                   const KZRuleRowRef &row) = 0;
    virtual void rulesEditorViewDidChangeDate(KZRulesEditorViewInterface *view, const QDateTime &date,
                                              const KZRuleRowRef &row) = 0;
    virtual void rulesEditorViewDidChangeDateWithinValue(KZRulesEditorViewInterface *view, const QString &value,
                                                         const KZRuleRowRef &row) = 0;
    virtual void rulesEditorViewDidChangeFileSizeValue(KZRulesEditorViewInterface *view, const QString &value,
                                                       const KZRuleRowRef &row) = 0;
    virtual void rulesEditorViewDidChangeCombox(KZRulesEditorViewInterface *view, const QString &text,
                                                const QStringList &strings, const KZRuleRowRef &row) = 0;
    // The combo box's new choices, or none to keep them.
    virtual KZStringListRef rulesEditorViewDidValidatedCombox(KZRulesEditorViewInterface *view, const QString &text,
                                                              const QStringList &strings, const KZRuleRowRef &row) = 0;
    virtual void rulesEditorViewDidChangeCriteria(KZRulesEditorViewInterface *view, const KZRuleRows &criteria) = 0;
};

// What the controller needs of the editor view (KZRulesEditorView implements
// it; tests use a plain object).
class KZRulesEditorViewInterface
{
public:
    virtual ~KZRulesEditorViewInterface() = default;
    // The rows shown, in display order.
    virtual KZRuleRows criteria() const = 0;
    // Not owned.
    virtual void setDelegate(KZRulesEditorViewDelegateSourceProtocol *delegate) = 0;
    virtual void reloadDataWithCriteria(const KZRuleRows &criteria) = 0;
    // The row whose controls include the view controller's view, or none.
    virtual KZRuleRowRef criterionForRowViewController(const KZRuleItem_ViewControllerProtocol *viewController) const = 0;
};

// The owner of the controller (the search window).
class RulesEditorViewControllerDelegate
{
public:
    virtual ~RulesEditorViewControllerDelegate() = default;
    // change: {"kind": "rowsChanged", "rowOffset": points} or
    // {"kind": "criteriaChanged"}.
    virtual void rulesEditorViewControllerDidChange(RulesEditorViewController *controller,
                                                    const QVariantMap &change) = 0;
};

// The remembered folders that new folders rows start with (the scope
// manager's filter folders).
class KZFilterDirPathsProvider
{
public:
    virtual ~KZFilterDirPathsProvider() = default;
    virtual QStringList filterDirPaths() const = 0;
    virtual void addFilterFilterDirPath(const QString &path) = 0;
};
