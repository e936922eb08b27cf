#include "results/ResultsListTableView.h"

#include <QKeyEvent>

#include "results/ResultsListViewController.h"

ResultsListTableView::ResultsListTableView(ResultsListViewController *controller, QWidget *parent)
    : QTableView(parent)
    , m_controller(controller)
{
    setObjectName(QStringLiteral("mTableView"));
    setFocusPolicy(Qt::StrongFocus);
}

bool ResultsListTableView::documentWindowValidateMenuItem(QAction *item)
{
    return m_controller->documentWindowValidateMenuItem(item);
}

void ResultsListTableView::documentWindowPerformMenuItem(QAction *item)
{
    m_controller->documentWindowPerformMenuItem(item);
}

void ResultsListTableView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && event->modifiers() == Qt::NoModifier) {
        m_controller->tableViewDidPerformUserAction({{QStringLiteral("kind"), 1}});
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}
