// The view that takes dropped files: what it reads as files, and its dragging flag.
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

TEST(FileDaDView, TakesFileUrlsAndFileNamesAndKeepsADraggingFlag)
{
    kztest::TempTree tree;
    const QUrl a = QUrl::fromLocalFile(tree.mkdir(QStringLiteral("a")));
    const QUrl b = QUrl::fromLocalFile(tree.writeFile(QStringLiteral("b.txt"), "b"));
    RecordingDropView view;
    const auto dropped = [&](QMimeData *data) {
        std::unique_ptr<QMimeData> owned(data);
        return rulestest::drop(&view, owned.get()) ? view.proposals.last() : QList<QUrl>();
    };

    std::unique_ptr<QMimeData> urls(rulestest::urlData({a, b}));
    EXPECT_TRUE(rulestest::dragEnter(&view, urls.get()));
    EXPECT_TRUE(view.hasDragging());
    rulestest::dragLeave(&view);
    EXPECT_FALSE(view.hasDragging());
    EXPECT_EQ(dropped(rulestest::urlData({a, QUrl(QStringLiteral("https://example.org/x")), b})), (QList<QUrl>{a, b}));
    EXPECT_FALSE(view.hasDragging());
    // One absolute path a line, or file URLs written out with stray blanks and CRLF;
    // a web address among them is not a file.
    EXPECT_EQ(dropped(rulestest::textData(b.toLocalFile() + QStringLiteral("\n") + a.toLocalFile() + QStringLiteral("\n"))),
              (QList<QUrl>{b, a}));
    EXPECT_EQ(dropped(rulestest::textData(a.toString() + QStringLiteral(" \r\nhttps://example.org/x\r\n  ") + b.toLocalFile())),
              (QList<QUrl>{a, b}));
    // The subclass's answer is the drop's result.
    view.answer = false;
    EXPECT_FALSE(rulestest::drop(&view, urls.get()));
    EXPECT_EQ(view.proposals.size(), 4);

    // Words are no file: refused at once. A web address hovers but is not dropped.
    std::unique_ptr<QMimeData> text(rulestest::textData(QStringLiteral("just some words")));
    EXPECT_FALSE(rulestest::dragEnter(&view, text.get()));
    EXPECT_FALSE(view.hasDragging());
    std::unique_ptr<QMimeData> web(rulestest::urlData({QUrl(QStringLiteral("https://example.org/x"))}));
    EXPECT_TRUE(rulestest::dragEnter(&view, web.get()));
    EXPECT_FALSE(rulestest::drop(&view, web.get()));
    EXPECT_EQ(view.proposals.size(), 4);
    // The base view refuses every drop.
    FileDaDView plain;
    EXPECT_FALSE(rulestest::drop(&plain, urls.get()));
}
