// The table model of the results list: a thin adapter that asks the list
// controller for every cell, so the rows live in one place. GUI thread.
#pragma once

#include <QAbstractTableModel>
#include <functional>

class ResultsListViewController;

class ResultsListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit ResultsListModel(ResultsListViewController *controller);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Used by the controller around its changes of the row list.
    void beginAppend(int first, int last) { beginInsertRows(QModelIndex(), first, last); }
    void endAppend() { endInsertRows(); }
    void beginRemove(int first, int last) { beginRemoveRows(QModelIndex(), first, last); }
    void endRemove() { endRemoveRows(); }
    void beginReset() { beginResetModel(); }
    void endReset() { endResetModel(); }
    void rowChanged(int row, int firstColumn, int lastColumn);
    // Around a change of rows all over the list at once (new results merged
    // into a sorted list): the view keeps its place, and the persistent
    // indexes (the selection, the current row) follow their rows through
    // newRowOfOldRow (-1: the row is gone).
    void beginRelayout();
    void endRelayout(const std::function<int(int)> &newRowOfOldRow);

private:
    ResultsListViewController *m_controller;
    QModelIndexList m_relayoutFrom;
};
