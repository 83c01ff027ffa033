#include "terminal/session/port_error_box.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/system/debug_output.h"

namespace {

// The boxes still up, counted so that tests and the program's exit can wait for them.
struct OpenBoxes {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
};

OpenBoxes& Boxes() {
    // Never destroyed: a box thread may still end after the statics of the program are gone.
    static OpenBoxes* boxes = new OpenBoxes();
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
    OpenBoxes& boxes = Boxes();
    {
        std::lock_guard lock(boxes.mutex);
        ++boxes.count;
    }
    auto show = [&prompts, &boxes, text = std::move(text), caption = std::move(caption)] {
        prompts.MessageBox(text, caption, MB_ICONHAND);
        std::lock_guard lock(boxes.mutex);
        --boxes.count;
        boxes.changed.notify_all();
    };
    try {
        std::thread(std::move(show)).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the message still reaches the debug output.
        platform::OutputDebugStringA("Halvo2 can't show the port's error box!\n");
        std::lock_guard lock(boxes.mutex);
        --boxes.count;
        boxes.changed.notify_all();
    }
}

bool WaitForPortErrorBoxes(unsigned long milliseconds) {
    OpenBoxes& boxes = Boxes();
    std::unique_lock lock(boxes.mutex);
    return boxes.changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [&] { return boxes.count == 0; });
}
