#include "rules/SavedSearches.h"

#include <QCborArray>
#include <QCborMap>
#include <QFile>
#include <algorithm>

#include "platform/KZPosixFS.h"
#include "support/KZArchive.h"
#include "support/KZFileSafety.h"
#include "support/KZFunctions.h"
#include "support/KZLog.h"

namespace {

const QString kClassName = QStringLiteral("SavedSearches");
const QString kName = QStringLiteral("name");
const QString kCriteria = QStringLiteral("criteria");
const QString kUniqueId = QStringLiteral("uniqueId");

QSet<QPair<qint64, QString>> keysOf(const QList<SavedSearchRef> &records)
{
    QSet<QPair<qint64, QString>> keys;
    for (const SavedSearchRef &record : records)
        keys.insert({record->uniqueId, record->name});
    return keys;
}

std::unique_ptr<SavedSearches> &sharedSlot()
{
    static std::unique_ptr<SavedSearches> instance;
    return instance;
}
} // namespace

SavedSearches *SavedSearches::sharedInstance()
{
    std::unique_ptr<SavedSearches> &instance = sharedSlot();
    if (!instance)
        instance = std::make_unique<SavedSearches>(defaultFilePath());
    return instance.get();
}

void SavedSearches::resetSharedInstanceForTesting()
{
    sharedSlot().reset();
}

QString SavedSearches::defaultFilePath()
{
    const QString folder = KZFunctions::appSupportPath();
    if (folder.isEmpty())
        return QString();
    return folder + QStringLiteral("/SavedSearches");
}

SavedSearches::SavedSearches(const QString &filePath) : m_filePath(filePath)
{
    m_savedSearches = readFromDisk().value_or(QList<SavedSearchRef>());
    m_storedKeys = keysOf(m_savedSearches);
}

SavedSearchRef SavedSearches::savedSearchWithUniqueId(qint64 uniqueId) const
{
    for (const SavedSearchRef &record : m_savedSearches) {
        if (record->uniqueId == uniqueId)
            return record;
    }
    return nullptr;
}

SavedSearchRef SavedSearches::savedSearchNamed(const QString &name) const
{
    for (const SavedSearchRef &record : m_savedSearches) {
        if (record->name == name)
            return record;
    }
    return nullptr;
}

