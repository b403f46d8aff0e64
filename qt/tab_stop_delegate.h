// Draws the tab-separated items of a list box in columns, the way a list box with tab
// stops does: the n-th tab moves the text to the n-th stop.
#pragma once

#include <QStyledItemDelegate>
#include <vector>

namespace qtui {

class TabStopDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // `stops` are column starts in average character widths of the view's font; past the
    // last stop, further tabs advance by eight characters.
    TabStopDelegate(std::vector<int> stops, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // Left edge in pixels of column `column` (0 = the start of the text).
    static int ColumnStart(const std::vector<int>& stops, int column, int charWidth);

private:
    std::vector<int> stops_;
};

}  // namespace qtui
