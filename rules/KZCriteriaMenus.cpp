#include "rules/KZCriteriaMenus.h"

#include <atomic>
#include <mutex>

#include <QSet>

#include "platform/KZMimeTypeDescription.h"
#include "support/KZLocalization.h"

void kzRegisterRulesEnglishTables()
{
    static std::once_flag once;
    std::call_once(once, [] {
        KZLocalization::registerEnglish(KZLocalizationMainTable, {
            {"KZFileSearchCriterion_fileName", "Name"},
            {"KZFileSearchCriterion_fileSize", "Size"},
            {"KZFileSearchCriterion_UTIType", "Kind"},
            {"KZFileSearchCriterion_dateCreated", "Created date"},
            {"KZFileSearchCriterion_dateModified", "Modified date"},
            {"KZFileSearchCriterion_tagNames", "Tags"},
            {"KZFileSearchCriterion_xAttrs", "Extended attribute"},
            {"KZFileSearchCriterion_dirPaths", "Folders"},
            {"KZFileSearchOperator_contains", "contains"},
            {"KZFileSearchOperator_doesNotContain", "does not contain"},
            {"KZFileSearchOperator_beginsWith", "begins with"},
            {"KZFileSearchOperator_endsWith", "ends with"},
            {"KZFileSearchOperator_is", "is"},
            {"KZFileSearchOperator_isNot", "is not"},
            {"KZFileSearchOperator_lessThan", "is less than"},
            {"KZFileSearchOperator_greaterThan", "is greater than"},
            {"KZFileSearchOperator_dateLastHour", "is within the last hour"},
            {"KZFileSearchOperator_dateLast6Hours", "is within the last 6 hours"},
            {"KZFileSearchOperator_dateToday", "is today"},
            {"KZFileSearchOperator_dateYesterday", "is yesterday"},
            {"KZFileSearchOperator_dateWithinLast", "is within the last"},
            {"KZFileSearchOperator_dateExactlyDay", "is exactly"},
            {"KZFileSearchOperator_dateBefore", "is before"},
            {"KZFileSearchOperator_dateAfter", "is after"},
            {"KZFileSearchOperator_isDefined", "is defined"},
            {"KZFileSearchOperator_isNotDefined", "is not defined"},
            {"FileSizePoids_KB", "KB"},
            {"FileSizePoids_MB", "MB"},
            {"FileSizePoids_GB", "GB"},
            {"FileSizePoids_TB", "TB"},
            {"Yeek(s)", "Week(s)"},
            {"%@ paths", "%@ paths"},
            {"1 path (%@)", "1 path (%@)"},
            // Media families of the kind menu: the database describes none of them.
            {"image/*", "Image"},
            {"audio/*", "Audio"},
            {"video/*", "Movie"},
            {"font/*", "Font"},
            {"message/*", "Mail Message"},
            {"*/*", "Any Item"},
        });
    });
}

const QList<qint64> &kzMajorCriteriaKindsInOrder()
{
    static const QList<qint64> kinds = {5, 4, 3, 6, 2, 1, 8, 10};
    return kinds;
}

KZMenuRef kzMajorCriteriaMenu()
{
    kzRegisterRulesEnglishTables();
    auto menu = std::make_shared<KZMenu>(KZMajorCriteriaMenuTitle);
    menu->addEntry(KZMenuEntry::withKey("KZFileSearchCriterion_dateModified", KZFileSearchKindDateModified));
    menu->addEntry(KZMenuEntry::withKey("KZFileSearchCriterion_dateCreated", KZFileSearchKindDateCreated));
    menu->addEntry(KZMenuEntry::withKey("KZFileSearchCriterion_UTIType", KZFileSearchKindUTIType));
    menu->addEntry(KZMenuEntry::withKey("KZFileSearchCriterion_tagNames", KZFileSearchKindTagNames));
    menu->addEntry(KZMenuEntry::withKey("KZFileSearchCriterion_fileSize", KZFileSearchKindFileSize));
    menu->addEntry(KZMenuEntry::withKey("KZFileSearchCriterion_fileName", KZFileSearchKindFileName));
    menu->addEntry(KZMenuEntry::separator());
    menu->addEntry(KZMenuEntry::withKey("KZFileSearchCriterion_xAttrs", KZFileSearchKindXAttrs));
    menu->addEntry(KZMenuEntry::separator());
    menu->addEntry(KZMenuEntry::withKey("KZFileSearchCriterion_dirPaths", KZFileSearchKindDirPaths));
    return menu;
}

