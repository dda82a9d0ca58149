#include "rig/c64/system_rom.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "rig/c64/cpu6502.h"
#include "rig/c64/rom_assembler.h"

namespace {

constexpr size_t kRomSize = 0x10000 - kKernalStart;
constexpr uint16_t kStackedStatus = 0x0104;  // after PHA, PHA, PHA: the P that the interrupt pushed

// Chips.
constexpr uint16_t kCia1PortA = 0xDC00, kCia1PortB = 0xDC01, kCia1Icr = 0xDC0D, kCia2Icr = 0xDD0D;
constexpr uint8_t kCpuPort = 0x01;
constexpr uint8_t kCassetteSense = 0x10, kCassetteMotor = 0x20;  // $01 bits 4 and 5

// The KERNAL's variables, by their names in the public memory maps.
constexpr uint8_t kTime = 0xA0;     // TIME, $A0 high .. $A2 low: the jiffy clock
constexpr uint8_t kStkey = 0x91;    // STKEY: the STOP key's row
constexpr uint8_t kCas1 = 0xC0;     // CAS1: cassette motor interlock
constexpr uint8_t kLstx = 0xC5;     // LSTX: the key of the last scan
constexpr uint8_t kNdx = 0xC6;      // NDX: keys in the buffer
constexpr uint8_t kSfdx = 0xCB;     // SFDX: the key of this scan, $40 = none
constexpr uint8_t kBlnsw = 0xCC;    // BLNSW: 0 = the cursor blinks
constexpr uint8_t kBlnct = 0xCD;    // BLNCT: jiffies to the next blink
constexpr uint8_t kGdbln = 0xCE;    // GDBLN: the character under the cursor
constexpr uint8_t kBlnon = 0xCF;    // BLNON: the cursor shows reversed
constexpr uint8_t kPnt = 0xD1;      // PNT: the cursor line in screen memory
constexpr uint8_t kPntr = 0xD3;     // PNTR: the cursor column
constexpr uint8_t kUser = 0xF3;     // USER: the cursor line in colour RAM
constexpr uint8_t kKeytab = 0xF5;   // KEYTAB: the decode table of this scan
constexpr uint16_t kKeyd = 0x0277;  // KEYD: the keyboard buffer
constexpr uint16_t kColor = 0x0286, kGdcol = 0x0287;  // text colour; colour under the cursor
constexpr uint16_t kXmax = 0x0289;                    // XMAX: buffer size
constexpr uint16_t kRptflg = 0x028A, kKount = 0x028B, kDelay = 0x028C;  // key repeat
constexpr uint16_t kShflag = 0x028D, kLstshf = 0x028E;                  // shift keys now, last scan
constexpr uint16_t kKeylog = 0x028F;                                    // the decode vector
constexpr uint16_t kEnabl = 0x02A1;                                     // ENABL: RS-232 NMI sources

constexpr uint8_t kNoKey = 0x40;
constexpr uint8_t kBlinkJiffies = 20;
constexpr uint8_t kRepeatDelay = 0x10, kRepeatEvery = 4;
constexpr uint8_t kAllColumns = 0x00, kRestColumns = 0x7F, kShiftColumns = 0xBD;
constexpr uint8_t kRs232Sources = 0x13;  // CIA 2 timer A (send), timer B (receive), FLAG (start bit)
constexpr uint8_t kClockWraps[3] = {0x4F, 0x1A, 0x01};  // 24 hours of jiffies, $A0 first

// Where the stand-in keeps what has no entry of its own: the tail of BASIC
// that the real KERNAL ROM carries, which no tune calls.
constexpr uint16_t kKeyTable = 0xE200;
constexpr uint16_t kBlinkAndCassette = 0xE248;
constexpr uint16_t kKeyScan = 0xE2B0;
constexpr uint16_t kNmiBody = 0xE2F0;
constexpr uint16_t kMidnight = 0xE330;

// The unshifted key of each matrix position, then $FF for "no key"; shift,
// Commodore and CTRL read as 1, 2 and 4, RUN/STOP as 3.
constexpr uint8_t kUnshiftedKeys[65] = {
    0x14, 0x0D, 0x1D, 0x88, 0x85, 0x86, 0x87, 0x11,  // DEL RETURN CRSR-RIGHT F7 F1 F3 F5 CRSR-DOWN
    0x33, 0x57, 0x41, 0x34, 0x5A, 0x53, 0x45, 0x01,  // 3 W A 4 Z S E LEFT-SHIFT
    0x35, 0x52, 0x44, 0x36, 0x43, 0x46, 0x54, 0x58,  // 5 R D 6 C F T X
    0x37, 0x59, 0x47, 0x38, 0x42, 0x48, 0x55, 0x56,  // 7 Y G 8 B H U V
    0x39, 0x49, 0x4A, 0x30, 0x4D, 0x4B, 0x4F, 0x4E,  // 9 I J 0 M K O N
    0x2B, 0x50, 0x4C, 0x2D, 0x2E, 0x3A, 0x40, 0x2C,  // + P L - . : @ ,
    0x5C, 0x2A, 0x3B, 0x13, 0x01, 0x3D, 0x5E, 0x2F,  // POUND * ; HOME RIGHT-SHIFT = UP-ARROW /
    0x31, 0x5F, 0x04, 0x32, 0x20, 0x02, 0x51, 0x03,  // 1 LEFT-ARROW CTRL 2 SPACE C= Q RUN/STOP
    0xFF};
constexpr uint8_t kStopKeyValue = 0x03, kFirstOrdinaryKey = 0x05;
// Keys that repeat while held when RPTFLG asks for neither all nor none.
constexpr uint8_t kRepeatingKeys[] = {0x20, 0x14, 0x1D, 0x11};

constexpr uint8_t lo(uint16_t v) { return static_cast<uint8_t>(v); }
constexpr uint8_t hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }

void pull_registers_and_return(RomAssembler& a) {
    a.op(PLA); a.op(TAY); a.op(PLA); a.op(TAX); a.op(PLA); a.op(RTI);
}

void fits_before(const RomAssembler& a, uint16_t next_entry) {
    if (a.here() > next_entry) {
        throw std::logic_error("stand-in routine runs into $" + std::to_string(next_entry) + " up to $" +
                               std::to_string(a.here()));
    }
}

// IRQ: $EA31 as the documented sequence: UDTIM, the cursor blink and the
// cassette interlock, SCNKEY, then the acknowledge at $EA7E.
void irq_handler(RomAssembler& a) {
    a.org(kRomIrqHandler);
    a.op16(JSR, kRomUpdateClock);
    a.op16(JSR, kBlinkAndCassette);
    a.op16(JSR, kRomScanKeyboard);
    a.op16(JMP_ABS, kRomIrqAcknowledge);
    fits_before(a, kRomIrqAcknowledge);
    a.org(kRomIrqAcknowledge);
    a.op16(LDA_ABS, kCia1Icr);  // $EA7E: reading the ICR acknowledges CIA 1
    pull_registers_and_return(a);  // $EA81
}

// UDTIM ($F69B): the jiffy clock counts up, and back to 0 at 24 hours.
// Then the STOP-key scan ($F6BC): the row of the column SCNKEY left
// driven, once the port holds still, into STKEY; a key in row 7 gets a
// second look with the shift columns driven ($DC00 = $BD) and counts only
// when that look finds nothing (a shift key is no STOP).
void clock_and_stop_key(RomAssembler& a) {
    a.org(kRomUpdateClock);
    a.op(INC_ZP, kTime + 2);
    auto carried = a.branch(BNE);
    a.op(INC_ZP, kTime + 1);
    auto carried2 = a.branch(BNE);
    a.op(INC_ZP, kTime);
    a.land(carried);
    a.land(carried2);
    a.op16(JSR, kMidnight);
    a.op16(JMP_ABS, kRomStopScan);
    fits_before(a, kRomStopScan);

    a.org(kRomStopScan);
    const uint16_t settle = a.here();
    a.op16(LDA_ABS, kCia1PortB);
    a.op16(CMP_ABS, kCia1PortB);
    a.branch_to(BNE, settle);
    a.op(TAX);  // the compare left N clear: test the row itself
    auto row7 = a.branch(BPL);
    a.op(STA_ZP, kStkey);
    a.op(RTS);
    a.land(row7);
    a.op(PHA);
    a.op(LDX_IMM, kShiftColumns);
    a.op16(STX_ABS, kCia1PortA);
    const uint16_t settle2 = a.here();
    a.op16(LDX_ABS, kCia1PortB);
    a.op16(CPX_ABS, kCia1PortB);
    a.branch_to(BNE, settle2);
    a.op(LDA_IMM, kRestColumns);
    a.op16(STA_ABS, kCia1PortA);
    a.op(PLA);
    a.op(CPX_IMM, 0xFF);
    auto shifted = a.branch(BNE);
    a.op(STA_ZP, kStkey);
    a.land(shifted);
    a.op(RTS);

    a.org(kMidnight);
    auto not_yet = std::vector<RomAssembler::Forward>{};
    for (uint8_t i = 0; i < 3; ++i) {
        a.op(LDA_ZP, static_cast<uint8_t>(kTime + i));
        a.op(CMP_IMM, kClockWraps[i]);
        not_yet.push_back(a.branch(BNE));
    }
    a.op(LDA_IMM, 0);
    for (uint8_t i = 0; i < 3; ++i) a.op(STA_ZP, static_cast<uint8_t>(kTime + i));
    for (auto f : not_yet) a.land(f);
    a.op(RTS);
}

