#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "app/DocumentWindow.h"
#include "app/DocumentWindowController.h"
#include "app/ScopeDirChooser.h"
#include "engine/KZCFileTools.h"
#include "results/KZFinderFileIcon.h"
#include "scope/ScopeDirManager.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

// Receives the URLs that would go to the desktop's default handler.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

// One line per item: its title, "-" when disabled, "*" when checked, ">" when
// it has a submenu; separators are "--".
QStringList describe(QMenu *menu)
{
    QStringList lines;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator()) {
            lines.append(QStringLiteral("--"));
            continue;
        }
        QString line = a->text();
        if (!a->isEnabled())
            line += QLatin1Char('-');
        if (a->isChecked())
            line += QLatin1Char('*');
        if (a->menu())
            line += QLatin1Char('>');
        lines.append(line);
    }
    return lines;
}

QAction *itemTitled(QMenu *menu, const QString &title)
{
    for (QAction *a : menu->actions())
        if (a->text() == title)
            return a;
    return nullptr;
}

QStringList titlesOf(const QList<ScopeDirMenuEntry> &entries)
{
    QStringList titles;
    for (const ScopeDirMenuEntry &e : entries)
        titles.append(e.type == ScopeDirMenuEntry::Separator ? QStringLiteral("--") : e.title);
    return titles;
}

class ScopeDirChooserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kztest::resetTestEnvironment();
        ScopeDirManager::resetSharedInstanceForTesting();
        home = ScopeDirManager::homeDirPath();
    }
    void TearDown() override
    {
        controller.reset();
        DocumentWindowController::searchQueue()->waitForDone();
        ScopeDirManager::resetSharedInstanceForTesting();
    }

    ScopeDirManager *manager() { return ScopeDirManager::sharedInstance(); }

    // A window with its chooser, as the application makes it.
    void open()
    {
        controller = std::make_unique<DocumentWindowController>();
        chooser = new ScopeDirChooser(controller.get());
        chooser->setObservator(controller.get());
        controller->setScopeDirChooser(chooser);
        controller->showWindowAnimated();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
        controller->window()->activateWindow();
    }

    // The top menu as it looks when it opens.
    std::unique_ptr<QMenu> topMenu()
    {
        std::unique_ptr<QMenu> menu(chooser->scopeDirsMenu());
        chooser->menuNeedsUpdate(menu.get());
        return menu;
    }

    // The submenu of an item, filled as when it opens.
    QMenu *openSubmenu(QAction *item)
    {
        if (!item || !item->menu())
            return nullptr;
        Q_EMIT item->menu()->aboutToShow();
        return item->menu();
    }

    kztest::TempTree tree;
    QString home;
    std::unique_ptr<DocumentWindowController> controller;
    ScopeDirChooser *chooser = nullptr;
};

