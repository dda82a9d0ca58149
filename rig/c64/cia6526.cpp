#include "rig/c64/cia6526.h"

namespace {
constexpr uint8_t kRegisterMask = 0x0F;
constexpr uint8_t kIcrSources = 0x1F;
constexpr uint8_t kTodDivider50Hz = 5, kTodDivider60Hz = 6;
constexpr uint8_t kTenthsBits = 0x0F, kSixtyBits = 0x7F, kHourBits = 0x1F, kPm = 0x80;

// One BCD step: returns true when `value` wraps from `last` to `first`.
bool bcd_step(uint8_t& value, uint8_t last, uint8_t first) {
    if (value == last) {
        value = first;
        return true;
    }
    value = static_cast<uint8_t>((value & 0x0F) == 9 ? (value & 0xF0) + 0x10 : value + 1);
    return false;
}
}  // namespace

// The counter steps once per tick; from 0 the next tick is the underflow,
// which reloads the latch, so the period is latch + 1.
uint32_t Cia6526::Timer::count(uint32_t ticks) {
    uint32_t underflows = 0;
    while (ticks > 0 && running()) {
        if (ticks <= counter) {
            counter = static_cast<uint16_t>(counter - ticks);
            break;
        }
        ticks -= static_cast<uint32_t>(counter) + 1;
        ++underflows;
        counter = latch;
        if (one_shot()) control &= static_cast<uint8_t>(~kControlStart);
    }
    return underflows;
}

void Cia6526::Timer::write_control(uint8_t value) {
    if (value & kControlForceLoad) counter = latch;
    control = static_cast<uint8_t>(value & ~kControlForceLoad);
}

void Cia6526::Timer::write_high(uint8_t value) {
    latch = static_cast<uint16_t>((latch & 0x00FF) | value << 8);
    if (!running()) counter = latch;
}

void Cia6526::raise(uint8_t flags) {
    flags_ |= flags;
    if (flags_ & mask_) irq_low_ = true;
}

void Cia6526::flag_falling_edge(uint64_t at_cycle) {
    if (lose_edge_after_read_ && at_cycle == cycle_after_icr_read_) {
        lose_edge_after_read_ = false;
        ++lost_flag_edges_;
        return;
    }
    raise(kIcrFlag);
}

void Cia6526::advance(uint32_t cycles) {
    cycle_ += cycles;
    if (icr_read_in_step_) {
        icr_read_in_step_ = false;
        cycle_after_icr_read_ = cycle_;
    }
    const uint32_t a_underflows = timer_a_.count(cycles);
    if (a_underflows) raise(kIcrTimerA);
    uint32_t b_ticks = 0;
    switch (timer_b_.control & kControlBInputMask) {
    case 0: b_ticks = cycles; break;
    case kControlBCountsCnt: break;  // CNT stays high: no rising edges
    default: b_ticks = a_underflows; break;  // with or without CNT high
    }
    if (timer_b_.count(b_ticks)) raise(kIcrTimerB);

    mains_phase_ += static_cast<uint64_t>(cycles) * mains_hz_;
    while (mains_phase_ >= clock_hz_) {
        mains_phase_ -= clock_hz_;
        mains_tick();
    }
}

void Cia6526::mains_tick() {
    const uint8_t divider = (timer_a_.control & kControlATod50Hz) ? kTodDivider50Hz : kTodDivider60Hz;
    if (++mains_ticks_ < divider) return;
    mains_ticks_ = 0;
    if (tod_running_) tenth_passes();
}

void Cia6526::tenth_passes() {
    Time& t = time_;
    if (bcd_step(t.tenths, 0x09, 0x00) && bcd_step(t.seconds, 0x59, 0x00) && bcd_step(t.minutes, 0x59, 0x00)) {
        uint8_t hour = t.hours & kHourBits;
        uint8_t pm = t.hours & kPm;
        if (hour == 0x11) pm ^= kPm;  // 11:59:59.9 -> 12:00:00.0 with the other half of the day
        bcd_step(hour, 0x12, 0x01);
        t.hours = static_cast<uint8_t>(hour | pm);
    }
    compare_alarm();
}

