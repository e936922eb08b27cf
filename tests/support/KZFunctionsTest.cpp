#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "support/KZFunctions.h"
#include "support/KZLocalization.h"
#include "tests/testlib/TestEnvironment.h"

TEST(KZFunctionsBytes, FallbackFormats)
{
    EXPECT_EQ(KZFunctions::stringFromBytesFallback(1536), QStringLiteral("2 KB"));
    EXPECT_EQ(KZFunctions::stringFromBytesFallback(2097152), QStringLiteral("2 MB"));
    EXPECT_EQ(KZFunctions::stringFromBytesFallback(1610612736), QStringLiteral("1.50 GB"));
    EXPECT_EQ(KZFunctions::stringFromBytesFallback(0), QStringLiteral("Zero Byte"));
    EXPECT_EQ(KZFunctions::stringFromBytesFallback(1024), QStringLiteral("1 KB"));
    EXPECT_EQ(KZFunctions::stringFromBytesFallback(3LL << 40), QStringLiteral("3 TB"));
    EXPECT_EQ(KZFunctions::stringFromBytesFallback(1572864), QStringLiteral("1.5 MB"));
    EXPECT_TRUE(KZFunctions::stringFromBytesFallback(-1).isNull());
}

TEST(KZFunctionsBytes, PlatformFormatterIsBin1024)
{
    EXPECT_TRUE(KZFunctions::stringFromBytesWithBin1024Style(-5).isNull());
    EXPECT_EQ(KZFunctions::stringFromBytesWithBin1024Style(2097152), QStringLiteral("2.00 MB"));
    EXPECT_EQ(KZFunctions::stringFromBytesWithBin1024Style(1536), QStringLiteral("1.50 kB"));
    // The platform formatter says "1 bytes"; one byte is singular.
    EXPECT_EQ(KZFunctions::stringFromBytesWithBin1024Style(1), QStringLiteral("1 byte"));
    EXPECT_EQ(KZFunctions::stringFromBytesWithBin1024Style(2), QStringLiteral("2 bytes"));
}

class KZFunctionsCommand : public ::testing::Test
{
protected:
    kztest::TempTree tree;
    QString script(const QString &name, const QByteArray &body)
    {
        const QString p = tree.writeFile(name, "#!/bin/sh\n" + body);
        ::chmod(QFile::encodeName(p).constData(), 0755);
        return p;
    }
};

TEST_F(KZFunctionsCommand, ToolWritingOnlyToStandardError)
{
    const QString tool = script(QStringLiteral("err.sh"), "echo oops >&2\nexit 3\n");
    int status = -1;
    QString out = QStringLiteral("stale"), err;
    ASSERT_TRUE(KZFunctions::executeCommand(tool, {}, &status, &out, &err));
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(err, QStringLiteral("oops\n"));
}

TEST_F(KZFunctionsCommand, MegabytesOnBothStreamsDoNotDeadlock)
{
    // 4 MiB on each stream, interleaved, far beyond a pipe's 64 KiB buffer.
    const QString tool = script(QStringLiteral("big.sh"),
                                "i=0\nwhile [ $i -lt 64 ]; do\n"
                                "  head -c 65536 /dev/zero | tr '\\0' o\n"
                                "  head -c 65536 /dev/zero | tr '\\0' e >&2\n"
                                "  i=$((i+1))\ndone\n");
    int status = -1;
    QString out, err;
    ASSERT_TRUE(KZFunctions::executeCommand(tool, {}, &status, &out, &err));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.size(), 64 * 65536);
    EXPECT_EQ(err.size(), 64 * 65536);
    EXPECT_EQ(out.count(QLatin1Char('o')), out.size());
    EXPECT_EQ(err.count(QLatin1Char('e')), err.size());
}

