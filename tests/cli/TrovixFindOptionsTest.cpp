#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "cli/TrovixFindOptions.h"
#include "engine/KZSearchTextCriteria.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

TrovixFindOptions parseOk(const QStringList &args)
{
    TrovixFindOptions o;
    QString error;
    EXPECT_EQ(parseTrovixFindArguments(args, QStringLiteral("/work/here"), &o, &error), TrovixFindParse::Ok)
        << error.toStdString();
    return o;
}

QString parseError(const QStringList &args)
{
    TrovixFindOptions o;
    QString error;
    EXPECT_EQ(parseTrovixFindArguments(args, QStringLiteral("/work/here"), &o, &error), TrovixFindParse::UsageError)
        << "accepted: " << args.join(QLatin1Char(' ')).toStdString();
    return error;
}

} // namespace

TEST(SearchText, FieldTextBecomesNameCriteria)
{
    struct Case {
        const char *text;
        QVariantList expected;
    };
    const Case cases[] = {
        {"a*b", {kztest::criterion(1, 1, QStringLiteral("a*b"))}}, // too short to split
        {"ab*cd", {kztest::criterion(1, 2, QStringLiteral("ab")), kztest::criterion(1, 3, QStringLiteral("cd"))}},
        {"*txt", {kztest::criterion(1, 3, QStringLiteral("txt"))}},
        {"abc*", {kztest::criterion(1, 2, QStringLiteral("abc"))}},
        {"abc\\*", {kztest::criterion(1, 1, QStringLiteral("abc\\*"))}},
        {"a*b*c", {kztest::criterion(1, 1, QStringLiteral("a*b*c"))}},
        {"ab*cd*", {kztest::criterion(1, 2, QStringLiteral("ab*cd"))}},
        {"*", {kztest::criterion(1, 1, QStringLiteral("*"))}},
        {"  report  ", {kztest::criterion(1, 1, QStringLiteral("report"))}},
        {"   ", {}},
        {"", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(KZFileNameCriteriaFromSearchText(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(TrovixFindArguments, ScopePatternAndOutputs)
{
    TrovixFindOptions o = parseOk({});
    EXPECT_EQ(o.scope, QStringLiteral("/work/here"));
    EXPECT_TRUE(o.criteria().isEmpty());

    o = parseOk({QStringLiteral("-s"), QStringLiteral("../there/"), QStringLiteral("*.txt"), QStringLiteral("-0"),
                 QStringLiteral("--stats")});
    EXPECT_EQ(o.scope, QStringLiteral("/work/there"));
    EXPECT_EQ(o.criteria(), QVariantList{kztest::criterion(1, 3, QStringLiteral(".txt"))});
    EXPECT_TRUE(o.print0);
    EXPECT_TRUE(o.stats);

    o = parseOk({QStringLiteral("--scope=/abs"), QStringLiteral("--json"), QStringLiteral("--no-excluded"),
                 QStringLiteral("--"), QStringLiteral("-dash-name")});
    EXPECT_EQ(o.scope, QStringLiteral("/abs"));
    EXPECT_TRUE(o.json);
    EXPECT_TRUE(o.noExcluded);
    EXPECT_EQ(o.pattern, QStringLiteral("-dash-name"));
    EXPECT_TRUE(parseOk({QStringLiteral("--help")}).help);
    EXPECT_TRUE(parseOk({QStringLiteral("--count")}).count);
}

TEST(TrovixFindArguments, EveryRuleBecomesItsCriterion)
{
    const TrovixFindOptions o = parseOk({
        QStringLiteral("--name"), QStringLiteral("not-contains:tmp"),
        QStringLiteral("--name=is:README"),
        QStringLiteral("--size"), QStringLiteral("<10K"),
        QStringLiteral("--size"), QStringLiteral(">1.5M"),
        QStringLiteral("--modified"), QStringLiteral("within:3d"),
        QStringLiteral("--created"), QStringLiteral("on:2026-02-28"),
        QStringLiteral("--modified"), QStringLiteral("last-6-hours"),
        QStringLiteral("--modified"), QStringLiteral("within:90min"),
        QStringLiteral("--type"), QStringLiteral("dir"),
        QStringLiteral("--not-type"), QStringLiteral("image/*"),
        QStringLiteral("--type"), QStringLiteral("*/*"),
        QStringLiteral("--tag"), QStringLiteral("Red"),
        QStringLiteral("--xattr"), QStringLiteral("user.xdg.comment"),
        QStringLiteral("--no-xattr"), QStringLiteral("user.checksum"),
        QStringLiteral("--in"), QStringLiteral("src"),
        QStringLiteral("--in"), QStringLiteral("/work/here/docs"),
        QStringLiteral("--skip"), QStringLiteral("src/build"),
        QStringLiteral("--trash"),
    });
    const QVariantList expected{
        kztest::criterion(1, 20, QStringLiteral("tmp")),
        kztest::criterion(1, 4, QStringLiteral("README")),
        kztest::criterion(2, 6, qint64(10240)),
        kztest::criterion(2, 7, qint64(1572864)),
        kztest::criterion(5, 15, QStringLiteral("3|1")),
        kztest::criterion(4, 8, QDateTime(QDate(2026, 2, 28), QTime(0, 0))),
        kztest::criterion(5, 19),
        kztest::criterion(5, 15, QStringLiteral("90|6")),
        kztest::criterion(3, 4, QStringLiteral("KZFileSearchUTIType_Directorty")),
        kztest::criterion(3, 5, QStringLiteral("image/*")),
        kztest::criterion(3, 4, QStringLiteral("*/*")),
        kztest::criterion(6, 0, QStringLiteral("Red")),
        kztest::criterion(8, 13, QStringLiteral("user.xdg.comment")),
        kztest::criterion(8, 14, QStringLiteral("user.checksum")),
        kztest::criterion(11, 4, true),
        kztest::criterion(10, 4, QStringList{QStringLiteral("/work/here/src"), QStringLiteral("/work/here/docs")}),
        kztest::criterion(10, 5, QStringList{QStringLiteral("/work/here/src/build")}),
    };
    ASSERT_EQ(o.ruleCriteria.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_EQ(o.ruleCriteria.at(i), expected.at(i)) << "criterion " << i;

    // Relative sub-folders are read from the scope, not from the current folder.
    const TrovixFindOptions scoped = parseOk({QStringLiteral("-s"), QStringLiteral("/data"), QStringLiteral("--in"),
                                              QStringLiteral("a/../b"), QStringLiteral("--skip"), QStringLiteral("/abs")});
    EXPECT_EQ(scoped.ruleCriteria, (QVariantList{kztest::criterion(10, 4, QStringList{QStringLiteral("/data/b")}),
                                                 kztest::criterion(10, 5, QStringList{QStringLiteral("/abs")})}));
}

TEST(TrovixFindArguments, UsageErrorsNameWhatIsWrong)
{
    EXPECT_TRUE(parseError({QStringLiteral("--bogus")}).contains(QStringLiteral("--bogus")));
    EXPECT_TRUE(parseError({QStringLiteral("--scope")}).contains(QStringLiteral("needs a value")));
    EXPECT_TRUE(parseError({QStringLiteral("a"), QStringLiteral("b")}).contains(QStringLiteral("one PATTERN")));
    EXPECT_TRUE(parseError({QStringLiteral("--name"), QStringLiteral("has:x")}).contains(QStringLiteral("OP:TEXT")));
    EXPECT_TRUE(parseError({QStringLiteral("--name"), QStringLiteral("is:   ")}).contains(QStringLiteral("no text")));
    EXPECT_TRUE(parseError({QStringLiteral("--size"), QStringLiteral("10K")}).contains(QStringLiteral("<N")));
    EXPECT_TRUE(parseError({QStringLiteral("--size"), QStringLiteral(">10Q")}).contains(QStringLiteral("10Q")));
    EXPECT_TRUE(parseError({QStringLiteral("--modified"), QStringLiteral("within:3x")}).contains(QStringLiteral("within:3x")));
    EXPECT_TRUE(parseError({QStringLiteral("--created"), QStringLiteral("on:2026-02-30")}).contains(QStringLiteral("on:2026-02-30")));
    EXPECT_TRUE(parseError({QStringLiteral("--type"), QStringLiteral("picture")}).contains(QStringLiteral("picture")));
    EXPECT_TRUE(parseError({QStringLiteral("--type"), QStringLiteral("*/png")}).contains(QStringLiteral("*/png")));
    EXPECT_FALSE(parseError({QStringLiteral("--json"), QStringLiteral("-0")}).isEmpty());
    EXPECT_FALSE(parseError({QStringLiteral("--count"), QStringLiteral("--json")}).isEmpty());
    EXPECT_FALSE(parseError({QStringLiteral("--stats=yes")}).isEmpty());
    EXPECT_FALSE(parseError({QStringLiteral("-s"), QStringLiteral("a"), QStringLiteral("-s"), QStringLiteral("b")}).isEmpty());
    EXPECT_FALSE(parseError({QStringLiteral("--save"), QStringLiteral("x"), QStringLiteral("--saved"), QStringLiteral("y")}).isEmpty());
}

TEST(TrovixFindArguments, ByteCounts)
{
    EXPECT_EQ(parseByteCount(QStringLiteral("0")), 0);
    EXPECT_EQ(parseByteCount(QStringLiteral("512B")), 512);
    EXPECT_EQ(parseByteCount(QStringLiteral("2k")), 2048);
    EXPECT_EQ(parseByteCount(QStringLiteral("3G")), 3LL << 30);
    EXPECT_EQ(parseByteCount(QStringLiteral("1T")), 1LL << 40);
    EXPECT_EQ(parseByteCount(QStringLiteral("-1")), -1);
    EXPECT_EQ(parseByteCount(QStringLiteral("M")), -1);
    EXPECT_EQ(parseByteCount(QStringLiteral("99999999999T")), -1);
}

TEST(TrovixFindCriteriaJson, EveryKindAndDates)
{
    const QByteArray json = R"([
        {"kind": 1, "operator": 3, "value": ".txt"},
        {"kind": 2, "operator": 7, "value": 1024},
        {"kind": 3, "operator": 4, "value": "image/*"},
        {"kind": 4, "operator": 8, "value": "2026-03-01"},
        {"kind": 5, "operator": 9, "value": "2026-03-01T12:30:00"},
        {"kind": 5, "operator": 10, "value": "2026-03-01T12:30:00Z"},
        {"kind": 5, "operator": 15, "value": "2|2"},
        {"kind": 4, "operator": 11},
        {"kind": 6, "operator": 0, "value": "Blue"},
        {"kind": 8, "operator": 14, "value": "user.a"},
        {"kind": 10, "operator": 5, "value": ["/a", "/b c"]},
        {"kind": 11, "operator": 4, "value": true},
        {"kind": 42, "operator": 1, "value": "kept for the warning"}
    ])";
    QVariantList list;
    QString error;
    ASSERT_TRUE(parseCriteriaJson(json, &list, &error)) << error.toStdString();
    ASSERT_EQ(list.size(), 13);
    EXPECT_EQ(list[0], kztest::criterion(1, 3, QStringLiteral(".txt")));
    EXPECT_EQ(list[1], kztest::criterion(2, 7, qint64(1024)));
    EXPECT_EQ(list[3].toMap().value(QStringLiteral("value")).toDateTime(), QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
    EXPECT_EQ(list[4].toMap().value(QStringLiteral("value")).toDateTime(), QDateTime(QDate(2026, 3, 1), QTime(12, 30)));
    const QDateTime utc = list[5].toMap().value(QStringLiteral("value")).toDateTime();
    EXPECT_EQ(utc.timeSpec(), Qt::LocalTime);
    EXPECT_EQ(utc.toSecsSinceEpoch(), QDateTime(QDate(2026, 3, 1), QTime(12, 30), QTimeZone::utc()).toSecsSinceEpoch());
    EXPECT_EQ(list[7], kztest::criterion(4, 11));
    EXPECT_EQ(list[10], kztest::criterion(10, 5, QStringList{QStringLiteral("/a"), QStringLiteral("/b c")}));
    EXPECT_EQ(list[11], kztest::criterion(11, 4, true));
    EXPECT_EQ(list[12].toMap().value(QStringLiteral("kind")).toInt(), 42);
}

TEST(TrovixFindCriteriaJson, MalformedInputIsAnErrorNamingTheCriterion)
{
    struct Case {
        const char *json;
        const char *mentions;
    };
    const Case cases[] = {
        {"[{\"kind\": 1", "not valid JSON"},
        {"{\"kind\": 1}", "array"},
        {"[3]", "criterion 1"},
        {"[{\"kind\": \"1\", \"operator\": 1, \"value\": \"a\"}]", "\"kind\" must be an integer"},
        {"[{\"kind\": 1, \"operator\": 1.5, \"value\": \"a\"}]", "\"operator\" must be an integer"},
        {"[{\"kind\": 1, \"operator\": 1, \"value\": \"a\"}, {\"kind\": 2, \"operator\": 6, \"value\": \"big\"}]",
         "criterion 2"},
        {"[{\"kind\": 4, \"operator\": 8, \"value\": \"yesterday-ish\"}]", "ISO 8601"},
        {"[{\"kind\": 5, \"operator\": 15, \"value\": 3}]", "N|U"},
        {"[{\"kind\": 10, \"operator\": 4, \"value\": \"/a\"}]", "folder paths"},
        {"[{\"kind\": 10, \"operator\": 4, \"value\": [\"/a\", 2]}]", "folder paths"},
        {"[{\"kind\": 11, \"operator\": 4, \"value\": 1}]", "true or false"},
        {"[{\"kind\": 1, \"operator\": 1, \"value\": 7}]", "a string"},
    };
    for (const Case &c : cases) {
        QVariantList list;
        QString error;
        EXPECT_FALSE(parseCriteriaJson(QByteArray(c.json), &list, &error)) << c.json;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.mentions))) << c.json << " -> " << error.toStdString();
    }
}
