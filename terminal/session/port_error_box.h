#pragma once
// The port's error reporter: the message, with the system's error code when there is one, in
// a box shown from a short thread of its own, so the thread that reports never waits for the
// user (the port thread must stay free to run the close).

#include <cstddef>
#include <string>

#include "platform/ui/prompts.h"

// The text is kept in a 150-character buffer: at most 149 characters and the terminator.
constexpr std::size_t kErrorTextSize = 150;

// The message alone when `code` is 0, otherwise "%s\n\n(error code: %ld)"; cut to 149
// characters. A null message counts as empty.
std::string FormatPortErrorText(const char* message, long code);

// Shows `text` with `caption` and the error icon from a detached thread and returns at once.
// The thread holds copies of the texts only; the prompt service must outlive it (the
// program's service lives until exit; see WaitForPortErrorBoxes).
void ShowPortErrorBox(platform::PromptService& prompts, std::string text, std::string caption);

// Waits until no error box thread is running any more, so that whoever installed the prompt
// service may release it; false after `milliseconds` with a box still up.
bool WaitForPortErrorBoxes(unsigned long milliseconds);
