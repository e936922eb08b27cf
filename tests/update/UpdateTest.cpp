// The update checker against a real HTTP server on 127.0.0.1: version files,
// downloads, unpacking of hostile archives and the install into a prefix that
// other programs share.
#include <archive.h>
#include <archive_entry.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"
#include "update/KZCheckForUpdates.h"
#include "update/KZUpdateArchive.h"
#include "update/KZUpdateInstaller.h"
#include "update/KZUpdateVersionFile.h"

namespace
{

struct Response {
    QByteArray type = "text/plain", body;
    bool truncate = false; // announces more bytes than it sends
};

class Server : public QTcpServer
{
public:
    QMap<QString, Response> responses;
    int requests = 0;
    Server()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray head = socket->peek(8192);
                if (!head.contains("\r\n\r\n"))
                    return;
                socket->readAll();
                ++requests;
                const Response r = responses.value(QString::fromLatin1(head.split(' ').value(1)));
                socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: " + r.type + "\r\nContent-Length: "
                    + QByteArray::number(r.body.size() + (r.truncate ? 1000 : 0)) + "\r\n\r\n" + r.body);
                socket->disconnectFromHost();
            });
        });
    }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path);
    }
};

struct Entry {
    QByteArray name;
    mode_t type = AE_IFREG;
    QByteArray data; // content, or a link's target
};

QByteArray zip(const QList<Entry> &entries)
{
    QByteArray out(1 << 20, '\0');
    size_t used = 0;
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_open_memory(a, out.data(), out.size(), &used);
    for (const Entry &e : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.constData());
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, e.type == AE_IFDIR ? 0755 : 0644);
        if (e.type == AE_IFLNK)
            archive_entry_set_symlink(entry, e.data.constData());
        archive_entry_set_size(entry, e.type == AE_IFREG ? e.data.size() : 0);
        EXPECT_EQ(archive_write_header(a, entry), ARCHIVE_OK) << e.name.constData();
        if (e.type == AE_IFREG)
            archive_write_data(a, e.data.constData(), e.data.size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    out.truncate(static_cast<qsizetype>(used));
    return out;
}

// Every entry below root: its path, and its content or link target.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        files.insert(info.filePath().mid(root.size()),
            info.isSymLink() ? "-> " + info.symLinkTarget().toUtf8()
                : info.isDir() ? QByteArray("dir")
                               : kztest::readFile(info.filePath()));
    }
    return files;
}

const QByteArray kNewList = "bin/trovix\nshare/trovix/installed-files\nshare/trovix/new-file\n";
const QList<Entry> kNewTrovix = { { "bin/", AE_IFDIR, {} }, { "bin/trovix", AE_IFREG, "new trovix" },
    { "share/trovix/installed-files", AE_IFREG, kNewList }, { "share/trovix/new-file", AE_IFREG, "new" } };

// The prefix once Trovix 2 replaced Trovix 1: the other program's files untouched.
QMap<QString, QByteArray> withNewTrovix(QMap<QString, QByteArray> prefix)
{
    prefix.remove(QStringLiteral("/share/trovix/old-only"));
    prefix[QStringLiteral("/bin/trovix")] = "new trovix";
    prefix[QStringLiteral("/share/trovix/new-file")] = "new";
    prefix[QStringLiteral("/share/trovix/installed-files")] = kNewList;
    return prefix;
}

struct Presenter : KZCheckForUpdatesPresenter {
    QStringList alerts; // "title / message"
    QList<QUrl> opened;
    int runAlert(const KZUpdateAlert &a) override
    {
        alerts.append(a.title + QStringLiteral(" / ") + a.message);
        return 1;
    }
    void windowStateChanged(const KZUpdateWindowState &) override { }
    void openURL(const QUrl &url) override { opened.append(url); }
    void activateApplication() override { }
};

class UpdateTest : public ::testing::Test
{
protected:
    Server server;
    kztest::TempTree tree;
    Presenter presenter;
    KZCheckForUpdates checker;

