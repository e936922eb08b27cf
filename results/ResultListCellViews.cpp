#include "results/ResultListCellViews.h"

#include <QApplication>
#include <QPainter>

#include "results/Functions.h"
#include "results/ResultsListRows.h"
#include "results/ResultsListViewController.h"

namespace {

constexpr int kIconSize = 16;
constexpr int kMargin = 4;
constexpr int kIconGap = 5;

// Background and selection as the style draws them, without text or icon.
void drawBackground(QPainter *painter, const QStyleOptionViewItem &option)
{
    QStyleOptionViewItem opt = option;
    opt.text.clear();
    opt.icon = QIcon();
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
}

bool isSelected(const QStyleOptionViewItem &option)
{
    return option.state & QStyle::State_Selected;
}

QColor textColor(const QStyleOptionViewItem &option)
{
    return option.palette.color(option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive,
                                isSelected(option) ? QPalette::HighlightedText : QPalette::Text);
}

// A row on its way out is drawn fading for as long as the guard lives.
class RowFade
{
public:
    RowFade(QPainter *painter, const QModelIndex &index) : m_painter(painter)
    {
        const QVariant opacity = index.data(ResultsListViewController::RowOpacityRole);
        m_active = opacity.isValid();
        if (m_active) {
            painter->save();
            painter->setOpacity(opacity.toDouble());
        }
    }
    ~RowFade()
    {
        if (m_active)
            m_painter->restore();
    }

private:
    QPainter *m_painter;
    bool m_active = false;
};

// Draws the icon at the left of rect and returns what is left for the text.
QRect drawIcon(QPainter *painter, const QRect &rect, const QPixmap &icon, qreal opacity)
{
    const QRect iconRect(rect.left(), rect.top() + (rect.height() - kIconSize) / 2, kIconSize, kIconSize);
    if (!icon.isNull()) {
        painter->save();
        painter->setOpacity(opacity);
        painter->drawPixmap(iconRect, icon);
        painter->restore();
    }
    return rect.adjusted(kIconSize + kIconGap, 0, 0, 0);
}

} // namespace

void ResultListGroupDirCellView::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                       const QModelIndex &index) const
{
    if (!isSelected(option))
        painter->fillRect(option.rect, Functions::viewBgColor());
    drawBackground(painter, option);
    QRect r = option.rect.adjusted(kMargin, 0, -kMargin, 0);
    r = drawIcon(painter, r, index.data(Qt::DecorationRole).value<QPixmap>(), 1.0);
    painter->save();
    painter->setPen(textColor(option));
    painter->setFont(option.font);
    const QString text = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle,
                                                       r.width());
    painter->drawText(r, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
    painter->restore();
}

ResultListNameCellView::ResultListNameCellView(QObject *parent)
    : QStyledItemDelegate(parent)
    , m_groupCell(this)
{
}

void ResultListNameCellView::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    const RowFade fade(painter, index);
    if (index.data(ResultsListViewController::RowKindRole).toInt() == ResultsListRow::KindDir) {
        m_groupCell.paint(painter, option, index);
        return;
    }
    drawBackground(painter, option);
    const bool level = index.data(ResultsListViewController::LevelRole).toBool();
    QRect r = option.rect.adjusted(kMargin + (level ? kIndent : 0), 0, -kMargin, 0);
    r = drawIcon(painter, r, index.data(Qt::DecorationRole).value<QPixmap>(),
                 index.data(ResultsListViewController::IconOpacityRole).toDouble());
    if (r.width() <= 0)
        return;

    painter->save();
    painter->setPen(textColor(option));
    const int flags = Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine;
    if (isSelected(option)) {
        // On the selection colour the plain text reads better than the attributed one.
        painter->setFont(option.font);
        painter->drawText(r, flags,
                          option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle,
                                                        r.width()));
        painter->restore();
        return;
    }

    const auto display = index.data(ResultsListViewController::DisplayNameRole).value<ResultListDisplayName>();
    const QString prefix = index.data(ResultsListViewController::DirPrefixRole).toString();
    QFont bold = option.font;
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    const int nameWidth = boldMetrics.horizontalAdvance(display.name);

    int x = r.left();
    QString name = display.name;
    bool nameElided = false;
    if (nameWidth > r.width()) {
        name = boldMetrics.elidedText(display.name, Qt::ElideMiddle, r.width());
        nameElided = true;
    } else if (!prefix.isEmpty()) {
        const QString shownPrefix = option.fontMetrics.elidedText(prefix, Qt::ElideMiddle, r.width() - nameWidth);
        if (!shownPrefix.isEmpty()) {
            painter->setFont(option.font);
            const QRect prefixRect(x, r.top(), r.width() - nameWidth, r.height());
            painter->drawText(prefixRect, flags, shownPrefix);
            x += option.fontMetrics.horizontalAdvance(shownPrefix);
        }
    }
    if (!nameElided && display.matchStart >= 0 && display.matchLength > 0) {
        const int hx = x + boldMetrics.horizontalAdvance(display.name.left(display.matchStart));
        const int hw = boldMetrics.horizontalAdvance(display.name.mid(display.matchStart, display.matchLength));
        const int hh = boldMetrics.height();
        painter->fillRect(QRect(hx, r.top() + (r.height() - hh) / 2, hw, hh), highlightColor());
    }
    painter->setFont(bold);
    painter->drawText(QRect(x, r.top(), r.right() - x + 1, r.height()), flags, name);
    painter->restore();
}

void ResultListInfoCellView::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    const RowFade fade(painter, index);
    if (index.data(ResultsListViewController::RowKindRole).toInt() == ResultsListRow::KindDir &&
        !isSelected(option))
        painter->fillRect(option.rect, Functions::viewBgColor());
    drawBackground(painter, option);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;
    painter->save();
    QColor grey = QColor::fromRgbF(0.5, 0.5, 0.5);
    if (isSelected(option))
        grey = QColor::fromRgbF(0.8, 0.8, 0.8);
    painter->setPen(grey);
    painter->setFont(option.font);
    const QRect r = option.rect.adjusted(kMargin, 0, -kMargin, 0);
    const int align = index.data(Qt::TextAlignmentRole).isValid() ? index.data(Qt::TextAlignmentRole).toInt()
                                                                  : int(Qt::AlignLeft | Qt::AlignVCenter);
    painter->drawText(r, align | Qt::TextSingleLine, option.fontMetrics.elidedText(text, Qt::ElideRight, r.width()));
    painter->restore();
}
