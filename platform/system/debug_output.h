#pragma once
// Debug output as OutputDebugStringA gives it. On Windows the texts reach an attached
// debugger; here they go to standard error, but only when the environment variable
// QUENBY_DEBUG is set to something other than empty or "0", so a normal run stays quiet.

#include <functional>
#include <string_view>

namespace platform {

// Writes the text as it is (no line break is added); a null pointer writes nothing.
void OutputDebugStringA(const char* text);

// True when QUENBY_DEBUG asks for debug output; read on every call, so a change of the
// environment takes effect at once.
bool DebugOutputEnabled();

// While a sink is in place every text goes to it, whatever QUENBY_DEBUG says, and none to
// standard error. An empty function removes the sink. The sink is called on the thread that
// writes the text and must not write debug output itself.
void SetDebugOutputSinkForTesting(std::function<void(std::string_view)> sink);

}  // namespace platform
