// The commands on results: the table's context menu, "Open With" through GIO
// with desktop files of the test's own XDG data folder, the file manager as a
// service on the test's private session bus, the freedesktop Trash of the test
// home (on a real disk), the clipboard, and the command keys. The XDG folders
// stay the same for the whole program: GIO reads them once.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <mutex>

#include <gtest/gtest.h>

#include "engine/KZFileSearchObject.h"
#include "platform/KZPosixFS.h"
#include "results/KZFileViewer.h"
#include "results/KZFinderTools.h"
#include "results/ResultsListModel.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsListViewController.h"
#include "tests/testlib/OpenedUrls.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

const QString kService = QStringLiteral("org.freedesktop.FileManager1");
const QString kPath = QStringLiteral("/org/freedesktop/FileManager1");

// A file manager that records each call and answers it at once, or, when
// silent, leaves the answer to the test. Lives on its own thread, so a GUI
// thread stuck in a call cannot hold it up.
class RecordingFileManager : public QDBusVirtualObject
{
public:
    std::atomic<bool> silent = false;
    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.append(message);
        if (!silent)
            connection.send(message.createReply());
        return true;
    }
    QList<QDBusMessage> takeCalls()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(calls, {});
    }
    // "member url,url" per call.
    QStringList take()
    {
        QStringList out;
        for (const QDBusMessage &m : takeCalls())
            out.append(m.member() + QLatin1Char(' ') + m.arguments().value(0).toStringList().join(QLatin1Char(',')));
        return out;
    }

private:
    std::mutex mutex;
    QList<QDBusMessage> calls;
};

class ResultActionsTest : public ::testing::Test
{
protected:
    // The user folders as configured, before anything reads them.
    static void SetUpTestSuite()
    {
        const QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
        QDir().mkpath(config);
        QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
        if (dirs.open(QIODevice::WriteOnly))
            dirs.write("XDG_DOWNLOAD_DIR=\"$HOME/Incoming\"\n");
    }
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
        thread.start();
        manager.moveToThread(&thread);
        ASSERT_TRUE(bus.registerVirtualObject(kPath, &manager, QDBusConnection::SingleNode));
        ASSERT_TRUE(bus.registerService(kService));
        ASSERT_TRUE(kztest::waitUntil([] { return KZFileViewer::hasFileManager(); }));
        controller.view()->resize(600, 400);
        controller.view()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(controller.view()));
    }
    void TearDown() override
    {
        bus.unregisterService(kService);
        bus.unregisterObject(kPath);
        thread.quit();
        thread.wait();
    }

    // Lists the paths as the list's rows, in this order: plain rows for
    // entries of the tree's root and lone entries elsewhere.
    void show(const QStringList &paths)
    {
        FileSearchResultList batch;
        for (const QString &path : paths) {
            const QByteArray bytes = QFile::encodeName(path);
            kzplatform::KZStat st;
            EXPECT_EQ(kzplatform::kzLstat(bytes.constData(), &st), 0) << path.toStdString();
            batch.append(FileSearchResult::initWithPath(bytes.constData(), S_ISDIR(st.mode) ? 'D' : 'F', st));
        }
        controller.updateUI(tree.root(), &session);
        controller.not_fileSearchObjectDidUpdated(&session, {{QStringLiteral("kind"), 1}, {QStringLiteral("results"), QVariant::fromValue(batch)}});
        controller.flushPendingRows();
    }
    void select(const QList<int> &rows)
    {
        controller.mTableView()->clearSelection();
        for (int row : rows)
            controller.mTableView()->selectionModel()->select(controller.model()->index(row, 0),
                                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // The menu opened on clickedRow: one entry per item, "-" for a separator,
    // a disabled item in brackets.
    QStringList openMenu(int clickedRow)
    {
        menu = std::make_unique<QMenu>(QStringLiteral("TableViewRightMenu"));
        controller.setClickedRow(clickedRow);
        controller.menuNeedsUpdate(menu.get());
        QStringList items;
        for (QAction *a : menu->actions())
            items.append(a->isSeparator() ? QStringLiteral("-") : a->isEnabled() ? a->text() : QLatin1Char('[') + a->text() + QLatin1Char(']'));
        return items;
    }
    QAction *item(const QString &text) const
    {
        for (QAction *a : menu->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }

    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("file-manager"));
    QThread thread;
    RecordingFileManager manager;
    kztest::TempTree tree;
    KZFileSearchObject session;
    ResultsListViewController controller;
    std::unique_ptr<QMenu> menu;
};

const QStringList kColumns{QStringLiteral("Date Modified (Automatic)"), QStringLiteral("Date Created (Automatic)"),
                           QStringLiteral("File Size (Automatic)")};

QStringList fileItems(bool oneTarget, bool withFolder)
{
    QStringList items{QStringLiteral("Open"), oneTarget ? QStringLiteral("Open With") : QStringLiteral("[Open With]"),
                      QStringLiteral("-"), QStringLiteral("Show in File Manager"), QStringLiteral("Properties"),
                      QStringLiteral("Quick Look"), QStringLiteral("-"), QStringLiteral("Show Details"),
                      QStringLiteral("Show Metadata"), QStringLiteral("-"), QStringLiteral("Copy Path")};
    if (withFolder)
        items.append(QStringLiteral("Calculate Size"));
    return items << QStringLiteral("-") << QStringLiteral("Move to Trash") << QStringLiteral("-") << kColumns;
}

} // namespace

