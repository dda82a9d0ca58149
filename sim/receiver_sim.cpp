#include "sim/receiver_sim.h"

#include <cstdio>

#include "link/c64_link.h"

namespace {

// Nothing on the status lines: the port's pull-ups read 1, BUSY inverted 0.
constexpr uint8_t kOpenLines = 0x7F;
// Undriven data lines float high at the C64.
constexpr uint8_t kUndrivenLines = 0xFF;

}  // namespace

C64ReceiverSim::C64ReceiverSim(uint16_t port_base) : base_(port_base) {}

void C64ReceiverSim::reset() {
    const uint16_t base = base_;
    const Mode mode = mode_;
    const uint8_t noise = noise_, floating = floating_;
    const bool record = record_writes_;
    const uint8_t control = control_;
    *this = C64ReceiverSim(base);
    control_ = control;
    drive_lines();
    mode_ = mode;
    noise_ = noise;
    floating_ = floating;
    record_writes_ = record;
}

void C64ReceiverSim::set_mode(Mode mode) {
    const bool was_busy = mode_ == Mode::Busy;
    mode_ = mode;
    if (was_busy && mode == Mode::Present && !stalled_ && pending_) {
        pending_ = false;
        take_nibble(pending_nibble_);
    }
}

void C64ReceiverSim::stall_after(uint32_t bytes) {
    stall_armed_ = true;
    bytes_until_stall_ = bytes;
    if (bytes == 0) stalled_ = true;
}

void C64ReceiverSim::resume() {
    stall_armed_ = false;
    stalled_ = false;
    stalled_reads_ = 0;
    if (pending_) {
        pending_ = false;
        take_nibble(pending_nibble_);
    }
}

void C64ReceiverSim::set_control_register(uint8_t value) {
    control_ = value;
    drive_lines();
}

void C64ReceiverSim::io_write(uint16_t port, uint8_t value) {
    if (mode_ == Mode::Absent || mode_ == Mode::Unplugged) return;
    if (port == base_ + 2) {
        set_control_register(value);
        return;
    }
    if (port != base_) return;
    ++writes_seen_;
    if (record_writes_) writes_.push_back(value);
    last_data_ = value;
    drive_lines();
}

// Whatever changes the lines - a data write, or the direction switched -
// strobes a nibble when FLAG falls.
void C64ReceiverSim::drive_lines() {
    const uint8_t lines = (control_ & kControlReverse) ? kUndrivenLines : last_data_;
    const bool falling_edge = (lines_ & kStrobe) && !(lines & kStrobe);
    lines_ = lines;
    if (!falling_edge) return;
    if (stalled_ || mode_ == Mode::Busy) {
        pending_ = true;
        pending_nibble_ = lines & 0x0F;
        return;
    }
    take_nibble(lines & 0x0F);
}

uint8_t C64ReceiverSim::status() const {
    if (mode_ == Mode::Absent) return floating_;
    if (mode_ == Mode::Unplugged) return kOpenLines;
    return static_cast<uint8_t>((kReadyPattern & ~kHandshake) | (handshake_high_ ? kHandshake : 0) |
                                noise_);
}

uint8_t C64ReceiverSim::io_read8(uint16_t port) {
    if (port == base_ + 2 && mode_ != Mode::Absent) return control_;
    if (port != base_ + 1) return floating_;
    ++status_reads_;
    if (stalled_ && auto_resume_reads_ != 0 && ++stalled_reads_ >= auto_resume_reads_) resume();
    return status();
}

uint16_t C64ReceiverSim::io_read16(uint16_t port) {
    const uint8_t low = io_read8(port);
    const uint8_t high = port == base_ + 1 && mode_ != Mode::Absent ? control_ : floating_;
    return static_cast<uint16_t>(low | high << 8);
}

void C64ReceiverSim::take_nibble(uint8_t nibble) {
    if (want_low_nibble_) {
        low_nibble_ = nibble;
        want_low_nibble_ = false;
        handshake_high_ = false;
        return;
    }
    want_low_nibble_ = true;
    handshake_high_ = true;
    take_byte(static_cast<uint8_t>(low_nibble_ | nibble << 4));
    if (stall_armed_ && !stalled_ && --bytes_until_stall_ == 0) stalled_ = true;
}

void C64ReceiverSim::take_byte(uint8_t value) {
    bytes_.push_back(value);
    switch (expect_) {
        case Expect::Command:
            commands_.push_back(SimCommand{value, 0, 0, 0, 0, 0});
            expect_ = Expect::ArgA;
            return;
        case Expect::ArgA:
            commands_.back().a = value;
            expect_ = Expect::ArgB;
            return;
        case Expect::ArgB: break;
        case Expect::LoadLow:
            commands_.back().load_address = value;
            expect_ = Expect::LoadHigh;
            return;
        case Expect::LoadHigh:
            commands_.back().load_address |= static_cast<uint16_t>(value << 8);
            load_address_ = commands_.back().load_address;
            expect_ = image_left_ != 0 ? Expect::Image : Expect::Command;
            return;
        case Expect::Image:
            image_.push_back(value);
            ++commands_.back().image_bytes;
            if (--image_left_ == 0) expect_ = Expect::Command;
            return;
        case Expect::SongIndex:
            commands_.back().song_index = value;
            song_index_ = value;
            expect_ = Expect::Command;
            return;
    }

    SimCommand& cmd = commands_.back();
    cmd.b = value;
    const uint16_t word = static_cast<uint16_t>(cmd.a | cmd.b << 8);
    expect_ = Expect::Command;
    switch (cmd.code) {
        case kCmdLoadImage:
            playing_ = false;
            image_.clear();
            image_length_ = word;
            image_left_ = word;
            expect_ = Expect::LoadLow;
            break;
        case kCmdInitSong:
            init_address_ = word;
            expect_ = Expect::SongIndex;
            break;
        case kCmdPlay:
            play_address_ = word;
            playing_ = true;
            break;
        case kCmdStop: playing_ = false; break;
        default: break;  // unknown: recorded, nothing else happens
    }
}

std::string C64ReceiverSim::describe_commands() const {
    std::string out;
    char line[96];
    for (const SimCommand& c : commands_) {
        const unsigned word = static_cast<unsigned>(c.a | c.b << 8);
        switch (c.code) {
            case kCmdLoadImage:
                std::snprintf(line, sizeof line, "80 load image: length %u, load $%04X, %u bytes\n",
                              word, static_cast<unsigned>(c.load_address), c.image_bytes);
                break;
            case kCmdInitSong:
                std::snprintf(line, sizeof line, "81 init: $%04X, song index %u\n", word,
                              static_cast<unsigned>(c.song_index));
                break;
            case kCmdPlay: std::snprintf(line, sizeof line, "82 play: $%04X\n", word); break;
            case kCmdStop: std::snprintf(line, sizeof line, "83 stop\n"); break;
            default:
                std::snprintf(line, sizeof line, "%02X unknown command (%02X %02X)\n",
                              static_cast<unsigned>(c.code), static_cast<unsigned>(c.a),
                              static_cast<unsigned>(c.b));
                break;
        }
        out += line;
    }
    return out;
}
