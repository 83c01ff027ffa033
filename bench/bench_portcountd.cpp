// One command-11 request for 512 ports, round trip through the driver service's socket:
// p50 and p99 over many requests. Usage: bench_portcountd [requests]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/devio/device_io.h"
#include "platform/system/last_error.h"
#include "tests/support/temp_config.h"
#ifdef PORTCOUNTD_PATH
#include "tests/support/service_process.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr DWORD kIoctlPortMonitor = 0x001B2010;
constexpr std::uint32_t kPorts = 512;

}  // namespace

int main(int argc, char** argv) {
#ifndef PORTCOUNTD_PATH
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "bench_portcountd: the driver service is not part of this build\n");
    return 1;
#else
    const int requests = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    TempConfig config;  // no stray portcountd.conf
    ServiceProcess service;
    platform::DeviceHandle device = platform::kInvalidDeviceHandle;
    if (service.Start({"--ports-per-family", std::to_string(kPorts)})) {
        device = platform::CreateDeviceFile("\\\\.\\hubsio", GENERIC_READ | GENERIC_WRITE,
                                            platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE);
    }
    int status = 0;
    if (device != platform::kInvalidDeviceHandle) {
        const DWORD length = 56 + 20 * kPorts;
        std::vector<std::uint8_t> buffer(length, 0);
        std::vector<double> us;
        us.reserve(static_cast<std::size_t>(requests));
        int failures = 0;
        for (int i = 0; i < requests; ++i) {
            buffer[0] = 11;
            buffer[4] = 20;
            DWORD returned = 0;
            const auto start = Clock::now();
            if (!platform::DeviceIoControl(device, kIoctlPortMonitor, buffer.data(), length,
                                           buffer.data(), length, &returned, nullptr)) {
                ++failures;
            }
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        std::sort(us.begin(), us.end());
        const auto at = [&](double q) { return us[static_cast<std::size_t>(q * (us.size() - 1))]; };
        std::printf(
            "command 11, %u ports, %d requests: p50 %.1f us  p99 %.1f us  max %.1f us  "
            "failures %d\n",
            kPorts, requests, at(0.5), at(0.99), us.back(), failures);
        platform::CloseDeviceHandle(device);
        status = failures == 0 ? 0 : 1;
    } else {
        std::fprintf(stderr, "bench_portcountd: the driver service did not start\n");
        status = 1;
    }
    return status;
#endif
}
