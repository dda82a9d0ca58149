// The cable protocol to the C64 receiver, written once for every port.
//
// `Port` is the table of port operations the protocol needs and nothing
// else: out8(port, value), in8(port) and in16(port). The DLLs use the x86
// backend (one IN or OUT instruction each); tests and tools use the receiver
// simulator. `Clock` gives now_ms() for the bounded waits and the re-strobe;
// it is consulted only every few thousand polls, so a backend may use a
// cheap system time.
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
    kControlReverse = 0x20,   // control register bit 5: the data lines are inputs
};

// The ready probe's test, also used where the status is read under a guard.
constexpr bool status_says_ready(uint8_t status) { return (status & kReadyMask) == kReadyPattern; }
// PAPER-OUT and ERROR are grounded inside the cable and ACK and SELECT pulled
// up to the C64's +5 V, so 1,0,1,0 shows a C64 that is on and wired, busy
// or not - and also a cable pulled off the C64's end, where ACK and SELECT
// float high by the port's own pull-ups. Anything else is no C64: switched
// off, its dead supply holds ACK and SELECT low; a cable pulled off the PC
// leaves all four to the pull-ups.
constexpr bool status_says_wired(uint8_t status) { return (status & kWiredMask) == kWiredPattern; }

// An unwatched wait gives up after this long without a handshake change
// when the status lines say no C64 is wired ...
constexpr uint32_t kSilenceLimitMs = 2000;
// ... and after this long while they say one is: a tune's init may keep
// the receiver busy for seconds, and only a C64 that hangs for good
// should be reported.
constexpr uint32_t kBusyLimitMs = 12000;
// How many status polls pass between two looks at the clock.
constexpr uint32_t kPollsPerClockCheck = 2048;
// While an image is sent, a nibble still unanswered after this long has its
// strobe sent again: a FLAG edge lost on the way (a jostled plug, a marginal
// pulse, an edge the CIA missed beside its ICR read) would otherwise hang
// both sides. The answer is a level that stays, so a nibble the C64 took is
// seen as answered and never strobed twice. The receiver is never away from
// the wire that long while an image arrives (its longest pauses, the repair
// after the command byte and the loader fetch before the first image byte,
// take about 13 ms each); elsewhere it may be - see `kCommandWait`.
constexpr uint32_t kRestrobeMs = 100;

// How a wait for the receiver's answer ends: a bounded one gives up after
// kSilenceLimitMs of silence (kBusyLimitMs while the status lines show a
// wired C64); an unbounded one waits forever.
struct AnswerWait {
    bool bounded;
    bool restrobe;
};
// The commands that start, change and stop a song are not strobed again.
// A tune's init keeps the receiver away from the wire for up to about 14 s
// after it answered the song index, while the next command's first strobe
// stays latched; a re-strobe that lands between its ICR read and its
// answer would be taken as the following nibble and shift every nibble
// after it, and the PC would believe a command the C64 never got. A strobe
// lost in these short commands ends in "not responding" instead - loud,
// and the receiver rests again by itself after a third of a second.
constexpr AnswerWait kCommandWait{true, false};

// What differs between the two builds on the wire. The full build strobes
// twice before the low nibble and leaves the image part of an upload to the
// progress monitor; the fixed build strobes once and has no monitor, so all
// its waits are bounded.
struct LinkVariant {
    uint8_t strobes_before_low_nibble;
    bool image_watched_by_monitor;
    AnswerWait image_wait() const { return AnswerWait{!image_watched_by_monitor, true}; }
};
constexpr LinkVariant kFullBuildLink{2, true};
constexpr LinkVariant kFixedBuildLink{1, false};

// What each upload, stop and sub-song change spends on the port before its
// first byte: the strobe level, then the control register read and written.
constexpr uint32_t kSetupDataWrites = 1;
constexpr uint32_t kSetupControlReads = 1;
constexpr uint32_t kSetupControlWrites = 1;

// Wire cost of the sequences, in bytes.
constexpr uint32_t kUploadOverheadBytes = 12;  // 0x80 cmd + load address + 0x81 cmd + song + 0x82 cmd
constexpr uint32_t kSelectSongBytes = 10;
constexpr uint32_t kStopBytes = 3;

template <class Port, class Clock>
class C64Link {
public:
    C64Link(Port& io, Clock& clock, uint16_t port_base, LinkVariant variant)
        : io_(io), clock_(clock), data_(port_base),
          status_(static_cast<uint16_t>(port_base + 1)),
          control_(static_cast<uint16_t>(port_base + 2)), variant_(variant) {}

    // Is a receiver there and resting?
    bool ready() { return status_says_ready(io_.in8(status_)); }

    // One byte as two nibbles, low first; false when a bounded wait gave up.
    bool send_byte(uint8_t value, AnswerWait wait) {
        return send_nibble(value & 0x0F, variant_.strobes_before_low_nibble, 0, wait) &&
               send_nibble(value >> 4, 1, kHandshake, wait);
    }

