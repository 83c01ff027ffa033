// The typed-character writer with a write held back by the test, as flow control would.

#include <gtest/gtest.h>

#include "terminal/session/port_typed_writer.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

TEST(PortWorkersTypedWriterTest, HeldWriteNeitherBlocksQueueingNorStop) {
    const int threadsBefore = ThreadCount();
    struct Device {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        int started = 0;
        std::string written;
    };
    auto device = std::make_shared<Device>();
    auto write = [device](const char* bytes, DWORD length) {
        std::unique_lock lock(device->mutex);
        ++device->started;
        device->changed.notify_all();
        device->changed.wait(lock, [&] { return device->open; });
        device->written.append(bytes, length);
    };
    auto release = [&] {
        std::lock_guard lock(device->mutex);
        device->open = true;
        device->changed.notify_all();
    };
    auto waitStarted = [&](int writes) {
        std::unique_lock lock(device->mutex);
        return device->changed.wait_for(lock, 5s, [&] { return device->started >= writes; });
    };

    PortTypedWriter writer;
    ASSERT_TRUE(writer.Start(write));
    ASSERT_TRUE(writer.Queue('a'));
    ASSERT_TRUE(waitStarted(1));
    // 'a' is held: handing over more must not wait for it, and the order is kept.
    for (char c : std::string("bcd")) {
        ASSERT_TRUE(writer.Queue(c));
    }
    EXPECT_FALSE(writer.WaitWritten(0));
    release();
    ASSERT_TRUE(writer.WaitWritten(5000));
    EXPECT_EQ(device->written, "abcd");

    // A restart, a held write again, and a stop that cannot wait for it: the queue is dropped.
    {
        std::lock_guard lock(device->mutex);
        device->open = false;
    }
    ASSERT_TRUE(writer.Start(write));
    ASSERT_TRUE(writer.Queue('e'));
    ASSERT_TRUE(waitStarted(3));  // 'a', then "bcd" in one write, then 'e'
    ASSERT_TRUE(writer.Queue('f'));
    writer.Stop(20);
    EXPECT_FALSE(writer.Queue('g'));
    EXPECT_TRUE(writer.WaitWritten(0));
    release();
    ASSERT_TRUE(WaitUntil([&] { return ThreadCount() == threadsBefore; }));
    EXPECT_EQ(device->written, "abcde");
}

}  // namespace
