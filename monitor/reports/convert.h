#pragma once
// The Convert command (File menu, 32785): the text copy of any session file, written beside
// it, without touching the live table. The copy is made from the file's own rows and column
// list ("Selected Version") or every column ("Full Version"); the throughput column uses the
// live polling interval.

#include <string>

#include "platform/ui/prompts.h"

enum class ConvertResult {
    Converted,
    Cancelled,    // the file dialog was cancelled
    CannotOpen,   // the file could not be opened or read
    Corrupted,    // the file is not a session file
    CannotWrite,  // the text copy could not be written (or would replace the file itself)
};

// Converts the session file at `path`, without any message.
ConvertResult ConvertSessionFile(const std::string& path, const std::string& reportType,
                                 int pollMs);

// The whole command: the file dialog, the conversion and its message. The success box is
// shown only when every byte of the copy was written and the copy is in place.
ConvertResult Convert(platform::PromptService& prompts, const std::string& reportType, int pollMs);
