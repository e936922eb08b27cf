#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>

#include "results/KZFinderFileIcon.h"
#include "tests/app/WindowTestSupport.h"
#include "tests/scope/ScopeTestSupport.h"
#include "tests/testlib/OpenedUrls.h"

namespace {

using kztest::describe;

// The submenu of dir as read from the file system.
QString listing(const QString &dir)
{
    QStringList items;
    for (const ScopeDirMenuEntry &e : ScopeDirChooser::directorySubmenuEntries(dir))
        items.append(kztest::menuItem(e.title, e.enabled, false, e.hasSubmenu, e.type == ScopeDirMenuEntry::Separator));
    return items.join(QLatin1Char('|'));
}

QAction *itemTitled(QMenu *menu, const QString &title)
{
    for (QAction *a : menu->actions())
        if (a->text() == title)
            return a;
    return nullptr;
}

class ScopeDirChooserTest : public kztest::WindowTest
{
protected:
    // The top menu as it looks when it opens.
    std::unique_ptr<QMenu> topMenu()
    {
        std::unique_ptr<QMenu> menu(chooser->scopeDirsMenu());
        chooser->menuNeedsUpdate(menu.get());
        return menu;
    }

    // The submenu of an item, filled as when it opens.
    static QMenu *openSubmenu(QAction *item)
    {
        if (!item || !item->menu())
            return nullptr;
        Q_EMIT item->menu()->aboutToShow();
        return item->menu();
    }