TEST_F(KZFunctionsCommand, ArgumentsEnvironmentAndWorkingFolder)
{
    const QString tool = script(QStringLiteral("args.sh"), "printf '%s|' \"$@\"; printf '%s|' \"$TROVIX_X\"; pwd\n");
    QProcessEnvironment env;
    env.insert(QStringLiteral("TROVIX_X"), QStringLiteral("42"));
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    int status = -1;
    QString out, err;
    ASSERT_TRUE(KZFunctions::executeCommand(tool, {QStringLiteral("a b"), QStringLiteral("c")}, env, tree.root(),
                                            &status, &out, &err));
    EXPECT_EQ(out, QStringLiteral("a b|c|42|%1\n").arg(tree.root()));
}

TEST_F(KZFunctionsCommand, RefusesWhatIsNotAnExecutableFile)
{
    kztest::LogCapture capture;
    int status = 7;
    QString out = QStringLiteral("x"), err = QStringLiteral("y");
    EXPECT_FALSE(KZFunctions::executeCommand(QString(), {}, &status, &out, &err));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.isEmpty());
    EXPECT_FALSE(KZFunctions::executeCommand(QStringLiteral("/"), {}, &status, &out, &err));
    EXPECT_FALSE(KZFunctions::executeCommand(tree.root(), {}, &status, &out, &err));
    EXPECT_FALSE(KZFunctions::executeCommand(tree.writeFile(QStringLiteral("plain.txt"), "x"), {}, &status, &out, &err));
    EXPECT_FALSE(KZFunctions::executeCommand(tree.path(QStringLiteral("missing")), {}, &status, &out, &err));
    EXPECT_EQ(capture.entries().size(), 5);
}

TEST_F(KZFunctionsCommand, OutputThatIsNotTextIsReportedAsSuch)
{
    const QString tool = script(QStringLiteral("bin.sh"), "printf '\\377\\376abc'\n");
    int status = -1;
    QString out, err;
    ASSERT_TRUE(KZFunctions::executeCommand(tool, {}, &status, &out, &err));
    EXPECT_EQ(out, QStringLiteral("outString==nil"));
}

TEST(KZFunctionsNames, LegalFileNames)
{
    EXPECT_TRUE(KZFunctions::isLegalFilename(QStringLiteral("Report 2026.txt")));
    EXPECT_TRUE(KZFunctions::isLegalFilename(QStringLiteral("café")));
    EXPECT_FALSE(KZFunctions::isLegalFilename(QString()));
    EXPECT_FALSE(KZFunctions::isLegalFilename(QStringLiteral("a:b")));
    EXPECT_FALSE(KZFunctions::isLegalFilename(QStringLiteral("a/b")));
    EXPECT_FALSE(KZFunctions::isLegalFilename(QStringLiteral("a<b")));
    EXPECT_FALSE(KZFunctions::isLegalFilename(QStringLiteral("line\nbreak")));
    EXPECT_FALSE(KZFunctions::isLegalFilename(QStringLiteral("tab\there")));
    EXPECT_FALSE(KZFunctions::isLegalFilename(QStringLiteral("price$")));
    EXPECT_TRUE(KZFunctions::isLegalFilename(QString(254, QLatin1Char('a'))));
    EXPECT_FALSE(KZFunctions::isLegalFilename(QString(255, QLatin1Char('a'))));
}

TEST(KZFunctionsNames, SecurisedFileName)
{
    EXPECT_EQ(KZFunctions::securisedFileName(QStringLiteral("a/b:c|d"), QString()), QStringLiteral("a_b_c_d"));
    EXPECT_EQ(KZFunctions::securisedFileName(QStringLiteral("<x>\"y\\"), QStringLiteral("-")), QStringLiteral("-x--y-"));
    EXPECT_TRUE(KZFunctions::securisedFileName(QString(), QStringLiteral("-")).isNull());
}

TEST(KZFunctionsNames, EmailStrings)
{
    EXPECT_TRUE(KZFunctions::isEmailString(QStringLiteral("me@trovix.org")));
    EXPECT_FALSE(KZFunctions::isEmailString(QStringLiteral("a@b")));
    EXPECT_FALSE(KZFunctions::isEmailString(QStringLiteral("me@trovix.international")));
    EXPECT_FALSE(KZFunctions::isEmailString(QStringLiteral("me@@trovix.org")));
    EXPECT_FALSE(KZFunctions::isEmailString(QString(123, QLatin1Char('a')) + QStringLiteral("@x.org")));
}

