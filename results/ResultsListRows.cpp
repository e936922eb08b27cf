#include "results/ResultsListRows.h"

ResultsListRows ResultsListGroupResults(const FileSearchResultList &results, const QString &scopeDir)
{
    ResultsListRows rows;
    rows.reserve(results.size() + results.size() / 4);
    qsizetype runStart = 0;
    QString runDir;

    auto closeRun = [&](qsizetype end) {
        const qsizetype count = end - runStart;
        if (count <= 0)
            return;
        const bool grouped = count >= 2 && runDir != scopeDir;
        if (grouped)
            rows.append(ResultsListRow{ResultsListRow::KindDir, false, runDir, nullptr});
        for (qsizetype i = runStart; i < end; ++i)
            rows.append(ResultsListRow{ResultsListRow::KindResult, grouped, QString(), results.at(i)});
    };

    for (qsizetype i = 0; i < results.size(); ++i) {
        const FileSearchResultRef &r = results.at(i);
        const QString dir = r->dirPath();
        if (i == runStart) {
            runDir = dir;
            continue;
        }
        if (dir != runDir) {
            closeRun(i);
            runStart = i;
            runDir = dir;
        }
    }
    closeRun(results.size());
    return rows;
}
