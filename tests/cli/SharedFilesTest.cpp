// trovix-find and the window share the saved-searches archive; these runs
// start many writers at once.
#include <QFile>
#include <QProcess>
#include <QSet>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "rules/SavedSearches.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

std::unique_ptr<QProcess> startFind(const QStringList &args)
{
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral(TROVIX_FIND_PATH), args);
    return p;
}

} // namespace

// Twenty `--save` runs at once and a save from the window kept only a few of
// the searches and gave one identifier to several of them: each process wrote
// back the list it had read at its start.
TEST(SharedSavedSearches, TwentyProcessesAndTheWindowSaveAtOnceAndNothingIsLost)
{
    const QString file = SavedSearches::defaultFilePath();
    SavedSearches window(file); // read before the others write, as a running window would
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < 20; ++i)
        runs.push_back(startFind({QStringLiteral("--save"), QStringLiteral("c%1").arg(i), QStringLiteral("--type"), QStringLiteral("dir")}));
    // The window saves while the processes are writing.
    ASSERT_TRUE(kztest::waitUntil([&] { return QFile::exists(file); }, 20000));
    const SavedSearchRef fromWindow = kzMakeSavedSearch(QStringLiteral("window"), {});
    EXPECT_TRUE(window.addSavedSearches(fromWindow));

    QMap<QString, qint64> printed{{QStringLiteral("window"), fromWindow->uniqueId}};
    for (int i = 0; i < 20; ++i) {
        QProcess &p = *runs[size_t(i)];
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        printed.insert(QStringLiteral("c%1").arg(i), QString::fromUtf8(p.readAllStandardOutput()).trimmed().toLongLong());
    }
    auto list = startFind({QStringLiteral("--list-saved")});
    ASSERT_TRUE(list->waitForFinished(60000));
    QMap<QString, qint64> listed;
    for (const QString &line : QString::fromUtf8(list->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        listed.insert(line.section(QLatin1Char('\t'), 1, 1), line.section(QLatin1Char('\t'), 0, 0).toLongLong());
    EXPECT_EQ(listed, printed) << "every process was told the identifier that was stored";
    EXPECT_EQ(QSet<qint64>(printed.cbegin(), printed.cend()).size(), 21);
}

// An unreadable saved-searches file was set aside without a word on the
// terminal: the user could not know where their searches went.
TEST(SharedSavedSearches, AnUnreadableFileSetAsideIsNamedOnce)
{
    const QString file = SavedSearches::defaultFilePath();
    QFile::remove(file + QStringLiteral(".bad"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write("not an archive") > 0 && f.flush());
    auto run = startFind({QStringLiteral("--list-saved")});
    ASSERT_TRUE(run->waitForFinished(60000));
    EXPECT_EQ(run->exitCode(), 0);
    const QStringList naming = QString::fromUtf8(run->readAllStandardError()).split(QLatin1Char('\n')).filter(file + QStringLiteral(".bad"));
    ASSERT_EQ(naming.size(), 1) << naming.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(naming[0].startsWith(QStringLiteral("trovix-find: ")) && naming[0].contains(QLatin1Char('\'') + file + QLatin1Char('\'')))
        << naming[0].toStdString();
    EXPECT_TRUE(QFile::exists(file + QStringLiteral(".bad")));
}