TEST(KZFunctionsLines, SplittingAndCounting)
{
    const QString text = QStringLiteral("one\r\ntwo\n\nthree\rfour");
    EXPECT_EQ(KZFunctions::linesFromString(text),
              (QStringList{QStringLiteral("one"), QStringLiteral("two"), QString(), QStringLiteral("three"),
                           QStringLiteral("four")}));
    EXPECT_EQ(KZFunctions::linesFromString(text, 2, 0), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(KZFunctions::linesFromString(QStringLiteral(" a \n\n b"), 0, KZFunctions::LinesSkipEmpty | KZFunctions::LinesTrimmed),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(KZFunctions::linesCountOfString(QString()), 0);
    EXPECT_EQ(KZFunctions::linesCountOfString(QStringLiteral("a")), 1);
    EXPECT_EQ(KZFunctions::linesCountOfString(QStringLiteral("a\n")), 1);
    EXPECT_EQ(KZFunctions::linesCountOfString(QStringLiteral("a\r\nb")), 2);
    EXPECT_EQ(KZFunctions::linesCountOfString(QStringLiteral("\n\n")), 2);

    kztest::TempTree tree;
    const QString file = tree.writeFile(QStringLiteral("latin1.txt"), QByteArray("caf\xe9\nthé"));
    QString error;
    const QStringList lines = KZFunctions::linesFromFilePath(file, &error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.value(0), QStringLiteral("caf\u00e9"));
    EXPECT_TRUE(KZFunctions::linesFromFilePath(tree.path(QStringLiteral("none")), &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(KZFunctionsFolders, CheckDirectoryReplacesOnlyWhenAllowed)
{
    kztest::TempTree tree;
    kztest::LogCapture capture;
    const QString file = tree.writeFile(QStringLiteral("thing"), "keep me");
    EXPECT_FALSE(KZFunctions::checkDirectoryAtPath(file, false));
    EXPECT_TRUE(QFileInfo(file).isFile());
    EXPECT_TRUE(capture.contains(QStringLiteral("isDir==NO dirPath:")));
    EXPECT_TRUE(KZFunctions::checkDirectoryAtPath(file, true));
    EXPECT_TRUE(QFileInfo(file).isDir());
    EXPECT_TRUE(KZFunctions::checkDirectoryAtPath(tree.path(QStringLiteral("a/b/c")), false));
    EXPECT_TRUE(QFileInfo(tree.path(QStringLiteral("a/b/c"))).isDir());
}

TEST(KZFunctionsFolders, ApplicationFoldersFollowXdg)
{
    kztest::resetTestEnvironment();
    const QString support = KZFunctions::appSupportPath();
    EXPECT_EQ(support, QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/org.trovix.Trovix"));
    EXPECT_TRUE(QFileInfo(support).isDir());
    const QString caches = KZFunctions::cachesDirPath(QStringLiteral("thumbs"));
    EXPECT_EQ(caches, QString::fromLocal8Bit(qgetenv("XDG_CACHE_HOME")) +
                          QStringLiteral("/org.trovix.Trovix/kzfunctions-caches/thumbs"));
    EXPECT_TRUE(QFileInfo(caches).isDir());
}

TEST(KZFunctionsFolders, CleanDirectoryContents)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("box/a.txt"), "a");
    tree.writeFile(QStringLiteral("box/.hidden"), "h");
    tree.writeFile(QStringLiteral("box/sub/deep/b"), "b");
    tree.writeFile(QStringLiteral("outside/keep"), "k");
    tree.symlink(tree.path(QStringLiteral("outside")), QStringLiteral("box/link"));
    QVariantList errors;
    EXPECT_TRUE(KZFunctions::cleanDirectoryContentsAtPath(tree.path(QStringLiteral("box")), &errors));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(QDir(tree.path(QStringLiteral("box"))).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    // the link was removed, not what it pointed to
    EXPECT_TRUE(QFileInfo::exists(tree.path(QStringLiteral("outside/keep"))));

    kztest::LogCapture capture;
    EXPECT_FALSE(KZFunctions::cleanDirectoryContentsAtPath(tree.path(QStringLiteral("missing")), &errors));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].toMap().value(QStringLiteral("path")).toString(), tree.path(QStringLiteral("missing")));
    EXPECT_TRUE(capture.contains(QStringLiteral("files==nil dirPath:")));
}

TEST(KZFunctionsFolders, PosixDates)
{
    kztest::TempTree tree;
    tree.writeFile(QStringLiteral("f"), "x");
    tree.setMTime(QStringLiteral("f"), 1000000000);
    qint64 mod = 0, created = 0;
    ASSERT_TRUE(KZFunctions::getModDate1970(&mod, tree.path(QStringLiteral("f"))));
    EXPECT_EQ(mod, 1000000000);
    ASSERT_TRUE(KZFunctions::getCreationDate1970(&created, tree.path(QStringLiteral("f"))));
    EXPECT_GT(created, 0);
    kztest::LogCapture capture;
    EXPECT_FALSE(KZFunctions::getModDate1970(&mod, tree.path(QStringLiteral("gone"))));
    EXPECT_TRUE(capture.contains(QStringLiteral("stat!=0 errno:2")));
}

TEST(KZFunctionsIdentity, CompilerStampAndIdentity)
{
    EXPECT_EQ(KZFunctions::dateFromCompilerStamp(QStringLiteral("Dec  6 2026 21:05:09")),
              QDateTime(QDate(2026, 12, 6), QTime(21, 5, 9)));
    EXPECT_FALSE(KZFunctions::dateFromCompilerStamp(QStringLiteral("6/12/2026")).isValid());
    EXPECT_TRUE(KZFunctions::dateCompiled().isValid());
    EXPECT_FALSE(KZFunctions::appName().isEmpty());
    EXPECT_FALSE(KZFunctions::appVersion().isEmpty());
    EXPECT_GT(KZFunctions::appBuild().toInt(), 0);
    const QString uuid = KZFunctions::UUIDString();
    EXPECT_EQ(uuid.size(), 36);
    EXPECT_EQ(uuid, uuid.toUpper());
    EXPECT_NE(uuid, KZFunctions::UUIDString());
}

TEST(KZFunctionsAddresses, ScrambleRoundTripAndOverride)
{
    QByteArray scrambled = KZ_StringScramble(QStringLiteral("https://example.org/"));
    EXPECT_NE(scrambled, QByteArray("https://example.org/"));
    EXPECT_EQ(KZ_StringDelacement(scrambled.size(), scrambled.data(), 0), QStringLiteral("https://example.org/"));
    QByteArray junk("!!!not base64");
    EXPECT_TRUE(KZ_StringDelacement(junk.size(), junk.data(), 0).isNull());

    qunsetenv("TROVIX_WEBSITE_URL");
    EXPECT_TRUE(KZ_WebSiteURL().isValid());
    EXPECT_TRUE(KZ_SupportEmail().contains(QLatin1Char('@')));
    EXPECT_TRUE(KZFunctions::isEmailString(KZ_SupportEmail()));

    qputenv("TROVIX_WEBSITE_URL", "http://127.0.0.1:8080/");
    EXPECT_EQ(KZ_WebSiteURLString(QStringLiteral("?page=support")), QStringLiteral("http://127.0.0.1:8080/?page=support"));
    const QByteArray page = KZ_StringScramble(QStringLiteral("crash"));
    EXPECT_EQ(KZ_WebPageURL(page.constData(), page.size(), KZWebPageAppendPHP | KZWebPageAsString).toString(),
              QStringLiteral("http://127.0.0.1:8080/crash.php"));
    EXPECT_EQ(KZ_WebPageURL(page.constData(), page.size(), 0).toUrl(), QUrl(QStringLiteral("http://127.0.0.1:8080/crash")));
    qunsetenv("TROVIX_WEBSITE_URL");
}

TEST(KZFunctionsEquality, MissingValues)
{
    EXPECT_TRUE(KZ_IsEqualNSString(QString(), QString()));
    EXPECT_FALSE(KZ_IsEqualNSString(QString(), QStringLiteral("")));
    EXPECT_TRUE(KZ_IsEqualNSString(QStringLiteral("a"), QStringLiteral("a")));
    EXPECT_TRUE(KZ_IsEqualNSDate(QDateTime(), QDateTime()));
    EXPECT_FALSE(KZ_IsEqualNSDate(QDateTime(), QDateTime::currentDateTime()));
    EXPECT_TRUE(KZ_IsEqualNSObject(QVariant(), QVariant()));
    EXPECT_FALSE(KZ_IsEqualNSNumber(QVariant(1), QVariant()));
    EXPECT_TRUE(KZ_IsEqualNSArray(QVariantList{1, 2}, QVariantList{1, 2}));
    EXPECT_TRUE(KZ_IsEqualNSPoint({1, 1}, {1.5, 0.5}, 0.5));
    EXPECT_FALSE(KZ_IsEqualNSPoint({1, 1}, {1.5, 1}, 0));
    EXPECT_EQ(KZ_SringFromRect(QRectF(1, 2, 3, 4)), QStringLiteral("{x:1.000000 y:2.000000 w:3.000000 h:4.000000}"));
}

TEST(KZFunctionsSystem, MachineFacts)
{
    EXPECT_GT(KZMacInfo::physicalMemory(), 0u);
    KZMacInfo::MemoryStatistics stats;
    EXPECT_TRUE(KZMacInfo::getMemoryStatistics(&stats));
    EXPECT_GT(stats.freeCount + stats.activeCount + stats.inactiveCount, 0u);
    EXPECT_TRUE(KZMacInfo::processorInfo().contains(QStringLiteral(" Ghz (")));
    EXPECT_EQ(KZMacInfo::formatUptime(200000), QStringLiteral("200000, 2.31 days"));
    EXPECT_EQ(KZMacInfo::formatUptime(7200), QStringLiteral("7200, 2.00 hours"));
    EXPECT_EQ(KZMacInfo::formatUptime(3700), QStringLiteral("3700, 1.03 hour"));
    EXPECT_EQ(KZMacInfo::formatUptime(3600), QStringLiteral("3600, 60.00 minutes"));
    EXPECT_EQ(KZMacInfo::formatUptime(119), QStringLiteral("119, 119 sec(s)"));
    EXPECT_TRUE(KZDeviceInfo::productSystemName().startsWith(QStringLiteral("Linux ")));
    kztest::LogCapture capture;
    EXPECT_TRUE(KZDeviceInfo::isAtLeastMacOSX(QStringLiteral("10.13")));
    EXPECT_FALSE(KZDeviceInfo::isAtLeastMacOSX(QStringLiteral("10.14")));
    EXPECT_TRUE(capture.contains(QStringLiteral("not yet supported")));
}

TEST(KZLocalization, SymbolicKeysAndFormats)
{
    KZLocalization::registerEnglish("TestTable", {{"KZTest_key", "Words"}});
    EXPECT_EQ(KZLocalizedString("KZTest_key", "TestTable"), QStringLiteral("Words"));
    EXPECT_EQ(KZLocalizedString("No translation here", "TestTable"), QStringLiteral("No translation here"));
    EXPECT_EQ(KZLocalizedString("KZTest_key"), QStringLiteral("KZTest_key"));
    EXPECT_EQ(KZStringWithFormat(QStringLiteral("%@ of %d (%.2f%%) %ld %lu %s"),
                                 {QStringLiteral("a"), QStringLiteral("2"), QStringLiteral("3.00"), QStringLiteral("4"),
                                  QStringLiteral("5"), QStringLiteral("x")}),
              QStringLiteral("a of 2 (3.00%) 4 5 x"));
    EXPECT_EQ(KZStringWithFormat(QStringLiteral("%@ and %@"), {QStringLiteral("one")}), QStringLiteral("one and %@"));
}
