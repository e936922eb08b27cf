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
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (box && box->isVisible() && box->objectName() == QLatin1String("KZSetAsideAlert"))
            boxes.append(box);
    }
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
    const QString searches = tree.writeFile(QStringLiteral("SavedSearches"), "not an archive");
    const QString favorites = tree.writeFile(QStringLiteral("FavoriteDirs"), "not an archive");
    EXPECT_FALSE(kz_unarchivedObjectAtFile(searches, QStringLiteral("SavedSearches")));
    EXPECT_FALSE(kz_unarchivedObjectAtFile(favorites, QStringLiteral("FavoriteDirs")));

    // Both, set aside before the window could show anything, in one alert.
    ASSERT_TRUE(kztest::waitUntil([] { return !visibleAlerts().isEmpty(); }, 5000));
    QMessageBox *box = visibleAlerts().first();
    EXPECT_EQ(visibleAlerts().size(), 1);
    for (const QString &path : {searches, favorites}) {
        EXPECT_TRUE(box->informativeText().contains(path + QStringLiteral(".bad"))) << box->informativeText().toStdString();
        int warnings = 0;
        for (const auto &[severity, entry] : log.records())
            warnings += severity == KZLogSeverityWarning && entry.contains(path + QStringLiteral(".bad")) ? 1 : 0;
        EXPECT_EQ(warnings, 1) << path.toStdString();
    }
    box->button(QMessageBox::Ok)->click();
    EXPECT_FALSE(kztest::waitUntil([] { return !visibleAlerts().isEmpty(); }, 300)) << "shown once";
    KZSetAsideAlert::uninstall();
}
