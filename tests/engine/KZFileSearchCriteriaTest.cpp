#include <gtest/gtest.h>

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

TEST(KZFileSearchCriteria, RejectedCriteriaAreLoggedAndLeftOut)
{
    const struct {
        int64_t kind;
        QVariantList criteria;
        int32_t kept;
    } rows[] = {
        {1, {criterion(1, 1, QStringLiteral("   \n\t")), criterion(1, 6, QStringLiteral("abc")), criterion(1, 1), criterion(1, 1, 42),
             criterion(1, 2, QStringLiteral("ok"))}, 1},
        {3, {criterion(3, 1, QStringLiteral("image/png")), criterion(3, 4, QString()), criterion(3, 4, QStringLiteral("image/png"))}, 1},
        {2, {criterion(2, 6), criterion(2, 4, 10), criterion(2, 7, QStringLiteral("big"))}, 0},
        {8, {criterion(8, 13, QStringLiteral("user.a")), criterion(8, 4, QStringLiteral("user.x"))}, 1},
        // Tags take any operator; a blank one is no tag.
        {6, {criterion(6, 0, QStringLiteral(" Caf\u00e9 ")), criterion(6, 99, QStringLiteral("x")), criterion(6, 0, QStringLiteral("  "))}, 2},
        {5, {criterion(5, 8), criterion(5, 9, QStringLiteral("not a date")), criterion(5, 15, QStringLiteral("1|7")),
             criterion(5, 15, QStringLiteral("x|1")), criterion(5, 15, QStringLiteral("3")), criterion(5, 16),
             criterion(5, 1, QStringLiteral("a")), criterion(5, 15, QStringLiteral("-5|1")), criterion(5, 15, QStringLiteral("-1|5"))}, 0},
    };
    for (const auto &row : rows) {
        kztest::LogCapture log;
        Compiled out;
        compileKind(out, row.kind, row.criteria, local(2024, 3, 31, 15));
        EXPECT_EQ(out.count, row.kept) << "kind " << row.kind;
        EXPECT_EQ(log.count(QStringLiteral("isCorrect==NO criterion:")), row.criteria.size() - row.kept) << "kind " << row.kind;
    }
}

TEST(KZFileSearchCriteria, DateWindowsFromAFixedNow)
{
    const QDateTime now = local(2024, 3, 31, 15, 30, 10);
    const qint64 n = now.toSecsSinceEpoch();
    const struct {
        QVariantMap criterion;
        qint64 start;
    } rows[] = {
        {criterion(5, 11), local(2024, 3, 31).toSecsSinceEpoch()},
        {criterion(4, 12), local(2024, 3, 30).toSecsSinceEpoch()},
        {criterion(5, 8, local(2024, 2, 10, 17, 45)), local(2024, 2, 10).toSecsSinceEpoch()},
        {criterion(5, 9, QDate(2023, 12, 25)), local(2023, 12, 25).toSecsSinceEpoch()},
        {criterion(5, 10, local(2024, 1, 1, 0, 0, 1)), local(2024, 1, 1).toSecsSinceEpoch()},
        // Within the last 2 weeks starts at midnight 14 days ago, not 336 hours before now.
        {criterion(5, 15, QStringLiteral("2|2")), local(2024, 3, 17).toSecsSinceEpoch()},
        {criterion(5, 15, QStringLiteral("3|1")), local(2024, 3, 28).toSecsSinceEpoch()},
        // Calendar months and years, clamped to the end of a shorter month.
        {criterion(5, 15, QStringLiteral("1|3")), local(2024, 2, 29).toSecsSinceEpoch()},
        {criterion(5, 15, QStringLiteral("13|3")), local(2023, 2, 28).toSecsSinceEpoch()},
        // Hours and minutes count from now itself.
        {criterion(5, 15, QStringLiteral("3|5")), n - 3 * 3600},
        {criterion(5, 15, QStringLiteral("10|6")), n - 600},
        {criterion(5, 18), n - 3600},
        {criterion(4, 19), n - 21600},
    };
    for (const auto &row : rows)
        EXPECT_EQ(windowOf(row.criterion, now), row.start) << row.criterion.value(QStringLiteral("value")).toString().toStdString();
    EXPECT_EQ(windowOf(criterion(4, 15, QStringLiteral("1|4")), local(2024, 2, 29, 8)), local(2023, 2, 28).toSecsSinceEpoch());
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
        criterion(11, 4, true),                     criterion(12, 5, QStringList{QStringLiteral(".git")}),
    };
    KZFileSearch search;
    std::vector<KZFileSearchFilterStruct> filters(static_cast<size_t>(criteria.size()));
    const int32_t count = search.compileCriteria(criteria, filters.data(), local(2024, 6, 1, 12));
    std::vector<int64_t> kinds;
    for (int32_t i = 0; i < count; ++i)
        kinds.push_back(filters[static_cast<size_t>(i)].kind);
    EXPECT_EQ(kinds, (std::vector<int64_t>{2, 4, 5, 1, 1, 6, 3, 8}));
    EXPECT_EQ(QByteArray(filters[3].text) + QByteArray(filters[4].text), QByteArray("n1n2"));
    EXPECT_EQ(log.count(QStringLiteral("isCorrect==NO")), 0);
    KZFileSearchFiltersRelease(filters.data(), count);
}