KZMenuRef kzOperatorMenuOfCriterionKind(qint64 kind, const QList<kzplatform::KZFileLabel> &labels)
{
    kzRegisterRulesEnglishTables();
    KZMenuRef menu;
    switch (kind) {
    case KZFileSearchKindFileName:
        menu = std::make_shared<KZMenu>(KZOperatorMenuFileNameTitle);
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_contains", KZFileSearchOperatorContains));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_doesNotContain", KZFileSearchOperatorDoesNotContain));
        menu->addEntry(KZMenuEntry::separator());
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_beginsWith", KZFileSearchOperatorBeginsWith));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_endsWith", KZFileSearchOperatorEndsWith));
        menu->addEntry(KZMenuEntry::separator());
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_is", KZFileSearchOperatorIs));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_isNot", KZFileSearchOperatorIsNot));
        break;
    case KZFileSearchKindFileSize:
        menu = std::make_shared<KZMenu>(KZOperatorMenuFileSizeTitle);
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_lessThan", KZFileSearchOperatorLessThan));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_greaterThan", KZFileSearchOperatorGreaterThan));
        break;
    case KZFileSearchKindUTIType:
        menu = std::make_shared<KZMenu>(KZOperatorMenuUTITypeTitle);
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_is", KZFileSearchOperatorIs));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_isNot", KZFileSearchOperatorIsNot));
        break;
    case KZFileSearchKindDateCreated:
    case KZFileSearchKindDateModified:
        menu = std::make_shared<KZMenu>(KZOperatorMenuDateTitle);
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_dateLastHour", KZFileSearchOperatorDateLastHour));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_dateLast6Hours", KZFileSearchOperatorDateLast6Hours));
        menu->addEntry(KZMenuEntry::separator());
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_dateToday", KZFileSearchOperatorDateToday));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_dateYesterday", KZFileSearchOperatorDateYesterday));
        menu->addEntry(KZMenuEntry::separator());
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_dateWithinLast", KZFileSearchOperatorDateWithinLast));
        menu->addEntry(KZMenuEntry::separator());
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_dateExactlyDay", KZFileSearchOperatorDateExactlyDay));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_dateBefore", KZFileSearchOperatorDateBefore));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_dateAfter", KZFileSearchOperatorDateAfter));
        break;
    case KZFileSearchKindTagNames:
        menu = std::make_shared<KZMenu>(KZOperatorMenuTagNamesTitle);
        // The first label of the list stands for "no label" and is not offered.
        for (qsizetype i = 1; i < labels.size(); ++i) {
            KZMenuEntry entry = KZMenuEntry::withTitleAndObject(labels.at(i).name, labels.at(i).name);
            entry.badgeRGB = labels.at(i).rgb;
            menu->addEntry(entry);
        }
        menu->addEntry(KZMenuEntry::separator());
        menu->addEntry(KZMenuEntry::withKeyAndObject("Other", QVariant()));
        break;
    case KZFileSearchKindXAttrs:
        menu = std::make_shared<KZMenu>(KZOperatorMenuXAttrsTitle);
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_isDefined", KZFileSearchOperatorIsDefined));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_isNotDefined", KZFileSearchOperatorIsNotDefined));
        break;
    case KZFileSearchKindDirPaths:
        menu = std::make_shared<KZMenu>(KZOperatorMenuDirPathsTitle);
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_is", KZFileSearchOperatorIs));
        menu->addEntry(KZMenuEntry::withKey("KZFileSearchOperator_isNot", KZFileSearchOperatorIsNot));
        break;
    default:
        break;
    }
    return menu;
}