TEST_F(ScopeDirChooserTest, TopMenuListsVolumesHomeAndChosenFoldersWithUniqueNames)
{
    const QString srcX = tree.mkdir(QStringLiteral("a/x/p/src"));
    const QString srcY = tree.mkdir(QStringLiteral("a/y/q/src"));
    const QString solo = tree.mkdir(QStringLiteral("other/solo"));
    const QString sidebar = tree.mkdir(QStringLiteral("sidebar"));
    const QString gone = tree.mkdir(QStringLiteral("gone"));
    // A folder taken over from the sidebar (kind 0) is not offered.
    ASSERT_NE(manager()->addFavoriteDirURL(QUrl::fromLocalFile(sidebar)), nullptr);
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(gone));
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(srcX));
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(srcY));
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(solo));
    tree.remove(QStringLiteral("gone"));
    open();

    QStringList volumes;
    for (const QString &v : ScopeDirManager::mountedVolumes())
        if (::access(QFile::encodeName(v).constData(), R_OK) == 0)
            volumes.append(v);

    std::unique_ptr<QMenu> menu = topMenu();
    EXPECT_EQ(menu->title(), QStringLiteral("ScopeDirs-Menu"));
    EXPECT_EQ(menu->objectName(), QStringLiteral("ScopeDirs-Menu"));
    const QList<QAction *> actions = menu->actions();
    QStringList volumePaths;
    for (QAction *a : actions)
        if (a->data().toInt() == 1)
            volumePaths.append(a->property("representedObject").toString());
    EXPECT_EQ(volumePaths, volumes);

    // After the volumes: home, the folders the user chose (the deleted one
    // gone, the two "src" told apart by their grandparent), then Choose….
    QStringList rest = describe(menu.get()).mid(volumes.size());
    QStringList expected;
    if (!volumes.isEmpty())
        expected << QStringLiteral("--");
    expected << QStringLiteral("home>") << QStringLiteral("--") << QStringLiteral("src (x)>")
             << QStringLiteral("src (y)>") << QStringLiteral("solo*>") << QStringLiteral("--")
             << QStringLiteral("Choose…");
    EXPECT_EQ(rest, expected);

    // The current scope is marked and bold; the others are plain.
    for (QAction *a : actions) {
        if (!a->isSeparator() && a->data().toInt() <= 3) {
            EXPECT_EQ(a->font().bold(), a->isChecked()) << a->text().toStdString();
        }
    }
    QAction *x = itemTitled(menu.get(), QStringLiteral("src (x)"));
    QAction *y = itemTitled(menu.get(), QStringLiteral("src (y)"));
    ASSERT_TRUE(x && y);
    EXPECT_EQ(x->data().toInt(), 3);
    EXPECT_EQ(x->property("representedObject").value<std::shared_ptr<FavoriteDir>>()->path(), srcX);
    EXPECT_EQ(y->property("representedObject").value<std::shared_ptr<FavoriteDir>>()->path(), srcY);
    EXPECT_EQ(x->menu()->objectName(), QStringLiteral("Directory-Submenu"));
    QAction *homeItem = itemTitled(menu.get(), QStringLiteral("home"));
    ASSERT_NE(homeItem, nullptr);
    EXPECT_EQ(homeItem->data().toInt(), 2);
    EXPECT_EQ(homeItem->property("representedObject").toString(), home);
    EXPECT_FALSE(homeItem->icon().isNull());
    QAction *choose = actions.last();
    EXPECT_EQ(choose->data().toInt(), 10);
    EXPECT_FALSE(choose->icon().isNull());
    const QImage chooseImage = ScopeDirChooser::chooseIcon().toImage();
    ASSERT_EQ(chooseImage.size(), QSize(16, 16));
    // A grey disc with a white plus at its centre; the corners stay clear.
    EXPECT_EQ(qAlpha(chooseImage.pixel(0, 0)), 0);
    EXPECT_GT(qGray(chooseImage.pixel(7, 7)), 200);
    const QColor ring = chooseImage.pixelColor(2, 7);
    EXPECT_EQ(ring.alpha(), 255);
    EXPECT_LT(ring.lightness(), 200);

    // Choosing an entry selects it; the menu shows the new selection the next time.
    y->trigger();
    EXPECT_EQ(controller->scopeDir(), srcY);
    EXPECT_EQ(chooser->scopeKind(), ScopeDirManager::SelectionFavorite);
    homeItem->trigger();
    EXPECT_EQ(manager()->selectionKind(), ScopeDirManager::SelectionHome);
    EXPECT_EQ(controller->scopeDir(), home);
    menu = topMenu();
    EXPECT_EQ(describe(menu.get()).filter(QLatin1String("*")), QStringList{QStringLiteral("home*>")});
    if (!volumes.isEmpty()) {
        menu->actions().first()->trigger();
        EXPECT_EQ(manager()->selectionKind(), ScopeDirManager::SelectionPath);
        EXPECT_EQ(controller->scopeDir(), volumes.first());
        menu = topMenu();
        EXPECT_TRUE(menu->actions().first()->isChecked());
        EXPECT_FALSE(itemTitled(menu.get(), QStringLiteral("home"))->isChecked());
    }
}

