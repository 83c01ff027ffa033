// The port's display widget on the offscreen platform: the characters keys give the port, caret
// moves and clicks written into the display buffer, text from writer threads, what is repainted
// and how often, and the widget's end while a writer keeps going.
#include "terminal/session/qt/port_edit.h"

#include <gtest/gtest.h>

#include <QBackingStore>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPixmap>
#include <QRegion>
#include <QScrollBar>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "terminal/session/render_received.h"
#include "tests/support/qt/pump_until.h"

namespace {

using Typed = std::vector<std::pair<unsigned, unsigned>>;
using Selected = std::pair<std::size_t, std::size_t>;

Selected Sel(std::size_t start, std::size_t end) {
    return {start, end};
}

struct Key {
    int key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

// Received bytes as the receive worker writes them, in plain text whatever the menus say.
void Receive(DisplayBuffer& display, std::string_view bytes) {
    RenderReceived(display,
                   std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                   RenderModes{});
}

// Records what the toolkit asks a widget to paint, and how many times.
struct PaintSpy : QObject {
    QRegion painted;
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
        }
        return false;
    }
    void Reset() {
        painted = QRegion();
        paints = 0;
    }
};

constexpr Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers kAlt = Qt::AltModifier;

class PortEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        display_ = std::make_shared<DisplayBuffer>();
        edit_ = std::make_unique<CPortEdit>(display_);
        edit_->resize(480, 320);
        edit_->show();
        edit_->SetCharHandler([this](unsigned code, unsigned scan) {
            typed_.push_back({code, scan});
        });
    }

    void Show(std::string_view text, std::size_t caret) {
        ASSERT_TRUE(display_->SetText(text));
        display_->SetSel(static_cast<long long>(caret), static_cast<long long>(caret));
        edit_->Refresh();
    }

    // Delivers a key press the way the application does; true when the widget took it.
    bool Press(int key, Qt::KeyboardModifiers modifiers = {}, const char16_t* text = u"",
               quint32 nativeScanCode = 0) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, nativeScanCode, 0, 0,
                        QString::fromUtf16(text));
        QCoreApplication::sendEvent(edit_.get(), &event);
        return event.isAccepted();
    }

    Selected Selection() {
        DisplayBuffer::Locked lock = display_->Lock();
        return {lock.SelectionStart(), lock.SelectionEnd()};
    }

    // The viewport point in the middle-left part of a character cell.
    QPointF Cell(double column, int line) const {
        const qreal width = QFontMetricsF(edit_->font()).horizontalAdvance(QLatin1Char('0'));
        const int height = QFontMetrics(edit_->font()).lineSpacing();
        return QPointF(2 + (column + 0.4) * width, (line + 0.5) * height);
    }

    void Mouse(QEvent::Type type, QPointF at, Qt::MouseButton button,
               Qt::KeyboardModifiers modifiers = {}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton
                                      : type == QEvent::MouseMove        ? Qt::LeftButton
                                                                         : button;
        QMouseEvent event(type, at, edit_->viewport()->mapToGlobal(at), button, held, modifiers);
        QCoreApplication::sendEvent(edit_->viewport(), &event);
    }

    std::shared_ptr<DisplayBuffer> display_;
    std::unique_ptr<CPortEdit> edit_;
    Typed typed_;
};

struct KeyRow {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    const char16_t* text;
    quint32 nativeScanCode;
    Typed expected;
    bool taken;
};