    static QString home() { return ScopeDirManager::homeDirPath(); }
};

TEST_F(ScopeDirChooserTest, MenusListVolumesHomeChosenFoldersAndTheirSubFolders)
{
    const QString srcX = tree.mkdir(QStringLiteral("a/x/p/src"));
    const QString srcY = tree.mkdir(QStringLiteral("a/y/q/src"));
    const QString gone = tree.mkdir(QStringLiteral("gone"));
    for (const char *dir : {"beta", "Alpha", ".hidden", "gamma/deeper", "proc"}) // hidden names apply at "/" only
        tree.mkdir(QStringLiteral("other/full/") + QLatin1String(dir));
    tree.writeFile(QStringLiteral("other/full/aardvark.txt"), "f");
    tree.symlink(tree.path(QStringLiteral("other/full/beta")), QStringLiteral("other/full/Delta-link"));
    tree.symlink(tree.path(QStringLiteral("other/full/aardvark.txt")), QStringLiteral("other/full/file-link"));
    // A folder taken over from the sidebar (kind 0) is not offered.
    ASSERT_NE(manager()->addFavoriteDirURL(QUrl::fromLocalFile(tree.mkdir(QStringLiteral("sidebar")))), nullptr);
    for (const QString &dir : {gone, srcX, srcY, tree.path(QStringLiteral("other/full"))})
        ASSERT_TRUE(manager()->proposeSelectionWithDirPath(dir));
    tree.remove(QStringLiteral("gone"));
    open();

    QStringList volumes;
    for (const QString &v : ScopeDirManager::mountedVolumes())
        if (::access(QFile::encodeName(v).constData(), R_OK) == 0)
            volumes.append(v);
    std::unique_ptr<QMenu> menu = topMenu();
    const QList<QAction *> actions = menu->actions();
    // After the volumes: home, the folders the user chose (the deleted one
    // gone, the two "src" told apart by their grandparent), then Choose….
    ASSERT_EQ(describe(menu.get()).split(QLatin1Char('|')).mid(volumes.size()).join(QLatin1Char('|')),
              QLatin1String(volumes.isEmpty() ? "" : "--|") + QStringLiteral("home>|--|src (x)>|src (y)>|full*>|--|Choose…"));
    // Every item has its icon; the current scope is marked and bold, the others are plain.
    for (QAction *a : actions) {
        EXPECT_TRUE(a->isSeparator() || !a->icon().isNull()) << a->text().toStdString();
        EXPECT_EQ(a->font().bold(), a->isChecked()) << a->text().toStdString();
    }

    // Choosing an entry selects it; the menu shows the new selection the next time.
    itemTitled(menu.get(), QStringLiteral("src (y)"))->trigger();
    EXPECT_EQ(controller->scopeDir(), srcY);
    const QString after = describe(topMenu().get());
    EXPECT_TRUE(after.count(QLatin1Char('*')) == 1 && after.contains(QStringLiteral("|src (y)*>|"))) << after.toStdString();
    if (!volumes.isEmpty()) {
        actions.first()->trigger();
        EXPECT_EQ(controller->scopeDir(), volumes.first());
        EXPECT_TRUE(describe(topMenu().get()).startsWith(kztest::menuItem(actions.first()->text(), true, true, true)));
    }

    // Each chosen folder has a submenu of its sub-folders.
    QMenu *fullMenu = openSubmenu(itemTitled(menu.get(), QStringLiteral("full")));
    ASSERT_NE(fullMenu, nullptr);
    // Opening it again rebuilds it from the folder as it is now.
    tree.mkdir(QStringLiteral("other/full/epsilon"));
    openSubmenu(fullMenu->menuAction());
    EXPECT_EQ(describe(fullMenu), QStringLiteral("Open|--|.hidden>|Alpha>|beta>|Delta-link>|epsilon>|gamma>|proc>"));
    QMenu *gamma = openSubmenu(itemTitled(fullMenu, QStringLiteral("gamma")));
    ASSERT_NE(gamma, nullptr);
    ASSERT_EQ(describe(gamma), QStringLiteral("Open|--|deeper>"));

    // "Open" hands the folder to the desktop's file manager, the scope stays.
    kztest::OpenedUrls opened;
    const QString scope = controller->scopeDir();
    itemTitled(gamma, QStringLiteral("Open"))->trigger();
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(tree.path(QStringLiteral("other/full/gamma")))});
    EXPECT_EQ(controller->scopeDir(), scope);

    // Chosen two levels down, the choice reaches the window through the top
    // menu and is offered among the chosen folders from then on.
    itemTitled(gamma, QStringLiteral("deeper"))->trigger();
    const QString deeper = tree.path(QStringLiteral("other/full/gamma/deeper"));
    EXPECT_EQ(chooser->mScopeView()->toolTip(), deeper);
    EXPECT_TRUE(describe(topMenu().get()).contains(QStringLiteral("|full>|deeper*>|")));

    // A missing folder: no "Open", nothing to list.
    EXPECT_EQ(listing(tree.path(QStringLiteral("missing"))), QStringLiteral("--"));
}