SavedSearches::DiskStamp SavedSearches::currentDiskStamp() const
{
    DiskStamp stamp;
    if (m_filePath.isEmpty())
        return stamp;
    kzplatform::KZStat st;
    if (kzplatform::kzStatFollow(QFile::encodeName(m_filePath).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.fields = {qint64(st.dev), qint64(st.ino), st.size, qint64(st.mtime.tv_sec), qint64(st.mtime.tv_nsec)};
    return stamp;
}

std::optional<QList<SavedSearchRef>> SavedSearches::readFromDisk()
{
    if (m_filePath.isEmpty())
        return std::nullopt;
    const auto archive = kz_unarchivedObjectAtFile(m_filePath, kClassName);
    if (!archive)
        return std::nullopt;
    if (!archive->object.isArray()) {
        KZLOG_ERROR_M(QStringLiteral("exception:not a list of saved searches filePath:%1").arg(m_filePath));
        kzSetFileAside(m_filePath, /*move=*/true);
        return std::nullopt;
    }
    QList<SavedSearchRef> records;
    int badRecords = 0;
    for (const QCborValue &value : archive->object.toArray()) {
        const QCborMap map = value.toMap();
        const QCborValue name = map.value(kName);
        const QCborValue uniqueId = map.value(kUniqueId);
        if (!value.isMap() || !name.isString() || name.toString().isEmpty() || !uniqueId.isInteger()
            || !map.value(kCriteria).isArray()) {
            ++badRecords;
            continue;
        }
        int skippedRows = 0;
        auto record = std::make_shared<SavedSearch>();
        record->name = name.toString();
        record->uniqueId = uniqueId.toInteger();
        record->criteria = kzUnarchiveRuleRows(map.value(kCriteria), &skippedRows);
        badRecords += skippedRows > 0 ? 1 : 0;
        records.append(record);
    }
    const DiskStamp stamp = currentDiskStamp();
    if (badRecords > 0 && stamp != m_copiedAsideStamp) {
        // Keep a copy of the file as it was: the next save drops what could
        // not be read.
        KZLOG_ERROR_M(QStringLiteral("exception:%1 unreadable saved searches filePath:%2").arg(badRecords).arg(m_filePath));
        kzSetFileAside(m_filePath, /*move=*/false);
        m_copiedAsideStamp = stamp;
    }
    return records;
}

void SavedSearches::takeInRecordsFromDisk(const QList<SavedSearchRef> &stored)
{
    QList<SavedSearchRef> merged;
    QSet<const SavedSearch *> kept;
    for (const SavedSearchRef &record : stored) {
        SavedSearchRef mine;
        if (m_storedKeys.contains({record->uniqueId, record->name})) {
            // Known here: this process's object stays, with the rows stored
            // now; gone when this process removed it.
            for (const SavedSearchRef &candidate : std::as_const(m_savedSearches)) {
                if (candidate->uniqueId == record->uniqueId && !kept.contains(candidate.get())) {
                    mine = candidate;
                    break;
                }
            }
            if (!mine)
                continue;
            mine->criteria = record->criteria;
            kept.insert(mine.get());
        }
        merged.append(mine ? mine : record);
    }
    QSet<qint64> storedIds;
    for (const auto &key : std::as_const(m_storedKeys))
        storedIds.insert(key.first);
    qint64 largest = 0;
    for (const SavedSearchRef &record : std::as_const(merged))
        largest = std::max(largest, record->uniqueId);
    for (const SavedSearchRef &mine : std::as_const(m_savedSearches)) {
        // Stored before and gone now: removed by another process. Never
        // stored (a write failed): kept, with an identifier of its own.
        if (kept.contains(mine.get()) || storedIds.contains(mine->uniqueId))
            continue;
        const bool taken = std::any_of(merged.cbegin(), merged.cend(),
                                       [&](const SavedSearchRef &r) { return r->uniqueId == mine->uniqueId; });
        if (taken)
            mine->uniqueId = ++largest;
        merged.append(mine);
    }
    if (m_selectedSavedSearch && !merged.contains(m_selectedSavedSearch))
        m_selectedSavedSearch.reset();
    m_savedSearches = merged;
    m_storedKeys = keysOf(stored);
}

bool SavedSearches::changeOnDisk(const std::function<bool(QString *message)> &change, QString *message)
{
    kzplatform::KZFileLock lock;
    if (!m_filePath.isEmpty()) {
        if (!kzLockSharedFile(m_filePath + QStringLiteral(".lock"), &lock, message))
            return false;
        if (const std::optional<QList<SavedSearchRef>> stored = readFromDisk())
            takeInRecordsFromDisk(*stored);
    }
    if (!change(message))
        return false;
    QCborArray array;
    for (const SavedSearchRef &record : std::as_const(m_savedSearches)) {
        QCborMap map;
        map.insert(kName, record->name);
        map.insert(kCriteria, kzArchiveRuleRows(record->criteria));
        map.insert(kUniqueId, record->uniqueId);
        array.append(map);
    }
    if (m_filePath.isEmpty() || !kz_archiveObjectToFile(KZArchivedObject{kClassName, 1, array}, m_filePath)) {
        KZLOG_ERROR_M(QStringLiteral("kz_archiveObjectToFile==NO path:%1").arg(m_filePath));
        if (message)
            *message = QStringLiteral("the saved searches could not be written to %1").arg(m_filePath);
        return false;
    }
    m_storedKeys = keysOf(m_savedSearches);
    return true;
}

SavedSearchRef SavedSearches::storedRecordLike(const SavedSearchRef &record) const
{
    for (const SavedSearchRef &stored : m_savedSearches) {
        if (stored->uniqueId == record->uniqueId && stored->name == record->name)
            return stored;
    }
    return nullptr;
}

bool SavedSearches::addSavedSearches(const SavedSearchRef &record, QString *message, bool refuseTakenName)
{
    if (!record || record->name.isEmpty()) {
        KZLOG_ERROR_M(QStringLiteral("record.name.length==0"));
        return false;
    }
    if (m_savedSearches.contains(record)) {
        KZLOG_ERROR_M(QStringLiteral("record already saved uniqueId:%1").arg(record->uniqueId));
        return false;
    }
    return changeOnDisk([&](QString *why) {
        if (refuseTakenName && savedSearchNamed(record->name)) {
            if (why)
                *why = QStringLiteral("a saved search named \"%1\" exists already").arg(record->name);
            return false;
        }
        qint64 largest = 0;
        for (const SavedSearchRef &stored : std::as_const(m_savedSearches))
            largest = std::max(largest, stored->uniqueId);
        record->uniqueId = largest + 1;
        record->criteria = kzDetachedRuleRows(record->criteria);
        m_savedSearches.append(record);
        return true;
    }, message);
}

bool SavedSearches::removeSavedSearches(const SavedSearchRef &record, QString *message)
{
    if (!record || record->uniqueId == 0)
        return false;
    return changeOnDisk([&](QString *why) {
        const SavedSearchRef stored = storedRecordLike(record);
        if (!stored) {
            if (why)
                *why = QStringLiteral("the saved search \"%1\" is not stored any more").arg(record->name);
            return false;
        }
        if (m_selectedSavedSearch && m_selectedSavedSearch->uniqueId == stored->uniqueId)
            m_selectedSavedSearch.reset();
        m_savedSearches.removeOne(stored);
        return true;
    }, message);
}

bool SavedSearches::replaceCriteriaOfSavedSearch(const SavedSearchRef &record, const KZRuleRows &criteria, QString *message)
{
    if (!record || record->uniqueId == 0)
        return false;
    return changeOnDisk([&](QString *why) {
        const SavedSearchRef stored = storedRecordLike(record);
        if (!stored) {
            if (why)
                *why = QStringLiteral("the saved search \"%1\" is not stored any more").arg(record->name);
            return false;
        }
        stored->criteria = kzDetachedRuleRows(criteria);
        if (record != stored)
            record->criteria = stored->criteria;
        return true;
    }, message);
}

bool SavedSearches::saveToDisk(QString *message)
{
    return changeOnDisk([](QString *) { return true; }, message);
}
