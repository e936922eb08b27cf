// Rule items: factories, the keyed archive of every item kind, rows in archives
// and the pop-up selection rule.
#include <QCborArray>
#include <QCborMap>
#include <QDate>
#include <gtest/gtest.h>

#include "rules/KZCriteriaMenus.h"
#include "rules/KZRuleItem.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

KZRuleItemRef roundTrip(const KZRuleItemRef &item)
{
    // Through bytes, as a saved search does.
    const QByteArray bytes = QCborValue(item->encodeWithCoder()).toCbor();
    return KZRuleItem::initWithCoder(QCborValue::fromCbor(bytes).toMap());
}

class FakeViewController : public KZRuleItem_ViewControllerProtocol
{
public:
    int displays = 0;
    void rulesEditorViewWillDisplayView() override { ++displays; }
};

} // namespace

TEST(KZRuleItem, FactoriesFillTheirKindAndOnlyPopUpsHaveAWidth)
{
    const KZMenuRef menu = kzMajorCriteriaMenu();
    const auto byTag = KZRuleItem::rulePopMenuWithMenu(menu, 150, qint64(5));
    EXPECT_EQ(byTag->kind(), 1);
    EXPECT_EQ(byTag->wSize(), 150);
    EXPECT_EQ(byTag->menuSelectedTag(), 5);
    EXPECT_EQ(byTag->menu(), menu);
    EXPECT_FALSE(byTag->menuSelectedObject().isValid());

    const auto byObject = KZRuleItem::rulePopMenuWithMenu(menu, 120.5, QVariant(QStringLiteral("Red")));
    EXPECT_EQ(byObject->kind(), 1);
    EXPECT_EQ(byObject->menuSelectedTag(), 0);
    EXPECT_EQ(byObject->menuSelectedObject().toString(), QStringLiteral("Red"));

    auto strings = std::make_shared<QStringList>(QStringList{QStringLiteral("a")});
    auto vc = std::make_shared<FakeViewController>();
    const QList<KZRuleItemRef> others = {
        KZRuleItem::ruleLabelWithText(QStringLiteral("label")),
        KZRuleItem::ruleTextFieldWithString(QStringLiteral("text")),
        KZRuleItem::ruleDatePickerWithDate(QDate(2024, 3, 1).startOfDay(), true),
        KZRuleItem::ruleFileSizeWithValue(QStringLiteral("1|2")),
        KZRuleItem::ruleComboxWithStrings(strings, QStringLiteral("combo")),
        KZRuleItem::ruleDateWithinWithValue(QStringLiteral("3|1")),
        KZRuleItem::ruleViewController(vc, QVariant(42)),
    };
    for (qsizetype i = 0; i < others.size(); ++i) {
        EXPECT_EQ(others.at(i)->kind(), i + 2);
        EXPECT_EQ(others.at(i)->wSize(), 0) << "kind " << i + 2 << " stretches to the end of the row";
    }
    EXPECT_EQ(others.at(0)->stringValue(), QStringLiteral("label"));
    EXPECT_EQ(others.at(1)->stringValue(), QStringLiteral("text"));
    EXPECT_TRUE(others.at(2)->isInvisible());
    EXPECT_EQ(others.at(3)->fileSizeValue(), QStringLiteral("1|2"));
    EXPECT_EQ(others.at(4)->comboStrings(), strings);
    EXPECT_EQ(others.at(5)->dateWithin(), QStringLiteral("3|1"));
    EXPECT_EQ(others.at(6)->viewController(), vc);
    EXPECT_EQ(others.at(6)->representedObject().toInt(), 42);

    const QString description = byTag->description();
    EXPECT_TRUE(description.startsWith(QStringLiteral("<KZRuleItem 0x"))) << description.toStdString();
    EXPECT_TRUE(description.endsWith(QStringLiteral(" kind:1>"))) << description.toStdString();
}

