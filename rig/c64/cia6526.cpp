#include "rig/c64/cia6526.h"

namespace {
enum : uint8_t {
    kControlStart = 0x01,
    kControlForceLoad = 0x10,  // a strobe: loads the latch, never reads back
    kTimerBCountMask = 0x60,
    kTimerBCountsTimerA = 0x40,
};
}

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

void Cia6526::advance(uint32_t cycles) {
    const uint32_t a_underflows = timer_a_.count(cycles);
    if (a_underflows) flags_ |= kIcrTimerA;
    const uint8_t b_source = timer_b_.control & kTimerBCountMask;
    uint32_t b_ticks = 0;
    if (b_source == 0) b_ticks = cycles;
    else if (b_source == kTimerBCountsTimerA) b_ticks = a_underflows;
    if (timer_b_.count(b_ticks)) flags_ |= kIcrTimerB;
}

uint8_t Cia6526::read(uint8_t reg) {
    switch (reg & 0x0F) {
    case kCiaPortA: return port_a_pins();
    case kCiaPortB: return port_b_pins();
    case kCiaDdrA: return ddr_a_;
    case kCiaDdrB: return ddr_b_;
    case kCiaTimerALow: return static_cast<uint8_t>(timer_a_.counter);
    case kCiaTimerAHigh: return static_cast<uint8_t>(timer_a_.counter >> 8);
    case kCiaTimerBLow: return static_cast<uint8_t>(timer_b_.counter);
    case kCiaTimerBHigh: return static_cast<uint8_t>(timer_b_.counter >> 8);
    case kCiaInterruptControl: {
        // Reading acknowledges: every flag is cleared, enabled or not.
        const uint8_t value = static_cast<uint8_t>(flags_ | (interrupt_asserted() ? kIcrAnyEnabled : 0));
        flags_ = 0;
        return value;
    }
    case kCiaControlA: return timer_a_.control;
    case kCiaControlB: return timer_b_.control;
    default: return stub_registers_[reg & 0x0F];
    }
}

void Cia6526::write(uint8_t reg, uint8_t value) {
    switch (reg & 0x0F) {
    case kCiaPortA: latch_a_ = value; break;
    case kCiaPortB: latch_b_ = value; break;
    case kCiaDdrA: ddr_a_ = value; break;
    case kCiaDdrB: ddr_b_ = value; break;
    case kCiaTimerALow: timer_a_.latch = static_cast<uint16_t>((timer_a_.latch & 0xFF00) | value); break;
    case kCiaTimerAHigh:
        timer_a_.latch = static_cast<uint16_t>((timer_a_.latch & 0x00FF) | value << 8);
        if (!timer_a_.running()) timer_a_.counter = timer_a_.latch;
        break;
    case kCiaTimerBLow: timer_b_.latch = static_cast<uint16_t>((timer_b_.latch & 0xFF00) | value); break;
    case kCiaTimerBHigh:
        timer_b_.latch = static_cast<uint16_t>((timer_b_.latch & 0x00FF) | value << 8);
        if (!timer_b_.running()) timer_b_.counter = timer_b_.latch;
        break;
    case kCiaInterruptControl:
        if (value & kIcrAnyEnabled) mask_ |= value & 0x1F;
        else mask_ &= static_cast<uint8_t>(~value);
        break;
    case kCiaControlA: timer_a_.write_control(value); break;
    case kCiaControlB: timer_b_.write_control(value); break;
    default: stub_registers_[reg & 0x0F] = value; break;
    }
}