TEST_F(PortEditTest, KeysGiveThePortTheirCharactersAndNeverEditTheText) {
    const KeyRow rows[] = {
        {"letter", Qt::Key_A, {}, u"a", 0, {{0x61, 0x1E}}, true},
        {"shifted letter", Qt::Key_A, kShift, u"A", 0, {{0x41, 0x1E}}, true},
        {"digit", Qt::Key_7, {}, u"7", 0, {{0x37, 0x08}}, true},
        {"keypad digit", Qt::Key_7, Qt::KeypadModifier, u"7", 0, {{0x37, 0x47}}, true},
        {"space", Qt::Key_Space, {}, u" ", 0, {{0x20, 0x39}}, true},
        {"Latin-1 letter", Qt::Key_Eacute, {}, u"\u00e9", 0, {{0xE9, 0}}, true},
        {"native scan code wins", Qt::Key_X, {}, u"x", 0x2D, {{0x78, 0x2D}}, true},
        {"Ctrl+C", Qt::Key_C, kCtrl, u"c", 0, {{3, 0x2E}}, true},
        {"Ctrl+C as a control code", Qt::Key_C, kCtrl, u"\x03", 0, {{3, 0x2E}}, true},
        {"Ctrl+H", Qt::Key_H, kCtrl, u"h", 0, {{8, 0x23}}, true},
        {"Ctrl+O", Qt::Key_O, kCtrl, u"o", 0, {{15, 0x18}}, true},
        {"Ctrl+V", Qt::Key_V, kCtrl, u"v", 0, {{22, 0x2F}}, true},
        {"Backspace", Qt::Key_Backspace, {}, u"\b", 0, {{8, 0x0E}}, true},
        {"Ctrl+Backspace", Qt::Key_Backspace, kCtrl, u"", 0, {{0x7F, 0x0E}}, true},
        {"Ctrl+Enter", Qt::Key_Return, kCtrl, u"", 0, {{0x0A, 0x1C}}, true},
        {"Ctrl+[", Qt::Key_BracketLeft, kCtrl, u"", 0, {{0x1B, 0x1A}}, true},
        {"Return", Qt::Key_Return, {}, u"\r", 0, {{13, 0x1C}}, true},
        {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier, u"\r", 0, {{13, 0x1C}}, true},
        {"Tab", Qt::Key_Tab, {}, u"\t", 0, {{9, 0x0F}}, true},
        {"Escape", Qt::Key_Escape, {}, u"\x1b", 0, {{27, 0x01}}, true},
        {"Delete is swallowed", Qt::Key_Delete, {}, u"\x7f", 0, {}, true},
        {"F6", Qt::Key_F6, {}, u"", 0, {}, false},
        {"Shift+F6", Qt::Key_F6, kShift, u"", 0, {}, false},
        {"Alt+F opens a menu", Qt::Key_F, kAlt, u"f", 0, {}, false},
        {"Ctrl+1", Qt::Key_1, kCtrl, u"1", 0, {}, false},
        {"beyond Latin-1", Qt::Key_unknown, {}, u"\u20ac", 0, {}, false},
    };
    Show("hello\r\nworld", 3);
    for (const KeyRow& row : rows) {
        SCOPED_TRACE(row.name);
        // The keys the display takes win over the frame's accelerators (Ctrl+C, Ctrl+H, Ctrl+O,
        // Ctrl+V); the others, function keys among them, stay the frame's.
        QKeyEvent override(QEvent::ShortcutOverride, row.key, row.modifiers,
                           QString::fromUtf16(row.text));
        override.ignore();  // as the shortcut map sends it
        QCoreApplication::sendEvent(edit_.get(), &override);
        EXPECT_EQ(override.isAccepted(), row.taken);
        typed_.clear();
        EXPECT_EQ(Press(row.key, row.modifiers, row.text, row.nativeScanCode), row.taken);
        EXPECT_EQ(typed_, row.expected);
        edit_->Refresh();
        EXPECT_EQ(display_->GetText(), "hello\r\nworld");
        EXPECT_EQ(Selection(), Sel(3, 3));
    }
}

struct MoveRow {
    const char* name;
    std::size_t caret;
    std::vector<Key> keys;
    std::size_t selStart;
    std::size_t selEnd;
};

