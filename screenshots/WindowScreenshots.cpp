// Takes the screenshots of the search window for the documentation, on the
// display it is given (a private Xvfb: scripts/screenshots.sh window):
// collapsed, with grouped results of a real folder tree, with the scope menu
// open, with the no-access view and with the drag-and-drop assistant. Refuses
// to write anything when no font is installed (every text would be drawn as
// boxes).
//
//   window_screenshots OUTPUT_DIR
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include "app/AppDelegate.h"
#include "app/DocumentWindow.h"
#include "app/DocumentWindowController.h"
#include "app/ScopeDirChooser.h"
#include "engine/KZFileSearchObject.h"
#include "results/KZFinderFileIcon.h"
#include "scope/ScopeDirManager.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

bool save(DocumentWindowController *controller, const QString &path)
{
    QTest::qWait(400); // fades and pending paints
    return kztest::saveScreenshot(controller->window()->grab(), path);
}

// The scope menu dropped down from the scope button, with the home folder's
// submenu open: menus are windows of their own, so the screen is grabbed.
bool saveScopeMenu(DocumentWindowController *controller, const QString &path)
{
    auto *button = controller->window()->findChild<ScopeDirOverView *>();
    auto *chooser = button ? dynamic_cast<ScopeDirChooser *>(button->delegator()) : nullptr;
    if (!chooser) {
        std::fprintf(stderr, "no scope chooser in the window\n");
        return false;
    }
    controller->window()->resize(720, 440);
    QTest::qWait(200);
    std::unique_ptr<QMenu> menu(chooser->scopeDirsMenu(button));
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    QTest::qWait(200);
    QAction *homeItem = nullptr;
    for (QAction *a : menu->actions())
        if (a->data().toInt() == ScopeDirChooser::TagHome)
            homeItem = a;
    if (homeItem) {
        menu->setActiveAction(homeItem);
        QTest::keyClick(menu.get(), Qt::Key_Right);
    }
    QTest::qWait(400);
    QRect area = controller->window()->frameGeometry();
    for (QMenu *m : menu->findChildren<QMenu *>())
        if (m->isVisible())
            area = area.united(m->geometry());
    area = area.united(menu->geometry()).adjusted(-8, -8, 8, 8);
    const QPixmap shot = controller->window()->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    menu->close();
    return kztest::saveScreenshot(shot, path);
}

void touch(const QString &root, const QString &rel, const QByteArray &content = "x")
{
    const QString path = root + QLatin1Char('/') + rel;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

} // namespace

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    const QString out = kztest::screenshotOutputDir(argc, argv, "window_screenshots");
    if (out.isNull())
        return 1;
    KZFinderFileIcon::ensureIconTheme();

    // A small home folder with the kind of names people search.
    const QString home = QDir::homePath();
    touch(home, QStringLiteral("Documents/Report.txt"));
    touch(home, QStringLiteral("Documents/Reports 2026/report-january.pdf"));
    touch(home, QStringLiteral("Documents/Reports 2026/report-february.pdf"));
    touch(home, QStringLiteral("Documents/Reports 2026/report-march.odt"));
    touch(home, QStringLiteral("Documents/Taxes/Annual Report 2025.ods"));
    touch(home, QStringLiteral("Projects/trovix/src/reporter.cpp"));
    touch(home, QStringLiteral("Projects/trovix/src/reporter.h"));
    touch(home, QStringLiteral("Projects/trovix/docs/bug-report-template.md"));
    touch(home, QStringLiteral("Pictures/Holidays/reportage-01.png"));
    touch(home, QStringLiteral("Music/notes.txt"));
    QDir().mkpath(home + QStringLiteral("/Documents/Reports 2026/Drafts"));

    // Two folders chosen earlier, offered in the scope menu; the home folder is the scope.
    ScopeDirManager::sharedInstance()->proposeSelectionWithDirPath(home + QStringLiteral("/Projects/trovix"));
    ScopeDirManager::sharedInstance()->proposeSelectionWithDirPath(home + QStringLiteral("/Documents/Reports 2026"));
    ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionHome, std::monostate());
    bool ok = true;
    {
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        DocumentWindowController &controller = *delegate.documentWindowControllers().first();
        ok = QTest::qWaitForWindowExposed(controller.window()) && ok;
        ok = save(&controller, out + QStringLiteral("/window-collapsed.png")) && ok;

        QTest::keyClicks(controller.mSearchField(), QStringLiteral("rep"));
        QTest::keyClick(controller.mSearchField(), Qt::Key_Return);
        kztest::waitUntil([&] { return controller.searchObject() && !controller.searchObject()->isSearching(); });
        controller.window()->resize(720, 440);
        ok = save(&controller, out + QStringLiteral("/window-grouped-results.png")) && ok;
        DocumentWindowController::searchQueue()->waitForDone();
        ok = saveScopeMenu(&controller, out + QStringLiteral("/window-scope-menu.png")) && ok;

        // A window without a scope folder shows the assistant.
        delegate.mi_file_newWindow();
        DocumentWindowController &fresh = *delegate.documentWindowControllers().last();
        ok = QTest::qWaitForWindowExposed(fresh.window()) && ok;
        fresh.showAssistant();
        fresh.window()->resize(600, 350);
        ok = save(&fresh, out + QStringLiteral("/window-assistant.png")) && ok;

        ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionPath,
                                                            home + QStringLiteral("/Removed Folder"));
        fresh.scopeDirChooserAction({{QStringLiteral("kind"), 1}});
        fresh.window()->resize(600, 350);
        ok = save(&fresh, out + QStringLiteral("/window-no-access.png")) && ok;
    }
    return ok ? 0 : 1;
}
