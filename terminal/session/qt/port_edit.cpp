#include "terminal/session/qt/port_edit.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QRawFont>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <span>
#include <utility>

struct CPortEdit::Liveness {
    std::mutex mutex;
    CPortEdit* widget = nullptr;
};

namespace {

constexpr int kMargin = 2;  // pixels between the border and the first column, as the control has
constexpr std::size_t kToEnd = std::numeric_limits<std::size_t>::max();
// Beyond every line a display can hold: the runs of dirty lines stay within int.
constexpr std::size_t kLastDirtyLine = std::size_t{1} << 24;

// The characters one key gives the port window, and the key's scan code.
struct TypedChars {
    std::vector<unsigned> codes;
    unsigned scanCode = 0;
};

// Keys of a US keyboard by their scan code (set 1): runs of consecutive codes, each key named
// by its printable character, which is also its toolkit key number (letters in upper case).
struct KeyRun {
    unsigned firstScanCode;
    const char* keys;
};

constexpr KeyRun kMainBlock[] = {
    {0x02, "1234567890-="}, {0x02, "!@#$%^&*()_+"},
    {0x10, "QWERTYUIOP[]"}, {0x1A, "{}"},
    {0x1E, "ASDFGHJKL;'`"}, {0x27, ":\"~"},
    {0x2B, "\\ZXCVBNM,./"}, {0x2B, "|"},
    {0x33, "<>?"},          {0x39, " "},
};
constexpr KeyRun kKeypad[] = {{0x47, "789-456+1230."}, {0x37, "*"}, {0x35, "/"}};

unsigned FindScanCode(std::span<const KeyRun> runs, int key) {
    for (const KeyRun& run : runs) {
        for (const char* k = run.keys; *k != 0; ++k) {
            if (static_cast<unsigned char>(*k) == key)
                return run.firstScanCode + static_cast<unsigned>(k - run.keys);
        }
    }
    return 0;
}

// The scan code of a key when the window system gives none: enough for the port window to tell
// Ctrl+H (0x23) from Backspace (0x0E).
unsigned TableScanCode(int key, bool keypad) {
    switch (key) {
        case Qt::Key_Escape:
            return 0x01;
        case Qt::Key_Backspace:
            return 0x0E;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 0x0F;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 0x1C;
        default:
            break;
    }
    if (keypad) {
        if (const unsigned code = FindScanCode(kKeypad, key))
            return code;
    }
    return FindScanCode(kMainBlock, key);
}

// X11 and Wayland report XKB key codes, which are the kernel's key numbers plus 8; for the main
// block and the keypad those numbers are the keyboard's own scan codes.
bool KeyCodesAreXkb() {
    static const bool xkb = [] {
        const QString name = QGuiApplication::platformName();
        return name == QLatin1String("xcb") || name.startsWith(QLatin1String("wayland"));
    }();
    return xkb;
}

unsigned ScanCodeOf(const QKeyEvent& event) {
    const quint32 native = event.nativeScanCode();
    if (native != 0) {
        if (!KeyCodesAreXkb())
            return native;
        if (native > 8 && native - 8 <= 0x58)
            return native - 8;
    }
    return TableScanCode(event.key(), event.modifiers() & Qt::KeypadModifier);
}

// What the system's keyboard translation would give the port window as characters for a key.
TypedChars TypedCharsOf(const QKeyEvent& event) {
    TypedChars typed;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool alt = modifiers & Qt::AltModifier;
    // Alt combinations are the menus' and Meta ones the desktop's: they type nothing.
    if ((alt && !ctrl) || (modifiers & Qt::MetaModifier))
        return typed;
    const int key = event.key();
    unsigned code = 0;
    bool fixed = true;
    switch (key) {
        case Qt::Key_Backspace:
            code = ctrl ? 0x7F : 0x08;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            code = ctrl ? 0x0A : 0x0D;
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (ctrl)
                return typed;  // the MDI area's window switch
            code = 0x09;
            break;
        case Qt::Key_Escape:
            code = 0x1B;
            break;
        default:
            fixed = false;
            break;
    }
    if (!fixed && ctrl && !alt) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z) {
            code = static_cast<unsigned>(key - Qt::Key_A + 1);
        } else if (key == Qt::Key_BracketLeft) {
            code = 0x1B;
        } else if (key == Qt::Key_Backslash) {
            code = 0x1C;
        } else if (key == Qt::Key_BracketRight) {
            code = 0x1D;
        } else if (key == Qt::Key_Space) {
            code = 0x20;
        } else {
            return typed;  // Ctrl with a digit or a function key types nothing
        }
        fixed = true;
    }
    if (fixed) {
        typed.codes.push_back(code);
    } else {
        // Ctrl+Alt is AltGr on some keyboards: only what it prints counts.
        for (const QChar c : event.text()) {
            const unsigned value = c.unicode();
            if (value < 256 && (!ctrl || (value >= 0x20 && value != 0x7F)))
                typed.codes.push_back(value);
        }
        if (typed.codes.empty())
            return typed;
    }
    typed.scanCode = ScanCodeOf(event);
    return typed;
}