TEST_F(PortEditTest, CaretKeysMoveTheBuffersSelection) {
    // Line starts 0, 7, 13 and 15; every CR LF is two positions.
    const std::string text = "ab cd\r\nefgh\r\n\r\nxy";
    const MoveRow rows[] = {
        {"right", 4, {{Qt::Key_Right}}, 5, 5},
        {"right over a line break", 5, {{Qt::Key_Right}}, 7, 7},
        {"left over a line break", 7, {{Qt::Key_Left}}, 5, 5},
        {"left at the start", 0, {{Qt::Key_Left}}, 0, 0},
        {"right at the end", 17, {{Qt::Key_Right}}, 17, 17},
        {"down", 1, {{Qt::Key_Down}}, 8, 8},
        {"down to an empty line", 10, {{Qt::Key_Down}}, 13, 13},
        {"down keeps its column", 10, {{Qt::Key_Down}, {Qt::Key_Down}}, 17, 17},
        {"down and back up",
         10,
         {{Qt::Key_Down}, {Qt::Key_Down}, {Qt::Key_Up}, {Qt::Key_Up}},
         10,
         10},
        {"up on the first line", 1, {{Qt::Key_Up}}, 1, 1},
        {"home", 9, {{Qt::Key_Home}}, 7, 7},
        {"end stops before the line break", 8, {{Qt::Key_End}}, 11, 11},
        {"ctrl+home", 9, {{Qt::Key_Home, kCtrl}}, 0, 0},
        {"ctrl+end", 2, {{Qt::Key_End, kCtrl}}, 17, 17},
        {"shift+right twice", 1, {{Qt::Key_Right, kShift}, {Qt::Key_Right, kShift}}, 1, 3},
        {"shift+left", 1, {{Qt::Key_Left, kShift}}, 0, 1},
        {"shift+down", 1, {{Qt::Key_Down, kShift}}, 1, 8},
        {"shift back over the anchor",
         3,
         {{Qt::Key_Right, kShift}, {Qt::Key_Left, kShift}, {Qt::Key_Left, kShift}},
         2,
         3},
        {"left drops the selection at its start",
         1,
         {{Qt::Key_Right, kShift}, {Qt::Key_Right, kShift}, {Qt::Key_Left}},
         1,
         1},
        {"right drops the selection at its end",
         1,
         {{Qt::Key_Right, kShift}, {Qt::Key_Right, kShift}, {Qt::Key_Right}},
         3,
         3},
        {"shift+ctrl+end", 7, {{Qt::Key_End, kShift | kCtrl}}, 7, 17},
        {"word right", 0, {{Qt::Key_Right, kCtrl}}, 3, 3},
        {"word right to the line end", 3, {{Qt::Key_Right, kCtrl}}, 5, 5},
        {"word right over the line break", 5, {{Qt::Key_Right, kCtrl}}, 7, 7},
        {"word left", 5, {{Qt::Key_Left, kCtrl}}, 3, 3},
        {"word left to the line start", 9, {{Qt::Key_Left, kCtrl}}, 7, 7},
        {"page down goes to the last line", 1, {{Qt::Key_PageDown}}, 16, 16},
        {"page up goes to the first line", 16, {{Qt::Key_PageUp}}, 1, 1},
    };
    for (const MoveRow& row : rows) {
        SCOPED_TRACE(row.name);
        Show(text, row.caret);
        for (const Key& key : row.keys)
            EXPECT_TRUE(Press(key.key, key.modifiers));
        EXPECT_EQ(Selection(), Sel(row.selStart, row.selEnd));
        EXPECT_EQ(display_->GetText(), text);
        EXPECT_TRUE(typed_.empty());
    }
}

TEST_F(PortEditTest, ReceivedTextGoesWhereTheUserPutTheCaret) {
    Show("first\r\nsecond\r\nthird", 0);
    // A writer moves the caret to the end without the widget having repainted: the user's
    // move starts from there, not from what the widget showed last.
    display_->SetSel(20, 20);
    ASSERT_TRUE(Press(Qt::Key_Up));
    ASSERT_TRUE(Press(Qt::Key_Home));
    std::thread writer([this] { Receive(*display_, "SEC"); });
    writer.join();
    EXPECT_EQ(display_->GetText(), "first\r\nSECond\r\nthird");
    edit_->Refresh();
    EXPECT_EQ(edit_->CaretLine(), 1);
}

