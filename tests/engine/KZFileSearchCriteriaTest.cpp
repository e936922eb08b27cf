#include <gtest/gtest.h>

#include <dirent.h>
#include <vector>

#include "engine/KZFileSearch.h"
#include "tests/engine/SearchRunner.h"
#include "tests/testlib/TestEnvironment.h"

using enginetest::criterion;

namespace {

// Compiles one kind with a fixed now; filters are released by the holder.
struct Compiled {
    std::vector<KZFileSearchFilterStruct> filters;
    int32_t count = 0;
    ~Compiled() { KZFileSearchFiltersRelease(filters.data(), count); }
    const KZFileSearchFilterStruct &operator[](int i) const { return filters[static_cast<size_t>(i)]; }
};

void compileKind(Compiled &out, int64_t kind, const QVariantList &criteria, const QDateTime &now = QDateTime())
{
    KZFileSearch search;
    out.filters.resize(static_cast<size_t>(criteria.size()) + 1);
    search.canonisateCriterionKind(kind, criteria, out.filters.data(), &out.count, QCalendar(), now,
                                   now.isValid() ? KZFileSearch::midnightOfDate(now) : QDateTime());
}

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
}

int64_t windowOf(const QVariantMap &c, const QDateTime &now)
{
    Compiled out;
    compileKind(out, c.value(QStringLiteral("kind")).toLongLong(), {c}, now);
    EXPECT_EQ(out.count, 1) << "criterion rejected";
    return out.count == 1 ? out[0].timeValue : INT64_MIN;
}

} // namespace

TEST(KZFileSearchCriteria, CriteriaWithKindKeepsTheirOrderAndReadsAMissingKindAsZero)
{
    const QVariantList criteria{criterion(1, 1, QStringLiteral("a")), criterion(2, 6, 10),
                                criterion(1, 3, QStringLiteral(".txt")),
                                QVariantMap{{QStringLiteral("operator"), 1}, {QStringLiteral("value"), QStringLiteral("x")}}};
    const QVariantList names = KZFileSearch::criteriaWithKind(1, criteria);
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(names.at(0).toMap().value(QStringLiteral("value")).toString(), QStringLiteral("a"));
    EXPECT_EQ(names.at(1).toMap().value(QStringLiteral("value")).toString(), QStringLiteral(".txt"));
    EXPECT_EQ(KZFileSearch::criteriaWithKind(0, criteria).size(), 1);
    EXPECT_TRUE(KZFileSearch::criteriaWithKind(9, criteria).isEmpty());
}

TEST(KZFileSearchCriteria, NameTextIsTrimmedAndStoredDecomposedWithItsPrecomposedForm)
{
    Compiled out;
    compileKind(out, 1,
                {criterion(1, 1, QStringLiteral("  caf\u00e9\n")), criterion(1, 4, QStringLiteral("plain")),
                 criterion(1, 20, QStringLiteral("cafe\u0301"))});
    ASSERT_EQ(out.count, 3);
    EXPECT_EQ(out[0].kind, 1);
    EXPECT_EQ(out[0].op, 1);
    EXPECT_EQ(QByteArray(out[0].text, static_cast<qsizetype>(out[0].textLength)), QByteArray("cafe\xcc\x81"));
    EXPECT_EQ(QByteArray(out[0].auxText, static_cast<qsizetype>(out[0].auxTextLength)), QByteArray("caf\xc3\xa9"));
    // Plain ASCII has one form only.
    EXPECT_EQ(QByteArray(out[1].text), QByteArray("plain"));
    EXPECT_EQ(out[1].auxText, nullptr);
    // Typed decomposed: the same two forms.
    EXPECT_EQ(QByteArray(out[2].text), QByteArray("cafe\xcc\x81"));
    EXPECT_EQ(QByteArray(out[2].auxText), QByteArray("caf\xc3\xa9"));
    EXPECT_EQ(out[0].sizeValue, 0);
    EXPECT_EQ(out[0].timeValue, 0);
    EXPECT_EQ(out[0].entryType, 0);
    EXPECT_TRUE(out[0].typeIdentifier.isNull());
}