TEST_F(ScopeDirChooserTest, FolderSubmenusListSubFoldersAndOpenTheFolder)
{
    const QString empty = tree.mkdir(QStringLiteral("empty"));
    tree.writeFile(QStringLiteral("empty/only-a-file.txt"), "f");
    tree.mkdir(QStringLiteral("full/beta"));
    tree.mkdir(QStringLiteral("full/Alpha"));
    tree.mkdir(QStringLiteral("full/.hidden"));
    tree.mkdir(QStringLiteral("full/proc")); // hidden names apply at "/" only
    tree.mkdir(QStringLiteral("full/gamma/deeper"));
    tree.writeFile(QStringLiteral("full/aardvark.txt"), "f");
    tree.symlink(tree.path(QStringLiteral("full/beta")), QStringLiteral("full/Delta-link"));
    tree.symlink(tree.path(QStringLiteral("full/aardvark.txt")), QStringLiteral("full/file-link"));
    const QString full = tree.path(QStringLiteral("full"));
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(empty));
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(full));
    open();

    std::unique_ptr<QMenu> menu = topMenu();
    QMenu *emptyMenu = openSubmenu(itemTitled(menu.get(), QStringLiteral("empty")));
    ASSERT_NE(emptyMenu, nullptr);
    EXPECT_EQ(describe(emptyMenu), QStringList({QStringLiteral("Open"), QStringLiteral("--"),
                                                QStringLiteral("(No Directory)-")}));

    QMenu *fullMenu = openSubmenu(itemTitled(menu.get(), QStringLiteral("full")));
    ASSERT_NE(fullMenu, nullptr);
    EXPECT_EQ(describe(fullMenu),
              QStringList({QStringLiteral("Open"), QStringLiteral("--"), QStringLiteral(".hidden>"),
                           QStringLiteral("Alpha>"), QStringLiteral("beta>"), QStringLiteral("Delta-link>"),
                           QStringLiteral("gamma>"), QStringLiteral("proc>")}));
    // Opening it again rebuilds it from the folder as it is now.
    tree.mkdir(QStringLiteral("full/epsilon"));
    tree.remove(QStringLiteral("full/proc"));
    fullMenu = openSubmenu(itemTitled(menu.get(), QStringLiteral("full")));
    EXPECT_EQ(describe(fullMenu).mid(2), QStringList({QStringLiteral(".hidden>"), QStringLiteral("Alpha>"),
                                                      QStringLiteral("beta>"), QStringLiteral("Delta-link>"),
                                                      QStringLiteral("epsilon>"), QStringLiteral("gamma>")}));
    QMenu *gamma = openSubmenu(itemTitled(fullMenu, QStringLiteral("gamma")));
    ASSERT_NE(gamma, nullptr);
    EXPECT_EQ(describe(gamma), QStringList({QStringLiteral("Open"), QStringLiteral("--"), QStringLiteral("deeper>")}));
    QAction *deeper = itemTitled(gamma, QStringLiteral("deeper"));
    EXPECT_EQ(deeper->data().toInt(), 4);
    EXPECT_EQ(deeper->property("representedObject").toString(), tree.path(QStringLiteral("full/gamma/deeper")));

    // "Open" hands the folder to the desktop's file manager, the scope stays.
    OpenedUrls opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    QAction *openItem = itemTitled(gamma, QStringLiteral("Open"));
    ASSERT_NE(openItem, nullptr);
    EXPECT_EQ(openItem->data().toInt(), 5);
    openItem->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(tree.path(QStringLiteral("full/gamma")))});
    EXPECT_EQ(controller->scopeDir(), full);

    // A missing folder: no "Open", nothing to list.
    EXPECT_EQ(titlesOf(ScopeDirChooser::directorySubmenuEntries(tree.path(QStringLiteral("missing")))),
              QStringList{QStringLiteral("--")});
}

