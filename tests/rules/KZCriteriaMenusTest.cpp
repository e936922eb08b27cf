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

} // namespace

TEST(KZCriteriaMenus, MajorAndOperatorMenusByKind)
{
    // The tags are what rows store; the titles are how a changed pop-up is recognised.
    const KZMenuRef major = kzMajorCriteriaMenu();
    EXPECT_EQ(major->title(), QStringLiteral("MajorCriteriaMenu"));
    EXPECT_EQ(shape(major), rulestest::strs({"5", "4", "3", "6", "2", "1", "-", "8", "-", "10"}));
    EXPECT_EQ(major->entryAt(5).title, QStringLiteral("Name")) << "English words come from the table";
    EXPECT_EQ(kzMajorCriteriaKindsInOrder(), QList<qint64>({5, 4, 3, 6, 2, 1, 8, 10}));

    const QStringList dates = rulestest::strs({"18", "19", "-", "11", "12", "-", "15", "-", "8", "9", "10"});
    const std::vector<std::tuple<qint64, const char *, QStringList>> operators = {
        {1, "fileName", rulestest::strs({"1", "20", "-", "2", "3", "-", "4", "5"})},
        {2, "fileSize", rulestest::strs({"6", "7"})},
        {3, "UTIType", rulestest::strs({"4", "5"})},
        {4, "date", dates},
        {5, "date", dates},
        {8, "xAttrs", rulestest::strs({"13", "14"})},
        {10, "dirPaths", rulestest::strs({"4", "5"})},
    };
    const auto labels = kzplatform::kzWorkspaceFileLabels();
    for (const auto &[kind, name, expected] : operators) {
        const KZMenuRef menu = kzOperatorMenuOfCriterionKind(kind, labels);
        ASSERT_NE(menu, nullptr) << kind;
        EXPECT_EQ(menu->title(), QStringLiteral("OperatorMenu-KZFileSearchCriterion_") + QString::fromUtf8(name));
        EXPECT_EQ(shape(menu), expected) << kind;
    }
    EXPECT_EQ(kzOperatorMenuOfCriterionKind(1, labels)->entryAt(1).titleKey,
              QStringLiteral("KZFileSearchOperator_doesNotContain"));
    for (qint64 kind : {0, 7, 9, 11, -1})
        EXPECT_EQ(kzOperatorMenuOfCriterionKind(kind, labels), nullptr) << kind;
}

TEST(KZCriteriaMenus, TagsMenuListsLabelsWithoutNoneThenOther)
{
    const auto labels = kzplatform::kzWorkspaceFileLabels();
    const auto menu = kzOperatorMenuOfCriterionKind(6, labels);
    EXPECT_EQ(menu->title(), QStringLiteral("OperatorMenu-KZFileSearchCriterion_tagNames"));
    EXPECT_EQ(shape(menu), rulestest::strs({"Red", "Orange", "Yellow", "Green", "Blue", "Purple", "Gray", "-", "none"}));
    EXPECT_EQ(menu->entryAt(0).title, QStringLiteral("Red"));
    EXPECT_EQ(menu->entryAt(0).badgeRGB, std::optional<uint32_t>(labels.at(1).rgb));
    EXPECT_EQ(menu->entryAt(8).titleKey, QStringLiteral("Other"));
    EXPECT_FALSE(menu->entryAt(8).badgeRGB.has_value());
    EXPECT_EQ(shape(kzOperatorMenuOfCriterionKind(6, {})), rulestest::strs({"-", "none"}));
    EXPECT_EQ(shape(kzOperatorMenuOfCriterionKind(6, {{QStringLiteral("None"), 0}})), rulestest::strs({"-", "none"}));
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
    const auto second = RulesEditorViewController::valueMenuOfCriterionKind(3);
    EXPECT_EQ(kzStandardTypeListBuildCount(), 1);
    EXPECT_NE(first, second) << "the menu itself is new each time";
    EXPECT_EQ(shape(first), shape(second));
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
    const std::vector<std::tuple<QString, qint32, qint32>> cases = {
        {QStringLiteral("7|3"), 7, 3},
        {QStringLiteral("0|2"), 0, 2},
        {QStringLiteral("2000000|1"), 2000000, 1}, // above the stepper's maximum: kept as typed
        {QStringLiteral(" 12abc|x"), 12, 0},
        {QString(), 1, 1},
        {QString(QLatin1String("")), 1, 1},
        {QStringLiteral("7"), 1, 1},
        {QStringLiteral("1|2|3"), 1, 1},
    };
    for (const auto &[comps, value, poids] : cases) {
        const KZValueAndUnit v = kzValueAndUnitFromComps(comps);
        EXPECT_EQ(std::make_pair(v.value, v.poids), std::make_pair(value, poids)) << comps.toStdString();
    }
    EXPECT_EQ(kzValueCompsString(-4, 6), QStringLiteral("-4|6"));
    EXPECT_EQ(kzLeadingIntegerOfString(QStringLiteral("  -15kB")), -15);
    EXPECT_EQ(kzLeadingIntegerOfString(QStringLiteral("+9")), 9);
    EXPECT_EQ(kzLeadingIntegerOfString(QStringLiteral("abc")), 0);
    EXPECT_EQ(kzLeadingIntegerOfString(QStringLiteral("99999999999999999999999")), std::numeric_limits<qint64>::max());
    EXPECT_EQ(kzLeadingIntegerOfString(QStringLiteral("-99999999999999999999999")), std::numeric_limits<qint64>::min());
}

TEST(KZValueAndUnit, UnitMenus)
{
    EXPECT_EQ(shape(kzFileSizeUnitMenu()), rulestest::strs({"1", "2", "3", "4"}));
    EXPECT_EQ(kzFileSizeUnitMenu()->entryAt(1).title, QStringLiteral("MB"));
    const auto within = kzDateWithinUnitMenu();
    EXPECT_EQ(shape(within), rulestest::strs({"6", "5", "-", "1", "2", "3", "4"}));
    EXPECT_EQ(within->entryAt(4).title, QStringLiteral("Week(s)"));
}