    void SetUp() override
    {
        QCoreApplication::setApplicationName(QStringLiteral("Trovix"));
        KZUserDefaults::standardUserDefaults().removeObjectForKey(QStringLiteral("KZCheckForUpdates-IgnoredVersion"));
        checker.setPresenter(&presenter);
        checker.setAppBuild(10, QUrl(server.url(QStringLiteral("/trovix.version"))));
        checker.setInstallPrefix(tree.path(QStringLiteral("prefix")));
        KZUpdateInstaller::setInstalledByPackageManagerForTesting(false);
        // Trovix 1 installed into a prefix beside another program's files.
        tree.writeFile(QStringLiteral("prefix/bin/trovix"), "old trovix");
        tree.writeFile(QStringLiteral("prefix/share/trovix/old-only"), "old");
        tree.writeFile(QStringLiteral("prefix/share/trovix/installed-files"),
            "bin/trovix\nshare/trovix/installed-files\nshare/trovix/old-only\n");
        tree.writeFile(QStringLiteral("prefix/bin/other"), "another program");
        tree.writeFile(QStringLiteral("prefix/share/zz"), "another program's file");
    }
    void TearDown() override { KZUpdateInstaller::setInstalledByPackageManagerForTesting(std::nullopt); }
    void check(const QByteArray &versionFile, bool user)
    {
        server.responses[QStringLiteral("/trovix.version")].body = versionFile;
        user ? checker.synchronizeByUser() : checker.synchronizeAtLaunch();
        ASSERT_TRUE(kztest::waitUntil([&] { return checker.isIdle(); }));
    }
};

TEST_F(UpdateTest, VersionFilesLeadToTheirAlertOrWindow)
{
    const QString newer = QStringLiteral("Trovix is now in version 2.0 (11).");
    const struct {
        QByteArray file;
        bool user;
        QString ignored, alert;
        bool window;
    } rows[] = {
        { "10|1.0|https://x/t.zip", true, {}, QStringLiteral("You are up to date!"), false },
        { "10|1.0|https://x/t.zip", false, {}, {}, false },
        { "11|2.0|https://x/t.zip", false, {}, {}, true },
        { "11|2.0|https://x/t.zip|10", true, {}, {}, true }, // one component: no minimum
        { "11|2.0|https://x/t.zip|999.1", true, {},
            newer + QStringLiteral(" / This version requires at least Linux 999.1."), false },
        { "11|2.0|https://x/t.zip|999.1", false, {}, {}, false },
        { "11|2.0|https://x/t.zip", false, QStringLiteral("2.0"), {}, false },
        { "11|2.0|https://x/t.zip", true, QStringLiteral("2.0"), {}, true },
        { "1|Servers move tonight", true, {}, QStringLiteral("Information about "), false },
        { "2|Not for users", true, {}, {}, false },
        { "eleven|2.0|https://x/t.zip", true, {}, QStringLiteral("Unable to Check for Update. / Please, try later"),
            false },
        { "11|2.0|https://x/t.zip|5.10|abc", false, {}, {}, false }, // a digest that is not SHA-256
        { "", true, {}, QStringLiteral("Unable to Check for Update. / Please, check your network"), false },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file.toStdString() + (row.user ? " user" : " silent"));
        presenter.alerts.clear();
        checker.newVersionDismissed();
        KZUserDefaults::standardUserDefaults().setObject(
            row.ignored, QStringLiteral("KZCheckForUpdates-IgnoredVersion"));
        check(row.file, row.user);
        EXPECT_EQ(presenter.alerts.size(), row.alert.isEmpty() ? 0 : 1) << presenter.alerts.join(u'\n').toStdString();
        if (!row.alert.isEmpty() && !presenter.alerts.isEmpty()) {
            EXPECT_TRUE(presenter.alerts.first().startsWith(row.alert)) << presenter.alerts.first().toStdString();
        }
        EXPECT_EQ(checker.windowState().newVersionVisible, row.window);
        if (row.window) {
            EXPECT_EQ(checker.windowState().newVersionMessage, newer);
        }
    }

    // A check asked for while one is under way is dropped.
    const int before = server.requests;
    checker.synchronizeByUser();
    checker.synchronizeByUser();
    checker.synchronizeFromCrashReport();
    ASSERT_TRUE(kztest::waitUntil([&] { return checker.isIdle(); }));
    EXPECT_EQ(server.requests, before + 1);
}