TEST_F(PortEditTest, ClicksAndDragsPlaceTheCaret) {
    const std::string text = "ab cd\r\nefgh\r\n\r\nxy";
    const struct {
        const char* name;
        double column;
        int line;
        Qt::KeyboardModifiers modifiers;
        std::size_t selStart;
        std::size_t selEnd;
    } rows[] = {
        {"on a character", 1, 0, {}, 1, 1},
        {"second line", 2, 1, {}, 9, 9},
        {"past the end of a line stops before the CR", 30, 0, {}, 5, 5},
        {"on an empty line", 4, 2, {}, 13, 13},
        {"below the last line", 1, 12, {}, 16, 16},
        {"left of the text", -3, 1, {}, 7, 7},
        {"shift extends from the caret", 2, 1, kShift, 4, 9},
    };
    Selected seenByHandler;
    edit_->SetMousePressHandler([&] { seenByHandler = Selection(); });
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Show(text, 4);
        seenByHandler = Sel(99, 99);
        Mouse(QEvent::MouseButtonPress, Cell(row.column, row.line), Qt::LeftButton, row.modifiers);
        Mouse(QEvent::MouseButtonRelease, Cell(row.column, row.line), Qt::LeftButton);
        // The handler runs before the widget has moved anything.
        EXPECT_EQ(seenByHandler, Sel(4, 4));
        EXPECT_EQ(Selection(), Sel(row.selStart, row.selEnd));
    }

    Show(text, 0);
    Mouse(QEvent::MouseButtonPress, Cell(1, 0), Qt::LeftButton);
    Mouse(QEvent::MouseMove, Cell(2, 1), Qt::NoButton);
    Mouse(QEvent::MouseButtonRelease, Cell(2, 1), Qt::LeftButton);
    EXPECT_EQ(Selection(), Sel(1, 9));
    // Dragging back before the anchor selects the other way.
    Mouse(QEvent::MouseButtonPress, Cell(2, 1), Qt::LeftButton);
    Mouse(QEvent::MouseMove, Cell(0, 0), Qt::NoButton);
    Mouse(QEvent::MouseButtonRelease, Cell(0, 0), Qt::LeftButton);
    EXPECT_EQ(Selection(), Sel(0, 9));
}

TEST_F(PortEditTest, RightButtonAsksForTheContextMenuWithoutMovingTheCaret) {
    Show("abc\r\ndef", 2);
    int presses = 0;
    std::vector<QPoint> requests;
    edit_->SetMousePressHandler([&] { ++presses; });
    edit_->SetContextMenuHandler([&](QPoint at) { requests.push_back(at); });
    Mouse(QEvent::MouseButtonPress, Cell(1, 1), Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, Cell(1, 1), Qt::RightButton);
    const QPoint at = Cell(1, 1).toPoint();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, edit_->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(edit_->viewport(), &menu);
    EXPECT_EQ(presses, 0);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], QCursor::pos());
    EXPECT_EQ(Selection(), Sel(2, 2));
}