TEST_F(ResultActionsTest, MenuItemsFollowTheTargetRows)
{
    QStringList many;
    for (int i = 0; i < 250; ++i)
        many.append(tree.writeFile(QStringLiteral("m%1.txt").arg(i)));
    show(QStringList{tree.writeFile(QStringLiteral("a.txt"), "a"), tree.mkdir(QStringLiteral("dir")),
                     tree.writeFile(QStringLiteral("b.txt"), "b")} + many);
    struct Case {
        const char *what;
        QList<int> selection;
        int clicked;
        QStringList expected;
        QList<int> rowCanBeSelected;
    };
    QList<int> all;
    for (int i = 3; i < 253; ++i)
        all.append(i);
    const QList<Case> cases{
        {"one file", {0}, 0, fileItems(true, false), {}},
        {"one folder", {}, 1, fileItems(true, true), {1}},
        {"a file and a folder", {0, 1}, 1, fileItems(false, true), {}},
        {"250 rows", all, 3, kColumns, {}},
        {"outside a two-row selection", {0, 1}, 2, fileItems(true, false), {2}},
        {"no row", {0}, -1, kColumns, {}},
    };
    for (const Case &c : cases) {
        select(c.selection);
        EXPECT_EQ(openMenu(c.clicked), c.expected) << c.what;
        EXPECT_EQ(controller.rowCanBeSelected(), c.rowCanBeSelected) << c.what;
    }
    // A real right-click on the folder row: the table opens the menu for that row.
    int shown = 0;
    QTimer::singleShot(200, [&] {
        if (auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            shown = int(popup->actions().size());
            popup->close();
        }
    });
    QWidget *viewport = controller.mTableView()->viewport();
    const QPoint folderRow = controller.mTableView()->visualRect(controller.model()->index(1, 0)).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, folderRow, viewport->mapToGlobal(folderRow));
    QApplication::sendEvent(viewport, &rightClick);
    EXPECT_EQ(shown, fileItems(true, true).size());
    EXPECT_EQ(controller.rowCanBeSelected(), QList<int>{1});
    openMenu(1);
    item(QStringLiteral("Calculate Size"))->trigger();
    EXPECT_TRUE(controller.isCalculatedDirSize(tree.path(QStringLiteral("dir"))));

    // Quick Look from the menu opened outside the selection selects that row first.
    select({0, 1});
    openMenu(2);
    item(QStringLiteral("Quick Look"))->trigger();
    EXPECT_EQ(controller.selectedRows(), QList<int>{2});

    // A column cycles on, off, automatic. (The details items are tried in the details pane test.)
    QStringList states;
    for (int i = 0; i < 4; ++i) {
        const QStringList items = openMenu(0);
        QAction *size = menu->actions().last();
        states.append(size->text() + QLatin1Char(' ') + QString::number(size->property("state").toInt()) +
                      (size->isChecked() ? QStringLiteral(" checked") : QString()));
        size->trigger();
    }
    EXPECT_EQ(states, QStringList({QStringLiteral("File Size (Automatic) -1"), QStringLiteral("File Size 1 checked"),
                                   QStringLiteral("File Size 0"), QStringLiteral("File Size (Automatic) -1")}));
}

