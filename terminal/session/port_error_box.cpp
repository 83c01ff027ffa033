#include "terminal/session/port_error_box.h"

#include <cstdio>

#include "terminal/session/short_threads.h"

namespace {

// The boxes still up.
ShortThreads& Boxes() {
    // Never destroyed: a box thread may still end after the statics of the program are gone.
    static ShortThreads* boxes = new ShortThreads();
    return *boxes;
}

}  // namespace

std::string FormatPortErrorText(const char* message, long code) {
    char errorText[kErrorTextSize] = {};
    const char* text = message != nullptr ? message : "";
    if (code == 0) {
        std::snprintf(errorText, sizeof errorText, "%s", text);
    } else {
        std::snprintf(errorText, sizeof errorText, "%s\n\n(error code: %ld)", text, code);
    }
    return errorText;
}

void ShowPortErrorBox(platform::PromptService& prompts, std::string text, std::string caption) {
    // Without a thread the box cannot be shown; the debug output says so.
    Boxes().Start(
        [&prompts, text = std::move(text), caption = std::move(caption)] {
            prompts.MessageBox(text, caption, MB_ICONHAND);
        },
        "Halvo2 can't show the port's error box!\n");
}

bool WaitForPortErrorBoxes(unsigned long milliseconds) {
    return Boxes().WaitIdle(milliseconds);
}
