#include "terminal/session/display_buffer.h"

#include <algorithm>

#include "platform/system/last_error.h"

DisplayBuffer::DisplayBuffer() {
    // Room for the whole limit at once, so that no append ever moves the text.
    text_.reserve(kTextLimit);
}

void DisplayBuffer::SetChangeNotifier(std::function<void()> notifier) {
    std::lock_guard<std::mutex> guard(mutex_);
    notifier_ = std::move(notifier);
}

DisplayBuffer::Locked::Locked(DisplayBuffer& buffer)
    : buffer_(buffer), lock_(buffer.mutex_), wasClean_(!buffer.dirty_) {}

DisplayBuffer::Locked::~Locked() {
    const bool notify = wasClean_ && buffer_.dirty_ && buffer_.notifier_;
    std::function<void()> notifier = notify ? buffer_.notifier_ : nullptr;
    lock_.unlock();
    // Outside the lock: the widget's side may take the changes at once.
    if (notifier)
        notifier();
}

void DisplayBuffer::MarkText(std::size_t from) {
    if (!changes_.textChanged || from < changes_.firstChanged)
        changes_.firstChanged = from;
    changes_.textChanged = true;
    ++generation_;
    dirty_ = true;
}

void DisplayBuffer::MarkSelection() {
    changes_.selectionChanged = true;
    ++generation_;
    dirty_ = true;
}

std::size_t DisplayBuffer::SnapPosition(std::size_t position) const {
    position = std::min(position, text_.size());
    if (position > 0 && position < text_.size() && text_[position - 1] == '\r' &&
        text_[position] == '\n')
        --position;
    return position;
}

std::size_t DisplayBuffer::CountLineBreaks(std::size_t from, std::size_t to) const {
    std::size_t count = 0;
    to = std::min(to, text_.size());
    for (std::size_t i = std::max<std::size_t>(from, 1); i < to; ++i) {
        if (text_[i] == '\n' && text_[i - 1] == '\r')
            ++count;
    }
    return count;
}

void DisplayBuffer::Replace(std::size_t from, std::size_t to, std::string_view text) {
    // Line breaks can only appear or vanish inside the replaced range and at its two edges.
    const std::size_t edgeFrom = from > 0 ? from - 1 : 0;
    lineBreaks_ -= CountLineBreaks(edgeFrom, to + 1);
    text_.replace(from, to - from, text);
    lineBreaks_ += CountLineBreaks(edgeFrom, from + text.size() + 1);
    MarkText(from);
}

void DisplayBuffer::Locked::SetSel(long long start, long long end) {
    DisplayBuffer& b = buffer_;
    const long long length = static_cast<long long>(b.text_.size());
    std::size_t newStart;
    std::size_t newEnd;
    if (start < 0) {
        newStart = newEnd = b.selEnd_;
    } else {
        if (end < 0 || end > length)
            end = length;
        start = std::min(start, length);
        if (start > end)
            std::swap(start, end);
        newStart = b.SnapPosition(static_cast<std::size_t>(start));
        newEnd = b.SnapPosition(static_cast<std::size_t>(end));
    }
    if (newStart == b.selStart_ && newEnd == b.selEnd_)
        return;
    b.selStart_ = newStart;
    b.selEnd_ = newEnd;
    b.MarkSelection();
}

void DisplayBuffer::Locked::ScrollCaret() {
    buffer_.changes_.scrollToCaret = true;
    buffer_.dirty_ = true;
}

bool DisplayBuffer::Locked::ReplaceSel(std::string_view text) {
    DisplayBuffer& b = buffer_;
    const std::size_t kept = b.text_.size() - (b.selEnd_ - b.selStart_);
    if (kept + text.size() > kTextLimit) {
        // The control cuts the insertion and reports that it is full; the port's display
        // answers by emptying itself, so what did fit is gone as well.
        Clear();
        b.changes_.emptiedWhenFull = true;
        return false;
    }
    if (text.empty() && b.selStart_ == b.selEnd_)
        return true;
    b.Replace(b.selStart_, b.selEnd_, text);
    b.selStart_ += text.size();
    b.selEnd_ = b.selStart_;
    b.changes_.selectionChanged = true;
    return true;
}

bool DisplayBuffer::Locked::SetText(std::string_view text) {
    if (text.size() > kTextLimit) {
        platform::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DisplayBuffer& b = buffer_;
    b.text_.assign(text);
    b.lineBreaks_ = b.CountLineBreaks(0, b.text_.size());
    b.selStart_ = b.selEnd_ = 0;
    b.MarkText(0);
    b.changes_.selectionChanged = true;
    return true;
}

void DisplayBuffer::Locked::Clear() {
    DisplayBuffer& b = buffer_;
    if (b.text_.empty() && b.selStart_ == 0 && b.selEnd_ == 0)
        return;
    b.text_.clear();
    b.lineBreaks_ = 0;
    b.selStart_ = b.selEnd_ = 0;
    b.MarkText(0);
    b.changes_.selectionChanged = true;
}

DisplayBuffer::Changes DisplayBuffer::Locked::TakeChanges() {
    DisplayBuffer& b = buffer_;
    Changes changes = b.changes_;
    changes.generation = b.generation_;
    changes.selectionStart = b.selStart_;
    changes.selectionEnd = b.selEnd_;
    changes.length = b.text_.size();
    b.changes_ = Changes{};
    b.dirty_ = false;
    // Taking the changes starts a new batch for the notifier.
    wasClean_ = true;
    return changes;
}
