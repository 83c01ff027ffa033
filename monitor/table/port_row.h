#pragma once
// One row of the port table: a port name and the counters and statistics it shows. A bound
// row points into its driver source's buffers, which live as long as the program; a row for a
// port that no available driver knows owns zero-filled blocks of its own, is never polled and
// is labelled with NotAvailableMarker.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "monitor/records/port_statistics.h"
#include "monitor/records/raw_port_counters.h"

// Appended to the label of a row whose port no available driver knows.
inline constexpr std::string_view NotAvailableMarker = "  <NA>";
constexpr std::size_t kMaxPortName = 11;

// Where a port's counters and statistics live in its driver source.
struct RowBinding {
    RawPortCounters* counters = nullptr;
    PortStatistics* statistics = nullptr;
    // The source is the Zenith family's (its rows gate that family's polling).
    bool zenith = false;
};

class PortRow {
  public:
    // A row over a source's entry; the name is cut to kMaxPortName characters.
    PortRow(std::string_view name, const RowBinding& binding);
    // A row for a port no available driver knows: private zero-filled blocks, marked label.
    explicit PortRow(std::string_view name);

    PortRow(const PortRow&) = delete;
    PortRow& operator=(const PortRow&) = delete;

    // The port name without the marker, as session files store it.
    const std::string& Name() const { return name_; }
    // What the table shows: the name, followed by the marker for an unbound row. Kept as a
    // string of its own, since an 11-character name and the marker do not fit a 12-byte field.
    const std::string& Label() const { return label_; }
    bool Bound() const { return owned_ == nullptr; }
    bool Zenith() const { return zenith_; }

    RawPortCounters* Counters() const { return counters_; }
    PortStatistics* Statistics() const { return statistics_; }

    // The number the table sorts by: the leading digits of the name once every "COM" is
    // removed; 0 for a name without them.
    unsigned long long SortNumber() const { return sortNumber_; }

  private:
    struct OwnedBlocks {
        RawPortCounters counters;
        PortStatistics statistics;
    };

    std::string name_;
    std::string label_;
    RawPortCounters* counters_ = nullptr;
    PortStatistics* statistics_ = nullptr;
    std::unique_ptr<OwnedBlocks> owned_;
    bool zenith_ = false;
    unsigned long long sortNumber_ = 0;
};

// The sort number of a name (see PortRow::SortNumber).
unsigned long long PortSortNumber(std::string_view name);

// A label with the marker removed: the part before the first space or "<" when the label
// carries the marker, else the label unchanged.
std::string_view WithoutMarker(std::string_view label);
