#include "platform/comm/line_settings_rule.h"

namespace platform {

DWORD CheckLineSettings(const DCB& dcb) {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS) {
        return ERROR_INVALID_PARAMETER;
    }
    // The UART has one "more stop bits" setting: one and a half with five data bits, two with
    // more. So 1.5 needs five data bits, and 2 needs more than five.
    if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) {
        return ERROR_INVALID_PARAMETER;
    }
    if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) {
        return ERROR_INVALID_PARAMETER;
    }
    // Mode 3 of the DTR field does not exist.
    if (dcb.fDtrControl > DTR_CONTROL_HANDSHAKE) {
        return ERROR_INVALID_PARAMETER;
    }
    // With software flow control one character cannot mean both "stop" and "go on".
    if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) {
        return ERROR_INVALID_PARAMETER;
    }
    return 0;
}

}  // namespace platform
