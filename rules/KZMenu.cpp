#include "rules/KZMenu.h"

#include "support/KZLocalization.h"

KZMenuEntry KZMenuEntry::separator()
{
    KZMenuEntry entry;
    entry.isSeparator = true;
    return entry;
}

KZMenuEntry KZMenuEntry::withKey(const char *key, qint64 tag)
{
    KZMenuEntry entry;
    entry.titleKey = QString::fromUtf8(key);
    entry.title = KZLocalizedString(key);
    entry.tag = tag;
    return entry;
}

KZMenuEntry KZMenuEntry::withKeyAndObject(const char *key, const QVariant &object)
{
    KZMenuEntry entry;
    entry.titleKey = QString::fromUtf8(key);
    entry.title = KZLocalizedString(key);
    entry.representedObject = object;
    return entry;
}

KZMenuEntry KZMenuEntry::withTitleAndObject(const QString &title, const QVariant &object)
{
    KZMenuEntry entry;
    entry.title = title;
    entry.representedObject = object;
    return entry;
}

KZMenu::KZMenu(const QString &title) : m_title(title) {}

void KZMenu::addEntry(const KZMenuEntry &entry)
{
    m_entries.append(entry);
}

qsizetype KZMenu::indexOfTag(qint64 tag) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (!m_entries.at(i).isSeparator && m_entries.at(i).tag == tag)
            return i;
    }
    return -1;
}

qsizetype KZMenu::indexOfRepresentedObject(const QVariant &object) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (!m_entries.at(i).isSeparator && kzSameRepresentedObject(m_entries.at(i).representedObject, object))
            return i;
    }
    return -1;
}

qsizetype KZMenu::indexOfSelection(qint64 tag, const QVariant &object) const
{
    if (m_entries.isEmpty())
        return -1;
    const qsizetype index = tag != 0 ? indexOfTag(tag) : indexOfRepresentedObject(object);
    return index >= 0 ? index : 0;
}

bool kzSameRepresentedObject(const QVariant &a, const QVariant &b)
{
    const bool aNone = !a.isValid() || a.isNull();
    const bool bNone = !b.isValid() || b.isNull();
    if (aNone || bNone)
        return aNone && bNone;
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
        return a.typeId() == b.typeId() && a.toString() == b.toString();
    return a == b;
}
