#include "engine/KZFileSearch.h"

#include <QDebug>
#include <QMetaType>
#include <QRegularExpression>
#include <QStringList>
#include <QtNumeric>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <limits>
#include <vector>

#include "engine/KZFileSearchWalk.h"
#include "platform/KZPathBytes.h"
#include "platform/KZGuardedFS.h"
#include "support/KZLog.h"

namespace {

constexpr uint64_t kScratchBufferCapacity = 134217728; // 128 MiB
const char kDSStoreText[] = ".DS_Store";

QString criterionDescription(const QVariant &criterion)
{
    QString text;
    QDebug(&text).noquote() << criterion;
    return text;
}

char *copyBytes(const QByteArray &bytes)
{
    char *copy = static_cast<char *>(std::malloc(static_cast<size_t>(bytes.size()) + 1));
    if (copy) {
        std::memcpy(copy, bytes.constData(), static_cast<size_t>(bytes.size()));
        copy[bytes.size()] = '\0';
    }
    return copy;
}

// Trimmed, decomposed text and, when it differs, its precomposed form.
bool setNormalisedText(KZFileSearchFilterStruct *f, const QVariant &value)
{
    if (value.typeId() != QMetaType::QString)
        return false;
    const QString trimmed = value.toString().trimmed();
    if (trimmed.isEmpty())
        return false;
    // Bytes that are not UTF-8 (from a command line) are compared as they are.
    const QByteArray nfd = kzplatform::kzPathBytes(trimmed.normalized(QString::NormalizationForm_D));
    const QByteArray nfc = kzplatform::kzPathBytes(trimmed.normalized(QString::NormalizationForm_C));
    f->text = copyBytes(nfd);
    f->textLength = static_cast<uint64_t>(nfd.size());
    f->ownsText = true;
    if (nfc != nfd) {
        f->auxText = copyBytes(nfc);
        f->auxTextLength = static_cast<uint64_t>(nfc.size());
    }
    return f->text != nullptr;
}

QDateTime midnightOf(const QDate &date)
{
    return QDateTime(date, QTime(0, 0), Qt::LocalTime);
}

bool dateOfValue(const QVariant &value, QDate *out)
{
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            return false;
        *out = dt.toLocalTime().date();
        return out->isValid();
    }
    case QMetaType::QDate:
        *out = value.toDate();
        return out->isValid();
    case QMetaType::QString: {
        const QDateTime dt = QDateTime::fromString(value.toString(), Qt::ISODate);
        if (!dt.isValid())
            return false;
        *out = dt.toLocalTime().date();
        return out->isValid();
    }
    default: return false;
    }
}

// Window start of "within the last n units" in seconds. A count that reaches
// back beyond the calendar starts the window before every date.
int64_t withinLastStart(qint64 n, int unit, const QCalendar &calendar, const QDateTime &now, const QDate &today)
{
    QDateTime start;
    qint64 units = 0;
    switch (unit) {
    case 1: start = midnightOf(today.addDays(-n)); break;
    case 2:
        if (!qMulOverflow(n, qint64(7), &units))
            start = midnightOf(today.addDays(-units));
        break;
    case 3:
        if (n <= std::numeric_limits<int>::max())
            start = midnightOf(today.addMonths(static_cast<int>(-n), calendar));
        break;
    case 4:
        if (n <= std::numeric_limits<int>::max())
            start = midnightOf(today.addYears(static_cast<int>(-n), calendar));
        break;
    case 5:
        if (!qMulOverflow(n, qint64(3600), &units))
            start = now.addSecs(-units);
        break;
    case 6:
        if (!qMulOverflow(n, qint64(60), &units))
            start = now.addSecs(-units);
        break;
    default: break;
    }
    return start.isValid() ? start.toSecsSinceEpoch() : std::numeric_limits<int64_t>::min();
}

// The window start of a date filter, whole seconds since 1970.
bool windowStart(int64_t op, const QVariant &value, const QCalendar &calendar, const QDateTime &now,
                 const QDateTime &todayMidnight, int64_t *out)
{
    const QDate today = todayMidnight.date();
    QDateTime start;
    switch (op) {
    case KZFileSearchOperatorDateExactlyDay:
    case KZFileSearchOperatorDateBefore:
    case KZFileSearchOperatorDateAfter: {
        QDate day;
        if (!dateOfValue(value, &day))
            return false;
        start = midnightOf(day);
        break;
    }
    case KZFileSearchOperatorDateToday: start = todayMidnight; break;
    case KZFileSearchOperatorDateYesterday: start = midnightOf(today.addDays(-1)); break;
    case KZFileSearchOperatorDateLastHour: start = now.addSecs(-3600); break;
    case KZFileSearchOperatorDateLast6Hours: start = now.addSecs(-21600); break;
    case KZFileSearchOperatorDateWithinLast: {
        qint64 n = 0;
        int unit = 0;
        if (value.typeId() != QMetaType::QString || !KZFileSearchParseWithinLast(value.toString(), &n, &unit)
            || !now.isValid() || !todayMidnight.isValid())
            return false;
        *out = withinLastStart(n, unit, calendar, now, today);
        return true;
    }
    default: return false;
    }
    if (!start.isValid())
        return false;
    *out = start.toSecsSinceEpoch();
    return true;
}

