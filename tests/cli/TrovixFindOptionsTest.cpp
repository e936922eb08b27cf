#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "cli/TrovixFindOptions.h"
#include "engine/KZSearchTextCriteria.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

using kztest::criterion;

// Arguments written as one line; no argument here holds a space.
TrovixFindOptions parseOk(const char *line)
{
    const QStringList argv = QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    TrovixFindOptions o;
    QString error;
    EXPECT_EQ(parseTrovixFindArguments(argv, QStringLiteral("/work/here"), &o, &error), TrovixFindParse::Ok) << line << ": " << error.toStdString();
    return o;
}

} // namespace

TEST(SearchText, FieldTextBecomesNameCriteria)
{
    const std::pair<const char *, QVariantList> cases[] = {
        {"abc\\*", {criterion(1, 1, QStringLiteral("abc\\*"))}},
        {"a*b*c", {criterion(1, 1, QStringLiteral("a*b*c"))}},
        {"ab*cd*", {criterion(1, 2, QStringLiteral("ab*cd"))}},
        {"*", {criterion(1, 1, QStringLiteral("*"))}},
        {"  report  ", {criterion(1, 1, QStringLiteral("report"))}},
        {"   ", {}},
        {"", {}},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(KZFileNameCriteriaFromSearchText(QString::fromUtf8(text)), expected) << text;
}

TEST(TrovixFindArguments, EveryRuleBecomesItsCriterion)
{
    const std::pair<const char *, QVariantMap> cases[] = {
        {"--name not-contains:tmp", criterion(1, 20, QStringLiteral("tmp"))},
        {"--size >1.5M", criterion(2, 7, qint64(1572864))},
        {"--modified within:3d", criterion(5, 15, QStringLiteral("3|1"))},
        {"--modified within:90min", criterion(5, 15, QStringLiteral("90|6"))},
        {"--created on:2026-02-28", criterion(4, 8, QDateTime(QDate(2026, 2, 28), QTime(0, 0)))},
        {"--created before:2026-02-28", criterion(4, 9, QDateTime(QDate(2026, 2, 28), QTime(0, 0)))},
        {"--modified after:2026-02-28", criterion(5, 10, QDateTime(QDate(2026, 2, 28), QTime(0, 0)))},
        {"--modified last-6-hours", criterion(5, 19)},
        {"--modified yesterday", criterion(5, 12)},
        {"--not-type image/*", criterion(3, 5, QStringLiteral("image/*"))},
        {"--type */*", criterion(3, 4, QStringLiteral("*/*"))},
        // Relative sub-folders are read from the scope, not from the current folder.
        {"--in src --in /work/here/docs",
         criterion(10, 4, QStringList{QStringLiteral("/work/here/src"), QStringLiteral("/work/here/docs")})},
        {"-s /data --in a/../b", criterion(10, 4, QStringList{QStringLiteral("/data/b")})},
        {"-s /data --skip src/build --skip /abs",
         criterion(10, 5, QStringList{QStringLiteral("/data/src/build"), QStringLiteral("/abs")})},
    };
    for (const auto &[line, expected] : cases)
        EXPECT_EQ(parseOk(line).ruleCriteria, QVariantList{expected}) << line;
    // Together they keep the order they were given in; the folders come last.
    EXPECT_EQ(parseOk("--in src --trash --name=is:README --tag Red").ruleCriteria,
              (QVariantList{criterion(11, 4, true), criterion(1, 4, QStringLiteral("README")),
                            criterion(6, 0, QStringLiteral("Red")),
                            criterion(10, 4, QStringList{QStringLiteral("/work/here/src")})}));
}

TEST(TrovixFindArguments, ByteCounts)
{
    const std::pair<const char *, qint64> cases[] = {
        {"0", 0},   {"512B", 512},  {"2k", 2048}, {"1.5K", 1536}, {"3G", 3LL << 30}, {"1T", 1LL << 40},
        {"-1", -1}, {"M", -1},      {"1.K", -1},  {"99999999999T", -1},
    };
    for (const auto &[text, bytes] : cases)
        EXPECT_EQ(parseByteCount(QString::fromUtf8(text)), bytes) << text;
}

TEST(TrovixFindCriteriaJson, SizesDatesAndTheTrashSwitch)
{
    const QByteArray json = R"([
        {"kind": 2, "operator": 7, "value": 1024},
        {"kind": 4, "operator": 8, "value": "2026-03-01"},
        {"kind": 5, "operator": 9, "value": "2026-03-01T12:30:00"},
        {"kind": 5, "operator": 10, "value": "2026-03-01T12:30:00Z"},
        {"kind": 4, "operator": 11},
        {"kind": 11, "operator": 4, "value": true}
    ])";
    QVariantList list;
    QString error;
    ASSERT_TRUE(parseCriteriaJson(json, &list, &error)) << error.toStdString();
    const QDateTime utc = QDateTime(QDate(2026, 3, 1), QTime(12, 30), QTimeZone::utc()).toLocalTime();
    EXPECT_EQ(list, (QVariantList{criterion(2, 7, qint64(1024)),
                                  criterion(4, 8, QDateTime(QDate(2026, 3, 1), QTime(0, 0))),
                                  criterion(5, 9, QDateTime(QDate(2026, 3, 1), QTime(12, 30))),
                                  criterion(5, 10, utc), criterion(4, 11), criterion(11, 4, true)}));
    EXPECT_EQ(list[3].toMap().value(QStringLiteral("value")).toDateTime().timeSpec(), Qt::LocalTime);
}

TEST(TrovixFindCriteriaJson, MalformedInputIsAnErrorNamingTheCriterion)
{
    const std::pair<const char *, const char *> cases[] = {
        {R"([{"kind": 1)", "not valid JSON"},
        {R"({"kind": 1})", "array"},
        {"[3]", "criterion 1"},
        {R"([{"kind": "1", "operator": 1, "value": "a"}])", R"("kind" must be an integer)"},
        {R"([{"kind": 1, "operator": 1.5, "value": "a"}])", R"("operator" must be an integer)"},
        {R"([{"kind": 1, "operator": 1, "value": "a"}, {"kind": 2, "operator": 6, "value": "big"}])", "criterion 2"},
        {R"([{"kind": 4, "operator": 8, "value": "yesterday-ish"}])", "ISO 8601"},
        {R"([{"kind": 5, "operator": 15, "value": 3}])", "N|U"},
        {R"([{"kind": 10, "operator": 4, "value": "/a"}])", "folder paths"},
        {R"([{"kind": 10, "operator": 4, "value": ["/a", 2]}])", "folder paths"},
        {R"([{"kind": 11, "operator": 4, "value": 1}])", "true or false"},
        {R"([{"kind": 12, "operator": 5, "value": ".git"}])", "folder names"},
        {R"([{"kind": 12, "operator": 5, "value": [""]}])", "folder names"},
        {R"([{"kind": 1, "operator": 1, "value": 7}])", "a string"},
    };
    for (const auto &[json, mentions] : cases) {
        QVariantList list;
        QString error;
        EXPECT_FALSE(parseCriteriaJson(QByteArray(json), &list, &error)) << json;
        EXPECT_TRUE(error.contains(QString::fromUtf8(mentions))) << json << " -> " << error.toStdString();
    }
}
