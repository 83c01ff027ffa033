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

namespace platform {

bool UsesInputFlowControl(const DCB& dcb) {
    return dcb.fInX || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE ||
           dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
}

DWORD CheckFlowLimits(const DCB& dcb, DWORD inQueue) {
    if (UsesInputFlowControl(dcb) && (dcb.XonLim > inQueue || dcb.XoffLim > inQueue)) {
        return ERROR_INVALID_PARAMETER;
    }
    return 0;
}

DWORD CheckQueueSizes(DWORD inQueue, DWORD outQueue) {
    if (inQueue == 0 || inQueue > kMaxCommQueue || outQueue > kMaxCommQueue) {
        return ERROR_INVALID_PARAMETER;
    }
    return 0;
}

}  // namespace platform
