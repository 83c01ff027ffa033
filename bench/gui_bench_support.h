#pragma once
// What the benchmarks that drive halvo2's windows share: running the GUI thread's event loop
// until a condition holds or for a while, a private temporary directory, and percentiles.

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// Runs the GUI thread's event loop until `done` holds (looked at every 10 ms) or `milliseconds`
// have passed; true when it holds.
inline bool RunUntil(const std::function<bool()>& done, int milliseconds) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

inline void RunFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The value at `fraction` (0..1) of sorted samples; NaN without samples.
inline double Percentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) {
        return NAN;
    }
    const auto rank =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// A directory of its own under /tmp, removed with everything in it at the end.
class TempDir {
  public:
    explicit TempDir(const char* prefix) {
        std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ec);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    bool Made() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// The programs' files go to directories of the benchmark's own: the configuration (port map,
// preferences, in its "quenby" folder) and the program directory (log files).
class PrivateDirectories {
  public:
    explicit PrivateDirectories(const std::string& name)
        : config_(("quenby-" + name + "-config").c_str()),
          program_(("quenby-" + name + "-program").c_str()) {
        std::error_code ec;
        made_ = config_.Made() && program_.Made() &&
                std::filesystem::create_directories(ConfigDir(), ec);
        if (made_) {
            setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
            setenv("QUENBY_PROGRAM_DIR", program_.Path().c_str(), 1);
        }
    }
    bool Made() const { return made_; }
    // Where the port map and the stored preferences go.
    std::string ConfigDir() const { return config_.Path() + "/quenby"; }

  private:
    TempDir config_;
    TempDir program_;
    bool made_ = false;
};

// Without a display and without a platform chosen, the windows run on the offscreen platform.
inline void UseOffscreenPlatformWithoutDisplay() {
    const auto empty = [](const char* name) {
        const char* value = std::getenv(name);
        return value == nullptr || *value == '\0';
    };
    if (empty("QT_QPA_PLATFORM") && empty("DISPLAY") && empty("WAYLAND_DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
}

// The machine's load over the last minute: other programs' work shows in every figure.
inline double LoadAverage() {
    double load = NAN;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

// The number that follows `label` in a report's text, if there is one.
inline std::optional<double> NumberAfter(const std::string& text, const char* label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const char* begin = text.c_str() + at + std::char_traits<char>::length(label);
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin) {
        return std::nullopt;
    }
    return value;
}

}  // namespace bench