// A character as the display shows it: Latin-1, control characters as a dot.
QChar Shown(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x20 || (value >= 0x7F && value < 0xA0))
        return QChar(0x00B7);
    return QChar(value);
}

}  // namespace

CPortEdit::CPortEdit(std::shared_ptr<DisplayBuffer> display, QWidget* parent)
    : QAbstractScrollArea(parent),
      display_(display ? std::move(display) : std::make_shared<DisplayBuffer>()),
      alive_(std::make_shared<Liveness>()) {
    alive_->widget = this;
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // No horizontal bar: the view follows the caret sideways, as the control does.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    // The paint fills what it repaints, and a scroll may move what is drawn instead of
    // repainting it.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    frameTimer_.setSingleShot(true);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, &CPortEdit::Refresh);
    scrollBarTimer_.setSingleShot(true);
    connect(&scrollBarTimer_, &QTimer::timeout, this, &CPortEdit::ShowScrollBar);

    UpdateMetrics();
    // Runs on the writer's thread: it may only post to the widget, and only while it exists.
    display_->SetChangeNotifier([alive = alive_] {
        std::lock_guard<std::mutex> guard(alive->mutex);
        if (alive->widget) {
            QMetaObject::invokeMethod(alive->widget, &CPortEdit::OnDisplayChanged,
                                      Qt::QueuedConnection);
        }
    });
    Refresh();
}

CPortEdit::~CPortEdit() {
    display_->SetChangeNotifier(nullptr);
    // A notifier that copied itself before the reset waits here, then finds no widget; what it
    // posted before is dropped with the widget's pending events.
    std::lock_guard<std::mutex> guard(alive_->mutex);
    alive_->widget = nullptr;
}

void CPortEdit::SetCharHandler(std::function<void(unsigned, unsigned)> handler) {
    charHandler_ = std::move(handler);
}

void CPortEdit::SetContextMenuHandler(std::function<void(QPoint)> handler) {
    contextMenuHandler_ = std::move(handler);
}

void CPortEdit::SetMousePressHandler(std::function<void()> handler) {
    mousePressHandler_ = std::move(handler);
}

int CPortEdit::FirstVisibleLine() const {
    return verticalScrollBar()->value();
}

int CPortEdit::CaretLine() const {
    return static_cast<int>(LineOf(caret_));
}

void CPortEdit::OnDisplayChanged() {
    // A change after a quiet frame is shown at once (a typed echo); while changes stream they
    // are taken once a frame, however often the writers change the text.
    if (frameTimer_.isActive())
        return;
    const qint64 since = sinceRefresh_.isValid() ? sinceRefresh_.elapsed() : frameMs_;
    if (since >= frameMs_) {
        Refresh();
        return;
    }
    frameTimer_.start(static_cast<int>(frameMs_ - since));
}

void CPortEdit::Refresh() {
    frameTimer_.stop();
    sinceRefresh_.start();
    {
        DisplayBuffer::Locked lock = display_->Lock();
        Sync(lock);
    }
    HoldScrollBar();
    const int top = verticalScrollBar()->value();
    Repaint(false);
    // How far this frame moved the view decides when the next one comes.
    const int moved = std::abs(verticalScrollBar()->value() - top);
    frameMs_ = moved > 0 && moved * 2 >= VisibleLines() ? kPageFrameMs : kFrameMs;
}