TEST(KZRuleItem, EveryKindSurvivesTheArchive)
{
    const QDateTime day = QDateTime(QDate(2023, 11, 5), QTime(15, 30));
    auto popUp = KZRuleItem::rulePopMenuWithMenu(kzMajorCriteriaMenu(), 150.5, qint64(4));
    popUp->setLabelTitle(QStringLiteral("title"));
    auto popUpObject = KZRuleItem::rulePopMenuWithMenu(kzValueMenuOfCriterionKind(3), 150,
                                                       QVariant(QStringLiteral("text/plain")));
    auto label = KZRuleItem::ruleLabelWithText(QStringLiteral("Label ü"));
    auto field = KZRuleItem::ruleTextFieldWithString(QStringLiteral("  red "));
    auto date = KZRuleItem::ruleDatePickerWithDate(day, true);
    auto size = KZRuleItem::ruleFileSizeWithValue(QStringLiteral("5|2"));
    auto combo = KZRuleItem::ruleComboxWithStrings(std::make_shared<QStringList>(QStringList{QStringLiteral("x")}),
                                                   QStringLiteral("report"));
    auto within = KZRuleItem::ruleDateWithinWithValue(QStringLiteral("2|1"));
    const KZDirPathEntryList entries = {kzMakeDirPathEntry(QStringLiteral("/a"), 1),
                                        kzMakeDirPathEntry(QStringLiteral("/b c"), 0)};
    auto folders = KZRuleItem::ruleViewController(std::make_shared<FakeViewController>(), QVariant::fromValue(entries));

    const auto p = roundTrip(popUp);
    EXPECT_EQ(p->kind(), 1);
    EXPECT_EQ(p->wSize(), 150.0) << "the width is stored whole, truncated";
    EXPECT_EQ(p->menuSelectedTag(), 4);
    EXPECT_EQ(p->labelTitle(), QStringLiteral("title"));
    EXPECT_EQ(p->menu(), nullptr) << "menus are not archived";

    const auto po = roundTrip(popUpObject);
    EXPECT_EQ(po->menuSelectedTag(), 0);
    EXPECT_EQ(po->menuSelectedObject().toString(), QStringLiteral("text/plain"));

    EXPECT_EQ(roundTrip(label)->stringValue(), QStringLiteral("Label ü"));
    EXPECT_EQ(roundTrip(label)->kind(), 2);
    EXPECT_EQ(roundTrip(field)->stringValue(), QStringLiteral("  red "));

    const auto d = roundTrip(date);
    EXPECT_EQ(d->kind(), 4);
    EXPECT_TRUE(d->isInvisible());
    EXPECT_EQ(d->dateValue(), day);
    EXPECT_EQ(d->dateValue().toLocalTime().time(), QTime(15, 30));

    EXPECT_EQ(roundTrip(size)->fileSizeValue(), QStringLiteral("5|2"));
    EXPECT_EQ(roundTrip(size)->kind(), 5);

    const auto c = roundTrip(combo);
    EXPECT_EQ(c->kind(), 6);
    EXPECT_EQ(c->stringValue(), QStringLiteral("report"));
    EXPECT_EQ(c->comboStrings(), nullptr) << "combo choices are not archived";

    EXPECT_EQ(roundTrip(within)->dateWithin(), QStringLiteral("2|1"));
    EXPECT_EQ(roundTrip(within)->kind(), 7);

    const auto f = roundTrip(folders);
    EXPECT_EQ(f->kind(), 8);
    EXPECT_EQ(f->viewController(), nullptr) << "controllers are not archived";
    const KZDirPathEntryList back = f->dirPathEntries();
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back.at(0)->path, QStringLiteral("/a"));
    EXPECT_EQ(back.at(0)->state, 1);
    EXPECT_EQ(back.at(1)->path, QStringLiteral("/b c"));
    EXPECT_EQ(back.at(1)->state, 0);
}