TEST_F(ResultActionsTest, OpenWithListsTheApplicationsOfTheTypeAndLaunchesOne)
{
    const QString apps = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/applications");
    QDir().mkpath(apps);
    const QString copy = tree.path(QStringLiteral("copied.txt"));
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    const QString iconPath = tree.path(QStringLiteral("pad.png"));
    ASSERT_TRUE(icon.save(iconPath));
    for (const char *name : {"Alpha Pad", "Beta Pad"}) {
        QFile desktop(apps + QStringLiteral("/trovix-test-") + QString::fromLatin1(name).left(4).toLower() + QStringLiteral(".desktop"));
        ASSERT_TRUE(desktop.open(QIODevice::WriteOnly));
        desktop.write("[Desktop Entry]\nType=Application\nName=" + QByteArray(name) + "\nIcon=" + QFile::encodeName(iconPath) + "\nExec=cp %f " +
                      QFile::encodeName(copy) + "\nMimeType=text/plain;\n");
    }
    ASSERT_EQ(QProcess::execute(QStringLiteral("update-desktop-database"), {apps}), 0);
    show({tree.writeFile(QStringLiteral("notes.txt"), "the notes"), tree.writeFile(QStringLiteral("blob.trovix-unknown"), QByteArray("\x01\x02\x00\x03", 4))});
    auto submenu = [&](int row) {
        openMenu(row);
        QMenu *sub = item(QStringLiteral("Open With"))->menu();
        menu->setActiveAction(item(QStringLiteral("Open With")));
        controller.menuNeedsUpdate(sub);
        return sub;
    };
    QMenu *sub = submenu(0);
    QStringList titles;
    for (QAction *a : sub->actions())
        titles.append(a->text());
    EXPECT_TRUE(titles.contains(QStringLiteral("Alpha Pad")) && titles.contains(QStringLiteral("Beta Pad"))) << titles.join(QLatin1Char(',')).toStdString();
    for (QAction *a : sub->actions())
        if (a->text() == QStringLiteral("Beta Pad")) {
            EXPECT_FALSE(a->icon().isNull());
            a->trigger();
        }
    EXPECT_TRUE(kztest::waitUntil([&] { return QFile::exists(copy); }));
    sub = submenu(1);
    ASSERT_EQ(sub->actions().size(), 1);
    EXPECT_EQ(sub->actions().first()->text(), QStringLiteral("<None>"));
    EXPECT_FALSE(sub->actions().first()->isEnabled());
}

TEST_F(ResultActionsTest, FileManagerCommandsAndTheirFallback)
{
    const QString a = tree.writeFile(QStringLiteral("a b.txt")), b = tree.writeFile(QStringLiteral("sub/b.txt"));
    show({a, b});
    const QString ua = QUrl::fromLocalFile(a).toString(QUrl::FullyEncoded), ub = QUrl::fromLocalFile(b).toString(QUrl::FullyEncoded);
    select({0, 1});
    openMenu(0);
    item(QStringLiteral("Show in File Manager"))->trigger();
    item(QStringLiteral("Properties"))->trigger();
    QStringList calls;
    kztest::waitUntil([&] { return (calls += manager.take()).size() == 3; });
    EXPECT_EQ(calls, QStringList({QStringLiteral("ShowItems ") + ua + QLatin1Char(',') + ub,
                                  QStringLiteral("ShowItemProperties ") + ua, QStringLiteral("ShowItemProperties ") + ub}));
    // The keys reach the same commands.
    controller.mTableView()->setFocus();
    QTest::keyClick(controller.mTableView(), Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(controller.mTableView(), Qt::Key_I, Qt::ControlModifier);
    calls.clear();
    kztest::waitUntil([&] { return (calls += manager.take()).size() == 3; });
    EXPECT_EQ(calls.size(), 3);

    // Without a file manager properties are disabled and say why (reveal falls
    // back to the parent folders inside KZFileViewer).
    bus.unregisterService(kService);
    ASSERT_TRUE(kztest::waitUntil([] { return !KZFileViewer::hasFileManager(); }));
    openMenu(0);
    EXPECT_FALSE(item(QStringLiteral("Properties"))->isEnabled());
    EXPECT_EQ(item(QStringLiteral("Properties"))->toolTip(), QStringLiteral("No file manager can show properties."));
    EXPECT_TRUE(item(QStringLiteral("Show in File Manager"))->isEnabled());
    // Return opens the selection; Ctrl+C copies its paths, one a line.
    kztest::OpenedUrls opened;
    QTest::keyClick(controller.mTableView(), Qt::Key_Return);
    EXPECT_EQ(opened.urls, QList<QUrl>({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)}));
    show({a, b, tree.writeFile(QStringLiteral("c.txt"))});
    select({0, 1, 2});
    QTest::keyClick(controller.mTableView(), Qt::Key_C, Qt::ControlModifier);
    const QString expected = a + QLatin1Char('\n') + b + QLatin1Char('\n') + tree.path(QStringLiteral("c.txt"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Selection), expected);
}

