#pragma once
// What the monitor's Zenith tests ask of the driver service beyond ServiceProcess: the answer
// text of a control line (the query counts of `wmi stats`), and the process's management calls
// started afresh so that each test sees its own first set-up.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "monitor/drivers/wmi_counters.h"
#include "platform/wmi/wmi.h"

// Sends one line to the service's control socket in dir; its answer line, or "" when none came.
inline std::string ControlAnswer(const std::string& dir, const std::string& line) {
    const std::string path = dir + "/portcountd.ctl";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return {};
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string answer;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = line + "\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            char c = 0;
            while (recv(fd, &c, 1, 0) == 1 && c != '\n') {
                answer += c;
            }
        }
    }
    close(fd);
    return answer;
}

// The number of queries the service has answered so far.
inline int ServiceQueries(const std::string& dir) {
    const std::string stats = ControlAnswer(dir, "wmi stats");
    const std::size_t at = stats.find("queries=");
    return at == std::string::npos ? -1 : std::stoi(stats.substr(at + 8));
}

// The process's COM as if nothing had used it yet.
inline void FreshManagementCalls() {
    platform::ResetWmiForTesting();
    ForgetProcessSecurityForTesting();
}
