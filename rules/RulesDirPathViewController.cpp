#include "rules/RulesDirPathViewController.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "rules/KZCriteriaMenus.h"
#include "support/KZLocalization.h"

void RulesDirPathViewController::addFileURLs(const QList<QUrl> &urls)
{
    KZDirPathEntryList paths = m_paths;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        if (!info.exists() || !info.isDir())
            continue;
        const bool listed = std::any_of(paths.cbegin(), paths.cend(),
                                        [&](const KZDirPathEntryRef &entry) { return entry && entry->path == path; });
        if (listed)
            continue;
        paths.append(kzMakeDirPathEntry(path, 1));
    }
    std::stable_sort(paths.begin(), paths.end(), [](const KZDirPathEntryRef &a, const KZDirPathEntryRef &b) {
        return QString::compare(a ? a->path : QString(), b ? b->path : QString(), Qt::CaseInsensitive) < 0;
    });
    m_paths = paths;
    if (m_delegator)
        m_delegator->rulesDirPathViewControllerDidChange(this);
    updateUI();
}

void RulesDirPathViewController::toggleEntry(const KZDirPathEntryRef &entry)
{
    if (!entry)
        return;
    entry->state = entry->state == 1 ? 0 : 1;
    updateUI();
}

QString RulesDirPathViewController::proposedPopMenuTitle() const
{
    kzRegisterRulesEnglishTables();
    QStringList checked;
    for (const KZDirPathEntryRef &entry : m_paths) {
        if (entry && entry->state == 1)
            checked.append(entry->path);
    }
    if (checked.size() >= 2)
        return KZStringWithFormat(KZLocalizedString("%@ paths"), {QString::number(checked.size())});
    if (checked.size() == 1) {
        QString name = QFileInfo(checked.first()).fileName();
        if (name.isEmpty())
            name = QDir::toNativeSeparators(checked.first());
        return KZStringWithFormat(KZLocalizedString("1 path (%@)"), {name});
    }
    return QStringLiteral("--");
}

void RulesDirPathViewController::rulesEditorViewWillDisplayView()
{
    updateUI();
}
