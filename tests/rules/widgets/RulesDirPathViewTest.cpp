// The folders control on screen: the choose button or the summary, the drag
// highlight, the menu of folders and the folder chooser; and the view under it
// that takes dropped files: what it reads as files, and its dragging flag.
#include <memory>

#include <QAbstractItemView>
#include <QFileDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "rules/widgets/RulesDirPathView.h"
#include "tests/rules/widgets/RulesWidgetsTestSupport.h"
#include "tests/testlib/TestEnvironment.h"
#include "toolkit/FileDaDView.h"

namespace {

class RulesDirPathViewTest : public ::testing::Test, public RulesDirPathViewControllerDelegatorProtocol
{
protected:
    void SetUp() override
    {
        window.resize(400, 60);
        control->setDelegator(this);
        control->setScopeDir(tree.root());
        control->rulesEditorViewWillDisplayView();
        control->view()->setParent(&window);
        control->view()->setGeometry(10, 10, 240, 27);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override { control.reset(); }
    void rulesDirPathViewControllerDidChange(RulesDirPathViewController *) override { ++changes; }
    QStringList menuTexts()
    {
        QMenu *menu = control->popMenu()->menu();
        control->menuNeedsUpdate(menu);
        QStringList texts;
        for (QAction *a : menu->actions())
            texts.append(a->isSeparator() ? QStringLiteral("--") : a->text() + (a->isChecked() ? QStringLiteral(" [x]") : QString())
                                                                  + (a->isEnabled() ? QString() : QStringLiteral(" (off)")));
        return texts;
    }
    QStringList canonicalPaths() const
    {
        QStringList out;
        for (const KZDirPathEntryRef &entry : control->paths())
            out.append(QDir(entry->path).canonicalPath());
        return out;
    }

    kztest::TempTree tree;
    QWidget window;
    std::shared_ptr<RulesDirPathWidgetController> control = std::make_shared<RulesDirPathWidgetController>();
    int changes = 0;
};

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

TEST_F(RulesDirPathViewTest, TheChooseButtonGivesWayToTheSummaryOfDroppedFolders)
{
    EXPECT_TRUE(control->chooseButton()->isVisible());
    EXPECT_FALSE(control->popMenu()->isVisible());
    std::unique_ptr<QMimeData> file(rulestest::urlData({QUrl::fromLocalFile(tree.writeFile(QStringLiteral("n.txt")))}));
    EXPECT_TRUE(rulestest::drop(control->view(), file.get()));
    EXPECT_EQ(changes, 1) << "a dropped file adds nothing but is reported";
    EXPECT_TRUE(control->chooseButton()->isVisible());

    const QString photos = tree.mkdir(QStringLiteral("Photos"));
    std::unique_ptr<QMimeData> data(rulestest::urlData({QUrl::fromLocalFile(photos)}));
    EXPECT_TRUE(rulestest::drop(control->view(), data.get()));
    EXPECT_FALSE(control->chooseButton()->isVisible());
    EXPECT_TRUE(control->popMenu()->isVisible());
    EXPECT_EQ(control->popMenu()->text(), QStringLiteral("1 path (Photos)"));
    std::unique_ptr<QMimeData> more(rulestest::urlData({QUrl::fromLocalFile(tree.mkdir(QStringLiteral("music")))}));
    EXPECT_TRUE(rulestest::drop(control->view(), more.get()));
    EXPECT_EQ(control->popMenu()->text(), QStringLiteral("2 paths"));

    // The edge lights up while a drag hovers.
    const auto edge = [&] { return control->view()->grab().toImage().pixelColor(1, 13); };
    const QColor before = edge();
    ASSERT_TRUE(rulestest::dragEnter(control->view(), data.get()));
    EXPECT_NEAR(edge().redF(), 0.67, 0.02);
    EXPECT_NEAR(edge().blueF(), 0.67, 0.02);
    rulestest::dragLeave(control->view());
    EXPECT_EQ(edge(), before);
}

TEST_F(RulesDirPathViewTest, MenuListsFoldersWithCheckMarksAndAdd)
{
    const QString a = tree.mkdir(QStringLiteral("alpha"));
    const QString b = tree.mkdir(QStringLiteral("Beta"));
    control->addFileURLs({QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)});
    const QString home = QDir::homePath();
    const auto shown = [&](const QString &path) {
        return path.startsWith(home + QLatin1Char('/')) ? QStringLiteral("~") + path.mid(home.size()) : path;
    };
    EXPECT_EQ(menuTexts(), (QStringList{shown(a) + QStringLiteral(" [x]"), shown(b) + QStringLiteral(" [x]"),
                                        QStringLiteral("--"), QStringLiteral("Add…")}));

    // Unchecking a folder changes the summary but tells nobody.
    QMenu *menu = control->popMenu()->menu();
    control->mi_action(menu->actions().at(0));
    EXPECT_EQ(control->paths().at(0)->state, 0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(control->popMenu()->text(), QStringLiteral("1 path (Beta)"));
    control->menuNeedsUpdate(menu);
    control->mi_action(menu->actions().at(1));
    EXPECT_EQ(control->popMenu()->text(), QStringLiteral("--"));

    // A deleted folder is disabled but still listed.
    tree.remove(QStringLiteral("alpha"));
    EXPECT_EQ(menuTexts().first(), shown(a) + QStringLiteral(" (off)"));
    // "Add…" opens the chooser.
    control->mi_action(menu->actions().at(3));
    ASSERT_NE(control->chooseBox(), nullptr);
    control->chooseBox()->reject();
}

TEST_F(RulesDirPathViewTest, TheChooserTakesSeveralFoldersOfTheScope)
{
    const QString one = tree.mkdir(QStringLiteral("one"));
    const QString two = tree.mkdir(QStringLiteral(".two")); // hidden folders are offered too
    tree.writeFile(QStringLiteral("file.txt"), "f");
    QTest::mouseClick(control->chooseButton(), Qt::LeftButton);
    QFileDialog *box = control->chooseBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(QDir(box->directory()).canonicalPath(), QDir(tree.root()).canonicalPath());
    auto *list = box->findChild<QAbstractItemView *>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    // The listing arrives in the background: folders only.
    QAbstractItemModel *model = list->model();
    const auto names = [&] {
        QStringList shown;
        for (int row = 0; row < model->rowCount(list->rootIndex()); ++row)
            shown.append(model->index(row, 0, list->rootIndex()).data().toString());
        shown.sort();
        return shown;
    };
    ASSERT_TRUE(kztest::waitUntil([&] { return names().size() >= 2; }));
    EXPECT_EQ(names(), (QStringList{QStringLiteral(".two"), QStringLiteral("one")}));
    list->selectAll();
    static_cast<QDialog *>(box)->accept();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(canonicalPaths(), (QStringList{QDir(two).canonicalPath(), QDir(one).canonicalPath()}));
}

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
