#include "rig/c64/parallel_cable.h"

namespace {
enum : uint8_t {
    kDataStrobeBit = 0x80,
    kDataNibbleBits = 0x0F,
    kUserPortBusyBit = 0x10,       // PB4
    kStatusNotBusy = 0x80,         // the port inverts BUSY
    kStatusTiedHigh = 0x40 | 0x10,  // ACK, SELECT
    kStatusPulledUp = 0x78,        // nothing attached: bits 6..3 high, BUSY high reads 0
    kStatusUnconnected = 0x07,     // bits 0-2 have no pin and read 1
    kUserPortPulledUp = 0xFF,      // C64 pins nothing drives
    kControlRegisterIdle = 0xCC,   // what an idle port's control register reads
    kNothingThere = 0xFF,
};
}  // namespace

ParallelCable::ParallelCable(C64Machine& c64, uint16_t port_base, double cycles_per_access)
    : c64_(c64), data_port_(port_base), status_port_(static_cast<uint16_t>(port_base + 1)),
      cycles_per_access_(cycles_per_access > 0 ? cycles_per_access : c64.clock_hz() / 1e6),
      now_(static_cast<double>(c64.cycle())) {
    drive_c64_pins();
}

// PB4-PB7 carry nothing from the PC: pulled up unless the C64 drives them.
void ParallelCable::drive_c64_pins() {
    const uint8_t pins = connected_ ? static_cast<uint8_t>(0xF0 | (data_ & kDataNibbleBits)) : static_cast<uint8_t>(kUserPortPulledUp);
    c64_.cia2().set_port_b_input(pins);
}

void ParallelCable::set_connected(bool connected) {
    connected_ = connected;
    drive_c64_pins();
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
    if (port != data_port_) return;
    const bool falling = (data_ & kDataStrobeBit) && !(value & kDataStrobeBit);
    data_ = value;
    if (!connected_) return;
    drive_c64_pins();
    if (falling) c64_.cia2().flag_falling_edge();
}

uint8_t ParallelCable::status() const {
    if (!connected_) return kStatusPulledUp | kStatusUnconnected;
    const bool busy_high = c64_.cia2().port_b_pins() & kUserPortBusyBit;
    return static_cast<uint8_t>((busy_high ? 0 : kStatusNotBusy) | kStatusTiedHigh | kStatusUnconnected);
}

uint8_t ParallelCable::in8(uint16_t port) {
    pass_time();
    if (port == status_port_) return status();
    if (port == data_port_) return data_;
    return kNothingThere;
}

uint16_t ParallelCable::in16(uint16_t port) {
    const uint8_t low = in8(port);
    const uint8_t high = port == status_port_ ? kControlRegisterIdle : kNothingThere;
    return static_cast<uint16_t>(low | high << 8);
}
