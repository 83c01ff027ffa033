// Throughput of RenderReceived on a display close to its 102400-character limit, in blocks of
// 1024 bytes as the receive worker hands them on: plain text appended at the end, lines written
// over the middle of the text, markers, hexadecimal, and blocks with backspaces. Goals: at least
// 50 MB/s for plain text and 20 MB/s for hexadecimal.
//
//   bench_render_received [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <string>

#include "terminal/session/display_buffer.h"
#include "terminal/session/render_received.h"

namespace {

constexpr std::size_t kBlock = 1024;

std::string Lines(std::size_t length) {
    std::string text;
    while (text.size() < length) {
        for (int c = 0; c < 78 && text.size() < length; ++c)
            text += static_cast<char>('A' + (text.size() + c) % 26);
        text += "\r\n";
    }
    text.resize(length);
    return text;
}

std::string Block(const std::string& pattern) {
    std::string block;
    while (block.size() < kBlock)
        block += pattern;
    block.resize(kBlock);
    return block;
}

// Keeps the display between `base` characters and the limit, so every block lands on a nearly
// full display; refilling is not timed.
class NearlyFull {
  public:
    NearlyFull(std::size_t base, std::size_t caret, std::size_t room)
        : text_(Lines(base)), caret_(caret), room_(room) {
        Reset();
    }

    void Keep(benchmark::State& state) {
        DisplayBuffer::Locked edit = display_.Lock();
        const bool full = edit.GetTextLength() + room_ > DisplayBuffer::kTextLimit;
        // Writing over the middle must not run into the end of the text.
        const bool pastMiddle =
            caret_ < text_.size() && edit.SelectionStart() + room_ > edit.GetTextLength();
        if (!full && !pastMiddle)
            return;
        state.PauseTiming();
        edit.SetText(text_);
        edit.SetSel(static_cast<long long>(caret_), static_cast<long long>(caret_));
        state.ResumeTiming();
    }

    DisplayBuffer& Display() { return display_; }

  private:
    void Reset() {
        display_.SetText(text_);
        display_.SetSel(static_cast<long long>(caret_), static_cast<long long>(caret_));
    }

    DisplayBuffer display_;
    std::string text_;
    std::size_t caret_;
    std::size_t room_;
};

void Run(benchmark::State& state, const std::string& block, const RenderModes& modes,
         std::size_t base, std::size_t caret, std::size_t room) {
    NearlyFull display(base, caret, room);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(block.data()),
                                              block.size());
    for (auto _ : state) {
        display.Keep(state);
        RenderReceived(display.Display(), bytes, modes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * block.size()));
    benchmark::DoNotOptimize(display.Display().GetTextLength());
}

void BM_PlainAppend(benchmark::State& state) {
    Run(state, Block("The quick brown fox jumps over the lazy dog 0123456789\r\n"), {}, 90000,
        90000, 2 * kBlock);
}

void BM_PlainOverwriteMidText(benchmark::State& state) {
    Run(state, Block(Lines(80).substr(0, 78) + "\r\n"), {}, 100000, 40000, 2 * kBlock);
}

void BM_Markers(benchmark::State& state) {
    RenderModes modes;
    modes.showCrLfBs = true;
    Run(state, Block(std::string("reading 42\r\n\x01\xE9 ok\t", 19)), modes, 80000, 80000,
        8 * kBlock);
}

void BM_Hex(benchmark::State& state) {
    RenderModes modes;
    modes.hexDisplay = true;
    std::string pattern;
    for (int value = 0; value < 256; ++value)
        pattern += static_cast<char>(value);
    Run(state, Block(pattern), modes, 60000, 60000, 4 * kBlock);
}

void BM_Backspaces(benchmark::State& state) {
    Run(state, Block("typing\b\b\b\b\b\bedited text\b \b\b \bok\r\n"), {}, 90000, 90000,
        2 * kBlock);
}

BENCHMARK(BM_PlainAppend);
BENCHMARK(BM_PlainOverwriteMidText);
BENCHMARK(BM_Markers);
BENCHMARK(BM_Hex);
BENCHMARK(BM_Backspaces);

}  // namespace

BENCHMARK_MAIN();
