// The rows of the results list: folder header rows and result rows, the
// grouping of consecutive results of one folder under a header row, and the
// merge of new results into rows kept in a sort order. Plain values, no
// widgets. Everything here reads the records' path bytes only, so that a
// list of millions of results never builds their text caches.
#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <vector>

#include "engine/FileSearchResult.h"

struct ResultsListRow {
    enum Kind : quint8 { KindDir = 1, KindResult = 2 };

    // Result rows: the result. Header rows: the first result of the run,
    // whose folder is the one the row stands for.
    FileSearchResultRef result;
    Kind kind = KindResult;
    // Result rows that stand under a folder header row.
    bool level = false;

    // Header rows: the folder. Result rows: empty.
    QString dirPath() const { return kind == KindDir && result ? result->dirPath() : QString(); }
    // The folder of a header row or the path of a result row.
    QString identityPath() const { return !result ? QString() : kind == KindDir ? result->dirPath() : result->path(); }
    // The same as bytes, without building the record's text caches.
    QByteArrayView identityBytes() const
    {
        return !result ? QByteArrayView() : kind == KindDir ? result->dirPathBytes() : result->cPathView();
    }
};
// A shared pointer and two flags: moved in memory as plain bytes.
Q_DECLARE_TYPEINFO(ResultsListRow, Q_RELOCATABLE_TYPE);
using ResultsListRows = QList<ResultsListRow>;

// Walks results keeping the run of consecutive results that share a folder.
// A run of two or more whose folder is not scopeDir gives a header row and one
// indented row per member; any other run gives plain result rows. Only
// neighbours are grouped: a folder met again later starts a new run.
ResultsListRows ResultsListGroupResults(const FileSearchResultList &results, const QString &scopeDir);

// The order of the list's sorts; equal keys keep the order of arrival.
using ResultsListLess = std::function<bool(const FileSearchResultRef &, const FileSearchResultRef &)>;

// Compares the paths of a and b as QString compares the decoded texts (by
// UTF-16 code units; bytes that are not UTF-8 read as U+FFFD), mostly on the
// bytes: only paths that first differ inside characters that are not valid
// UTF-8 are decoded. Negative, zero or positive.
int ResultsListComparePaths(const FileSearchResult &a, const FileSearchResult &b);

// Where the rows before a merge went: the new row of every old row, or -1 for
// a header row that is gone.
class ResultsListRowMap
{
public:
    int newRow(int oldRow) const;

private:
    friend class ResultsListRowMerger;
    struct Span {
        int oldFirst;
        int count;
        int newFirst; // -1: the rows are gone
    };
    std::vector<Span> m_spans; // by oldFirst, covering every old row
};

// Merges sortedFresh (sorted by less) into rows made by ResultsListGroupResults
// from results sorted by less: rows become exactly what grouping all the
// results sorted by a stable sort would give, the fresh ones after the equal
// ones already there. Only the runs next to where fresh results go are
// grouped again; the rows between are moved as they are.
ResultsListRowMap ResultsListMergeSorted(ResultsListRows &rows, const FileSearchResultList &sortedFresh,
                                         const ResultsListLess &less, const QString &scopeDir);
