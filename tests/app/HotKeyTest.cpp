#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "app/AppDelegate.h"
#include "app/DocumentWindow.h"
#include "app/KZHotKey.h"
#include "app/KZHotKeyCenter.h"
#include "app/KZHotKeyFieldView.h"
#include "platform/hotkey/KZPortalGlobalShortcuts.h"
#include "tests/app/HotKeyTestSupport.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

constexpr quint64 kSpace = 49, kReturn = 36, kF1 = 122, kF5 = 96, kF7 = 98, kR = 15, kA = 0, kK = 40, kCommandKey = 55;
constexpr quint64 kCtrlAlt = KZModifierControl | KZModifierOption;

TEST(KZHotKeyCenter, GrabsOnX11ReportsPressesAndTellsEachStatus)
{
    std::unique_ptr<KZHotKeyCenter> center(kztest::newX11Center());
    QSignalSpy pressed(center.get(), &KZHotKeyCenter::pressedHotKey);
    // Caps lock held while recording is not part of the shortcut.
    ASSERT_TRUE(center->registerHotKeyWithKeyCode(kSpace, kCtrlAlt | KZModifierCapsLock, 1));
    EXPECT_EQ(center->hotKeys().value(0)->modifierFlags(), kCtrlAlt);

    kztest::pressWithXdotool(QStringLiteral("ctrl+alt+space"));
    ASSERT_TRUE(kztest::waitUntil([&] { return pressed.count() == 1; }));
    EXPECT_EQ(pressed.at(0).at(0).value<KZHotKey *>()->tag(), 1);
    // Caps Lock switched on does not hide the shortcut.
    kztest::pressWithXdotool(QStringLiteral("Caps_Lock ctrl+alt+space Caps_Lock"));
    EXPECT_TRUE(kztest::waitUntil([&] { return pressed.count() == 2; }));

    // The application's own menu shortcut counts as taken.
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Reveal"))->setShortcut(
        QKeySequence(QStringLiteral("Ctrl+R")));
    struct Row
    {
        quint64 keyCode, flags;
        qint64 status;
        const char *display;
        const char *message;
    } rows[] = {
        {kF5, 0, 1, "F5", ""},
        {kA, KZModifierControl | KZModifierCommand, -1, "Meta+Ctrl+A", "This shortcut is not correct."},
        {kReturn, 0, -1, "Return", "This shortcut is not correct."},
        {kReturn, KZModifierCommand, 1, "Meta+Return", ""},
        {kF1, KZModifierControl | KZModifierOption | KZModifierShift | KZModifierCommand, 1, "Meta+Ctrl+Alt+Shift+F1",
         ""},
        {kCommandKey, KZModifierCommand, 1, "Meta", ""},
        {kR, KZModifierControl, 2, "Ctrl+R", "This shortcut is already used by another combination."},
        {kSpace, kCtrlAlt, 3, "Ctrl+Alt+Space", "This shortcut is already registered."},
        // A key code with no Linux key could never be grabbed.
        {200, KZModifierControl, -1, "", "This shortcut is not correct."},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.display);
        QString display, message;
        EXPECT_EQ(center->registerableStatusOfHotKeyWithKeyCode(r.keyCode, r.flags, &display, &message), r.status);
        EXPECT_EQ(display, QString::fromUtf8(r.display));
        EXPECT_EQ(message, QString::fromUtf8(r.message));
    }

    // The same combination under another tag is refused; under the same tag it replaces.
    kztest::LogCapture log;
    EXPECT_FALSE(center->registerHotKeyWithKeyCode(kSpace, kCtrlAlt, 2));
    EXPECT_TRUE(log.contains(QStringLiteral("hotKeyWithKeyCode!=nil")));
    const quint32 firstId = center->hotKeys().value(0)->hotKeyId();
    ASSERT_TRUE(center->registerHotKeyWithKeyCode(kSpace, kCtrlAlt, 1));
    ASSERT_EQ(center->hotKeys().size(), 1);
    EXPECT_GT(center->hotKeys().value(0)->hotKeyId(), firstId);

    // A combination another X client holds first (its status is the field
    // test's): no grab.
    kztest::OtherXClient other;
    ASSERT_TRUE(other.grab(kF5, KZModifierShift));
    EXPECT_FALSE(center->registerHotKeyWithKeyCode(kF5, KZModifierShift, 3));
    EXPECT_TRUE(log.contains(QStringLiteral("RegisterEventHotKey:10")));
}

