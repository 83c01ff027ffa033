#pragma once
// The string sender's data: the saved strings kept in "HexAsciiStrings.txt" in the program's
// directory (one per line, CR LF, in the list's order) as a list sorted without regard to
// letter case, and the rule that turns the typed text into the bytes to send.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class StringType { Ascii = 0, Hex = 1 };

// The bytes of a HEX text: pairs of hexadecimal digits (either case), no separators. A last
// single character is ignored; nothing when a character of a pair is not a digit.
std::optional<std::string> ParseHexString(std::string_view text);
// The bytes the string sender writes for `text`: unchanged for ASCII, parsed for HEX.
std::optional<std::string> StringSenderBytes(StringType type, std::string_view text);

// "HexAsciiStrings.txt" in the program's directory.
std::string SavedStringsPath();

class SavedStrings {
  public:
    // Reads the file's lines (without their CR LF) into the sorted list; a file that cannot be
    // read leaves the list empty.
    void Load(const std::string& path);
    // Writes the list, one entry and CR LF each, in list order; false (with the last error)
    // when the file cannot be created or fully written; the file then stays as it was.
    bool Store(const std::string& path) const;

    // Adds `text` in its sorted place (after entries that compare equal); returns its index.
    std::size_t Add(std::string text);
    void RemoveAt(std::size_t index);
    // The first entry equal to `text`, letter case ignored, or nothing.
    std::optional<std::size_t> FindExact(std::string_view text) const;
    // The first entry that begins with `text`, letter case ignored, or nothing.
    std::optional<std::size_t> FindPrefix(std::string_view text) const;

    const std::vector<std::string>& Entries() const { return entries_; }

  private:
    std::vector<std::string> entries_;
};

inline constexpr const char* kInvalidHexText = "Invalid HEX value!";
inline constexpr const char* kStringErrorCaption = "Error ...";
inline constexpr const char* kSaveStringFailedText =
    "Unable to save the selected string permanently!";
inline constexpr const char* kSaveStringFailedCaption = "Save String Error";
inline constexpr const char* kRemoveStringFailedText =
    "Unable to remove the selected string permanently!";
inline constexpr const char* kRemoveStringFailedCaption = "Remove String Error";
inline constexpr const char* kUnableToOpenFileText = "Unable to open file :\n ";
inline constexpr const char* kPatternDialogId = "CPatternDlg";
