#pragma once
// The service's devices as the monitor reaches them: a device handle and its requests, with
// the name list and the counters decoded.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drivers/driver_card.h"
#include "drivers/port_counters.h"
#include "platform/devio/device_io.h"
#include "platform/system/last_error.h"

namespace portcount {

class Device {
  public:
    explicit Device(const char* name) {
        handle_ = platform::CreateDeviceFile(
            (std::string("\\\\.\\") + name).c_str(), GENERIC_READ | GENERIC_WRITE,
            platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE);
    }
    ~Device() {
        if (Open()) {
            platform::CloseDeviceHandle(handle_);
        }
    }
    bool Open() const { return handle_ != platform::kInvalidDeviceHandle; }

    // One request with the buffer as input and output; the last error when it fails.
    DWORD Ask(std::uint32_t command, std::uint32_t entrySize, std::size_t length,
              DWORD code = kIoctlPortMonitor) {
        buffer.assign(length, 0);
        for (int i = 0; i < 4 && length >= 8; ++i) {
            buffer[i] = static_cast<std::uint8_t>(command >> (8 * i));
            buffer[4 + i] = static_cast<std::uint8_t>(entrySize >> (8 * i));
        }
        DWORD returned = 0;
        const DWORD size = static_cast<DWORD>(length);
        if (!platform::DeviceIoControl(handle_, code, buffer.data(), size, buffer.data(), size,
                                       &returned, nullptr)) {
            return platform::GetLastError();
        }
        EXPECT_EQ(returned, size);
        return 0;
    }

    std::vector<std::string> Names(std::size_t n) {
        std::vector<std::string> names;
        if (Ask(10, 12, 64 + 12 * n) == 0) {
            for (std::size_t i = 0; i < n; ++i) {
                const char* entry = reinterpret_cast<const char*>(buffer.data() + 16 + 12 * i);
                if (*entry != '\0') {
                    names.emplace_back(entry, strnlen(entry, 12));
                }
            }
        }
        return names;
    }

    std::vector<PortCounters> Counters(std::size_t n) {
        std::vector<PortCounters> counters;
        if (Ask(11, 20, 56 + 20 * n) == 0) {
            for (std::size_t i = 0; i < n; ++i) {
                counters.push_back(DecodePortCounters(
                    std::span<const std::uint8_t, 20>(buffer.data() + 16 + 20 * i, 20)));
            }
        }
        return counters;
    }

    std::vector<std::uint8_t> buffer;

  private:
    platform::DeviceHandle handle_ = platform::kInvalidDeviceHandle;
};

}  // namespace portcount
