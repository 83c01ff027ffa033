#pragma once
// What makes a file write or create fail on a real file system, for the tests of files that
// must report it: a file-size limit (the disk is "full" past it) and a read-only directory
// that holds even for a test run as root.

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <string>

// While alive, no file of this process grows past `bytes`; a write past it fails with EFBIG
// instead of raising SIGXFSZ. Threads started meanwhile are limited too.
class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~ScopedFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

// Makes `directory` read-only while alive. Root passes over a directory's mode, so the
// calling thread (and the threads it starts meanwhile) also gives up that override; it comes
// back at the end.
class ScopedReadOnlyDirectory {
  public:
    explicit ScopedReadOnlyDirectory(std::string directory) : directory_(std::move(directory)) {
        chmod(directory_.c_str(), 0555);
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (syscall(SYS_capget, &header_, saved_) == 0) {
            __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
            reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
            dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
        }
    }
    ~ScopedReadOnlyDirectory() {
        if (dropped_) {
            syscall(SYS_capset, &header_, saved_);
        }
        chmod(directory_.c_str(), 0755);
    }
    ScopedReadOnlyDirectory(const ScopedReadOnlyDirectory&) = delete;
    ScopedReadOnlyDirectory& operator=(const ScopedReadOnlyDirectory&) = delete;

    // True when a file can no longer be made in the directory.
    bool Holds() const {
        const std::string probe = directory_ + "/.probe";
        const int fd = open(probe.c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0) {
            return true;
        }
        close(fd);
        unlink(probe.c_str());
        return false;
    }

  private:
    std::string directory_;
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};