void CPortEdit::HoldScrollBar() {
    QScrollBar* vertical = verticalScrollBar();
    if (vertical->isSliderDown())
        return;
    if (!sinceScrollBar_.isValid() || sinceScrollBar_.elapsed() >= kScrollBarMs) {
        // Due: drawn with this frame, in the same paint as the text.
        ShowScrollBar();
        return;
    }
    vertical->setUpdatesEnabled(false);
    // A later frame shows it; the timer does only when the stream ends before one comes, as a
    // paint of its own between frames costs as much as a frame.
    if (!scrollBarTimer_.isActive())
        scrollBarTimer_.start(static_cast<int>(kScrollBarMs - sinceScrollBar_.elapsed()) +
                              frameMs_);
}

void CPortEdit::ShowScrollBar() {
    scrollBarTimer_.stop();
    sinceScrollBar_.start();
    // Turning the updates on again redraws the bar as it is now.
    QScrollBar* vertical = verticalScrollBar();
    if (!vertical->updatesEnabled())
        vertical->setUpdatesEnabled(true);
}

void CPortEdit::Sync(DisplayBuffer::Locked& lock) {
    const DisplayBuffer::Changes changes = lock.TakeChanges();
    if (!changes.textChanged && !changes.selectionChanged && !changes.scrollToCaret)
        return;
    // Where the old selection and caret were drawn.
    MarkDirty(LineOf(selStart_), LineOf(selEnd_));
    if (changes.textChanged) {
        // Everything before the first changed position is as the widget has it already, and
        // the change ends where the old and the new text agree again up to their ends.
        const std::string_view text = lock.Text();
        const std::size_t from = std::min({changes.firstChanged, text_.size(), text.size()});
        std::size_t oldEnd = text_.size();
        std::size_t newEnd = text.size();
        while (oldEnd > from && newEnd > from && text_[oldEnd - 1] == text[newEnd - 1]) {
            --oldEnd;
            --newEnd;
        }
        const std::size_t firstLine = LineOf(from);
        const std::size_t lines = lineStarts_.size();
        text_.replace(from, std::string::npos, text.substr(from));
        Reindex(from);
        // With as many lines as before, the lines after the change kept their place and text.
        MarkDirty(firstLine, lineStarts_.size() == lines ? LineOf(newEnd) : kToEnd);
    }
    selStart_ = std::min(changes.selectionStart, text_.size());
    selEnd_ = std::min(changes.selectionEnd, text_.size());
    if (selStart_ != std::min(anchor_, caret_) || selEnd_ != std::max(anchor_, caret_)) {
        // A writer moved the selection: its end is the caret.
        anchor_ = selStart_;
        caret_ = selEnd_;
        wantedColumn_ = -1;
    }
    MarkDirty(LineOf(selStart_), LineOf(selEnd_));
    if (changes.scrollToCaret)
        scrollPending_ = true;
}

void CPortEdit::Reindex(std::size_t from) {
    // A line starts after a CR LF, so a start at or before `from` depends only on unchanged
    // text; the lines after it are found again from `from` on.
    const auto kept = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), from);
    lineStarts_.erase(kept, lineStarts_.end());
    const std::size_t changedLine = lineStarts_.size() - 1;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < text_.size(); ++i) {
        if (text_[i] == '\n' && text_[i - 1] == '\r')
            lineStarts_.push_back(i + 1);
    }
    longestUpTo_.resize(changedLine);
    for (std::size_t line = changedLine; line < lineStarts_.size(); ++line) {
        const std::size_t before = line > 0 ? longestUpTo_[line - 1] : 0;
        longestUpTo_.push_back(std::max(before, LineLength(line)));
    }
}

void CPortEdit::MarkDirty(std::size_t firstLine, std::size_t lastLine) {
    const auto top = static_cast<int>(std::min(firstLine, kLastDirtyLine));
    const auto bottom = static_cast<int>(std::min(lastLine, kLastDirtyLine));
    dirtyLines_ += QRect(0, top, 1, bottom - top + 1);
}

void CPortEdit::Repaint(bool scrollToCaret) {
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    const int oldLeft = horizontal->value();
    UpdateScrollBars();
    if (scrollToCaret || scrollPending_)
        EnsureCaretVisible();
    scrollPending_ = false;
    const QRegion lines = std::exchange(dirtyLines_, QRegion());
    // A sideways scroll has repainted the whole view already; a vertical one moved what was
    // drawn, and the changed lines are repainted where they are now.
    if (lines.isEmpty() || horizontal->value() != oldLeft)
        return;
    const qint64 first = vertical->value();
    const QRect view = viewport()->rect();
    QRegion area;
    for (const QRect& run : lines) {
        const qint64 top = (run.top() - first) * lineHeight_;
        const qint64 bottom = (run.bottom() + 1 - first) * lineHeight_;
        if (bottom <= 0 || top >= view.height())
            continue;
        const auto from = static_cast<int>(std::max<qint64>(top, 0));
        const auto to = static_cast<int>(std::min<qint64>(bottom, view.height()));
        area += QRect(0, from, view.width(), to - from);
    }
    if (!area.isEmpty())
        viewport()->update(area);
}

