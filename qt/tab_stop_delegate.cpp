#include "qt/tab_stop_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace qtui {

namespace {
constexpr int kDefaultTab = 8;  // characters between stops past the last given one
constexpr int kColumnGap = 4;   // pixels left free before the next column
}  // namespace

TabStopDelegate::TabStopDelegate(std::vector<int> stops, QObject* parent)
    : QStyledItemDelegate(parent), stops_(std::move(stops)) {}

int TabStopDelegate::ColumnStart(const std::vector<int>& stops, int column, int charWidth) {
    if (column <= 0) return 0;
    int n = static_cast<int>(stops.size());
    if (column <= n) return stops[column - 1] * charWidth;
    int last = n > 0 ? stops[n - 1] : 0;
    return (last + (column - n) * kDefaultTab) * charWidth;
}

void TabStopDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
    const int charWidth = opt.fontMetrics.averageCharWidth();
    const QStringList parts = text.split(QLatin1Char('\t'));
    painter->save();
    painter->setFont(opt.font);
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    for (int i = 0; i < parts.size(); ++i) {
        int left = textRect.left() + ColumnStart(stops_, i, charWidth);
        int right = i + 1 < parts.size()
                        ? textRect.left() + ColumnStart(stops_, i + 1, charWidth) - kColumnGap
                        : textRect.right();
        if (left >= textRect.right()) break;
        QRect cell(left, textRect.top(), std::max(0, right - left), textRect.height());
        QString shown = opt.fontMetrics.elidedText(parts[i], Qt::ElideRight, cell.width());
        painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
    painter->restore();
}

}  // namespace qtui
