#pragma once
// The typed list of serial port numbers of the Open Ports dialog ("3-15,21,45,51-56,74"): items
// separated by commas, each a number or a run "first-last"; spaces are ignored anywhere. Items
// keep their written order and a repeated number stays repeated.
//
// Limits: every port the list names becomes a port window with its own threads, and a serial
// name must stay a short name ("COM" and at most five digits), so a text is refused when one of
// its numbers is beyond 99999 either way or when it names more than 1024 ports in all. The
// values are read without ever overflowing an int, however long a digit run is.

#include <cstddef>
#include <string_view>
#include <vector>

inline constexpr int kMaxRangePortNumber = 99999;
inline constexpr std::size_t kMaxRangePortCount = 1024;

// The message box of a refused text (caption "Data Error...", icon MB_ICONHAND).
inline constexpr const char* kInvalidRangeText = "Invalid Range of Ports!";
inline constexpr const char* kDataErrorCaption = "Data Error...";

// Reads a whole range text into `ports`, which is emptied first. Every space and every "*" is
// removed before reading, so "3 - 5" is "3-5" and "3*5" is "35". Refused (false, `ports` left
// empty): an empty text or item (",3", "3,", "3,,4"), an item that begins or ends with a hyphen
// or is one, any character other than digits, hyphens, commas, spaces and "*", and a text beyond
// the limits above. A run whose last number is below its first adds nothing and is not refused.
bool ParseRangeSpec(std::string_view text, std::vector<int>& ports);

// Appends the ports of one item. With a hyphen, the numbers before and after the first hyphen
// are read as atoi reads them (reading stops at the first character that is not part of the
// number: "3-5-7" is the run 3..5 and "3--5" the run 3..-5, which is empty) and the run
// first..last is appended; without one, the item's number. Refused (false, nothing appended)
// when a number is beyond kMaxRangePortNumber either way or when the ports already in `ports`
// and the new ones would be more than kMaxRangePortCount.
[[nodiscard]] bool ExpandRangeToken(std::string_view token, std::vector<int>& ports);

// Appends first, first+1, ..., last (nothing when first > last) under the same limits as an
// item; refused (false, nothing appended) beyond them.
[[nodiscard]] bool AppendPortRun(int first, int last, std::vector<int>& ports);
