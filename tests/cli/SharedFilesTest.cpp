// trovix-find and the window share the saved-searches archive; these runs
// start many writers at once.
#include <QFile>
#include <QProcess>
#include <QSet>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "rules/RulesEditorViewController.h"
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
    SavedSearches::resetSharedInstanceForTesting();
    const QString file = SavedSearches::defaultFilePath();
    SavedSearches window(file); // read before the others write, as a running window would
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 1; i <= 20; ++i)
        runs.push_back(startFind({QStringLiteral("--save"), QStringLiteral("c%1").arg(i), QStringLiteral("--type"),
                                  QStringLiteral("dir")}));
    // The window saves while the processes are writing.
    ASSERT_TRUE(kztest::waitUntil([&] { return QFile::exists(file); }, 20000));
    RulesEditorViewController controller;
    QString why;
    const auto rows = controller.rowsFromCanonizedCriteria({kztest::criterion(1, 1, QStringLiteral("w"))}, &why);
    ASSERT_TRUE(rows.has_value()) << why.toStdString();
    const SavedSearchRef fromWindow = kzMakeSavedSearch(QStringLiteral("window"), *rows);
    EXPECT_TRUE(window.addSavedSearches(fromWindow));

    QMap<QString, qint64> printed{{QStringLiteral("window"), fromWindow->uniqueId}};
    for (int i = 0; i < int(runs.size()); ++i) {
        QProcess &p = *runs[size_t(i)];
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        printed.insert(QStringLiteral("c%1").arg(i + 1), QString::fromUtf8(p.readAllStandardOutput()).trimmed().toLongLong());
    }

    auto list = startFind({QStringLiteral("--list-saved")});
    ASSERT_TRUE(list->waitForFinished(60000));
    QMap<QString, qint64> listed;
    QSet<qint64> ids;
    for (const QString &line : QString::fromUtf8(list->readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        ASSERT_GE(fields.size(), 2) << line.toStdString();
        listed.insert(fields[1], fields[0].toLongLong());
        ids.insert(fields[0].toLongLong());
    }
    EXPECT_EQ(listed.size(), 21);
    EXPECT_EQ(ids.size(), 21);
    EXPECT_EQ(listed, printed) << "every process was told the identifier that was stored";
}

// An unreadable saved-searches file was set aside without a word on the
// terminal: the user could not know where their searches went.
TEST(SharedSavedSearches, AnUnreadableFileSetAsideIsNamedOnce)
{
    const QString file = SavedSearches::defaultFilePath();
    QFile::remove(file);
    QFile::remove(file + QStringLiteral(".bad"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not an archive");
    }
    auto run = startFind({QStringLiteral("--list-saved")});
    ASSERT_TRUE(run->waitForFinished(60000));
    EXPECT_EQ(run->exitCode(), 0);
    const QStringList lines = QString::fromUtf8(run->readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList naming = lines.filter(file + QStringLiteral(".bad"));
    ASSERT_EQ(naming.size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(naming[0].startsWith(QStringLiteral("trovix-find: "))) << naming[0].toStdString();
    EXPECT_TRUE(naming[0].contains(QStringLiteral("'") + file + QStringLiteral("'"))) << naming[0].toStdString();
    EXPECT_TRUE(QFile::exists(file + QStringLiteral(".bad")));
}
