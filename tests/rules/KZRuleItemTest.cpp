// Rule items: the keyed archive of every item kind, rows in archives and the
// pop-up selection rule.
#include <QCborArray>
#include <QDate>
#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/KZRuleItem.h"
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
    // Folder entries inside a CBOR tag read as no folders, yet a later save
    // dropped the tag, so the same saved search searched other folders after it
    // was saved again.
    QCborMap folder;
    folder.insert(QStringLiteral("state"), 1);
    folder.insert(QStringLiteral("path"), QStringLiteral("/a"));
    QCborMap coder;
    coder.insert(QStringLiteral("representedObject"), QCborValue(QCborTag(20), QCborArray{folder}));
    const KZRuleItemRef item = KZRuleItem::initWithCoder(coder);
    const KZRuleItemRef again = KZRuleItem::initWithCoder(item->encodeWithCoder());
    ASSERT_EQ(item->dirPathEntries().size(), 1);
    EXPECT_EQ(item->dirPathEntries()[0]->path, QStringLiteral("/a"));
    EXPECT_EQ(again->dirPathEntries().size(), 1);
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
