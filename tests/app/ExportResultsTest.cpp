#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "app/DocumentWindow.h"
#include "engine/FileSearchResultExport.h"
#include "results/ResultsExport.h"
#include "results/ResultsViewController.h"
#include "scope/ScopeDirManager.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

// RFC 4180 records: quoted fields may hold commas, doubled quotes and line breaks.
QList<QStringList> parseCsv(const QByteArray &bytes)
{
    QList<QStringList> records;
    QStringList record;
    QByteArray field;
    bool quoted = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < bytes.size() && bytes.at(i + 1) == '"')
                field += bytes.at(++i);
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.append(QString::fromUtf8(field));
            field.clear();
        } else if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n') {
            record.append(QString::fromUtf8(field));
            records.append(record);
            record.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Exports through the menu command (enabled as the File menu opens),
// answering the save dialog with fileName.
void exportTo(AppDelegate &app, const QString &fileName)
{
    ResultsExport::setSaveFileNameForTesting([fileName] { return fileName; });
    app.validateMenuItems();
    app.exportResultsAction()->trigger();
    ResultsExport::setSaveFileNameForTesting({});
}

TEST(ExportResultsTest, EveryResultInListOrderAsCsvJsonLinesAndText)
{
    kztest::resetTestEnvironment();
    ScopeDirManager::resetSharedInstanceForTesting();
    kztest::TempTree tree;
    const QString odd = QStringLiteral("we,\"ird\nname.txt");
    tree.writeFile(odd, "odd");
    tree.writeFile(QStringLiteral("sub/plain.txt"), "plain text");
    tree.writeFile(QStringLiteral("skipped.md"), "-");
    ASSERT_TRUE(ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionPath, tree.root()));
    kztest::TempTree out;

    AppDelegate app;
    app.applicationDidFinishLaunching();
    DocumentWindowController *controller = app.documentWindowControllers().first();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
    controller->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    app.validateMenuItems();
    EXPECT_FALSE(app.exportResultsAction()->isEnabled());

    QTest::keyClicks(controller->mSearchField(), QStringLiteral(".txt"));
    QTest::keyClick(controller->mSearchField(), Qt::Key_Return);
    ResultsListViewController *list = nullptr;
    ASSERT_TRUE(kztest::waitUntil([&] {
        list = controller->resultsViewController() ? controller->resultsViewController()->resultsListViewController()
                                                   : nullptr;
        return list && controller->searchObject() && !controller->searchObject()->isSearching() &&
               ResultsExport::rowsOfList(list).size() == 2;
    }, 10000));
    EXPECT_TRUE(app.validateMenuItem(app.exportResultsAction()));
    FileSearchResultList results;
    for (const ResultsListRow &row : list->objectList())
        if (row.kind == ResultsListRow::KindResult)
            results.append(row.result);
    ASSERT_EQ(results.size(), 2);

    exportTo(app, out.path(QStringLiteral("found.csv")));
    exportTo(app, out.path(QStringLiteral("found.jsonl")));
    exportTo(app, out.path(QStringLiteral("found.txt")));
    for (const char *name : {"found.csv", "found.jsonl", "found.txt"})
        ASSERT_TRUE(kztest::waitUntil([&] { return QFile::exists(out.path(QString::fromLatin1(name))); })) << name;

    const QList<QStringList> csv = parseCsv(readAll(out.path(QStringLiteral("found.csv"))));
    ASSERT_EQ(csv.size(), 3);
    EXPECT_EQ(csv.first(), QStringList({QStringLiteral("path"), QStringLiteral("name"), QStringLiteral("folder"),
                                        QStringLiteral("type"), QStringLiteral("size"), QStringLiteral("modified"),
                                        QStringLiteral("created")}));
    const QList<QByteArray> jsonLines = readAll(out.path(QStringLiteral("found.jsonl"))).split('\n');
    ASSERT_EQ(jsonLines.size(), 3); // and an empty one after the last line feed
    QByteArray paths;
    for (int i = 0; i < results.size(); ++i) {
        const FileSearchResultRef &r = results.at(i);
        const QString modified = FileSearchResultExport::isoWithOffset(r->dateModified());
        const QString created = FileSearchResultExport::isoWithOffset(r->dateCreated());
        EXPECT_EQ(csv.at(i + 1), QStringList({r->path(), r->fileName(), r->dirPath(), QStringLiteral("F"),
                                              QString::number(r->fileSize()), modified, created}));
        const QJsonObject o = QJsonDocument::fromJson(jsonLines.at(i)).object();
        EXPECT_EQ(o.value(QStringLiteral("path")).toString(), r->path());
        EXPECT_EQ(o.value(QStringLiteral("type")).toString(), QStringLiteral("F"));
        EXPECT_EQ(o.value(QStringLiteral("size")).toInteger(), r->fileSize());
        EXPECT_EQ(o.value(QStringLiteral("modified")).toString(), modified);
        EXPECT_EQ(o.value(QStringLiteral("created")).toString(), created);
        paths += r->cPath() + '\n';
    }
    EXPECT_EQ(readAll(out.path(QStringLiteral("found.txt"))), paths);

    // A folder that does not exist: the user is told, nothing is written.
    exportTo(app, out.path(QStringLiteral("missing/found.csv")));
    QMessageBox *alert = nullptr;
    ASSERT_TRUE(kztest::waitUntil([&] {
        alert = controller->window()->findChild<QMessageBox *>(QStringLiteral("exportResultsAlert"));
        return alert && alert->isVisible();
    }));
    EXPECT_TRUE(alert->informativeText().contains(QStringLiteral("found.csv")));
    alert->close();
    EXPECT_FALSE(QFile::exists(out.path(QStringLiteral("missing/found.csv"))));
    ScopeDirManager::resetSharedInstanceForTesting();
}

} // namespace