// The cursor blink runs only while BLNSW is 0 (a running program has it
// set): every 20th jiffy the character under the cursor is shown reversed
// in the text colour, then plain in its own colour again (GDBLN and GDCOL
// keep what was there; USER follows PNT into colour RAM). Then the cassette
// interlock: with no key down (sense reads 1) CAS1 is cleared and the
// motor switched off ($01 bit 5 set); with a key down and CAS1 0, on.
void blink_and_cassette(RomAssembler& a) {
    a.org(kBlinkAndCassette);
    a.op(LDA_ZP, kBlnsw);
    auto no_blink = a.branch(BNE);
    a.op(DEC_ZP, kBlnct);
    auto not_due = a.branch(BNE);
    a.op(LDA_IMM, kBlinkJiffies);
    a.op(STA_ZP, kBlnct);
    a.op(LDA_ZP, kPnt);
    a.op(STA_ZP, kUser);
    a.op(LDA_ZP, kPnt + 1);
    a.op(AND_IMM, 0x03);
    a.op(ORA_IMM, 0xD8);
    a.op(STA_ZP, kUser + 1);
    a.op(LDY_ZP, kPntr);
    a.op(LDA_ZP, kBlnon);
    auto turn_on = a.branch(BEQ);
    a.op(LDA_IMM, 0);
    a.op(STA_ZP, kBlnon);
    a.op16(LDX_ABS, kGdcol);
    a.op(CLC);
    auto show = a.branch(BCC);
    a.land(turn_on);
    a.op(INC_ZP, kBlnon);
    a.op(LDA_IND_Y, kPnt);
    a.op(STA_ZP, kGdbln);
    a.op(LDA_IND_Y, kUser);
    a.op16(STA_ABS, kGdcol);
    a.op16(LDX_ABS, kColor);
    a.land(show);
    a.op(LDA_IND_Y, kPnt);
    a.op(EOR_IMM, 0x80);
    a.op(STA_IND_Y, kPnt);
    a.op(TXA);
    a.op(STA_IND_Y, kUser);
    a.land(no_blink);
    a.land(not_due);

    a.op(LDA_ZP, kCpuPort);
    a.op(AND_IMM, kCassetteSense);
    auto key_down = a.branch(BEQ);
    a.op(LDA_IMM, 0);
    a.op(STA_ZP, kCas1);
    a.op(LDA_ZP, kCpuPort);
    a.op(ORA_IMM, kCassetteMotor);
    a.op(STA_ZP, kCpuPort);
    a.op(RTS);
    a.land(key_down);
    a.op(LDA_ZP, kCas1);
    auto motor_held = a.branch(BNE);
    a.op(LDA_ZP, kCpuPort);
    a.op(AND_IMM, static_cast<uint8_t>(~kCassetteMotor));
    a.op(STA_ZP, kCpuPort);
    a.land(motor_held);
    a.op(RTS);
    fits_before(a, kKeyScan);
}

