#pragma once
// The text of a registry store file, in the registry editor's REGEDIT4 export format, and the
// keys and values it holds:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Quenby\Halvo2\Settings]
//   "Save Settings On Exit"=hex(1):31,00,00,00,...
//   "Hand Edited"="1"
//
// Key and value names compare without regard to case, as the registry's do, and keep the
// spelling they were created with. Every value keeps its type and its exact bytes.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win/win_types.h"

namespace platform {

struct RegValue {
    std::string name;  // empty: the key's default value, written "@"
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct RegKey {
    std::string path;              // from the root: "HKEY_CURRENT_USER\Software\..."
    std::vector<RegValue> values;  // in the order they were first set

    RegValue* FindValue(std::string_view name);
    const RegValue* FindValue(std::string_view name) const;
    // Replaces the data of a value of that name where it stands, or appends a new value.
    // False when the value already held exactly this type and data.
    bool SetValue(std::string_view name, DWORD type, std::vector<BYTE> data);
    bool DeleteValue(std::string_view name);
};

struct RegFile {
    std::vector<RegKey> keys;

    RegKey* FindKey(std::string_view path);
    const RegKey* FindKey(std::string_view path) const;
    // A key exists when it has a section of its own or when one of its subkeys has one, as a
    // subkey cannot exist without its parents.
    bool KeyExists(std::string_view path) const;
    // The key of that path, added when missing. A part of the path that already exists keeps
    // its stored spelling.
    RegKey& AddKey(std::string_view path);
};

struct RegParseError {
    std::size_t line = 0;  // from 1
    std::string reason;
};

// False for a text that is not a REGEDIT4 file, with the first fault found; `file` is then
// empty. An empty text is an empty store. Deletion entries ("[-key]", "name"=-) remove what
// they name.
bool ParseRegFile(std::string_view text, RegFile& file, RegParseError& error);

// Keys sorted by path (so parents come before their subkeys), values in their order; a text
// value that is printable ASCII with one terminating zero is written as a quoted string,
// everything else byte by byte, folded before column 80.
std::string FormatRegFile(const RegFile& file);

// ASCII case folding, as the registry's comparison of names needs it.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace platform
