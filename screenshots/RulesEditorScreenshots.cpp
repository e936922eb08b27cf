// Takes the screenshots of the rules editor for the documentation, on the
// display it is given (a private Xvfb: scripts/screenshots.sh rules-editor):
// the search window with one rule row of each kind, and the same window with
// the folders row's menu and the kind row's type menu open. Refuses to write
// anything when no font is installed.
//
//   rules_editor_screenshots OUTPUT_DIR
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include "app/DocumentWindow.h"
#include "app/DocumentWindowController.h"
#include "rules/KZCriteriaMenus.h"
#include "rules/widgets/KZRuleEditorRowView.h"
#include "rules/widgets/KZRulesEditorView.h"
#include "rules/widgets/RulesDirPathView.h"
#include "scope/ScopeDirManager.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    const QString out = kztest::screenshotOutputDir(argc, argv, "rules_editor_screenshots");
    if (out.isNull())
        return 1;
    const QString home = QDir::homePath();
    for (const char *rel : {"Documents", "Projects/trovix", "Pictures"})
        QDir().mkpath(home + QLatin1Char('/') + QString::fromUtf8(rel));

    ScopeDirManager::sharedInstance()->setSelectionKind(ScopeDirManager::SelectionPath, home);
    bool ok = true;
    {
        DocumentWindowController controller;
        controller.showWindowAnimated();
        ok = QTest::qWaitForWindowExposed(controller.window()) && ok;
        controller.window()->activateWindow();

        RulesEditorViewController *rules = controller.rulesEditorViewController();
        const QStringList types = kzStandardTypeIdentifiers();
        const QVariantList criteria{
            kztest::criterion(5, 15, QStringLiteral("3|1")),
            kztest::criterion(4, 9, QDate(2026, 11, 30).startOfDay()),
            kztest::criterion(3, 4, types.value(1, types.value(0))),
            kztest::criterion(6, 0, QStringLiteral("Red")),
            kztest::criterion(2, 7, qint64(5) * 1024 * 1024),
            kztest::criterion(1, 1, QStringLiteral("report")),
            kztest::criterion(8, 13, QStringLiteral("user.xdg.origin.url")),
            kztest::criterion(10, 4, QStringList{home + QStringLiteral("/Documents"), home + QStringLiteral("/Projects")}),
        };
        QString error;
        const auto rows = rules->rowsFromCanonizedCriteria(criteria, &error);
        if (!rows) {
            std::fprintf(stderr, "rows: %s\n", qPrintable(error));
            return 1;
        }
        rules->reloadDataWithScopeDir(home, *rows);
        controller.window()->resize(760, controller.window()->height());
        QTest::qWait(400);
        ok = kztest::saveScreenshot(controller.window()->grab(), out + QStringLiteral("/rules-editor-all-kinds.png")) && ok;

        // The folders row's menu, open.
        KZRulesEditorView *editor = controller.rulesEditorView();
        RulesDirPathWidgetController *folders = nullptr;
        for (const KZRuleRowRef &row : editor->criteria()) {
            if (auto *c = dynamic_cast<RulesDirPathWidgetController *>(row->items.at(2)->viewController().get()))
                folders = c;
        }
        if (!folders) {
            std::fprintf(stderr, "no folders row\n");
            return 1;
        }
        // One folder checked, one not, so that both states show.
        if (folders->paths().size() > 1)
            folders->toggleEntry(folders->paths().at(1));
        QPixmap menuShot;
        QTimer::singleShot(600, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            const QRect window = controller.window()->frameGeometry();
            QRect area = window;
            if (menu)
                area = area.united(menu->geometry());
            menuShot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            if (menu)
                menu->close();
        });
        folders->popMenu()->showMenu();
        ok = kztest::saveScreenshot(menuShot, out + QStringLiteral("/rules-editor-folders-menu.png")) && ok;

        // The kind row's type menu, open.
        KZRuleEditorRow_PopUpButton *kinds = nullptr;
        for (auto *popUp : editor->findChildren<KZRuleEditorRow_PopUpButton *>())
            if (popUp->findText(kzTypeMenuTitle(QStringLiteral("*/*"))) >= 0)
                kinds = popUp;
        if (!kinds) {
            std::fprintf(stderr, "no kind pop-up\n");
            return 1;
        }
        kinds->showPopup();
        QTest::qWait(500);
        QRect area = controller.window()->frameGeometry();
        if (QWidget *popup = QApplication::activePopupWidget())
            area = area.united(popup->geometry());
        const QPixmap kindShot =
            QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        kinds->hidePopup();
        ok = kztest::saveScreenshot(kindShot, out + QStringLiteral("/rules-editor-kind-menu.png")) && ok;
        DocumentWindowController::searchQueue()->waitForDone();
    }
    return ok ? 0 : 1;
}
