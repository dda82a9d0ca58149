// tune-survey: plays real tunes through the real link into a receiver in the
// emulated C64 and reports what each tune does to the machine around it -
// where it writes outside its image, how deep it pushes, how long its init
// runs, the rate it is called at - and whether the receiver survives it: a
// stop, a sub-song change and the upload of another tune afterwards.
//
//   tune-survey [--ntsc] [--song N] [--receiver PRG] FILE|DIR...
//
// --song plays song N first (where a tune has it) instead of its start song.
//
// One line per tune, then a summary. A write counts as the tune's when its
// instruction lies in the image, or when it happens inside a call of init or
// play (from the entry until the stack is back above the return address) by
// code elsewhere - the tune's code copied out of its image, or a handler of
// the receiver's that an interrupt the tune enabled ran; those are listed
// apart as "ext". Writes of the system ROM stand-in are listed as "rom".
// Pushes are counted as stack depth, not as writes.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/c64_link.h"
#include "rig/c64/parallel_cable.h"
#include "rig/c64/receiver_boot.h"
#include "rig/c64/system_rom.h"
#include "tools/survey_regions.h"
#include "tune/sid_tune.h"

namespace {

using Link = C64Link<C64Port, C64Clock>;

constexpr uint16_t kPortBase = 0x378;
constexpr double kPlaySeconds = 3.0, kAfterStopSeconds = 0.5, kSongSeconds = 1.0;
constexpr double kDeadlineSeconds = 60.0;  // ends an unbounded wait on a dead receiver
constexpr double kRateTolerance = 0.01;
constexpr uint32_t kSpeedOffset = 0x12;  // PSID header: the 32-bit big-endian speed word
constexpr uint32_t kHeaderSize = 0x76;

// The other tune, uploaded last: init clears a counter, play counts.
constexpr uint16_t kOtherAt = 0x1000, kOtherPlay = 0x1005;
const uint8_t kOtherCode[] = {0xA9, 0x00,              // init: LDA #0
                              0x85, 0xFB, 0x60,        //       STA $FB; RTS
                              0xE6, 0xFB, 0x60};       // play: INC $FB; RTS

enum Phase { kInit = 0, kPlayPhase = 1 };

// What the hooks see of one tune.
struct Watch {
    uint32_t image_begin = 0, image_end = 0;
    uint16_t init = 0, play = 0;
    bool active = true;
    bool expect_init = false;
    bool in_call = false;
    uint8_t entry_s = 0;
    Phase phase = kInit;
    uint64_t call_began = 0;
    uint64_t init_cycles = 0;
    bool init_returned = false;
    uint32_t deepest[2] = {0, 0};
    WriteMap own[2], ext[2], rom;
    std::vector<uint64_t> play_calls;
    int timer_low = -1, timer_high = -1;
    uint32_t rom_irq_visits = 0, rom_nmi_visits = 0;
};

bool kernal_visible(C64Machine& c64) { return c64.cpu_read(0x01) & 0x02; }

void on_step(C64Machine& c64, Watch& w, const CpuRegisters& r) {
    if (!w.active) return;
    if (r.pc >= kKernalStart && kernal_visible(c64)) {
        if (r.pc == kRomIrqHandler) ++w.rom_irq_visits;
        if (r.pc == kRomNmiHandler) ++w.rom_nmi_visits;
    }
    if (w.in_call) {
        if (r.s > w.entry_s) {  // the call returned
            w.in_call = false;
            if (w.phase == kInit && !w.init_returned) {
                w.init_returned = true;
                w.init_cycles = c64.cycle() - w.call_began;
            }
        } else {
            w.deepest[w.phase] = std::max<uint32_t>(w.deepest[w.phase], w.entry_s - r.s);
        }
    }
    if (!w.in_call && (r.pc == w.init || r.pc == w.play)) {
        w.in_call = true;
        w.entry_s = r.s;
        w.call_began = c64.cycle();
        w.phase = w.expect_init && r.pc == w.init ? kInit : kPlayPhase;
        if (w.phase == kInit) {
            w.expect_init = false;
            w.init_returned = false;
        } else {
            w.play_calls.push_back(c64.cycle());
        }
    }
}

void on_write(C64Machine& c64, Watch& w, uint16_t address, uint8_t value, uint16_t pc) {
    if (!w.active) return;
    const bool push = (address >> 8) == 0x01 && (address & 0xFF) == ((c64.cpu().regs.s + 1) & 0xFF);
    if (push) return;
    const bool io = address >= 0xD000 && address < 0xE000 && c64.io_visible();
    const bool rom = pc >= kKernalStart && kernal_visible(c64);
    const bool in_image = pc >= w.image_begin && pc < w.image_end;
    WriteMap* map = rom ? &w.rom : in_image ? &w.own[w.phase] : w.in_call ? &w.ext[w.phase] : nullptr;
    if (!map) return;
    if (io) {
        map->io.set(address);
        if (address == 0xDC04) w.timer_low = value;
        if (address == 0xDC05) w.timer_high = value;
    } else if (rom || address < w.image_begin || address >= w.image_end) {
        map->ram.set(address);
    }
}

struct Outcome {
    std::string failure;  // empty: survived everything
    uint32_t regions[2] = {0, 0}, ext_regions = 0, rom_regions = 0;
    double init_ms = -1;  // -1: init never returned
    double rate = 0, expected_rate = 0;
    bool timer_driven = false, programs_timer = false;
    uint32_t deepest = 0;
};

uint32_t speed_word(const std::string& path) {
    const std::vector<uint8_t> file = read_file_bytes(path);
    if (file.size() < kHeaderSize) return 0;
    uint32_t v = 0;
    for (uint32_t i = 0; i < 4; ++i) v = v << 8 | file[kSpeedOffset + i];
    return v;
}

bool song_is_timer_driven(uint32_t speed, uint8_t song) {
    return speed >> (std::min<uint8_t>(song, 32) - 1) & 1;
}

// Calls per second between the third and the last call at or after `from`.
double rate_since(const std::vector<uint64_t>& calls, uint64_t from, uint32_t clock_hz) {
    std::vector<uint64_t> window;
    for (uint64_t c : calls) {
        if (c >= from) window.push_back(c);
    }
    if (window.size() < 4) return 0.0;
    return static_cast<double>(window.size() - 3) * clock_hz / static_cast<double>(window.back() - window[2]);
}

size_t calls_since(const std::vector<uint64_t>& calls, uint64_t from) {
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](uint64_t c) { return c >= from; }));
}

