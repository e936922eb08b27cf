// Rule items and their menus: the keyed archive of every item kind, rows in
// archives, the pop-up selection rule, the criteria menus as data, the
// standard type list and the string form of counts with units.
#include <QCborArray>
#include <QDate>
#include <QHash>

#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/KZRuleItem.h"
#include "rules/KZValueAndUnit.h"
#include "rules/RulesEditorViewController.h"
#include "tests/rules/RulesTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

KZRuleItemRef roundTrip(const KZRuleItemRef &item)
{
    // Through bytes, as a saved search does.
    return KZRuleItem::initWithCoder(QCborValue::fromCbor(QCborValue(item->encodeWithCoder()).toCbor()).toMap());
}

struct NoView : KZRuleItem_ViewControllerProtocol {
    void rulesEditorViewWillDisplayView() override {}
};

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

TEST(KZRuleItem, EveryKindSurvivesTheArchiveButMenusChoicesAndControllers)
{
    const QDateTime day(QDate(2023, 11, 5), QTime(15, 30));
    const KZDirPathEntryList entries = {kzMakeDirPathEntry(QStringLiteral("/a"), 1),
                                        kzMakeDirPathEntry(QStringLiteral("/b c"), 0)};
    const KZRuleItemRef popUp = KZRuleItem::rulePopMenuWithMenu(kzMajorCriteriaMenu(), 150.5, qint64(4));
    popUp->setLabelTitle(QStringLiteral("title"));
    const QList<KZRuleItemRef> items = {
        popUp,
        KZRuleItem::rulePopMenuWithMenu(kzValueMenuOfCriterionKind(3), 150, QVariant(QStringLiteral("text/plain"))),
        KZRuleItem::ruleLabelWithText(QStringLiteral("Label ü")),
        KZRuleItem::ruleTextFieldWithString(QStringLiteral("  red ")),
        KZRuleItem::ruleDatePickerWithDate(day, true),
        KZRuleItem::ruleFileSizeWithValue(QStringLiteral("5|2")),
        KZRuleItem::ruleComboxWithStrings(std::make_shared<QStringList>(), QStringLiteral("report")),
        KZRuleItem::ruleDateWithinWithValue(QStringLiteral("2|1")),
        KZRuleItem::ruleViewController(std::make_shared<NoView>(), QVariant::fromValue(entries)),
    };
    const QList<qint64> kinds = {1, 1, 2, 3, 4, 5, 6, 7, 8};
    for (qsizetype i = 0; i < items.size(); ++i) {
        const KZRuleItemRef back = roundTrip(items.at(i));
        EXPECT_EQ(back->kind(), kinds.at(i));
        EXPECT_EQ(back->wSize(), i < 2 ? 150.0 : 0.0) << "only pop-ups have a width, stored whole; " << i;
        EXPECT_EQ(back->encodeWithCoder(), items.at(i)->encodeWithCoder()) << "every archived field comes back; " << i;
        EXPECT_EQ(back->menu(), nullptr);
        EXPECT_EQ(back->comboStrings(), nullptr);
        EXPECT_EQ(back->viewController(), nullptr);
    }
    EXPECT_EQ(roundTrip(items.at(4))->dateValue().toLocalTime().time(), QTime(15, 30));
    const KZDirPathEntryList back = roundTrip(items.at(8))->dirPathEntries();
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back.at(1)->path, QStringLiteral("/b c"));
    EXPECT_EQ(back.at(1)->state, 0);

    for (const auto &[width, stored] : std::vector<std::pair<double, double>>{{0.99, 0}, {-3.7, -3}})
        EXPECT_EQ(roundTrip(std::make_shared<KZRuleItem>(KZRuleItemKindPopUp, width))->wSize(), stored) << width;
}

TEST(KZRuleItem, MissingOrMistypedKeysLeaveFieldsEmpty)
{
    QCborMap odd;
    odd.insert(QStringLiteral("kind"), QStringLiteral("six"));
    odd.insert(QStringLiteral("stringValue"), 12);
    odd.insert(QStringLiteral("dateValue"), QStringLiteral("yesterday"));
    odd.insert(QStringLiteral("fileSizeValue"), QStringLiteral("3|3"));
    for (const KZRuleItemRef &item : {KZRuleItem::initWithCoder(QCborMap()), KZRuleItem::initWithCoder(odd)}) {
        EXPECT_EQ(std::tuple(item->kind(), item->wSize(), item->isInvisible(), item->menuSelectedTag()), std::tuple(0, 0.0, false, 0));
        EXPECT_TRUE(!item->menuSelectedObject().isValid() && item->stringValue().isNull() && !item->dateValue().isValid() &&
                    item->dateWithin().isNull() && !item->representedObject().isValid());
    }
    EXPECT_EQ(KZRuleItem::initWithCoder(odd)->fileSizeValue(), QStringLiteral("3|3")) << "the keys that are fine decode";
}

TEST(KZRuleItem, AFolderStateThatIsNotAnIntegerReadsAsUnchecked)
{
    // A folder entry whose state was a huge floating-point number was converted
    // to an integer out of range (undefined behaviour; INT64_MIN on x86-64).
    QCborMap folder;
    folder.insert(QStringLiteral("path"), QStringLiteral("/a"));
    folder.insert(QStringLiteral("state"), 1e300);
    QCborMap coder;
    coder.insert(QStringLiteral("representedObject"), QCborArray{folder});
    const KZDirPathEntryList entries = KZRuleItem::initWithCoder(coder)->representedObject().value<KZDirPathEntryList>();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0]->path, QStringLiteral("/a"));
    EXPECT_EQ(entries[0]->state, 0);
}

