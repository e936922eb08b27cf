// User-visible texts: looked up by key in the main table or a per-class table.
// An installed Qt translation wins; otherwise the built-in English table turns
// symbolic keys ("KZFileSearchCriterion_fileName") into words; a key without a
// translation shows as itself.
#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>
#include <utility>

// The main table's name.
inline constexpr const char *KZLocalizationMainTable = "Localizable";

class KZLocalization
{
public:
    // Any thread.
    static QString localizedString(const QString &key, const char *table = KZLocalizationMainTable);
    // Adds English texts to a table (later entries replace earlier ones).
    static void registerEnglish(const char *table, std::initializer_list<std::pair<const char *, const char *>> entries);
};

inline QString KZLocalizedString(const char *key, const char *table = KZLocalizationMainTable)
{
    return KZLocalization::localizedString(QString::fromUtf8(key), table);
}

// Fills a design-style format ("%@", "%d", "%ld", "%lu", "%s", "%.2f", "%%")
// with already-formatted arguments, in order. Unknown or surplus conversions
// are left as they stand.
QString KZStringWithFormat(const QString &format, const QStringList &arguments);
