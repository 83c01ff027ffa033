#include "terminal/config/port_config.h"

#include <mutex>

void FillDefaultPortConfig(PortConfig& config) {
    config.BaudRate = 115200;

    // The whole flag word is assigned, so bits a previous record had set do not survive.
    SetDcbFlagWord(config, kDefaultPortConfigFlags);

    config.XonLim = 2048;
    config.XoffLim = 512;

    config.ByteSize = 8;
    config.Parity = NOPARITY;
    config.StopBits = ONESTOPBIT;
    config.XonChar = 0x11;
    config.XoffChar = 0x13;
    config.ErrorChar = 0;
    config.EofChar = 0;
    config.EvtChar = 0;
}

PortConfig& DefaultPortConfig() {
    // Zero-initialised once; start-up fills it before the first port window exists.
    static PortConfig config;
    return config;
}

namespace {

std::mutex& DefaultPortConfigMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

PortConfig CopyDefaultPortConfig() {
    std::lock_guard lock(DefaultPortConfigMutex());
    return DefaultPortConfig();
}

void StoreDefaultPortConfig(const PortConfig& config) {
    std::lock_guard lock(DefaultPortConfigMutex());
    DefaultPortConfig() = config;
}
