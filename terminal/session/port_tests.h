#pragma once
// The two tests of a serial port window: the loopback plug test (the modem lines in four
// phases and a test string through the plug) and the plug-and-play identification test (the
// line sequence that makes a plug-and-play modem send its identification). Each runs on a short
// thread of its own, asks and answers through the prompt service and drives the lines with the
// port's own line commands, so the port thread stays free to run the close.
//
// A test belongs to the open it was started in: once that open ends (the port or its window is
// closed) the test stops at its next step, quietly, and leaves the port to the close. One test
// runs per port at a time.

#include <cstdint>
#include <memory>

#include "platform/comm/comm_types.h"
#include "platform/ui/prompt_gate.h"

struct PortShared;

enum class PortTestKind { Loopback, PnpId };

// The bytes the loopback test sends through the plug: "TESTING" and its terminating zero.
constexpr char kLoopbackTestString[] = "TESTING";
constexpr DWORD kLoopbackTestBytes = sizeof kLoopbackTestString;

// The time `chars` characters take on the line that `dcb` sets up (start bit, data bits,
// parity bit, stop bits at the line's bit rate), rounded up to whole milliseconds.
DWORD LineTimeMs(const DCB& dcb, DWORD chars);

// How long the loopback data check waits at most for the test string to come back: its line
// time plus a margin for the receive worker's cycle, so that a good plug passes at any rate.
DWORD LoopbackDataWaitMs(const DCB& dcb);

// Starts the test on a short thread and returns at once: true when it started, false when a
// test of this port is running already (nothing is started then). The test's boxes belong to
// `owner`, so the close of the port's window takes them down.
bool StartPortTest(const std::shared_ptr<PortShared>& shared, PortTestKind kind,
                   platform::PromptOwner owner);

// The thread bodies, run on the calling thread; for the generation of the open that is current
// now. Exposed for StartPortTest's threads and for benchmarks that run many at once.
void LoopbackTest(const std::shared_ptr<PortShared>& shared, std::uint32_t generation);
void PnpIdTest(const std::shared_ptr<PortShared>& shared, std::uint32_t generation);

// Waits until no test thread runs any more (so that whoever installed the prompt service may
// release it); false after `milliseconds` with a test still running.
bool WaitForPortTests(unsigned long milliseconds);