std::size_t CPortEdit::LineOf(std::size_t position) const {
    const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), position);
    return static_cast<std::size_t>(after - lineStarts_.begin()) - 1;
}

std::size_t CPortEdit::LineEnd(std::size_t line) const {
    return line + 1 < lineStarts_.size() ? lineStarts_[line + 1] - 2 : text_.size();
}

std::size_t CPortEdit::LineLength(std::size_t line) const {
    return LineEnd(line) - lineStarts_[line];
}

bool CPortEdit::BreakAt(std::size_t position) const {
    return position + 1 < text_.size() && text_[position] == '\r' && text_[position + 1] == '\n';
}

std::size_t CPortEdit::Next(std::size_t position) const {
    if (position >= text_.size())
        return text_.size();
    return BreakAt(position) ? position + 2 : position + 1;
}

std::size_t CPortEdit::Previous(std::size_t position) const {
    if (position == 0)
        return 0;
    return position >= 2 && BreakAt(position - 2) ? position - 2 : position - 1;
}

std::size_t CPortEdit::WordRight(std::size_t position) const {
    const std::size_t size = text_.size();
    if (BreakAt(position))
        return position + 2;
    while (position < size && text_[position] != ' ' && !BreakAt(position))
        ++position;
    while (position < size && text_[position] == ' ')
        ++position;
    return position;
}

std::size_t CPortEdit::WordLeft(std::size_t position) const {
    if (position >= 2 && BreakAt(position - 2))
        return position - 2;
    while (position > 0 && text_[position - 1] == ' ')
        --position;
    while (position > 0 && text_[position - 1] != ' ' && !(position >= 2 && BreakAt(position - 2)))
        --position;
    return position;
}

std::size_t CPortEdit::PositionAt(QPointF point) const {
    const long long row = static_cast<long long>(std::floor(point.y() / lineHeight_));
    const long long last = static_cast<long long>(lineStarts_.size()) - 1;
    const long long line = std::clamp(FirstVisibleLine() + row, 0LL, last);
    const auto index = static_cast<std::size_t>(line);
    const qreal column = (point.x() - kMargin + horizontalScrollBar()->value()) / charWidth_;
    // A click falls to the nearer edge of the character under it; past the end of the line it
    // lands before the line break.
    const std::size_t chosen = column <= 0 ? 0 : static_cast<std::size_t>(column + 0.5);
    return lineStarts_[index] + std::min(chosen, LineLength(index));
}

