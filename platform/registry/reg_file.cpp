#include "platform/registry/reg_file.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <unordered_map>

#include "platform/registry/registry.h"

namespace platform {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::size_t kFoldColumn = 80;

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string Folded(std::string_view s) {
    std::string folded(s);
    for (char& c : folded) {
        c = Lower(c);
    }
    return folded;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsIgnoringCase(s.substr(0, prefix.size()), prefix);
}

// True when `key` lies below `ancestor` ("A\B\C" below "A\B").
bool IsBelow(std::string_view key, std::string_view ancestor) {
    return key.size() > ancestor.size() && key[ancestor.size()] == '\\' &&
           StartsWithIgnoringCase(key, ancestor);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<DWORD> ParseHexNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    DWORD value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<DWORD>(d);
    }
    return value;
}

// Reads a quoted text at the start of `s` (which starts with '"'), undoing the escapes of a
// quote and of a backslash; a backslash before any other character stands for itself, as a
// hand-typed "C:\Temp" means. Returns the rest of `s` after the closing quote.
std::optional<std::string_view> ReadQuoted(std::string_view s, std::string& text) {
    text.clear();
    std::size_t i = 1;
    for (;;) {
        const std::size_t special = s.find_first_of("\"\\", i);
        if (special == std::string_view::npos) {
            return std::nullopt;
        }
        text.append(s.substr(i, special - i));
        if (s[special] == '"') {
            return s.substr(special + 1);
        }
        const bool escape =
            special + 1 < s.size() && (s[special + 1] == '"' || s[special + 1] == '\\');
        text.push_back(s[escape ? special + 1 : special]);
        i = special + (escape ? 2 : 1);
    }
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

// The comma-separated bytes of a hex list; one empty item after a final comma is allowed.
std::optional<std::vector<BYTE>> ParseHexList(std::string_view list) {
    std::vector<BYTE> bytes;
    list = Trim(list);
    if (list.empty()) {
        return bytes;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string_view item =
            Trim(list.substr(start, comma == std::string_view::npos ? list.npos : comma - start));
        const bool last = comma == std::string_view::npos;
        if (item.empty() && last && start > 0) {
            break;
        }
        const auto value = item.size() <= 2 ? ParseHexNumber(item) : std::nullopt;
        if (!value) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<BYTE>(*value));
        if (last) {
            break;
        }
        start = comma + 1;
    }
    return bytes;
}

class Parser {
  public:
    Parser(std::string_view text, RegFile& file, RegParseError& error)
        : text_(text), file_(file), error_(error) {}