TEST(KZUpdateVersionFile, SystemVersionsCompareByNumberDownToThePatch)
{
    const std::tuple<const char *, const char *, bool> cases[] = {
        { "6.1.0-13-amd64", "6.1.1", true }, { "6.1.1", "6.1", false }, { "6.9.2", "6.10", true }, { "6", "6.1", false },
    };
    for (const auto &[release, minimum, older] : cases)
        EXPECT_EQ(kzSystemIsOlderThan(QString::fromLatin1(release), QString::fromLatin1(minimum)), older) << release;
}

TEST_F(UpdateTest, DownloadsInstallOnlyWhenWhole)
{
    const QByteArray good = zip(kNewTrovix);
    const QByteArray goodSum = QCryptographicHash::hash(good, QCryptographicHash::Sha256).toHex();
    const QMap<QString, QByteArray> before = snapshot(tree.path(QStringLiteral("prefix")));
    const struct {
        Response response;
        QByteArray sum;
        QString alert; // empty: installed
    } rows[] = {
        { { "application/octet-stream", good }, goodSum, QStringLiteral("Unable to download update.") },
        { { "application/zip", good, true }, goodSum, QStringLiteral("Unable to download update.") },
        { { "application/zip", good }, QByteArray(64, 'a'),
            QStringLiteral("Updating Failed / The downloaded update is damaged.") },
        { { "application/zip", zip({ { "../x", AE_IFREG, "x" } }) }, {},
            QStringLiteral("Updating Failed / Can not unzip data file.") },
        { { "application/zip", good }, goodSum, {} },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.alert.toStdString());
        presenter.alerts.clear();
        server.responses[QStringLiteral("/t.zip")] = row.response;
        check("11|2.0|" + server.url(QStringLiteral("/t.zip")).toUtf8() + "||" + row.sum, true);
        ASSERT_TRUE(checker.windowState().newVersionVisible);
        checker.newVersionAction();
        ASSERT_TRUE(kztest::waitUntil([&] { return checker.isIdle(); }, 10000));
        const QMap<QString, QByteArray> after = snapshot(tree.path(QStringLiteral("prefix")));
        if (row.alert.isEmpty()) {
            EXPECT_TRUE(presenter.alerts.isEmpty()) << presenter.alerts.join(u'\n').toStdString();
            EXPECT_TRUE(checker.windowState().relaunchEnabled);
            EXPECT_EQ(after, withNewTrovix(before));
        } else {
            ASSERT_EQ(presenter.alerts.size(), 1);
            EXPECT_TRUE(presenter.alerts.first().startsWith(row.alert)) << presenter.alerts.first().toStdString();
            EXPECT_EQ(after, before);
        }
    }

    // Installed by the package manager: the offer only points to the website.
    KZUpdateInstaller::setInstalledByPackageManagerForTesting(true);
    check("11|2.0|" + server.url(QStringLiteral("/t.zip")).toUtf8(), true);
    EXPECT_TRUE(checker.windowState().newVersionMessage.endsWith(
        QStringLiteral("Trovix was installed by your package manager; update it there.")));
    checker.newVersionAction();
    ASSERT_TRUE(kztest::waitUntil([&] { return checker.isIdle(); }));
    EXPECT_FALSE(checker.windowState().updatingVisible);
    EXPECT_EQ(presenter.opened.size(), 1);
    EXPECT_EQ(snapshot(tree.path(QStringLiteral("prefix"))), withNewTrovix(before));
}

