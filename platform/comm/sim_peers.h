#pragma once
// What hangs on the far side of a simulated device: a loopback plug, a null-modem cable to
// another simulated device, a plug-and-play modem, or an open line. A cable decides where an
// end's characters arrive and which input levels its output lines give each end.

#include <array>
#include <memory>
#include <string>

#include "platform/comm/sim_station.h"

namespace platform::sim {

// Every member is used with World's lock held.
class SimCable {
  public:
    SimCable() = default;
    SimCable(const SimCable&) = delete;
    SimCable& operator=(const SimCable&) = delete;
    virtual ~SimCable() = default;

    // Where the characters that `from` sends arrive; nullptr: nowhere.
    virtual SimStation* FarEnd(const SimStation& from) const = 0;
    // The input levels the cable gives `at`.
    virtual InputLines WireInputs(const SimStation& at) const = 0;

    void Attach(SimStation& station, int side);
    void Detach(SimStation& station);
    // An output line or an internal loopback changed: every end reads its inputs again.
    void LinesChanged();

  protected:
    virtual void OnLinesChanged() {}
    SimStation* End(int side) const { return ends_[side]; }
    const SimStation* OtherEnd(const SimStation& station) const;

  private:
    std::array<SimStation*, 2> ends_{};
};

// TX to RX, RTS to CTS, DTR to DSR and CD, and optionally RING to RTS as well.
class LoopbackPlug final : public SimCable {
  public:
    explicit LoopbackPlug(bool ring) : ring_(ring) {}
    SimStation* FarEnd(const SimStation& from) const override;
    InputLines WireInputs(const SimStation& at) const override;

  private:
    const bool ring_;
};

// Side 0 is end A, side 1 end B; each end's TX, RTS and DTR reach the other's RX, CTS and
// DSR with CD. An end without a partner reads all its inputs off.
class NullModemCable final : public SimCable {
  public:
    SimStation* FarEnd(const SimStation& from) const override;
    InputLines WireInputs(const SimStation& at) const override;
};

// Nothing attached: characters go out at the line rate and are gone.
class OpenLine final : public SimCable {
  public:
    SimStation* FarEnd(const SimStation&) const override { return nullptr; }
    InputLines WireInputs(const SimStation&) const override { return {}; }
};

// A plug-and-play modem on side 0's port: its DSR follows the host's DTR and its CTS the
// host's RTS; when the host, from both lines off, raises DTR and then RTS, it sends its
// identification at 1200 bit/s, 7 data bits, no parity, 1 stop bit. What the host sends is
// ignored.
class PnpModem final : public SimCable {
  public:
    PnpModem();
    ~PnpModem() override;
    SimStation* FarEnd(const SimStation& from) const override;
    InputLines WireInputs(const SimStation& at) const override;

  private:
    void OnLinesChanged() override;

    enum class Stage { Idle, LinesOff, DtrRaised };
    SimStation device_;
    Stage stage_ = Stage::LinesOff;
    WriteRequest identification_;
};

// The identification string the modem sends: begin mark, revision, manufacturer and product,
// serial number, class, compatible device, user name, checksum, end mark.
const std::string& PnpIdentification();

}  // namespace platform::sim
