#pragma once
// Stand-in for a driver source in session tests: the ports it knows, each with counters and a
// statistics record at a stable address, found by name as the view's lookups find them.

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/sessions/session_file.h"

class FakeSource {
  public:
    explicit FakeSource(std::initializer_list<const char*> names, bool zenith = false)
        : zenith_(zenith) {
        for (const char* name : names) {
            counters_.emplace_back();
            statistics_.emplace_back();
            index_[name] = counters_.size() - 1;
        }
    }
    std::optional<RowBinding> Bind(std::string_view name) {
        const auto it = index_.find(std::string(name));
        if (it == index_.end()) {
            return std::nullopt;
        }
        return RowBinding{&counters_[it->second], &statistics_[it->second], zenith_};
    }
    RowBinder Binder() {
        return [this](std::string_view name) { return Bind(name); };
    }
    PortStatistics& Statistics(const char* name) { return statistics_[index_.at(name)]; }

  private:
    bool zenith_;
    std::deque<RawPortCounters> counters_;
    std::deque<PortStatistics> statistics_;
    std::map<std::string, std::size_t> index_;
};
