#include "cli/TrovixFindSaved.h"

#include "rules/KZRulesDescription.h"
#include "rules/RulesEditorViewController.h"
#include "rules/SavedSearches.h"

#include <QFile>

namespace {

SavedSearchRef findSaved(SavedSearches *list, const QString &nameOrId)
{
    if (SavedSearchRef byName = list->savedSearchNamed(nameOrId))
        return byName;
    bool isNumber = false;
    const qint64 id = nameOrId.toLongLong(&isNumber);
    return isNumber ? list->savedSearchWithUniqueId(id) : SavedSearchRef();
}

} // namespace

QStringList trovixFindSavedSearchLines()
{
    QStringList lines;
    for (const SavedSearchRef &s : SavedSearches::sharedInstance()->savedSearches())
        lines.append(QStringLiteral("%1\t%2\t%3").arg(s->uniqueId).arg(s->name, kzDescriptionOfRuleRows(s->criteria)));
    return lines;
}

bool trovixFindSavedCriteria(const QString &nameOrId, QVariantList *criteria, QString *error)
{
    const SavedSearchRef saved = findSaved(SavedSearches::sharedInstance(), nameOrId);
    if (!saved) {
        *error = QStringLiteral("no saved search named \"%1\" (see --list-saved)").arg(nameOrId);
        return false;
    }
    *criteria = RulesEditorViewController::canonizedCriteriaFromCriteria(saved->criteria, false);
    return true;
}

qint64 trovixFindSaveSearch(const QString &name, const QVariantList &criteria, QString *error)
{
    SavedSearches *list = SavedSearches::sharedInstance();
    if (criteria.isEmpty()) {
        *error = QStringLiteral("--save needs at least one rule (PATTERN is not stored)");
        return 0;
    }
    RulesEditorViewController controller;
    QString why;
    const std::optional<KZRuleRows> rows = controller.rowsFromCanonizedCriteria(criteria, &why);
    if (!rows) {
        *error = QStringLiteral("these rules cannot be saved: %1").arg(why);
        return 0;
    }
    // The name is checked against the file as it is when the lock is had:
    // another process may have saved one of that name since this one started.
    SavedSearchRef record = kzMakeSavedSearch(name, *rows);
    if (!list->addSavedSearches(record, error, /*refuseTakenName=*/true) || record->uniqueId == 0) {
        if (error->isEmpty())
            *error = QStringLiteral("the saved searches could not be written to %1").arg(list->filePath());
        return 0;
    }
    return record->uniqueId;
}

TrovixFindSetAsideReport::TrovixFindSetAsideReport(FILE *err)
{
    m_previous = kzSetFileAsideObserver([err](const QString &path, const QString &aside, bool moved) {
        const QByteArray line = moved
            ? "trovix-find: cannot read '" + QFile::encodeName(path) + "'; it was set aside as '" + QFile::encodeName(aside) + "'\n"
            : "trovix-find: part of '" + QFile::encodeName(path) + "' cannot be read; a copy was kept as '"
                + QFile::encodeName(aside) + "'\n";
        std::fwrite(line.constData(), 1, size_t(line.size()), err);
    });
}

TrovixFindSetAsideReport::~TrovixFindSetAsideReport()
{
    kzSetFileAsideObserver(std::move(m_previous));
}
