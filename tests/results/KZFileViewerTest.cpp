// The file manager over D-Bus, against a file manager on this test's private
// session bus (the test runs under dbus-run-session) that answers only when
// the test tells it to.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDesktopServices>
#include <QThread>
#include <QTimer>
#include <mutex>

#include <gtest/gtest.h>

#include "results/KZFileViewer.h"
#include "tests/testlib/OpenedUrls.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

const QString kService = QStringLiteral("org.freedesktop.FileManager1");
const QString kPath = QStringLiteral("/org/freedesktop/FileManager1");

// Keeps every call it receives and answers none by itself. Lives on its own
// thread, so a GUI thread stuck in a call cannot hold it up.
class SilentFileManager : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        calls.append(message);
        return true; // handled; the answer, if any, comes from the test
    }
    QList<QDBusMessage> takeCalls()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(calls, {});
    }

private:
    std::mutex mutex;
    QList<QDBusMessage> calls;
};

class KZFileViewerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
        thread.start();
        manager.moveToThread(&thread);
        ASSERT_TRUE(bus.isConnected());
        ASSERT_TRUE(bus.registerVirtualObject(kPath, &manager, QDBusConnection::SingleNode));
        ASSERT_TRUE(bus.registerService(kService));
            QObject::connect(&ticker, &QTimer::timeout, [this] { ++ticks; });
        ticker.start(10);
    }
    void TearDown() override
    {
        bus.unregisterService(kService);
        bus.unregisterObject(kPath);
        thread.quit();
        thread.wait();
    }

    // The next call the file manager received.
    QDBusMessage nextCall()
    {
        QList<QDBusMessage> calls;
        kztest::waitUntil([&] { return !(calls = manager.takeCalls()).isEmpty(); });
        return calls.value(0);
    }

    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("file-manager"));
    QThread thread;
    SilentFileManager manager;
    kztest::OpenedUrls opened;
    QTimer ticker;
    int ticks = 0;
    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/trovix-viewer/a.txt"));
};

} // namespace

// The reveal and properties calls waited on the GUI thread for the file
// manager (up to 5 s, plus 25 s for each name lookup): a silent file manager
// froze the window. The window keeps running while the call is out.
TEST_F(KZFileViewerTest, ASilentFileManagerNeverStopsTheEventLoop)
{
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
    opened.urls.clear();
    log.clear();
    ASSERT_TRUE(KZFileViewer::activateFileViewerSelectingURLs({file, sibling}));
    ASSERT_TRUE(kztest::waitUntil([&] { return !opened.urls.isEmpty(); }));
    ASSERT_TRUE(KZFileViewer::displayInfoOfURLs({file}));
    EXPECT_TRUE(kztest::waitUntil([&] { return log.contains(QStringLiteral("ShowItemProperties")); }));
    EXPECT_EQ(opened.urls, parent);
}

