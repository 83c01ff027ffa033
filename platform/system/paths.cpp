#include "platform/system/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {

namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// `dir` + "/" + `name`, without doubling the slash of the root directory.
std::string Join(const std::string& dir, const char* name) {
    std::string base = WithoutTrailingSlash(dir);
    if (base == "/") {
        base.clear();
    }
    return base + "/" + name;
}

// The user's home: $HOME, else the password database's entry. Empty when neither names one.
std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home == '/') {
        return home;
    }
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir && *found->pw_dir == '/') {
        return found->pw_dir;
    }
    return {};
}

}  // namespace

std::string ProgramDirectory() {
    if (const char* dir = std::getenv("QUENBY_PROGRAM_DIR"); dir && *dir) {
        return WithoutTrailingSlash(dir);
    }
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return ".";
    }
    return WithoutTrailingSlash(exe.parent_path().string());
}

std::string ConfigDirectory() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (std::string home = HomeDirectory(); !home.empty()) {
        base = Join(home, ".config");
    } else {
        // A directory of this user's own, not one every user of the machine shares.
        base = "/tmp/quenby-config-" + std::to_string(getuid());
    }
    std::string dir = Join(base, "quenby");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

}  // namespace platform
