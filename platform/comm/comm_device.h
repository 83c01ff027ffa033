#pragma once
// One open serial device, with the operations of the serial communications API. Every call
// returns TRUE or FALSE and leaves the reason of a failure in the calling thread's last error,
// as the Windows calls do. Reads, writes and an event wait may be outstanding at the same time
// from different threads; after Close every call fails with ERROR_INVALID_HANDLE.

#include <memory>

#include "platform/comm/comm_types.h"
#include "platform/sync/event.h"

namespace platform {

class CommDevice {
  public:
    virtual ~CommDevice() = default;

    virtual BOOL GetCommState(DCB& dcb) = 0;
    // Refuses settings the device cannot take (ERROR_INVALID_PARAMETER) and leaves the old ones.
    virtual BOOL SetCommState(const DCB& dcb) = 0;
    virtual BOOL GetCommTimeouts(COMMTIMEOUTS& timeouts) = 0;
    virtual BOOL SetCommTimeouts(const COMMTIMEOUTS& timeouts) = 0;
    // A new mask completes an outstanding wait with an empty event set.
    virtual BOOL SetCommMask(DWORD mask) = 0;
    virtual BOOL GetCommMask(DWORD& mask) = 0;

    // Starts a wait for one of the events of the current mask. TRUE: it completed at once,
    // *mask holds the events and `done` is set. FALSE with ERROR_IO_PENDING: the wait runs on; when
    // it completes the device writes *mask and sets `done`, and GetCommEventResult reports it.
    // Another failure (a wait already outstanding, an empty mask) means no wait was started.
    virtual BOOL WaitCommEvent(DWORD* mask, Event* done) = 0;
    // The state of the last started wait: TRUE once completed (successfully), FALSE with
    // ERROR_IO_INCOMPLETE while it runs, FALSE with ERROR_OPERATION_ABORTED when a purge or
    // Close ended it.
    virtual BOOL GetCommEventResult() = 0;

    // Reads as the current time-outs say (all zero: until every requested byte is there;
    // ReadIntervalTimeout MAXDWORD with both totals zero: only what is queued, at once).
    virtual BOOL ReadFile(void* buffer, DWORD bytes, DWORD& read) = 0;
    // Waits until the input queue holds at least one byte: TRUE at once when it already does.
    // FALSE with WAIT_TIMEOUT when nothing came within `milliseconds`, with
    // ERROR_OPERATION_ABORTED when Close or a receive abort (PURGE_RXABORT) ended the wait.
    // Takes nothing from the queue, so a ReadFile afterwards still gets every byte.
    virtual BOOL WaitForInput(DWORD milliseconds) = 0;
    // Returns when the device has taken every byte for the line (its transmit buffer may
    // still be sending the last ones), or when the write time-outs end it; held back as long
    // as flow control holds the output. cbOutQue counts what has not reached the line yet.
    virtual BOOL WriteFile(const void* data, DWORD bytes, DWORD& written) = 0;

    // The line errors (CE_ bits) since the last call, cleared by this one, and the queue status.
    virtual BOOL ClearCommError(DWORD& errors, COMSTAT* stat) = 0;
    virtual BOOL GetCommModemStatus(DWORD& modemStatus) = 0;
    virtual BOOL EscapeCommFunction(DWORD function) = 0;
    virtual BOOL PurgeComm(DWORD flags) = 0;
    virtual BOOL SetupComm(DWORD inQueue, DWORD outQueue) = 0;
    virtual BOOL GetCommProperties(COMMPROP& properties) = 0;
    // Sends one character ahead of whatever waits in the output queue.
    virtual BOOL TransmitCommChar(char c) = 0;
    // The private functions IOCTL_SERIAL_INTERNAL_LOOPBACK_ON and the others of comm_types.h;
    // a device without them fails with ERROR_INVALID_FUNCTION.
    virtual BOOL DeviceIoControl(DWORD code, const void* in, DWORD inBytes, void* out,
                                 DWORD outBytes, DWORD& returned) = 0;

    // Ends outstanding reads, writes and the wait (ERROR_OPERATION_ABORTED) and releases the
    // device. Idempotent.
    virtual void Close() = 0;
};

using CommDeviceHandle = std::shared_ptr<CommDevice>;

// CreateFileA for serial devices: "\\.\COM<n>" (or "COM<n>") resolved through the port map,
// opened exclusively. Null with the last error set when the device cannot be opened:
// ERROR_FILE_NOT_FOUND when nothing is there, ERROR_BUSY when another handle has it open,
// ERROR_ACCESS_DENIED without permission.
CommDeviceHandle CreateCommDevice(const char* path);

// Whether a call's failure means the device itself has gone away (a USB adapter pulled out, the
// far side of a pseudo-terminal closed, a hung-up line): EIO, ENXIO or ENODEV. Nothing done on
// that handle can work again; the device has to be opened anew once it is back.
bool IsDeviceGoneError(DWORD error);

// The bit rate that a BaudRate value stands for: 300 means 500000 bit/s, every other value
// is the rate itself.
DWORD LineBitRate(DWORD baudRate);

}  // namespace platform
