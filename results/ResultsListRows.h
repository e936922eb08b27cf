// The rows of the results list: folder header rows and result rows, and the
// grouping of consecutive results of one folder under a header row. Plain
// values, no widgets.
#pragma once

#include <QList>
#include <QString>

#include "engine/FileSearchResult.h"

struct ResultsListRow {
    enum Kind : quint8 { KindDir = 1, KindResult = 2 };

    Kind kind = KindResult;
    // Result rows that stand under a folder header row.
    bool level = false;
    // Header rows: the folder. Result rows: empty (the record knows its folder).
    QString dirPath;
    FileSearchResultRef result;

    // The folder of a header row or the path of a result row.
    QString identityPath() const { return kind == KindDir ? dirPath : (result ? result->path() : QString()); }
};
using ResultsListRows = QList<ResultsListRow>;

// Walks results keeping the run of consecutive results that share a folder.
// A run of two or more whose folder is not scopeDir gives a header row and one
// indented row per member; any other run gives plain result rows. Only
// neighbours are grouped: a folder met again later starts a new run.
ResultsListRows ResultsListGroupResults(const FileSearchResultList &results, const QString &scopeDir);
