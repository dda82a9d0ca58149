// The cable protocol to the C64 receiver, written once for every port.
//
// `Port` is the table of port operations the protocol needs and nothing
// else: out8(port, value), in8(port) and in16(port). The DLLs use the x86
// backend (one IN or OUT instruction each); tests and tools use the receiver
// simulator. `Clock` gives now_ms() for the bounded waits; it is consulted
// only every few thousand polls, so a backend may use a cheap system time.
#pragma once

#include <atomic>
#include <cstdint>

#include "tune/sid_tune.h"

enum : uint8_t {
    kCmdLoadImage = 0x80,  // length lo/hi, then load address lo/hi and the image
    kCmdInitSong = 0x81,   // init address lo/hi, then the 0-based song index
    kCmdPlay = 0x82,       // play address lo/hi
    kCmdStop = 0x83,       // 0, 0
};

enum : uint8_t {
    kStrobe = 0x80,           // data bit 7: its falling edge announces a nibble
    kHandshake = 0x80,        // status bit 7: the receiver's answer
    kWiredMask = 0x78,        // status bits 6..3 ...
    kWiredPattern = 0x50,     // ... read 1,0,1,0 while a C64 is on and wired, busy or not
    kReadyMask = kHandshake | kWiredMask,        // status bits 7..3 ...
    kReadyPattern = kHandshake | kWiredPattern,  // ... read 1,1,0,1,0 while the receiver rests
};

// The ready probe's test, also used where the status is read under a guard.
constexpr bool status_says_ready(uint8_t status) { return (status & kReadyMask) == kReadyPattern; }
// A C64 that is switched on and wired pulls ACK and SELECT up to its +5 V
// and grounds PAPER-OUT and ERROR, busy or not; unplugged or switched off,
// all four float to 1 at the PC.
constexpr bool status_says_wired(uint8_t status) { return (status & kWiredMask) == kWiredPattern; }

// What differs between the two builds on the wire. The full build strobes
// twice before the low nibble and leaves the image part of an upload to the
// progress monitor; the fixed build strobes once and has no monitor, so all
// its waits are bounded.
struct LinkVariant {
    uint8_t strobes_before_low_nibble;
    bool image_watched_by_monitor;
};
constexpr LinkVariant kFullBuildLink{2, true};
constexpr LinkVariant kFixedBuildLink{1, false};

// An unwatched wait gives up after this long without a handshake change
// when the status lines say no C64 is wired ...
constexpr uint32_t kSilenceLimitMs = 2000;
// ... and after this long while they say one is: a tune's init may keep
// the receiver busy for seconds, and only a C64 that hangs for good
// should be reported.
constexpr uint32_t kBusyLimitMs = 12000;
// How many status polls pass between two looks at the clock.
constexpr uint32_t kPollsPerClockCheck = 2048;

// Wire cost of the sequences, in bytes.
constexpr uint32_t kUploadOverheadBytes = 12;  // 0x80 cmd + load address + 0x81 cmd + song + 0x82 cmd
constexpr uint32_t kSelectSongBytes = 10;
constexpr uint32_t kStopBytes = 3;

template <class Port, class Clock>
class C64Link {
public:
    C64Link(Port& io, Clock& clock, uint16_t port_base, LinkVariant variant)
        : io_(io), clock_(clock), data_(port_base),
          status_(static_cast<uint16_t>(port_base + 1)), variant_(variant) {}

    // Is a receiver there and resting?
    bool ready() { return status_says_ready(io_.in8(status_)); }

    // One byte as two nibbles, low first. `bounded` waits give up after
    // kSilenceLimitMs of silence (kBusyLimitMs while the status lines show a
    // wired C64) and return false; the others wait forever.
    bool send_byte(uint8_t value, bool bounded) {
        for (uint8_t i = 0; i < variant_.strobes_before_low_nibble; ++i) io_.out8(data_, kStrobe);
        io_.out8(data_, value & 0x0F);
        if (!wait_handshake(0, bounded)) return false;
        io_.out8(data_, kStrobe);
        io_.out8(data_, value >> 4);
        return wait_handshake(kHandshake, bounded);
    }

    bool send_command(uint8_t code, uint8_t a, uint8_t b, bool bounded) {
        return send_byte(code, bounded) && send_byte(a, bounded) && send_byte(b, bounded);
    }

    // Sends the image and starts `song` (1-based; song 0 wraps to index 0xFF).
    // `progress` follows the image bytes for the progress monitor. Returns
    // false only when an unwatched wait gave up.
    bool upload(const SidTune& tune, uint8_t song, std::atomic<int32_t>& progress) {
        const bool image_bounded = !variant_.image_watched_by_monitor;
        if (!send_command(kCmdLoadImage, low(tune.length), high(tune.length), image_bounded) ||
            !send_byte(low(tune.load_address), image_bounded) ||
            !send_byte(high(tune.load_address), image_bounded)) {
            return false;
        }
        for (int32_t i = 0; i < tune.length; ++i) {
            if (!send_byte(tune.image[i], image_bounded)) return false;
            progress.store(i, std::memory_order_relaxed);
        }
        progress.store(tune.length, std::memory_order_relaxed);
        return start_song(tune, static_cast<uint8_t>(song - 1));
    }

    // Restarts the tune at `index` (0-based) without sending the image again.
    bool select_song(const SidTune& tune, uint8_t index) {
        return stop() && start_song(tune, index);
    }

    bool stop() { return send_command(kCmdStop, 0, 0, true); }

private:
    static uint8_t low(uint16_t v) { return static_cast<uint8_t>(v); }
    static uint8_t high(uint16_t v) { return static_cast<uint8_t>(v >> 8); }

    bool start_song(const SidTune& tune, uint8_t index) {
        return send_command(kCmdInitSong, low(tune.init_address), high(tune.init_address), true) &&
               send_byte(index, true) &&
               send_command(kCmdPlay, low(tune.play_address), high(tune.play_address), true);
    }

    // Polls status bit 7 until it reads `level`. The status register is read
    // as a word; only its low byte carries the port's status lines. A bounded
    // wait starts its clock only after a first round of polls, so a receiver
    // that answers at once never costs a look at the clock. At each look it
    // judges by the last status read: silence from a wired C64 is allowed
    // kBusyLimitMs, from anything else kSilenceLimitMs.
    bool wait_handshake(uint8_t level, bool bounded) {
        if (!bounded) {
            while ((io_.in16(status_) & kHandshake) != level) {
            }
            return true;
        }
        bool timing = false;
        uint32_t silent_since = 0;
        for (;;) {
            uint8_t status = 0;
            for (uint32_t n = 0; n < kPollsPerClockCheck; ++n) {
                status = static_cast<uint8_t>(io_.in16(status_));
                if ((status & kHandshake) == level) return true;
            }
            const uint32_t now = clock_.now_ms();
            const uint32_t limit = status_says_wired(status) ? kBusyLimitMs : kSilenceLimitMs;
            if (!timing) {
                timing = true;
                silent_since = now;
            } else if (now - silent_since >= limit) {
                return false;
            }
        }
    }

    Port& io_;
    Clock& clock_;
    const uint16_t data_;
    const uint16_t status_;
    const LinkVariant variant_;
};