bool CPortEdit::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Typed characters belong to the port even where the frame has an accelerator for them
        // (Ctrl+C, Ctrl+H, Ctrl+O, Ctrl+V); function keys stay the frame's.
        if (TakesKey(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        // Tab is a character for the port, not a move to the next widget.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

bool CPortEdit::TakesKey(const QKeyEvent& event) const {
    if (event.key() == Qt::Key_Delete)
        return true;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (!(modifiers & (Qt::AltModifier | Qt::MetaModifier))) {
        switch (event.key()) {
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Home:
            case Qt::Key_End:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
                return true;
            default:
                break;
        }
    }
    return !TypedCharsOf(event).codes.empty();
}

void CPortEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Delete) {
        event->accept();  // swallowed: the display is not edited from the keyboard
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    if (!(modifiers & (Qt::AltModifier | Qt::MetaModifier))) {
        bool moved = true;
        switch (key) {
            case Qt::Key_Left:
                Move(ctrl ? Motion::WordLeft : Motion::Left, shift);
                break;
            case Qt::Key_Right:
                Move(ctrl ? Motion::WordRight : Motion::Right, shift);
                break;
            case Qt::Key_Up:
                Move(Motion::Up, shift);
                break;
            case Qt::Key_Down:
                Move(Motion::Down, shift);
                break;
            case Qt::Key_Home:
                Move(ctrl ? Motion::TextStart : Motion::LineStart, shift);
                break;
            case Qt::Key_End:
                Move(ctrl ? Motion::TextEnd : Motion::LineEnd, shift);
                break;
            case Qt::Key_PageUp:
                Move(Motion::PageUp, shift);
                break;
            case Qt::Key_PageDown:
                Move(Motion::PageDown, shift);
                break;
            default:
                moved = false;
                break;
        }
        if (moved) {
            event->accept();
            return;
        }
    }
    const TypedChars typed = TypedCharsOf(*event);
    if (typed.codes.empty()) {
        event->ignore();
        return;
    }
    // The port window gets the characters; nothing goes into the text, so nothing is echoed.
    if (charHandler_) {
        for (int repeat = 0; repeat < std::max(1, event->count()); ++repeat) {
            for (const unsigned code : typed.codes)
                charHandler_(code, typed.scanCode);
        }
    }
    event->accept();
}

void CPortEdit::inputMethodEvent(QInputMethodEvent* event) {
    // A composed character (a dead key, an input method) is typed like a key's.
    if (charHandler_) {
        for (const QChar c : event->commitString()) {
            if (c.unicode() < 256)
                charHandler_(c.unicode(), 0);
        }
    }
    event->accept();
}

QVariant CPortEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
        case Qt::ImEnabled:
            return true;
        case Qt::ImCursorRectangle:
            return CaretRect();
        case Qt::ImHints:
            return static_cast<int>(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
        default:
            return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void CPortEdit::Move(Motion motion, bool extend) {
    int pageScroll = 0;
    {
        DisplayBuffer::Locked lock = display_->Lock();
        Sync(lock);  // move from what the buffer holds now, not from the last repaint
        const std::size_t target = Target(motion);
        if (!extend && selStart_ != selEnd_ &&
            (motion == Motion::Left || motion == Motion::Right)) {
            // Left and Right without Shift first drop the selection at its near edge.
            const std::size_t edge = motion == Motion::Left ? selStart_ : selEnd_;
            Select(lock, edge, edge);
        } else {
            Select(lock, extend ? anchor_ : target, target);
        }
        if (motion == Motion::PageUp)
            pageScroll = -VisibleLines();
        else if (motion == Motion::PageDown)
            pageScroll = VisibleLines();
    }
    if (pageScroll != 0)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + pageScroll);
    ShowScrollBar();
    Repaint(true);
}

void CPortEdit::MoveTo(QPointF point, bool extend) {
    {
        DisplayBuffer::Locked lock = display_->Lock();
        Sync(lock);  // the click means the text as it is now
        wantedColumn_ = -1;
        const std::size_t position = PositionAt(point);
        Select(lock, extend ? anchor_ : position, position);
    }
    ShowScrollBar();
    Repaint(true);
}

void CPortEdit::Select(DisplayBuffer::Locked& lock, std::size_t anchor, std::size_t caret) {
    anchor_ = anchor;
    caret_ = caret;
    lock.SetSel(static_cast<long long>(std::min(anchor, caret)),
                static_cast<long long>(std::max(anchor, caret)));
    // Take the widget's own change at once, so the notifier does not post it back.
    Sync(lock);
}

std::size_t CPortEdit::Target(Motion motion) {
    const std::size_t line = LineOf(caret_);
    const std::size_t lastLine = lineStarts_.size() - 1;
    long long lineStep = 0;
    switch (motion) {
        case Motion::Left:
            wantedColumn_ = -1;
            return Previous(caret_);
        case Motion::Right:
            wantedColumn_ = -1;
            return Next(caret_);
        case Motion::WordLeft:
            wantedColumn_ = -1;
            return WordLeft(caret_);
        case Motion::WordRight:
            wantedColumn_ = -1;
            return WordRight(caret_);
        case Motion::LineStart:
            wantedColumn_ = -1;
            return lineStarts_[line];
        case Motion::LineEnd:
            wantedColumn_ = -1;
            return LineEnd(line);
        case Motion::TextStart:
            wantedColumn_ = -1;
            return 0;
        case Motion::TextEnd:
            wantedColumn_ = -1;
            return text_.size();
        case Motion::Up:
            lineStep = -1;
            break;
        case Motion::Down:
            lineStep = 1;
            break;
        case Motion::PageUp:
            lineStep = -VisibleLines();
            break;
        case Motion::PageDown:
            lineStep = VisibleLines();
            break;
    }
    // Up and Down keep the column the caret came from, through shorter lines.
    if (wantedColumn_ < 0)
        wantedColumn_ = static_cast<long long>(caret_ - lineStarts_[line]);
    const long long wanted = static_cast<long long>(line) + lineStep;
    const auto target =
        static_cast<std::size_t>(std::clamp(wanted, 0LL, static_cast<long long>(lastLine)));
    const auto column = static_cast<std::size_t>(wantedColumn_);
    return lineStarts_[target] + std::min(column, LineLength(target));
}

void CPortEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (mousePressHandler_) {
        // The handler may activate windows; the widget must still be there afterwards.
        QPointer<CPortEdit> self(this);
        mousePressHandler_();
        if (!self)
            return;
    }
    dragging_ = true;
    MoveTo(event->position(), event->modifiers() & Qt::ShiftModifier);
    event->accept();
}

