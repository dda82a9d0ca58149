// Benchmarks: the loader (what the host runs for every file of a playlist)
// and the link's port traffic per byte.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "link/c64_link.h"
#include "port/inpout_port.h"
#include "rig/c64/parallel_cable.h"
#include "rig/c64/receiver_boot.h"
#include "sim/receiver_sim.h"
#include "tests/support/psid_builder.h"
#include "info/tune_text.h"
#include "tune/sid_tune.h"

#ifdef ZORBIN_HAVE_REFERENCE_LOADER
bool reference_load(const char* path);
#endif

// Counts heap allocations made through operator new, to show that a load
// makes none.
// All out of line: inlined, GCC sees operator delete get malloc's pointer,
// or free get operator new's, and warns of a mismatch that is not there.
static std::atomic<long> g_allocations{0};
[[gnu::noinline]] void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

SidTune g_tune;

struct NoClock {
    uint32_t now_ms() const { return 0; }
};

const std::vector<int> kFileSizes = {2 * 1024, 8 * 1024, 30 * 1024, 65000};

std::string bench_file(int size) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir ? dir : "/tmp") + "/zorbin_bench_" + std::to_string(size) +
                       ".sid";
    PsidSpec spec;
    spec.load_in_data = true;
    spec.load = 0x0FF0;
    spec.data = filler(static_cast<size_t>(size) - 0x7C - 2, static_cast<uint8_t>(size));
    const std::vector<uint8_t> bytes = make_psid(spec);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

void BM_Load(benchmark::State& state) {
    const std::string path = bench_file(static_cast<int>(state.range(0)));
    const long before = g_allocations.load();
    for (auto _ : state) {
        sid_tune_load(path.c_str(), g_tune);
        benchmark::DoNotOptimize(g_tune.songs);
    }
    if (g_tune.songs == 0) state.SkipWithError("benchmark tune was refused");
    state.counters["new_per_load"] =
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Load)->Arg(2 * 1024)->Arg(8 * 1024)->Arg(30 * 1024)->Arg(65000);