TEST_F(PortEditTest, LineBreaksMadeOrSplitAtTheEdgeOfAChangeAreCounted) {
    const struct {
        const char* name;
        const char* text;
        std::size_t from;
        std::size_t to;
        const char* replacement;
        int lastLine;
    } rows[] = {
        {"LF after a lone CR", "ab\r", 3, 3, "\n", 1},
        {"LF put before text after a lone CR", "a\rb", 2, 2, "\nc", 1},
        {"CR before a lone LF", "a\nb", 1, 1, "\r", 1},
        {"a selection from inside a line break takes it whole", "a\r\nb\r\nc", 2, 3, "", 1},
        {"a line break replaced by text", "a\r\nb", 1, 3, "xy", 0},
        {"a line break between two pieces", "a\rb\nc", 2, 3, "", 1},
        {"line breaks inserted in the middle", "first\r\nlast", 3, 3, "\r\n\r\n", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Show(row.text, 0);
        display_->SetSel(static_cast<long long>(row.from), static_cast<long long>(row.to));
        display_->ReplaceSel(row.replacement);
        edit_->Refresh();
        ASSERT_TRUE(Press(Qt::Key_End, kCtrl));
        EXPECT_EQ(edit_->CaretLine(), row.lastLine);
    }
}

TEST_F(PortEditTest, TabIsACharacterForThePortNotAMoveToTheNextWidget) {
    QWidget window;
    auto* edit = new CPortEdit(display_, &window);
    auto* other = new QLineEdit(&window);
    other->move(0, 200);
    window.show();
    edit->setFocus();
    Typed typed;
    edit->SetCharHandler([&](unsigned code, unsigned scan) { typed.push_back({code, scan}); });
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    QCoreApplication::sendEvent(edit, &tab);
    EXPECT_EQ(typed, (Typed{{9, 0x0F}}));
}

TEST_F(PortEditTest, RepaintsOnlyTheLinesThatChanged) {
    PaintSpy spy;
    const int height = QFontMetrics(edit_->font()).lineSpacing();
    auto row = [&](int line) { return QRect(10, line * height + 1, 10, height - 2); };
    Show("0\r\n1\r\n2\r\n3\r\n4\r\n5", 15);
    ASSERT_TRUE(PumpUntil([&] { return !edit_->viewport()->visibleRegion().isEmpty(); }));
    QCoreApplication::processEvents();
    edit_->viewport()->installEventFilter(&spy);

    // Overwriting the last line repaints it and not the lines above.
    display_->SetSel(15, 16);
    display_->ReplaceSel("x");
    edit_->Refresh();
    ASSERT_TRUE(PumpUntil([&] { return spy.painted.intersects(row(5)); }));
    EXPECT_FALSE(spy.painted.intersects(row(0)));
    EXPECT_FALSE(spy.painted.intersects(row(3)));

    // Overwriting a character in the middle repaints its line, not the unchanged lines after.
    spy.Reset();
    display_->SetSel(6, 7);
    display_->ReplaceSel("y");
    edit_->Refresh();
    ASSERT_TRUE(PumpUntil([&] { return spy.painted.intersects(row(2)); }));
    EXPECT_FALSE(spy.painted.intersects(row(1)));
    EXPECT_FALSE(spy.painted.intersects(row(3)));
    EXPECT_FALSE(spy.painted.intersects(row(4)));
    display_->SetSel(15, 15);
    edit_->Refresh();

    // A line break inserted on line 2 moves every line after it.
    spy.painted = QRegion();
    display_->SetSel(7, 7);
    display_->ReplaceSel("\r\n");
    edit_->Refresh();
    ASSERT_TRUE(PumpUntil([&] { return spy.painted.intersects(row(6)); }));
    EXPECT_TRUE(spy.painted.intersects(row(3)));
    EXPECT_FALSE(spy.painted.intersects(row(1)));

    // A caret moved from line 3 to line 0 repaints both, and nothing between.
    spy.painted = QRegion();
    display_->SetSel(0, 0);
    edit_->Refresh();
    ASSERT_TRUE(PumpUntil([&] { return spy.painted.intersects(row(0)); }));
    EXPECT_TRUE(spy.painted.intersects(row(3)));
    EXPECT_FALSE(spy.painted.intersects(row(1)));
    EXPECT_FALSE(spy.painted.intersects(row(5)));
}

TEST_F(PortEditTest, ANewLineAtTheBottomMovesTheViewAndPaintsOnlyTheUncoveredLines) {
    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    Show(lines, lines.size());
    ASSERT_TRUE(Press(Qt::Key_End, kCtrl));
    ASSERT_TRUE(PumpUntil([&] { return !edit_->viewport()->visibleRegion().isEmpty(); }));
    QCoreApplication::processEvents();
    const int first = edit_->FirstVisibleLine();
    ASSERT_GT(first, 0);
    const int height = QFontMetrics(edit_->font()).lineSpacing();
    const int rows = edit_->viewport()->height() / height;
    ASSERT_GE(rows, 8);
    PaintSpy spy;
    edit_->viewport()->installEventFilter(&spy);

    Receive(*display_, "one more\n");
    edit_->Refresh();
    ASSERT_EQ(edit_->FirstVisibleLine(), first + 1);
    ASSERT_TRUE(PumpUntil([&] { return spy.paints > 0; }));
    // The new last line and the line the caret left; what stayed in view was moved, not drawn.
    EXPECT_FALSE(spy.painted.intersects(QRect(0, 0, 50, (rows - 3) * height)))
        << "painted " << spy.painted.boundingRect().top() << ".."
        << spy.painted.boundingRect().bottom() << " of " << rows * height;
    EXPECT_TRUE(spy.painted.intersects(QRect(0, (rows - 1) * height, 50, 1)));

    // What the window holds, the moved lines and the painted ones, is what a full paint draws.
    QCoreApplication::processEvents();
    QBackingStore* store = edit_->backingStore();
    ASSERT_NE(store, nullptr);
    ASSERT_EQ(store->paintDevice()->devType(), QInternal::Image);
    const QImage& window = *static_cast<QImage*>(store->paintDevice());
    const QRect view(edit_->viewport()->mapTo(edit_.get(), QPoint(0, 0)),
                     edit_->viewport()->size());
    EXPECT_EQ(window.copy(view).convertToFormat(QImage::Format_RGB32),
              edit_->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32));
}

