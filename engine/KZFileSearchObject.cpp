#include "engine/KZFileSearchObject.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <mutex>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRunnable>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include "engine/KZFileSearch.h"
#include "platform/KZPathBytes.h"
#include "platform/KZPosixFS.h"
#include "support/KZHandOver.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"
#include "support/KZNotificationCenter.h"

struct KZFileSearchObject::SharedState {
    std::atomic<quint64> jeton{0};
    mutable std::mutex mutex;
    QString scopeDir;
    QVariantList criteria;
    // Batches posted and not yet taken in, when the walk does not wait.
    QSemaphore credits{KZFileSearchObject::kMaxHandOversInFlight};
};

namespace {

std::atomic<quint64> g_jetonCounter{0};

const QString kJeton = QStringLiteral("jeton");
const QString kChange = QStringLiteral("change");
const QString kResults = QStringLiteral("results");
const QString kPaths = QStringLiteral("paths");
const QString kStats = QStringLiteral("stats");
const QString kKind = QStringLiteral("kind");
const QString kPath = QStringLiteral("path");
const QString kError = QStringLiteral("error");
const QString kSkippedLongPaths = QStringLiteral("skippedLongPaths");

QVariantMap statisticsOf(const KZFileSearchCounters &c)
{
    return QVariantMap{{QStringLiteral("files"), qint64(c.files)},
                       {QStringLiteral("dirs"), qint64(c.dirs)},
                       {QStringLiteral("links"), qint64(c.links)},
                       {QStringLiteral("total"), qint64(c.files + c.dirs + c.links)}};
}

QString criteriaDescription(const QVariantList &criteria)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromVariantList(criteria)).toJson(QJsonDocument::Compact));
}

} // namespace

KZFileSearchObject::KZFileSearchObject(QObject *parent)
    : QObject(parent)
    , m_state(std::make_shared<SharedState>())
{
    m_state->jeton.store(++g_jetonCounter);
}

KZFileSearchObject::~KZFileSearchObject()
{
    stopSearch();
}

bool KZFileSearchObject::canStartSearch(const QString &path, QString *message)
{
    if (path.isEmpty())
        return KZ_ReturnNoWithMessage(KZLocalizedString("The directory is not specified."), message);
    // The path's exact bytes: a folder name that is not UTF-8 is still found.
    const QByteArray bytes = kzplatform::kzPathBytes(path);
    kzplatform::KZStat st;
    if (kzplatform::kzStatFollow(bytes.constData(), &st) != 0)
        return KZ_ReturnNoWithMessage(KZLocalizedString("Directory does not exist."), message);
    if (!S_ISDIR(st.mode))
        return KZ_ReturnNoWithMessage(KZLocalizedString("The target path is not a directory."), message);
    // Readable means listable: open it as the walk will.
    const int fd = ::open(bytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return KZ_ReturnNoWithMessage(KZLocalizedString("No directory access."), message);
    ::close(fd);
    if (::access(bytes.constData(), R_OK | X_OK) != 0)
        return KZ_ReturnNoWithMessage(KZLocalizedString("No directory access."), message);
    return true;
}

bool KZFileSearchObject::hasUsableCriteria(const QVariantList &criteria)
{
    for (const qint64 kind : {2, 4, 5, 1, 6, 3, 8})
        if (!KZFileSearch::criteriaWithKind(kind, criteria).isEmpty())
            return true;
    return false;
}

QString KZFileSearchObject::scopeDir() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->scopeDir;
}

void KZFileSearchObject::setScopeDir(const QString &scopeDir)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->scopeDir = scopeDir;
}

QVariantList KZFileSearchObject::criteria() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->criteria;
}

void KZFileSearchObject::setCriteria(const QVariantList &criteria)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->criteria = criteria;
}

QVariantList KZFileSearchObject::criterionListWithKind(qint64 kind) const
{
    return KZFileSearch::criteriaWithKind(kind, criteria());
}