// A click on the button drops the menu down; a click on an item that has a
// submenu chooses its folder, and so does Return, while the right arrow opens
// the submenu.
TEST_F(ScopeDirChooserTest, ClickingTheButtonDropsTheMenuAndAClickOrReturnChoosesAFolder)
{
    const QString start = tree.mkdir(QStringLiteral("start"));
    tree.writeFile(QStringLiteral("start/only-a-file.txt"), "f");
    ASSERT_TRUE(manager()->proposeSelectionWithDirPath(start));
    open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    ScopeDirOverView *button = chooser->mScopeView();

    // When the menu pops up: note it, then click the home item the way a user does.
    QString shown;
    const kztest::PopupWatcher watcher(QStringLiteral("ScopeDirs-Menu"), [&](QMenu *menu) {
        if (!shown.isEmpty())
            return;
        shown = describe(menu);
        QAction *homeItem = itemTitled(menu, QStringLiteral("home"));
        if (!homeItem)
            return void(menu->close());
        const QPoint p = menu->actionGeometry(homeItem).center();
        QTest::mouseMove(menu, p);
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, p);
    });
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    ASSERT_TRUE(kztest::waitUntil([&] { return !shown.isEmpty() && !QApplication::activePopupWidget(); }));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("|start*>|--|Choose…"))) << shown.toStdString();
    EXPECT_EQ(manager()->selectionKind(), ScopeDirManager::SelectionHome);
    EXPECT_EQ(controller->scopeDir(), home());
    // Closing the menu clears the pressed look.
    EXPECT_FALSE(button->isPressed());
    EXPECT_EQ(button->state(), KZOverView::StateNormal);

    std::unique_ptr<QMenu> menu(chooser->scopeDirsMenu(button));
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu.get()));
    QAction *startItem = itemTitled(menu.get(), QStringLiteral("start"));
    ASSERT_NE(startItem, nullptr);
    menu->setActiveAction(startItem);
    QTest::keyClick(menu.get(), Qt::Key_Right);
    ASSERT_TRUE(kztest::waitUntil([&] { return startItem->menu()->isVisible(); }));
    EXPECT_EQ(describe(startItem->menu()), QStringLiteral("Open|--|(No Directory)-"));
    EXPECT_EQ(controller->scopeDir(), home());
    QTest::keyClick(startItem->menu(), Qt::Key_Left);
    ASSERT_TRUE(kztest::waitUntil([&] { return !startItem->menu()->isVisible(); }));
    menu->setActiveAction(startItem);
    QTest::keyClick(menu.get(), Qt::Key_Return);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(controller->scopeDir(), start);
}

TEST_F(ScopeDirChooserTest, SubmenusHideSystemNamesAtTheRootAndDisableUnreadableFolders)
{
    // A dot-folder at "/" (where the machine lets us make one) proves that
    // dot-folders stay; removed again at once.
    char templ[] = "/.trovix-root-XXXXXX";
    const char *made = ::mkdtemp(templ);
    QStringList titles;
    for (const ScopeDirMenuEntry &e : ScopeDirChooser::directorySubmenuEntries(QStringLiteral("/")))
        titles.append(e.title);
    if (made)
        ::rmdir(made);
    EXPECT_EQ(titles.mid(0, 2), QStringList({QStringLiteral("Open"), QString()}));
    for (const char *hidden : {"proc", "sys", "dev", "run", "boot", "lost+found"})
        EXPECT_FALSE(titles.contains(QLatin1String(hidden))) << hidden;
    for (const char *shown : {"etc", "usr", "tmp"})
        EXPECT_TRUE(titles.contains(QLatin1String(shown))) << shown;
    EXPECT_TRUE(!made || titles.contains(QString::fromLatin1(made + 1))) << "dot-folders are listed";

    tree.mkdir(QStringLiteral("locked/inner"));
    tree.mkdir(QStringLiteral("open/inner"));
    tree.chmod(QStringLiteral("locked"), 0);
    ::chmod(QFile::encodeName(tree.root()).constData(), 0755);
    const QString locked = tree.path(QStringLiteral("locked"));
    // Root reads every folder: the listing is made as an unprivileged user.
    ASSERT_TRUE(kztest::canRunUnprivileged());
    const int rc = kztest::runAsUnprivileged([&]() -> int {
        return (listing(locked) != QStringLiteral("(No Read Access)-|--"))
            | (listing(tree.root()) != QStringLiteral("Open|--|locked-|open>")) << 1;
    });
    EXPECT_EQ(rc, 0) << "failure bits: " << rc;
    EXPECT_EQ(listing(locked), QStringLiteral("Open|--|inner>")); // root itself still lists it
    tree.chmod(QStringLiteral("locked"), 0755);
}

