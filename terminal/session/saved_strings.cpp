#include "terminal/session/saved_strings.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "platform/system/last_error.h"
#include "platform/system/paths.h"

namespace {

int HexValue(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return -1;
}

unsigned char Upper(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// Compares without regard to the case of ASCII letters, as the list sorts.
int CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Upper(a[i]);
        const unsigned char y = Upper(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

std::optional<std::string> ParseHexString(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::optional<std::string> StringSenderBytes(StringType type, std::string_view text) {
    if (type == StringType::Ascii) {
        return std::string(text);
    }
    return ParseHexString(text);
}

std::string SavedStringsPath() {
    return platform::ProgramDirectory() + "/HexAsciiStrings.txt";
}

void SavedStrings::Load(const std::string& path) {
    entries_.clear();
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        Add(line);
    }
}

bool SavedStrings::Store(const std::string& path) const {
    // Written beside the file and put in its place only when whole: a full disk must not cost
    // the strings saved before.
    const std::string temporary = path + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        platform::FailWithErrno();
        return false;
    }
    bool ok = true;
    for (const std::string& entry : entries_) {
        ok = ok && std::fwrite(entry.data(), 1, entry.size(), file) == entry.size() &&
             std::fwrite("\r\n", 1, 2, file) == 2;
    }
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        platform::FailWithErrno();
        std::remove(temporary.c_str());
    }
    return ok;
}

std::size_t SavedStrings::Add(std::string text) {
    const auto at = std::upper_bound(
        entries_.begin(), entries_.end(), text,
        [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
    const auto index = static_cast<std::size_t>(at - entries_.begin());
    entries_.insert(at, std::move(text));
    return index;
}

void SavedStrings::RemoveAt(std::size_t index) {
    if (index < entries_.size()) {
        entries_.erase(entries_.begin() + static_cast<long>(index));
    }
}

std::optional<std::size_t> SavedStrings::FindExact(std::string_view text) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (CompareNoCase(entries_[i], text) == 0) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> SavedStrings::FindPrefix(std::string_view text) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].size() >= text.size() &&
            CompareNoCase(std::string_view(entries_[i]).substr(0, text.size()), text) == 0) {
            return i;
        }
    }
    return std::nullopt;
}
