#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "support/KZArchive.h"
#include "support/KZLog.h"
#include "toolkit/KZSetAsideAlert.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

QList<QMessageBox *> visibleAlerts()
{
    QList<QMessageBox *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible() && box->objectName() == QLatin1String("KZSetAsideAlert"))
            boxes.append(box);
    return boxes;
}

} // namespace

// A file set aside because it could not be read went unnoticed in the window;
// each one must be logged as a warning and shown once in an alert.
TEST(KZSetAsideAlert, EachFileSetAsideIsLoggedAndShownOnce)
{
    KZSetAsideAlert::install();
    kztest::LogCapture log;
    kztest::TempTree tree;
    const QStringList files = {tree.writeFile(QStringLiteral("SavedSearches"), "not an archive"),
                               tree.writeFile(QStringLiteral("FavoriteDirs"), "not an archive")};
    for (const QString &file : files)
        EXPECT_FALSE(kz_unarchivedObjectAtFile(file, file.section(QLatin1Char('/'), -1)));

    // Both, set aside before the window could show anything, in one alert.
    ASSERT_TRUE(kztest::waitUntil([] { return !visibleAlerts().isEmpty(); }, 5000));
    ASSERT_EQ(visibleAlerts().size(), 1);
    QMessageBox *box = visibleAlerts().first();
    for (const QString &aside : {files[0] + QStringLiteral(".bad"), files[1] + QStringLiteral(".bad")}) {
        EXPECT_TRUE(box->informativeText().contains(aside)) << box->informativeText().toStdString();
        int warnings = 0;
        for (const auto &[severity, entry] : log.records())
            warnings += severity == KZLogSeverityWarning && entry.contains(aside) ? 1 : 0;
        EXPECT_EQ(warnings, 1) << aside.toStdString();
    }
    box->button(QMessageBox::Ok)->click();
    EXPECT_FALSE(kztest::waitUntil([] { return !visibleAlerts().isEmpty(); }, 300)) << "shown once";
    KZSetAsideAlert::uninstall();
}
