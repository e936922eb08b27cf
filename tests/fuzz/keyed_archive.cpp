// The keyed-archive reader, followed by the decoding of the two archives read
// at launch: the saved searches (rule rows, their criteria, their description
// in trovix-find --list-saved) and the favourite folders. Every record read
// must come back the same after being saved again.
#include <QCborArray>
#include <QCborMap>
#include <vector>

#include "engine/KZFileSearch.h"
#include "rules/KZRuleItem.h"
#include "rules/KZRulesDescription.h"
#include "rules/RulesEditorViewController.h"
#include "scope/FavoriteDir.h"
#include "support/KZArchive.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void readSavedSearches(const QCborValue &object)
{
    static const QDateTime now(QDate(2024, 10, 27), QTime(2, 30));
    for (const QCborValue &record : object.toArray()) {
        const KZRuleRows rows = kzUnarchiveRuleRows(record.toMap().value(QStringLiteral("criteria")));
        const QVariantList criteria = RulesEditorViewController::canonizedCriteriaFromCriteria(rows, false);
        kzDescriptionOfRuleRows(rows);
        std::vector<KZFileSearchFilterStruct> filters(static_cast<size_t>(criteria.size()) + 1);
        KZFileSearch search;
        KZFileSearchFiltersRelease(filters.data(), search.compileCriteria(criteria, filters.data(), now));
        KZ_FUZZ_CHECK(RulesEditorViewController::canonizedCriteriaFromCriteria(kzDetachedRuleRows(rows), false)
                      == criteria);
    }
}

void readFavorites(const QCborValue &object)
{
    for (const QCborValue &item : object.toArray()) {
        const std::shared_ptr<FavoriteDir> dir = FavoriteDir::fromArchive(item.toMap());
        if (!dir)
            continue;
        const std::shared_ptr<FavoriteDir> again = FavoriteDir::fromArchive(dir->encodeWithCoder());
        KZ_FUZZ_CHECK(again && again->serializedPath() == dir->serializedPath()
                      && again->bookmarkData() == dir->bookmarkData() && again->uniqueId() == dir->uniqueId()
                      && again->kind() == dir->kind());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = kzFuzzBytes(data, size);
    QString problem;
    if (const auto archive = kz_archivedObjectFromData(bytes, QStringLiteral("SavedSearches"), &problem))
        readSavedSearches(archive->object);
    else
        KZ_FUZZ_CHECK(!problem.isEmpty());
    if (const auto archive = kz_archivedObjectFromData(bytes, QStringLiteral("FavoriteDirs"), &problem))
        readFavorites(archive->object);
    return 0;
}
