// Takes the screenshots of the preview window for the documentation, on the
// display it is given (a private Xvfb: scripts/screenshots.sh quick-look): a
// photograph and the first page of a PDF, each chosen in a results list and
// shown with Space.
//
//   quick_look_screenshots OUTPUT_DIR
#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTest>

#include "engine/KZFileSearchObject.h"
#include "platform/KZPosixFS.h"
#include "results/KZFinderFileIcon.h"
#include "results/QuickLookPanel.h"
#include "results/ResultsListTableView.h"
#include "results/ResultsViewController.h"
#include "screenshots/Screenshots.h"
#include "tests/testlib/TestEnvironment.h"

namespace {


void writePdf(const QString &path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter painter(&writer);
    QFont title = painter.font();
    title.setPointSize(26);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRect(0, 10, 500, 50), Qt::AlignLeft, QStringLiteral("Quarterly Report"));
    painter.fillRect(QRect(0, 70, 500, 4), QColor(255, 149, 0));
    QFont body = title;
    body.setPointSize(11);
    body.setBold(false);
    painter.setFont(body);
    const QString text = QStringLiteral(
        "Sales grew in every region this quarter. The new stores opened on time and the online shop now "
        "serves a third of all orders. Costs stayed within the plan; the warehouse move is finished.");
    painter.drawText(QRect(0, 90, 500, 120), Qt::TextWordWrap, text);
    const int values[] = {40, 65, 55, 90};
    for (int i = 0; i < 4; ++i)
        painter.fillRect(QRect(30 + i * 110, 480 - values[i] * 3, 70, values[i] * 3), QColor(70, 130, 200));
    painter.drawLine(10, 480, 480, 480);
}

} // namespace

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QApplication app(argc, argv);
    const QString out = kztest::screenshotOutputDir(argc, argv, "quick_look_screenshots");
    if (out.isEmpty())
        return 1;
    KZFinderFileIcon::ensureIconTheme();
    kztest::TempTree tree;
    kztest::landscapeImage().save(tree.path(QStringLiteral("Holidays 2026.jpg")), "jpeg", 90);
    writePdf(tree.path(QStringLiteral("Quarterly Report.pdf")));

    KZFileSearchObject session;
    ResultsViewController results;
    results.updateUI(tree.root(), &session);
    results.setHasResults(true);
    results.view()->resize(500, 200);
    results.view()->show();
    FileSearchResultList batch;
    for (const QString &name : {QStringLiteral("Holidays 2026.jpg"), QStringLiteral("Quarterly Report.pdf")}) {
        const QByteArray path = QFile::encodeName(tree.path(name));
        kzplatform::KZStat st;
        if (kzplatform::kzLstat(path.constData(), &st) == 0)
            batch.append(FileSearchResult::initWithPath(path.constData(), 'F', st));
    }
    ResultsListViewController *list = results.resultsListViewController();
    list->not_fileSearchObjectDidUpdated(
        &session, {{QStringLiteral("kind"), 1}, {QStringLiteral("results"), QVariant::fromValue(batch)}});
    list->flushPendingRows();

    QuickLookPanel *panel = QuickLookPanel::sharedPanel();
    panel->resize(480, 400);
    bool ok = true;
    for (int row = 0; row < 2; ++row) {
        list->mTableView()->selectRow(row);
        if (!panel->isVisible())
            QTest::keyClick(list->mTableView(), Qt::Key_Space);
        const QString name = list->fileURLOfRow(row).fileName();
        ok = kztest::waitUntil([&] { return !panel->isLoading() && panel->preview().name == name; }) && ok;
        QTest::qWait(300);
        const QString file = name.endsWith(QLatin1String(".pdf")) ? QStringLiteral("/quick-look-pdf.png")
                                                                   : QStringLiteral("/quick-look-image.png");
        ok = kztest::saveScreenshot(panel->grab(), out + file) && ok;
    }
    panel->close();
    return ok ? 0 : 1;
}
