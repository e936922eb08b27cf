#include "results/ResultsListRows.h"

#include <algorithm>

#include <QFile>

#include "platform/KZPathBytes.h"

namespace {

// Appends the rows of results (grouped as ResultsListGroupResults says).
void appendGrouped(ResultsListRows &rows, const FileSearchResultList &results, QByteArrayView scope)
{
    qsizetype runStart = 0;
    QByteArrayView runDir;

    auto closeRun = [&](qsizetype end) {
        const qsizetype count = end - runStart;
        if (count <= 0)
            return;
        const bool grouped = count >= 2 && runDir != scope;
        if (grouped)
            rows.append(ResultsListRow{results.at(runStart), ResultsListRow::KindDir, false});
        for (qsizetype i = runStart; i < end; ++i)
            rows.append(ResultsListRow{results.at(i), ResultsListRow::KindResult, grouped});
    };

    for (qsizetype i = 0; i < results.size(); ++i) {
        const QByteArrayView dir = results.at(i)->dirPathBytes();
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
}

bool isContinuation(uchar c)
{
    return (c & 0xC0) == 0x80;
}

// The UTF-16 code units of a code point, first unit high, in one number.
quint32 utf16Units(char32_t cp)
{
    if (cp < 0x10000)
        return quint32(cp) << 16;
    cp -= 0x10000;
    return (quint32(0xD800 + (cp >> 10)) << 16) | quint32(0xDC00 + (cp & 0x3FF));
}

// Whether the character that ends just before end (in s) is valid UTF-8.
bool endsWithValidCharacter(const uchar *s, qsizetype end)
{
    if (end == 0 || s[end - 1] < 0x80)
        return true;
    qsizetype start = end - 1;
    while (start > 0 && end - start < 4 && isContinuation(s[start]))
        --start;
    char32_t cp;
    return kzplatform::kzUtf8SequenceLength(s + start, end - start, &cp) == end - start;
}

int sign(qsizetype value)
{
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

} // namespace

ResultsListRows ResultsListGroupResults(const FileSearchResultList &results, const QString &scopeDir)
{
    ResultsListRows rows;
    rows.reserve(results.size() + results.size() / 4);
    appendGrouped(rows, results, QFile::encodeName(scopeDir));
    return rows;
}

int ResultsListComparePaths(const FileSearchResult &a, const FileSearchResult &b)
{
    const QByteArrayView x = a.cPathView();
    const QByteArrayView y = b.cPathView();
    const auto *p = reinterpret_cast<const uchar *>(x.data());
    const auto *q = reinterpret_cast<const uchar *>(y.data());
    const qsizetype common = std::min(x.size(), y.size());
    const qsizetype differ = std::mismatch(p, p + common, q).first - p;
    if (differ == x.size() && differ == y.size())
        return 0;
    // Back to the first byte of the character the difference is in.
    qsizetype at = differ;
    while (at > 0 && differ - at < 4 &&
           ((at < x.size() && isContinuation(p[at])) || (at < y.size() && isContinuation(q[at]))))
        --at;
    // Where both texts are valid UTF-8 up to that character, they decode
    // alike up to it, and the first characters from there decide.
    if (endsWithValidCharacter(p, at)) {
        if (at == x.size())
            return -1;
        if (at == y.size())
            return 1;
        char32_t cx, cy;
        if (kzplatform::kzUtf8SequenceLength(p + at, x.size() - at, &cx)
            && kzplatform::kzUtf8SequenceLength(q + at, y.size() - at, &cy) && cx != cy)
            return utf16Units(cx) < utf16Units(cy) ? -1 : 1;
    }
    return sign(QString::fromUtf8(x).compare(QString::fromUtf8(y)));
}

int ResultsListRowMap::newRow(int oldRow) const
{
    auto after = std::upper_bound(m_spans.cbegin(), m_spans.cend(), oldRow,
                                  [](int row, const Span &span) { return row < span.oldFirst; });
    if (after == m_spans.cbegin())
        return -1;
    const Span &span = *(after - 1);
    if (oldRow >= span.oldFirst + span.count || span.newFirst < 0)
        return -1;
    return span.newFirst + (oldRow - span.oldFirst);
}

class ResultsListRowMerger
{
public:
    static ResultsListRowMap merge(ResultsListRows &rows, const FileSearchResultList &fresh,
                                   const ResultsListLess &less, const QString &scopeDir);
};

ResultsListRowMap ResultsListRowMerger::merge(ResultsListRows &rows, const FileSearchResultList &fresh,
                                              const ResultsListLess &less, const QString &scopeDir)
{
    using Span = ResultsListRowMap::Span;
    ResultsListRowMap map;
    const int count = int(rows.size());
    if (fresh.isEmpty()) {
        map.m_spans.push_back(Span{0, count, 0});
        return map;
    }
    const QByteArray scope = QFile::encodeName(scopeDir);
    ResultsListRow *old = rows.data();

    // Each fresh result goes before the first row whose result sorts after
    // it. A header row sorts as its first member, so that place is never
    // between a header and its run.
    std::vector<int> places(size_t(fresh.size()));
    int from = 0;
    for (qsizetype f = 0; f < fresh.size(); ++f) {
        from = int(std::upper_bound(old + from, old + count, fresh.at(f),
                                    [&less](const FileSearchResultRef &r, const ResultsListRow &row) {
                                        return less(r, row.result);
                                    }) -
                   old);
        places[size_t(f)] = from;
    }

    // The rows to group again: for every place, the run before it and the run
    // after it (a header row with its members, or one plain row), which the
    // fresh results may join or split. Windows that share a run become one.
    struct Window {
        int first;
        int end;
        qsizetype freshFirst;
        qsizetype freshEnd;
    };
    std::vector<Window> windows;
    for (qsizetype f = 0; f < fresh.size();) {
        const int place = places[size_t(f)];
        qsizetype g = f;
        while (g < fresh.size() && places[size_t(g)] == place)
            ++g;
        int first = place;
        if (first > 0) {
            --first;
            if (old[first].level)
                while (old[first].kind != ResultsListRow::KindDir)
                    --first;
        }
        int end = place;
        if (end < count) {
            const bool plain = old[end].kind == ResultsListRow::KindResult && !old[end].level;
            ++end;
            if (!plain)
                while (end < count && old[end].level)
                    ++end;
        }
        if (!windows.empty() && first < windows.back().end) {
            windows.back().end = std::max(windows.back().end, end);
            windows.back().freshEnd = g;
        } else {
            windows.push_back(Window{first, end, f, g});
        }
        f = g;
    }

    // First the new rows of every window, and where every old row goes: an
    // old row moves right by what the windows before it added. A window
    // never has fewer rows than before (a header goes only when a fresh
    // result splits its run), so the rows can then be moved in place, from
    // the back: a merge costs no new list, and the rows before the first
    // window do not move at all.
    ResultsListRows grouped; // the windows' new rows, one after the other
    std::vector<qsizetype> groupedEnd;
    FileSearchResultList run;
    std::vector<int> oldRowOfRun;
    std::vector<int> newRowOfOld;
    int shift = 0;
    int cursor = 0;
    for (const Window &w : windows) {
        if (w.first > cursor)
            map.m_spans.push_back(Span{cursor, w.first - cursor, cursor + shift});
        run.clear();
        oldRowOfRun.clear();
        qsizetype f = w.freshFirst;
        for (int i = w.first; i <= w.end; ++i) {
            for (; f < w.freshEnd && places[size_t(f)] == i; ++f) {
                run.append(fresh.at(f));
                oldRowOfRun.push_back(-1);
            }
            if (i < w.end && old[i].kind == ResultsListRow::KindResult) {
                run.append(old[i].result);
                oldRowOfRun.push_back(i);
            }
        }
        const qsizetype start = grouped.size();
        appendGrouped(grouped, run, scope);
        groupedEnd.push_back(grouped.size());
        const int base = w.first + shift; // the new row of the window's first row

        // Old result rows are found again in order; an old header row goes
        // to the header above its first member, if that one has a header.
        newRowOfOld.assign(size_t(w.end - w.first), -1);
        size_t k = 0;
        for (qsizetype r = start; r < grouped.size(); ++r) {
            if (grouped.at(r).kind != ResultsListRow::KindResult)
                continue;
            if (oldRowOfRun[k] >= 0)
                newRowOfOld[size_t(oldRowOfRun[k] - w.first)] = base + int(r - start);
            ++k;
        }
        for (int i = w.first; i < w.end; ++i) {
            int &to = newRowOfOld[size_t(i - w.first)];
            if (old[i].kind == ResultsListRow::KindDir) {
                const int member = newRowOfOld[size_t(i + 1 - w.first)];
                to = member > base && grouped.at(start + (member - 1 - base)).kind == ResultsListRow::KindDir
                         ? member - 1
                         : -1;
            }
            map.m_spans.push_back(Span{i, 1, to});
        }
        shift += int(grouped.size() - start) - (w.end - w.first);
        Q_ASSERT(shift >= 0);
        cursor = w.end;
    }
    if (count > cursor)
        map.m_spans.push_back(Span{cursor, count - cursor, cursor + shift});

    rows.resize(count + shift);
    ResultsListRow *data = rows.data();
    int to = count + shift;
    cursor = count;
    for (size_t wi = windows.size(); wi-- > 0;) {
        const Window &w = windows[wi];
        std::move_backward(data + w.end, data + cursor, data + to);
        to -= cursor - w.end;
        const qsizetype start = wi ? groupedEnd[wi - 1] : 0;
        to -= int(groupedEnd[wi] - start);
        std::move(grouped.begin() + start, grouped.begin() + groupedEnd[wi], data + to);
        cursor = w.first;
    }
    Q_ASSERT(to == cursor);
    return map;
}

ResultsListRowMap ResultsListMergeSorted(ResultsListRows &rows, const FileSearchResultList &sortedFresh,
                                         const ResultsListLess &less, const QString &scopeDir)
{
    return ResultsListRowMerger::merge(rows, sortedFresh, less, scopeDir);
}