void CPortEdit::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    MoveTo(event->position(), true);
    event->accept();
}

void CPortEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
    event->ignore();
}

void CPortEdit::contextMenuEvent(QContextMenuEvent* event) {
    if (contextMenuHandler_)
        contextMenuHandler_(QCursor::pos());
    event->accept();
}

void CPortEdit::UpdateMetrics() {
    const QFontMetricsF metrics(font());
    const QFontMetrics whole(font());
    charWidth_ = std::max<qreal>(1, metrics.horizontalAdvance(QLatin1Char('0')));
    lineHeight_ = std::max(1, whole.lineSpacing());
    ascent_ = whole.ascent();

    rawFont_ = QRawFont::fromFont(font());
    QString shown;
    for (int byte = 0; byte < 256; ++byte)
        shown.append(Shown(static_cast<char>(byte)));
    const QList<quint32> indexes =
        rawFont_.isValid() ? rawFont_.glyphIndexesForString(shown) : QList<quint32>();
    glyphsComplete_ = indexes.size() == 256;
    for (int byte = 0; byte < 256 && glyphsComplete_; ++byte) {
        glyphs_[static_cast<std::size_t>(byte)] = indexes[byte];
        // Index 0 is the font's "missing" glyph: such a character needs another font.
        glyphsComplete_ = indexes[byte] != 0;
    }
    run_ = QGlyphRun();
    run_.setRawFont(rawFont_);
}

int CPortEdit::VisibleLines() const {
    return std::max(1, viewport()->height() / lineHeight_);
}

void CPortEdit::UpdateScrollBars() {
    const int visible = VisibleLines();
    const int lines = static_cast<int>(lineStarts_.size());
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, lines - visible));
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);

    const int width = viewport()->width();
    const int content =
        static_cast<int>(std::ceil(static_cast<qreal>(longestUpTo_.back()) * charWidth_)) +
        2 * kMargin + 1;
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, content - width));
    horizontal->setPageStep(std::max(1, width));
    horizontal->setSingleStep(static_cast<int>(std::ceil(charWidth_)));
}

void CPortEdit::EnsureCaretVisible() {
    QScrollBar* vertical = verticalScrollBar();
    const int line = CaretLine();
    const int visible = VisibleLines();
    if (line < vertical->value())
        vertical->setValue(line);
    else if (line >= vertical->value() + visible)
        vertical->setValue(line - visible + 1);

    // Sideways the view jumps by a quarter of its width, as the control's auto-scroll does.
    QScrollBar* horizontal = horizontalScrollBar();
    const int width = viewport()->width();
    const qreal column = static_cast<qreal>(caret_ - lineStarts_[LineOf(caret_)]);
    const int x = static_cast<int>(std::ceil(column * charWidth_)) + kMargin;
    const int left = horizontal->value();
    const int slack = std::max(1, width / 4);
    if (x < left + kMargin)
        horizontal->setValue(std::max(0, x - slack));
    else if (x + static_cast<int>(std::ceil(charWidth_)) > left + width)
        horizontal->setValue(x - width + slack);
}

QRectF CPortEdit::CaretRect() const {
    const std::size_t line = LineOf(caret_);
    const qreal x = kMargin - horizontalScrollBar()->value() +
                    static_cast<qreal>(caret_ - lineStarts_[line]) * charWidth_;
    const qreal y = (static_cast<qreal>(line) - FirstVisibleLine()) * lineHeight_;
    return QRectF(x, y, 1, lineHeight_);
}

