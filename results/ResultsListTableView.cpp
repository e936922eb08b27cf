#include "results/ResultsListTableView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <optional>

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
    using Command = ResultsListViewController::SelectionCommand;
    const QKeyCombination key = event->keyCombination();
    std::optional<Command> command;
    if (key == QKeyCombination(Qt::Key_Return) || key == QKeyCombination(Qt::KeypadModifier, Qt::Key_Enter) ||
        key == QKeyCombination(Qt::ControlModifier, Qt::Key_O))
        command = Command::Open;
    else if (key == QKeyCombination(Qt::ControlModifier, Qt::Key_C))
        command = Command::CopyPaths;
    else if (key == QKeyCombination(Qt::Key_Delete))
        command = Command::Trash;
    else if (key == QKeyCombination(Qt::ControlModifier, Qt::Key_I))
        command = Command::Properties;
    else if (key == QKeyCombination(Qt::ControlModifier, Qt::Key_R))
        command = Command::Reveal;
    if (command) {
        m_controller->performOnSelection(*command);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ResultsListTableView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()) : currentIndex();
    m_controller->setClickedRow(index.isValid() ? index.row() : -1);
    QMenu menu(QStringLiteral("TableViewRightMenu"), this);
    menu.setObjectName(QStringLiteral("TableViewRightMenu"));
    m_controller->menuNeedsUpdate(&menu);
    menu.setToolTipsVisible(true);
    menu.exec(event->globalPos());
    event->accept();
}
