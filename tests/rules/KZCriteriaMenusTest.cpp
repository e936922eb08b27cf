// The criteria menus as data, the standard type list and the string form of
// counts with units.
#include <QHash>

#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/KZValueAndUnit.h"
#include "rules/RulesEditorViewController.h"
#include "tests/rules/RulesTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

// "tag" for tagged entries, "-" for separators, the object for the others.
QStringList shape(const KZMenuRef &menu)
{
    QStringList out;
    for (const KZMenuEntry &entry : menu->entries()) {
        if (entry.isSeparator)
            out.append(QStringLiteral("-"));
        else if (entry.tag != 0)
            out.append(QString::number(entry.tag));
        else
            out.append(entry.representedObject.isValid() ? entry.representedObject.toString() : QStringLiteral("none"));
    }
    return out;
}

QStringList keys(const KZMenuRef &menu)
{
    QStringList out;
    for (const KZMenuEntry &entry : menu->entries())
        out.append(entry.isSeparator ? QStringLiteral("-") : entry.titleKey);
    return out;
}

} // namespace

TEST(KZCriteriaMenus, MajorMenuOrderTitlesAndTags)
{
    const KZMenuRef menu = kzMajorCriteriaMenu();
    EXPECT_EQ(menu->title(), QStringLiteral("MajorCriteriaMenu"));
    EXPECT_EQ(shape(menu), rulestest::strs({"5", "4", "3", "6", "2", "1", "-", "8", "-", "10"}));
    EXPECT_EQ(menu->entryAt(0).titleKey, QStringLiteral("KZFileSearchCriterion_dateModified"));
    EXPECT_EQ(menu->entryAt(9).titleKey, QStringLiteral("KZFileSearchCriterion_dirPaths"));
    // English words come from the table; the key is only a fallback.
    EXPECT_EQ(menu->entryAt(5).title, QStringLiteral("Name"));
    EXPECT_NE(kzMajorCriteriaMenu(), menu) << "a new menu on every call";
    EXPECT_EQ(kzMajorCriteriaKindsInOrder(), QList<qint64>({5, 4, 3, 6, 2, 1, 8, 10}));
}

TEST(KZCriteriaMenus, OperatorMenusOfEveryKind)
{
    const auto labels = kzplatform::kzWorkspaceFileLabels();
    const auto name = kzOperatorMenuOfCriterionKind(1, labels);
    EXPECT_EQ(name->title(), QStringLiteral("OperatorMenu-KZFileSearchCriterion_fileName"));
    EXPECT_EQ(shape(name), rulestest::strs({"1", "20", "-", "2", "3", "-", "4", "5"}));
    EXPECT_EQ(keys(name).at(1), QStringLiteral("KZFileSearchOperator_doesNotContain"));

    EXPECT_EQ(shape(kzOperatorMenuOfCriterionKind(2, labels)), rulestest::strs({"6", "7"}));
    EXPECT_EQ(kzOperatorMenuOfCriterionKind(2, labels)->title(), QStringLiteral("OperatorMenu-KZFileSearchCriterion_fileSize"));
    EXPECT_EQ(shape(kzOperatorMenuOfCriterionKind(3, labels)), rulestest::strs({"4", "5"}));

    const auto created = kzOperatorMenuOfCriterionKind(4, labels);
    const auto modified = kzOperatorMenuOfCriterionKind(5, labels);
    EXPECT_EQ(created->title(), QStringLiteral("OperatorMenu-KZFileSearchCriterion_date"));
    EXPECT_EQ(modified->title(), created->title());
    EXPECT_EQ(shape(created), rulestest::strs({"18", "19", "-", "11", "12", "-", "15", "-", "8", "9", "10"}));
    EXPECT_EQ(keys(created), keys(modified));

    EXPECT_EQ(shape(kzOperatorMenuOfCriterionKind(8, labels)), rulestest::strs({"13", "14"}));
    EXPECT_EQ(kzOperatorMenuOfCriterionKind(8, labels)->title(), QStringLiteral("OperatorMenu-KZFileSearchCriterion_xAttrs"));
    EXPECT_EQ(shape(kzOperatorMenuOfCriterionKind(10, labels)), rulestest::strs({"4", "5"}));
    EXPECT_EQ(kzOperatorMenuOfCriterionKind(10, labels)->title(), QStringLiteral("OperatorMenu-KZFileSearchCriterion_dirPaths"));

    for (qint64 kind : {0, 7, 9, 11, 12, -1})
        EXPECT_EQ(kzOperatorMenuOfCriterionKind(kind, labels), nullptr) << kind;
}