void Cia6526::compare_alarm() {
    if (time_ == alarm_) raise(kIcrAlarm);
}

uint8_t Cia6526::read_tod(uint8_t reg) {
    if (reg == kCiaTodHours && !tod_latched_) {
        read_latch_ = time_;
        tod_latched_ = true;
    }
    const Time& shown = tod_latched_ ? read_latch_ : time_;
    switch (reg) {
    case kCiaTodTenths: tod_latched_ = false; return shown.tenths;
    case kCiaTodSeconds: return shown.seconds;
    case kCiaTodMinutes: return shown.minutes;
    default: return shown.hours;
    }
}

void Cia6526::write_tod(uint8_t reg, uint8_t value) {
    const bool to_alarm = timer_b_.control & kControlBWritesAlarm;
    Time& t = to_alarm ? alarm_ : time_;
    switch (reg) {
    case kCiaTodTenths:
        t.tenths = value & kTenthsBits;
        if (!to_alarm) tod_running_ = true;
        break;
    case kCiaTodSeconds: t.seconds = value & kSixtyBits; break;
    case kCiaTodMinutes: t.minutes = value & kSixtyBits; break;
    default:
        t.hours = value & (kHourBits | kPm);
        if (!to_alarm) tod_running_ = false;
        break;
    }
    compare_alarm();
}

uint8_t Cia6526::read(uint8_t reg) {
    switch (reg &= kRegisterMask) {
    case kCiaPortA: return port_a_pins();
    case kCiaPortB: return port_b_pins();
    case kCiaDdrA: return ddr_a_;
    case kCiaDdrB: return ddr_b_;
    case kCiaTimerALow: return static_cast<uint8_t>(timer_a_.counter);
    case kCiaTimerAHigh: return static_cast<uint8_t>(timer_a_.counter >> 8);
    case kCiaTimerBLow: return static_cast<uint8_t>(timer_b_.counter);
    case kCiaTimerBHigh: return static_cast<uint8_t>(timer_b_.counter >> 8);
    case kCiaTodTenths:
    case kCiaTodSeconds:
    case kCiaTodMinutes:
    case kCiaTodHours: return read_tod(reg);
    case kCiaSerialData: return serial_data_;
    case kCiaInterruptControl: {
        // Reading acknowledges: every flag is cleared, enabled or not.
        const uint8_t value = static_cast<uint8_t>(flags_ | (irq_low_ ? kIcrAnyEnabled : 0));
        flags_ = 0;
        irq_low_ = false;
        icr_read_in_step_ = true;
        return value;
    }
    case kCiaControlA: return timer_a_.control;
    default: return timer_b_.control;
    }
}

void Cia6526::write(uint8_t reg, uint8_t value) {
    switch (reg &= kRegisterMask) {
    case kCiaPortA: latch_a_ = value; break;
    case kCiaPortB: latch_b_ = value; break;
    case kCiaDdrA: ddr_a_ = value; break;
    case kCiaDdrB: ddr_b_ = value; break;
    case kCiaTimerALow: timer_a_.latch = static_cast<uint16_t>((timer_a_.latch & 0xFF00) | value); break;
    case kCiaTimerAHigh: timer_a_.write_high(value); break;
    case kCiaTimerBLow: timer_b_.latch = static_cast<uint16_t>((timer_b_.latch & 0xFF00) | value); break;
    case kCiaTimerBHigh: timer_b_.write_high(value); break;
    case kCiaTodTenths:
    case kCiaTodSeconds:
    case kCiaTodMinutes:
    case kCiaTodHours: write_tod(reg, value); break;
    case kCiaSerialData: serial_data_ = value; break;
    case kCiaInterruptControl:
        if (value & kIcrAnyEnabled) mask_ |= value & kIcrSources;
        else mask_ &= static_cast<uint8_t>(~value);
        raise(0);  // a flag already set whose mask bit is now set pulls /IRQ low
        break;
    case kCiaControlA: timer_a_.write_control(value); break;
    default: timer_b_.write_control(value); break;
    }
}
