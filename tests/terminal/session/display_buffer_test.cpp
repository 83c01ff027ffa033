#include "terminal/session/display_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/system/last_error.h"
#include "tests/terminal/session/render_test_support.h"

namespace {

struct SelCase {
    long long start;
    long long end;
    std::size_t expectedStart;
    std::size_t expectedEnd;
};

TEST(DisplayBufferTest, SetSelClampsSwapsAndKeepsLineBreaksWhole) {
    // "AB\r\nCD": 6 characters, the line break at 2 and 3.
    const std::vector<SelCase> cases = {
        {0, 0, 0, 0},   {1, 5, 1, 5}, {5, 1, 1, 5}, {0, -1, 0, 6}, {10, 20, 6, 6},
        {4, 100, 4, 6}, {3, 3, 2, 2}, {1, 3, 1, 2}, {3, 6, 2, 6},  {2, 4, 2, 4},
    };
    for (const SelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << ".." << c.end);
        DisplayBuffer display;
        Prepare(display, "AB\r\nCD", c.start, c.end);
        const Screen screen = ReadScreen(display);
        EXPECT_EQ(screen.selStart, c.expectedStart);
        EXPECT_EQ(screen.selEnd, c.expectedEnd);
    }
    // A start of -1 drops the selection and leaves the caret at its end.
    DisplayBuffer display;
    Prepare(display, "AB\r\nCD", 1, 5);
    display.SetSel(-1, 0);
    EXPECT_EQ(ReadScreen(display), Caret("AB\r\nCD", 5));
}

struct ReplaceCase {
    const char* name;
    std::size_t filled;
    long long selStart;
    long long selEnd;
    std::size_t inserted;
    bool fits;
};

TEST(DisplayBufferTest, ReplaceSelAtTheLimit) {
    constexpr std::size_t kLimit = DisplayBuffer::kTextLimit;
    const std::vector<ReplaceCase> cases = {
        {"fillsExactly", kLimit - 1, kLimit - 1, kLimit - 1, 1, true},
        {"oneTooMany", kLimit - 1, kLimit - 1, kLimit - 1, 2, false},
        {"fullAppend", kLimit, kLimit, kLimit, 1, false},
        {"fullEmptyInsert", kLimit, kLimit, kLimit, 0, true},
        {"fullReplaceSameLength", kLimit, 10, 12, 2, true},
        {"fullReplaceShorter", kLimit, 10, 12, 1, true},
        {"fullReplaceLonger", kLimit, 10, 12, 3, false},
        {"emptyWholeLimit", 0, 0, 0, kLimit, true},
        {"emptyOverLimit", 0, 0, 0, kLimit + 1, false},
    };
    for (const ReplaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayBuffer display;
        Prepare(display, std::string(c.filled, 'a'), c.selStart, c.selEnd);
        const std::string text(c.inserted, 'b');
        const std::size_t expectedLength =
            c.fits ? c.filled - static_cast<std::size_t>(c.selEnd - c.selStart) + c.inserted : 0;
        EXPECT_EQ(display.ReplaceSel(text), c.fits);
        const Screen screen = ReadScreen(display);
        EXPECT_EQ(screen.text.size(), expectedLength);
        const std::size_t caret = c.fits ? static_cast<std::size_t>(c.selStart) + c.inserted : 0;
        EXPECT_EQ(screen.selStart, caret);
        EXPECT_EQ(screen.selEnd, caret);
        if (c.fits && c.inserted > 0) {
            EXPECT_EQ(screen.text.substr(static_cast<std::size_t>(c.selStart), c.inserted), text);
        }
    }
}

TEST(DisplayBufferTest, SetTextBeyondTheLimitIsRefused) {
    DisplayBuffer display;
    Prepare(display, "keep", 2, 2);
    platform::SetLastError(0);
    EXPECT_FALSE(display.SetText(std::string(DisplayBuffer::kTextLimit + 1, 'x')));
    EXPECT_EQ(platform::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ReadScreen(display), Caret("keep", 2));
    EXPECT_TRUE(display.SetText(std::string(DisplayBuffer::kTextLimit, 'x')));
    EXPECT_EQ(display.GetTextLength(), DisplayBuffer::kTextLimit);
}

std::size_t NaiveLineCount(const std::string& text) {
    std::size_t lines = 1;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i - 1] == '\r' && text[i] == '\n')
            ++lines;
    }
    return lines;
}

TEST(DisplayBufferTest, LineCountCountsCrLfBreaks) {
    const std::vector<std::pair<std::string, std::size_t>> cases = {
        {"", 1},        {"A", 1},        {"A\r\n", 2},    {"A\r\nB\r\nC", 3},
        {"A\nB\rC", 1}, {"\r\n\r\n", 3}, {"\r\r\n\n", 2},
    };
    for (const auto& [text, lines] : cases) {
        DisplayBuffer display;
        display.SetText(text);
        EXPECT_EQ(display.GetLineCount(), lines) << text.size();
    }
}

