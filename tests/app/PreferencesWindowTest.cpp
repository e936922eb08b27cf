#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QToolButton>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QTableView>
#include <QUrl>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "app/KZAppInLoginItem.h"
#include "app/KZHotKey.h"
#include "app/PreferencesWindowController.h"
#include "platform/KZSharedLoginItems.h"
#include "scope/ScopeDirManager.h"
#include "support/KZHotKeyRepresentation.h"
#include "support/KZUserDefaults.h"
#include "tests/app/HotKeyTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

using kzplatform::KZSharedLoginItems;

namespace {

class PreferencesWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kztest::resetTestEnvironment();
        ScopeDirManager::resetSharedInstanceForTesting();
        center.reset(kztest::newX11Center());
        prefs = std::make_unique<PreferencesWindowController>(center.get());
    }
    void TearDown() override
    {
        prefs.reset();
        center.reset();
        ScopeDirManager::resetSharedInstanceForTesting();
        KZAppInLoginItem::setExecutablePathForTesting(QString());
    }
    QAbstractItemModel *model() const { return prefs->excludedTableView()->model(); }
    QStringList titles() const
    {
        QStringList out;
        for (int r = 0; r < model()->rowCount(); ++r)
            out.append(model()->index(r, 1).data().toString());
        return out;
    }
    bool drop(const QStringList &paths)
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString &p : paths)
            urls.append(QUrl::fromLocalFile(p));
        mime.setUrls(urls);
        return model()->dropMimeData(&mime, Qt::CopyAction, 0, 0, QModelIndex());
    }
    QString trovixFind(const QString &scope)
    {
        QProcess find;
        find.start(QStringLiteral(TROVIX_FIND_PATH), {QStringLiteral("--scope"), scope, QStringLiteral("target")});
        EXPECT_TRUE(find.waitForFinished(20000));
        return QString::fromUtf8(find.readAllStandardOutput());
    }

    std::unique_ptr<KZHotKeyCenter> center;
    std::unique_ptr<PreferencesWindowController> prefs;
    kztest::TempTree tree;
};

