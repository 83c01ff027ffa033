#include "platform/comm/comm_types.h"

namespace {

// Where each bit field of the DCB flag word starts and how wide it is.
constexpr DWORD kBinaryBit = 0;
constexpr DWORD kParityBit = 1;
constexpr DWORD kOutxCtsFlowBit = 2;
constexpr DWORD kOutxDsrFlowBit = 3;
constexpr DWORD kDtrControlBit = 4;  // two bits
constexpr DWORD kDsrSensitivityBit = 6;
constexpr DWORD kTxContinueOnXoffBit = 7;
constexpr DWORD kOutXBit = 8;
constexpr DWORD kInXBit = 9;
constexpr DWORD kErrorCharBit = 10;
constexpr DWORD kNullBit = 11;
constexpr DWORD kRtsControlBit = 12;  // two bits
constexpr DWORD kAbortOnErrorBit = 14;
constexpr DWORD kDummy2Bit = 15;  // seventeen bits

DWORD Field(DWORD word, DWORD bit, DWORD width) {
    return (word >> bit) & ((1u << width) - 1u);
}

void PutWord(std::array<std::uint8_t, kDcbSize>& out, std::size_t at, WORD value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutDword(std::array<std::uint8_t, kDcbSize>& out, std::size_t at, DWORD value) {
    for (std::size_t i = 0; i < 4; ++i) {
        out[at + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

WORD GetWord(std::span<const std::uint8_t, kDcbSize> in, std::size_t at) {
    return static_cast<WORD>(in[at] | (in[at + 1] << 8));
}

DWORD GetDword(std::span<const std::uint8_t, kDcbSize> in, std::size_t at) {
    DWORD value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<DWORD>(in[at + i]) << (8 * i);
    }
    return value;
}

}  // namespace

DWORD DcbFlagWord(const DCB& dcb) {
    return (dcb.fBinary << kBinaryBit) | (dcb.fParity << kParityBit) |
           (dcb.fOutxCtsFlow << kOutxCtsFlowBit) | (dcb.fOutxDsrFlow << kOutxDsrFlowBit) |
           (dcb.fDtrControl << kDtrControlBit) | (dcb.fDsrSensitivity << kDsrSensitivityBit) |
           (dcb.fTXContinueOnXoff << kTxContinueOnXoffBit) | (dcb.fOutX << kOutXBit) |
           (dcb.fInX << kInXBit) | (dcb.fErrorChar << kErrorCharBit) | (dcb.fNull << kNullBit) |
           (dcb.fRtsControl << kRtsControlBit) | (dcb.fAbortOnError << kAbortOnErrorBit) |
           (dcb.fDummy2 << kDummy2Bit);
}

void SetDcbFlagWord(DCB& dcb, DWORD word) {
    dcb.fBinary = Field(word, kBinaryBit, 1);
    dcb.fParity = Field(word, kParityBit, 1);
    dcb.fOutxCtsFlow = Field(word, kOutxCtsFlowBit, 1);
    dcb.fOutxDsrFlow = Field(word, kOutxDsrFlowBit, 1);
    dcb.fDtrControl = Field(word, kDtrControlBit, 2);
    dcb.fDsrSensitivity = Field(word, kDsrSensitivityBit, 1);
    dcb.fTXContinueOnXoff = Field(word, kTxContinueOnXoffBit, 1);
    dcb.fOutX = Field(word, kOutXBit, 1);
    dcb.fInX = Field(word, kInXBit, 1);
    dcb.fErrorChar = Field(word, kErrorCharBit, 1);
    dcb.fNull = Field(word, kNullBit, 1);
    dcb.fRtsControl = Field(word, kRtsControlBit, 2);
    dcb.fAbortOnError = Field(word, kAbortOnErrorBit, 1);
    dcb.fDummy2 = Field(word, kDummy2Bit, 17);
}

std::array<std::uint8_t, kDcbSize> EncodeDcb(const DCB& dcb) {
    std::array<std::uint8_t, kDcbSize> out{};
    PutDword(out, 0, dcb.DCBlength);
    PutDword(out, 4, dcb.BaudRate);
    PutDword(out, 8, DcbFlagWord(dcb));
    PutWord(out, 12, dcb.wReserved);
    PutWord(out, 14, dcb.XonLim);
    PutWord(out, 16, dcb.XoffLim);
    out[18] = dcb.ByteSize;
    out[19] = dcb.Parity;
    out[20] = dcb.StopBits;
    out[21] = static_cast<std::uint8_t>(dcb.XonChar);
    out[22] = static_cast<std::uint8_t>(dcb.XoffChar);
    out[23] = static_cast<std::uint8_t>(dcb.ErrorChar);
    out[24] = static_cast<std::uint8_t>(dcb.EofChar);
    out[25] = static_cast<std::uint8_t>(dcb.EvtChar);
    PutWord(out, 26, dcb.wReserved1);
    return out;
}

DCB DecodeDcb(std::span<const std::uint8_t, kDcbSize> bytes) {
    DCB dcb;
    dcb.DCBlength = GetDword(bytes, 0);
    dcb.BaudRate = GetDword(bytes, 4);
    SetDcbFlagWord(dcb, GetDword(bytes, 8));
    dcb.wReserved = GetWord(bytes, 12);
    dcb.XonLim = GetWord(bytes, 14);
    dcb.XoffLim = GetWord(bytes, 16);
    dcb.ByteSize = bytes[18];
    dcb.Parity = bytes[19];
    dcb.StopBits = bytes[20];
    dcb.XonChar = static_cast<char>(bytes[21]);
    dcb.XoffChar = static_cast<char>(bytes[22]);
    dcb.ErrorChar = static_cast<char>(bytes[23]);
    dcb.EofChar = static_cast<char>(bytes[24]);
    dcb.EvtChar = static_cast<char>(bytes[25]);
    dcb.wReserved1 = GetWord(bytes, 26);
    return dcb;
}

DWORD ComstatFlagWord(const COMSTAT& stat) {
    return stat.fCtsHold | (stat.fDsrHold << 1) | (stat.fRlsdHold << 2) | (stat.fXoffHold << 3) |
           (stat.fXoffSent << 4) | (stat.fEof << 5) | (stat.fTxim << 6) | (stat.fReserved << 7);
}
