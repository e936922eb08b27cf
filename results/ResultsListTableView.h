// The table of the results list: Space asks for the preview panel, the
// context menu and the command keys act on results, and the File menu's
// commands reach the list controller through it. GUI thread.
#pragma once

#include <QTableView>

#include "toolkit/DocumentWindowValidateMenuItem.h"

class ResultsListViewController;

class ResultsListTableView : public QTableView, public DocumentWindowValidateMenuItem
{
    Q_OBJECT
public:
    explicit ResultsListTableView(ResultsListViewController *controller, QWidget *parent = nullptr);

    bool documentWindowValidateMenuItem(QAction *item) override;
    void documentWindowPerformMenuItem(QAction *item) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    ResultsListViewController *m_controller;
};
