// A simulated device pulled out while it is open, as a USB adapter is: every call on the old
// handle fails with "no such device", outstanding calls end so, the far end sees the lines drop,
// and the name opens again only once it is back and the old handle is closed.

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/sync/event.h"
#include "tests/platform/comm/sim_test_support.h"

namespace platform::simtest {
namespace {

TEST(SimUnplug, PulledOutDeviceFailsEveryCallAndEndsTheOutstandingOnes) {
    const std::string pair = FreshPair();
    auto a = std::make_unique<Device>(pair + "/A");
    Device b(pair + "/B");
    ASSERT_TRUE((*a)->EscapeCommFunction(SETDTR));
    ASSERT_TRUE(WaitUntil([&] { return (Modem(b) & MS_DSR_ON) != 0; }));

    // A read that waits for bytes and an event wait, both outstanding.
    SetTimeouts(*a, 0, 0, 0);
    BOOL readOk = TRUE;
    DWORD readError = 0;
    std::thread reader([&] {
        BYTE buffer[4];
        DWORD got = 0;
        readOk = (*a)->ReadFile(buffer, sizeof buffer, got);
        readError = GetLastError();
    });
    ASSERT_TRUE((*a)->SetCommMask(EV_RXCHAR));
    Event done(true, false);
    DWORD mask = 0;
    ASSERT_FALSE((*a)->WaitCommEvent(&mask, &done));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

    ASSERT_TRUE(UnplugSimulatedDevice(pair + "/A"));
    reader.join();
    EXPECT_FALSE(readOk);
    EXPECT_EQ(readError, static_cast<DWORD>(ENODEV));
    ASSERT_EQ(WaitForSingleObject(done, 20000), WAIT_OBJECT_0);
    EXPECT_FALSE((*a)->GetCommEventResult());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENODEV));
    DWORD n = 0;
    DCB dcb;
    for (const BOOL ok : {(*a)->WriteFile("x", 1, n), (*a)->GetCommState(dcb),
                          (*a)->EscapeCommFunction(SETRTS), (*a)->WaitForInput(0)}) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENODEV));
    }
    EXPECT_TRUE(WaitUntil([&] { return (Modem(b) & MS_DSR_ON) == 0; }));

    // Nothing is there while it is out, even once the old handle is closed.
    EXPECT_EQ(OpenSimulatedDevice(pair + "/A"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    a.reset();
    EXPECT_EQ(OpenSimulatedDevice(pair + "/A"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // Back in: it opens and is wired to the far end again.
    ReplugSimulatedDevice(pair + "/A");
    Device again(pair + "/A");
    ASSERT_TRUE(again);
    ASSERT_TRUE(again->EscapeCommFunction(SETDTR));
    EXPECT_TRUE(WaitUntil([&] { return (Modem(b) & MS_DSR_ON) != 0; }));
    EXPECT_FALSE(UnplugSimulatedDevice("sim:nothing"));
}

}  // namespace
}  // namespace platform::simtest