TEST_F(ScopeDirChooserTest, ChoosingASubFolderMakesItTheWindowsScope)
{
    tree.mkdir(QStringLiteral("projects/trovix/src"));
    const QString projects = tree.path(QStringLiteral("projects"));
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(projects));
    open();
    EXPECT_EQ(controller->scopeDir(), projects);

    std::unique_ptr<QMenu> menu = topMenu();
    QMenu *projectsMenu = openSubmenu(itemTitled(menu.get(), QStringLiteral("projects")));
    ASSERT_NE(projectsMenu, nullptr);
    QMenu *trovixMenu = openSubmenu(itemTitled(projectsMenu, QStringLiteral("trovix")));
    ASSERT_NE(trovixMenu, nullptr);
    QAction *src = itemTitled(trovixMenu, QStringLiteral("src"));
    ASSERT_NE(src, nullptr);
    // Chosen two levels down, the choice reaches the window through the top menu.
    src->trigger();
    const QString srcPath = tree.path(QStringLiteral("projects/trovix/src"));
    EXPECT_EQ(controller->scopeDir(), srcPath);
    EXPECT_TRUE(controller->isValid());
    EXPECT_EQ(manager()->selectionKind(), ScopeDirManager::SelectionFavorite);
    EXPECT_EQ(chooser->mScopeView()->toolTip(), srcPath);
    EXPECT_EQ(controller->window()->windowTitle(), srcPath);
    EXPECT_TRUE(controller->mSearchField()->isEnabled());

    // The new folder is offered among the chosen folders, checked.
    menu = topMenu();
    EXPECT_TRUE(describe(menu.get()).contains(QStringLiteral("src*>")));
    EXPECT_TRUE(describe(menu.get()).contains(QStringLiteral("projects>")));
}

TEST_F(ScopeDirChooserTest, ClickingTheButtonDropsTheMenuAndAClickOnAFolderChoosesIt)
{
    const QString start = tree.mkdir(QStringLiteral("start"));
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(start));
    open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    ScopeDirOverView *button = chooser->mScopeView();
    ASSERT_TRUE(button->isVisible());
    EXPECT_FALSE(button->isDisabled());

    // When the menu pops up: note it, then click the home item (which also
    // has a submenu) the way a user does.
    QStringList shown;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu || menu->objectName() != QStringLiteral("ScopeDirs-Menu") || !menu->isVisible())
            return;
        watcher.stop();
        shown = describe(menu);
        QAction *homeItem = itemTitled(menu, QStringLiteral("home"));
        if (!homeItem) {
            menu->close();
            return;
        }
        const QPoint p = menu->actionGeometry(homeItem).center();
        QTest::mouseMove(menu, p);
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, p);
    });
    watcher.start();
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    ASSERT_TRUE(kztest::waitUntil([&] { return !shown.isEmpty() && !QApplication::activePopupWidget(); }));
    EXPECT_TRUE(shown.contains(QStringLiteral("start*>")));
    EXPECT_EQ(shown.last(), QStringLiteral("Choose…"));
    EXPECT_EQ(manager()->selectionKind(), ScopeDirManager::SelectionHome);
    EXPECT_EQ(controller->scopeDir(), home);
    EXPECT_EQ(button->toolTip(), home);
    // Closing the menu clears the pressed look.
    EXPECT_FALSE(button->isPressed());
    EXPECT_EQ(button->state(), KZOverView::StateNormal);

    // Return on a folder item chooses it too; the right arrow opens its submenu instead.
    std::unique_ptr<QMenu> menu(chooser->scopeDirsMenu(button));
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu.get()));
    QAction *startItem = itemTitled(menu.get(), QStringLiteral("start"));
    ASSERT_NE(startItem, nullptr);
    menu->setActiveAction(startItem);
    QTest::keyClick(menu.get(), Qt::Key_Right);
    ASSERT_TRUE(kztest::waitUntil([&] { return startItem->menu()->isVisible(); }));
    EXPECT_EQ(describe(startItem->menu()), QStringList({QStringLiteral("Open"), QStringLiteral("--"),
                                                        QStringLiteral("(No Directory)-")}));
    EXPECT_EQ(controller->scopeDir(), home);
    QTest::keyClick(startItem->menu(), Qt::Key_Left);
    ASSERT_TRUE(kztest::waitUntil([&] { return !startItem->menu()->isVisible(); }));
    menu->setActiveAction(startItem);
    QTest::keyClick(menu.get(), Qt::Key_Return);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(controller->scopeDir(), start);
    EXPECT_EQ(manager()->selectionKind(), ScopeDirManager::SelectionFavorite);
}

