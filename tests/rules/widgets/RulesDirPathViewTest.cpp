#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <memory>

#include <gtest/gtest.h>

#include "rules/widgets/RulesDirPathView.h"
#include "support/KZLocalization.h"
#include "tests/rules/RulesTestSupport.h"
#include "tests/rules/widgets/RulesWidgetsTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

struct DelegatorRecorder : RulesDirPathViewControllerDelegatorProtocol {
    int calls = 0;
    QStringList lastPaths;
    void rulesDirPathViewControllerDidChange(RulesDirPathViewController *controller) override
    {
        ++calls;
        lastPaths.clear();
        for (const KZDirPathEntryRef &entry : controller->paths())
            lastPaths.append(entry->path);
    }
};

class RulesDirPathViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(400, 60);
        control = std::make_shared<RulesDirPathWidgetController>();
        control->setDelegator(&delegator);
        control->setScopeDir(tree.root());
        control->rulesEditorViewWillDisplayView();
        control->view()->setParent(window.get());
        control->view()->setGeometry(10, 10, 240, 27);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        control.reset();
        window.reset();
    }
    QStringList menuTexts()
    {
        QMenu *menu = control->popMenu()->menu();
        control->menuNeedsUpdate(menu);
        QStringList texts;
        for (QAction *a : menu->actions()) {
            if (a->isSeparator())
                texts.append(QStringLiteral("--sep--"));
            else
                texts.append(a->text() + (a->isChecked() ? QStringLiteral(" [x]") : QString())
                             + (a->isEnabled() ? QString() : QStringLiteral(" (off)")));
        }
        return texts;
    }

    kztest::TempTree tree;
    std::unique_ptr<QWidget> window;
    std::shared_ptr<RulesDirPathWidgetController> control;
    DelegatorRecorder delegator;
};

} // namespace

TEST_F(RulesDirPathViewTest, EmptyListShowsTheChooseButtonAndADropShowsTheSummary)
{
    EXPECT_TRUE(control->chooseButton()->isVisible());
    EXPECT_FALSE(control->popMenu()->isVisible());

    const QString photos = tree.mkdir(QStringLiteral("Photos"));
    std::unique_ptr<QMimeData> data(rulestest::urlData({QUrl::fromLocalFile(photos)}));
    EXPECT_TRUE(rulestest::drop(control->view(), data.get()));
    EXPECT_EQ(delegator.calls, 1);
    EXPECT_EQ(delegator.lastPaths, QStringList{photos});
    EXPECT_FALSE(control->chooseButton()->isVisible());
    EXPECT_TRUE(control->popMenu()->isVisible());
    EXPECT_EQ(control->popMenu()->text(),
              KZStringWithFormat(KZLocalizedString("1 path (%@)"), {QStringLiteral("Photos")}));

    const QString music = tree.mkdir(QStringLiteral("music"));
    std::unique_ptr<QMimeData> more(rulestest::urlData({QUrl::fromLocalFile(music)}));
    EXPECT_TRUE(rulestest::drop(control->view(), more.get()));
    EXPECT_EQ(control->popMenu()->text(), KZStringWithFormat(KZLocalizedString("%@ paths"), {QStringLiteral("2")}));
    // Sorted without regard to case.
    EXPECT_EQ(delegator.lastPaths, (QStringList{music, photos}));
}

TEST_F(RulesDirPathViewTest, ADroppedFileAddsNothingButIsReported)
{
    const QString file = tree.writeFile(QStringLiteral("notes.txt"), "n");
    std::unique_ptr<QMimeData> data(rulestest::urlData({QUrl::fromLocalFile(file)}));
    EXPECT_TRUE(rulestest::drop(control->view(), data.get()));
    EXPECT_EQ(delegator.calls, 1);
    EXPECT_TRUE(control->paths().isEmpty());
    EXPECT_TRUE(control->chooseButton()->isVisible());
}