void CPortEdit::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    // In strips: the toolkit hands a fill taller than about 96 rows to its thread pool, which
    // would wake pooled threads for every frame.
    constexpr int kStripRows = 64;
    for (int top = area.top(); top <= area.bottom(); top += kStripRows) {
        painter.fillRect(
            QRect(area.left(), top, area.width(), std::min(kStripRows, area.bottom() + 1 - top)),
            palette().color(QPalette::Base));
    }
    painter.setFont(font());
    const std::size_t first = static_cast<std::size_t>(FirstVisibleLine());
    const int rowFirst = std::max(0, area.top() / lineHeight_);
    const int rowLast = area.bottom() / lineHeight_;
    for (int row = rowFirst; row <= rowLast; ++row) {
        const std::size_t line = first + static_cast<std::size_t>(row);
        if (line >= lineStarts_.size())
            break;
        DrawLine(painter, line, row * lineHeight_);
    }
    // The caret shows where received text is written next, with or without the focus.
    const QRectF caret = CaretRect();
    if (caret.intersects(QRectF(area)))
        painter.fillRect(caret, palette().color(QPalette::Text));
}

void CPortEdit::DrawLine(QPainter& painter, std::size_t line, int y) const {
    const std::size_t start = lineStarts_[line];
    const std::size_t end = LineEnd(line);
    const int left = horizontalScrollBar()->value();
    const qreal origin = kMargin - left;
    // Only the columns in view are drawn: a line may be as long as the whole text.
    const std::size_t firstColumn =
        left > kMargin ? static_cast<std::size_t>((left - kMargin) / charWidth_) : 0;
    const std::size_t columns = static_cast<std::size_t>(viewport()->width() / charWidth_) + 2;
    const std::size_t from = std::min(end, start + firstColumn);
    const std::size_t to = std::min(end, from + columns);

    const QPalette& colours = palette();
    auto piece = [&](std::size_t a, std::size_t b, bool selected) {
        if (a >= b)
            return;
        const qreal x = origin + static_cast<qreal>(a - start) * charWidth_;
        if (selected) {
            painter.fillRect(QRectF(x, y, static_cast<qreal>(b - a) * charWidth_, lineHeight_),
                             colours.color(QPalette::Highlight));
            painter.setPen(colours.color(QPalette::HighlightedText));
        } else {
            painter.setPen(colours.color(QPalette::Text));
        }
        if (glyphsComplete_) {
            // One glyph a column: nothing to lay out, whatever the line holds.
            runGlyphs_.resize(static_cast<qsizetype>(b - a));
            runPositions_.resize(static_cast<qsizetype>(b - a));
            for (std::size_t i = a; i < b; ++i) {
                const auto at = static_cast<qsizetype>(i - a);
                runGlyphs_[at] = glyphs_[static_cast<unsigned char>(text_[i])];
                runPositions_[at] = QPointF(static_cast<qreal>(i - a) * charWidth_, 0);
            }
            run_.setGlyphIndexes(runGlyphs_);
            run_.setPositions(runPositions_);
            painter.drawGlyphRun(QPointF(x, y + ascent_), run_);
            return;
        }
        QString shown;
        shown.reserve(static_cast<qsizetype>(b - a));
        for (std::size_t i = a; i < b; ++i)
            shown.append(Shown(text_[i]));
        painter.drawText(QPointF(x, y + ascent_), shown);
    };
    const std::size_t selFrom = std::clamp(selStart_, from, to);
    const std::size_t selTo = std::clamp(selEnd_, from, to);
    piece(from, selFrom, false);
    piece(selFrom, selTo, true);
    piece(selTo, to, false);
    // A selected line break shows as one selected cell after the line's text.
    if (line + 1 < lineStarts_.size() && selStart_ <= end && selEnd_ > end) {
        const qreal x = origin + static_cast<qreal>(end - start) * charWidth_;
        painter.fillRect(QRectF(x, y, charWidth_, lineHeight_), colours.color(QPalette::Highlight));
    }
}

void CPortEdit::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void CPortEdit::scrollContentsBy(int dx, int dy) {
    // Lines move up or down as a whole: what stays in view is moved, only the uncovered lines
    // are painted. A sideways scroll or a jump past the view repaints it all.
    if (dx != 0 || std::abs(dy) >= VisibleLines() + 1) {
        viewport()->update();
        return;
    }
    viewport()->scroll(0, dy * lineHeight_);
}

void CPortEdit::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateMetrics();
        UpdateScrollBars();
        viewport()->update();
    }
}