TEST_F(ScopeDirChooserTest, AnUnreadableFolderSaysSoAndIsOfferedDisabled)
{
    tree.mkdir(QStringLiteral("locked/inner"));
    tree.mkdir(QStringLiteral("open/inner"));
    tree.chmod(QStringLiteral("locked"), 0);
    ::chmod(QFile::encodeName(tree.root()).constData(), 0755);
    const QString parent = tree.root();
    const QString locked = tree.path(QStringLiteral("locked"));
    // Root reads every folder: the listing is made as an unprivileged user.
    ASSERT_TRUE(kztest::canRunUnprivileged());
    const int rc = kztest::runAsUnprivileged([&]() -> int {
        int failures = 0;
        const QList<ScopeDirMenuEntry> own = ScopeDirChooser::directorySubmenuEntries(locked);
        if (titlesOf(own) != QStringList({QStringLiteral("(No Read Access)"), QStringLiteral("--")}))
            failures |= 1;
        else if (own.first().enabled || own.first().tag == 5)
            failures |= 2;
        const QList<ScopeDirMenuEntry> above = ScopeDirChooser::directorySubmenuEntries(parent);
        if (titlesOf(above) != QStringList({QStringLiteral("Open"), QStringLiteral("--"), QStringLiteral("locked"),
                                             QStringLiteral("open")}))
            failures |= 4;
        else if (above.at(2).enabled || above.at(2).hasSubmenu || !above.at(3).enabled || !above.at(3).hasSubmenu)
            failures |= 8;
        return failures;
    });
    EXPECT_EQ(rc, 0) << "failure bits: " << rc;
    // Root itself still lists it.
    EXPECT_EQ(titlesOf(ScopeDirChooser::directorySubmenuEntries(locked)),
              QStringList({QStringLiteral("Open"), QStringLiteral("--"), QStringLiteral("inner")}));
    tree.chmod(QStringLiteral("locked"), 0755);
}

