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

TEST(KZCriteriaMenus, OperatorMenusByKindAndTheValueMenuOfTypes)
{
    // The tags are what rows store. (The major menu's order and the menu titles
    // are seen through the editor controller's tests.)
    const QStringList dates = rulestest::strs({"18", "19", "-", "11", "12", "-", "15", "-", "8", "9", "10"});
    const std::vector<std::pair<qint64, QStringList>> operators = {
        {1, rulestest::strs({"1", "20", "-", "2", "3", "-", "4", "5"})}, {2, rulestest::strs({"6", "7"})},
        {3, rulestest::strs({"4", "5"})}, {4, dates}, {5, dates}, {8, rulestest::strs({"13", "14"})},
        {10, rulestest::strs({"4", "5"})},
    };
    const auto labels = kzplatform::kzWorkspaceFileLabels();
    for (const auto &[kind, expected] : operators) {
        const KZMenuRef menu = kzOperatorMenuOfCriterionKind(kind, labels);
        ASSERT_NE(menu, nullptr) << kind;
        EXPECT_EQ(shape(menu), expected) << kind;
    }
    for (qint64 kind : {0, 7, 9, 11, -1})
        EXPECT_EQ(kzOperatorMenuOfCriterionKind(kind, labels), nullptr) << kind;

    // The tags menu: the labels but None, then Other.
    EXPECT_EQ(shape(kzOperatorMenuOfCriterionKind(6, labels)),
              rulestest::strs({"Red", "Orange", "Yellow", "Green", "Blue", "Purple", "Gray", "-", "none"}));
    EXPECT_EQ(kzOperatorMenuOfCriterionKind(6, labels)->entryAt(0).badgeRGB, std::optional<uint32_t>(labels.at(1).rgb));
    EXPECT_EQ(shape(kzOperatorMenuOfCriterionKind(6, {{QStringLiteral("None"), 0}})), rulestest::strs({"-", "none"}));

    // Only types have a value menu: the keywords, then the standard types.
    for (qint64 kind : {1, 2, 4, 5, 6, 8, 10})
        EXPECT_EQ(kzValueMenuOfCriterionKind(kind), nullptr) << kind;
    const QStringList types = shape(kzValueMenuOfCriterionKind(3));
    EXPECT_EQ(types.mid(0, 6), rulestest::strs({"KZFileSearchUTIType_RegFile", "KZFileSearchUTIType_Directorty",
                                                "KZFileSearchUTIType_SymLink", "KZFileSearchUTIType_DSStore", "-",
                                                "image/*"}));
    EXPECT_TRUE(types.contains(QStringLiteral("text/plain")) && types.contains(QStringLiteral("application/pdf")));
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