    bool Run() {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
            text_.remove_prefix(3);  // a byte-order mark left by an editor
        }
        bool headerSeen = false;
        std::string_view line;
        while (NextLine(line)) {
            line = Trim(line);
            if (line.empty() || line.front() == ';') {
                continue;
            }
            if (!headerSeen) {
                if (!EqualsIgnoringCase(line, kHeader)) {
                    return Fail("the file does not start with REGEDIT4");
                }
                headerSeen = true;
            } else if (line.front() == '[') {
                if (!ReadSection(line)) {
                    return false;
                }
            } else if (line.front() == '"' || line.front() == '@') {
                if (!ReadValue(line)) {
                    return false;
                }
            } else {
                return Fail("a line that is neither a key nor a value");
            }
        }
        return true;
    }

  private:
    bool NextLine(std::string_view& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) {
            end = text_.size();
        }
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        pos_ = end + 1;
        ++lineNumber_;
        return true;
    }

    bool Fail(std::string reason) {
        error_.line = lineNumber_;
        error_.reason = std::move(reason);
        return false;
    }

    bool ReadSection(std::string_view line) {
        // The last ']' closes the name, so a key name may itself hold one.
        if (line.size() < 3 || line.back() != ']') {
            return Fail("a key line without its closing ']'");
        }
        std::string_view path = line.substr(1, line.size() - 2);
        const bool remove = path.front() == '-';
        if (remove) {
            path.remove_prefix(1);
        }
        if (path.empty() || path.front() == '\\' || path.back() == '\\' ||
            path.find("\\\\") != std::string_view::npos) {
            return Fail("a key name with an empty part");
        }
        if (remove) {
            std::erase_if(file_.keys, [&](const RegKey& k) {
                return EqualsIgnoringCase(k.path, path) || IsBelow(k.path, path);
            });
            IndexValues();
            current_ = kNoKey;
        } else {
            const RegKey& key = file_.AddKey(path);
            current_ = static_cast<std::size_t>(&key - file_.keys.data());
            if (current_ == valueIndex_.size()) {
                valueIndex_.emplace_back();
            }
        }
        skipping_ = remove;
        return true;
    }

    bool ReadValue(std::string_view line) {
        if (current_ == kNoKey && !skipping_) {
            return Fail("a value before the first key");
        }
        std::string name;
        std::string_view rest;
        if (line.front() == '@') {
            rest = line.substr(1);
        } else if (auto after = ReadQuoted(line, name)) {
            rest = *after;
        } else {
            return Fail("a value name without its closing quote");
        }
        rest = Trim(rest);
        if (rest.empty() || rest.front() != '=') {
            return Fail("a value name not followed by '='");
        }
        rest = Trim(rest.substr(1));
        DWORD type = 0;
        std::vector<BYTE> data;
        bool remove = false;
        if (!ReadData(rest, type, data, remove)) {
            return false;
        }
        if (skipping_) {
            return true;  // a value of a deleted key
        }
        RegKey& key = file_.keys[current_];
        auto& index = valueIndex_[current_];
        const std::string folded = Folded(name);
        const auto found = index.find(folded);
        if (remove) {
            if (found != index.end()) {
                key.values.erase(key.values.begin() + static_cast<std::ptrdiff_t>(found->second));
                IndexValues();
            }
        } else if (found != index.end()) {
            key.values[found->second].type = type;  // a later line for the same name wins
            key.values[found->second].data = std::move(data);
        } else {
            index.emplace(folded, key.values.size());
            key.values.push_back(RegValue{std::move(name), type, std::move(data)});
        }
        return true;
    }

    // The value positions of every key by folded name, so that reading a store of many values
    // does not compare each new value with all before it.
    void IndexValues() {
        valueIndex_.assign(file_.keys.size(), {});
        for (std::size_t k = 0; k < file_.keys.size(); ++k) {
            const auto& values = file_.keys[k].values;
            for (std::size_t v = 0; v < values.size(); ++v) {
                valueIndex_[k].emplace(Folded(values[v].name), v);
            }
        }
    }

    bool ReadData(std::string_view rest, DWORD& type, std::vector<BYTE>& data, bool& remove) {
        if (rest == "-") {
            remove = true;
            return true;
        }
        if (!rest.empty() && rest.front() == '"') {
            std::string text;
            const auto after = ReadQuoted(rest, text);
            if (!after) {
                return Fail("a text value without its closing quote");
            }
            if (!Trim(*after).empty()) {
                return Fail("text after the closing quote of a value");
            }
            type = REG_SZ;
            data.assign(text.begin(), text.end());
            data.push_back(0);
            return true;
        }
        if (StartsWithIgnoringCase(rest, "dword:")) {
            const auto value = ParseHexNumber(Trim(rest.substr(6)));
            if (!value) {
                return Fail("a dword value that is not 1 to 8 hex digits");
            }
            type = REG_DWORD;
            for (int shift = 0; shift < 32; shift += 8) {
                data.push_back(static_cast<BYTE>(*value >> shift));
            }
            return true;
        }
        if (StartsWithIgnoringCase(rest, "hex:")) {
            type = REG_BINARY;
            rest.remove_prefix(4);
        } else if (StartsWithIgnoringCase(rest, "hex(")) {
            const std::size_t close = rest.find("):");
            const auto number =
                close == rest.npos ? std::nullopt : ParseHexNumber(rest.substr(4, close - 4));
            if (!number) {
                return Fail("a hex(type) prefix with a bad type number");
            }
            type = *number;
            rest.remove_prefix(close + 2);
        } else {
            return Fail("a value of unknown form");
        }
        // Exported files fold long lists: a line that ends in '\' goes on in the next line.
        std::string list(Trim(rest));
        while (!list.empty() && list.back() == '\\') {
            list.pop_back();
            std::string_view next;
            if (!NextLine(next)) {
                return Fail("a continued value at the end of the file");
            }
            list += Trim(next);
        }
        auto bytes = ParseHexList(list);
        if (!bytes) {
            return Fail("a hex list with an item that is not one byte");
        }
        data = std::move(*bytes);
        return true;
    }

    std::string_view text_;
    RegFile& file_;
    RegParseError& error_;
    std::size_t pos_ = 0;
    std::size_t lineNumber_ = 0;
    static constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
    std::size_t current_ = kNoKey;  // index of the key whose values follow
    bool skipping_ = false;         // the values follow a deletion of their key
    std::vector<std::unordered_map<std::string, std::size_t>> valueIndex_;
};

bool IsPlainText(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) {
        return false;
    }
    return std::all_of(data.begin(), data.end() - 1, [](BYTE b) { return b >= 0x20 && b < 0x7F; });
}

void AppendHexList(std::string& out, std::string line, const std::vector<BYTE>& data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::string item{kDigits[data[i] >> 4], kDigits[data[i] & 0xF]};
        const bool more = i + 1 < data.size();
        if (more) {
            item.push_back(',');
        }
        // Room for the item and, when more follow, the continuation mark.
        if (line.size() + item.size() + (more ? 1 : 0) > kFoldColumn && line.size() > 2) {
            out += line;
            out += "\\\n";
            line = "  ";
        }
        line += item;
    }
    out += line;
    out.push_back('\n');
}

