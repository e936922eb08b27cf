#include <QTest>
#include <memory>

#include <gtest/gtest.h>

#include "tests/rules/widgets/RulesWidgetsTestSupport.h"
#include "tests/testlib/TestEnvironment.h"
#include "toolkit/FileDaDView.h"

namespace {

class RecordingDropView : public FileDaDView
{
public:
    QList<QList<QUrl>> proposals;
    bool answer = true;
    bool proposeDnDFileURLs(const QList<QUrl> &urls) override
    {
        proposals.append(urls);
        return answer;
    }
};

} // namespace

TEST(FileDaDView, AcceptsUrlsAndFileNamesAndKeepsADraggingFlag)
{
    kztest::TempTree tree;
    const QString a = tree.mkdir(QStringLiteral("a"));
    const QString b = tree.writeFile(QStringLiteral("b.txt"), "b");
    RecordingDropView view;
    view.resize(100, 30);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    std::unique_ptr<QMimeData> urls(rulestest::urlData({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}));
    EXPECT_FALSE(view.hasDragging());
    EXPECT_TRUE(rulestest::dragEnter(&view, urls.get()));
    EXPECT_TRUE(view.hasDragging());
    rulestest::dragLeave(&view);
    EXPECT_FALSE(view.hasDragging());

    // Every file URL of the drop, in order.
    EXPECT_TRUE(rulestest::drop(&view, urls.get()));
    EXPECT_FALSE(view.hasDragging());
    ASSERT_EQ(view.proposals.size(), 1);
    EXPECT_EQ(view.proposals.first(), (QList<QUrl>{QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}));

    // File names: one absolute path a line.
    std::unique_ptr<QMimeData> names(rulestest::textData(b + QStringLiteral("\n") + a + QStringLiteral("\n")));
    EXPECT_TRUE(rulestest::drop(&view, names.get()));
    ASSERT_EQ(view.proposals.size(), 2);
    EXPECT_EQ(view.proposals.last(), (QList<QUrl>{QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)}));

    // File URLs written out as text, with stray blanks and CRLF line ends;
    // a web address among them is not a file.
    std::unique_ptr<QMimeData> written(rulestest::textData(QUrl::fromLocalFile(a).toString() + QStringLiteral(" \r\n")
                                                           + QStringLiteral("https://example.org/x\r\n  ") + b));
    EXPECT_TRUE(rulestest::drop(&view, written.get()));
    ASSERT_EQ(view.proposals.size(), 3);
    EXPECT_EQ(view.proposals.last(), (QList<QUrl>{QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}));

    // The subclass's answer is the drop's result.
    view.answer = false;
    EXPECT_FALSE(rulestest::drop(&view, urls.get()));
    EXPECT_EQ(view.proposals.size(), 4);
}

TEST(FileDaDView, RefusesDragsWithoutFiles)
{
    RecordingDropView view;
    view.resize(100, 30);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    std::unique_ptr<QMimeData> text(rulestest::textData(QStringLiteral("just some words")));
    EXPECT_FALSE(rulestest::dragEnter(&view, text.get()));
    EXPECT_FALSE(view.hasDragging());

    // A web address is a URL but no file: the drag hovers, the drop is refused.
    std::unique_ptr<QMimeData> web(rulestest::urlData({QUrl(QStringLiteral("https://example.org/x"))}));
    EXPECT_TRUE(rulestest::dragEnter(&view, web.get()));
    EXPECT_FALSE(rulestest::drop(&view, web.get()));
    EXPECT_TRUE(view.proposals.isEmpty());

    // The base view refuses every drop.
    FileDaDView plain;
    kztest::TempTree tree;
    std::unique_ptr<QMimeData> folder(rulestest::urlData({QUrl::fromLocalFile(tree.root())}));
    EXPECT_FALSE(rulestest::drop(&plain, folder.get()));
}