TEST_F(ScopeDirChooserTest, RootSubmenuHidesSystemNamesButListsDotFolders)
{
    // A dot-folder at "/" (where the machine lets us make one) proves that
    // dot-folders stay; removed again at the end.
    char templ[] = "/.trovix-root-XXXXXX";
    const char *made = ::mkdtemp(templ);
    const QString dotName = made ? QString::fromLatin1(made + 1) : QString();

    const QList<ScopeDirMenuEntry> entries = ScopeDirChooser::directorySubmenuEntries(QStringLiteral("/"));
    const QStringList titles = titlesOf(entries);
    if (made)
        ::rmdir(made);
    ASSERT_GE(titles.size(), 2);
    EXPECT_EQ(titles.at(0), QStringLiteral("Open"));
    EXPECT_EQ(titles.at(1), QStringLiteral("--"));
    for (const char *hidden : {"proc", "sys", "dev", "run", "boot", "lost+found"})
        EXPECT_FALSE(titles.contains(QLatin1String(hidden))) << hidden;
    for (const char *shown : {"etc", "usr", "tmp"})
        EXPECT_TRUE(titles.contains(QLatin1String(shown))) << shown;
    if (made) {
        EXPECT_TRUE(titles.contains(dotName));
    }

    // Every other folder of "/" is listed, in case-insensitive order.
    QStringList expected;
    const QStringList all = QDir(QStringLiteral("/")).entryList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : all) {
        const QByteArray bytes = QFile::encodeName(name);
        if (!KZIsVolumeSystemHiddenFilename(bytes.constData(), size_t(bytes.size()), 1))
            expected.append(name);
    }
    if (made && !expected.contains(dotName))
        expected.append(dotName); // listed before it was removed
    std::sort(expected.begin(), expected.end(),
              [](const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
    EXPECT_EQ(titles.mid(2), expected);
    if (!made)
        GTEST_SKIP() << "no dot-folder could be made at /; the listing was checked without one";
}

// Opening menus, checking the scope and drawing icons looked at a network
// mount directly on the GUI thread: a server that stopped answering froze the
// window. Each look must go through the time-boxed calls, cost the silent
// server one time-box (a stuck mount is not asked again) and show the mount as
// not answering.
TEST_F(ScopeDirChooserTest, ASilentServerCostsOneTimeBoxNotAFrozenWindow)
{
    tree.mkdir(QStringLiteral("shares/nas/share"));
    tree.mkdir(QStringLiteral("shares/local"));
    const QString shares = tree.path(QStringLiteral("shares"));
    const QString nas = tree.path(QStringLiteral("shares/nas"));
    scopetest::FakeMountTable mounts(scopetest::mountLine(2, nas, "nfs4", "srv:/export", "0:70"));
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(shares));
    open();

    const std::pair<const char *, std::function<void()>> steps[] = {
        {"volumes", [&] {
             const std::unique_ptr<QMenu> menu = topMenu();
             EXPECT_NE(itemTitled(menu.get(), QStringLiteral("shares")), nullptr);
             EXPECT_EQ(itemTitled(menu.get(), QStringLiteral("nas")), nullptr);
         }},
        {"folder holding the mount", [&] {
             const std::unique_ptr<QMenu> menu = topMenu();
             QMenu *sub = openSubmenu(itemTitled(menu.get(), QStringLiteral("shares")));
             ASSERT_NE(sub, nullptr);
             EXPECT_EQ(describe(sub), QStringList({QStringLiteral("Open"), QStringLiteral("--"),
                                                   QStringLiteral("local>"), QStringLiteral("nas-")}));
         }},
        {"the mount", [&] {
             EXPECT_EQ(titlesOf(ScopeDirChooser::directorySubmenuEntries(nas)),
                       QStringList({QStringLiteral("(Not Responding)"), QStringLiteral("--")}));
         }},
        {"icon", [&] {
             EXPECT_FALSE(KZFinderFileIcon::iconForFileAtPathWithSize(nas + QStringLiteral("/share"), 16).isNull());
         }},
        {"scope", [&] {
             ASSERT_TRUE(manager()->setSelectionKind(ScopeDirManager::SelectionPath, nas));
             controller->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
             ASSERT_NE(controller->noAccessView(), nullptr);
             ASSERT_EQ(controller->contentView(), controller->noAccessView());
             EXPECT_EQ(controller->noAccessMesg()->text(), QStringLiteral("This directory does not respond."));
             EXPECT_FALSE(controller->mSearchField()->isEnabled());
             EXPECT_EQ(controller->evaluateStartableSearch(nullptr, nullptr), -1);
         }},
    };
    for (const auto &[name, step] : steps) {
        {
            scopetest::SilentServer server;
            step();
            EXPECT_EQ(server.calls(), 1) << name;
        }
        ASSERT_TRUE(scopetest::waitForWorkersToDrain(nas)) << name;
    }
}