TEST_F(ResultActionsTest, TrashMovesOnlyWhatMayGo)
{
    const QString home = QDir::homePath();
    const QString documents = home + QStringLiteral("/Documents");
    QDir().mkpath(documents);
    const QString file = tree.writeFile(QStringLiteral("old notes.txt"), "old");
    const QString locked = tree.writeFile(QStringLiteral("locked.txt"));
    tree.chmod(QStringLiteral("locked.txt"), 0444);
    // root writes any file whose mode says no; an immutable one it cannot.
    const int fd = ::open(QFile::encodeName(locked).constData(), O_RDONLY);
    int flags = 0;
    const bool immutable = geteuid() != 0 || (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                                              (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0));
    const QString volatileFile = QStringLiteral("/dev/shm/trovix-actions-%1").arg(getpid());
    QFile(volatileFile).open(QIODevice::WriteOnly);
    const auto cleanUp = qScopeGuard([&] {
        if (geteuid() == 0 && immutable) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        ::close(fd);
        QFile::remove(volatileFile);
    });
    show({documents, file, locked, volatileFile});

    struct Case {
        QList<int> selection;
        QString trashItem; // empty: no item
        QString tooltip;
    };
    QList<Case> cases{{{0}, QString(), QString()},
                      {{3}, QStringLiteral("[Move to Trash]"), QStringLiteral("This volume has no Trash.")},
                      // A protected folder before a file that may go: never an item.
                      {{0, 1}, QString(), QString()},
                      {{1, 3}, QStringLiteral("[Move to Trash]"), QString()}};
    if (immutable)
        cases.append({{2}, QStringLiteral("[Move to Trash]"), QStringLiteral("Write Access is not allowed.")});
    for (const Case &c : cases) {
        select(c.selection);
        const QStringList items = openMenu(c.selection.first());
        const qsizetype at = items.indexOf(kColumns.first()) - 2;
        EXPECT_EQ(at >= 0 && items.at(at).contains(QStringLiteral("Trash")) ? items.at(at) : QString(), c.trashItem)
            << c.selection.first() << "," << c.selection.last();
        if (QAction *trashItem = item(QStringLiteral("Move to Trash")); trashItem && !c.trashItem.isEmpty()) {
            EXPECT_EQ(trashItem->toolTip(), c.tooltip.isEmpty() ? trashItem->text() : c.tooltip); // Qt's default is the text
        }
    }
    // Delete with the protected folder in the selection moves nothing.
    select({0, 1});
    controller.mTableView()->setFocus();
    QTest::keyClick(controller.mTableView(), Qt::Key_Delete);
    QTest::qWait(300);
    EXPECT_TRUE(QFile::exists(file) && QFile::exists(documents));

    // The file alone goes into the Trash of the home with its .trashinfo, and its row fades out.
    select({1});
    openMenu(1);
    item(QStringLiteral("Move to Trash"))->trigger();
    const QString trash = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/Trash");
    ASSERT_TRUE(kztest::waitUntil([&] { return controller.model()->index(1, 0).data(ResultsListViewController::RowOpacityRole).isValid(); }));
    EXPECT_TRUE(QFile::exists(trash + QStringLiteral("/files/old notes.txt")));
    QFile info(trash + QStringLiteral("/info/old notes.txt.trashinfo"));
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    EXPECT_TRUE(info.readAll().contains("\nPath=" + QUrl::toPercentEncoding(file, "/") + '\n'));
    ASSERT_TRUE(kztest::waitUntil([&] { return controller.objectList().size() == 3; }));
    EXPECT_EQ(controller.model()->index(1, 0).data(ResultsListViewController::PathRole).toString(), locked);
}

