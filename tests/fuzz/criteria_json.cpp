// trovix-find's --criteria reader, followed by what the tool does with a list
// it accepts: the walk compiles it, and --save turns it into rule rows that
// must give the same criteria after a trip through the archive.
#include <vector>

#include "cli/TrovixFindOptions.h"
#include "engine/KZFileSearch.h"
#include "rules/KZRuleItem.h"
#include "rules/RulesEditorViewController.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QVariantList criteria;
    QString error;
    if (!parseCriteriaJson(kzFuzzBytes(data, size), &criteria, &error)) {
        KZ_FUZZ_CHECK(!error.isEmpty());
        return 0;
    }

    static const QDateTime now(QDate(2024, 3, 31), QTime(2, 30));
    std::vector<KZFileSearchFilterStruct> filters(static_cast<size_t>(criteria.size()) + 1);
    KZFileSearch search;
    const int32_t count = search.compileCriteria(criteria, filters.data(), now);
    KZ_FUZZ_CHECK(count >= 0 && count <= criteria.size());
    KZFileSearchFiltersRelease(filters.data(), count);
    // Every skipped folder name is one an entry can have.
    const KZSkippedDirNames skipped = KZSkippedDirNames::fromCriteria(criteria);
    for (const std::string &name : skipped.names())
        KZ_FUZZ_CHECK(!name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos);

    RulesEditorViewController controller;
    const std::optional<KZRuleRows> rows = controller.rowsFromCanonizedCriteria(criteria, &error);
    if (!rows)
        return 0;
    const QVariantList saved = RulesEditorViewController::canonizedCriteriaFromCriteria(*rows, false);
    const KZRuleRows reloaded = kzUnarchiveRuleRows(kzArchiveRuleRows(*rows));
    KZ_FUZZ_CHECK(RulesEditorViewController::canonizedCriteriaFromCriteria(reloaded, false) == saved);
    return 0;
}
