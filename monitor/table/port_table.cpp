#include "monitor/table/port_table.h"

#include <algorithm>
#include <cstring>

PortTable::PortTable() {
    rows_.reserve(kMaxRows);
}

PortTable::~PortTable() = default;

int PortTable::FindRow(std::string_view name) const {
    const std::string_view bare = WithoutMarker(name);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i]->Name() == bare) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

AddRowResult PortTable::AddRow(std::unique_ptr<PortRow> row) {
    if (row == nullptr || row->Counters() == nullptr || row->Statistics() == nullptr) {
        return AddRowResult::NoCounters;
    }
    if (FindRow(row->Name()) >= 0) {
        return AddRowResult::Duplicate;
    }
    if (RowCount() >= kMaxRows) {
        return AddRowResult::Full;
    }
    rows_.push_back(std::move(row));
    return AddRowResult::Added;
}

void PortTable::RemoveRowAt(int index) {
    if (index < 0 || index >= RowCount()) {
        return;
    }
    rows_.erase(rows_.begin() + index);
    if (index < ShownItemCount()) {
        shown_.erase(shown_.begin() + index);
    }
}

void PortTable::ClearRows() {
    rows_.clear();
    shown_.clear();
}

int PortTable::ZenithRowCount() const {
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const auto& row) { return row->Zenith(); }));
}

void PortTable::SortRows() {
    std::stable_sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) {
        return a->SortNumber() < b->SortNumber();
    });
}

int PortTable::FindColumn(int kind) const {
    const auto it = std::find(columns_.begin(), columns_.end(), kind);
    return it == columns_.end() ? -1 : static_cast<int>(it - columns_.begin());
}

void PortTable::AppendColumn(int kind) {
    if (!IsColumnKind(kind)) {
        return;
    }
    columns_.push_back(kind);
    for (Item& item : shown_) {
        item.emplace_back();
    }
}

void PortTable::RemoveColumnAt(int index) {
    if (index < 0 || index >= ColumnCount()) {
        return;
    }
    columns_.erase(columns_.begin() + index);
    for (Item& item : shown_) {
        item.erase(item.begin() + index);
    }
}

void PortTable::ClearColumns() {
    columns_.clear();
    shown_.clear();
}

void PortTable::SetDefaultColumns() {
    ClearColumns();
    for (const int kind : DefaultColumns()) {
        AppendColumn(kind);
    }
}

std::string_view PortTable::ShownText(int item, int column) const {
    if (item < 0 || item >= ShownItemCount() || column < 0 || column >= ColumnCount()) {
        return {};
    }
    const Cell& cell = shown_[static_cast<std::size_t>(item)][static_cast<std::size_t>(column)];
    return {cell.text.data(), cell.length};
}

RefreshResult PortTable::Refresh(const CellContext& context) {
    changes_.clear();
    RefreshResult result;
    result.firstInserted = ShownItemCount();
    std::array<char, kMaxCellText> text{};
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const PortRow& row = *rows_[r];
        if (r >= shown_.size()) {
            shown_.emplace_back(columns_.size());
            ++result.inserted;
        }
        Item& item = shown_[r];
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            const std::size_t length = FormatCell(columns_[c], row.Label(), *row.Counters(),
                                                  *row.Statistics(), context, text);
            Cell& cell = item[c];
            if (cell.length == length && std::memcmp(cell.text.data(), text.data(), length) == 0) {
                continue;
            }
            std::memcpy(cell.text.data(), text.data(), length);
            cell.length = static_cast<std::uint8_t>(length);
            changes_.push_back({static_cast<int>(r), static_cast<int>(c)});
        }
    }
    result.changed = changes_;
    return result;
}
