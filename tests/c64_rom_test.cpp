// The memory map the 6510's port selects, the system ROM stand-in's entry
// points, and the state a program finds after RUN.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "rig/c64/c64_machine.h"
#include "rig/c64/receiver_boot.h"
#include "rig/c64/system_rom.h"

namespace {

constexpr uint16_t kCodeAt = 0x1000;
constexpr uint16_t kHandlerAt = 0x2000;

void put(C64Machine& c64, uint16_t at, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) c64.set_ram(at++, b);
}
void put_word(C64Machine& c64, uint16_t at, uint16_t value) {
    put(c64, at, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
}
size_t visits(const C64Machine& c64, uint16_t address) {
    return static_cast<size_t>(std::count_if(c64.visits().begin(), c64.visits().end(),
                                             [&](const WatchVisit& v) { return v.address == address; }));
}

TEST(MemoryMap, PortLinesSelectRomsIoAndRamWritesAlwaysReachRam) {
    C64Machine c64;
    for (uint16_t at : {uint16_t(0xA000), uint16_t(0xD020), uint16_t(0xE000)}) c64.set_ram(at, 0x5A);
    struct Row { uint8_t port; uint8_t basic, io, kernal; };  // 0 RAM, 1 ROM/jam, 2 I/O
    const Row rows[] = {
        {0x37, 1, 2, 1}, {0x36, 0, 2, 1}, {0x35, 0, 2, 0}, {0x34, 0, 0, 0},
        {0x33, 1, 1, 1}, {0x32, 0, 1, 1}, {0x31, 0, 1, 0}, {0x30, 0, 0, 0},
    };
    c64.cpu_write(0xD020, 0x0E);  // border colour, in the VIC
    for (const Row& r : rows) {
        c64.cpu_write(0x01, r.port);
        EXPECT_EQ(c64.cpu_read(0x01) & 0x07, r.port & 0x07);
        EXPECT_EQ(c64.cpu_read(0xA000), r.basic ? kJamOpcode : 0x5A) << std::hex << +r.port;
        EXPECT_EQ(c64.cpu_read(0xD020), r.io == 2 ? 0x0E : r.io ? kJamOpcode : 0x5A) << std::hex << +r.port;
        EXPECT_EQ(c64.cpu_read(0xE000), r.kernal ? kJamOpcode : 0x5A) << std::hex << +r.port;
        EXPECT_EQ(c64.cpu_read(0xFFFE) | c64.cpu_read(0xFFFF) << 8, r.kernal ? kRomIrqEntry : 0);
    }
    c64.cpu_write(0x01, 0x37);
    c64.cpu_write(0xA000, 1);
    c64.cpu_write(0xE000, 2);
    EXPECT_EQ(c64.ram(0xA000), 1);
    EXPECT_EQ(c64.ram(0xE000), 2);
    c64.cpu_write(0x00, 0x28);  // LORAM, HIRAM, CHAREN as inputs: pulled up
    c64.cpu_write(0x01, 0x30);
    EXPECT_TRUE(c64.io_visible());
    EXPECT_EQ(c64.cpu_read(0xA000), kJamOpcode);
}

// A program after RUN, idling while the system's 60 Hz interrupt runs
// through the stand-in into its own handler and back.
TEST(SystemRom, IrqReachesTheRamVectorAndReturnsThroughEA81) {
    C64Machine c64;
    put(c64, kCodeAt, {0x4C, 0x00, 0x10});                       // JMP *
    put(c64, kHandlerAt, {0xE6, 0x02, 0x4C, 0x31, 0xEA});        // INC $02; JMP $EA31
    c64.start_after_run(kCodeAt);
    EXPECT_EQ(c64.cpu_read(0x01), 0x37);
    EXPECT_EQ(c64.ram(0x0314) | c64.ram(0x0315) << 8, kRomIrqHandler);
    EXPECT_EQ(c64.cpu_read(0xD011) & 0x7F, 0x1B);
    put_word(c64, 0x0314, kHandlerAt);
    c64.watch(kRomIrqEntry);
    c64.watch(kRomIrqReturn);
    const uint8_t stack = c64.cpu().regs.s;
    c64.run_for(3 * (0x4025 + 1) + 1000);  // the third handler has time to finish
    EXPECT_EQ(c64.ram(0x02), 3) << "60 Hz: one interrupt per latch + 1 cycles";
    EXPECT_EQ(visits(c64, kRomIrqEntry), 3u);
    EXPECT_EQ(visits(c64, kRomIrqReturn), 3u);
    EXPECT_FALSE(c64.cpu().jammed());
    EXPECT_EQ(c64.cpu().regs.s, stack);
    EXPECT_EQ(c64.cpu().regs.p & kFlagI, 0);

    C64Machine ntsc(C64Model::Ntsc);
    put(ntsc, kCodeAt, {0x4C, 0x00, 0x10});
    ntsc.start_after_run(kCodeAt);
    EXPECT_EQ(ntsc.cia1().read(kCiaTimerAHigh) << 8 | ntsc.cia1().read(kCiaTimerALow), 0x4295);
}

// A tune's own handler ending in JMP $EA31, as rips have it: the system's
// handler updates the jiffy clock (wrapping at 24 h), the STOP key's row,
// the cassette interlock, the cursor (only while BLNSW is 0) and the
// keyboard scan's variables.
TEST(SystemRom, Ea31WritesWhatTheKernalsIrqHandlerWrites) {
    C64Machine c64;
    put(c64, kCodeAt, {0x4C, 0x00, 0x10});
    put(c64, kHandlerAt, {0xE6, 0x02, 0x4C, 0x31, 0xEA});  // INC $02; JMP $EA31
    c64.start_after_run(kCodeAt);
    put_word(c64, 0x0314, kHandlerAt);
    put(c64, 0xA0, {0x4F, 0x1A, 0x00});  // one jiffy before 24 h
    for (int at : {0x91, 0xC0, 0xC5, 0xCB, 0x028D, 0x028E}) c64.set_ram(static_cast<uint16_t>(at), 0x55);
    c64.cpu_write(0xDC00, 0x00);
    c64.cpu_write(0x01, 0x17);  // motor bit 5 clear
    c64.set_ram(0x042B, 0x01);  // the cursor's character, at line 1, column 3
    c64.run_for(1000);  // from here on each tick ends well after its interrupt was handled
    const auto ticks = [&](int n) { c64.run_for(n * (0x4025 + 1)); };
    ticks(1);
    EXPECT_EQ(c64.ram(0x02), 1);
    EXPECT_EQ(c64.ram(0xA0) | c64.ram(0xA1) | c64.ram(0xA2), 0) << "24 h wrap";
    EXPECT_EQ(c64.ram(0x91), 0xFF);
    EXPECT_EQ(c64.ram(0xC0), 0);
    EXPECT_EQ(c64.cpu_read(0x01) & 0x20, 0x20) << "no cassette key: motor off";
    EXPECT_EQ(c64.ram(0x028D), 0);
    EXPECT_EQ(c64.ram(0x028E), 0);
    EXPECT_EQ(c64.ram(0xC5), 0x40);
    EXPECT_EQ(c64.ram(0xCB), 0x40);
    EXPECT_EQ(c64.cia1().port_a_pins(), 0x7F);
    EXPECT_EQ(c64.ram(0x042B), 0x01) << "BLNSW set after RUN: no blink";

    put(c64, 0xCC, {0x00, 0x01});  // BLNSW 0, next jiffy blinks
    put_word(c64, 0xD1, 0x0428);
    c64.set_ram(0xD3, 3);
    c64.set_ram(0x0286, 5);
    c64.cpu_write(0xD82B, 7);
    ticks(1);
    EXPECT_EQ(c64.ram(0xA2), 1);
    EXPECT_EQ(c64.ram(0x042B), 0x81);
    EXPECT_EQ(c64.cpu_read(0xD82B) & 0x0F, 5) << "text colour while reversed";
    EXPECT_EQ(c64.ram(0xF3) | c64.ram(0xF4) << 8, 0xD828);
    EXPECT_EQ(c64.ram(0x0287), 7);
    ticks(20);
    EXPECT_EQ(c64.ram(0x042B), 0x01);
    EXPECT_EQ(c64.cpu_read(0xD82B) & 0x0F, 7);
    EXPECT_FALSE(c64.cpu().jammed());
}

// With a key held the scan finds it, decodes it through ($028F) and puts
// it into the buffer once; space repeats into an empty buffer.
TEST(SystemRom, AHeldKeyReachesTheBufferThroughTheDecodeVector) {
    C64Machine c64;
    put(c64, kCodeAt, {0x4C, 0x00, 0x10});
    put(c64, kHandlerAt, {0xE6, 0x03, 0x4C, 0x48, 0xEB});  // INC $03; JMP $EB48
    c64.start_after_run(kCodeAt);
    put_word(c64, 0x028F, kHandlerAt);
    c64.run_for(3000);  // a scan with a key down takes longer
    const auto ticks = [&](int n) { c64.run_for(n * (0x4025 + 1)); };
    ticks(1);
    EXPECT_EQ(c64.ram(0x03), 0) << "no key: no decode";
    c64.hold_key(kKeyA);
    ticks(30);
    EXPECT_EQ(c64.ram(0x03), 30);
    EXPECT_EQ(c64.ram(0xC6), 1) << "A does not repeat";
    EXPECT_EQ(c64.ram(0x0277), 'A');
    EXPECT_EQ(c64.ram(0xCB), kKeyA);
    EXPECT_EQ(c64.ram(0xC5), kKeyA);
    EXPECT_EQ(c64.cpu_read(static_cast<uint16_t>((c64.ram(0xF5) | c64.ram(0xF6) << 8) + kKeyA)), 'A')
        << "KEYTAB: the decode table";

    c64.hold_key(kKeySpace);
    ticks(1);
    EXPECT_EQ(c64.ram(0xC6), 2);
    EXPECT_EQ(c64.ram(0x0278), ' ');
    EXPECT_EQ(c64.ram(0x91), 0xEF) << "space shares RUN/STOP's column";
    ticks(40);
    EXPECT_EQ(c64.ram(0xC6), 2) << "no repeat into a buffer that holds keys";
    c64.set_ram(0xC6, 0);
    ticks(21);
    EXPECT_EQ(c64.ram(0xC6), 1) << "a repeat after the delay";
    c64.release_key();
    ticks(1);
    EXPECT_EQ(c64.ram(0xC5), 0x40);
    EXPECT_FALSE(c64.cpu().jammed());
}

// NMI through $FE47: CIA 2's sources off and acknowledged, RESTORE's STOP
// row, and ENABL back into $DD0D; sources that meet ENABL take the RS-232
// branch.
TEST(SystemRom, Fe47AcknowledgesCia2AndRestoresEnabl) {
    C64Machine c64;
    put(c64, kCodeAt, {0x78, 0x4C, 0x01, 0x10});  // SEI; JMP *
    c64.start_after_run(kCodeAt);
    c64.run_for(100);
    c64.set_ram(0x91, 0);
    c64.watch(kRomNmiHandler);
    c64.watch(kRomNmiRs232);
    c64.press_restore();
    c64.run_for(300);
    EXPECT_EQ(visits(c64, kRomNmiHandler), 1u);
    EXPECT_EQ(c64.ram(0x91), 0xFF);
    c64.cia2().flag_falling_edge();
    c64.run_for(300);
    EXPECT_EQ(visits(c64, kRomNmiHandler), 1u) << "ENABL 0: every source stays off";

    c64.set_ram(0x02A1, 0x90);  // ENABL: FLAG, the RS-232 start bit
    c64.press_restore();
    c64.run_for(300);
    EXPECT_EQ(visits(c64, kRomNmiRs232), 1u) << "the FLAG latched before meets ENABL";
    c64.cia2().flag_falling_edge();
    c64.run_for(300);
    EXPECT_EQ(visits(c64, kRomNmiHandler), 3u) << "ENABL enabled FLAG on the way out";
    EXPECT_EQ(visits(c64, kRomNmiRs232), 2u);
    EXPECT_FALSE(c64.cpu().jammed());
}

// BRK goes through $0316; its default, the ROM's warm start, jams here.
// So do calls into the ROM outside the entry points and RTS back to BASIC.
TEST(SystemRom, BrkRomCallsAndReturningToBasicJam) {
    struct Case { std::vector<uint8_t> code; uint16_t jams_at; };
    const Case cases[] = {
        {{0x00, 0x00}, kRomBrkHandler},
        {{0x20, 0xD2, 0xFF}, 0xFFD2},  // a KERNAL call
        {{0x4C, 0x00, 0xA0}, 0xA000},  // into BASIC
        {{0x60}, 0xE147},              // RTS after SYS
    };
    for (const Case& c : cases) {
        C64Machine c64;
        put(c64, kCodeAt, c.code);
        c64.start_after_run(kCodeAt);
        c64.run_for(1000);
        EXPECT_TRUE(c64.cpu().jammed());
        EXPECT_EQ(c64.cpu().regs.pc, c.jams_at);
    }
    C64Machine basic_out;  // with BASIC switched out, $A000 is RAM and runs
    put(basic_out, kCodeAt, {0xA9, 0x36, 0x85, 0x01, 0x4C, 0x00, 0xA0});
    put(basic_out, 0xA000, {0x4C, 0x00, 0xA0});
    basic_out.start_after_run(kCodeAt);
    basic_out.run_for(1000);
    EXPECT_FALSE(basic_out.cpu().jammed());
}

TEST(SystemRom, RestoreGoesThrough0318WithKernalInAndFFFAWithoutIt) {
    C64Machine c64;
    put(c64, kCodeAt, {0x78, 0x4C, 0x01, 0x10});            // SEI; JMP *
    put(c64, kHandlerAt, {0xE6, 0x02, 0x40});               // INC $02; RTI
    c64.start_after_run(kCodeAt);
    c64.run_for(100);
    c64.watch(kRomNmiReturn);
    c64.press_restore();
    c64.run_for(200);
    EXPECT_EQ(visits(c64, kRomNmiReturn), 1u) << "the default handler returns through $FEBC";
    EXPECT_FALSE(c64.cpu().jammed());
    put_word(c64, 0x0318, kHandlerAt);
    c64.press_restore();
    c64.run_for(200);
    EXPECT_EQ(c64.ram(0x02), 1) << "through $0318, with IRQs masked";
    c64.cia2().write(kCiaTimerALow, 1);
    c64.cia2().write(kCiaTimerAHigh, 0);
    c64.cia2().write(kCiaInterruptControl, kIcrAnyEnabled | kIcrTimerA);
    c64.cia2().write(kCiaControlA, 0x19);  // one-shot: CIA 2 holds NMI low until acknowledged
    c64.run_for(200);
    EXPECT_EQ(c64.ram(0x02), 2);
    c64.press_restore();
    c64.run_for(200);
    EXPECT_EQ(c64.ram(0x02), 2) << "NMI already low: RESTORE makes no edge";
    c64.cia2().read(kCiaInterruptControl);

    c64.cpu_write(0x01, 0x35);  // KERNAL out: the CPU takes the vector from RAM
    put_word(c64, 0xFFFA, kHandlerAt + 2);  // straight to the RTI
    put_word(c64, 0x0318, kHandlerAt);
    c64.run_for(100);
    c64.press_restore();
    c64.run_for(200);
    EXPECT_EQ(c64.ram(0x02), 2) << "not through $0318";
    EXPECT_FALSE(c64.cpu().jammed());
}

// A .prg with "10 SYS2061" and the code right after the BASIC line, as
// our receiver is built.
TEST(SystemRom, BootReceiverRunsTheSysTargetInTheAfterRunState) {
    const std::vector<uint8_t> prg = {0x01, 0x08, 0x0B, 0x08, 10, 0, 0x9E, '2', '0', '6', '1', 0, 0, 0,
                                      0x08, 0x68, 0x8D, 0x00, 0x30,  // PHP; PLA; STA $3000
                                      0xA5, 0x01, 0x8D, 0x01, 0x30,  // LDA $01; STA $3001
                                      0x4C, 0x17, 0x08};             // JMP *
    C64Machine c64;
    ASSERT_EQ(boot_receiver(c64, prg, 1000), 2061);
    EXPECT_EQ(c64.ram(0x3000) & (kFlagI | kFlagD), 0);
    EXPECT_EQ(c64.ram(0x3001), 0x37);
    EXPECT_FALSE(c64.cpu().jammed());
    C64Machine idle;
    idle.run_for(100);
    EXPECT_TRUE(idle.cpu().jammed()) << "a machine nobody started stops at the reset entry";
    EXPECT_EQ(idle.cpu().regs.pc, kRomReset);
}

}  // namespace
