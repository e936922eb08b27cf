// Plain stand-ins for the editor view, the window and the scope manager, so the
// rules editor controller can be driven as the widgets will drive it.
#pragma once

#include <QStringList>
#include <QVariantMap>
#include <initializer_list>
#include <vector>

#include "rules/KZRulesEditorViewProtocols.h"
#include "rules/RulesEditorViewController.h"
#include "tests/testlib/TestEnvironment.h"

namespace rulestest {

// Keeps rows the way the editor view does: replaced, never mutated.
class FakeRulesEditorView : public KZRulesEditorViewInterface
{
public:
    KZRuleRows rows;
    KZRulesEditorViewDelegateSourceProtocol *delegate = nullptr;

    KZRuleRows criteria() const override { return rows; }
    void setDelegate(KZRulesEditorViewDelegateSourceProtocol *d) override { delegate = d; }
    void reloadDataWithCriteria(const KZRuleRows &criteria) override { rows = criteria; }
    KZRuleRowRef criterionForRowViewController(const KZRuleItem_ViewControllerProtocol *vc) const override
    {
        for (const KZRuleRowRef &row : rows) {
            for (const KZRuleItemRef &item : row->items) {
                if (item && item->viewController().get() == vc)
                    return row;
            }
        }
        return nullptr;
    }

    // The "+" button of the last row: asks, inserts, reports. None when refused.
    KZRuleRowRef pressAdd()
    {
        if (!delegate->rulesEditorViewCanAddRowAtIndex(this, rows.size()))
            return nullptr;
        const KZRuleRowRef row = delegate->rulesEditorViewAddRow(this, rows.size(), rows.isEmpty() ? 0 : 27);
        if (row)
            rows.append(row);
        delegate->rulesEditorViewDidChangeCriteria(this, rows);
        return row;
    }
    // The pop-up at itemIndex of a row chooses the entry with the tag (or, with tag
    // 0, the represented object); the replacement row takes the old one's place,
    // as the view does.
    KZRuleRowRef choose(qsizetype rowIndex, int itemIndex, qint64 tag, const QVariant &object = QVariant())
    {
        const KZRuleRowRef row = rows.at(rowIndex);
        const KZMenuRef menu = row->items.at(itemIndex)->menu();
        const qsizetype entry = tag != 0 ? menu->indexOfTag(tag) : menu->indexOfRepresentedObject(object);
        const KZRuleRowRef replacement = delegate->rulesEditorViewDidChangeMenu(this, *menu, menu->entryAt(entry), row);
        if (replacement && replacement != row)
            rows[rowIndex] = replacement;
        delegate->rulesEditorViewDidChangeCriteria(this, rows);
        return replacement;
    }
};

class FakeWindow : public RulesEditorViewControllerDelegate
{
public:
    std::vector<QVariantMap> changes;
    void rulesEditorViewControllerDidChange(RulesEditorViewController *, const QVariantMap &change) override
    {
        changes.push_back(change);
    }
};

class FakeScopeFolders : public KZFilterDirPathsProvider
{
public:
    QStringList paths;
    QStringList added;
    QStringList filterDirPaths() const override { return paths; }
    void addFilterFilterDirPath(const QString &path) override
    {
        paths.append(path);
        added.append(path);
    }
};

// A QStringList from plain literals.
inline QStringList strs(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *s : list)
        out.append(QString::fromUtf8(s));
    return out;
}

using kztest::criterion;

} // namespace rulestest