// SCNKEY ($EA87): SHFLAG = 0, SFDX = $40, all columns driven ($DC00 = 0)
// and the rows read; with no key down it goes straight to the end: LSTX =
// SFDX ($40), LSTSHF = SHFLAG (0), $DC00 = $7F. With a key down every column
// is scanned (shift keys into SHFLAG, any other key into SFDX) and the key
// decode runs through ($028F); its default ($EB48) points KEYTAB at the
// table and goes on at $EAE0, which puts a new key into the buffer KEYD
// (NDX counts, up to XMAX) and a held one again after the repeat delay
// (DELAY, then every KOUNT jiffies, into an empty buffer; RPTFLG: bit 7
// all keys repeat, bit 6 none, else only space, DEL and the cursor keys).
void keyboard(RomAssembler& a) {
    a.org(kRomScanKeyboard);
    a.op(LDA_IMM, kAllColumns);
    a.op16(STA_ABS, kShflag);
    a.op(LDY_IMM, kNoKey);
    a.op(STY_ZP, kSfdx);
    a.op16(STA_ABS, kCia1PortA);
    a.op16(LDX_ABS, kCia1PortB);
    a.op(CPX_IMM, 0xFF);
    auto keys_down = a.branch(BNE);
    const uint16_t finish = a.here();
    a.op(LDY_ZP, kSfdx);
    a.op(STY_ZP, kLstx);
    a.op16(LDA_ABS, kShflag);
    a.op16(STA_ABS, kLstshf);
    a.op(LDA_IMM, kRestColumns);
    a.op16(STA_ABS, kCia1PortA);
    a.op(RTS);
    a.land(keys_down);
    a.op16(JMP_ABS, kKeyScan);
    fits_before(a, kRomKeyStore);

    // The scan: a column at a time ($DC00 = $FE, $FD, ... $7F), the row bits
    // kept on the stack, the matrix position in Y.
    a.org(kKeyScan);
    a.op(LDY_IMM, 0);
    a.op(LDX_IMM, 0xFE);
    const uint16_t column = a.here();
    a.op16(STX_ABS, kCia1PortA);
    a.op16(LDA_ABS, kCia1PortB);
    a.op(PHA);
    const uint16_t row = a.here();
    a.op(PLA);
    a.op(LSR_A);
    a.op(PHA);
    auto up = a.branch(BCS);
    a.op16(LDA_ABS_Y, kKeyTable);
    a.op(CMP_IMM, kStopKeyValue);
    auto ordinary = a.branch(BEQ);
    a.op(CMP_IMM, kFirstOrdinaryKey);
    auto ordinary2 = a.branch(BCS);
    a.op16(ORA_ABS, kShflag);
    a.op16(STA_ABS, kShflag);
    auto up2 = a.branch(BCC);
    a.land(ordinary);
    a.land(ordinary2);
    a.op(STY_ZP, kSfdx);
    a.land(up);
    a.land(up2);
    a.op(INY);
    a.op(TYA);
    a.op(AND_IMM, 0x07);
    a.branch_to(BNE, row);
    a.op(PLA);
    a.op(TXA);
    a.op(SEC);
    a.op(ROL_A);
    a.op(TAX);
    a.branch_to(BCS, column);
    a.op16(JMP_IND, kKeylog);
    fits_before(a, kNmiBody);

    a.org(kRomKeyDecode);
    a.op(LDA_IMM, lo(kKeyTable));
    a.op(STA_ZP, kKeytab);
    a.op(LDA_IMM, hi(kKeyTable));
    a.op(STA_ZP, kKeytab + 1);
    a.op16(JMP_ABS, kRomKeyStore);

    a.org(kRomKeyStore);
    a.op(LDY_ZP, kSfdx);
    a.op(LDA_IND_Y, kKeytab);
    a.op(TAX);
    a.op(CPY_ZP, kLstx);
    auto held = a.branch(BEQ);
    a.op(LDA_IMM, kRepeatDelay);
    a.op16(STA_ABS, kDelay);
    auto put = a.branch(BNE);
    a.land(held);
    a.op16(BIT_ABS, kRptflg);
    auto repeats = a.branch(BMI);
    a.branch_to(BVS, finish);
    std::vector<RomAssembler::Forward> repeating;
    for (uint8_t key : kRepeatingKeys) {
        a.op(CPX_IMM, key);
        repeating.push_back(a.branch(BEQ));
    }
    const uint16_t to_finish = a.here();
    a.op16(JMP_ABS, finish);
    a.land(repeats);
    for (auto f : repeating) a.land(f);
    a.op16(LDA_ABS, kDelay);
    auto counting = a.branch(BEQ);
    a.op16(DEC_ABS, kDelay);
    a.branch_to(BNE, to_finish);
    a.land(counting);
    a.op16(DEC_ABS, kKount);
    a.branch_to(BNE, to_finish);
    a.op(LDA_IMM, kRepeatEvery);
    a.op16(STA_ABS, kKount);
    a.op(LDA_ZP, kNdx);
    a.branch_to(BNE, to_finish);
    a.land(put);
    a.op(CPX_IMM, 0xFF);
    a.branch_to(BEQ, to_finish);
    a.op(LDY_ZP, kNdx);
    a.op16(CPY_ABS, kXmax);
    a.branch_to(BCS, to_finish);
    a.op(TXA);
    a.op16(STA_ABS_Y, kKeyd);
    a.op(INY);
    a.op(STY_ZP, kNdx);
    a.op16(JMP_ABS, finish);
    fits_before(a, kRomKeyDecode);
}