namespace {

std::atomic<int> g_standardTypeListBuilds{0};

// MIME identifiers in groups mirroring the desktop's common kinds: broad
// families; archives, disk images, media, applications; links, bookmarks,
// logs, libraries; markup; structured data; documents and fonts; calendars
// and mail.
const QList<QStringList> &standardTypeGroups()
{
    static const QList<QStringList> groups = {
        {QStringLiteral("image/*"), QStringLiteral("text/plain"), QStringLiteral("*/*"), QStringLiteral("audio/*"),
         QStringLiteral("message/*"), QStringLiteral("text/vcard")},
        {QStringLiteral("application/zip"), QStringLiteral("application/x-raw-disk-image"),
         QStringLiteral("video/*"), QStringLiteral("application/x-desktop")},
        {QStringLiteral("inode/symlink"), QStringLiteral("application/x-xbel"), QStringLiteral("text/x-log"),
         QStringLiteral("application/x-sharedlib")},
        {QStringLiteral("text/html"), QStringLiteral("application/xml")},
        {QStringLiteral("application/json"), QStringLiteral("application/x-yaml"), QStringLiteral("application/toml"),
         QStringLiteral("text/csv")},
        {QStringLiteral("application/pdf"), QStringLiteral("application/x-mimearchive"), QStringLiteral("font/*")},
        {QStringLiteral("text/calendar"), QStringLiteral("application/mbox"), QStringLiteral("message/rfc822")},
    };
    return groups;
}

} // namespace

QString kzCapitalizedWords(const QString &text)
{
    QString out = text;
    bool atWordStart = true;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.isLetterOrNumber()) {
            if (atWordStart)
                out[i] = c.toUpper();
            atWordStart = false;
        } else {
            atWordStart = c != QLatin1Char('\'');
        }
    }
    return out;
}

QString kzTypeMenuTitle(const QString &identifier)
{
    const QString description = kzplatform::kzMimeTypeDescription(identifier);
    if (!description.isEmpty())
        return kzCapitalizedWords(description);
    if (identifier.endsWith(QLatin1String("/*"))) {
        kzRegisterRulesEnglishTables();
        return KZLocalization::localizedString(identifier);
    }
    return identifier;
}

namespace {

// The item-kind entries that open the kind menu: key and represented object.
const QList<std::pair<const char *, QString>> &itemKindEntries()
{
    static const QList<std::pair<const char *, QString>> entries = {
        {"Regular File", KZFileSearchUTIType_RegFile},
        {"Directory", KZFileSearchUTIType_Directorty},
        {"Symbolic Link", KZFileSearchUTIType_SymLink},
        {"DS_Store", KZFileSearchUTIType_DSStore},
    };
    return entries;
}

} // namespace

const QList<KZStandardTypeRecord> &kzStandardTypeList()
{
    static const QList<KZStandardTypeRecord> list = [] {
        ++g_standardTypeListBuilds;
        QList<KZStandardTypeRecord> records;
        // A type described like an item kind ("symbolic link") names its
        // identifier too, so that the two entries can be told apart.
        QSet<QString> taken;
        kzRegisterRulesEnglishTables();
        for (const auto &[key, object] : itemKindEntries())
            taken.insert(KZLocalizedString(key));
        const QList<QStringList> &groups = standardTypeGroups();
        for (qsizetype g = 0; g < groups.size(); ++g) {
            if (g > 0)
                records.append(KZStandardTypeRecord{true, QString(), QString()});
            for (const QString &type : groups.at(g)) {
                QString title = kzTypeMenuTitle(type);
                if (taken.contains(title))
                    title = QStringLiteral("%1 (%2)").arg(title, type);
                taken.insert(title);
                records.append(KZStandardTypeRecord{false, type, title});
            }
        }
        return records;
    }();
    return list;
}

int kzStandardTypeListBuildCount()
{
    return g_standardTypeListBuilds.load();
}

QStringList kzStandardTypeIdentifiers()
{
    QStringList identifiers;
    for (const QStringList &group : standardTypeGroups())
        identifiers += group;
    return identifiers;
}

KZMenuRef kzValueMenuOfCriterionKind(qint64 kind)
{
    if (kind != KZFileSearchKindUTIType)
        return nullptr;
    kzRegisterRulesEnglishTables();
    auto menu = std::make_shared<KZMenu>(KZValueMenuUTITypeTitle);
    for (const auto &[key, object] : itemKindEntries())
        menu->addEntry(KZMenuEntry::withKeyAndObject(key, object));
    menu->addEntry(KZMenuEntry::separator());
    for (const KZStandardTypeRecord &record : kzStandardTypeList()) {
        if (record.isSeparator)
            menu->addEntry(KZMenuEntry::separator());
        else
            menu->addEntry(KZMenuEntry::withTitleAndObject(record.displayType, record.type));
    }
    return menu;
}