std::string hex4(uint32_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "$%04X", v);
    return text;
}

struct Survey {
    const std::vector<uint8_t>& receiver;
    C64Model model;
    uint8_t song;  // 0: the start song
};

Outcome survey_tune(const Survey& s, const SidTune& tune, uint32_t speed, std::string& detail) {
    Outcome out;
    C64Machine c64(s.model);
    boot_receiver(c64, s.receiver);
    ParallelCable cable(c64, kPortBase);
    C64Port port{cable};
    C64Clock clock{cable};
    cable.set_deadline(c64.cycle() + static_cast<uint64_t>(kDeadlineSeconds * c64.clock_hz()));
    Watch w;
    w.image_begin = tune.load_address;
    w.image_end = tune.load_address + uint32_t{tune.length};
    w.init = tune.init_address;
    w.play = tune.play_address;
    c64.set_step_hook([&](const CpuRegisters& r) { on_step(c64, w, r); });
    c64.set_write_hook([&](uint16_t a, uint8_t v, uint16_t pc) { on_write(c64, w, a, v, pc); });
    Link fixed(port, clock, kPortBase, kFixedBuildLink), full(port, clock, kPortBase, kFullBuildLink);
    const auto run = [&](double seconds) { cable.idle(static_cast<uint64_t>(seconds * c64.clock_hz())); };
    const uint8_t first_song = s.song >= 1 && s.song <= tune.songs ? s.song : tune.start_song;
    std::atomic<int32_t> progress{0};
    const char* step = "upload";
    // Each step names itself first; the first that fails is the verdict.
    const auto steps = [&]() -> bool {
        w.expect_init = true;
        if (!fixed.upload(tune, first_song, progress)) return false;
        if (w.init_returned) out.init_ms = static_cast<double>(w.init_cycles) * 1000.0 / c64.clock_hz();
        step = "play";
        const uint64_t from = c64.cycle();
        run(kPlaySeconds);
        out.rate = rate_since(w.play_calls, from, c64.clock_hz());
        if (out.rate == 0.0 || c64.cpu().jammed()) return false;
        step = "stop";
        if (!fixed.stop()) return false;
        const uint64_t stopped = c64.cycle();
        run(kAfterStopSeconds);
        step = "plays-after-stop";
        if (calls_since(w.play_calls, stopped) > 0) return false;
        step = "song-change";
        w.expect_init = true;
        const uint8_t other_index = tune.songs < 2 ? 0 : first_song == 2 ? 0 : 1;  // song 2, or 1 after 2
        if (!fixed.select_song(tune, other_index)) return false;
        const uint64_t changed = c64.cycle();
        run(kSongSeconds);
        if (calls_since(w.play_calls, changed) < 2 || c64.cpu().jammed()) return false;
        step = "second-stop";
        if (!fixed.stop()) return false;
        w.active = false;
        step = "next-upload";
        auto other = std::make_unique<SidTune>();
        sid_tune_clear(*other);
        std::memcpy(other->image, kOtherCode, sizeof kOtherCode);
        other->load_address = other->init_address = kOtherAt;
        other->play_address = kOtherPlay;
        other->length = sizeof kOtherCode;
        other->songs = other->start_song = 1;
        c64.watch(kOtherPlay);
        if (!full.upload(*other, 1, progress)) return false;
        const uint64_t next_from = c64.cycle();
        run(kSongSeconds);
        step = "next-tune-silent";
        const auto& v = c64.visits();
        return std::count_if(v.begin(), v.end(), [&](const WatchVisit& x) {
                   return x.address == kOtherPlay && x.cycle >= next_from;
               }) >= 2;
    };
    try {
        if (!steps()) out.failure = step;
    } catch (const CableTimeout&) {
        out.failure = std::string(step) + "-deadline";
    }
    if (!out.failure.empty() && c64.cpu().jammed()) out.failure += " jam@" + hex4(c64.cpu().regs.pc);
    w.active = false;

    out.timer_driven = song_is_timer_driven(speed, first_song);
    out.programs_timer = w.timer_low >= 0 || w.timer_high >= 0;
    const uint32_t latch = out.programs_timer
                               ? static_cast<uint32_t>((w.timer_high < 0 ? 0 : w.timer_high) << 8 |
                                                       (w.timer_low < 0 ? 0 : w.timer_low))
                               : c64_timing(s.model).system_timer_latch;
    out.expected_rate = out.timer_driven ? static_cast<double>(c64.clock_hz()) / (latch + 1)
                                         : static_cast<double>(c64.clock_hz()) / c64.frame_cycles();
    for (int p = 0; p < 2; ++p) {
        out.regions[p] = regions_written(w.own[p], w.image_begin, w.image_end);
        out.ext_regions |= regions_written(w.ext[p], w.image_begin, w.image_end);
    }
    out.rom_regions = regions_written(w.rom, w.image_begin, w.image_end);
    out.deepest = std::max(w.deepest[0], w.deepest[1]);

    WriteMap own_all, ext_all;
    own_all.ram = w.own[0].ram | w.own[1].ram;
    own_all.io = w.own[0].io | w.own[1].io;
    ext_all.ram = w.ext[0].ram | w.ext[1].ram;
    char text[160];
    std::snprintf(text, sizeof text, " push=%u/%u rom-irq=%u rom-nmi=%u", w.deepest[0], w.deepest[1],
                  w.rom_irq_visits, w.rom_nmi_visits);
    detail = text;
    detail += " low=[" + address_ranges(own_all.ram, 0, 0x0800) + "]";
    const std::string below = address_ranges(own_all.ram, 0x0800, w.image_begin);
    const std::string above = address_ranges(own_all.ram, w.image_end, 0x10000);
    if (!below.empty()) detail += " below=[" + below + "]";
    if (!above.empty()) detail += " above=[" + above + "]";
    std::string chips;
    for (Region r : {Region::Vic, Region::Cia1, Region::Cia2, Region::OtherIo}) {
        if ((out.regions[0] | out.regions[1]) >> static_cast<unsigned>(r) & 1) {
            chips += chips.empty() ? "" : ",";
            chips += region_name(r);
        }
    }
    if (!chips.empty()) detail += " io=" + chips;
    if (out.programs_timer) detail += " ta=" + hex4(latch);
    const std::string ext = address_ranges(ext_all.ram, 0, 0x10000);
    if (!ext.empty()) detail += " ext=[" + ext + "]";
    const std::string rom = address_ranges(w.rom.ram, 0, 0x10000);
    if (!rom.empty()) detail += " rom=[" + rom + "]";
    return out;
}