// Mount points of network and FUSE file systems strictly below root, spelt
// from root as the walk builds its paths (links on the way to root resolved).
std::vector<QByteArray> remoteMountsBelow(const QByteArray &root, const QList<kzplatform::KZMountEntry> &table)
{
    std::vector<QByteArray> mounts;
    if (table.isEmpty())
        return mounts;
    // A trailing "." makes the route follow a root that is itself a link, as the walk does.
    const QByteArray resolved = kzplatform::kzRouteOfPath(root + "/.", table).resolvedPath;
    for (const kzplatform::KZMountEntry &m : kzplatform::kzVisibleMounts(table)) {
        if (kzplatform::kzMountAccess(m) != kzplatform::KZMountAccess::Remote || m.mountPoint == resolved
            || !kzplatform::kzPathHasComponentPrefix(m.mountPoint, resolved))
            continue;
        const QByteArray below = resolved == "/" ? m.mountPoint : m.mountPoint.mid(resolved.size());
        mounts.push_back(root == "/" ? below : root + below);
    }
    return mounts;
}

bool isNameOperator(int64_t op)
{
    return op == KZFileSearchOperatorContains || op == KZFileSearchOperatorBeginsWith
        || op == KZFileSearchOperatorEndsWith || op == KZFileSearchOperatorIs || op == KZFileSearchOperatorIsNot
        || op == KZFileSearchOperatorDoesNotContain;
}

bool isDateOperator(int64_t op)
{
    return (op >= KZFileSearchOperatorDateExactlyDay && op <= KZFileSearchOperatorDateYesterday)
        || op == KZFileSearchOperatorDateWithinLast || op == KZFileSearchOperatorDateLastHour
        || op == KZFileSearchOperatorDateLast6Hours;
}

// "." and ".." resolved as text, empty components dropped and no trailing "/"
// (except "/" itself), so that prefix tests compare like with like; ".." at
// the root stays at the root. Links are not looked at: "a/link/.." is "a".
QString lexicallyNormalPath(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/'))) {
        QString relative = path;
        while (relative.size() > 1 && relative.endsWith(QLatin1Char('/')))
            relative.chop(1);
        return relative;
    }
    QStringList kept;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(part);
    }
    return QLatin1Char('/') + kept.join(QLatin1Char('/'));
}

// path is dir itself or continues it with "/".
bool isInsideOrEqual(const QString &path, const QString &dir)
{
    if (path == dir)
        return true;
    if (dir == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path.size() > dir.size() && path.startsWith(dir) && path.at(dir.size()) == QLatin1Char('/');
}

QStringList stringsOfValue(const QVariant &value)
{
    QStringList out;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() == QMetaType::QVariantList)
        for (const QVariant &v : value.toList())
            if (v.typeId() == QMetaType::QString)
                out.append(v.toString());
    return out;
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double: return true;
    default: return false;
    }
}

} // namespace

void KZFileSearchFiltersRelease(KZFileSearchFilterStruct *filters, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        KZFileSearchFilterStruct &f = filters[i];
        if (f.ownsText)
            std::free(f.text);
        std::free(f.auxText);
        f = KZFileSearchFilterStruct();
    }
}

bool KZFileSearchParseWithinLast(const QString &value, qint64 *count, int *unit)
{
    const QStringList parts = value.split(QLatin1Char('|'));
    if (parts.size() != 2)
        return false;
    const QString countText = parts.at(0).trimmed();
    bool okCount = false, okUnit = false;
    qint64 n = countText.toLongLong(&okCount);
    const int u = parts.at(1).trimmed().toInt(&okUnit);
    if (!okCount) {
        // More digits than a 64-bit count holds: as far back as any count goes.
        static const QRegularExpression digits(QStringLiteral("^\\+?[0-9]+$"));
        okCount = digits.match(countText).hasMatch();
        n = std::numeric_limits<qint64>::max();
    }
    if (!okCount || !okUnit || n < 0 || u < 1 || u > 6)
        return false;
    *count = n;
    *unit = u;
    return true;
}

