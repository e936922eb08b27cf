// Runs one KZFileSearch on a tree and collects what its callback saw.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStringList>
#include <QVariantMap>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

#include "engine/KZFileSearch.h"
#include "tests/testlib/TestEnvironment.h"

namespace enginetest {

using kztest::criterion;

inline QVariantList nameIs(const QString &text, qint64 op = KZFileSearchOperatorContains)
{
    return {criterion(KZFileSearchKindFileName, op, text)};
}

struct SearchRun {
    std::vector<FileSearchResultRef> results;
    std::vector<FileSearchResultList> batches;
    std::vector<KZFileSearchCounters> batchCounters;
    KZFileSearchCounters finalCounters;
    int finishedCalls = 0;
    bool finishedWasLast = true;

    // Paths relative to root, sorted.
    QStringList relativePaths(const QString &root) const
    {
        QStringList out;
        for (const FileSearchResultRef &r : results)
            out.append(r->path().startsWith(root + QLatin1Char('/')) ? r->path().mid(root.size() + 1) : r->path());
        out.sort();
        return out;
    }
};

inline SearchRun runSearch(const QString &scope, const QVariantList &criteria,
                           const std::function<void(KZFileSearch &)> &configure = {})
{
    SearchRun run;
    KZFileSearch search;
    if (configure)
        configure(search);
    search.performSearchInDirectory(scope, criteria,
                                    [&](int status, const FileSearchResultList &batch, const KZFileSearchCounters &c) {
                                        if (run.finishedCalls > 0)
                                            run.finishedWasLast = false;
                                        if (status == KZFileSearchStatusBatch) {
                                            run.batches.push_back(batch);
                                            run.batchCounters.push_back(c);
                                            for (const FileSearchResultRef &r : batch)
                                                run.results.push_back(r);
                                        } else if (status == KZFileSearchStatusFinished) {
                                            ++run.finishedCalls;
                                            run.finalCounters = c;
                                        }
                                    });
    return run;
}

// A file of size bytes at path (which may be up to PATH_MAX - 1 bytes long).
inline void touch(const QByteArray &path, int size = 0)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    EXPECT_GE(fd, 0) << path.size() << " bytes: " << std::strerror(errno);
    EXPECT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

// Folders nested below root until one more name of at most 250 bytes makes a
// path of limit bytes; returns the deepest.
inline QByteArray nestFolders(const QByteArray &root, qsizetype limit)
{
    QByteArray deep = root;
    for (qsizetype room = limit - deep.size(); room > 250; room = limit - deep.size()) {
        deep += '/' + QByteArray(std::min<qsizetype>(200, room - 150), 'd');
        EXPECT_EQ(::mkdir(deep.constData(), 0755), 0);
    }
    return deep;
}

// Whether an entry holding text was logged with this severity.
inline bool logged(const kztest::LogCapture &log, int severity, const QString &text)
{
    const auto records = log.records();
    return std::any_of(records.begin(), records.end(), [&](const auto &r) { return r.first == severity && r.second.contains(text); });
}

// Relative paths of the entries matching criteria below tree root.
inline QStringList found(const QString &root, const QVariantList &criteria,
                         const std::function<void(KZFileSearch &)> &configure = {})
{
    return runSearch(root, criteria, configure).relativePaths(root);
}

} // namespace enginetest