TEST(KZCriteriaMenus, TagsMenuListsLabelsWithoutNoneThenOther)
{
    const auto menu = kzOperatorMenuOfCriterionKind(6, kzplatform::kzWorkspaceFileLabels());
    EXPECT_EQ(menu->title(), QStringLiteral("OperatorMenu-KZFileSearchCriterion_tagNames"));
    EXPECT_EQ(shape(menu), rulestest::strs({"Red", "Orange", "Yellow", "Green", "Blue", "Purple", "Gray", "-", "none"}));
    for (qsizetype i = 0; i < 7; ++i) {
        EXPECT_EQ(menu->entryAt(i).tag, 0);
        EXPECT_EQ(menu->entryAt(i).title, menu->entryAt(i).representedObject.toString());
        ASSERT_TRUE(menu->entryAt(i).badgeRGB.has_value());
    }
    EXPECT_EQ(*menu->entryAt(0).badgeRGB, kzplatform::kzWorkspaceFileLabels().at(1).rgb);
    EXPECT_EQ(menu->entryAt(8).titleKey, QStringLiteral("Other"));
    EXPECT_FALSE(menu->entryAt(8).badgeRGB.has_value());

    const auto bare = kzOperatorMenuOfCriterionKind(6, {});
    EXPECT_EQ(shape(bare), rulestest::strs({"-", "none"})) << "no labels: a separator and Other only";
    const auto onlyNone = kzOperatorMenuOfCriterionKind(6, {{QStringLiteral("None"), 0}});
    EXPECT_EQ(shape(onlyNone), rulestest::strs({"-", "none"}));
}

TEST(KZCriteriaMenus, ValueMenuStartsWithTheKeywordsThenTheStandardTypes)
{
    for (qint64 kind : {1, 2, 4, 5, 6, 8, 10})
        EXPECT_EQ(kzValueMenuOfCriterionKind(kind), nullptr) << kind;

    const auto menu = kzValueMenuOfCriterionKind(3);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("ValueMenu-KZFileSearchCriterion_UTIType"));
    const QStringList s = shape(menu);
    EXPECT_EQ(s.mid(0, 5), rulestest::strs({"KZFileSearchUTIType_RegFile", "KZFileSearchUTIType_Directorty",
                                        "KZFileSearchUTIType_SymLink", "KZFileSearchUTIType_DSStore", "-"}));
    EXPECT_EQ(menu->entryAt(0).title, QStringLiteral("Regular File"));
    EXPECT_EQ(menu->entryAt(3).title, QStringLiteral("DS_Store"));
    // 26 types in 7 groups: 32 places after the keywords and their separator.
    EXPECT_EQ(menu->count(), 5 + 32);
    EXPECT_EQ(s.count(QStringLiteral("-")), 1 + 6);
    EXPECT_EQ(kzStandardTypeIdentifiers().size(), 26);
    EXPECT_EQ(s.at(5), QStringLiteral("image/*"));
    EXPECT_TRUE(s.contains(QStringLiteral("text/plain")));
    EXPECT_TRUE(s.contains(QStringLiteral("application/pdf")));
    for (const KZMenuEntry &entry : menu->entries())
        EXPECT_EQ(entry.tag, 0);
}

// The kind menu showed raw identifiers ("image/*", "*/*") and two entries
// titled "Symbolic Link": every entry must read as words and be told apart.
TEST(KZCriteriaMenus, KindMenuTitlesAreWordsAndAllDifferent)
{
    const auto menu = kzValueMenuOfCriterionKind(3);
    QHash<QString, QString> titles; // title -> object
    for (const KZMenuEntry &entry : menu->entries()) {
        if (entry.isSeparator)
            continue;
        const QString object = entry.representedObject.toString();
        EXPECT_FALSE(entry.title.contains(QLatin1Char('*'))) << object.toStdString();
        EXPECT_FALSE(titles.contains(entry.title))
            << entry.title.toStdString() << " names " << titles.value(entry.title).toStdString() << " and "
            << object.toStdString();
        titles.insert(entry.title, object);
    }
    const QList<std::pair<const char *, const char *>> families = {
        {"image/*", "Image"}, {"audio/*", "Audio"}, {"video/*", "Movie"},
        {"font/*", "Font"}, {"message/*", "Mail Message"}, {"*/*", "Any Item"}};
    for (const auto &[type, words] : families)
        EXPECT_EQ(titles.key(QString::fromLatin1(type)), QString::fromLatin1(words)) << type;
}

