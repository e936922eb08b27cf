// File > "Export Results…": every result of a list, in the list's order, to a
// file whose name decides the format (CSV, JSON Lines or one path a line).
// The rows are copied on the GUI thread; the file is written on a worker and
// replaced only when complete; a failure is shown to the user. GUI thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "engine/FileSearchResultExport.h"

class QWidget;
class ResultsListViewController;

class ResultsExport : public QObject
{
    Q_OBJECT
public:
    // The results of the list in its order, the rows still queued included.
    static FileSearchResultExportRows rowsOfList(ResultsListViewController *list);
    static bool canExport(const ResultsListViewController *list);

    // Asks for a file name in a save dialog, then writes. Nothing without a
    // result or when the user cancels; the job otherwise (it deletes itself
    // when done).
    static ResultsExport *exportResults(ResultsListViewController *list, QWidget *window);
    // Writes the list to fileName; the job announces its end and deletes itself.
    static ResultsExport *writeResults(ResultsListViewController *list, const QString &fileName, QWidget *window);

    // The save dialog's answer in tests: the file name, or empty to cancel.
    static void setSaveFileNameForTesting(std::function<QString()> answer);

Q_SIGNALS:
    // ok false: error says why (the user was told too).
    void finished(bool ok, const QString &error);

private:
    explicit ResultsExport(QWidget *window);
    void start(const QString &fileName, FileSearchResultExportRows rows);

    QPointer<QWidget> m_window;
};
