// Takes the screenshots of the rules editor for the documentation, on the
// display it is given (a private Xvfb: scripts/rules-editor-screenshots.sh):
// the search window with one rule row of each kind, and the same window with
// the folders row's menu open. Refuses to write anything when no font is
// installed.
//
//   rules_editor_screenshots OUTPUT_DIR
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
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
#include "rules/widgets/KZRulesEditorView.h"
#include "rules/widgets/RulesDirPathView.h"
#include "scope/ScopeDirManager.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

bool savePixmap(const QPixmap &shot, const QString &path)
{
    if (shot.isNull() || !shot.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %dx%d\n", qPrintable(path), shot.width(), shot.height());
    return true;
}

QVariantMap criterion(int kind, int op, const QVariant &value = QVariant())
{
    QVariantMap map{{QStringLiteral("kind"), kind}, {QStringLiteral("operator"), op}};
    if (value.isValid())
        map.insert(QStringLiteral("value"), value);
    return map;
}

} // namespace

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: rules_editor_screenshots OUTPUT_DIR\n");
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    if (QFontDatabase::families().isEmpty() || QFontInfo(QApplication::font()).family().isEmpty()) {
        std::fprintf(stderr, "no font installed: install fonts-dejavu-core (scripts/setup.sh)\n");
        return 1;
    }
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
            criterion(5, 15, QStringLiteral("3|1")),
            criterion(4, 9, QDate(2026, 11, 30).startOfDay()),
            criterion(3, 4, types.value(1, types.value(0))),
            criterion(6, 0, QStringLiteral("Red")),
            criterion(2, 7, qint64(5) * 1024 * 1024),
            criterion(1, 1, QStringLiteral("report")),
            criterion(8, 13, QStringLiteral("user.xdg.origin.url")),
            criterion(10, 4, QStringList{home + QStringLiteral("/Documents"), home + QStringLiteral("/Projects")}),
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
        ok = savePixmap(controller.window()->grab(), out + QStringLiteral("/rules-editor-all-kinds.png")) && ok;

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
        ok = savePixmap(menuShot, out + QStringLiteral("/rules-editor-folders-menu.png")) && ok;
        DocumentWindowController::searchQueue()->waitForDone();
    }
    return ok ? 0 : 1;
}
