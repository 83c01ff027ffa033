#pragma once
// Helpers for the tests of the simulated serial devices: handles that close themselves (each
// device name can be open only once per process), line settings, and waits with generous
// deadlines for what the engine thread delivers.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm/sim_device.h"
#include "platform/system/last_error.h"
#include "tests/support/line_settings.h"
#include "tests/support/wait.h"

namespace platform::simtest {

// Far more than any wait below needs on a loaded machine; only a fault runs into it.
constexpr auto kPatience = std::chrono::seconds(20);

class Device {
  public:
    explicit Device(const std::string& name) : handle_(OpenSimulatedDevice(name)) {
        EXPECT_NE(handle_, nullptr) << name << ": error " << GetLastError();
    }
    ~Device() {
        if (handle_) {
            handle_->Close();
        }
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    CommDevice* operator->() const { return handle_.get(); }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    CommDeviceHandle handle_;
};

// A null-modem cable name no other test uses.
inline std::string FreshPair() {
    static std::atomic<int> counter{0};
    return "sim:null-modem/t" + std::to_string(++counter);
}

inline DCB Settings(DWORD baud, BYTE bits = 8, BYTE parity = NOPARITY, BYTE stop = ONESTOPBIT) {
    return TestLineSettings(baud, bits, parity, stop, false);
}

inline void Apply(Device& device, const DCB& dcb) {
    ASSERT_TRUE(device->SetCommState(dcb)) << GetLastError();
}

inline void SetTimeouts(Device& device, DWORD interval, DWORD multiplier, DWORD constant,
                        DWORD writeConstant = 0) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    t.WriteTotalTimeoutConstant = writeConstant;
    ASSERT_TRUE(device->SetCommTimeouts(t));
}

inline COMSTAT Status(Device& device, DWORD* errors = nullptr) {
    DWORD e = 0;
    COMSTAT stat;
    EXPECT_TRUE(device->ClearCommError(e, &stat));
    if (errors != nullptr) {
        *errors = e;
    }
    return stat;
}

inline DWORD Modem(Device& device) {
    DWORD status = 0;
    EXPECT_TRUE(device->GetCommModemStatus(status));
    return status;
}

// Reads until `count` bytes are there or kPatience is over.
inline std::vector<BYTE> ReadBytes(Device& device, DWORD count) {
    SetTimeouts(device, 0, 0, static_cast<DWORD>(kPatience / std::chrono::milliseconds(1)));
    std::vector<BYTE> data(count);
    DWORD got = 0;
    EXPECT_TRUE(device->ReadFile(data.data(), count, got)) << GetLastError();
    data.resize(got);
    return data;
}

// Writes and waits until the last byte has reached the far end: a write itself may return
// while the transmitter still holds its final bytes.
inline void Write(Device& device, const std::vector<BYTE>& data) {
    DWORD written = 0;
    ASSERT_TRUE(device->WriteFile(data.data(), static_cast<DWORD>(data.size()), written))
        << GetLastError();
    ASSERT_EQ(written, data.size());
    DWORD errors = 0;
    COMSTAT stat{};
    ASSERT_TRUE(WaitUntil(
        [&] { return device->ClearCommError(errors, &stat) == FALSE || stat.cbOutQue == 0; }));
}

inline std::vector<BYTE> Pattern(std::size_t n) {
    std::vector<BYTE> data(n);
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = static_cast<BYTE>((i * 7 + i / 251) & 0xFF);
    }
    return data;
}

// A wait on the device's events that must complete within kPatience.
inline DWORD WaitEvents(Device& device) {
    Event done(true, false);
    DWORD mask = 0;
    if (!device->WaitCommEvent(&mask, &done)) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        const auto ms = static_cast<DWORD>(kPatience / std::chrono::milliseconds(1));
        if (WaitForSingleObject(done, ms) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the wait did not complete";
            device->SetCommMask(0);  // ends it before `mask` and `done` go away
            return 0;
        }
    }
    EXPECT_TRUE(device->GetCommEventResult());
    return mask;
}

}  // namespace platform::simtest