TEST_F(PreferencesWindowTest, ExcludedFoldersShowDropAddAndSwitchOff)
{
    const QString home = QDir::cleanPath(ScopeDirManager::homeDirPath());
    QDir(home).mkpath(QStringLiteral("Projects/build"));
    ScopeDirManager::sharedInstance()->addExcludedDir(home);
    ScopeDirManager::sharedInstance()->addExcludedDir(home + QStringLiteral("/Projects/build"));
    prefs->updateUIExcludedDirs();
    EXPECT_EQ(titles(), (QStringList{home, QStringLiteral("~/Projects/build")}));

    // Only the folder of a mixed drop is taken; files alone make the drop fail.
    const QString a = tree.mkdir(QStringLiteral("a"));
    tree.writeFile(QStringLiteral("a/target.txt"));
    const QString f1 = tree.writeFile(QStringLiteral("one.txt")), f2 = tree.writeFile(QStringLiteral("two.txt"));
    EXPECT_TRUE(drop({f1, a, f2}));
    EXPECT_FALSE(drop({f1, f2}));
    EXPECT_EQ(titles().mid(2), QStringList{a});
    EXPECT_FALSE(trovixFind(tree.root()).contains(QStringLiteral("a/target.txt")));

    // Unchecked: still listed, and the next search walks the folder again.
    ASSERT_TRUE(model()->setData(model()->index(2, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(titles().size(), 3);
    EXPECT_EQ(model()->index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_TRUE(trovixFind(tree.root()).contains(QStringLiteral("a/target.txt")));

    // The add panel starts at home and takes several folders, hidden ones too.
    const QString x = tree.mkdir(QStringLiteral("p/x")), y = tree.mkdir(QStringLiteral("p/.y"));
    prefs->show();
    prefs->excludedAddButton()->click();
    QFileDialog *panel = prefs->addPanel();
    ASSERT_TRUE(panel && panel->isVisible());
    EXPECT_EQ(panel->directory().absolutePath(), QDir(home).absolutePath());
    panel->setDirectory(tree.path(QStringLiteral("p")));
    auto *list = panel->findChild<QListView *>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    ASSERT_TRUE(kztest::waitUntil([&] { return list->model()->rowCount(list->rootIndex()) == 2; }));
    for (int r = 0; r < 2; ++r)
        list->selectionModel()->select(list->model()->index(r, 0, list->rootIndex()), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    static_cast<QDialog *>(panel)->accept();
    QStringList got = titles().mid(3);
    got.sort();
    EXPECT_EQ(got, (QStringList{y, x}));
}

TEST_F(PreferencesWindowTest, ShortcutAndUsageReportSwitchesAreStoredAndApplied)
{
    constexpr quint64 kF5 = 96, kSpace = 49, kCtrlAlt = KZModifierControl | KZModifierOption;
    // The key held under tag 1, -1 when none.
    auto tagOneKey = [&] {
        for (KZHotKey *k : center->hotKeys())
            if (k->tag() == 1)
                return qint64(k->keyCode());
        return qint64(-1);
    };
    // As at launch: the saved shortcut is held; then the user records another.
    KZHotKeyRepresentation(kF5, kCtrlAlt, true).saveToUserDefaults();
    center->tryToRegisterHotKeyRepresentation(KZHotKeyRepresentation::hotKeyRepresentationFromUserDefaults(), 1);
    ASSERT_EQ(tagOneKey(), qint64(kF5));
    prefs = std::make_unique<PreferencesWindowController>(center.get());
    std::vector<bool> told;
    prefs->setHotKeyRegisteredHandler([&](bool registered) { told.push_back(registered); });
    ASSERT_TRUE(prefs->hotKeyButton()->isChecked());
    prefs->show();
    prefs->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(prefs.get()));
    QTest::mouseClick(prefs->hotKeyField(), Qt::LeftButton);
    QTest::keyClick(prefs->hotKeyField(), Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(kztest::waitUntil([&] { return tagOneKey() == qint64(kSpace); }, 4000));
    told.clear();
    for (bool on : {false, true}) {
        prefs->hotKeyButton()->click();
        const auto saved = KZHotKeyRepresentation::hotKeyRepresentationFromUserDefaults();
        ASSERT_TRUE(saved.has_value());
        EXPECT_EQ(saved->isEnabled(), on);
        EXPECT_EQ(saved->keyCode(), kSpace);
        EXPECT_EQ(tagOneKey(), on ? qint64(kSpace) : -1);
        EXPECT_EQ(told, std::vector<bool>{on});
        told.clear();
    }

    // The usage-report switch is on by default and a click turns it off for
    // the next window too.
    EXPECT_TRUE(prefs->usageReportButton()->isChecked());
    prefs->usageReportButton()->click();
    EXPECT_FALSE(KZUserDefaults::standardUserDefaults().boolForKey(QStringLiteral("KZAnalytics-Enabled"), true));
    prefs = std::make_unique<PreferencesWindowController>(center.get());
    EXPECT_FALSE(prefs->usageReportButton()->isChecked());
}

// The autostart entries of this executable, judged and repaired through the
// preferences' check box.
TEST_F(PreferencesWindowTest, LoginItemStatesAndRepairs)
{
    const QString self = tree.writeFile(QStringLiteral("my bin$/trovix"));
    const QString other = tree.writeFile(QStringLiteral("other/trovix"));
    const QString gone = tree.path(QStringLiteral("gone/trovix"));
    KZAppInLoginItem::setExecutablePathForTesting(self);
    auto entry = [](const QString &name, const QString &exec) {
        return QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=\"%2\" --background\n")
            .arg(name, QString(exec).replace(QLatin1Char('$'), QLatin1String("\\\\$")))
            .toUtf8();
    };
    const QByteArray mine = entry(QStringLiteral("Trovix"), self);
    const QByteArray malformed = "Exec=trovix\n[Desktop Entry\x01\n";
    const QByteArray bystander = entry(QStringLiteral("Other"), gone);
    const QString ours = KZSharedLoginItems::entryFileName();
    enum Action { Keep, Click };
    struct Row {
        const char *name;
        std::map<QString, QByteArray> files;
        int before;
        Action action;
        int after;
        QStringList left;
    } rows[] = {
        {"no entry", {}, 0, Keep, 0, {}},
        {"ours", {{ours, mine}}, 1, Keep, 1, {ours}},
        {"same name, other program: add repairs",
         {{QStringLiteral("Trovix.desktop"), entry(QStringLiteral("Trovix"), other)},
          {QStringLiteral("z.desktop"), bystander}},
         -1, Click, 1, {ours, QStringLiteral("z.desktop")}},
        {"same name, missing program: add repairs",
         {{QStringLiteral("t.desktop"), entry(QStringLiteral("trovix"), gone)}}, -1, Click, 1, {ours}},
        {"ours and a stale one: remove deletes both",
         {{ours, mine}, {QStringLiteral("trovix.desktop"), entry(QStringLiteral("X"), gone)}}, 1, Click, 0, {}},
        {"malformed left alone", {{ours, malformed}}, -1, Click, -1, {ours}},
    };
    const QString folder = KZSharedLoginItems::autostartFolder();
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        for (const auto &[name, text] : r.files) {
            QFile f(folder + QLatin1Char('/') + name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
        }
        prefs->showLoginItemStatus();
        EXPECT_EQ(KZAppInLoginItem::loginItemStatus(), r.before);
        if (r.action == Click)
            prefs->relaunchOnLoginButton()->click();
        EXPECT_EQ(KZAppInLoginItem::loginItemStatus(), r.after);
        EXPECT_EQ(prefs->relaunchOnLoginButton()->checkState(),
                  r.after == 1 ? Qt::Checked : r.after == -1 ? Qt::PartiallyChecked : Qt::Unchecked);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name), r.left);
        QFile written(folder + QLatin1Char('/') + ours);
        if (written.open(QIODevice::ReadOnly)) {
            const QByteArray text = written.readAll();
            if (r.files.count(ours) && r.files.at(ours) == malformed)
                EXPECT_EQ(text, malformed);
            else
                EXPECT_EQ(KZSharedLoginItems::execProgramOfEntry(text), self);
        }
    }
}

} // namespace