// Replacements that make and break line breaks at their edges keep the count right.
TEST(DisplayBufferTest, LineCountFollowsRandomEdits) {
    std::mt19937 random(17);
    const std::vector<std::string> pieces = {"\r", "\n", "\r\n", "a", "b\r", "\nc", ""};
    DisplayBuffer display;
    for (int step = 0; step < 3000; ++step) {
        DisplayBuffer::Locked edit = display.Lock();
        const auto length = static_cast<long long>(edit.GetTextLength());
        const long long a = length == 0 ? 0 : static_cast<long long>(random() % (length + 1));
        const long long b = length == 0 ? 0 : static_cast<long long>(random() % (length + 1));
        edit.SetSel(a, b);
        if (random() % 50 == 0)
            edit.Clear();
        else
            edit.ReplaceSel(pieces[random() % pieces.size()]);
        ASSERT_EQ(edit.GetLineCount(), NaiveLineCount(edit.GetText())) << "step " << step;
    }
}

TEST(DisplayBufferTest, ChangesTellTheFirstChangedPositionAndReset) {
    DisplayBuffer display;
    Prepare(display, "0123456789", 10, 10);
    display.TakeChanges();

    display.SetSel(7, 7);
    display.ReplaceSel("x");
    display.SetSel(3, 4);
    display.ReplaceSel("yy");
    DisplayBuffer::Changes changes = display.TakeChanges();
    EXPECT_TRUE(changes.textChanged);
    EXPECT_EQ(changes.firstChanged, 3u);
    EXPECT_TRUE(changes.selectionChanged);
    EXPECT_EQ(changes.selectionStart, 5u);
    EXPECT_EQ(changes.length, 12u);

    const std::uint64_t before = changes.generation;
    display.SetSel(1, 2);
    changes = display.TakeChanges();
    EXPECT_FALSE(changes.textChanged);
    EXPECT_TRUE(changes.selectionChanged);
    EXPECT_GT(changes.generation, before);

    // Selecting what is already selected is no change.
    display.SetSel(1, 2);
    changes = display.TakeChanges();
    EXPECT_FALSE(changes.textChanged || changes.selectionChanged);
}

TEST(DisplayBufferTest, NotifierRunsOncePerBatch) {
    DisplayBuffer display;
    int calls = 0;
    display.SetChangeNotifier([&] { ++calls; });
    RenderModes plain;
    Feed(display, "abc", plain);
    Feed(display, "def", plain);
    display.SetSel(0, 0);
    EXPECT_EQ(calls, 1);
    display.TakeChanges();
    Feed(display, "g", plain);
    EXPECT_EQ(calls, 2);
    // A notifier that takes the changes at once leaves the next change to notify again.
    display.SetChangeNotifier([&] {
        ++calls;
        display.TakeChanges();
    });
    display.TakeChanges();
    Feed(display, "h", plain);
    Feed(display, "i", plain);
    EXPECT_EQ(calls, 4);
}

// Three writers (the receive worker, the window's thread, the event watcher) and the widget
// reading: every line written in one block is found whole, and each snapshot the widget takes
// consists of whole lines only.
TEST(DisplayBufferTest, ConcurrentWritersNeverInterleave) {
    DisplayBuffer display;
    constexpr int kLines = 400;
    std::atomic<bool> done{false};
    std::atomic<int> badSnapshots{0};
    std::thread reader([&] {
        while (!done.load()) {
            const std::string text = display.GetText();
            if (!text.empty() && !text.ends_with("\r\n"))
                ++badSnapshots;
            display.TakeChanges();
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&display, w] {
            RenderModes plain;
            for (int i = 0; i < kLines; ++i) {
                const std::string line =
                    "writer " + std::to_string(w) + " line " + std::to_string(i) + "\n";
                Feed(display, line, plain);
            }
        });
    }
    for (std::thread& t : writers)
        t.join();
    done = true;
    reader.join();

    EXPECT_EQ(badSnapshots.load(), 0);
    const std::string text = display.GetText();
    std::set<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find("\r\n", from);
        ASSERT_NE(end, std::string::npos);
        lines.insert(text.substr(from, end - from));
        from = end + 2;
    }
    EXPECT_EQ(lines.size(), 3u * kLines);
    EXPECT_TRUE(lines.count("writer 2 line 399"));
    EXPECT_EQ(display.GetLineCount(), 3u * kLines + 1);
}

}  // namespace
