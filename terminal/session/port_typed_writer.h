#pragma once
// The writer of the characters typed into a port window. The port thread only hands each
// character over and goes on: a device held back by flow control would otherwise stall the
// very thread that has to run the close. A thread of the writer's own writes the characters in
// the order they were typed, and ends with the close; what is still queued then is dropped,
// since nothing is written to a closed port.

#include <functional>
#include <memory>
#include <thread>

#include "platform/win/win_types.h"

class PortTypedWriter {
  public:
    // Writes the bytes to the device; called on the writer's thread, never two at once.
    using WriteFunction = std::function<void(const char* bytes, DWORD length)>;

    PortTypedWriter() = default;
    // Stops the writer, as Stop does.
    ~PortTypedWriter();
    PortTypedWriter(const PortTypedWriter&) = delete;
    PortTypedWriter& operator=(const PortTypedWriter&) = delete;

    // Starts a writer thread (after stopping a running one). False when no thread could be
    // started: characters are then refused.
    bool Start(WriteFunction write);
    // Drops what is queued and ends the thread. Waits at most `milliseconds` for a write in
    // progress to return; a writer still inside its write after that ends on its own.
    void Stop(DWORD milliseconds);
    // Queues one character; false when no writer runs.
    bool Queue(char character);
    bool Running() const;
    // True once every character queued so far has been written (or dropped by a stop); false
    // after `milliseconds` without that.
    bool WaitWritten(DWORD milliseconds);

  private:
    struct State;
    static void Run(std::shared_ptr<State> state);

    // Shared with the thread, so that a writer that outlives the stop's wait keeps what it uses.
    std::shared_ptr<State> state_;
    std::thread thread_;
};