TEST(KZFileSearchCriteria, RejectedCriteriaAreLoggedAndLeftOut)
{
    kztest::LogCapture log;
    Compiled names;
    compileKind(names, 1,
                {criterion(1, 1, QStringLiteral("   \n\t")), criterion(1, 6, QStringLiteral("abc")), criterion(1, 1),
                 criterion(1, 1, 42), criterion(1, 2, QStringLiteral("ok"))});
    ASSERT_EQ(names.count, 1);
    EXPECT_EQ(QByteArray(names[0].text), QByteArray("ok"));
    EXPECT_EQ(log.count(QStringLiteral("isCorrect==NO criterion:")), 4);

    log.clear();
    Compiled types;
    compileKind(types, 3, {criterion(3, 1, QStringLiteral("image/png")), criterion(3, 4, QString()),
                           criterion(3, 4, QStringLiteral("image/png"))});
    EXPECT_EQ(types.count, 1);
    EXPECT_EQ(log.count(QStringLiteral("isCorrect==NO criterion:")), 2);

    log.clear();
    Compiled sizes;
    compileKind(sizes, 2, {criterion(2, 6), criterion(2, 4, 10), criterion(2, 7, QStringLiteral("big"))});
    EXPECT_EQ(sizes.count, 0);
    EXPECT_EQ(log.count(QStringLiteral("isCorrect==NO criterion:")), 3);
}

