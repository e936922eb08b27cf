// The folders control of a folders rule, without its widgets: the list of
// folder entries, adding folders, checking and unchecking them, and the title
// that summarises the checked ones. The widget layer derives from it to show
// the choose button and the pop-up (updateUI, presentChooseBox).
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include "rules/KZDirPathEntry.h"
#include "rules/KZRuleItem.h"

class RulesDirPathViewController;

// Told when folders were added to a control; implemented by the rules editor
// controller.
class RulesDirPathViewControllerDelegatorProtocol
{
public:
    virtual ~RulesDirPathViewControllerDelegatorProtocol() = default;
    virtual void rulesDirPathViewControllerDidChange(RulesDirPathViewController *controller) = 0;
};

// Main thread only.
class RulesDirPathViewController : public KZRuleItem_ViewControllerProtocol
{
public:
    RulesDirPathViewController() = default;
    ~RulesDirPathViewController() override = default;

    // Not owned; the rules editor controller outlives its rows' controls.
    RulesDirPathViewControllerDelegatorProtocol *delegator() const { return m_delegator; }
    void setDelegator(RulesDirPathViewControllerDelegatorProtocol *delegator) { m_delegator = delegator; }
    QString scopeDir() const { return m_scopeDir; }
    void setScopeDir(const QString &scopeDir) { m_scopeDir = scopeDir; }
    // The entries are shared with the row's value item.
    KZDirPathEntryList paths() const { return m_paths; }
    void setPaths(const KZDirPathEntryList &paths) { m_paths = paths; }

    // Adds the existing folders among urls that are not listed yet (exact path
    // comparison, whatever the listed entry's state), checked; sorts the list
    // by path, case-insensitively; tells the delegator, then updateUI. URLs that
    // are not local files, or not folders, are skipped.
    void addFileURLs(const QList<QUrl> &urls);
    // Flips an entry of the list: checked becomes unchecked and anything else
    // checked. The delegator is not told.
    void toggleEntry(const KZDirPathEntryRef &entry);
    // "%@ paths" for two or more checked entries, "1 path (%@)" with the
    // folder's name for one, "--" for none.
    QString proposedPopMenuTitle() const;

    // KZRuleItem_ViewControllerProtocol
    void rulesEditorViewWillDisplayView() override;

    // Refresh the control; nothing to show without widgets.
    virtual void updateUI() {}
    // Open the folder chooser; nothing to open without widgets.
    virtual void presentChooseBox() {}

private:
    RulesDirPathViewControllerDelegatorProtocol *m_delegator = nullptr;
    QString m_scopeDir;
    KZDirPathEntryList m_paths;
};
