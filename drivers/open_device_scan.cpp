#include "drivers/open_device_scan.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>

namespace portcount {

namespace {

bool AllDigits(const char* name) {
    if (*name == '\0') {
        return false;
    }
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

OpenDeviceScan::OpenDeviceScan(std::string procRoot) : procRoot_(std::move(procRoot)) {}

bool OpenDeviceScan::OpenElsewhere(const std::string& path, SteadyTime now) {
    if (!fresh_ || now - scanned_ >= std::chrono::seconds(1) || now < scanned_) {
        Rescan();
        scanned_ = now;
        fresh_ = true;
    }
    return open_.count(path) != 0;
}

void OpenDeviceScan::Rescan() {
    open_.clear();
    const std::string self = std::to_string(::getpid());
    DIR* proc = ::opendir(procRoot_.c_str());
    if (proc == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(proc)) {
        if (!AllDigits(entry->d_name) || self == entry->d_name) {
            continue;
        }
        const std::string fdDir = procRoot_ + "/" + entry->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (fds == nullptr) {
            continue;  // gone, or another user's process
        }
        while (const dirent* fd = ::readdir(fds)) {
            if (!AllDigits(fd->d_name)) {
                continue;
            }
            char target[512];
            const std::string link = fdDir + "/" + fd->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            // Only device nodes matter; sockets, pipes and files are skipped early.
            if (n > 5 && std::string_view(target, 5) == "/dev/") {
                open_.emplace(target, static_cast<std::size_t>(n));
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
}

}  // namespace portcount
