#pragma once
// The device I/O control calls a counter source makes, behind one seam: the product goes to
// the drivers through platform/devio; a test may put a driver of its own in their place.

#include "platform/devio/device_io.h"

class DeviceControl {
  public:
    virtual ~DeviceControl() = default;
    // CreateFileA with GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
    // OPEN_EXISTING; kInvalidDeviceHandle with the last error set on failure.
    virtual platform::DeviceHandle Open(const char* path) = 0;
    // One synchronous request with `buffer` as input and output of `length` bytes. FALSE with
    // the last error set on failure.
    virtual BOOL Control(platform::DeviceHandle device, DWORD code, void* buffer, DWORD length,
                         DWORD* bytesReturned) = 0;
    virtual void Close(platform::DeviceHandle device) = 0;
};

// The drivers through platform/devio.
DeviceControl& SystemDeviceControl();