TEST(KZRuleItem, WidthsAreTruncatedTowardZero)
{
    for (const auto &[width, stored] : std::vector<std::pair<double, double>>{{150.5, 150}, {0.99, 0}, {-3.7, -3}}) {
        auto item = std::make_shared<KZRuleItem>(KZRuleItemKindPopUp, width);
        EXPECT_EQ(item->encodeWithCoder().value(QStringLiteral("wSize")).toInteger(), qint64(stored));
        EXPECT_EQ(roundTrip(item)->wSize(), stored) << width;
    }
}

TEST(KZRuleItem, MissingOrMistypedKeysLeaveFieldsEmpty)
{
    const auto empty = KZRuleItem::initWithCoder(QCborMap());
    EXPECT_EQ(empty->kind(), 0);
    EXPECT_EQ(empty->wSize(), 0);
    EXPECT_FALSE(empty->isInvisible());
    EXPECT_EQ(empty->menuSelectedTag(), 0);
    EXPECT_FALSE(empty->menuSelectedObject().isValid());
    EXPECT_TRUE(empty->stringValue().isNull());
    EXPECT_FALSE(empty->dateValue().isValid());
    EXPECT_TRUE(empty->dateWithin().isNull());
    EXPECT_TRUE(empty->fileSizeValue().isNull());
    EXPECT_FALSE(empty->representedObject().isValid());

    QCborMap odd;
    odd.insert(QStringLiteral("kind"), QStringLiteral("six"));
    odd.insert(QStringLiteral("stringValue"), 12);
    odd.insert(QStringLiteral("dateValue"), QStringLiteral("yesterday"));
    odd.insert(QStringLiteral("fileSizeValue"), QStringLiteral("3|3"));
    const auto item = KZRuleItem::initWithCoder(odd);
    EXPECT_EQ(item->kind(), 0);
    EXPECT_TRUE(item->stringValue().isNull());
    EXPECT_FALSE(item->dateValue().isValid());
    EXPECT_EQ(item->fileSizeValue(), QStringLiteral("3|3")) << "the keys that are fine still decode";
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
    QCborMap badItems;
    badItems.insert(QStringLiteral("items"), QCborArray{1, 2});
    archived.append(badItems);

    int skipped = -1;
    const KZRuleRows back = kzUnarchiveRuleRows(archived, &skipped);
    EXPECT_EQ(skipped, 2);
    ASSERT_EQ(back.size(), 2);
    ASSERT_EQ(back.at(0)->items.size(), 3);
    EXPECT_EQ(back.at(0)->items.at(0)->menuSelectedTag(), 2);
    EXPECT_EQ(back.at(0)->items.at(1)->menuSelectedTag(), 7);
    EXPECT_EQ(back.at(0)->items.at(2)->fileSizeValue(), QStringLiteral("1|2"));
    EXPECT_EQ(back.at(1)->items.size(), 2);
    EXPECT_EQ(back.at(1)->items.at(1)->stringValue(), QStringLiteral("only"));
}

TEST(KZMenu, SelectionFollowsTagThenObjectThenFirstEntry)
{
    const KZMenuRef major = kzMajorCriteriaMenu();
    EXPECT_EQ(major->entryAt(major->indexOfSelection(8, QVariant())).tag, 8);
    EXPECT_EQ(major->indexOfSelection(0, QVariant()), 0) << "tagged entries hold no object: the first one matches none";
    EXPECT_EQ(major->indexOfSelection(99, QVariant()), 0) << "an unknown tag falls back to the first entry";

    const KZMenuRef tags = kzOperatorMenuOfCriterionKind(6, kzplatform::kzWorkspaceFileLabels());
    const qsizetype other = tags->indexOfSelection(0, QVariant());
    EXPECT_EQ(tags->entryAt(other).titleKey, QStringLiteral("Other"));
    EXPECT_EQ(tags->entryAt(tags->indexOfSelection(0, QStringLiteral("Green"))).title, QStringLiteral("Green"));
    EXPECT_EQ(tags->indexOfSelection(0, QStringLiteral("green")), 0) << "names compare exactly";
    EXPECT_EQ(KZMenu().indexOfSelection(1, QVariant()), -1);
}
