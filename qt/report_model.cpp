#include "qt/report_model.h"

#include "ui/dialog.h"

namespace qtui {

namespace {
// Rows kept in the cache; a screenful is well below this, so scrolling back and forth
// does not ask the procedure again, while a huge report never holds all its rows.
constexpr std::size_t kCacheRows = 2048;
}  // namespace

ReportModel::ReportModel(ui::Dialog& dialog, std::string id, std::vector<std::string> columns,
                         QObject* parent)
    : QAbstractTableModel(parent), dialog_(dialog), id_(std::move(id)) {
    for (const std::string& c : columns) columns_ << QString::fromStdString(c);
    if (columns_.isEmpty()) columns_ << QString();
    rows_ = dialog_.Has(id_) ? dialog_.RowCount(id_) : 0;
}

int ReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int ReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

const QStringList& ReportModel::RowCells(int row) const {
    auto it = cache_.find(row);
    if (it != cache_.end()) return it->second;
    if (cache_.size() >= kCacheRows) cache_.clear();
    QStringList cells;
    for (const std::string& cell : dialog_.Row(id_, row)) cells << QString::fromStdString(cell);
    ++fetches_;
    return cache_.emplace(row, std::move(cells)).first->second;
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const QStringList& cells = RowCells(index.row());
    if (index.column() >= cells.size()) return QString();
    return cells.at(index.column());
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= columns_.size()) return {};
    return columns_.at(section);
}

void ReportModel::Reload() {
    beginResetModel();
    cache_.clear();
    rows_ = dialog_.Has(id_) ? dialog_.RowCount(id_) : 0;
    endResetModel();
}

}  // namespace qtui
