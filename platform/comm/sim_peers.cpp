#include "platform/comm/sim_peers.h"

#include <cstdio>

namespace platform::sim {

// --- SimCable ---------------------------------------------------------------------------

void SimCable::Attach(SimStation& station, int side) {
    ends_[side] = &station;
    station.SetCable(this);
    LinesChanged();
}

void SimCable::Detach(SimStation& station) {
    for (SimStation*& end : ends_) {
        if (end == &station) {
            end = nullptr;
        }
    }
    station.SetCable(nullptr);
    LinesChanged();
}

void SimCable::LinesChanged() {
    for (SimStation* end : ends_) {
        if (end != nullptr) {
            end->RefreshInputs();
        }
    }
    OnLinesChanged();
}

const SimStation* SimCable::OtherEnd(const SimStation& station) const {
    return ends_[0] == &station ? ends_[1] : ends_[0];
}

// --- the plug and the null-modem cable --------------------------------------------------

SimStation* LoopbackPlug::FarEnd(const SimStation& from) const {
    return const_cast<SimStation*>(&from);
}

InputLines LoopbackPlug::WireInputs(const SimStation& at) const {
    const OutputLines out = at.WireOutputs();
    return {out.rts, out.dtr, out.dtr, ring_ && out.rts};
}

SimStation* NullModemCable::FarEnd(const SimStation& from) const {
    return const_cast<SimStation*>(OtherEnd(from));
}

InputLines NullModemCable::WireInputs(const SimStation& at) const {
    const SimStation* other = OtherEnd(at);
    if (other == nullptr) {
        return {};
    }
    const OutputLines out = other->WireOutputs();
    return {out.rts, out.dtr, out.dtr, false};
}

// --- the plug-and-play modem ------------------------------------------------------------

const std::string& PnpIdentification() {
    static const std::string id = [] {
        // Revision 1.0 in two 6-bit characters, then the fields separated by backslashes.
        std::string body =
            std::string("(\x01\x24", 3) + "QNB0501\\00000001\\MODEM\\PNPC107\\Simulated Test Modem";
        // The checksum is the 8-bit sum of every character from '(' to ')' but itself.
        unsigned sum = static_cast<unsigned char>(')');
        for (char c : body) {
            sum += static_cast<unsigned char>(c);
        }
        char checksum[3];
        std::snprintf(checksum, sizeof checksum, "%02X", sum & 0xFFu);
        return body + checksum + ")";
    }();
    return id;
}

PnpModem::PnpModem() : device_(/*takesInput=*/false) {
    identification_.state = WriteRequest::State::Done;  // nothing sent yet, nothing in line
    DCB dcb = device_.State();
    dcb.BaudRate = 1200;
    dcb.ByteSize = 7;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    device_.ApplyState(dcb);
    Attach(device_, 1);
    World::Get().Register(&device_);
}

PnpModem::~PnpModem() {
    device_.Shutdown();
    World::Get().Unregister(&device_);
}

SimStation* PnpModem::FarEnd(const SimStation& from) const {
    return const_cast<SimStation*>(OtherEnd(from));
}

InputLines PnpModem::WireInputs(const SimStation& at) const {
    if (&at == &device_) {
        return {};
    }
    // The modem echoes the host's DTR on DSR and its RTS on CTS; it has no carrier.
    const OutputLines out = at.WireOutputs();
    return {out.rts, out.dtr, false, false};
}

void PnpModem::OnLinesChanged() {
    const SimStation* host = End(0);
    if (host == nullptr) {
        return;
    }
    const OutputLines out = host->WireOutputs();
    if (!out.dtr && !out.rts) {
        stage_ = Stage::LinesOff;
    } else if (stage_ == Stage::LinesOff && out.dtr && !out.rts) {
        stage_ = Stage::DtrRaised;
    } else if (stage_ == Stage::DtrRaised && out.dtr && out.rts) {
        stage_ = Stage::Idle;
        // A sequence repeated while the string is still going out does not queue it twice.
        if (identification_.state != WriteRequest::State::Queued) {
            const std::string& id = PnpIdentification();
            identification_ =
                WriteRequest{std::span(reinterpret_cast<const BYTE*>(id.data()), id.size()), 0,
                             WriteRequest::State::Queued};
            device_.QueueWrite(&identification_);
        }
    } else if (!(stage_ == Stage::DtrRaised && out.dtr)) {
        stage_ = Stage::Idle;
    }
}

}  // namespace platform::sim
