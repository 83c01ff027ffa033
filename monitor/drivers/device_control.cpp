#include "monitor/drivers/device_control.h"

namespace {

class SystemControl final : public DeviceControl {
  public:
    platform::DeviceHandle Open(const char* path) override {
        return platform::CreateDeviceFile(path, GENERIC_READ | GENERIC_WRITE,
                                          platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE);
    }
    BOOL Control(platform::DeviceHandle device, DWORD code, void* buffer, DWORD length,
                 DWORD* bytesReturned) override {
        return platform::DeviceIoControl(device, code, buffer, length, buffer, length,
                                         bytesReturned, nullptr);
    }
    void Close(platform::DeviceHandle device) override { platform::CloseDeviceHandle(device); }
};

}  // namespace

DeviceControl& SystemDeviceControl() {
    static SystemControl control;
    return control;
}
