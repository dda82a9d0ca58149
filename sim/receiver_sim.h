// A C64 receiver at register level, for tests, tools and the player rig.
//
// It sits on one port base and plays the receiver's side of the wire: the
// status register rests at bits 7..3 = 1,1,0,1,0 (plus configurable noise
// in bits 0..2); each falling edge of data bit 7 takes the nibble in bits
// 0..3 and answers with status bit 7 = 0 after a low nibble and 1 after a
// high one. Completed bytes are parsed as commands and recorded. The
// port's control register (base + 2) is kept as written; while its bit 5
// says reverse, the data lines are undriven and float high at the C64.
//
// Not thread-safe: a caller that shares it between threads locks around it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SimCommand {
    uint8_t code;          // 0x80..0x83, or any other byte received in command position
    uint8_t a, b;          // the two argument bytes
    uint16_t load_address; // 0x80: the two bytes after the arguments
    uint8_t song_index;    // 0x81: the byte after the arguments
    uint32_t image_bytes;  // 0x80: image bytes received so far
};

class C64ReceiverSim {
public:
    // Present: answers. Absent: no port there (reads the floating value). Busy: a
    // wired C64 that shows the resting lines but does not answer (a long
    // init). Unplugged: the cable pulled off the PC, the port's pull-ups
    // alone, status 0x7F.
    enum class Mode { Present, Absent, Busy, Unplugged };

    explicit C64ReceiverSim(uint16_t port_base = 0x378);

    // --- the two registers, as the PC sees them ---------------------------
    void io_write(uint16_t port, uint8_t value);
    uint8_t io_read8(uint16_t port);
    uint16_t io_read16(uint16_t port);

    // --- set-up and fault modes ------------------------------------------
    void set_port_base(uint16_t base) { base_ = base; }
    uint16_t port_base() const { return base_; }
    // Leaving Busy takes a nibble strobed meanwhile.
    void set_mode(Mode mode);
    void set_status_noise(uint8_t low_bits) { noise_ = low_bits & 0x07; }
    // Reads of a port nobody answers on (and of an absent receiver).
    void set_floating_value(uint8_t value) { floating_ = value; }
    // The control register as another program left it (0xE0: reverse).
    void set_control_register(uint8_t value);
    uint8_t control_register() const { return control_; }
    // Stop answering once `bytes` more complete bytes have arrived; nibbles
    // strobed while stalled wait until resume().
    void stall_after(uint32_t bytes);
    // Answer again; a nibble strobed during the stall is taken now.
    void resume();
    // Resume by itself after this many status reads while stalled (lets a
    // single-threaded test end an unbounded wait); 0 = never.
    void resume_after_reads(uint32_t reads) { auto_resume_reads_ = reads; }
    bool stalled() const { return stalled_; }
    // Keep (or stop keeping) the log of every data write (on by default).
    void record_writes(bool on) { record_writes_ = on; }
    // Forget everything received; the handshake returns to rest.
    void reset();

    // --- what arrived ------------------------------------------------------
    const std::vector<uint8_t>& data_writes() const { return writes_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    const std::vector<SimCommand>& commands() const { return commands_; }
    const std::vector<uint8_t>& image() const { return image_; }  // of the last 0x80
    uint16_t image_length() const { return image_length_; }
    uint16_t load_address() const { return load_address_; }
    uint16_t init_address() const { return init_address_; }
    uint16_t play_address() const { return play_address_; }
    uint8_t song_index() const { return song_index_; }
    bool playing() const { return playing_; }
    uint32_t status_reads() const { return status_reads_; }
    uint32_t writes_seen() const { return writes_seen_; }

    // Human-readable list of the commands received, one per line.
    std::string describe_commands() const;

private:
    void take_nibble(uint8_t nibble);
    void take_byte(uint8_t value);
    uint8_t status() const;
    void drive_lines();

    enum class Expect { Command, ArgA, ArgB, LoadLow, LoadHigh, Image, SongIndex };

    uint16_t base_;
    Mode mode_ = Mode::Present;
    uint8_t noise_ = 0;
    uint8_t floating_ = 0xFF;
    bool record_writes_ = true;

    uint8_t last_data_ = 0;
    // Its unused top bits read as ones.
    uint8_t control_ = 0xC0;
    // What the C64 sees of data bits 7 and 0..3.
    uint8_t lines_ = 0;
    bool handshake_high_ = true;
    bool want_low_nibble_ = true;
    uint8_t low_nibble_ = 0;

    bool stall_armed_ = false;
    uint32_t bytes_until_stall_ = 0;
    bool stalled_ = false;
    bool pending_ = false;
    uint8_t pending_nibble_ = 0;
    uint32_t auto_resume_reads_ = 0;
    uint32_t stalled_reads_ = 0;

    Expect expect_ = Expect::Command;
    uint32_t image_left_ = 0;

    std::vector<uint8_t> writes_;
    std::vector<uint8_t> bytes_;
    std::vector<SimCommand> commands_;
    std::vector<uint8_t> image_;
    uint16_t image_length_ = 0;
    uint16_t load_address_ = 0;
    uint16_t init_address_ = 0;
    uint16_t play_address_ = 0;
    uint8_t song_index_ = 0;
    bool playing_ = false;
    uint32_t status_reads_ = 0;
    uint32_t writes_seen_ = 0;
};

// Adapts a simulator to the link's port operations.
struct SimPort {
    C64ReceiverSim& sim;
    void out8(uint16_t port, uint8_t value) { sim.io_write(port, value); }
    uint8_t in8(uint16_t port) { return sim.io_read8(port); }
    uint16_t in16(uint16_t port) { return sim.io_read16(port); }
};