// The GlobalShortcuts portal of the desktop, on the private session bus: it
// answers CreateSession and BindShortcuts through Response signals on the
// request objects, as the portal does, and keeps what was bound.
class FakePortal : public QDBusVirtualObject
{
public:
    explicit FakePortal(const QDBusConnection &bus) : m_bus(bus) {}
    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QList<QVariant> args = message.arguments();
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        QString sender = message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        QVariantMap results;
        if (message.member() == QLatin1String("CreateSession")) {
            session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/trovix").arg(sender);
            results.insert(QStringLiteral("session_handle"), session);
        } else if (message.member() == QLatin1String("BindShortcuts")) {
            bound.clear();
            const QDBusArgument list = args.at(1).value<QDBusArgument>();
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap properties;
                list.beginStructure();
                list >> id >> properties;
                list.endStructure();
                bound.insert(id, properties.value(QStringLiteral("preferred_trigger")).toString());
            }
            list.endArray();
        } else {
            return false;
        }
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                           QStringLiteral("Response"));
        response << 0u << results;
        connection.send(response);
        return true;
    }
    void activate(const QString &id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(KZPortalPath),
                                                         QString::fromLatin1(KZPortalGlobalShortcutsInterface),
                                                         QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1) << QVariantMap();
        m_bus.send(signal);
    }

    QString session;
    QMap<QString, QString> bound;

private:
    QDBusConnection m_bus;
};

TEST(KZHotKeyCenter, BindsThroughTheGlobalShortcutsPortal)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected()) << "runs on a private session bus";

    // No portal on the bus: no shortcut, said once, and the field tells what to do instead.
    {
        kztest::LogCapture log;
        KZHotKeyCenter center(new KZPortalGlobalShortcuts(bus));
        EXPECT_TRUE(center.registerHotKeyWithKeyCode(kSpace, kCtrlAlt, 1));
        ASSERT_TRUE(kztest::waitUntil([&] { return !center.hasGlobalShortcuts(); }));
        EXPECT_FALSE(center.registerHotKeyWithKeyCode(kSpace, kCtrlAlt, 1));
        EXPECT_EQ(log.count(QStringLiteral("GlobalShortcuts portal unavailable")), 1);
        QLabel label;
        KZHotKeyFieldView field(nullptr, &center);
        field.setMesLabel(&label);
        field.setChangeObserver(nullptr, kSpace, kCtrlAlt, true);
        EXPECT_TRUE(label.text().contains(QStringLiteral("trovix --toggle")));
    }

    QDBusConnection portalBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("portal"));
    FakePortal portal(portalBus);
    ASSERT_TRUE(portalBus.registerVirtualObject(QString::fromLatin1(KZPortalPath), &portal));
    ASSERT_TRUE(portalBus.registerService(QString::fromLatin1(KZPortalService)));

    KZHotKeyCenter center(new KZPortalGlobalShortcuts(bus));
    QSignalSpy pressed(&center, &KZHotKeyCenter::pressedHotKey);
    ASSERT_TRUE(center.registerHotKeyWithKeyCode(kSpace, kCtrlAlt, 1));
    ASSERT_TRUE(kztest::waitUntil([&] { return !portal.bound.isEmpty(); }));
    EXPECT_EQ(portal.bound.value(QStringLiteral("trovix-hotkey-1")), QStringLiteral("CTRL+ALT+space"));

    portal.activate(QStringLiteral("trovix-hotkey-1"));
    ASSERT_TRUE(kztest::waitUntil([&] { return pressed.count() == 1; }));
    EXPECT_EQ(pressed.at(0).at(0).value<KZHotKey *>()->tag(), 1);
    portalBus.unregisterService(QString::fromLatin1(KZPortalService));
}

using Change = std::tuple<quint64, quint64, bool>;

struct Observer : KZHotKeyFieldViewObserver
{
    bool hotKeyFieldViewDidChangeWithKeyCode(KZHotKeyFieldView *, quint64 keyCode, quint64 flags, bool on) override
    {
        changes.emplace_back(keyCode, flags, on);
        return true;
    }
    std::vector<Change> changes;
};

