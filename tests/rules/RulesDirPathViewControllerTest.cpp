// The folders control's model: adding folders, checking them and the title
// that sums them up.
#include <QUrl>
#include <gtest/gtest.h>

#include "rules/RulesDirPathViewController.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

class CountingControl : public RulesDirPathViewController, public RulesDirPathViewControllerDelegatorProtocol
{
public:
    int changes = 0;
    int updates = 0;
    CountingControl() { setDelegator(this); }
    void rulesDirPathViewControllerDidChange(RulesDirPathViewController *) override { ++changes; }
    void updateUI() override { ++updates; }
    QStringList pathList() const
    {
        QStringList out;
        for (const auto &e : paths())
            out.append(e->path);
        return out;
    }
};

} // namespace

TEST(RulesDirPathViewController, AddingFolders)
{
    kztest::TempTree tree;
    const QString lower = tree.mkdir(QStringLiteral("zeta"));
    const QString upper = tree.mkdir(QStringLiteral("Alpha"));
    const QString lowerAlpha = tree.mkdir(QStringLiteral("alpha"));
    CountingControl control;
    control.addFileURLs({QUrl::fromLocalFile(tree.writeFile(QStringLiteral("plain"), "x")),
                         QUrl(QStringLiteral("https://example.org/")),
                         QUrl::fromLocalFile(tree.path(QStringLiteral("missing")))});
    EXPECT_TRUE(control.paths().isEmpty()) << "a file, a web address, a missing folder";
    EXPECT_EQ(control.changes, 1) << "the change is still reported";
    EXPECT_EQ(control.updates, 1);

    control.addFileURLs({QUrl::fromLocalFile(lower), QUrl::fromLocalFile(upper)});
    control.addFileURLs({QUrl::fromLocalFile(lowerAlpha)});
    EXPECT_EQ(control.pathList(), QStringList({upper, lowerAlpha, lower}))
        << "sorted without regard to case; paths differing only in case are both kept";
    EXPECT_EQ(control.changes, 3);

    // An unchecked folder dropped again stays unchecked; checking is not reported.
    control.toggleEntry(control.paths().at(2));
    control.addFileURLs({QUrl::fromLocalFile(lower)});
    EXPECT_EQ(control.paths().size(), 3);
    EXPECT_EQ(control.paths().at(2)->state, 0);
    EXPECT_EQ(control.changes, 4);
    control.toggleEntry(control.paths().at(2));
    EXPECT_EQ(control.paths().at(2)->state, 1);
    EXPECT_EQ(control.changes, 4);
}

TEST(RulesDirPathViewController, TheRootIsSummedUpByItsPath)
{
    // The other summaries are read off the control on screen.
    RulesDirPathViewController control;
    control.setPaths({kzMakeDirPathEntry(QStringLiteral("/"), 1)});
    EXPECT_EQ(control.proposedPopMenuTitle(), QStringLiteral("1 path (/)"));
}
