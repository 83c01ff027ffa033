#pragma once
// The port range typed into the Add Ports dialog: comma-separated numbers and runs such as
// "3-15,21,45,51-56,74". Spaces and "*" are ignored. A run a-b gives a, a+1, ..., b and
// nothing when a > b; digits after a second "-" are ignored ("3-5-9" is 3-5).

#include <cstdint>
#include <string_view>
#include <vector>

inline constexpr const char* kInvalidRangeText = "Invalid Range of Ports!";
inline constexpr const char* kDataErrorCaption = "Data Error...";

struct PortRangeResult {
    // False for a malformed range: the dialog shows kInvalidRangeText and stays open.
    bool valid = false;
    // The numbers in the order typed; on an error, those of the tokens before the bad one.
    std::vector<std::uint32_t> numbers;
};

// Numbers above this are refused: no port or driver code is that large, and a run up to it
// must not take unbounded memory.
constexpr std::uint32_t kMaxRangeNumber = 99999;

PortRangeResult ParsePortRange(std::string_view text);