TEST(KZCriteriaMenus, StandardTypeListIsBuiltOncePerProcess)
{
    const auto first = kzValueMenuOfCriterionKind(3);
    const int builds = kzStandardTypeListBuildCount();
    EXPECT_EQ(builds, 1);
    const auto second = kzValueMenuOfCriterionKind(3);
    const auto third = RulesEditorViewController::valueMenuOfCriterionKind(3);
    EXPECT_EQ(kzStandardTypeListBuildCount(), 1);
    EXPECT_NE(first, second) << "the menu itself is new each time";
    EXPECT_EQ(shape(first), shape(third));
    const QList<KZStandardTypeRecord> &list = kzStandardTypeList();
    EXPECT_EQ(list.size(), 32);
    EXPECT_EQ(&list, &kzStandardTypeList());
}

TEST(KZCriteriaMenus, TypeTitlesAreDescriptionsWithCapitalisedWords)
{
    EXPECT_EQ(kzTypeMenuTitle(QStringLiteral("text/plain")), QStringLiteral("Plain Text Document"));
    EXPECT_EQ(kzTypeMenuTitle(QStringLiteral("application/pdf")), QStringLiteral("PDF Document"));
    EXPECT_EQ(kzTypeMenuTitle(QStringLiteral("com.example.thing")), QStringLiteral("com.example.thing"));
    EXPECT_EQ(kzTypeMenuTitle(QStringLiteral("image/*")), QStringLiteral("Image")) << "families have words of their own";
    EXPECT_EQ(kzCapitalizedWords(QStringLiteral("tar archive (gzip-compressed)")),
              QStringLiteral("Tar Archive (Gzip-Compressed)"));
    EXPECT_EQ(kzCapitalizedWords(QStringLiteral("user's file")), QStringLiteral("User's File"));
    EXPECT_EQ(kzCapitalizedWords(QString()), QString());
}

TEST(KZValueAndUnit, StringFormAndItsFallback)
{
    const auto seven = kzValueAndUnitFromComps(QStringLiteral("7|3"));
    EXPECT_EQ(seven.value, 7);
    EXPECT_EQ(seven.poids, 3);
    for (const QString &bad : {QString(), QString(QLatin1String("")), QStringLiteral("7"), QStringLiteral("1|2|3")}) {
        const auto v = kzValueAndUnitFromComps(bad);
        EXPECT_EQ(v.value, 1) << bad.toStdString();
        EXPECT_EQ(v.poids, 1) << bad.toStdString();
    }
    const auto zero = kzValueAndUnitFromComps(QStringLiteral("0|2"));
    EXPECT_EQ(zero.value, 0);
    const auto typed = kzValueAndUnitFromComps(QStringLiteral("2000000|1"));
    EXPECT_EQ(typed.value, 2000000) << "counts above the stepper's maximum are kept as typed";
    const auto junk = kzValueAndUnitFromComps(QStringLiteral(" 12abc|x"));
    EXPECT_EQ(junk.value, 12);
    EXPECT_EQ(junk.poids, 0);
    EXPECT_EQ(kzValueCompsString(1, 2), QStringLiteral("1|2"));
    EXPECT_EQ(kzValueCompsString(-4, 6), QStringLiteral("-4|6"));

    EXPECT_EQ(kzLeadingIntegerOfString(QStringLiteral("  -15kB")), -15);
    EXPECT_EQ(kzLeadingIntegerOfString(QStringLiteral("+9")), 9);
    EXPECT_EQ(kzLeadingIntegerOfString(QStringLiteral("abc")), 0);
    EXPECT_EQ(kzLeadingIntegerOfString(QStringLiteral("99999999999999999999999")), std::numeric_limits<qint64>::max());
}

TEST(KZValueAndUnit, UnitMenus)
{
    EXPECT_EQ(shape(kzFileSizeUnitMenu()), rulestest::strs({"1", "2", "3", "4"}));
    EXPECT_EQ(kzFileSizeUnitMenu()->entryAt(1).title, QStringLiteral("MB"));
    EXPECT_TRUE(kzFileSizeUnitMenu()->title().isEmpty());
    const auto within = kzDateWithinUnitMenu();
    EXPECT_EQ(shape(within), rulestest::strs({"6", "5", "-", "1", "2", "3", "4"}));
    EXPECT_EQ(within->entryAt(4).titleKey, QStringLiteral("Yeek(s)"));
    EXPECT_EQ(within->entryAt(4).title, QStringLiteral("Week(s)"));
    EXPECT_EQ(within->entryAt(within->indexOfSelection(2, QVariant())).title, QStringLiteral("Week(s)"));
}
