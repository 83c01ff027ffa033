#include "monitor/table/qt/port_table_model.h"

#include <algorithm>

PortTableModel::PortTableModel(PortTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

int PortTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int PortTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kinds_.size());
}

QVariant PortTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) {
        return {};
    }
    const std::string_view text = table_.ShownText(index.row(), index.column());
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant PortTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(kinds_.size())) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        const std::string_view name = Column(kinds_[static_cast<std::size_t>(section)]).name;
        return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

bool PortTableModel::InSync() const {
    const auto kinds = table_.ColumnKinds();
    return rows_ == table_.ShownItemCount() &&
           std::equal(kinds.begin(), kinds.end(), kinds_.begin(), kinds_.end());
}

void PortTableModel::Resync() {
    const auto kinds = table_.ColumnKinds();
    const bool columnsChanged =
        !std::equal(kinds.begin(), kinds.end(), kinds_.begin(), kinds_.end());
    beginResetModel();
    rows_ = table_.ShownItemCount();
    kinds_.assign(kinds.begin(), kinds.end());
    endResetModel();
    if (columnsChanged) {
        emit ColumnsRebuilt();
    }
}

void PortTableModel::RemoveRow(int row) {
    if (!InSync()) {
        Resync();
    }
    if (row < 0 || row >= table_.RowCount()) {
        return;
    }
    const bool shown = row < rows_;
    if (shown) {
        beginRemoveRows({}, row, row);
    }
    table_.RemoveRowAt(row);
    if (shown) {
        rows_ = table_.ShownItemCount();
        endRemoveRows();
    }
}

void PortTableModel::Refresh(const CellContext& context) {
    if (!InSync()) {
        Resync();
    }
    const int before = rows_;
    const RefreshResult result = table_.Refresh(context);
    if (result.inserted > 0) {
        beginInsertRows({}, result.firstInserted, result.firstInserted + result.inserted - 1);
        rows_ = table_.ShownItemCount();
        endInsertRows();
    }
    for (const CellChange& change : result.changed) {
        if (change.row < before) {
            const QModelIndex cell = index(change.row, change.column);
            emit dataChanged(cell, cell, {Qt::DisplayRole});
        }
    }
}
