#include "results/ResultsListModel.h"

#include "results/ResultsListViewController.h"
#include "support/KZLocalization.h"

ResultsListModel::ResultsListModel(ResultsListViewController *controller)
    : QAbstractTableModel(controller)
    , m_controller(controller)
{
}

int ResultsListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_controller->objectList().size());
}

int ResultsListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ResultsListViewController::ColumnCount;
}

QVariant ResultsListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    return m_controller->dataForCell(index.row(), index.column(), role);
}

QVariant ResultsListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ResultsListViewController::ColumnName:
        return KZLocalizedString("Name");
    case ResultsListViewController::ColumnDateModified:
        return KZLocalizedString("Date Modified");
    case ResultsListViewController::ColumnDateCreated:
        return KZLocalizedString("Date Created");
    case ResultsListViewController::ColumnSize:
        return KZLocalizedString("Size");
    default:
        return QVariant();
    }
}

Qt::ItemFlags ResultsListModel::flags(const QModelIndex &index) const
{
    // Rows are selected, never edited, dragged out or dropped on.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ResultsListModel::rowChanged(int row, int firstColumn, int lastColumn)
{
    Q_EMIT dataChanged(index(row, firstColumn), index(row, lastColumn));
}

void ResultsListModel::beginRelayout()
{
    // The views make their persistent indexes on this signal, so they are read after it.
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    m_relayoutFrom = persistentIndexList();
}

void ResultsListModel::endRelayout(const std::function<int(int)> &newRowOfOldRow)
{
    QModelIndexList to;
    to.reserve(m_relayoutFrom.size());
    for (const QModelIndex &from : std::as_const(m_relayoutFrom)) {
        const int row = newRowOfOldRow(from.row());
        to.append(row < 0 ? QModelIndex() : index(row, from.column()));
    }
    changePersistentIndexList(m_relayoutFrom, to);
    m_relayoutFrom.clear();
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
