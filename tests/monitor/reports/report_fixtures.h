#pragma once
// Tables whose text copies the golden files in golden/ hold, a private program directory
// (QUENBY_PROGRAM_DIR) and file helpers for the report tests.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "monitor/table/port_table.h"
#include "platform/ui/prompts.h"

#ifndef REPORTS_GOLDEN_DIR
#error "the build names the golden files' folder"
#endif

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline std::string Golden(const std::string& name) {
    return ReadText(std::string(REPORTS_GOLDEN_DIR) + "/" + name);
}

// A fresh program directory for the test's life.
class TempProgramDir {
  public:
    TempProgramDir() {
        char pattern[] = "/tmp/quenby-reports-XXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("QUENBY_PROGRAM_DIR", dir_.c_str(), 1);
    }
    ~TempProgramDir() {
        unsetenv("QUENBY_PROGRAM_DIR");
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    TempProgramDir(const TempProgramDir&) = delete;
    TempProgramDir& operator=(const TempProgramDir&) = delete;

    const std::string& Path() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  private:
    std::string dir_;
};

// The source blocks the rows point into, at stable addresses.
struct ReportTable {
    std::deque<RawPortCounters> counters;
    std::deque<PortStatistics> statistics;
    PortTable table;

    PortRow& AddBound(const char* name) {
        counters.emplace_back();
        statistics.emplace_back();
        table.AddRow(std::make_unique<PortRow>(
            name, RowBinding{&counters.back(), &statistics.back(), false}));
        return table.Row(table.FindRow(name));
    }
};

// The table of golden/default_columns.txt at a 2-second polling interval: COM2, open with
// every line up and traffic on one direction, and COM9, which no driver knows.
inline void FillDefaultTable(ReportTable& t) {
    t.table.SetDefaultColumns();
    PortRow& com2 = t.AddBound("COM2");
    com2.Counters()->statusFlags = 0x013B;
    PortStatistics& s = *com2.Statistics();
    s.TxTotal = 123456;
    s.RxTotal = 654321;
    s.OverrunErrors = 1;
    s.FramingErrors = 2;
    s.ParityErrors = 3;
    s.TxDelta = 200;  // 2000 bits over 2 s in one direction: 1000 bit/s
    t.table.AddRow(std::make_unique<PortRow>("COM9"));
}

// Records like the scripted service and stays "open" while `eachBox` runs, as a modal box's
// own event loop runs whatever falls due before the user answers; the first box also runs
// `whileOpen`. Counts how many boxes were open at once.
class ModalPrompts : public platform::ScriptedPrompts {
  public:
    int MessageBox(const std::string& text, const std::string& caption, UINT style) override {
        ++open;
        maxOpen = std::max(maxOpen, open);
        const int answer = ScriptedPrompts::MessageBox(text, caption, style);
        if (eachBox) {
            eachBox();
        }
        if (whileOpen) {
            const auto scenario = std::move(whileOpen);
            whileOpen = nullptr;
            scenario();
        }
        --open;
        return answer;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& r : Records()) {
            texts.push_back(r.text);
        }
        return texts;
    }

    std::function<void()> eachBox;
    std::function<void()> whileOpen;
    int open = 0;
    int maxOpen = 0;
};
