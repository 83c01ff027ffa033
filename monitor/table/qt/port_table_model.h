#pragma once
// The list the port table shows, as the toolkit's item model. The cells are the table's shown
// texts; Refresh runs the table's refresh and announces only the items it appended and the
// cells whose text changed, so an unchanged poll repaints nothing. Changes of the rows or
// columns made directly on the table are picked up by the next Refresh as a reset.

#include <QAbstractTableModel>
#include <vector>

#include "monitor/table/port_table.h"

class PortTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit PortTableModel(PortTable& table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // RefreshTable: recompute the cells and show what changed.
    void Refresh(const CellContext& context);
    // Removes the row and its item, announcing it.
    void RemoveRow(int row);
    // Shows the table's current rows and columns as they are now.
    void Resync();

    PortTable& Table() { return table_; }

  signals:
    // The columns were rebuilt: the view sets their widths again.
    void ColumnsRebuilt();

  private:
    bool InSync() const;

    PortTable& table_;
    // What the toolkit was last told: the model answers from these, so that it never reports
    // more items than it announced.
    int rows_ = 0;
    std::vector<int> kinds_;
};