// Summary counters.
struct Totals {
    uint32_t files = 0, refused = 0, surveyed = 0, survived = 0;
    std::map<std::string, uint32_t> failures;
    uint32_t region_tunes[2][static_cast<size_t>(Region::Count)] = {};
    uint32_t ext_tunes[static_cast<size_t>(Region::Count)] = {};
    uint32_t rom_tunes[static_cast<size_t>(Region::Count)] = {};
    uint32_t init_over[3] = {}, init_unfinished = 0;
    double longest_init_ms = 0;
    uint32_t push_over[4] = {};
    uint32_t frame_rate = 0, other_rate = 0, timer_driven = 0, programs_timer = 0;
    uint32_t timer_default_expected = 0, vbi_but_timer = 0, rate_off = 0;
    std::map<int, uint32_t> rates;  // rounded Hz
};

constexpr double kInitLimits[3] = {2000, 5000, 10000};
constexpr uint32_t kPushLimits[4] = {16, 32, 64, 128};

void add(Totals& t, const Outcome& o, double frame_hz) {
    ++t.surveyed;
    if (o.failure.empty()) {
        ++t.survived;
    } else {
        ++t.failures[o.failure.substr(0, o.failure.find(' '))];
    }
    for (size_t r = 0; r < static_cast<size_t>(Region::Count); ++r) {
        for (int p = 0; p < 2; ++p) t.region_tunes[p][r] += o.regions[p] >> r & 1;
        t.ext_tunes[r] += o.ext_regions >> r & 1;
        t.rom_tunes[r] += o.rom_regions >> r & 1;
    }
    for (int i = 0; i < 3; ++i) t.init_over[i] += o.init_ms < 0 || o.init_ms > kInitLimits[i];
    t.init_unfinished += o.init_ms < 0;
    t.longest_init_ms = std::max(t.longest_init_ms, o.init_ms);
    for (int i = 0; i < 4; ++i) t.push_over[i] += o.deepest > kPushLimits[i];
    t.timer_driven += o.timer_driven;
    t.programs_timer += o.programs_timer;
    t.timer_default_expected += o.timer_driven && !o.programs_timer;
    t.vbi_but_timer += !o.timer_driven && o.programs_timer;
    if (o.rate > 0) {
        const bool frame = std::abs(o.rate - frame_hz) < frame_hz * kRateTolerance;
        t.frame_rate += frame;
        t.other_rate += !frame;
        t.rate_off += std::abs(o.rate - o.expected_rate) > o.expected_rate * kRateTolerance;
        ++t.rates[static_cast<int>(o.rate + 0.5)];
    }
}