#ifdef ZORBIN_HAVE_REFERENCE_LOADER
void BM_ReferenceLoad(benchmark::State& state) {
    const std::string path = bench_file(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(reference_load(path.c_str()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReferenceLoad)->Arg(2 * 1024)->Arg(8 * 1024)->Arg(30 * 1024)->Arg(65000);
#endif

// What the host does for a playlist: get file info (load into the info
// tune, make the title) for a thousand different tunes in a row.
void BM_FileInfoPlaylist(benchmark::State& state) {
    std::vector<std::string> paths;
    const char* dir = std::getenv("TMPDIR");
    for (int i = 0; i < 1000; ++i) {
        PsidSpec spec;
        spec.author = "Author " + std::to_string(i);
        spec.name = "Tune " + std::to_string(i);
        spec.data = filler(static_cast<size_t>(2048 + (i * 97) % 28000), static_cast<uint8_t>(i));
        const std::vector<uint8_t> bytes = make_psid(spec);
        paths.push_back(std::string(dir ? dir : "/tmp") + "/zorbin_playlist_" + std::to_string(i) + ".sid");
        std::FILE* f = std::fopen(paths.back().c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    char title[1024];
    const long before = g_allocations.load();
    for (auto _ : state) {
        for (const std::string& path : paths) {
            sid_tune_load(path.c_str(), g_tune);
            tune_title(g_tune, title, sizeof title);
            benchmark::DoNotOptimize(title[0]);
        }
    }
    state.counters["us_per_file"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 1000.0,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
    state.counters["new_per_file"] = static_cast<double>(g_allocations.load() - before) /
                                     (static_cast<double>(state.iterations()) * 1000.0);
}
BENCHMARK(BM_FileInfoPlaylist)->Unit(benchmark::kMillisecond);

// The Song info dump of a whole 60 KB image, into its fixed buffer.
void BM_SongInfoDump(benchmark::State& state) {
    static char dump[kDumpBufferSize];
    sid_tune_clear(g_tune);
    g_tune.load_address = 0x0400;
    g_tune.length = 0xF000;
    const long before = g_allocations.load();
    for (auto _ : state) benchmark::DoNotOptimize(tune_dump(g_tune, dump, sizeof dump));
    state.counters["new_per_dump"] =
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SongInfoDump);

// Port operations per byte of an upload, over a port type that drives `sim`.
template <class Port>
void upload_counters(benchmark::State& state, LinkVariant variant, Port& port, C64ReceiverSim& sim) {
    const uint16_t length = static_cast<uint16_t>(state.range(0));
    sid_tune_clear(g_tune);
    g_tune.load_address = 0x1000;
    g_tune.init_address = 0x1000;
    g_tune.play_address = 0x1003;
    g_tune.songs = 1;
    g_tune.start_song = 1;
    g_tune.length = length;
    sim.record_writes(false);
    NoClock clock;
    std::atomic<int32_t> progress{0};
    uint64_t writes = 0, reads = 0, bytes = 0;
    for (auto _ : state) {
        sim.reset();
        C64Link<Port, NoClock> link(port, clock, 0x378, variant);
        link.upload(g_tune, 1, progress);
        writes += sim.writes_seen();
        reads += sim.status_reads();
        bytes += sim.bytes().size();
    }
    state.counters["writes_per_byte"] = static_cast<double>(writes) / static_cast<double>(bytes);
    state.counters["reads_per_byte"] = static_cast<double>(reads) / static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
void BM_UploadFullBuild(benchmark::State& state) {
    C64ReceiverSim sim;
    SimPort port{sim};
    upload_counters(state, kFullBuildLink, port, sim);
}
void BM_UploadFixedBuild(benchmark::State& state) {
    C64ReceiverSim sim;
    SimPort port{sim};
    upload_counters(state, kFixedBuildLink, port, sim);
}
BENCHMARK(BM_UploadFullBuild)->Arg(4096);
BENCHMARK(BM_UploadFixedBuild)->Arg(4096);

// The full build over the user's port-I/O library (64-bit Windows): each
// port operation is one library call, counted here at the entry points.
C64ReceiverSim* g_library_sim = nullptr;
uint64_t g_library_calls = 0;
void ZORBIN_INPOUT_CALL counted_out32(short port, short value) {
    ++g_library_calls;
    g_library_sim->io_write(static_cast<uint16_t>(port), static_cast<uint8_t>(value));
}
short ZORBIN_INPOUT_CALL counted_inp32(short port) {
    ++g_library_calls;
    return static_cast<short>(g_library_sim->io_read8(static_cast<uint16_t>(port)));
}
void BM_UploadThroughLibrary(benchmark::State& state) {
    C64ReceiverSim sim;
    g_library_sim = &sim;
    g_library_calls = 0;
    InpOutPort port;
    port.out32 = counted_out32;
    port.inp32 = counted_inp32;
    upload_counters(state, kFullBuildLink, port, sim);
    const double bytes = static_cast<double>(state.iterations()) *
                         static_cast<double>(state.range(0) + kUploadOverheadBytes);
    state.counters["library_calls_per_byte"] = static_cast<double>(g_library_calls) / bytes;
    g_library_sim = nullptr;
}
BENCHMARK(BM_UploadThroughLibrary)->Arg(4096);

// Our receiver in the emulated C64, fed by the real link: emulated time at
// the PAL clock for an upload, the image rate and the C64 cycles per image
// byte, and the cycles the VIC-II took. Arguments: image length, PC time
// per port access in ns, and 1 to keep the screen on while the image
// arrives (the receiver blanks it; this variant patches that out to show
// what bad lines would cost).
class ImageTimer {
public:
    ImageTimer(ParallelCable& cable, std::atomic<int32_t>& progress, int32_t length)
        : cable_(cable), progress_(progress), length_(length) {}
    void look() {
        const int32_t done = progress_.load(std::memory_order_relaxed);
        if (done >= 0 && first_byte_ < 0) first_byte_ = cable_.now_cycles();
        if (done == length_ && last_byte_ < 0) last_byte_ = cable_.now_cycles();
    }
    double cycles_per_byte() const { return (last_byte_ - first_byte_) / (length_ - 1); }

private:
    ParallelCable& cable_;
    std::atomic<int32_t>& progress_;
    const int32_t length_;
    double first_byte_ = -1, last_byte_ = -1;
};

struct TimedC64Port {
    C64Port port;
    ImageTimer& timer;
    void out8(uint16_t p, uint8_t v) { timer.look(); port.out8(p, v); }
    uint8_t in8(uint16_t p) { return port.in8(p); }
    uint16_t in16(uint16_t p) { timer.look(); return port.in16(p); }
};

// The receiver with its screen blanking undone: the loader's
// LDA $D011 / STA / AND #$EF becomes AND #$FF.
std::vector<uint8_t> receiver_with_screen_on(std::vector<uint8_t> prg) {
    const uint8_t blank[] = {0xAD, 0x11, 0xD0, 0x85};
    for (size_t i = 0; i + 7 < prg.size(); ++i) {
        if (std::equal(std::begin(blank), std::end(blank), prg.begin() + i) && prg[i + 5] == 0x29 &&
            prg[i + 6] == 0xEF) {
            prg[i + 6] = 0xFF;
            return prg;
        }
    }
    return {};
}

void BM_C64ReceiverUpload(benchmark::State& state) {
    const uint16_t length = static_cast<uint16_t>(state.range(0));
    const double access_cycles = static_cast<double>(state.range(1)) * kPalClockHz / 1e9;
    const bool screen_on = state.range(2) != 0;
    sid_tune_clear(g_tune);
    g_tune.load_address = static_cast<uint16_t>(length > 0xC000 ? 0x0400 : 0x1000);
    g_tune.image[0] = 0x60;  // init and play: RTS
    for (uint32_t i = 1; i < length; ++i) g_tune.image[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
    g_tune.init_address = g_tune.play_address = g_tune.load_address;
    g_tune.length = length;
    g_tune.songs = 1;
    g_tune.start_song = 1;
    std::vector<uint8_t> receiver = read_file_bytes(ZORBIN_RECEIVER_PRG);
    if (screen_on) receiver = receiver_with_screen_on(receiver);
    if (receiver.empty()) {
        state.SkipWithError("the receiver's screen blanking was not found");
        return;
    }
    double upload_seconds = 0, cycles_per_byte = 0, stolen_share = 0;
    for (auto _ : state) {
        C64Machine c64;
        boot_receiver(c64, receiver, 200000);
        ParallelCable cable(c64, 0x378, access_cycles);
        const double start = cable.now_cycles();
        const uint64_t stolen_before = c64.stolen_cycles();
        std::atomic<int32_t> progress{-1};
        ImageTimer timer(cable, progress, length);
        TimedC64Port port{C64Port{cable}, timer};
        C64Clock clock{cable};
        C64Link<TimedC64Port, C64Clock> link(port, clock, 0x378, kFullBuildLink);
        if (!link.upload(g_tune, 1, progress)) state.SkipWithError("upload failed");
        upload_seconds = (cable.now_cycles() - start) / kPalClockHz;
        cycles_per_byte = timer.cycles_per_byte();
        stolen_share = static_cast<double>(c64.stolen_cycles() - stolen_before) / (cable.now_cycles() - start);
    }
    state.counters["emulated_upload_s"] = upload_seconds;
    state.counters["image_bytes_per_s"] = kPalClockHz / cycles_per_byte;
    state.counters["c64_cycles_per_byte"] = cycles_per_byte;
    state.counters["vic_share"] = stolen_share;
}
BENCHMARK(BM_C64ReceiverUpload)
    ->Args({4096, 1000, 0})->Args({16384, 1000, 0})->Args({61440, 1000, 0})->Args({16384, 2000, 0})
    ->Args({16384, 1000, 1})->Args({61440, 1000, 1})
    ->Iterations(1)->Unit(benchmark::kMillisecond);

// One line per file size: our load time against the reference loader's.
void print_loader_ratio() {
#ifdef ZORBIN_HAVE_REFERENCE_LOADER
    using clock = std::chrono::steady_clock;
    std::printf("\nloader comparison (reference loader time / ours; target >= 2.0):\n");
    for (int size : kFileSizes) {
        const std::string path = bench_file(size);
        auto time = [&](auto&& load) {
            const int rounds = 2000;
            const auto start = clock::now();
            for (int i = 0; i < rounds; ++i) load();
            return std::chrono::duration<double, std::micro>(clock::now() - start).count() / rounds;
        };
        const double ours = time([&] { sid_tune_load(path.c_str(), g_tune); });
        const double theirs = time([&] { reference_load(path.c_str()); });
        std::printf("  %6d bytes: ours %7.2f us, reference %7.2f us, ratio %.1fx\n", size, ours,
                    theirs, theirs / ours);
    }
#else
    std::printf("\nloader comparison: reference library not installed (libsidplayfp-dev)\n");
#endif
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_loader_ratio();
    return 0;
}