TEST_F(UpdateTest, HostileArchivesAreRefusedWithoutWritingOutside)
{
    const QByteArray outside = tree.path(QStringLiteral("outside-x")).toUtf8();
    const struct {
        QList<Entry> entries;
        bool ok;
    } rows[] = {
        { { { "a/", AE_IFDIR, {} }, { "a/f", AE_IFREG, "f" }, { "a/l", AE_IFLNK, "../a/f" } }, true },
        { { { "ok", AE_IFREG, "ok" }, { "../outside-x", AE_IFREG, "x" } }, false },
        { { { "a/../../outside-x", AE_IFREG, "x" } }, false },
        { { { outside, AE_IFREG, "x" } }, false },
        { { { "/etc/trovix-update-test-x", AE_IFREG, "x" } }, false },
        { { { "root", AE_IFLNK, "/" } }, false },
        { { { "up", AE_IFLNK, "a/../.." }, { "up/outside-x", AE_IFREG, "x" } }, false },
    };
    int n = 0;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.entries.last().name.toStdString());
        const QString dir = tree.mkdir(QStringLiteral("work%1/dest").arg(++n));
        const QString archive = tree.writeFile(QStringLiteral("work%1/a.zip").arg(n), zip(row.entries));
        QString error;
        EXPECT_EQ(kzExtractUpdateArchive(archive, dir, &error), row.ok) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/etc/trovix-update-test-x")));
        for (const QString &path : snapshot(tree.root()).keys())
            EXPECT_TRUE(path.startsWith(QStringLiteral("/work")) || path.startsWith(QStringLiteral("/prefix")))
                << path.toStdString();
    }
}

TEST_F(UpdateTest, ReplaceTouchesOnlyListedFilesAndRestoresOnFailure)
{
    const QString prefix = tree.path(QStringLiteral("prefix"));
    const QMap<QString, QByteArray> before = snapshot(prefix);
    QString error;
    // The new list names share/zz/file, but share/zz is another program's
    // file: the replace fails after bin/trovix changed and puts it back.
    tree.writeFile(QStringLiteral("broken/bin/trovix"), "new trovix");
    tree.writeFile(QStringLiteral("broken/share/zz/file"), "z");
    tree.writeFile(QStringLiteral("broken/share/trovix/installed-files"),
        "bin/trovix\nshare/trovix/installed-files\nshare/zz/file\n");
    EXPECT_EQ(KZUpdateInstaller::replaceInstalledFiles(
                  prefix, tree.path(QStringLiteral("broken")), tree.mkdir(QStringLiteral("backup1")), &error),
        KZUpdateInstaller::FailedUnchanged);
    EXPECT_EQ(snapshot(prefix), before);

    for (const Entry &e : kNewTrovix)
        if (e.type == AE_IFREG)
            tree.writeFile(QStringLiteral("new/") + QString::fromUtf8(e.name), e.data);
    KZUpdateInstaller::setInstalledByPackageManagerForTesting(true);
    EXPECT_EQ(KZUpdateInstaller::replaceInstalledFiles(
                  prefix, tree.path(QStringLiteral("new")), tree.mkdir(QStringLiteral("backup2")), &error),
        KZUpdateInstaller::FailedUnchanged);
    EXPECT_EQ(error, QStringLiteral("Trovix was installed by your package manager; update it there."));
    EXPECT_EQ(snapshot(prefix), before);

    // After an incomplete restore the backup holds the only copy of the old
    // files; it once went with the working folder it sat in.
    const QString work = tree.mkdir(QStringLiteral("work-incomplete"));
    tree.writeFile(QStringLiteral("work-incomplete/backup/bin/trovix"), "old trovix");
    const QString kept = KZUpdateInstaller::keepBackup(work + QStringLiteral("/backup"));
    ASSERT_FALSE(kept.isEmpty());
    QDir(work).removeRecursively();
    EXPECT_EQ(kztest::readFile(kept + QStringLiteral("/bin/trovix")), "old trovix");
    QDir(QFileInfo(kept).path()).removeRecursively();

    KZUpdateInstaller::setInstalledByPackageManagerForTesting(false);
    // Through the command pkexec runs, with its own backup folder.
    EXPECT_EQ(KZUpdateInstaller::runReplaceCommand({tree.path(QStringLiteral("new"))}), 2);
    EXPECT_EQ(KZUpdateInstaller::runReplaceCommand({tree.path(QStringLiteral("new")), prefix}), 0);
    EXPECT_EQ(snapshot(prefix), withNewTrovix(before));
}

} // namespace
