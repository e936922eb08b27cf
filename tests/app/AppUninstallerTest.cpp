// The uninstaller on a temporary prefix shared with another program, with the
// XDG folders and the Trash of the test root.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/AppDelegate.h"
#include "app/KZAppUninstaller.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

const QStringList kRecorded = { QStringLiteral("bin/trovix"), QStringLiteral("share/applications/org.trovix.Trovix.desktop"),
                                QStringLiteral("share/trovix/installed-files") };
const QStringList kOthers = { QStringLiteral("bin/other"), QStringLiteral("share/applications/other.desktop"),
                              QStringLiteral("share/trovix/notes") };

// A prefix holding Trovix's recorded files beside another program's.
void writePrefix(kztest::TempTree &tree)
{
    for (const QString &path : kRecorded + kOthers)
        tree.writeFile(QStringLiteral("prefix/") + path, "x");
    tree.writeFile(QStringLiteral("prefix/share/trovix/installed-files"), kRecorded.join(QLatin1Char('\n')).toUtf8() + '\n');
}

// The prefix and every per-user item.
void writeInstall(kztest::TempTree &tree)
{
    writePrefix(tree);
    for (const QString &item : KZAppUninstaller::perUserItems()) {
        if (item.endsWith(QLatin1String(".desktop"))) {
            QDir().mkpath(QFileInfo(item).path());
            QFile entry(item);
            ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        } else {
            ASSERT_TRUE(QDir().mkpath(item + QStringLiteral("/inner")));
        }
    }
}

// Every name in the Trash of dataHome has its .trashinfo naming where it came from.
QStringList trashedOrigins(const QString &dataHome)
{
    QStringList origins;
    const QString trash = dataHome + QStringLiteral("/Trash");
    for (const QString &name : QDir(trash + QStringLiteral("/files")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        QFile info(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
        EXPECT_TRUE(info.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray text = info.readAll();
        const qsizetype at = text.indexOf("Path=");
        origins.append(QUrl::fromPercentEncoding(text.mid(at + 5, text.indexOf('\n', at) - at - 5)));
    }
    origins.sort();
    return origins;
}

// Answers the confirmation with the button titled answer.
void answerConfirmation(const QString &answer)
{
    QTimer::singleShot(50, [answer] {
        auto *alert = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->text(), QStringLiteral("Are you sure you want to uninstall Trovix?"));
        for (QAbstractButton *button : alert->buttons())
            if (button->text() == answer)
                button->click();
    });
}

} // namespace

TEST(AppUninstaller, MovesOnlyTheRecordedFilesAndPerUserItemsOnceConfirmed)
{
    QApplication::setApplicationName(QStringLiteral("Trovix"));
    kztest::TempTree tree;
    writeInstall(tree);
    const QString prefix = tree.path(QStringLiteral("prefix"));
    KZAppUninstaller &uninstaller = KZAppUninstaller::sharedInstance();
    uninstaller.setPrefixForTesting(prefix);
    int ends = 0;
    uninstaller.setProcessEnderForTesting([&] { ++ends; });
    QPushButton control;

    answerConfirmation(QStringLiteral("Cancel"));
    uninstaller.beginAsSheetForWindow(nullptr, { &control });
    EXPECT_FALSE(uninstaller.hasRun());
    EXPECT_TRUE(control.isEnabled());
    EXPECT_TRUE(trashedOrigins(qEnvironmentVariable("XDG_DATA_HOME")).isEmpty());

    answerConfirmation(QStringLiteral("Uninstall"));
    uninstaller.beginAsSheetForWindow(nullptr, { &control });
    EXPECT_FALSE(control.isEnabled());
    uninstaller.startUninstallApp(); // a second request while the first runs
    ASSERT_TRUE(kztest::waitUntil([&] { return ends > 0; }));
    QTest::qWait(200);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(uninstaller.nbWaitOp(), 0);

    QStringList expected = KZAppUninstaller::perUserItems();
    for (const QString &path : kRecorded)
        expected.append(prefix + QLatin1Char('/') + path);
    expected.sort();
    EXPECT_EQ(trashedOrigins(qEnvironmentVariable("XDG_DATA_HOME")), expected);
    for (const QString &path : kOthers)
        EXPECT_TRUE(QFile::exists(prefix + QLatin1Char('/') + path)) << path.toStdString();
}

// The child half of the test below: uninstalls for real, so it never returns.
TEST(AppUninstaller, ChildProcess)
{
    const QString prefix = qEnvironmentVariable("TROVIX_UNINSTALL_CHILD_PREFIX");
    if (prefix.isEmpty())
        GTEST_SKIP() << "run by ProcessEndsAfterTheLastMove";
    for (const QString &item : KZAppUninstaller::perUserItems())
        QDir().mkpath(item);
    KZAppUninstaller::sharedInstance().setPrefixForTesting(prefix);
    KZAppUninstaller::sharedInstance().startUninstallApp();
    QTest::qWait(20000);
    ADD_FAILURE() << "still running";
}

TEST(AppUninstaller, ProcessEndsAfterTheLastMove)
{
    kztest::TempTree tree;
    writePrefix(tree);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TROVIX_UNINSTALL_CHILD_PREFIX"), tree.path(QStringLiteral("prefix")));
    // The child's test root lands in our tree, and it shares our display.
    env.insert(QStringLiteral("TMPDIR"), tree.mkdir(QStringLiteral("tmp")));
    env.insert(QStringLiteral("TROVIX_TEST_DISPLAY"), qEnvironmentVariable("DISPLAY"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--gtest_filter=AppUninstaller.ChildProcess") });
    ASSERT_TRUE(child.waitForFinished(15000));
    EXPECT_TRUE(child.exitStatus() == QProcess::CrashExit || child.exitCode() == 255) << child.exitCode();

    const QStringList roots = QDir(tree.path(QStringLiteral("tmp"))).entryList({ QStringLiteral("trovix-test-*") }, QDir::Dirs);
    ASSERT_EQ(roots.size(), 1);
    const QString childRoot = tree.path(QStringLiteral("tmp/") + roots.first());
    const QStringList origins = trashedOrigins(childRoot + QStringLiteral("/data"));
    for (const QString &path : kRecorded)
        EXPECT_TRUE(origins.contains(tree.path(QStringLiteral("prefix/") + path))) << path.toStdString();
    EXPECT_TRUE(origins.contains(childRoot + QStringLiteral("/state/org.trovix.Trovix")));
}

TEST(AppUninstaller, HelpMenuOffersItOnlyWithAnUninstaller)
{
    AppDelegate delegate;
    QAction *item = delegate.uninstallAction();
    EXPECT_EQ(item->text(), QStringLiteral("Uninstall Trovix…"));
    EXPECT_FALSE(item->isVisible());
    int asked = 0;
    delegate.setUninstaller([&] { ++asked; });
    EXPECT_TRUE(item->isVisible());
    item->trigger();
    EXPECT_EQ(asked, 1);
}
