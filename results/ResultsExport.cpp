#include "results/ResultsExport.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QStandardPaths>
#include <QtConcurrent>

#include "results/ResultsListViewController.h"
#include "support/KZHandOver.h"
#include "support/KZLocalization.h"

namespace {

std::function<QString()> &saveFileNameForTesting()
{
    static std::function<QString()> answer;
    return answer;
}

struct WriteOutcome {
    bool ok = false;
    QString error;
};

} // namespace

void ResultsExport::setSaveFileNameForTesting(std::function<QString()> answer)
{
    saveFileNameForTesting() = std::move(answer);
}

ResultsExport::ResultsExport(QWidget *window)
    : QObject(window)
    , m_window(window)
{
}

FileSearchResultExportRows ResultsExport::rowsOfList(ResultsListViewController *list)
{
    FileSearchResultExportRows rows;
    if (!list)
        return rows;
    list->flushPendingRows();
    rows.reserve(list->objectList().size());
    for (const ResultsListRow &row : list->objectList())
        if (row.kind == ResultsListRow::KindResult && row.result)
            rows.append(FileSearchResultExportRow::fromResult(*row.result));
    return rows;
}

bool ResultsExport::canExport(const ResultsListViewController *list)
{
    if (!list)
        return false;
    if (list->pendingRowCount() > 0)
        return true;
    for (const ResultsListRow &row : list->objectList())
        if (row.kind == ResultsListRow::KindResult)
            return true;
    return false;
}

ResultsExport *ResultsExport::exportResults(ResultsListViewController *list, QWidget *window)
{
    if (!canExport(list))
        return nullptr;
    QString fileName;
    if (saveFileNameForTesting()) {
        fileName = saveFileNameForTesting()();
    } else {
        const QString csv = KZLocalizedString("CSV (*.csv)");
        const QString jsonLines = KZLocalizedString("JSON Lines (*.jsonl)");
        const QString text = KZLocalizedString("Text, one path a line (*.txt)");
        QString filter = csv;
        const QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                              QStringLiteral("/") + KZLocalizedString("Results") + QStringLiteral(".csv");
        fileName = QFileDialog::getSaveFileName(window, KZLocalizedString("Export Results"), start,
                                                QStringList{csv, jsonLines, text}.join(QStringLiteral(";;")), &filter);
        // A name without a suffix takes that of the chosen type.
        if (!fileName.isEmpty() && QFileInfo(fileName).suffix().isEmpty())
            fileName += filter == jsonLines ? QStringLiteral(".jsonl") : filter == text ? QStringLiteral(".txt")
                                                                                        : QStringLiteral(".csv");
    }
    if (fileName.isEmpty())
        return nullptr;
    return writeResults(list, fileName, window);
}

ResultsExport *ResultsExport::writeResults(ResultsListViewController *list, const QString &fileName, QWidget *window)
{
    auto *job = new ResultsExport(window);
    job->start(fileName, rowsOfList(list));
    return job;
}

void ResultsExport::start(const QString &fileName, FileSearchResultExportRows rows)
{
    auto *watcher = new QFutureWatcher<WriteOutcome>(this);
    connect(watcher, &QFutureWatcher<WriteOutcome>::finished, this, [this, watcher, fileName] {
        kzHandOverAcquire();
        const WriteOutcome outcome = watcher->result();
        if (!outcome.ok && m_window) {
            auto *alert = new QMessageBox(QMessageBox::Warning, KZLocalizedString("The results could not be exported."),
                                          KZLocalizedString("The results could not be exported."), QMessageBox::Ok,
                                          m_window);
            alert->setObjectName(QStringLiteral("exportResultsAlert"));
            alert->setInformativeText(QStringLiteral("%1\n%2").arg(QFileInfo(fileName).fileName(), outcome.error));
            alert->setAttribute(Qt::WA_DeleteOnClose);
            alert->setWindowModality(Qt::WindowModal);
            alert->open();
        }
        Q_EMIT finished(outcome.ok, outcome.error);
        deleteLater();
    });
    kzHandOverRelease();
    watcher->setFuture(QtConcurrent::run([fileName, rows = std::move(rows)] {
        kzHandOverAcquire();
        WriteOutcome outcome;
        outcome.ok = FileSearchResultExport::writeFile(fileName, rows, &outcome.error);
        kzHandOverRelease();
        return outcome;
    }));
}