TEST(KZFileSearchCriteria, TypeKeywordsSizesTagsAndAttributes)
{
    Compiled types;
    compileKind(types, 3,
                {criterion(3, 4, KZFileSearchUTIType_RegFile), criterion(3, 5, KZFileSearchUTIType_Directorty),
                 criterion(3, 4, KZFileSearchUTIType_SymLink), criterion(3, 5, KZFileSearchUTIType_DSStore),
                 criterion(3, 4, QStringLiteral("image/*"))});
    ASSERT_EQ(types.count, 5);
    EXPECT_EQ(types[0].entryType, DT_REG);
    EXPECT_EQ(types[1].entryType, DT_DIR);
    EXPECT_EQ(types[2].entryType, DT_LNK);
    EXPECT_EQ(QByteArray(types[3].text), QByteArray(".DS_Store"));
    EXPECT_EQ(types[3].textLength, 9u);
    EXPECT_EQ(types[3].entryType, 0);
    EXPECT_EQ(types[4].typeIdentifier, QStringLiteral("image/*"));
    EXPECT_EQ(types[4].text, nullptr);

    Compiled sizes;
    compileKind(sizes, 2, {criterion(2, 6, qint64(5000000000)), criterion(2, 7, 0)});
    ASSERT_EQ(sizes.count, 2);
    EXPECT_EQ(sizes[0].sizeValue, 5000000000);
    EXPECT_EQ(sizes[1].op, 7);

    // Tags: any operator; the text is only trimmed.
    Compiled tags;
    compileKind(tags, 6, {criterion(6, 0, QStringLiteral(" Caf\u00e9 ")), criterion(6, 99, QStringLiteral("x")),
                          criterion(6, 0, QStringLiteral("  "))});
    ASSERT_EQ(tags.count, 2);
    EXPECT_EQ(tags[0].typeIdentifier, QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(tags[1].op, 99);

    Compiled attrs;
    compileKind(attrs, 8, {criterion(8, 13, QStringLiteral("user.xdg.comment")), criterion(8, 14, QStringLiteral(" user.\u00e9 ")),
                           criterion(8, 4, QStringLiteral("user.x"))});
    ASSERT_EQ(attrs.count, 2);
    EXPECT_EQ(QByteArray(attrs[0].text), QByteArray("user.xdg.comment"));
    EXPECT_EQ(QByteArray(attrs[1].text), QByteArray("user.e\xcc\x81"));
    EXPECT_EQ(QByteArray(attrs[1].auxText), QByteArray("user.\xc3\xa9"));
}

TEST(KZFileSearchCriteria, DateWindowsFromAFixedNow)
{
    const QDateTime now = local(2024, 3, 31, 15, 30, 10);
    const int64_t midnight = local(2024, 3, 31).toSecsSinceEpoch();
    EXPECT_EQ(windowOf(criterion(5, 11), now), midnight);
    EXPECT_EQ(windowOf(criterion(4, 12), now), local(2024, 3, 30).toSecsSinceEpoch());
    EXPECT_EQ(windowOf(criterion(5, 8, local(2024, 2, 10, 17, 45)), now), local(2024, 2, 10).toSecsSinceEpoch());
    EXPECT_EQ(windowOf(criterion(5, 9, QDate(2023, 12, 25)), now), local(2023, 12, 25).toSecsSinceEpoch());
    EXPECT_EQ(windowOf(criterion(5, 10, local(2024, 1, 1, 0, 0, 1)), now), local(2024, 1, 1).toSecsSinceEpoch());
    // Within the last 2 weeks starts at midnight 14 days ago, not 336 hours before now.
    EXPECT_EQ(windowOf(criterion(5, 15, QStringLiteral("2|2")), now), local(2024, 3, 17).toSecsSinceEpoch());
    EXPECT_EQ(windowOf(criterion(5, 15, QStringLiteral("3|1")), now), local(2024, 3, 28).toSecsSinceEpoch());
    // Calendar months and years, clamped to the end of a shorter month.
    EXPECT_EQ(windowOf(criterion(5, 15, QStringLiteral("1|3")), now), local(2024, 2, 29).toSecsSinceEpoch());
    EXPECT_EQ(windowOf(criterion(5, 15, QStringLiteral("13|3")), now), local(2023, 2, 28).toSecsSinceEpoch());
    EXPECT_EQ(windowOf(criterion(4, 15, QStringLiteral("1|4")), local(2024, 2, 29, 8)), local(2023, 2, 28).toSecsSinceEpoch());
    // Hours and minutes count from now itself.
    EXPECT_EQ(windowOf(criterion(5, 15, QStringLiteral("3|5")), now), now.toSecsSinceEpoch() - 3 * 3600);
    EXPECT_EQ(windowOf(criterion(5, 15, QStringLiteral("10|6")), now), now.toSecsSinceEpoch() - 600);
    EXPECT_EQ(windowOf(criterion(5, 18), now), now.toSecsSinceEpoch() - 3600);
    EXPECT_EQ(windowOf(criterion(4, 19), now), now.toSecsSinceEpoch() - 21600);
}

TEST(KZFileSearchCriteria, UnusableDateCriteriaAreRejected)
{
    kztest::LogCapture log;
    const QDateTime now = local(2024, 3, 31, 15);
    Compiled out;
    compileKind(out, 5,
                {criterion(5, 8), criterion(5, 9, QStringLiteral("not a date")), criterion(5, 15, QStringLiteral("1|7")),
                 criterion(5, 15, QStringLiteral("x|1")), criterion(5, 15, QStringLiteral("3")), criterion(5, 16),
                 criterion(5, 1, QStringLiteral("a")), criterion(5, 15, QStringLiteral("-5|1")),
                 criterion(5, 15, QStringLiteral("-1|5"))},
                now);
    EXPECT_EQ(out.count, 0);
    EXPECT_EQ(log.count(QStringLiteral("isCorrect==NO criterion:")), 9);
}

// A count beyond the calendar overflowed "now minus 3,600 × N" or wrapped
// when cast to a month count, giving a window that began anywhere.
TEST(KZFileSearchCriteria, HugeWithinLastCountsStartTheWindowBeforeEveryDate)
{
    const QDateTime now = local(2024, 3, 31, 15);
    for (const char *value : {"9223372036854775807|5", "9223372036854775807|6", "9223372036854775807|1",
                              "1317624576693539402|2", "4294967297|3", "4294967297|4", "300000000|4"})
        EXPECT_EQ(windowOf(criterion(5, 15, QString::fromLatin1(value)), now), INT64_MIN) << value;
    // The largest counts that still fit are exact.
    EXPECT_EQ(windowOf(criterion(5, 15, QStringLiteral("100000|4")), now), local(-97977, 3, 31).toSecsSinceEpoch());
}

TEST(KZFileSearchCriteria, CompilesKindsInCostOrderAndIgnoresUnusedKinds)
{
    kztest::LogCapture log;
    const QVariantList criteria{
        criterion(8, 13, QStringLiteral("user.a")), criterion(3, 4, KZFileSearchUTIType_RegFile),
        criterion(6, 0, QStringLiteral("red")),     criterion(1, 1, QStringLiteral("n1")),
        criterion(0, 1, QStringLiteral("zero")),    criterion(5, 11),
        criterion(7, 1, QStringLiteral("seven")),   criterion(4, 18),
        criterion(9, 1, 1),                         criterion(2, 6, 100),
        criterion(1, 3, QStringLiteral("n2")),      criterion(10, 4, QStringList{QStringLiteral("/tmp")}),
        criterion(11, 4, true),
    };
    KZFileSearch search;
    std::vector<KZFileSearchFilterStruct> filters(static_cast<size_t>(criteria.size()));
    const int32_t count = search.compileCriteria(criteria, filters.data(), local(2024, 6, 1, 12));
    std::vector<int64_t> kinds;
    for (int32_t i = 0; i < count; ++i)
        kinds.push_back(filters[static_cast<size_t>(i)].kind);
    EXPECT_EQ(kinds, (std::vector<int64_t>{2, 4, 5, 1, 1, 6, 3, 8}));
    EXPECT_EQ(QByteArray(filters[3].text), QByteArray("n1"));
    EXPECT_EQ(QByteArray(filters[4].text), QByteArray("n2"));
    EXPECT_EQ(log.count(QStringLiteral("isCorrect==NO")), 0);
    KZFileSearchFiltersRelease(filters.data(), count);
}