// Text that brings half a view of new lines or more each frame is shown a page at a time; the
// usual frame comes back as soon as the stream slows.
TEST_F(PortEditTest, AFloodOfLinesIsShownAtThePageRate) {
    ASSERT_TRUE(PumpUntil([&] { return !edit_->viewport()->visibleRegion().isEmpty(); }));
    const int rows = edit_->viewport()->height() / QFontMetrics(edit_->font()).lineSpacing();
    ASSERT_GE(rows, 8);
    std::string full;
    for (int i = 0; i < 2 * rows; ++i)
        full += "line\r\n";
    Show(full, full.size());
    struct Step {
        int lines;
        int frameMs;
    };
    const Step steps[] = {{rows, CPortEdit::kPageFrameMs},
                          {rows / 2, CPortEdit::kPageFrameMs},
                          {rows / 2 - 1, CPortEdit::kFrameMs},
                          {3 * rows, CPortEdit::kPageFrameMs},
                          {1, CPortEdit::kFrameMs},
                          {0, CPortEdit::kFrameMs}};
    for (const Step& step : steps) {
        for (int i = 0; i < step.lines; ++i)
            Receive(*display_, "flood\n");
        edit_->Refresh();
        EXPECT_EQ(edit_->FrameMs(), step.frameMs) << step.lines << " new lines of " << rows;
    }
}