void KZFileSearchObject::startSearch(QThreadPool *queue)
{
    const QString scope = scopeDir();
    const QVariantList crit = criteria();
    if (scope.isNull())
        KZLOG_CRITICAL_M(QStringLiteral("self.scopeDir==nil"));
    if (crit.isEmpty())
        KZLOG_CRITICAL_M(QStringLiteral("self.criteria==nil"));
    if (!queue) {
        KZLOG_CRITICAL_M(QStringLiteral("operationQueue==nil"));
        // Nothing could run the walk: stay idle rather than search forever.
        stopSearch();
        return;
    }
    // What the user searches for is private: never in the system log.
    KZLOG_M(KZLogSeverityDebug, QStringLiteral("scopeDir:%1 criteria:%2").arg(scope, criteriaDescription(crit)));

    if (m_fileSearch)
        m_fileSearch->cancelSearch();
    const quint64 noted = ++m_state->jeton;
    auto walk = std::make_shared<KZFileSearch>();
    walk->setSkipsMatchStat(m_skipsMatchStat);
    m_fileSearch = walk;
    _results.clear();
    _statistics.clear();
    m_unreadableFolders = 0;
    m_skippedLongPaths = 0;

    // The worker holds the shared state and the walk, never this object: a
    // session destroyed mid-walk leaves nothing dangling behind.
    std::shared_ptr<SharedState> state = m_state;
    QPointer<KZFileSearchObject> session(this);
    const bool waits = !m_handsOverWithoutWaiting;
    const qint64 interval = m_handOverIntervalMs;
    const bool pathsOnly = m_deliversPathsOnly;
    std::function<void()> walkTask = [state, walk, noted, session, waits, interval, pathsOnly] {
        kzHandOverAcquire();
        QString scope;
        QVariantList crit;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            scope = state->scopeDir;
            crit = state->criteria;
        }
        // Batches finished since the last hand-over, in walk order. Handing
        // each folder over on its own would cost two thread switches per
        // folder; a hand-over every few milliseconds keeps the results as
        // fresh to the eye and leaves the walk its speed. The messages are
        // made on the GUI thread, so that the walk only collects.
        struct Finished {
            int status;
            FileSearchResultList batch;
            QByteArray paths; // or the folder that could not be read
            KZFileSearchCounters counters;
            int error = 0;
        };
        std::vector<Finished> pending;
        QElapsedTimer sinceHandOver;
        sinceHandOver.start();
        auto handOver = [&] {
            QCoreApplication *app = QCoreApplication::instance();
            auto deliver = [session, noted, pathsOnly, finished = std::move(pending)] {
                kzHandOverAcquire();
                for (const Finished &f : finished) {
                    // A notification handler may stop or delete the session.
                    if (!session)
                        return;
                    if (f.status == KZFileSearchStatusUnreadableFolder) {
                        session->mt_searchUpdated(
                            {{kJeton, noted}, {kChange, f.status}, {kPath, f.paths}, {kError, f.error}});
                        continue;
                    }
                    QVariantMap message{{kJeton, noted}, {kChange, f.status}, {kStats, statisticsOf(f.counters)},
                                        {kSkippedLongPaths, qint64(f.counters.skippedLongPaths)}};
                    if (f.status == KZFileSearchStatusBatch) {
                        if (pathsOnly)
                            message.insert(kPaths, f.paths);
                        else
                            message.insert(kResults, QVariant::fromValue(f.batch));
                    }
                    session->mt_searchUpdated(message);
                }
            };
            pending = {};
            sinceHandOver.restart();
            kzHandOverRelease();
            if (!app || QThread::currentThread() == app->thread()) {
                deliver();
            } else if (waits) {
                // The walk waits here until the GUI thread has taken the batches in.
                QMetaObject::invokeMethod(app, std::move(deliver), Qt::BlockingQueuedConnection);
            } else {
                state->credits.acquire();
                QMetaObject::invokeMethod(app, [deliver = std::move(deliver), state] {
                    deliver();
                    state->credits.release();
                }, Qt::QueuedConnection);
            }
        };
        auto collect = [&](Finished &&finished) {
            if (state->jeton.load() != noted)
                return;
            const bool last = finished.status == KZFileSearchStatusFinished;
            pending.push_back(std::move(finished));
            if (last || sinceHandOver.elapsed() >= interval)
                handOver();
        };
        walk->setUnreadableFolderCallback([&](const QByteArray &dirPath, int error) {
            collect({KZFileSearchStatusUnreadableFolder, {}, dirPath, {}, error});
        });
        if (pathsOnly) {
            walk->performPathSearchInDirectory(
                scope, crit, [&](int status, const QByteArray &paths, const KZFileSearchCounters &counters) {
                    collect({status, {}, paths, counters});
                });
        } else {
            walk->performSearchInDirectory(
                scope, crit, [&](int status, const FileSearchResultList &batch, const KZFileSearchCounters &counters) {
                    collect({status, batch, {}, counters});
                });
        }
        walk->setUnreadableFolderCallback({});
        // The walk's last call (status 2) handed everything over, unless the
        // search was superseded, in which case nothing may be delivered.
    };
    kzHandOverRelease();
    queue->start(std::move(walkTask));
}

