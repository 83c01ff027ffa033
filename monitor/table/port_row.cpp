#include "monitor/table/port_row.h"

#include <limits>

namespace {

std::string_view Cut(std::string_view name) {
    return name.substr(0, kMaxPortName);
}

}  // namespace

PortRow::PortRow(std::string_view name, const RowBinding& binding)
    : name_(Cut(name)),
      label_(name_),
      counters_(binding.counters),
      statistics_(binding.statistics),
      zenith_(binding.zenith),
      sortNumber_(PortSortNumber(name_)) {}

PortRow::PortRow(std::string_view name)
    : name_(Cut(name)),
      label_(name_ + std::string(NotAvailableMarker)),
      owned_(std::make_unique<OwnedBlocks>()),
      sortNumber_(PortSortNumber(name_)) {
    counters_ = &owned_->counters;
    statistics_ = &owned_->statistics;
}

unsigned long long PortSortNumber(std::string_view name) {
    std::string rest;
    rest.reserve(name.size());
    while (!name.empty()) {
        if (name.starts_with("COM")) {
            name.remove_prefix(3);
        } else {
            rest.push_back(name.front());
            name.remove_prefix(1);
        }
    }
    unsigned long long value = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') {
            break;
        }
        const auto digit = static_cast<unsigned long long>(c - '0');
        if (value > (std::numeric_limits<unsigned long long>::max() - digit) / 10) {
            return std::numeric_limits<unsigned long long>::max();
        }
        value = value * 10 + digit;
    }
    return value;
}

std::string_view WithoutMarker(std::string_view label) {
    if (label.find(NotAvailableMarker) == std::string_view::npos) {
        return label;
    }
    return label.substr(0, label.find_first_of(" <"));
}
