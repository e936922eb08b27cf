// The folders control's model: adding folders, checking them and the title
// that sums them up.
#include <QUrl>
#include <gtest/gtest.h>

#include "rules/RulesDirPathViewController.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

class CountingDelegator : public RulesDirPathViewControllerDelegatorProtocol
{
public:
    int changes = 0;
    void rulesDirPathViewControllerDidChange(RulesDirPathViewController *) override { ++changes; }
};

class CountingControl : public RulesDirPathViewController
{
public:
    int updates = 0;
    void updateUI() override { ++updates; }
};

QStringList pathsOf(const KZDirPathEntryList &entries)
{
    QStringList out;
    for (const auto &e : entries)
        out.append(e->path);
    return out;
}

} // namespace

TEST(RulesDirPathViewController, AddingFolders)
{
    kztest::TempTree tree;
    const QString lower = tree.mkdir(QStringLiteral("zeta"));
    const QString upper = tree.mkdir(QStringLiteral("Alpha"));
    const QString lowerAlpha = tree.mkdir(QStringLiteral("alpha"));
    const QString file = tree.writeFile(QStringLiteral("plain"), "x");
    CountingDelegator delegator;
    CountingControl control;
    control.setDelegator(&delegator);

    control.addFileURLs({QUrl::fromLocalFile(file)});
    EXPECT_TRUE(control.paths().isEmpty()) << "a file is not a folder";
    EXPECT_EQ(delegator.changes, 1) << "the change is still reported";
    EXPECT_EQ(control.updates, 1);

    control.addFileURLs({QUrl::fromLocalFile(lower), QUrl::fromLocalFile(upper),
                         QUrl::fromLocalFile(tree.path(QStringLiteral("missing")))});
    control.addFileURLs({QUrl::fromLocalFile(lowerAlpha)});
    EXPECT_EQ(pathsOf(control.paths()), QStringList({upper, lowerAlpha, lower}))
        << "paths differing only in case are both kept, side by side";
    EXPECT_EQ(delegator.changes, 3);

    // An unchecked folder dropped again stays unchecked.
    control.toggleEntry(control.paths().at(2));
    EXPECT_EQ(control.paths().at(2)->state, 0);
    EXPECT_EQ(delegator.changes, 3) << "checking is not reported";
    control.addFileURLs({QUrl::fromLocalFile(lower)});
    EXPECT_EQ(control.paths().size(), 3);
    EXPECT_EQ(control.paths().at(2)->state, 0);
    control.toggleEntry(control.paths().at(2));
    EXPECT_EQ(control.paths().at(2)->state, 1);
}

TEST(RulesDirPathViewController, SummaryTitle)
{
    RulesDirPathViewController control;
    EXPECT_EQ(control.proposedPopMenuTitle(), QStringLiteral("--"));
    control.setPaths({kzMakeDirPathEntry(QStringLiteral("/srv/music"), 1), kzMakeDirPathEntry(QStringLiteral("/srv/films"), 0)});
    EXPECT_EQ(control.proposedPopMenuTitle(), QStringLiteral("1 path (music)"));
    control.paths().at(1)->state = 1;
    EXPECT_EQ(control.proposedPopMenuTitle(), QStringLiteral("2 paths"));
    control.paths().at(0)->state = 0;
    control.paths().at(1)->state = 0;
    EXPECT_EQ(control.proposedPopMenuTitle(), QStringLiteral("--"));
    control.setPaths({kzMakeDirPathEntry(QStringLiteral("/"), 1)});
    EXPECT_EQ(control.proposedPopMenuTitle(), QStringLiteral("1 path (/)"));
}