// Opening menus, checking the scope and drawing icons looked at a network
// mount directly on the GUI thread: a server that stopped answering froze the
// window. Each look must go through the time-boxed calls, cost the silent
// server one time-box (a stuck mount is not asked again) and show the mount as
// not answering.
TEST_F(ScopeDirChooserTest, ASilentServerCostsOneTimeBoxNotAFrozenWindow)
{
    tree.writeFile(QStringLiteral("shares/nas/share/report-remote.txt"));
    tree.writeFile(QStringLiteral("shares/local/report.txt"));
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
             EXPECT_EQ(describe(sub), QStringLiteral("Open|--|local>|nas-"));
         }},
        {"the mount", [&] {
             EXPECT_EQ(listing(nas), QStringLiteral("(Not Responding)-|--"));
         }},
        {"icon", [&] {
             EXPECT_FALSE(KZFinderFileIcon::iconForFileAtPathWithSize(nas + QStringLiteral("/share"), 16).isNull());
         }},
        // What a search left out was only in the walk's own log lines, if at all.
        {"search", [&] {
             kztest::LogCapture log;
             type(QStringLiteral("report"), true);
             ASSERT_TRUE(waitForEnd());
             EXPECT_EQ(controller->searchObject()->results().size(), 1);
             EXPECT_EQ(controller->searchObject()->unreadableFolderCount(), 1);
             EXPECT_TRUE(log.contains(QStringLiteral("unreadableFolders:1 skippedLongPaths:0 scopeDir:") + shares));
         }},
        {"scope", [&] {
             useScope(nas);
             controller->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
             EXPECT_EQ(controller->noAccessMesg()->text(), QStringLiteral("This directory does not respond."));
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

TEST_F(ScopeDirChooserTest, ScopeProblemsShowTheNoAccessViewAndAnEmptyButton)
{
    const QString gone = tree.mkdir(QStringLiteral("gone"));
    useScope(gone);
    tree.remove(QStringLiteral("gone"));
    open();
    ScopeDirOverView *button = chooser->mScopeView();
    QImage blank(button->size(), QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    auto draw = [&](int state) {
        QImage image = blank;
        QPainter p(&image);
        chooser->overViewDrawRect(button, &p, button->rect(), state);
        return image;
    };
    // The window offers the chooser's panel instead of a search.
    EXPECT_EQ(controller->contentView(), controller->noAccessView());
    EXPECT_EQ(controller->noAccessMesg()->text(), QStringLiteral("This directory does not exist."));
    EXPECT_FALSE(controller->mSearchField()->isEnabled());
    EXPECT_TRUE(controller->rulesEditorView()->isHidden());
    EXPECT_EQ(controller->evaluateStartableSearch(nullptr, nullptr), -1);
    auto *change = controller->noAccessView()->findChild<QPushButton *>(QStringLiteral("noAccessChangeButton"));
    EXPECT_TRUE(change && !change->isHidden());
    EXPECT_TRUE(button->isDisabled());
    EXPECT_TRUE(button->toolTip().isEmpty());
    EXPECT_EQ(draw(KZOverView::StateInside), blank);
    useScope(tree.writeFile(QStringLiteral("plain-file")));
    controller->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
    EXPECT_EQ(controller->noAccessMesg()->text(), QStringLiteral("Current scope is not a directory."));

    // Back to a folder: searching is possible again and the content area
    // empties; the button has icon, tool tip, and the triangle only while
    // hovered or pressed.
    const QString docs = tree.mkdir(QStringLiteral("docs"));
    useScope(docs);
    controller->scopeDirChooserAction({{QStringLiteral("kind"), 1}});
    EXPECT_EQ(controller->contentView(), nullptr);
    EXPECT_TRUE(controller->mSearchField()->isEnabled());
    EXPECT_FALSE(controller->rulesEditorView()->isHidden());
    EXPECT_TRUE(controller->window()->isToogle());
    EXPECT_EQ(chooser->scopeIcon().deviceIndependentSize().toSize(), QSize(40, 40));
    EXPECT_FALSE(button->isDisabled());
    EXPECT_EQ(button->toolTip(), docs);
    const QPoint triangle(button->width() - 4, button->height() - 4);
    const QImage normal = draw(KZOverView::StateNormal);
    EXPECT_EQ(qAlpha(normal.pixel(triangle)), 0);
    EXPECT_NE(normal, blank); // the folder icon
    EXPECT_EQ(draw(KZOverView::StateInside).pixel(triangle), qRgba(0, 0, 0, 255));
    EXPECT_EQ(draw(KZOverView::StatePressed).pixel(triangle), qRgba(0, 0, 0, 255));
}

TEST_F(ScopeDirChooserTest, DropsAndTheOpenPanelProposeAFolder)
{
    const QString dropped = tree.mkdir(QStringLiteral("dropped"));
    const QString named = tree.mkdir(QStringLiteral("named by text"));
    useScope(tree.mkdir(QStringLiteral("start")));
    open();
    const QString start = controller->scopeDir();
    ScopeDirOverView *button = chooser->mScopeView();
    // The window's assistant, shown in the expanded window, has a drop zone of its own.
    controller->showAssistant();
    auto *zone = controller->assistantView()->findChild<AssistantDaDView *>(QStringLiteral("assistantDnDView"));
    ASSERT_NE(zone, nullptr);
    const auto dragging = [&](QWidget *target) { return target == zone ? zone->hasDragging() : button->hasDragging(); };
    QMimeData folder, file, text, words;
    folder.setUrls({QUrl::fromLocalFile(dropped)});
    file.setUrls({QUrl::fromLocalFile(tree.writeFile(QStringLiteral("a-file.txt"), "f"))});
    text.setText(named);
    words.setText(QStringLiteral("just some words"));
    // Entered (and highlighted while over the target), then dropped or left;
    // the scope after. An accepted drop collapses the window.
    const std::tuple<const char *, QWidget *, QMimeData *, bool, bool, bool, QString> drops[] = {
        {"file on the zone", zone, &file, true, true, false, start},
        {"folder on the zone", zone, &folder, true, true, true, dropped},
        {"file: the manager refuses it", button, &file, true, true, false, dropped},
        {"plain-text path", button, &text, true, true, true, named},
        {"words", button, &words, false, true, false, named},
        {"folder, then left", button, &folder, true, false, false, named},
    };
    for (const auto &[what, target, data, entered, dropIt, accepted, scope] : drops) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_EQ(enter.isAccepted(), entered) << what;
        EXPECT_EQ(dragging(target), entered) << what;
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
        QDragLeaveEvent leave;
        QApplication::sendEvent(target, dropIt ? static_cast<QEvent *>(&drop) : &leave);
        EXPECT_EQ(dropIt && drop.isAccepted(), accepted) << what;
        EXPECT_FALSE(dragging(target)) << what;
        EXPECT_EQ(controller->scopeDir(), scope) << what;
        EXPECT_EQ(button->toolTip(), scope) << what;
        EXPECT_TRUE(!accepted || controller->window()->isToogle()) << what;
    }

    // "Choose…" opens a panel of folders, hidden ones too; Cancel keeps the scope.
    const QString picked = tree.mkdir(QStringLiteral("picked"));
    topMenu()->actions().last()->trigger();
    QFileDialog *panel = chooser->openPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible() && panel->windowModality() == Qt::WindowModal);
    EXPECT_TRUE(panel->fileMode() == QFileDialog::Directory && panel->testOption(QFileDialog::ShowDirsOnly)
                && (panel->filter() & QDir::Hidden));
    EXPECT_EQ(QDir(panel->directory()).canonicalPath(), QDir(home()).canonicalPath());
    panel->reject();
    EXPECT_EQ(controller->scopeDir(), named);

    chooser->presentOpenPanel();
    panel = chooser->openPanel();
    ASSERT_NE(panel, nullptr);
    panel->setDirectory(tree.root());
    panel->selectFile(picked);
    static_cast<QDialog *>(panel)->accept();
    EXPECT_EQ(controller->scopeDir(), picked);
    EXPECT_EQ(manager()->selectionKind(), ScopeDirManager::SelectionFavorite);
}

} // namespace