// A stream of changes is taken at most once a frame, however fast the writer goes.
TEST_F(PortEditTest, AStreamOfChangesIsRepaintedAtMostOnceAFrame) {
    ASSERT_TRUE(PumpUntil([&] { return !edit_->viewport()->visibleRegion().isEmpty(); }));
    QCoreApplication::processEvents();
    PaintSpy spy;
    edit_->viewport()->installEventFilter(&spy);
    PaintSpy barSpy;
    edit_->verticalScrollBar()->installEventFilter(&barSpy);
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        while (!stop.load()) {
            Receive(*display_, "streamed line\n");
            written.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    QElapsedTimer elapsed;
    elapsed.start();
    // Long enough for many frames; the writer changes the text thousands of times meanwhile.
    const bool painted = PumpUntil([&] { return spy.paints >= 20 || elapsed.elapsed() > 1500; });
    const qint64 ms = elapsed.elapsed();
    const int paints = spy.paints;
    const int barPaints = barSpy.paints;
    stop.store(true);
    writer.join();
    ASSERT_TRUE(painted);
    ASSERT_GT(written.load(), paints);
    EXPECT_GT(paints, 0);
    EXPECT_LE(paints, ms / CPortEdit::kFrameMs + 2)
        << written.load() << " changes in " << ms << " ms";
    // The scroll bar, the costliest paint of a frame, is redrawn less often still.
    EXPECT_LE(barPaints, ms / CPortEdit::kScrollBarMs + 2) << "in " << ms << " ms";

    // Once the stream ends the bar shows where the view is; a key the user presses moves it at
    // once.
    EXPECT_TRUE(PumpUntil([&] { return edit_->verticalScrollBar()->updatesEnabled(); }));
    Receive(*display_, "last line\n");
    edit_->Refresh();
    ASSERT_TRUE(Press(Qt::Key_Home, kCtrl));
    EXPECT_TRUE(edit_->verticalScrollBar()->updatesEnabled());
    EXPECT_EQ(edit_->verticalScrollBar()->value(), 0);
}

// A change after a quiet frame (a typed character's echo) is shown without waiting for a timer.
TEST_F(PortEditTest, AChangeAfterAQuietFrameIsShownAtOnce) {
    ASSERT_TRUE(PumpUntil([&] { return !edit_->viewport()->visibleRegion().isEmpty(); }));
    Receive(*display_, "typed: ");
    ASSERT_TRUE(
        PumpUntil([&] { return edit_->CaretLine() == 0 && display_->GetTextLength() > 0; }));
    for (int round = 0; round < 3; ++round) {
        // A quiet frame: nothing changes for longer than the frame.
        QElapsedTimer quiet;
        quiet.start();
        PumpUntil([&] { return quiet.elapsed() > 3 * CPortEdit::kFrameMs; });
        PaintSpy spy;
        edit_->viewport()->installEventFilter(&spy);
        Receive(*display_, round == 2 ? "\n" : "x");
        // The posted notice and the repaint it asks for; no timer has to run.
        for (int pass = 0; pass < 3 && spy.paints == 0; ++pass)
            QCoreApplication::sendPostedEvents();
        EXPECT_GT(spy.paints, 0) << "round " << round;
        edit_->viewport()->removeEventFilter(&spy);
    }
    EXPECT_EQ(edit_->CaretLine(), 1);
}

TEST_F(PortEditTest, IncrementalLineIndexAgreesWithTheTextAfterRandomEdits) {
    // Edits anywhere, line breaks made and split at the edges of a change, several changes per
    // batch: Home, End and the caret's line must match a count over the whole text.
    std::mt19937 random(20240611);
    const std::string pieces[] = {"\r\n", "\r", "\n", "ab", "x\r\ny", "", "longer text \r\n\r\n"};
    auto pick = [&](std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound)(random);
    };
    for (int round = 0; round < 250; ++round) {
        const std::size_t edits = 1 + pick(3);
        for (std::size_t i = 0; i < edits; ++i) {
            DisplayBuffer::Locked lock = display_->Lock();
            const std::size_t length = lock.GetTextLength();
            const std::size_t choice = pick(19);
            if (choice == 0) {
                lock.Clear();
            } else if (choice == 1 || length > 4000) {
                lock.SetText("one\r\ntwo\r\n\rthree\n");
            } else {
                const std::size_t from = pick(length);
                lock.SetSel(static_cast<long long>(from),
                            static_cast<long long>(std::min(length, from + pick(4))));
                lock.ReplaceSel(pieces[pick(std::size(pieces) - 1)]);
            }
        }
        edit_->Refresh();
        const std::string text = display_->GetText();
        for (int probe = 0; probe < 2; ++probe) {
            const auto wanted = static_cast<long long>(pick(text.size()));
            display_->SetSel(wanted, wanted);  // the buffer keeps a CR LF whole
            const std::size_t at = Selection().first;
            edit_->Refresh();
            int line = 0;
            std::size_t lineStart = 0;
            for (std::size_t i = 1; i < at; ++i) {
                if (text[i - 1] == '\r' && text[i] == '\n') {
                    ++line;
                    lineStart = i + 1;
                }
            }
            std::size_t lineEnd = text.find("\r\n", lineStart);
            if (lineEnd == std::string::npos)
                lineEnd = text.size();
            SCOPED_TRACE(::testing::Message() << "round " << round << " position " << at);
            EXPECT_EQ(edit_->CaretLine(), line);
            Press(Qt::Key_End);
            EXPECT_EQ(Selection().first, lineEnd);
            Press(Qt::Key_Home);
            EXPECT_EQ(Selection().first, lineStart);
        }
    }
}

