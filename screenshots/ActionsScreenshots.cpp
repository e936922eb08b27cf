// Takes the screenshots of the results' context menu for the documentation,
// on the display it is given (a private Xvfb: scripts/screenshots.sh actions):
// the menu opened on a file, and its "Open With" submenu listing two
// applications registered in the program's private XDG data folder.
//
//   actions_screenshots OUTPUT_DIR
#include <sys/stat.h>
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "engine/KZFileSearchObject.h"
#include "platform/KZPosixFS.h"
#include "results/KZFinderFileIcon.h"
#include "results/ResultsListModel.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsListViewController.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

QString touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("x");
    return path;
}

void registerApplication(const QString &dir, const char *id, const char *name, const char *icon)
{
    QFile desktop(dir + QLatin1Char('/') + QLatin1String(id) + QStringLiteral(".desktop"));
    if (desktop.open(QIODevice::WriteOnly))
        desktop.write("[Desktop Entry]\nType=Application\nName=" + QByteArray(name) + "\nIcon=" + QByteArray(icon) +
                      "\nExec=true %f\nMimeType=text/plain;\n");
}

// The window with the menu (and its open submenus) around it.
bool saveMenu(QWidget *window, QMenu *menu, const QString &path)
{
    QTest::qWait(400);
    QRect area = window->frameGeometry().united(menu->geometry());
    for (QMenu *m : menu->findChildren<QMenu *>())
        if (m->isVisible())
            area = area.united(m->geometry());
    area = area.adjusted(-8, -8, 8, 8);
    return kztest::saveScreenshot(window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()), path);
}

} // namespace

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    const QString out = kztest::screenshotOutputDir(argc, argv, "actions_screenshots");
    if (out.isNull())
        return 1;
    KZFinderFileIcon::ensureIconTheme();
    const QString apps = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/applications");
    QDir().mkpath(apps);
    registerApplication(apps, "org.example.TextEditor", "Text Editor", "accessories-text-editor");
    registerApplication(apps, "org.example.Notes", "Notes", "text-x-generic");
    QProcess::execute(QStringLiteral("update-desktop-database"), {apps});

    const QString home = QDir::homePath() + QStringLiteral("/Documents");
    FileSearchResultList results;
    for (const char *name : {"Report.txt", "report-january.pdf", "report-february.pdf", "Reports 2026"}) {
        const QString path = home + QLatin1Char('/') + QLatin1String(name);
        if (QByteArray(name).contains('.'))
            touch(path);
        else
            QDir().mkpath(path);
        kzplatform::KZStat st;
        kzplatform::kzLstat(QFile::encodeName(path).constData(), &st);
        results.append(FileSearchResult::initWithPath(QFile::encodeName(path).constData(), S_ISDIR(st.mode) ? 'D' : 'F', st));
    }
    KZFileSearchObject session;
    ResultsListViewController controller;
    QWidget *window = controller.view();
    window->resize(520, 300);
    window->show();
    bool ok = QTest::qWaitForWindowExposed(window);
    controller.updateUI(home, &session);
    controller.not_fileSearchObjectDidUpdated(&session, {{QStringLiteral("kind"), 1}, {QStringLiteral("results"), QVariant::fromValue(results)}});
    controller.flushPendingRows();
    controller.mTableView()->selectRow(0);

    QMenu menu(QStringLiteral("TableViewRightMenu"));
    controller.setClickedRow(0);
    controller.menuNeedsUpdate(&menu);
    const QRect row = controller.mTableView()->visualRect(controller.model()->index(0, 0));
    menu.popup(controller.mTableView()->viewport()->mapToGlobal(row.center()));
    ok = saveMenu(window, &menu, out + QStringLiteral("/results-context-menu.png")) && ok;
    QAction *openWith = nullptr;
    for (QAction *a : menu.actions())
        if (a->menu())
            openWith = a;
    if (openWith) {
        menu.setActiveAction(openWith);
        QTest::keyClick(&menu, Qt::Key_Right);
    }
    ok = openWith && saveMenu(window, &menu, out + QStringLiteral("/results-open-with.png")) && ok;
    menu.close();
    return ok ? 0 : 1;
}