TEST_F(RulesDirPathViewTest, DragHighlightFollowsTheDrag)
{
    const QString folder = tree.mkdir(QStringLiteral("f"));
    std::unique_ptr<QMimeData> data(rulestest::urlData({QUrl::fromLocalFile(folder)}));
    const QColor stroke = QColor::fromRgbF(0.67, 0.67, 0.67);
    const auto edgePixel = [&] { return control->view()->grab().toImage().pixelColor(1, 13); };
    EXPECT_NE(edgePixel(), stroke);
    ASSERT_TRUE(rulestest::dragEnter(control->view(), data.get()));
    EXPECT_TRUE(control->view()->hasDragging());
    const QColor highlighted = edgePixel();
    EXPECT_NEAR(highlighted.redF(), 0.67, 0.02);
    EXPECT_NEAR(highlighted.blueF(), 0.67, 0.02);
    rulestest::dragLeave(control->view());
    EXPECT_FALSE(control->view()->hasDragging());
    EXPECT_NE(edgePixel(), stroke);
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
                                        QStringLiteral("--sep--"), KZLocalizedString("Add…")}));

    // Unchecking a folder changes the summary but tells nobody.
    QMenu *menu = control->popMenu()->menu();
    control->menuNeedsUpdate(menu);
    const int calls = delegator.calls;
    control->mi_action(menu->actions().at(0));
    EXPECT_EQ(control->paths().at(0)->state, 0);
    EXPECT_EQ(delegator.calls, calls);
    EXPECT_EQ(control->popMenu()->text(),
              KZStringWithFormat(KZLocalizedString("1 path (%@)"), {QStringLiteral("Beta")}));
    control->menuNeedsUpdate(menu);
    control->mi_action(menu->actions().at(1));
    EXPECT_EQ(control->popMenu()->text(), QStringLiteral("--"));

    // A deleted folder is disabled but still listed.
    tree.remove(QStringLiteral("alpha"));
    EXPECT_EQ(menuTexts().first(), shown(a) + QStringLiteral(" (off)"));
}

TEST_F(RulesDirPathViewTest, ChooseBoxPicksSeveralFoldersFromTheScope)
{
    QTest::mouseClick(control->chooseButton(), Qt::LeftButton);
    QFileDialog *box = control->chooseBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(box->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_TRUE(box->filter() & QDir::Hidden);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(QDir(box->directory()).canonicalPath(), QDir(tree.root()).canonicalPath());
    box->reject();
    EXPECT_TRUE(kztest::waitUntil([&] { return control->chooseBox() == nullptr; }));
    EXPECT_EQ(delegator.calls, 0);

    const QString one = tree.mkdir(QStringLiteral("one"));
    control->presentChooseBox();
    box = control->chooseBox();
    ASSERT_NE(box, nullptr);
    box->selectFile(QStringLiteral("one"));
    static_cast<QDialog *>(box)->accept();
    EXPECT_EQ(delegator.calls, 1);
    ASSERT_EQ(control->paths().size(), 1);
    EXPECT_EQ(QDir(control->paths().first()->path).canonicalPath(), QDir(one).canonicalPath());
}

TEST_F(RulesDirPathViewTest, ChooseBoxTakesSeveralFoldersAtOnce)
{
    const QString one = tree.mkdir(QStringLiteral("one"));
    const QString two = tree.mkdir(QStringLiteral(".two")); // hidden folders are offered too
    tree.writeFile(QStringLiteral("file.txt"), "f");
    control->presentChooseBox();
    QFileDialog *box = control->chooseBox();
    ASSERT_NE(box, nullptr);
    auto *list = box->findChild<QAbstractItemView *>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    // The listing arrives in the background.
    QAbstractItemModel *model = list->model();
    const auto names = [&] {
        QStringList shown;
        for (int row = 0; row < model->rowCount(list->rootIndex()); ++row)
            shown.append(model->index(row, 0, list->rootIndex()).data().toString());
        shown.sort();
        return shown;
    };
    ASSERT_TRUE(kztest::waitUntil([&] { return names().size() >= 2; }));
    // Folders only.
    EXPECT_EQ(names(), (QStringList{QStringLiteral(".two"), QStringLiteral("one")}));
    list->selectAll();
    static_cast<QDialog *>(box)->accept();
    EXPECT_EQ(delegator.calls, 1);
    QStringList added;
    for (const KZDirPathEntryRef &entry : control->paths())
        added.append(QDir(entry->path).canonicalPath());
    EXPECT_EQ(added, (QStringList{QDir(two).canonicalPath(), QDir(one).canonicalPath()}));
}
