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
    m_savedSearches = readFromDisk();
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

QList<SavedSearchRef> SavedSearches::readFromDisk()
{
    m_knownStamp = currentDiskStamp();
    QList<SavedSearchRef> records;
    if (m_filePath.isEmpty())
        return records;
    const auto archive = kz_unarchivedObjectAtFile(m_filePath, kClassName);
    m_knownStamp = currentDiskStamp();
    if (!archive)
        return records;
    if (!archive->object.isArray()) {
        KZLOG_ERROR_M(QStringLiteral("exception:not a list of saved searches filePath:%1").arg(m_filePath));
        kzSetFileAside(m_filePath, /*move=*/true);
        m_knownStamp = currentDiskStamp();
        return records;
    }
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
    if (badRecords > 0) {
        // Keep a copy of the file as it was: the next save drops what could
        // not be read.
        KZLOG_ERROR_M(QStringLiteral("exception:%1 unreadable saved searches filePath:%2").arg(badRecords).arg(m_filePath));
        kzSetFileAside(m_filePath, /*move=*/false);
    }
    return records;
}

void SavedSearches::adoptRecordsAddedElsewhere()
{
    if (currentDiskStamp() == m_knownStamp)
        return;
    const QList<SavedSearchRef> onDisk = readFromDisk();
    for (const SavedSearchRef &record : onDisk) {
        if (!savedSearchWithUniqueId(record->uniqueId))
            m_savedSearches.append(record);
    }
}

bool SavedSearches::addSavedSearches(const SavedSearchRef &record)
{
    if (!record || record->name.isEmpty()) {
        KZLOG_ERROR_M(QStringLiteral("record.name.length==0"));
        return false;
    }
    if (m_savedSearches.contains(record)) {
        KZLOG_ERROR_M(QStringLiteral("record already saved uniqueId:%1").arg(record->uniqueId));
        return false;
    }
    adoptRecordsAddedElsewhere();
    qint64 largest = 0;
    for (const SavedSearchRef &stored : m_savedSearches)
        largest = std::max(largest, stored->uniqueId);
    record->uniqueId = largest + 1;
    record->criteria = kzDetachedRuleRows(record->criteria);
    m_savedSearches.append(record);
    return saveToDisk();
}

bool SavedSearches::removeSavedSearches(const SavedSearchRef &record)
{
    if (!record || record->uniqueId == 0)
        return false;
    adoptRecordsAddedElsewhere();
    const qint64 uniqueId = record->uniqueId;
    const auto it = std::find_if(m_savedSearches.begin(), m_savedSearches.end(),
                                 [&](const SavedSearchRef &stored) { return stored->uniqueId == uniqueId; });
    if (it == m_savedSearches.end())
        return false;
    if (m_selectedSavedSearch && m_selectedSavedSearch->uniqueId == uniqueId)
        m_selectedSavedSearch.reset();
    m_savedSearches.erase(it);
    return saveToDisk();
}

bool SavedSearches::replaceCriteriaOfSavedSearch(const SavedSearchRef &record, const KZRuleRows &criteria)
{
    if (!record || !savedSearchWithUniqueId(record->uniqueId))
        return false;
    record->criteria = kzDetachedRuleRows(criteria);
    return saveToDisk();
}

bool SavedSearches::saveToDisk()
{
    adoptRecordsAddedElsewhere();
    QCborArray array;
    for (const SavedSearchRef &record : m_savedSearches) {
        QCborMap map;
        map.insert(kName, record->name);
        map.insert(kCriteria, kzArchiveRuleRows(record->criteria));
        map.insert(kUniqueId, record->uniqueId);
        array.append(map);
    }
    if (m_filePath.isEmpty() || !kz_archiveObjectToFile(KZArchivedObject{kClassName, 1, array}, m_filePath)) {
        KZLOG_ERROR_M(QStringLiteral("kz_archiveObjectToFile==NO path:%1").arg(m_filePath));
        return false;
    }
    m_knownStamp = currentDiskStamp();
    return true;
}