TEST_F(PortEditTest, ViewFollowsTheCaretSideways) {
    const std::string longLine(2000, 'w');
    Show(longLine + "\r\nshort", 0);
    QScrollBar* horizontal = edit_->horizontalScrollBar();
    EXPECT_EQ(horizontal->value(), 0);
    ASSERT_TRUE(Press(Qt::Key_End));
    const qreal width = QFontMetricsF(edit_->font()).horizontalAdvance(QLatin1Char('0'));
    const qreal caretX = 2 + 2000 * width - horizontal->value();
    EXPECT_GT(horizontal->value(), 0);
    EXPECT_GE(caretX, 0);
    EXPECT_LE(caretX, edit_->viewport()->width());
    ASSERT_TRUE(Press(Qt::Key_Home));
    EXPECT_EQ(horizontal->value(), 0);
    // With the long line gone there is nothing left to scroll to.
    display_->SetSel(0, 2002);
    display_->ReplaceSel("");
    edit_->Refresh();
    EXPECT_EQ(horizontal->maximum(), 0);
}

TEST_F(PortEditTest, TextFromAWriterThreadAppearsAndTheViewFollowsTheCaret) {
    std::thread writer([this] {
        for (int i = 0; i < 500; ++i) {
            const std::string line = "received line " + std::to_string(i) + "\n";
            Receive(*display_, line);
        }
    });
    const bool followed = PumpUntil([this] { return edit_->CaretLine() == 500; });
    writer.join();
    ASSERT_TRUE(followed);
    EXPECT_GT(edit_->FirstVisibleLine(), 400);
    EXPECT_LE(edit_->FirstVisibleLine(), 500);
}

TEST_F(PortEditTest, DrawsTheTextTheSelectionAndAFullDisplay) {
    // Pixels of one line in the highlight colour, or drawn at all (not the background).
    auto count = [this](int line, bool highlight) {
        const QImage image = edit_->viewport()->grab().toImage();
        const int height = QFontMetrics(edit_->font()).lineSpacing();
        const QRgb base = edit_->palette().color(QPalette::Base).rgb();
        const QRgb selected = edit_->palette().color(QPalette::Highlight).rgb();
        int pixels = 0;
        for (int y = line * height; y < (line + 1) * height && y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                pixels += highlight ? pixel == selected : pixel != base;
            }
        }
        return pixels;
    };
    Show("MMMM\r\n\r\n\r\n", 8);
    EXPECT_GT(count(0, false), 20);
    EXPECT_EQ(count(1, false), 0);
    EXPECT_GT(count(2, false), 0);  // the caret
    EXPECT_EQ(count(0, true), 0);
    display_->SetSel(0, 2);
    edit_->Refresh();
    EXPECT_GT(count(0, true), 20);
    // A selected line break shows on its empty line; the line after it is not selected.
    display_->SetSel(6, 8);
    edit_->Refresh();
    EXPECT_EQ(count(0, true), 0);
    EXPECT_GT(count(1, true), 20);
    EXPECT_EQ(count(2, true), 0);

    // The largest display there is: 25600 short lines, drawn at the top and at the end.
    std::string full;
    for (int i = 0; i < 25600; ++i)
        full += "ab\r\n";
    ASSERT_EQ(full.size(), DisplayBuffer::kTextLimit);
    Show(full, 0);
    EXPECT_FALSE(edit_->grab().isNull());
    EXPECT_GT(count(0, false), 10);
    ASSERT_TRUE(Press(Qt::Key_End, kCtrl));
    EXPECT_EQ(edit_->CaretLine(), 25600);
    EXPECT_GT(edit_->FirstVisibleLine(), 25500);
    EXPECT_GT(count(0, false), 10);
    display_->Clear();
    edit_->Refresh();
    EXPECT_EQ(edit_->FirstVisibleLine(), 0);
    EXPECT_EQ(edit_->CaretLine(), 0);
}

TEST(PortEditLifetime, WidgetGoesAwayWhileAWriterKeepsWriting) {
    auto display = std::make_shared<DisplayBuffer>();
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop.load())
            Receive(*display, "data\n");
    });
    for (int cycle = 0; cycle < 20; ++cycle) {
        auto edit = std::make_unique<CPortEdit>(display);
        edit->resize(200, 100);
        edit->show();
        // The widget has taken at least one batch of the writer's changes.
        EXPECT_TRUE(PumpUntil([&] { return edit->CaretLine() > 0; })) << "cycle " << cycle;
        edit.reset();
        QCoreApplication::processEvents();
    }
    stop.store(true);
    writer.join();
    QCoreApplication::processEvents();
}

}  // namespace
