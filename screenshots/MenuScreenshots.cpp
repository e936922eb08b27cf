// Takes the screenshots of the search window's menus for the documentation, on
// the display it is given (a private Xvfb: scripts/screenshots.sh menus): File,
// Edit, View and Help, each open over a window with a result selected.
//
//   menus_screenshots OUTPUT_DIR
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <QThreadPool>

#include "app/AppDelegate.h"
#include "app/DocumentWindow.h"
#include "app/DocumentWindowController.h"
#include "engine/KZFileSearchObject.h"
#include "results/KZFinderFileIcon.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsListViewController.h"
#include "results/ResultsViewController.h"
#include "scope/ScopeDirManager.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    const QString out = kztest::screenshotOutputDir(argc, argv, "menus_screenshots");
    if (out.isNull())
        return 1;
    KZFinderFileIcon::ensureIconTheme();
    const QString home = QDir::homePath();
    for (const char *rel : {"Documents/Report.txt", "Documents/report-january.pdf", "Projects/reporter.cpp"}) {
        const QString path = home + QLatin1Char('/') + QLatin1String(rel);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("x");
    }
    ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionHome, std::monostate());

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    DocumentWindowController &controller = *delegate.documentWindowControllers().first();
    bool ok = QTest::qWaitForWindowExposed(controller.window());
    controller.window()->activateWindow();
    QTest::keyClicks(controller.mSearchField(), QStringLiteral("rep"));
    QTest::keyClick(controller.mSearchField(), Qt::Key_Return);
    kztest::waitUntil([&] { return controller.searchObject() && !controller.searchObject()->isSearching(); });
    controller.window()->resize(640, 400);
    QTest::qWait(300);
    ResultsListViewController *list = controller.resultsViewController()->resultsListViewController();
    list->mTableView()->setFocus();
    list->mTableView()->selectRow(1);

    const struct {
        int index;
        const char *file;
    } menus[] = {{0, "menu-file.png"}, {1, "menu-edit.png"}, {2, "menu-view.png"}, {3, "menu-help.png"}};
    QMenuBar *bar = controller.window()->menuBar();
    for (const auto &[index, file] : menus) {
        QAction *title = bar->actions().value(index);
        if (!title || !title->menu()) {
            ok = false;
            continue;
        }
        bar->setActiveAction(title);
        QTest::qWait(400);
        QMenu *menu = title->menu();
        const QRect area = controller.window()->frameGeometry().united(menu->geometry()).adjusted(-8, -8, 8, 8);
        ok = kztest::saveScreenshot(controller.window()->screen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                                              area.height()),
                                    out + QLatin1Char('/') + QLatin1String(file)) && ok;
        menu->close();
        QTest::qWait(100);
    }
    DocumentWindowController::searchQueue()->waitForDone();
    return ok ? 0 : 1;
}