KZSkippedDirNames KZSkippedDirNames::fromCriteria(const QVariantList &criteria)
{
    KZSkippedDirNames skipped;
    for (const QVariant &c : KZFileSearch::criteriaWithKind(KZFileSearchKindSkipDirNames, criteria)) {
        const QVariantMap map = c.toMap();
        if (map.value(QStringLiteral("operator")).toLongLong() != KZFileSearchOperatorIsNot)
            continue;
        for (const QString &name : stringsOfValue(map.value(QStringLiteral("value")))) {
            const QByteArray bytes = kzplatform::kzPathBytes(name);
            if (!bytes.isEmpty() && bytes != "." && bytes != ".." && !bytes.contains('/'))
                skipped._names.emplace_back(bytes.constData(), static_cast<size_t>(bytes.size()));
        }
    }
    std::sort(skipped._names.begin(), skipped._names.end());
    skipped._names.erase(std::unique(skipped._names.begin(), skipped._names.end()), skipped._names.end());
    return skipped;
}

bool KZSkippedDirNames::contains(const char *name, size_t length) const
{
    const std::string_view key(name, length);
    const auto it = std::lower_bound(_names.begin(), _names.end(), key,
                                     [](const std::string &a, std::string_view b) { return std::string_view(a) < b; });
    return it != _names.end() && std::string_view(*it) == key;
}

QVariantMap KZSkippedDirNamesCriterion(const QStringList &names)
{
    if (names.isEmpty())
        return {};
    return {{QStringLiteral("kind"), int(KZFileSearchKindSkipDirNames)},
            {QStringLiteral("operator"), int(KZFileSearchOperatorIsNot)},
            {QStringLiteral("value"), names}};
}

QVariantList KZFileSearch::criteriaWithKind(int64_t kind, const QVariantList &criteria)
{
    QVariantList out;
    for (const QVariant &c : criteria) {
        const QVariant k = c.toMap().value(QStringLiteral("kind"));
        if ((k.isValid() ? k.toLongLong() : 0) == kind)
            out.append(c);
    }
    return out;
}

QDateTime KZFileSearch::midnightOfDate(const QDateTime &date)
{
    return midnightOf(date.toLocalTime().date());
}

void KZFileSearch::canonisateCriterionKind(int64_t kind, const QVariantList &criteria,
                                           KZFileSearchFilterStruct *filters, int32_t *filtersCount,
                                           const QCalendar &calendar, const QDateTime &now,
                                           const QDateTime &todayMidnight)
{
    const QVariantList ofKind = criteriaWithKind(kind, criteria);
    for (const QVariant &criterion : ofKind) {
        const QVariantMap map = criterion.toMap();
        const int64_t op = map.value(QStringLiteral("operator")).toLongLong();
        const QVariant value = map.value(QStringLiteral("value"));
        KZFileSearchFilterStruct &f = filters[*filtersCount];
        f = KZFileSearchFilterStruct();
        bool isCorrect = false;
        switch (kind) {
        case KZFileSearchKindUTIType:
            if ((op == KZFileSearchOperatorIs || op == KZFileSearchOperatorIsNot)
                && value.typeId() == QMetaType::QString && !value.toString().isEmpty()) {
                const QString s = value.toString();
                isCorrect = true;
                if (s == KZFileSearchUTIType_RegFile) {
                    f.entryType = DT_REG;
                } else if (s == KZFileSearchUTIType_Directorty) {
                    f.entryType = DT_DIR;
                } else if (s == KZFileSearchUTIType_SymLink) {
                    f.entryType = DT_LNK;
                } else if (s == KZFileSearchUTIType_DSStore) {
                    f.text = const_cast<char *>(kDSStoreText);
                    f.textLength = 9;
                } else {
                    f.typeIdentifier = s;
                }
            }
            break;
        case KZFileSearchKindFileSize:
            if ((op == KZFileSearchOperatorLessThan || op == KZFileSearchOperatorGreaterThan) && isNumber(value)) {
                f.sizeValue = value.toLongLong();
                isCorrect = true;
            }
            break;
        case KZFileSearchKindFileName:
            isCorrect = isNameOperator(op) && setNormalisedText(&f, value);
            break;
        case KZFileSearchKindXAttrs:
            isCorrect = (op == KZFileSearchOperatorIsDefined || op == KZFileSearchOperatorIsNotDefined)
                && setNormalisedText(&f, value);
            break;
        case KZFileSearchKindTagNames:
            if (value.typeId() == QMetaType::QString) {
                const QString tag = value.toString().trimmed();
                if (!tag.isEmpty()) {
                    f.typeIdentifier = tag;
                    const QByteArray utf8 = tag.toUtf8();
                    f.auxText = copyBytes(utf8);
                    f.auxTextLength = static_cast<uint64_t>(utf8.size());
                    isCorrect = f.auxText != nullptr;
                }
            }
            break;
        case KZFileSearchKindDateCreated:
        case KZFileSearchKindDateModified: {
            int64_t start = 0;
            if (isDateOperator(op) && windowStart(op, value, calendar, now, todayMidnight, &start)) {
                f.timeValue = start;
                isCorrect = true;
            }
            break;
        }
        default: break;
        }
        if (!isCorrect) {
            KZFileSearchFiltersRelease(&f, 1);
            KZLOG_ERROR_M(QStringLiteral("isCorrect==NO criterion:") + criterionDescription(criterion));
            continue;
        }
        f.kind = kind;
        f.op = op;
        ++*filtersCount;
    }
}