TEST(KZRuleItem, TaggedFolderEntriesReadAsTheirSavedAgainForm)
{
    // Folder entries inside a CBOR tag (or tags within tags) read as no
    // folders, yet a later save dropped the tags, so the same saved search
    // searched other folders after it was saved again.
    QCborMap folder;
    folder.insert(QStringLiteral("state"), 1);
    folder.insert(QStringLiteral("path"), QStringLiteral("/a"));
    const QCborValue twiceTagged(QCborTag(21), QCborValue(QCborTag(20), QCborArray{folder}));
    const QCborValue forms[] = {
        QCborValue(QCborTag(20), QCborArray{folder}),
        twiceTagged,
        QCborArray{QCborValue(QCborTag(21), QCborValue(QCborTag(20), folder))},
        QCborArray{QCborMap{{QStringLiteral("state"), 1},
                            {QStringLiteral("path"), QCborValue(QCborTag(5), QCborValue(QCborTag(5), QStringLiteral("/a")))}}},
    };
    for (const QCborValue &form : forms) {
        SCOPED_TRACE(form.toDiagnosticNotation().toStdString());
        QCborMap coder;
        coder.insert(QStringLiteral("representedObject"), form);
        const KZRuleItemRef item = KZRuleItem::initWithCoder(coder);
        const KZRuleItemRef again = KZRuleItem::initWithCoder(item->encodeWithCoder());
        ASSERT_EQ(item->dirPathEntries().size(), 1);
        EXPECT_EQ(item->dirPathEntries()[0]->path, QStringLiteral("/a"));
        EXPECT_EQ(again->dirPathEntries().size(), 1);
    }
    // Reading through tags keeps the values Qt reads from one.
    const QVariantList dated{QVariant(QDateTime(QDate(2024, 5, 6), QTime(7, 8), Qt::UTC)), QVariant(QUrl(QStringLiteral("https://a.example/")))};
    QCborMap coder;
    coder.insert(QStringLiteral("representedObject"), QCborValue(QCborTag(20), QCborValue::fromVariant(dated)));
    EXPECT_EQ(KZRuleItem::initWithCoder(coder)->representedObject().toList(), dated);
}

TEST(KZRuleItem, RowsArchiveKeepsOrderAndSkipsWhatIsNotARow)
{
    const KZRuleRows rows = {
        kzMakeRuleRow({KZRuleItem::rulePopMenuWithMenu(kzMajorCriteriaMenu(), 150, qint64(2)),
                       KZRuleItem::rulePopMenuWithMenu(nullptr, 150, qint64(7)),
                       KZRuleItem::ruleFileSizeWithValue(QStringLiteral("1|2"))}),
        kzMakeRuleRow({KZRuleItem::ruleLabelWithText(QStringLiteral("two items")),
                       KZRuleItem::ruleLabelWithText(QStringLiteral("only"))}),
    };
    QCborArray archived = kzArchiveRuleRows(rows).toArray();
    archived.append(QStringLiteral("not a row"));
    archived.append(QCborMap{{QStringLiteral("items"), QCborArray{1, 2}}});

    int skipped = -1;
    const KZRuleRows back = kzUnarchiveRuleRows(archived, &skipped);
    EXPECT_EQ(skipped, 2);
    ASSERT_EQ(back.size(), 2);
    ASSERT_EQ(back.at(0)->items.size(), 3);
    EXPECT_EQ(back.at(0)->items.at(0)->menuSelectedTag(), 2);
    EXPECT_EQ(back.at(0)->items.at(1)->menuSelectedTag(), 7);
    EXPECT_EQ(back.at(0)->items.at(2)->fileSizeValue(), QStringLiteral("1|2"));
    ASSERT_EQ(back.at(1)->items.size(), 2);
    EXPECT_EQ(back.at(1)->items.at(1)->stringValue(), QStringLiteral("only"));
}

TEST(KZMenu, SelectionFollowsTagThenObjectThenFirstEntry)
{
    const KZMenuRef major = kzMajorCriteriaMenu();
    EXPECT_EQ(major->entryAt(major->indexOfSelection(8, QVariant())).tag, 8);
    EXPECT_EQ(major->indexOfSelection(0, QVariant()), 0) << "tagged entries hold no object: the first one matches none";
    EXPECT_EQ(major->indexOfSelection(99, QVariant()), 0) << "an unknown tag falls back to the first entry";

    const KZMenuRef tags = kzOperatorMenuOfCriterionKind(6, kzplatform::kzWorkspaceFileLabels());
    EXPECT_EQ(tags->entryAt(tags->indexOfSelection(0, QVariant())).titleKey, QStringLiteral("Other"));
    EXPECT_EQ(tags->entryAt(tags->indexOfSelection(0, QStringLiteral("Green"))).title, QStringLiteral("Green"));
    EXPECT_EQ(tags->indexOfSelection(0, QStringLiteral("green")), 0) << "names compare exactly";
    EXPECT_EQ(KZMenu().indexOfSelection(1, QVariant()), -1);
}

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
