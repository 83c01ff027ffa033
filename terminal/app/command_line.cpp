#include "terminal/app/command_line.h"

#include "terminal/session/settings_string.h"

namespace {

constexpr std::string_view kPortPrefix = "COM";

// Upper-cases as the C locale does: only 'a'..'z' change, bytes of 0x80 and above stay.
void UpperCase(std::string& text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 'a' && byte <= 'z')
            c = static_cast<char>(byte - ('a' - 'A'));
    }
}

bool Contains(std::string_view text, std::string_view what) {
    return text.find(what) != std::string_view::npos;
}

// The character after the first occurrence of a two-character switch, or the terminating
// zero when the switch ends the buffer.
char CharacterAfter(std::string_view text, std::string_view what) {
    const std::size_t at = text.find(what) + what.size();
    return at < text.size() ? text[at] : '\0';
}

char ContinuousCharacterOf(char given) {
    const auto byte = static_cast<unsigned char>(given);
    return byte >= 0x41 && byte <= 0x7A ? given : kDefaultContinuousCharacter;
}

// Collects C, O, M and digits into tokens that ',' and ' ' end, skipping every other
// character; a token that begins with "COM" names a port.
std::vector<std::string> PortNamesOf(std::string_view buffer) {
    std::vector<std::string> names;
    std::string token;
    for (const char c : buffer) {
        if (c == ',' || c == ' ') {
            if (token.starts_with(kPortPrefix))
                names.push_back(token);
            token.clear();
        } else if (c == 'C' || c == 'O' || c == 'M' || (c >= '0' && c <= '9')) {
            token.push_back(c);
        }
    }
    return names;
}

Arrangement ArrangementOf(char given) {
    if (given == 'C')
        return Arrangement::Cascade;
    if (given == 'H')
        return Arrangement::Horizontal;
    return Arrangement::Vertical;
}

}  // namespace

CommandLinePlan ProcessCommandLine(std::string_view commandLine, PortConfig& defaultConfig) {
    CommandLinePlan plan;

    // The buffer is filled as a zero-terminated copy, so a zero byte ends the command line.
    std::string buffer(commandLine.substr(0, commandLine.find('\0')));
    UpperCase(buffer);
    if (buffer.empty())
        return plan;

    // Asking for help is answered whatever else the command line holds, even when it is too
    // long for the buffer: the usage text is what such a user needs.
    if (Contains(buffer, "/?")) {
        plan.showUsage = true;
        return plan;
    }

    const bool startsWithPort = buffer.starts_with(kPortPrefix);
    const std::size_t capacity = kCommandLineBufferSize - 1 - (startsWithPort ? 1 : 0);
    if (buffer.size() > capacity) {
        // A command line cut to fit could name other ports or settings than the user gave.
        plan.showInvalidParameter = true;
        return plan;
    }

    bool valid = false;
    if (Contains(buffer, "/F")) {
        plan.continuousCharacter = true;
        plan.character = ContinuousCharacterOf(CharacterAfter(buffer, "/F"));
        valid = true;
    }
    if (Contains(buffer, "/MAX")) {
        plan.maximize = true;
        valid = true;
    }
    if (startsWithPort) {
        buffer += ',';
        plan.portNames = PortNamesOf(buffer);
        if (!plan.portNames.empty())
            valid = true;
        if (Contains(buffer, "/P")) {
            ApplySettingsString(std::string_view(buffer).substr(buffer.find("/P") + 2),
                                defaultConfig);
            plan.settingsApplied = true;
            valid = true;
        }
        plan.arrangeWindows = true;
        if (Contains(buffer, "/W")) {
            plan.arrangement = ArrangementOf(CharacterAfter(buffer, "/W"));
            valid = true;
        }
    }
    plan.showInvalidParameter = !valid;
    return plan;
}

std::string CommandLineFromArguments(std::span<const char* const> arguments) {
    std::string line;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == nullptr)
            break;
        if (i > 1)
            line += ' ';
        line += arguments[i];
    }
    return line;
}