// NMI ($FE47): every CIA 2 source off ($DD0D = $7F), the ICR read (which
// acknowledges it); without a CIA 2 source it was RESTORE: the STOP key's
// row into STKEY. Sources that meet ENABL in bits 0, 1 or 4 take the
// RS-232 branch; on the way out ENABL goes back to $DD0D.
void nmi_handler(RomAssembler& a) {
    a.org(kRomNmiHandler);
    a.op(PHA); a.op(TXA); a.op(PHA); a.op(TYA); a.op(PHA);
    a.op16(JMP_ABS, kNmiBody);
    fits_before(a, kRomBrkHandler);

    a.org(kNmiBody);
    a.op(LDA_IMM, 0x7F);
    a.op16(STA_ABS, kCia2Icr);
    a.op16(LDY_ABS, kCia2Icr);
    auto from_cia = a.branch(BMI);
    a.op(TYA);
    a.op(PHA);
    a.op16(JSR, kRomStopScan);
    a.op(PLA);
    a.op(TAY);
    a.land(from_cia);
    a.op(TYA);
    a.op16(AND_ABS, kEnabl);
    a.op(AND_IMM, kRs232Sources);
    auto no_rs232 = a.branch(BEQ);
    a.op16(JSR, kRomNmiRs232);
    a.land(no_rs232);
    a.op16(LDA_ABS, kEnabl);
    a.op16(STA_ABS, kCia2Icr);
    a.op16(JMP_ABS, kRomNmiReturn);
    fits_before(a, kRomNmiRs232);

    a.org(kRomNmiRs232);
    a.op(RTS);

    a.org(kRomNmiReturn);
    pull_registers_and_return(a);
}

std::vector<uint8_t> build() {
    std::vector<uint8_t> rom(kRomSize, kJamOpcode);
    RomAssembler a(rom, kKernalStart);

    a.org(kRomIrqEntry);  // tells BRK from IRQ by the B bit the interrupt pushed
    a.op(PHA); a.op(TXA); a.op(PHA); a.op(TYA); a.op(PHA);
    a.op(TSX);
    a.op16(LDA_ABS_X, kStackedStatus);
    a.op(AND_IMM, kFlagB);
    auto irq = a.branch(BEQ);
    a.op16(JMP_IND, kBrkRamVector);
    a.land(irq);
    a.op16(JMP_IND, kIrqRamVector);

    a.org(kRomNmiEntry);
    a.op(SEI);
    a.op16(JMP_IND, kNmiRamVector);

    irq_handler(a);
    clock_and_stop_key(a);
    blink_and_cassette(a);
    keyboard(a);
    nmi_handler(a);

    a.org(kKeyTable);
    for (uint8_t key : kUnshiftedKeys) a.byte(key);
    fits_before(a, kBlinkAndCassette);

    a.org(kNmiVector);
    a.word(kRomNmiEntry);
    a.word(kRomReset);
    a.word(kRomIrqEntry);
    return rom;
}

// After RUN: the cursor off (BLNSW set while a program runs) at the top of
// the screen in light blue, no key down, an empty buffer of ten, the
// default key decode and repeat, no RS-232 NMI sources.
constexpr RamValue kRunState[] = {
    {kBlnsw, 1},       {kBlnct, kBlinkJiffies}, {kPnt, 0x00},    {kPnt + 1, 0x04},  {kPntr, 0},
    {kUser, 0x00},     {kUser + 1, 0xD8},       {kColor, 0x0E},  {kGdcol, 0x0E},    {kLstx, kNoKey},
    {kSfdx, kNoKey},   {kStkey, 0xFF},          {kXmax, 10},     {kKount, kRepeatEvery},
    {kDelay, kRepeatDelay}, {kKeylog, lo(kRomKeyDecode)}, {kKeylog + 1, hi(kRomKeyDecode)},
};

}  // namespace

uint8_t system_rom_read(uint16_t address) {
    static const std::vector<uint8_t> rom = build();
    return rom[static_cast<uint16_t>(address - kKernalStart)];
}

const RamValue* system_rom_run_state(uint32_t& count) {
    count = sizeof kRunState / sizeof kRunState[0];
    return kRunState;
}