void print_summary(const Totals& t) {
    std::printf("\n== summary\n");
    std::printf("files %u, refused by the loader %u, surveyed %u, survived every step %u, failed %u\n", t.files,
                t.refused, t.surveyed, t.survived, t.surveyed - t.survived);
    for (const auto& f : t.failures) std::printf("  failed at %-28s %u\n", f.first.c_str(), f.second);
    std::printf("\n%-14s %6s %6s %6s %6s\n", "region", "init", "play", "ext", "rom");
    for (size_t r = 0; r < static_cast<size_t>(Region::Count); ++r) {
        std::printf("%-14s %6u %6u %6u %6u\n", region_name(static_cast<Region>(r)), t.region_tunes[0][r],
                    t.region_tunes[1][r], t.ext_tunes[r], t.rom_tunes[r]);
    }
    std::printf("\npushes deeper than 16/32/64/128 bytes: %u/%u/%u/%u tunes\n", t.push_over[0], t.push_over[1],
                t.push_over[2], t.push_over[3]);
    std::printf("inits over 2/5/10 s: %u/%u/%u (never returned: %u); longest that returned: %.0f ms\n",
                t.init_over[0], t.init_over[1], t.init_over[2], t.init_unfinished, t.longest_init_ms);
    std::printf("start songs marked timer-driven: %u; tunes writing CIA 1 timer A: %u\n", t.timer_driven,
                t.programs_timer);
    std::printf("timer-driven without setting the timer (expect the 60 Hz default): %u; "
                "frame-driven but setting the timer: %u\n", t.timer_default_expected, t.vbi_but_timer);
    std::printf("called once per frame: %u; at another rate: %u; off the rate a PSID player gives by > 1 %%: %u\n",
                t.frame_rate, t.other_rate, t.rate_off);
    std::printf("rates (Hz: tunes):");
    for (const auto& r : t.rates) std::printf(" %d:%u", r.first, r.second);
    std::printf("\n");
}