void AppendValue(std::string& out, const RegValue& value) {
    std::string line;
    if (value.name.empty()) {
        line = "@";
    } else {
        AppendQuoted(line, value.name);
    }
    line.push_back('=');
    if (value.type == REG_SZ && IsPlainText(value.data)) {
        AppendQuoted(line, std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                            value.data.size() - 1));
        out += line;
        out.push_back('\n');
        return;
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        static constexpr char kDigits[] = "0123456789abcdef";
        line += "dword:";
        for (int i = 3; i >= 0; --i) {
            line.push_back(kDigits[value.data[static_cast<std::size_t>(i)] >> 4]);
            line.push_back(kDigits[value.data[static_cast<std::size_t>(i)] & 0xF]);
        }
        out += line;
        out.push_back('\n');
        return;
    }
    if (value.type == REG_BINARY) {
        line += "hex:";
    } else {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string number;
        DWORD t = value.type;
        do {
            number.insert(number.begin(), kDigits[t & 0xF]);
            t >>= 4;
        } while (t != 0);
        line += "hex(" + number + "):";
    }
    AppendHexList(out, std::move(line), value.data);
}

// Orders paths part by part, so "A\B" comes right after "A" and before "A B".
bool PathLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    for (; i < a.size() && i < b.size(); ++i) {
        const char ca = a[i] == '\\' ? '\0' : Lower(a[i]);
        const char cb = b[i] == '\\' ? '\0' : Lower(b[i]);
        if (ca != cb) {
            return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb);
        }
    }
    return a.size() < b.size();
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

RegValue* RegKey::FindValue(std::string_view name) {
    auto it = std::find_if(values.begin(), values.end(),
                           [&](const RegValue& v) { return EqualsIgnoringCase(v.name, name); });
    return it == values.end() ? nullptr : &*it;
}

const RegValue* RegKey::FindValue(std::string_view name) const {
    return const_cast<RegKey*>(this)->FindValue(name);
}

bool RegKey::SetValue(std::string_view name, DWORD type, std::vector<BYTE> data) {
    if (RegValue* existing = FindValue(name)) {
        if (existing->type == type && existing->data == data) {
            return false;
        }
        existing->type = type;
        existing->data = std::move(data);
        return true;
    }
    values.push_back(RegValue{std::string(name), type, std::move(data)});
    return true;
}

bool RegKey::DeleteValue(std::string_view name) {
    const auto removed =
        std::erase_if(values, [&](const RegValue& v) { return EqualsIgnoringCase(v.name, name); });
    return removed > 0;
}

RegKey* RegFile::FindKey(std::string_view path) {
    auto it = std::find_if(keys.begin(), keys.end(),
                           [&](const RegKey& k) { return EqualsIgnoringCase(k.path, path); });
    return it == keys.end() ? nullptr : &*it;
}

const RegKey* RegFile::FindKey(std::string_view path) const {
    return const_cast<RegFile*>(this)->FindKey(path);
}

bool RegFile::KeyExists(std::string_view path) const {
    return std::any_of(keys.begin(), keys.end(), [&](const RegKey& k) {
        return EqualsIgnoringCase(k.path, path) || IsBelow(k.path, path);
    });
}

RegKey& RegFile::AddKey(std::string_view path) {
    if (RegKey* existing = FindKey(path)) {
        return *existing;
    }
    // Take the stored spelling of the longest part of the path that exists already.
    std::string spelled(path);
    for (std::size_t cut = path.size(); cut != std::string_view::npos && cut > 0;
         cut = path.rfind('\\', cut - 1)) {
        const std::string_view prefix = path.substr(0, cut);
        const auto owner = std::find_if(keys.begin(), keys.end(), [&](const RegKey& k) {
            return EqualsIgnoringCase(k.path, prefix) || IsBelow(k.path, prefix);
        });
        if (owner != keys.end()) {
            spelled.replace(0, cut, owner->path.substr(0, cut));
            break;
        }
    }
    keys.push_back(RegKey{std::move(spelled), {}});
    return keys.back();
}

bool ParseRegFile(std::string_view text, RegFile& file, RegParseError& error) {
    file = RegFile{};
    error = RegParseError{};
    Parser parser(text, file, error);
    if (!parser.Run()) {
        file = RegFile{};
        return false;
    }
    return true;
}

std::string FormatRegFile(const RegFile& file) {
    std::vector<const RegKey*> order;
    order.reserve(file.keys.size());
    for (const RegKey& key : file.keys) {
        order.push_back(&key);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const RegKey* a, const RegKey* b) { return PathLess(a->path, b->path); });
    std::string out(kHeader);
    out += "\n\n";
    for (const RegKey* key : order) {
        out += "[" + key->path + "]\n";
        for (const RegValue& value : key->values) {
            AppendValue(out, value);
        }
        out.push_back('\n');
    }
    return out;
}

}  // namespace platform
