#pragma once
// A private configuration directory for one test: XDG_CONFIG_HOME points at a fresh temporary
// directory for the test's lifetime, so the port map and the registry store are the test's own.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempConfig {
  public:
    TempConfig() {
        char pattern[] = "/tmp/quenby-test-XXXXXX";
        root_ = mkdtemp(pattern);
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            hadOld_ = true;
            old_ = old;
        }
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        std::filesystem::create_directories(root_ + "/quenby");
    }
    ~TempConfig() {
        if (hadOld_) {
            setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempConfig(const TempConfig&) = delete;
    TempConfig& operator=(const TempConfig&) = delete;

    std::string Root() const { return root_; }
    std::string Dir() const { return root_ + "/quenby"; }

    void WritePortMap(const std::string& text) const {
        std::ofstream(Dir() + "/ports.conf") << text;
    }

  private:
    std::string root_;
    std::string old_;
    bool hadOld_ = false;
};
