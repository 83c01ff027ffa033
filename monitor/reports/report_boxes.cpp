#include "monitor/reports/report_boxes.h"

#include <algorithm>

void ReportBoxes::Show(const std::string& text, const std::string& caption, UINT style) {
    Box box{text, caption, style};
    if (open_) {
        // Called from inside the open box's wait: queue it behind that box.
        if (box != current_ && std::find(waiting_.begin(), waiting_.end(), box) == waiting_.end()) {
            waiting_.push_back(std::move(box));
        }
        return;
    }
    open_ = true;
    current_ = std::move(box);
    for (;;) {
        prompts_.MessageBox(current_.text, current_.caption, current_.style);
        if (waiting_.empty()) {
            break;
        }
        current_ = std::move(waiting_.front());
        waiting_.pop_front();
    }
    current_ = Box{};
    open_ = false;
}
