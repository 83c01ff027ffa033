#pragma once
// How a port's bytes move, whatever carries them: the one interface the workers, the typed
// characters and the session use. A serial port's transport is its SerialChannel; a socket
// port's lives in terminal/net/. What only a serial port has (modem lines, driver settings,
// the watcher's events) is reached through SerialDevice(), which a socket transport leaves
// null; callers ask for it only where a serial port behaves differently by design.
//
// Reads, writes, waits and counts may come from any thread (the workers and the typed-character
// writer run beside the port thread); Open, StartWatch, BeginClose and EndClose only from the
// port thread.

#include <string>

#include "platform/comm/comm_device.h"
#include "platform/win/win_types.h"

// The counts the statistics report shows: kilobytes since each direction was last started,
// and the line errors since receiving was (a socket port has none).
struct TransportCounts {
    double kbWritten = 0;
    double kbRead = 0;
    DWORD totalErrors = 0;
    DWORD parityErrors = 0;
    DWORD framingErrors = 0;
    DWORD overrunErrors = 0;
};

// What one look at the queued input found: `length` bytes followed by a zero byte.
struct TransportRead {
    DWORD length = 0;
    bool failed = false;
    // The failure's error when it says the port's device or connection has gone, else 0.
    DWORD goneError = 0;
};

enum class InputWait {
    Ready,     // input is queued (or may be: a read tells)
    TimedOut,  // nothing arrived within the wait
    Failed,    // the wait itself failed for a passing reason; the caller paces itself
    Gone,      // the device or connection has gone (LostError says how)
    Closed,    // there is nothing open to wait on
};

class PortTransport {
  public:
    virtual ~PortTransport() = default;

    // Opens the port's device or connection. On failure the transport stays closed and
    // `failureText` (when not null) gets the text the port's display shows.
    virtual bool Open(std::string* failureText) = 0;
    // After the open is marked: starts what reports line events, when the port has any and it
    // is not running yet. Also asked for by every start of sending or receiving.
    virtual void StartWatch() {}
    // The first step of a close, after the workers were told to stop and before they are
    // waited for: whatever blocks a worker (a wait for input, a write held back) ends now.
    virtual void BeginClose() = 0;
    // The last step of a close, after the waits for the workers: what they might still have
    // touched is released. False when the release failed.
    virtual bool EndClose() { return true; }
    virtual bool IsOpen() const = 0;

    // Reads only what is already queued, at most `maxBytes`, into `buffer` (maxBytes + 1
    // bytes: a zero byte follows the data), and counts it. An empty queue is a success with
    // length 0.
    virtual TransportRead ReadQueued(char* buffer, DWORD maxBytes) = 0;
    // Waits at most `milliseconds` for input to arrive; a close ends the wait.
    virtual InputWait WaitForInput(DWORD milliseconds) = 0;
    // Writes all `length` bytes, waiting until they have gone, and counts them. False when
    // they did not all go.
    virtual bool WriteAll(const char* data, DWORD length) = 0;
    // A typed character's write: neither waited for, checked nor counted.
    virtual void WriteUncounted(const char* data, DWORD length) = 0;
    // The error that showed the device or connection has gone, or 0; cleared by every open.
    virtual DWORD LostError() const = 0;

    virtual TransportCounts Counts() const = 0;
    // Starting to receive clears the received kilobytes and the line errors; starting to send
    // clears the written kilobytes. Neither touches the other direction's counts.
    virtual void ResetReadCounts() = 0;
    virtual void ResetWrittenCount() = 0;

    // The wait at the end of a send cycle: `patternSent` tells a cycle that wrote the test
    // pattern, `continuous` is the continuous character's option.
    virtual DWORD SendPacingMs(bool patternSent, bool continuous) const = 0;
    // The caption of the port's error boxes: the device path, empty for a socket port.
    virtual std::string Caption() const = 0;
    // The open serial device for the line commands and settings; null for a socket port and
    // while closed.
    virtual platform::CommDeviceHandle SerialDevice() const { return nullptr; }
};