TEST_F(ResultActionsTest, FinderToolsStatusesLabelsAndNames)
{
    const QString home = QDir::homePath();
    for (const char *dir : {"Incoming", ".ssh", "Documents/Old"})
        QDir().mkpath(home + QLatin1Char('/') + QLatin1String(dir));
    const QList<std::tuple<QString, int, QString>> cases{
        {tree.path(QStringLiteral("missing")), 0, QStringLiteral("The file does not exist.")},
        {home, -1, QStringLiteral("Deleting user directory is not allowed.")},
        {home + QStringLiteral("/Incoming/"), -1, QStringLiteral("Deleting user directory is not allowed.")},
        {home + QStringLiteral("/.ssh"), -1, QStringLiteral("Deleting user directory is not allowed.")},
        {home + QStringLiteral("/Documents/Old"), 1, QStringLiteral("untouched")},
    };
    for (const auto &[path, status, reason] : cases) {
        QString why = QStringLiteral("untouched");
        EXPECT_EQ(KZFinderTools::trashableStatusForFile(path, 1, &why), status) << path.toStdString();
        EXPECT_EQ(why, reason) << path.toStdString();
    }

    // The first label (none) has no badge; the others are an oval of their colour.
    const QList<KZFinderTools::LabelBadge> badges = KZFinderTools::finderLabelsAsNameAndBadges();
    ASSERT_EQ(badges.size(), 7);
    EXPECT_EQ(badges.first().label, QStringLiteral("Red"));
    EXPECT_TRUE(qAlpha(badges.first().badge.pixel(0, 0)) == 0 && qRed(badges.first().badge.pixel(8, 8)) > 200);
    EXPECT_TRUE(KZFinderTools::isVolumeSystemHiddenFilename(QStringLiteral("lost+found"), 1));
    EXPECT_FALSE(KZFinderTools::isVolumeSystemHiddenFilename(QString(), 1));
    EXPECT_FALSE(KZFinderTools::displayFinderGetInfoOfPath(tree.path(QStringLiteral("missing"))));
}

// The reveal and properties calls waited on the GUI thread for the file
// manager (up to 5 s, plus 25 s for each name lookup): a silent file manager
// froze the window. The window keeps running while the call is out.
TEST_F(ResultActionsTest, ASilentFileManagerNeverStopsTheEventLoop)
{
    manager.silent = true;
    kztest::OpenedUrls opened;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    const auto nextCall = [&] {
        QList<QDBusMessage> calls;
        kztest::waitUntil([&] { return !(calls = manager.takeCalls()).isEmpty(); });
        return calls.value(0);
    };
    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/trovix-viewer/a.txt"));
    const QUrl sibling = QUrl::fromLocalFile(QStringLiteral("/tmp/trovix-viewer/b.txt"));
    const QList<QUrl> parent{QUrl::fromLocalFile(QStringLiteral("/tmp/trovix-viewer"))};
    ASSERT_TRUE(KZFileViewer::activateFileViewerSelectingURLs({file}));
    const QDBusMessage reveal = nextCall();
    ASSERT_EQ(reveal.member(), QStringLiteral("ShowItems"));
    EXPECT_EQ(reveal.arguments().value(0).toStringList(), QStringList{file.toString(QUrl::FullyEncoded)});
    const int before = ticks;
    EXPECT_TRUE(kztest::waitUntil([&] { return ticks >= before + 3; }));
    EXPECT_TRUE(opened.urls.isEmpty()) << "the fallback ran before the file manager answered";

    // An error answer: the parent folder opens instead.
    bus.send(reveal.createErrorReply(QDBusError::Failed, QStringLiteral("no window")));
    ASSERT_TRUE(kztest::waitUntil([&] { return !opened.urls.isEmpty(); }));
    EXPECT_EQ(opened.urls, parent);

    // Properties: a success is silent, an error is logged.
    kztest::LogCapture log;
    for (const bool fails : {false, true}) {
        ASSERT_TRUE(KZFileViewer::displayInfoOfURLs({file}));
        const QDBusMessage info = nextCall();
        ASSERT_EQ(info.member(), QStringLiteral("ShowItemProperties"));
        bus.send(fails ? info.createErrorReply(QDBusError::Failed, QStringLiteral("no properties")) : info.createReply());
    }
    EXPECT_TRUE(kztest::waitUntil([&] { return log.contains(QStringLiteral("no properties")); }));
    EXPECT_EQ(log.count(QStringLiteral("ShowItemProperties")), 1);
    EXPECT_FALSE(KZFileViewer::activateFileViewerSelectingURLs({}));
    EXPECT_FALSE(KZFileViewer::displayInfoOfURLs({}));

    // Without a file manager on the bus, revealing opens the parent folders
    // (each once) and properties are logged as unavailable.
    bus.unregisterService(kService);
    ASSERT_TRUE(kztest::waitUntil([] { return !KZFileViewer::hasFileManager(); }));
    opened.urls.clear();
    log.clear();
    ASSERT_TRUE(KZFileViewer::activateFileViewerSelectingURLs({file, sibling}));
    ASSERT_TRUE(kztest::waitUntil([&] { return !opened.urls.isEmpty(); }));
    ASSERT_TRUE(KZFileViewer::displayInfoOfURLs({file}));
    EXPECT_TRUE(kztest::waitUntil([&] { return log.contains(QStringLiteral("ShowItemProperties")); }));
    EXPECT_EQ(opened.urls, parent);
}