void KZFileSearchObject::stopSearch()
{
    if (m_fileSearch)
        m_fileSearch->cancelSearch();
    m_fileSearch.reset();
    ++m_state->jeton;
}

void KZFileSearchObject::mt_searchUpdated(const QVariantMap &message)
{
    if (!m_fileSearch || message.value(kJeton).toULongLong() != m_state->jeton.load())
        return;
    const int change = message.value(kChange).toInt();
    if (change == KZFileSearchStatusUnreadableFolder) {
        ++m_unreadableFolders;
        KZNotificationCenter::defaultCenter()->post(
            KZFileSearchObjectUpdatedNotification, this,
            {{kKind, 3}, {kPath, message.value(kPath)}, {kError, message.value(kError)}});
        return;
    }
    _statistics = message.value(kStats).toMap();
    m_skippedLongPaths = message.value(kSkippedLongPaths).toLongLong();
    if (change == KZFileSearchStatusFinished) {
        m_fileSearch.reset();
        KZNotificationCenter::defaultCenter()->post(KZFileSearchObjectUpdatedNotification, this, {{kKind, 2}});
    } else if (change == KZFileSearchStatusBatch && message.contains(kPaths)) {
        KZNotificationCenter::defaultCenter()->post(KZFileSearchObjectUpdatedNotification, this,
                                                    {{kKind, 1}, {kPaths, message.value(kPaths)}});
    } else if (change == KZFileSearchStatusBatch) {
        const FileSearchResultList batch = message.value(kResults).value<FileSearchResultList>();
        if (m_keepsResults)
            _results += batch;
        KZNotificationCenter::defaultCenter()->post(KZFileSearchObjectUpdatedNotification, this,
                                                    {{kKind, 1}, {kResults, QVariant::fromValue(batch)}});
    }
}

QString KZFileSearchObject::displayStatistics() const
{
    return displayStatisticsWithCounts(_statistics.value(QStringLiteral("files")).toLongLong(),
                                       _statistics.value(QStringLiteral("dirs")).toLongLong(),
                                       _statistics.value(QStringLiteral("links")).toLongLong());
}

QString KZFileSearchObject::displayStatisticsWithCounts(qint64 files, qint64 dirs, qint64 links,
                                                        const QLocale &locale)
{
    if (files == 0 && dirs == 0 && links == 0)
        return QString();
    QStringList parts;
    auto part = [&](qint64 count, const char *one, const char *many) {
        if (count <= 0)
            return;
        if (count == 1)
            parts.append(KZLocalizedString(one));
        else
            parts.append(KZStringWithFormat(KZLocalizedString(many), {locale.toString(count)}));
    };
    part(files, "1 file", "%@ files");
    part(dirs, "1 directoriy", "%@ directories");
    part(links, "1 link", "%@ links");
    return parts.join(QStringLiteral(", "));
}

quint64 KZFileSearchObject::jeton() const
{
    return m_state->jeton.load();
}