    bool send_command(uint8_t code, uint8_t a, uint8_t b, AnswerWait wait) {
        return send_byte(code, wait) && send_byte(a, wait) && send_byte(b, wait);
    }

    // The same without the re-strobe, bounded or not.
    bool send_byte(uint8_t value, bool bounded) { return send_byte(value, AnswerWait{bounded, false}); }
    bool send_command(uint8_t code, uint8_t a, uint8_t b, bool bounded) {
        return send_command(code, a, b, AnswerWait{bounded, false});
    }

    // Sends the image and starts `song` (1-based; song 0 wraps to index 0xFF).
    // `progress` follows the image bytes for the progress monitor. Returns
    // false only when an unwatched wait gave up.
    bool upload(const SidTune& tune, uint8_t song, std::atomic<int32_t>& progress) {
        drive_data_lines();
        const AnswerWait image = variant_.image_wait();
        if (!send_command(kCmdLoadImage, low(tune.length), high(tune.length), image) ||
            !send_byte(low(tune.load_address), image) || !send_byte(high(tune.load_address), image)) {
            return false;
        }
        for (int32_t i = 0; i < tune.length; ++i) {
            if (!send_byte(tune.image[i], image)) return false;
            progress.store(i, std::memory_order_relaxed);
        }
        progress.store(tune.length, std::memory_order_relaxed);
        return start_song(tune, static_cast<uint8_t>(song - 1));
    }

    // Restarts the tune at `index` (0-based) without sending the image again.
    bool select_song(const SidTune& tune, uint8_t index) {
        return stop() && start_song(tune, index);
    }

    bool stop() {
        drive_data_lines();
        return send_command(kCmdStop, 0, 0, kCommandWait);
    }

private:
    static uint8_t low(uint16_t v) { return static_cast<uint8_t>(v); }
    static uint8_t high(uint16_t v) { return static_cast<uint8_t>(v >> 8); }

    bool start_song(const SidTune& tune, uint8_t index) {
        return send_command(kCmdInitSong, low(tune.init_address), high(tune.init_address), kCommandWait) &&
               send_byte(index, kCommandWait) &&
               send_command(kCmdPlay, low(tune.play_address), high(tune.play_address), kCommandWait);
    }

    // A scanner driver, the firmware or another program may have left the
    // port in reverse (input) mode, where nothing we write reaches the
    // cable; every sequence therefore starts by setting the direction bit
    // to forward, keeping the other bits as they are. The data register
    // gets the strobe level first: in reverse mode FLAG floats high, and
    // driving the last nibble (bit 7 low) onto it would be a falling edge,
    // a nibble the PC never meant.
    void drive_data_lines() {
        io_.out8(data_, kStrobe);
        io_.out8(control_, static_cast<uint8_t>(io_.in8(control_) & ~kControlReverse));
    }

    void strobe(uint8_t nibble, uint8_t strobes) {
        for (uint8_t i = 0; i < strobes; ++i) io_.out8(data_, kStrobe);
        io_.out8(data_, nibble);
    }

    bool send_nibble(uint8_t nibble, uint8_t strobes, uint8_t answer, AnswerWait wait) {
        strobe(nibble, strobes);
        return wait_handshake(answer, wait, nibble, strobes);
    }

    // Polls status bit 7 until it reads `level`. The status register is read
    // as a word; only its low byte carries the port's status lines. The
    // clock starts only after a first round of polls, so a receiver that
    // answers at once never costs a look at it. At each look a bounded wait
    // judges by the last status read: silence from a wired C64 is allowed
    // kBusyLimitMs, from anything else kSilenceLimitMs.
    bool wait_handshake(uint8_t level, AnswerWait wait, uint8_t nibble, uint8_t strobes) {
        bool timing = false;
        uint32_t silent_since = 0;
        uint32_t strobed_at = 0;
        for (;;) {
            uint8_t status = 0;
            for (uint32_t n = 0; n < kPollsPerClockCheck; ++n) {
                status = static_cast<uint8_t>(io_.in16(status_));
                if ((status & kHandshake) == level) return true;
            }
            if (!wait.bounded && !wait.restrobe) continue;
            const uint32_t now = clock_.now_ms();
            if (!timing) {
                timing = true;
                silent_since = strobed_at = now;
                continue;
            }
            const uint32_t limit = status_says_wired(status) ? kBusyLimitMs : kSilenceLimitMs;
            if (wait.bounded && now - silent_since >= limit) return false;
            if (wait.restrobe && now - strobed_at >= kRestrobeMs) {
                strobe(nibble, strobes);
                strobed_at = now;
            }
        }
    }

    Port& io_;
    Clock& clock_;
    const uint16_t data_;
    const uint16_t status_;
    const uint16_t control_;
    const LinkVariant variant_;
};
