// Takes the screenshots of the global shortcut field for the documentation, on
// the display it is given (a private Xvfb: scripts/screenshots.sh hotkey):
// recording a combination, and a combination another program holds.
//
//   hotkey_screenshots OUTPUT_DIR
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QTest>

#include "app/KZHotKeyFieldView.h"
#include "tests/app/HotKeyTestSupport.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

struct Observer : KZHotKeyFieldViewObserver
{
    bool hotKeyFieldViewDidChangeWithKeyCode(KZHotKeyFieldView *, quint64, quint64, bool) override { return true; }
};

bool shoot(const QString &path, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Shortcut"));
    auto *layout = new QGridLayout(&window);
    auto *field = new KZHotKeyFieldView;
    auto *message = new QLabel;
    layout->addWidget(new QLabel(QStringLiteral("Show and hide Trovix:")), 0, 0);
    layout->addWidget(field, 0, 1);
    layout->addWidget(message, 1, 0, 1, 2);
    Observer observer;
    field->setMesLabel(message);
    field->setChangeObserver(&observer, 0, 0, true);
    window.resize(420, 80);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return false;
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, key, modifiers);
    QTest::qWait(200);
    return kztest::saveScreenshot(window.grab(), path);
}

} // namespace

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QString out = kztest::screenshotOutputDir(argc, argv, "hotkey_screenshots");
    if (out.isNull())
        return 1;
    kztest::OtherXClient other;
    if (!other.grab(98, KZModifierShift)) // Shift+F7, held by "another program"
        return 1;
    const bool ok = shoot(out + QStringLiteral("/hotkey-field-recording.png"), Qt::Key_Space,
                          Qt::ControlModifier | Qt::AltModifier)
                    && shoot(out + QStringLiteral("/hotkey-field-refused.png"), Qt::Key_F7, Qt::ShiftModifier);
    return ok ? 0 : 1;
}