int32_t KZFileSearch::compileCriteria(const QVariantList &criteria, KZFileSearchFilterStruct *filters,
                                      const QDateTime &now)
{
    int32_t filtersCount = 0;
    const QCalendar calendar;
    const QDateTime todayMidnight = midnightOfDate(now);
    for (const int64_t kind : {KZFileSearchKindFileSize, KZFileSearchKindDateCreated, KZFileSearchKindDateModified,
                               KZFileSearchKindFileName, KZFileSearchKindTagNames, KZFileSearchKindUTIType,
                               KZFileSearchKindXAttrs}) {
        const bool dated = kind == KZFileSearchKindDateCreated || kind == KZFileSearchKindDateModified;
        canonisateCriterionKind(kind, criteria, filters, &filtersCount, calendar, dated ? now : QDateTime(),
                                dated ? todayMidnight : QDateTime());
    }
    return filtersCount;
}

void KZFileSearch::performSearchInDirectory(const QString &scopeDir, const QVariantList &criteria,
                                            const KZFileSearchCallback &didPerformBk)
{
    performSearch(scopeDir, criteria, &didPerformBk, nullptr);
}

void KZFileSearch::performPathSearchInDirectory(const QString &scopeDir, const QVariantList &criteria,
                                                const KZFileSearchPathsCallback &didPerformBk)
{
    performSearch(scopeDir, criteria, nullptr, &didPerformBk);
}

