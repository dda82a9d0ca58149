#include "rig/c64/parallel_cable.h"

#include "link/c64_link.h"

namespace {
enum : uint8_t {
    kDataNibbleBits = 0x0F,
    kUserPortBusyBit = 0x10,        // PB4
    kStatusNotBusy = 0x80,          // the port inverts BUSY
    kStatusPulledUpHigh = 0x40 | 0x10,  // ACK, SELECT
    kStatusPulledUp = 0x78,         // nothing attached: bits 6..3 high, BUSY high reads 0
    kStatusUnconnected = 0x07,      // bits 0-2 have no pin and read 1
    kUserPortPulledUp = 0xFF,       // C64 pins nothing drives
    kControlRegisterIdle = 0xCC,    // what an idle port's control register reads
    kNothingThere = 0xFF,
};
}  // namespace

ParallelCable::ParallelCable(C64Machine& c64, uint16_t port_base, double cycles_per_access)
    : c64_(c64), data_port_(port_base), status_port_(static_cast<uint16_t>(port_base + 1)),
      cycles_per_access_(cycles_per_access > 0 ? cycles_per_access : c64.clock_hz() / 1e6),
      now_(static_cast<double>(c64.cycle())), control_(kControlRegisterIdle) {
    drive_c64_pins(driven_lines());
}

uint8_t ParallelCable::driven_lines() const {
    if (state_ != CableState::Wired || (control_ & kControlReverse)) return kUserPortPulledUp;
    return static_cast<uint8_t>(data_ | ~(kStrobe | kDataNibbleBits));
}

// PB4-PB7 carry nothing from the PC: pulled up unless the C64 drives them.
void ParallelCable::drive_c64_pins(uint8_t lines_before) {
    const uint8_t lines = driven_lines();
    c64_.cia2().set_port_b_input(static_cast<uint8_t>(0xF0 | (lines & kDataNibbleBits)));
    if (!(lines_before & kStrobe) || (lines & kStrobe)) return;
    ++flag_edges_;
    if (edges_before_drop_ != 0 && --edges_before_drop_ == 0) {
        ++dropped_edges_;
        return;
    }
    c64_.cia2().flag_falling_edge(static_cast<uint64_t>(now_));
}

void ParallelCable::set_state(CableState state) {
    const uint8_t before = driven_lines();
    state_ = state;
    drive_c64_pins(before);
}

void ParallelCable::pass_time() {
    now_ += cycles_per_access_;
    ++accesses_;
    if (deadline_ != 0 && now_ > static_cast<double>(deadline_)) {
        throw CableTimeout("the emulated C64 did not answer in time");
    }
    c64_.run_until(static_cast<uint64_t>(now_));
}

void ParallelCable::out8(uint16_t port, uint8_t value) {
    pass_time();
    const uint8_t before = driven_lines();
    if (port == data_port_) data_ = value;
    else if (port == data_port_ + 2) control_ = value;
    else return;
    drive_c64_pins(before);
}

uint8_t ParallelCable::status() const {
    switch (state_) {
        case CableState::Wired: break;
        case CableState::C64EndPulled: return kStatusPulledUpHigh | kStatusUnconnected;
        case CableState::PcEndPulled: return kStatusPulledUp | kStatusUnconnected;
        case CableState::C64Off: return kStatusNotBusy | kStatusUnconnected;
    }
    const bool busy_high = c64_.cia2().port_b_pins() & kUserPortBusyBit;
    return static_cast<uint8_t>((busy_high ? 0 : kStatusNotBusy) | kStatusPulledUpHigh | kStatusUnconnected);
}

uint8_t ParallelCable::in8(uint16_t port) {
    pass_time();
    if (port == status_port_) return status();
    if (port == data_port_) return data_;
    if (port == data_port_ + 2) return control_;
    return kNothingThere;
}

uint16_t ParallelCable::in16(uint16_t port) {
    const uint8_t low = in8(port);
    const uint8_t high = port == status_port_ ? control_ : uint8_t{kNothingThere};
    return static_cast<uint16_t>(low | high << 8);
}
