#pragma once
// The real driver service for integration tests: started with a private device directory
// (QUENBY_DEVICE_DIR points there for the test's lifetime), waited for until its sockets
// exist, stopped with SIGTERM at the end.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

class DriverService {
  public:
    // True when the service's sockets appeared within a generous deadline.
    bool Start(const std::string& executable, std::vector<std::string> args) {
        char pattern[] = "/tmp/quenby-devdir-XXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("QUENBY_DEVICE_DIR", dir_.c_str(), 1);
        args.insert(args.begin(), {executable, "--device-dir", dir_});
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Serves("hubsio") && Serves("talon") && Serves("hubsiox64") && Serves("talonx64")) {
                return true;
            }
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    bool Serves(const std::string& name) const {
        return std::filesystem::exists(dir_ + "/" + name);
    }

    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    ~DriverService() {
        Stop();
        unsetenv("QUENBY_DEVICE_DIR");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

  private:
    std::string dir_;
    pid_t pid_ = -1;
};
