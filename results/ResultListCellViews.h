// How the cells of the results list are drawn: the folder header cell, the
// name cell (icon, folder prefix, bold name with the matched text on yellow)
// and the secondary text cells (dates, sizes). Delegates of the table; they
// read everything from the model's roles. GUI thread.
#pragma once

#include <QStyledItemDelegate>

class ResultListGroupDirCellView : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

class ResultListNameCellView : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // Indentation of rows that stand under a header row.
    static constexpr int kIndent = 18;
    explicit ResultListNameCellView(QObject *parent = nullptr);
    // Draws header rows with ResultListGroupDirCellView, result rows itself.
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The colour behind the matched text.
    static QColor highlightColor() { return QColor(255, 255, 0); }

private:
    ResultListGroupDirCellView m_groupCell;
};

class ResultListInfoCellView : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
