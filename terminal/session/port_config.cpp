#include "terminal/session/port_config.h"

void FillDefaultPortConfig(PortConfig& config) {
    config.BaudRate = 115200;

    // The whole flag word is assigned, so bits a previous record had set do not survive.
    config.fBinary = 1;
    config.fParity = 0;
    config.fOutxCtsFlow = 0;
    config.fOutxDsrFlow = 0;
    config.fDtrControl = DTR_CONTROL_ENABLE;
    config.fDsrSensitivity = 0;
    config.fTXContinueOnXoff = 0;
    config.fOutX = 0;
    config.fInX = 0;
    config.fErrorChar = 0;
    config.fNull = 0;
    config.fRtsControl = RTS_CONTROL_ENABLE;
    config.fAbortOnError = 0;
    config.fDummy2 = 0;

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
