#pragma once
// The driver service portcountd for one test or benchmark: its own device directory
// (QUENBY_DEVICE_DIR points there while it lives), its standard error in a file, started and
// waited for until its sockets take connections, its control commands run through its own
// client, stopped with a signal and reaped. It reads its card from portcountd.conf in the
// configuration directory (a TempConfig) unless its arguments name another.
// Needs PORTCOUNTD_PATH, which the build defines for the targets that start the service.

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/wait.h"

class ServiceProcess {
  public:
    ServiceProcess() {
        char pattern[] = "/tmp/quenby-pcd-XXXXXX";
        root_ = mkdtemp(pattern);
        dir_ = root_ + "/devices";
        if (const char* old = std::getenv("QUENBY_DEVICE_DIR")) {
            hadOld_ = true;
            old_ = old;
        }
        setenv("QUENBY_DEVICE_DIR", dir_.c_str(), 1);
    }
    ~ServiceProcess() {
        Signal(SIGKILL);
        // Put back what an enclosing service set, so that one stays reachable.
        if (hadOld_) {
            setenv("QUENBY_DEVICE_DIR", old_.c_str(), 1);
        } else {
            unsetenv("QUENBY_DEVICE_DIR");
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts the service with args after --device-dir; true once every socket is there and
    // the control socket, made last, takes connections (a dead service's sockets do not).
    bool Start(std::vector<std::string> args = {}) {
        pid_ = Spawn(std::move(args), root_ + "/stderr");
        bool died = false;
        const bool up = WaitUntil(
            [&] {
                int status = 0;
                died = waitpid(pid_, &status, WNOHANG) == pid_;
                return died || (AllSockets() && Connects("portcountd.ctl"));
            },
            std::chrono::seconds(30));
        if (died) {
            pid_ = -1;
        }
        return up && !died;
    }

    // One control command (`portcountd --ctl words...`) through the service's own client,
    // which returns once the service has answered; its exit status. What the client said on
    // standard error is in ControlErrors().
    int Control(std::vector<std::string> words) {
        std::error_code ec;
        std::filesystem::remove(ControlErrorsFile(), ec);
        words.insert(words.begin(), "--ctl");
        return RunToEnd(std::move(words), ControlErrorsFile());
    }
    std::string ControlErrors() const { return Read(ControlErrorsFile()); }

    // Stops the service as a user would (SIGTERM); its exit status, or -1.
    int Stop() { return Signal(SIGTERM); }

    // Runs portcountd to its end with args after --device-dir; its exit status, or -1.
    int RunToEnd(std::vector<std::string> args, const std::string& errFile) {
        const pid_t pid = Spawn(std::move(args), errFile);
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
            return -1;
        }
        return WEXITSTATUS(status);
    }

    // Runs portcountd to its end with args alone, so that it finds its device directory the
    // way the programs do (from the environment); its exit status, or -1.
    // A service that starts serving instead of ending is stopped after a generous while: -1.
    int RunToEndInTheDefaultDirectory(std::vector<std::string> args, const std::string& errFile) {
        const pid_t pid = Spawn(std::move(args), errFile, false);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Sends the signal and reaps the process; its exit status, or -1 when it died of a signal.
    int Signal(int sig) {
        if (pid_ <= 0) {
            return -1;
        }
        kill(pid_, sig);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool AllSockets() const {
        for (const char* name : {"hubsio", "hubsiox64", "hubsioia64", "talon", "talonx64",
                                 "talonia64", "portcountd.ctl"}) {
            if (!std::filesystem::exists(dir_ + "/" + name)) {
                return false;
            }
        }
        return true;
    }

    bool Connects(const std::string& name) const {
        const std::string path = dir_ + "/" + name;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) {
            return false;
        }
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool ok =
            connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        return ok;
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string Stderr() const { return Read(root_ + "/stderr"); }
    const std::string& Dir() const { return dir_; }
    const std::string& Root() const { return root_; }
    pid_t Pid() const { return pid_; }

  private:
    std::string ControlErrorsFile() const { return root_ + "/control.err"; }

    pid_t Spawn(std::vector<std::string> args, const std::string& errFile,
                bool namingTheDirectory = true) {
        if (namingTheDirectory) {
            args.insert(args.begin(), {"--device-dir", dir_});
        }
        args.insert(args.begin(), PORTCOUNTD_PATH);
        // Everything the child needs is made before the fork: the test process has threads,
        // and a child may then only make async-signal-safe calls until it execs.
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            const int out = open("/dev/null", O_WRONLY);
            dup2(err, 2);
            dup2(out, 1);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }

    std::string root_;
    std::string dir_;
    std::string old_;
    bool hadOld_ = false;
    pid_t pid_ = -1;
};
