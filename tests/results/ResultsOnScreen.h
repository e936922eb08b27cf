// A results view on screen holding some files of a temporary tree as one
// search batch: the set-up the preview and details tests share.
#pragma once

#include <QFile>
#include <QSize>
#include <QTest>
#include <gtest/gtest.h>
#include <initializer_list>

#include "engine/KZFileSearchObject.h"
#include "platform/KZPosixFS.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsViewController.h"
#include "tests/testlib/TestEnvironment.h"

class ResultsOnScreen : public ::testing::Test
{
protected:
    // Shows the view at this size with the named files of the tree, in order.
    void showResults(std::initializer_list<const char *> names, QSize size)
    {
        results.updateUI(tree.root(), &session);
        results.setHasResults(true);
        results.view()->resize(size);
        results.view()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(results.view()));
        FileSearchResultList batch;
        for (const char *name : names) {
            const QByteArray path = QFile::encodeName(tree.path(QString::fromLatin1(name)));
            kzplatform::KZStat st;
            ASSERT_EQ(kzplatform::kzLstat(path.constData(), &st), 0);
            batch.append(FileSearchResult::initWithPath(path.constData(), 'F', st));
        }
        list()->not_fileSearchObjectDidUpdated(
            &session, {{QStringLiteral("kind"), 1}, {QStringLiteral("results"), QVariant::fromValue(batch)}});
        list()->flushPendingRows();
    }

    ResultsListViewController *list() { return results.resultsListViewController(); }
    int rowOfName(const QString &name)
    {
        for (int row = 0; row < list()->objectList().size(); ++row)
            if (list()->fileURLOfRow(row).fileName() == name)
                return row;
        return -1;
    }
    void select(const QString &name) { list()->mTableView()->selectRow(rowOfName(name)); }

    kztest::TempTree tree;
    KZFileSearchObject session;
    ResultsViewController results;
};
