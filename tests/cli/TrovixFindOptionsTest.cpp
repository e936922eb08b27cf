#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "cli/TrovixFindOptions.h"
#include "engine/KZSearchTextCriteria.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

using kztest::criterion;

// Arguments written as one line; no argument here holds a space.
QStringList argv(const char *line)
{
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TrovixFindParse parse(const char *line, TrovixFindOptions *o, QString *error)
{
    return parseTrovixFindArguments(argv(line), QStringLiteral("/work/here"), o, error);
}

TrovixFindOptions parseOk(const char *line)
{
    TrovixFindOptions o;
    QString error;
    EXPECT_EQ(parse(line, &o, &error), TrovixFindParse::Ok) << line << ": " << error.toStdString();
    return o;
}

} // namespace

TEST(SearchText, FieldTextBecomesNameCriteria)
{
    const std::pair<const char *, QVariantList> cases[] = {
        {"a*b", {criterion(1, 1, QStringLiteral("a*b"))}}, // too short to split
        {"ab*cd", {criterion(1, 2, QStringLiteral("ab")), criterion(1, 3, QStringLiteral("cd"))}},
        {"*txt", {criterion(1, 3, QStringLiteral("txt"))}},
        {"abc*", {criterion(1, 2, QStringLiteral("abc"))}},
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

TEST(TrovixFindArguments, ScopePatternAndOutputs)
{
    TrovixFindOptions o = parseOk("");
    EXPECT_EQ(o.scope, QStringLiteral("/work/here"));
    EXPECT_TRUE(o.criteria().isEmpty());

    o = parseOk("-s ../there/ *.txt -0 --stats");
    EXPECT_EQ(o.scope, QStringLiteral("/work/there"));
    EXPECT_EQ(o.criteria(), QVariantList{criterion(1, 3, QStringLiteral(".txt"))});
    EXPECT_TRUE(o.print0 && o.stats && !o.json && !o.count);

    o = parseOk("--scope=/abs --json --no-excluded -- -dash-name");
    EXPECT_EQ(o.scope, QStringLiteral("/abs"));
    EXPECT_TRUE(o.json && o.noExcluded && !o.print0);
    EXPECT_EQ(o.pattern, QStringLiteral("-dash-name"));
    EXPECT_TRUE(parseOk("--help").help);
    EXPECT_TRUE(parseOk("--count").count);
    EXPECT_EQ(parseOk("--threads 8").threads, 8);
    EXPECT_EQ(parseOk("").threads, 0);
}

TEST(TrovixFindArguments, EveryRuleBecomesItsCriterion)
{
    const std::pair<const char *, QVariantMap> cases[] = {
        {"--name not-contains:tmp", criterion(1, 20, QStringLiteral("tmp"))},
        {"--name=is:README", criterion(1, 4, QStringLiteral("README"))},
        {"--size <10K", criterion(2, 6, qint64(10240))},
        {"--size >1.5M", criterion(2, 7, qint64(1572864))},
        {"--modified within:3d", criterion(5, 15, QStringLiteral("3|1"))},
        {"--modified within:90min", criterion(5, 15, QStringLiteral("90|6"))},
        {"--created on:2026-02-28", criterion(4, 8, QDateTime(QDate(2026, 2, 28), QTime(0, 0)))},
        {"--created before:2026-02-28", criterion(4, 9, QDateTime(QDate(2026, 2, 28), QTime(0, 0)))},
        {"--modified after:2026-02-28", criterion(5, 10, QDateTime(QDate(2026, 2, 28), QTime(0, 0)))},
        {"--modified last-6-hours", criterion(5, 19)},
        {"--modified yesterday", criterion(5, 12)},
        {"--type dir", criterion(3, 4, QStringLiteral("KZFileSearchUTIType_Directorty"))},
        {"--not-type image/*", criterion(3, 5, QStringLiteral("image/*"))},
        {"--type */*", criterion(3, 4, QStringLiteral("*/*"))},
        {"--tag Red", criterion(6, 0, QStringLiteral("Red"))},
        {"--xattr user.xdg.comment", criterion(8, 13, QStringLiteral("user.xdg.comment"))},
        {"--no-xattr user.checksum", criterion(8, 14, QStringLiteral("user.checksum"))},
        {"--trash", criterion(11, 4, true)},
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

TEST(TrovixFindArguments, UsageErrorsNameWhatIsWrong)
{
    const std::pair<const char *, const char *> cases[] = {
        {"--bogus", "--bogus"},
        {"--scope", "needs a value"},
        {"a b", "one PATTERN"},
        {"--name has:x", "OP:TEXT"},
        {"--name=is:\t", "no text"},
        {"--size 10K", "<N"},
        {"--size >10Q", "10Q"},
        {"--modified within:3x", "within:3x"},
        {"--created on:2026-02-30", "on:2026-02-30"},
        {"--type picture", "picture"},
        {"--type */png", "*/png"},
        {"-s /data --in /elsewhere", "not inside the scope"},
        {"-s /data --in ../data-2", "not inside the scope"},
        {"--json -0", "cannot be combined"},
        {"--count --json", "cannot be combined"},
        {"--stats=yes", "takes no value"},
        {"-s a -s b", "only one --scope"},
        {"--save x --saved y", "cannot be combined"},
        {"--threads 0", "from 1 to 64"},
        {"--threads many", "many"},
    };
    for (const auto &[line, mentions] : cases) {
        TrovixFindOptions o;
        QString error;
        EXPECT_EQ(parse(line, &o, &error), TrovixFindParse::UsageError) << "accepted: " << line;
        EXPECT_TRUE(error.contains(QString::fromUtf8(mentions))) << line << " -> " << error.toStdString();
    }
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

TEST(TrovixFindCriteriaJson, EveryKindAndDates)
{
    const QByteArray json = R"([
        {"kind": 1, "operator": 3, "value": ".txt"},
        {"kind": 2, "operator": 7, "value": 1024},
        {"kind": 4, "operator": 8, "value": "2026-03-01"},
        {"kind": 5, "operator": 9, "value": "2026-03-01T12:30:00"},
        {"kind": 5, "operator": 10, "value": "2026-03-01T12:30:00Z"},
        {"kind": 4, "operator": 11},
        {"kind": 10, "operator": 5, "value": ["/a", "/b c"]},
        {"kind": 11, "operator": 4, "value": true},
        {"kind": 42, "operator": 1, "value": "kept for the warning"}
    ])";
    QVariantList list;
    QString error;
    ASSERT_TRUE(parseCriteriaJson(json, &list, &error)) << error.toStdString();
    const QDateTime utc = QDateTime(QDate(2026, 3, 1), QTime(12, 30), QTimeZone::utc()).toLocalTime();
    EXPECT_EQ(list, (QVariantList{criterion(1, 3, QStringLiteral(".txt")), criterion(2, 7, qint64(1024)),
                                  criterion(4, 8, QDateTime(QDate(2026, 3, 1), QTime(0, 0))),
                                  criterion(5, 9, QDateTime(QDate(2026, 3, 1), QTime(12, 30))),
                                  criterion(5, 10, utc), criterion(4, 11),
                                  criterion(10, 5, QStringList{QStringLiteral("/a"), QStringLiteral("/b c")}),
                                  criterion(11, 4, true), criterion(42, 1, QStringLiteral("kept for the warning"))}));
    EXPECT_EQ(list[4].toMap().value(QStringLiteral("value")).toDateTime().timeSpec(), Qt::LocalTime);
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
        {R"([{"kind": 1, "operator": 1, "value": 7}])", "a string"},
    };
    for (const auto &[json, mentions] : cases) {
        QVariantList list;
        QString error;
        EXPECT_FALSE(parseCriteriaJson(QByteArray(json), &list, &error)) << json;
        EXPECT_TRUE(error.contains(QString::fromUtf8(mentions))) << json << " -> " << error.toStdString();
    }
}
