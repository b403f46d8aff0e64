// Item model of a report list: rows come from the dialog procedure on demand, so a
// report of a hundred thousand spool files costs only the rows on screen.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <map>
#include <string>
#include <vector>

namespace ui {
class Dialog;
}

namespace qtui {

class ReportModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // `columns` are the column titles; the row count is read from the dialog's state.
    ReportModel(ui::Dialog& dialog, std::string id, std::vector<std::string> columns,
                QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display text of a cell; asks the procedure for the whole row once and caches it.
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Forgets every cached row and takes the row count anew from the dialog.
    void Reload();
    // How many rows were fetched from the procedure since construction.
    int FetchCount() const { return fetches_; }

private:
    const QStringList& RowCells(int row) const;

    ui::Dialog& dialog_;
    std::string id_;
    QStringList columns_;
    int rows_ = 0;
    mutable std::map<int, QStringList> cache_;
    mutable int fetches_ = 0;
};

}  // namespace qtui
