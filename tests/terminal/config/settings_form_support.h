#pragma once
// Compares two line-settings records field by field (the flag word as a whole), so a test sees
// which field a dialog changed.

#include <gtest/gtest.h>

#include "terminal/config/port_config.h"

inline ::testing::AssertionResult SameRecord(const PortConfig& a, const PortConfig& b) {
    auto differs = [](const char* field, unsigned x, unsigned y) {
        return ::testing::AssertionFailure() << field << ": " << x << " != " << y;
    };
    if (a.BaudRate != b.BaudRate)
        return differs("BaudRate", a.BaudRate, b.BaudRate);
    if (DcbFlagWord(a) != DcbFlagWord(b))
        return differs("flags", DcbFlagWord(a), DcbFlagWord(b));
    if (a.XonLim != b.XonLim)
        return differs("XonLim", a.XonLim, b.XonLim);
    if (a.XoffLim != b.XoffLim)
        return differs("XoffLim", a.XoffLim, b.XoffLim);
    if (a.ByteSize != b.ByteSize)
        return differs("ByteSize", a.ByteSize, b.ByteSize);
    if (a.Parity != b.Parity)
        return differs("Parity", a.Parity, b.Parity);
    if (a.StopBits != b.StopBits)
        return differs("StopBits", a.StopBits, b.StopBits);
    const char PortConfig::*bytes[] = {&PortConfig::XonChar, &PortConfig::XoffChar,
                                       &PortConfig::ErrorChar, &PortConfig::EofChar,
                                       &PortConfig::EvtChar};
    for (auto byte : bytes) {
        if (a.*byte != b.*byte)
            return differs("special character", a.*byte, b.*byte);
    }
    return ::testing::AssertionSuccess();
}
