#pragma once
// The message boxes of the reports, one at a time. A modal box runs the event loop while it
// waits, so the polling timer keeps ticking and the next report can fall due (and fail) before
// the user has answered: its box waits until the open one is closed instead of opening on top
// of it, and a failure that says exactly what an open or waiting box says adds none.

#include <deque>
#include <string>

#include "platform/ui/prompts.h"

class ReportBoxes {
  public:
    explicit ReportBoxes(platform::PromptService& prompts) : prompts_(prompts) {}

    // Shows the box now, or once the boxes before it are closed.
    void Show(const std::string& text, const std::string& caption, UINT style);
    // A report box is open.
    bool Open() const { return open_; }

  private:
    struct Box {
        std::string text;
        std::string caption;
        UINT style = 0;
        bool operator==(const Box&) const = default;
    };

    platform::PromptService& prompts_;
    bool open_ = false;
    Box current_;
    std::deque<Box> waiting_;
};