TEST_F(ScopeDirChooserTest, ButtonShowsTheScopeOrNothingWhenItIsNotValid)
{
    const QString gone = tree.mkdir(QStringLiteral("gone"));
    ASSERT_TRUE(manager()->setSelectionKind(ScopeDirManager::SelectionPath, gone));
    tree.remove(QStringLiteral("gone"));
    open();
    ScopeDirOverView *button = chooser->mScopeView();
    EXPECT_FALSE(controller->isValid());
    EXPECT_TRUE(chooser->scopeIcon().isNull());
    EXPECT_TRUE(button->isDisabled());
    EXPECT_TRUE(button->toolTip().isEmpty());
    EXPECT_EQ(button->state(), KZOverView::StateDisabled);
    // The window offers the chooser's panel instead.
    auto *change = controller->noAccessView()->findChild<QPushButton *>(QStringLiteral("noAccessChangeButton"));
    ASSERT_NE(change, nullptr);
    EXPECT_FALSE(change->isHidden());

    // Drawing a disabled button without icon leaves it empty.
    QImage blank(button->size(), QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    {
        QPainter p(&blank);
        chooser->overViewDrawRect(button, &p, button->rect(), KZOverView::StateInside);
    }
    EXPECT_EQ(blank, [&] {
        QImage empty(button->size(), QImage::Format_ARGB32_Premultiplied);
        empty.fill(Qt::transparent);
        return empty;
    }());

    // A valid folder: icon, tool tip, enabled; the triangle only while hovered or pressed.
    const QString docs = tree.mkdir(QStringLiteral("docs"));
    ASSERT_TRUE(manager()->setSelectionKind(ScopeDirManager::SelectionPath, docs));
    controller->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
    EXPECT_FALSE(chooser->scopeIcon().isNull());
    EXPECT_EQ(chooser->scopeIcon().deviceIndependentSize().toSize(), QSize(40, 40));
    EXPECT_FALSE(button->isDisabled());
    EXPECT_EQ(button->toolTip(), docs);
    auto draw = [&](int state) {
        QImage image(button->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        chooser->overViewDrawRect(button, &p, button->rect(), state);
        return image;
    };
    const QPoint triangle(button->width() - 4, button->height() - 4);
    EXPECT_EQ(qAlpha(draw(KZOverView::StateNormal).pixel(triangle)), 0);
    EXPECT_EQ(draw(KZOverView::StateInside).pixel(triangle), qRgba(0, 0, 0, 255));
    EXPECT_EQ(draw(KZOverView::StatePressed).pixel(triangle), qRgba(0, 0, 0, 255));
    const QImage normal = draw(KZOverView::StateNormal);
    int opaque = 0;
    for (int y = 0; y < normal.height(); ++y)
        for (int x = 0; x < 40; ++x)
            opaque += qAlpha(normal.pixel(x, y)) > 0;
    EXPECT_GT(opaque, 200); // the folder icon is there

    // A favourite shows its own icon and path; the home folder its own.
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(tree.root()));
    controller->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
    EXPECT_EQ(chooser->scopeKind(), ScopeDirManager::SelectionFavorite);
    EXPECT_FALSE(chooser->scopeIcon().isNull());
    EXPECT_EQ(button->toolTip(), tree.root());
    ASSERT_TRUE(manager()->setSelectionKind(ScopeDirManager::SelectionHome, std::monostate()));
    controller->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
    EXPECT_EQ(button->toolTip(), home);
    EXPECT_FALSE(button->isDisabled());
}

TEST_F(ScopeDirChooserTest, DropsOnTheButtonProposeTheFolder)
{
    const QString start = tree.mkdir(QStringLiteral("start"));
    const QString dropped = tree.mkdir(QStringLiteral("dropped"));
    const QString named = tree.mkdir(QStringLiteral("named by text"));
    const QString file = tree.writeFile(QStringLiteral("a-file.txt"), "f");
    ASSERT_TRUE(manager()->setSelectionKind(ScopeDirManager::SelectionPath, start));
    open();
    ScopeDirOverView *button = chooser->mScopeView();
    EXPECT_TRUE(button->acceptDrops());
    const QPointF at(10, 10);

    auto dropOf = [&](QMimeData *data) {
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &enter);
        const bool entered = enter.isAccepted();
        const bool highlighted = button->hasDragging();
        QDropEvent drop(at, Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(button, &drop);
        return std::make_tuple(entered, highlighted, drop.isAccepted(), button->hasDragging());
    };

    // A folder's URL: accepted, highlighted while over the button, and the scope.
    QMimeData folder;
    folder.setUrls({QUrl::fromLocalFile(dropped)});
    EXPECT_EQ(dropOf(&folder), std::make_tuple(true, true, true, false));
    EXPECT_EQ(controller->scopeDir(), dropped);
    EXPECT_EQ(button->toolTip(), dropped);

    // A file: the manager refuses it, the drop fails and nothing changes.
    QMimeData aFile;
    aFile.setUrls({QUrl::fromLocalFile(file)});
    EXPECT_EQ(dropOf(&aFile), std::make_tuple(true, true, false, false));
    EXPECT_EQ(controller->scopeDir(), dropped);

    // A web address is no folder; a plain-text path is.
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/folder"))});
    EXPECT_EQ(dropOf(&web), std::make_tuple(true, true, false, false));
    QMimeData text;
    text.setText(named);
    EXPECT_EQ(dropOf(&text), std::make_tuple(true, true, true, false));
    EXPECT_EQ(controller->scopeDir(), named);

    // Words are not a drag the button takes; leaving clears the highlight.
    QMimeData words;
    words.setText(QStringLiteral("just some words"));
    QDragEnterEvent enterWords(at.toPoint(), Qt::CopyAction, &words, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &enterWords);
    EXPECT_FALSE(enterWords.isAccepted());
    EXPECT_FALSE(button->hasDragging());
    QDragEnterEvent enterFolder(at.toPoint(), Qt::CopyAction, &folder, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button, &enterFolder);
    EXPECT_TRUE(button->hasDragging());
    QDragLeaveEvent leave;
    QApplication::sendEvent(button, &leave);
    EXPECT_FALSE(button->hasDragging());
}

TEST_F(ScopeDirChooserTest, OpenPanelPicksAFolderAndCancelKeepsTheScope)
{
    const QString start = tree.mkdir(QStringLiteral("start"));
    const QString picked = tree.mkdir(QStringLiteral("picked"));
    ASSERT_TRUE(manager()->setSelectionKind(ScopeDirManager::SelectionPath, start));
    open();
    std::unique_ptr<QMenu> menu = topMenu();
    menu->actions().last()->trigger(); // "Choose…"
    QFileDialog *panel = chooser->openPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(panel->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_TRUE(panel->filter() & QDir::Hidden);
    EXPECT_EQ(QDir(panel->directory()).canonicalPath(), QDir(home).canonicalPath());
    panel->reject();
    EXPECT_EQ(controller->scopeDir(), start);

    chooser->presentOpenPanel();
    panel = chooser->openPanel();
    ASSERT_NE(panel, nullptr);
    panel->setDirectory(tree.root());
    panel->selectFile(picked);
    static_cast<QDialog *>(panel)->accept();
    EXPECT_EQ(controller->scopeDir(), picked);
    EXPECT_EQ(manager()->selectionKind(), ScopeDirManager::SelectionFavorite);
}

TEST_F(ScopeDirChooserTest, TheApplicationGivesEveryWindowItsOwnChooser)
{
    ASSERT_TRUE(manager()->setSelectionKind(ScopeDirManager::SelectionPath, tree.root()));
    AppDelegate app;
    app.applicationDidFinishLaunching();
    app.mi_file_newWindow();
    ASSERT_EQ(app.documentWindowControllers().size(), 2);
    QList<ScopeDirOverView *> buttons;
    for (DocumentWindowController *c : app.documentWindowControllers()) {
        auto *button = c->window()->findChild<ScopeDirOverView *>();
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->toolTip(), tree.root());
        buttons.append(button);
    }
    EXPECT_NE(buttons.at(0), buttons.at(1));
}

} // namespace

#include "ScopeDirChooserTest.moc"
