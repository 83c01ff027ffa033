#pragma once
// The text of a port's display: the model of a multi-line edit control. Line breaks are CR LF,
// positions count characters (CR and LF one each), and the text holds at most 102400
// characters. A replacement that would go beyond that is cut by the control, which then reports
// that it is full; the port's display answers by emptying itself, and so does this model.
//
// Three threads write into one display (the receive worker, the port window's thread, the
// channel's event watcher) and the widget reads it on the GUI thread. Every access goes through
// Lock(), so that one writer's sequence of messages (read the selection, read the text, select,
// replace, move the caret) is never interleaved with another's, and nobody waits for the GUI.
//
// The widget learns what changed from TakeChanges(): the first position whose text changed, the
// selection, and whether the caret should be scrolled into view. A change notifier, called once
// after the first change since the last TakeChanges(), lets it schedule one repaint per batch.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

class DisplayBuffer {
  public:
    static constexpr std::size_t kTextLimit = 102400;

    // What changed since the widget last looked.
    struct Changes {
        std::uint64_t generation = 0;  // counts every change of text or selection
        bool textChanged = false;
        std::size_t firstChanged = 0;  // text from here on may differ; valid if textChanged
        bool selectionChanged = false;
        bool scrollToCaret = false;    // a writer asked for the caret to be brought into view
        bool emptiedWhenFull = false;  // the display filled up and was emptied
        std::size_t selectionStart = 0;
        std::size_t selectionEnd = 0;
        std::size_t length = 0;
    };

    // What RenderReceived remembers between two blocks of the same display: a block of carriage
    // returns only that moved the caret back to the start of its line, so that a line feed
    // arriving as the next block still ends the line instead of overwriting it.
    struct LineReturn {
        bool valid = false;
        bool lineFeeds = false;        // "Send line ends with line feeds" was on
        std::size_t from = 0;          // the caret before the carriage returns
        std::uint64_t generation = 0;  // the display as the carriage returns left it
    };

    // Exclusive access to the display for one sequence of edit-control messages.
    class Locked {
      public:
        explicit Locked(DisplayBuffer& buffer);
        ~Locked();
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

        std::size_t GetTextLength() const { return buffer_.text_.size(); }
        std::string_view Text() const { return buffer_.text_; }
        std::string GetText() const { return buffer_.text_; }
        std::size_t SelectionStart() const { return buffer_.selStart_; }
        std::size_t SelectionEnd() const { return buffer_.selEnd_; }
        // Lines as the control counts them: one more than the line breaks, 1 when empty.
        std::size_t GetLineCount() const { return buffer_.lineBreaks_ + 1; }

        // Selects start..end. An end of -1 means the end of the text; a start of -1 removes the
        // selection and leaves the caret at its end. Positions beyond the text are taken as its
        // end, a start after the end is swapped with it, and a position between the CR and the
        // LF of a line break is taken as the start of that line break, so that no write can
        // split it.
        void SetSel(long long start, long long end);
        // Asks the widget to bring the caret into view.
        void ScrollCaret();
        // Replaces the selection by `text` and leaves the caret after it. Returns false when the
        // text would not fit within the limit: the display has then been emptied.
        bool ReplaceSel(std::string_view text);
        // Replaces the whole text and puts the caret at 0. Text beyond the limit is refused:
        // returns false with ERROR_INVALID_PARAMETER and nothing changes.
        bool SetText(std::string_view text);
        // Empties the display (Clear Screen, and the answer to a full display).
        void Clear();

        // Changes since the last call, for the widget; resets them.
        Changes TakeChanges();

        LineReturn& PendingLineReturn() { return buffer_.lineReturn_; }
        std::uint64_t Generation() const { return buffer_.generation_; }

      private:
        DisplayBuffer& buffer_;
        std::unique_lock<std::mutex> lock_;
        bool wasClean_;
    };

    DisplayBuffer();

    Locked Lock() { return Locked(*this); }

    // Called, without the lock held, after the first change since the widget took the changes;
    // it should only post a repaint request. Set it before any writer starts.
    void SetChangeNotifier(std::function<void()> notifier);

    // Single messages, each under the lock on its own.
    std::size_t GetTextLength() { return Lock().GetTextLength(); }
    std::string GetText() { return Lock().GetText(); }
    std::size_t GetLineCount() { return Lock().GetLineCount(); }
    void SetSel(long long start, long long end) { Lock().SetSel(start, end); }
    bool ReplaceSel(std::string_view text) { return Lock().ReplaceSel(text); }
    bool SetText(std::string_view text) { return Lock().SetText(text); }
    void Clear() { Lock().Clear(); }
    Changes TakeChanges() { return Lock().TakeChanges(); }

  private:
    void MarkText(std::size_t from);
    void MarkSelection();
    void Replace(std::size_t from, std::size_t to, std::string_view text);
    std::size_t SnapPosition(std::size_t position) const;
    std::size_t CountLineBreaks(std::size_t from, std::size_t to) const;

    std::mutex mutex_;
    std::string text_;
    std::size_t selStart_ = 0;
    std::size_t selEnd_ = 0;
    std::size_t lineBreaks_ = 0;
    std::uint64_t generation_ = 0;
    Changes changes_;
    bool dirty_ = false;
    LineReturn lineReturn_;
    std::function<void()> notifier_;
};
