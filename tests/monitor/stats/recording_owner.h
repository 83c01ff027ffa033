#pragma once
// A counter-source owner that records what the sources tell it: posted messages and message
// boxes, with report settings and free disk space chosen by the test.

#include <string>
#include <vector>

#include "monitor/drivers/counter_source_owner.h"

struct RecordedBox {
    std::string text;
    std::string caption;
    UINT icon = 0;
};

class RecordingOwner : public CounterSourceOwner {
  public:
    void PostMonitorMessage(UINT msg) override { posted.push_back(msg); }
    void ShowMessageBox(const std::string& text, const std::string& caption, UINT icon) override {
        boxes.push_back({text, caption, icon});
    }
    ReportSettings Settings() override { return settings; }
    double FreeDiskBytes() override {
        ++diskQueries;
        return freeBytes;
    }

    int Count(UINT msg) const {
        int n = 0;
        for (UINT m : posted) {
            n += m == msg ? 1 : 0;
        }
        return n;
    }

    std::vector<UINT> posted;
    std::vector<RecordedBox> boxes;
    ReportSettings settings;
    double freeBytes = 1e12;
    int diskQueries = 0;
};
