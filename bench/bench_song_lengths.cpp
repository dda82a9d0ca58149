// The song-length database at collection scale: building the index of a
// generated 80,000-entry database (a comment line before each entry, as the
// collection writes it), and the lookup get file info makes for every
// playlist entry: the MD5 of a 64 KB tune, the search and the start song's
// time. Targets: build <= 100 ms, lookup <= 0.2 ms, index <= 2 MB, no heap
// per lookup.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <vector>

#include "songlength/md5.h"
#include "tests/support/md5_text.h"
#include "songlength/song_length_db.h"
#include "tests/support/psid_builder.h"

extern std::atomic<long> g_allocations;  // bench_main.cpp counts operator new

namespace {

constexpr int kEntries = 80000;
SongLengthEntry g_index_storage[kSongLengthIndexCapacity];

// A 64 KB-class tune, its bytes and the generated database that lists it.
struct Collection {
    std::vector<uint8_t> tune;
    std::string database;
    Collection() {
        PsidSpec spec;
        spec.load = 0x0400;
        spec.init = 0x0400;
        spec.data = filler(65000, 64);
        tune = make_psid(spec);
        uint8_t md5[kMd5Size];
        database = "[Database]\r\n";
        for (int i = 0; i < kEntries; ++i) {
            const std::string name = "/MUSICIANS/A/Artist_" + std::to_string(i / 20) + "/Tune_" +
                                     std::to_string(i) + ".sid";
            if (i == kEntries / 2) {
                md5_digest(tune.data(), static_cast<uint32_t>(tune.size()), md5);
            } else {
                md5_digest(reinterpret_cast<const uint8_t*>(name.data()),
                           static_cast<uint32_t>(name.size()), md5);
            }
            database += "; " + name + "\r\n" + md5_text(md5) + "=";
            for (int song = 0; song <= i % 4; ++song)
                database += std::to_string(song + i % 7) + ":" + std::to_string(10 + i % 50) +
                            (i % 3 == 0 ? ".250 " : " ");
            database += "\r\n";
        }
    }
};

const Collection& collection() {
    static const Collection c;
    return c;
}

void BM_SongLengthIndexBuild(benchmark::State& state) {
    const std::string& text = collection().database;
    SongLengthIndex index{};
    for (auto _ : state) {
        song_length_index_build(index, text.data(), static_cast<uint32_t>(text.size()),
                                g_index_storage, kSongLengthIndexCapacity);
        benchmark::DoNotOptimize(index.count);
    }
    if (index.count != kEntries) state.SkipWithError("not every entry was indexed");
    state.counters["entries"] = index.count;
    state.counters["database_bytes"] = static_cast<double>(text.size());
    state.counters["index_bytes"] = static_cast<double>(sizeof g_index_storage);
}
BENCHMARK(BM_SongLengthIndexBuild)->Unit(benchmark::kMillisecond);

void BM_SongLengthLookup64KTune(benchmark::State& state) {
    const Collection& c = collection();
    SongLengthIndex index{};
    song_length_index_build(index, c.database.data(), static_cast<uint32_t>(c.database.size()),
                            g_index_storage, kSongLengthIndexCapacity);
    uint32_t ms = 0;
    const long before = g_allocations.load();
    for (auto _ : state) {
        uint8_t md5[kMd5Size];
        md5_digest(c.tune.data(), static_cast<uint32_t>(c.tune.size()), md5);
        ms = song_length_ms(index, song_length_find(index, md5), 1);
        benchmark::DoNotOptimize(ms);
    }
    if (ms == 0) state.SkipWithError("the tune's entry was not found");
    state.counters["new_per_lookup"] =
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
    state.counters["tune_bytes"] = static_cast<double>(c.tune.size());
}
BENCHMARK(BM_SongLengthLookup64KTune)->Unit(benchmark::kMicrosecond);

}  // namespace
