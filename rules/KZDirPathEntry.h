// One folder of a folders rule: checked (takes part in the criterion) or not.
// Entries are shared by the folders control and the row's value item, so
// checking a folder is seen by both.
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <memory>

struct KZDirPathEntry {
    qint64 state = 1; // 1 checked, 0 unchecked
    QString path;     // absolute folder path
};

using KZDirPathEntryRef = std::shared_ptr<KZDirPathEntry>;
using KZDirPathEntryList = QList<KZDirPathEntryRef>;

Q_DECLARE_METATYPE(KZDirPathEntryList)

inline KZDirPathEntryRef kzMakeDirPathEntry(const QString &path, qint64 state = 1)
{
    return std::make_shared<KZDirPathEntry>(KZDirPathEntry{state, path});
}
