#pragma once
// A driver answering the port-monitor control in-process, for tests of the sources while the
// driver service is not part of the build: it checks the command word, the entry size and the
// request length exactly as a driver must, answers from port lists the test sets, records every
// request and can be told to fail.

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "monitor/drivers/counter_source.h"
#include "monitor/drivers/device_control.h"
#include "platform/system/last_error.h"

class TestDriver final : public DeviceControl {
  public:
    struct Counters {
        std::uint32_t tx = 0;
        std::uint32_t rx = 0;
        std::uint16_t txPackets = 0;
        std::uint16_t rxPackets = 0;
        std::uint16_t overrun = 0;
        std::uint16_t framing = 0;
        std::uint16_t parity = 0;
        std::uint16_t flags = 0;
    };
    struct Family {
        std::vector<std::string> names;
        std::vector<Counters> counters;  // by name index; missing entries read as zero
        // When not empty, each listing takes the front list as the names and drops it.
        std::deque<std::vector<std::string>> nextListings;
        DWORD failCode = 0;  // non-zero: every request fails with it
    };
    struct Request {
        std::string path;
        std::uint32_t command = 0;
        DWORD length = 0;
    };

    Family& operator[](const std::string& path) { return families_[path]; }

    platform::DeviceHandle Open(const char* path) override {
        ++opens;
        if (families_.count(path) == 0) {
            platform::SetLastError(ERROR_FILE_NOT_FOUND);
            return platform::kInvalidDeviceHandle;
        }
        handles_.push_back(path);
        return static_cast<platform::DeviceHandle>(handles_.size());
    }

    BOOL Control(platform::DeviceHandle device, DWORD code, void* buffer, DWORD length,
                 DWORD* bytesReturned) override {
        if (device == 0 || device > handles_.size()) {
            return platform::FailWith(ERROR_INVALID_HANDLE);
        }
        const std::string& path = handles_[device - 1];
        Family& family = families_[path];
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        const std::uint32_t command = length >= 4 ? Get32(bytes, 0) : 0;
        requests.push_back({path, command, length});
        if (code != IOCTL_PORT_MONITOR) {
            return platform::FailWith(ERROR_INVALID_FUNCTION);
        }
        if (family.failCode != 0) {
            return platform::FailWith(family.failCode);
        }
        if (command == 10 && length >= 64 && (length - 64) % 12 == 0 && Get32(bytes, 4) == 12) {
            if (!family.nextListings.empty()) {
                family.names = family.nextListings.front();
                family.nextListings.pop_front();
            }
            const std::size_t n = (length - 64) / 12;
            for (std::size_t i = 0; i < n; ++i) {
                std::uint8_t* entry = bytes + 16 + 12 * i;
                std::fill(entry, entry + 12, std::uint8_t{0});
                if (i < family.names.size()) {
                    // A name of 12 characters fills the entry without its NUL.
                    std::copy_n(family.names[i].begin(),
                                std::min<std::size_t>(12, family.names[i].size()), entry);
                }
            }
        } else if (command == 11 && length >= 56 && (length - 56) % 20 == 0 &&
                   Get32(bytes, 4) == 20) {
            const std::size_t n = (length - 56) / 20;
            for (std::size_t i = 0; i < n; ++i) {
                const Counters c = i < family.counters.size() ? family.counters[i] : Counters{};
                std::uint8_t* e = bytes + 16 + 20 * i;
                Put(e, 0, c.tx, 4);
                Put(e, 4, c.rx, 4);
                Put(e, 8, c.txPackets, 2);
                Put(e, 10, c.rxPackets, 2);
                Put(e, 12, c.overrun, 2);
                Put(e, 14, c.framing, 2);
                Put(e, 16, c.parity, 2);
                Put(e, 18, c.flags, 2);
            }
        } else {
            return platform::FailWith(ERROR_INVALID_PARAMETER);
        }
        *bytesReturned = length;
        return TRUE;
    }

    void Close(platform::DeviceHandle) override { ++closes; }

    std::vector<DWORD> LengthsFor(const std::string& path) const {
        std::vector<DWORD> out;
        for (const Request& r : requests) {
            if (r.path == path) {
                out.push_back(r.length);
            }
        }
        return out;
    }

    std::vector<Request> requests;
    int opens = 0;
    int closes = 0;

  private:
    static std::uint32_t Get32(const std::uint8_t* b, std::size_t at) {
        return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
    }
    static void Put(std::uint8_t* b, std::size_t at, std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i) {
            b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }

    std::map<std::string, Family> families_;
    std::vector<std::string> handles_;
};