void KZFileSearch::performSearch(const QString &scopeDirArg, const QVariantList &criteria,
                                 const KZFileSearchCallback *records, const KZFileSearchPathsCallback *paths)
{
    if (scopeDirArg.isEmpty())
        KZLOG_CRITICAL_M(QStringLiteral("scopeDir==nil"));
    if (criteria.isEmpty())
        KZLOG_CRITICAL_M(QStringLiteral("_criteria.count==0"));
    // The flag is never cleared: a search stopped while it still waited for
    // a thread must not walk once it gets one. A walk object serves one walk.

    const QString scopeDir = lexicallyNormalPath(scopeDirArg);
    QStringList roots;
    QStringList excluded;
    if (!scopeDir.isEmpty()) {
        for (const QVariant &c : criteriaWithKind(KZFileSearchKindDirPaths, criteria)) {
            const QVariantMap map = c.toMap();
            const int64_t op = map.value(QStringLiteral("operator")).toLongLong();
            if (op != KZFileSearchOperatorIs && op != KZFileSearchOperatorIsNot)
                continue;
            for (const QString &raw : stringsOfValue(map.value(QStringLiteral("value")))) {
                const QString path = lexicallyNormalPath(raw);
                if (path.isEmpty() || !isInsideOrEqual(path, scopeDir))
                    continue;
                (op == KZFileSearchOperatorIs ? roots : excluded).append(path);
            }
        }
    }
    // A root inside another root (or named twice) would report its entries twice.
    QStringList distinctRoots;
    for (qsizetype i = 0; i < roots.size(); ++i) {
        bool covered = false;
        for (qsizetype j = 0; j < roots.size() && !covered; ++j) {
            if (i == j)
                continue;
            covered = roots.at(i) == roots.at(j) ? j < i : isInsideOrEqual(roots.at(i), roots.at(j));
        }
        if (!covered)
            distinctRoots.append(roots.at(i));
    }
    if (distinctRoots.isEmpty() && !scopeDir.isEmpty())
        distinctRoots.append(scopeDir);

    bool skipDSStore = true;
    for (const QVariant &c : criteriaWithKind(KZFileSearchKindUTIType, criteria)) {
        const QVariantMap map = c.toMap();
        const int64_t op = map.value(QStringLiteral("operator")).toLongLong();
        const QVariant value = map.value(QStringLiteral("value"));
        if ((op == KZFileSearchOperatorIs || op == KZFileSearchOperatorIsNot)
            && value.typeId() == QMetaType::QString && value.toString() == KZFileSearchUTIType_DSStore)
            skipDSStore = false;
    }
    bool includeTrash = false;
    for (const QVariant &c : criteriaWithKind(KZFileSearchKindTrash, criteria)) {
        const QVariantMap map = c.toMap();
        const QVariant value = map.value(QStringLiteral("value"));
        if (map.value(QStringLiteral("operator")).toLongLong() == KZFileSearchOperatorIs && isNumber(value)
            && (value.toLongLong() & 1))
            includeTrash = true;
    }

    std::vector<KZFileSearchFilterStruct> filters(static_cast<size_t>(criteria.size()));
    const int32_t filtersCount = compileCriteria(
        criteria, filters.data(), _nowForTesting.isValid() ? _nowForTesting : QDateTime::currentDateTime());

    KZFileSearchCounters counters;
    if (filtersCount == 0) {
        KZLOG_ERROR_M(QStringLiteral("filtersCount==0 criteria:") + criterionDescription(criteria));
    } else {
        std::vector<QByteArray> excludedBytes;
        std::vector<KZExcludedDir> nodes(static_cast<size_t>(excluded.size()));
        for (qsizetype i = 0; i < excluded.size(); ++i)
            excludedBytes.push_back(kzplatform::kzPathBytes(excluded.at(i)));
        for (size_t i = 0; i < nodes.size(); ++i) {
            nodes[i].path = excludedBytes[i].data();
            nodes[i].pathLength = static_cast<uint64_t>(excludedBytes[i].size());
            nodes[i].next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
        }

        // Only size and date filters read the snapshot; a size filter also
        // means that only regular files can match.
        bool readsSnapshot = false;
        bool hasSizeFilter = false;
        for (int32_t i = 0; i < filtersCount; ++i) {
            const int64_t kind = filters[i].kind;
            hasSizeFilter = hasSizeFilter || kind == KZFileSearchKindFileSize;
            readsSnapshot = readsSnapshot || kind == KZFileSearchKindFileSize || kind == KZFileSearchKindDateCreated
                            || kind == KZFileSearchKindDateModified;
        }

        KZCBufferContainer buffer;
        KZCBufferContainerNew(&buffer, kScratchBufferCapacity, false);
        KZWalkOptions options;
        options.skipDSStore = skipDSStore;
        options.includeTrash = includeTrash;
        options.statMatches = !_skipsMatchStat || readsSnapshot;
        options.onlyFilesMatch = hasSizeFilter;
        options.excludedDirs = nodes.empty() ? nullptr : nodes.data();
        const KZSkippedDirNames skippedDirNames = KZSkippedDirNames::fromCriteria(criteria);
        options.skippedDirNames = skippedDirNames.isEmpty() ? nullptr : &skippedDirNames;
        options.filters = filters.data();
        options.filtersCount = filtersCount;
        options.buffer = &buffer;
        options.isCancelled = &_isCancelled;
        options.counters = &counters;
        options.callback = records;
        options.pathsCallback = paths;
        options.unreadableFolder = &_unreadableFolder;
        options.homeTrashPath = KZHomeTrashPath();
        options.walkThreads = walkThreads();
        const QList<kzplatform::KZMountEntry> mountTable = kzplatform::kzCurrentMountTable();
        for (const QString &root : distinctRoots) {
            const QByteArray rootBytes = kzplatform::kzPathBytes(root);
            options.remoteMounts = remoteMountsBelow(rootBytes, mountTable);
            const int status = KZPerformSearchWithOptions(rootBytes.constData(), options);
            if (status == 0)
                KZLOG_INFO_M(QStringLiteral("PerformSearchInDirectory cancelled scopeDir:%1").arg(root));
            else if (status != 1)
                KZLOG_ERROR_M(QStringLiteral("PerformSearchInDirectory:%1 scopeDir:%2").arg(status).arg(root));
        }
        KZCBufferContainerFree(&buffer);
    }
    KZFileSearchFiltersRelease(filters.data(), filtersCount);
    if (records && *records)
        (*records)(KZFileSearchStatusFinished, FileSearchResultList(), counters);
    else if (paths && *paths)
        (*paths)(KZFileSearchStatusFinished, QByteArray(), counters);
}