std::vector<std::string> tune_files(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (std::filesystem::is_directory(a)) {
            std::vector<std::string> in_dir;
            for (const auto& e : std::filesystem::directory_iterator(a)) {
                if (e.path().extension() == ".sid") in_dir.push_back(e.path().string());
            }
            std::sort(in_dir.begin(), in_dir.end());
            files.insert(files.end(), in_dir.begin(), in_dir.end());
        } else {
            files.push_back(a);
        }
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    std::string receiver_path = ZORBIN_RECEIVER_PRG;
    C64Model model = C64Model::Pal;
    int song = 0;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--ntsc")) {
            model = C64Model::Ntsc;
        } else if (!std::strcmp(argv[i], "--song") && i + 1 < argc) {
            song = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--receiver") && i + 1 < argc) {
            receiver_path = argv[++i];
        } else {
            args.push_back(argv[i]);
        }
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: tune-survey [--ntsc] [--song N] [--receiver PRG] FILE|DIR...\n");
        return 2;
    }
    const std::vector<uint8_t> receiver = read_file_bytes(receiver_path);
    const Survey survey{receiver, model, static_cast<uint8_t>(song < 0 || song > 255 ? 0 : song)};
    const double frame_hz = static_cast<double>(c64_timing(model).clock_hz) / c64_timing(model).frame_cycles();
    Totals totals;
    auto tune = std::make_unique<SidTune>();
    for (const std::string& path : tune_files(args)) {
        ++totals.files;
        sid_tune_clear(*tune);
        const SidLoadReport report = sid_tune_load(path.c_str(), *tune);
        const std::string name = std::filesystem::path(path).filename().string();
        if (report.verdict != SidVerdict::Accepted) {
            ++totals.refused;
            std::printf("REFUSED %s %s\n", name.c_str(), sid_verdict_name(report.verdict));
            continue;
        }
        const uint32_t speed = speed_word(path);
        std::string detail;
        const Outcome o = survey_tune(survey, *tune, speed, detail);
        add(totals, o, frame_hz);
        std::printf("%s %s %s-%s songs=%u speed=%s init=%s rate=%.2f/%.2f%s\n",
                    o.failure.empty() ? "OK" : ("FAIL:" + o.failure).c_str(), name.c_str(),
                    hex4(tune->load_address).c_str(), hex4(tune->load_address + tune->length - 1u).c_str(),
                    tune->songs, o.timer_driven ? "cia" : "vbi",
                    o.init_ms < 0 ? "-" : std::to_string(static_cast<int>(o.init_ms + 0.5)).append("ms").c_str(),
                    o.rate, o.expected_rate, detail.c_str());
        std::fflush(stdout);
    }
    print_summary(totals);
    return 0;
}
