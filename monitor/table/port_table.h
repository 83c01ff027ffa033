#pragma once
// The port table's model: the rows in display order, the column kinds in display order and
// the texts the list currently shows. The view draws the shown texts; Refresh recomputes every
// cell after a poll and reports only the cells whose text changed, so a poll in which nothing
// changed repaints nothing. Row i is always shown item i: removing a row removes its item.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "monitor/table/columns.h"
#include "monitor/table/port_row.h"

// The table's capacity.
constexpr int kMaxRows = 512;

enum class AddRowResult {
    Added,
    Duplicate,   // a row with that name exists
    Full,        // the table holds kMaxRows rows
    NoCounters,  // the row has no counters or statistics to show
};

struct CellChange {
    int row;
    int column;
};

struct RefreshResult {
    // Items appended to the shown list by this refresh: [firstInserted, firstInserted + inserted).
    int firstInserted = 0;
    int inserted = 0;
    // Every cell whose shown text changed, rows in order; valid until the next Refresh.
    std::span<const CellChange> changed;
};

class PortTable {
  public:
    PortTable();
    ~PortTable();
    PortTable(const PortTable&) = delete;
    PortTable& operator=(const PortTable&) = delete;

    // Rows.
    int RowCount() const { return static_cast<int>(rows_.size()); }
    PortRow& Row(int index) const { return *rows_[static_cast<std::size_t>(index)]; }
    // The index of the row with this name (with or without the marker); -1 when none.
    int FindRow(std::string_view name) const;
    // Appends a row at the end; the caller sorts after a batch of additions.
    AddRowResult AddRow(std::unique_ptr<PortRow> row);
    // Removes the row and its shown item.
    void RemoveRowAt(int index);
    // Removes every row and shown item.
    void ClearRows();
    // Rows bound to the Zenith family; they gate that family's polling.
    int ZenithRowCount() const;
    // Orders the rows by port number; rows with equal numbers keep their order. Only the rows
    // move: the shown items are relabelled by the next Refresh.
    void SortRows();

    // Columns.
    std::span<const int> ColumnKinds() const { return columns_; }
    int ColumnCount() const { return static_cast<int>(columns_.size()); }
    int FindColumn(int kind) const;
    // Appends a column of `kind` (a valid kind) with empty shown cells.
    void AppendColumn(int kind);
    // Removes the column at `index` and its shown cells.
    void RemoveColumnAt(int index);
    // Removes every column and every shown item (the list is rebuilt from the rows).
    void ClearColumns();
    // Kinds 0..13 and an empty shown list.
    void SetDefaultColumns();

    // What the list shows.
    int ShownItemCount() const { return static_cast<int>(shown_.size()); }
    std::string_view ShownText(int item, int column) const;

    // Recomputes every cell of every row and updates the shown texts that differ.
    RefreshResult Refresh(const CellContext& context);

  private:
    struct Cell {
        std::array<char, kMaxCellText> text{};
        std::uint8_t length = 0;
    };
    using Item = std::vector<Cell>;

    std::vector<std::unique_ptr<PortRow>> rows_;
    std::vector<int> columns_;
    std::vector<Item> shown_;
    std::vector<CellChange> changes_;
};
