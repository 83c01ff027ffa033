#include "platform/registry/reg_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <tuple>

#include "platform/time/clock.h"

namespace platform {

namespace {

LONG ErrnoCode() {
    return errno != 0 ? static_cast<LONG>(errno) : static_cast<LONG>(EIO);
}

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    int Get() const { return fd_; }
    void Reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    // Closes and reports whether the close itself failed (a delayed write error).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void WriteLineToStandardError(const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

struct FileContents {
    bool exists = false;
    struct stat status {};
    std::string text;
};

LONG ReadContents(const std::string& path, FileContents& contents) {
    contents = FileContents{};
    Fd fd(OpenRetrying(path.c_str(), O_RDONLY));
    if (fd.Get() < 0) {
        return errno == ENOENT ? ERROR_SUCCESS : ErrnoCode();
    }
    if (::fstat(fd.Get(), &contents.status) != 0) {
        return ErrnoCode();
    }
    contents.exists = true;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return ErrnoCode();
        }
        if (n == 0) {
            return ERROR_SUCCESS;
        }
        contents.text.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string Describe(const RegParseError& error) {
    return "line " + std::to_string(error.line) + ": " + error.reason;
}

// Readers say once per state of an unreadable file that its values are not used, not at
// every query.
void ReportUnreadableOnce(const std::string& path, const FileContents& contents,
                          const RegParseError& error) {
    static std::mutex mutex;
    static std::set<std::tuple<std::string, dev_t, ino_t, off_t, long, long>> reported;
    const auto identity =
        std::make_tuple(path, contents.status.st_dev, contents.status.st_ino,
                        contents.status.st_size, static_cast<long>(contents.status.st_mtim.tv_sec),
                        static_cast<long>(contents.status.st_mtim.tv_nsec));
    {
        std::lock_guard lock(mutex);
        if (!reported.insert(identity).second) {
            return;
        }
    }
    WriteLineToStandardError("registry store " + path + " cannot be read (" + Describe(error) +
                             "); its values are not used until it is replaced");
}

// The file the store's name leads to: a store that is a symbolic link (into a dotfiles
// repository, say) is replaced where it really lives, and the link stays.
std::string ResolveTarget(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TimestampNow() {
    SYSTEMTIME now;
    GetLocalTime(now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", unsigned{now.wYear},
                  unsigned{now.wMonth}, unsigned{now.wDay}, unsigned{now.wHour},
                  unsigned{now.wMinute}, unsigned{now.wSecond});
    return text;
}

// Puts the unreadable file aside under a name no earlier one holds. The link leaves the store
// in place until the new file replaces it, so no reader ever finds no store at all.
LONG KeepAside(const std::string& target, std::string& aside) {
    const std::string base = target + ".unreadable-" + TimestampNow();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (::link(target.c_str(), aside.c_str()) == 0) {
            return ERROR_SUCCESS;
        }
        if (errno == EEXIST) {
            continue;
        }
        // A file system without hard links: rename instead, having checked under the lock
        // that the name is free.
        if (::access(aside.c_str(), F_OK) == 0) {
            continue;
        }
        if (::rename(target.c_str(), aside.c_str()) == 0) {
            return ERROR_SUCCESS;
        }
        return ErrnoCode();
    }
    return ERROR_ALREADY_EXISTS;
}

// Writes the text beside the target and renames it into place, flushed to the disk first so
// that a crash leaves either the old store or the new one.
LONG ReplaceFile(const std::string& target, const std::string& text, const FileContents& old) {
    static std::atomic<unsigned> counter{0};
    std::string temp;
    Fd fd;
    for (int attempt = 0; attempt < 100 && fd.Get() < 0; ++attempt) {
        temp = target + ".tmp-" + std::to_string(::getpid()) + "-" +
               std::to_string(counter.fetch_add(1));
        fd = Fd(OpenRetrying(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666));
        if (fd.Get() < 0 && errno != EEXIST) {
            return ErrnoCode();
        }
    }
    if (fd.Get() < 0) {
        return ERROR_ALREADY_EXISTS;
    }
    LONG result = ERROR_SUCCESS;
    if (old.exists && ::fchmod(fd.Get(), old.status.st_mode & 07777) != 0) {
        result = ErrnoCode();
    } else if (!WriteAll(fd.Get(), text) || ::fsync(fd.Get()) != 0) {
        result = ErrnoCode();
    }
    if (!fd.Close() && result == ERROR_SUCCESS) {
        result = ErrnoCode();
    }
    if (result == ERROR_SUCCESS && ::rename(temp.c_str(), target.c_str()) != 0) {
        result = ErrnoCode();
    }
    if (result != ERROR_SUCCESS) {
        ::unlink(temp.c_str());
        return result;
    }
    // The rename itself is durable only once the directory is flushed; a file system that
    // cannot flush a directory has nothing more to offer, so that failure is not an error.
    Fd dir(OpenRetrying(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
    return ERROR_SUCCESS;
}

class StoreLock {
  public:
    explicit StoreLock(const std::string& storePath)
        : fd_(OpenRetrying((storePath + ".lock").c_str(), O_RDWR | O_CREAT, 0666)) {
        if (fd_.Get() < 0) {
            result_ = ErrnoCode();
            return;
        }
        int rc;
        do {
            rc = ::flock(fd_.Get(), LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        result_ = rc == 0 ? ERROR_SUCCESS : ErrnoCode();
    }
    // Closing the descriptor releases the lock.
    LONG Result() const { return result_; }

  private:
    Fd fd_;
    LONG result_ = ERROR_SUCCESS;
};

}  // namespace

RegStore::RegStore(std::string path) : path_(std::move(path)) {}

LONG RegStore::Read(RegFile& file) const {
    file = RegFile{};
    FileContents contents;
    if (const LONG rc = ReadContents(path_, contents); rc != ERROR_SUCCESS) {
        return rc;
    }
    RegParseError error;
    if (contents.exists && !ParseRegFile(contents.text, file, error)) {
        ReportUnreadableOnce(path_, contents, error);
    }
    return ERROR_SUCCESS;
}

LONG RegStore::Update(const Change& change) const {
    StoreLock lock(path_);
    if (lock.Result() != ERROR_SUCCESS) {
        return lock.Result();
    }
    const std::string target = ResolveTarget(path_);
    FileContents contents;
    if (const LONG rc = ReadContents(target, contents); rc != ERROR_SUCCESS) {
        return rc;
    }
    RegFile file;
    RegParseError error;
    const bool unreadable = contents.exists && !ParseRegFile(contents.text, file, error);
    bool changed = false;
    if (const LONG rc = change(file, changed); rc != ERROR_SUCCESS || !changed) {
        return rc;
    }
    if (unreadable) {
        std::string aside;
        if (const LONG rc = KeepAside(target, aside); rc != ERROR_SUCCESS) {
            return rc;  // never write over a file that could not be kept
        }
        WriteLineToStandardError("registry store " + target + " could not be read (" +
                                 Describe(error) + "); kept aside as " + aside);
    }
    return ReplaceFile(target, FormatRegFile(file), contents);
}

}  // namespace platform