struct Press
{
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

TEST(KZHotKeyFieldView, RecordsAndHandsOverOnlyAnAcceptableLastCombination)
{
    kztest::OtherXClient other;
    ASSERT_TRUE(other.grab(kF7, KZModifierShift));
    const std::vector<Change> none;
    struct Row
    {
        const char *name;
        std::vector<Press> presses;
        double opacity;
        const char *message;
        bool onError;
        std::vector<Change> handedOver;
    } rows[] = {
        {"several within a second",
         {{Qt::Key_F5, {}}, {Qt::Key_F6, {}}, {Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier}},
         1.0, "", false, {{kSpace, kCtrlAlt, true}}},
        {"taken by another program", {{Qt::Key_F7, Qt::ShiftModifier}}, 1.0,
         "This shortcut is already used by another combination.", false, none},
        {"not a shortcut", {{Qt::Key_Return, {}}}, 1.0, "This shortcut is not correct.", true, none},
        {"window fading in", {{Qt::Key_F5, {}}}, 0.5, "", false, none},
        // Holding a modifier on its way to the next key is no combination of its own.
        {"a modifier key alone", {{Qt::Key_F5, {}}, {Qt::Key_Control, Qt::ControlModifier}}, 1.0, "", false,
         {{kF5, 0, true}}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        QWidget window;
        auto *layout = new QHBoxLayout(&window);
        auto *field = new KZHotKeyFieldView;
        auto *label = new QLabel;
        layout->addWidget(field);
        layout->addWidget(label);
        Observer observer;
        field->setMesLabel(label);
        field->setChangeObserver(&observer, 0, 0, true);
        window.setWindowOpacity(r.opacity);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::mouseClick(field, Qt::LeftButton);
        ASSERT_TRUE(field->isRecording());
        for (const Press &p : r.presses)
            QTest::keyClick(field, p.key, p.modifiers);
        EXPECT_EQ(label->text(), QString::fromUtf8(r.message));
        EXPECT_EQ(field->isOnError(), r.onError);
        QTest::qWait(KZHotKeyFieldView::kHandOverDelayMs / 4);
        EXPECT_TRUE(observer.changes.empty()) << "handed over before the second was up";
        QTest::qWait(KZHotKeyFieldView::kHandOverDelayMs * 3 / 4 + 300);
        EXPECT_EQ(observer.changes, r.handedOver);
        EXPECT_EQ(label->text(), QString());

        if (r.handedOver.size() != 1 || std::get<0>(r.handedOver[0]) != kSpace)
            continue;
        // Switched off and on again: the last combination had status 1, so it is handed over again.
        field->setIsEnabled(false);
        field->setIsEnabled(true);
        const std::vector<Change> expected{{kSpace, kCtrlAlt, true}, {kSpace, kCtrlAlt, false}, {kSpace, kCtrlAlt, true}};
        EXPECT_EQ(observer.changes, expected);
    }
}

TEST(AppDelegate, RegistersTheSavedShortcutAtLaunchUnderTagOne)
{
    KZHotKeyRepresentation(kK, kCtrlAlt, true).saveToUserDefaults();
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    KZHotKeyCenter *center = KZHotKeyCenter::defaultCenter();
    KZHotKey *hotKey = center->hotKeyWithKeyCode(kK, kCtrlAlt);
    ASSERT_NE(hotKey, nullptr);
    EXPECT_EQ(hotKey->tag(), 1);
    // With Trovix's own window focused the press is still the shortcut's, not the window's.
    ASSERT_TRUE(QTest::qWaitForWindowActive(delegate.documentWindowControllers().value(0)->window()));
    // A registered shortcut keeps a windowless Trovix running.
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
    // The press hides the windows of an active Trovix (after the fade).
    QWidget *documentWindow = delegate.documentWindowControllers().value(0)->window();
    kztest::pressWithXdotool(QStringLiteral("ctrl+alt+k"));
    EXPECT_TRUE(kztest::waitUntil([&] { return !documentWindow->isVisible(); }));

    // The held shortcut switched on in a field asks for a recording, which
    // focus loss ends.
    QWidget window;
    auto *field = new KZHotKeyFieldView(&window);
    Observer observer;
    field->setChangeObserver(&observer, kK, kCtrlAlt, false);
    EXPECT_EQ(field->lastStatus(), 3);
    EXPECT_EQ(field->string(), QStringLiteral("Ctrl+Alt+K"));
    window.show();
    field->setIsEnabled(true);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_TRUE(kztest::waitUntil([&] { return field->hasFocus(); }));
    EXPECT_TRUE(observer.changes.empty());
    QTest::mouseClick(field, Qt::LeftButton);
    ASSERT_TRUE(field->isRecording());
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_FALSE(field->isRecording());
    center->unregisterHotKeyWithTag(1);
}

} // namespace
