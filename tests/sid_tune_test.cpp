#include "tune/sid_tune.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/psid_builder.h"

#ifdef __GLIBC__
// Counts every malloc of this test program (glibc's own allocator does the
// work), so a test can show that a load allocates nothing, not even inside
// the C library.
std::atomic<long> g_mallocs{0};
extern "C" void* __libc_malloc(size_t size);
extern "C" void* malloc(size_t size) {
    g_mallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
#endif

namespace {

SidTune g_tune;  // too large for the stack

// Per test: CTest runs the tests of this file as parallel processes.
std::string temp_path(const std::string& name) {
    return testing::TempDir() + "zorbin_" + testing::UnitTest::GetInstance()->current_test_info()->name() +
           "_" + name;
}

std::string write_file(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = temp_path(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

SidLoadReport load(const PsidSpec& spec, const char* name = "tune.sid") {
    const std::string path = write_file(name, make_psid(spec));
    return sid_tune_load(path.c_str(), g_tune);
}

bool image_is_zero_from(uint32_t index) {
    for (uint32_t i = index; i < kSidImageSize; ++i)
        if (g_tune.image[i] != 0) return false;
    return true;
}

void expect_cleared_without_path() {
    EXPECT_EQ(g_tune.songs, 0);
    EXPECT_EQ(g_tune.load_address, 0);
    EXPECT_EQ(g_tune.length, 0);
    EXPECT_STREQ(g_tune.name, "");
    EXPECT_STREQ(g_tune.path, "");
    EXPECT_TRUE(image_is_zero_from(0));
}

PsidSpec acceptable(size_t data_bytes = 0x200) {
    PsidSpec spec;
    spec.data = filler(data_bytes);
    return spec;
}

TEST(SidTuneLoad, AcceptsAPlainTuneAndKeepsEveryField) {
    PsidSpec spec = acceptable(0x300);
    spec.songs = 7;
    spec.start_song = 3;
    const SidLoadReport r = load(spec);
    EXPECT_EQ(r.verdict, SidVerdict::Accepted);
    EXPECT_EQ(g_tune.load_address, 0x1000);
    EXPECT_EQ(g_tune.init_address, 0x1000);
    EXPECT_EQ(g_tune.play_address, 0x1003);
    EXPECT_EQ(g_tune.songs, 7);
    EXPECT_EQ(g_tune.start_song, 3);
    EXPECT_EQ(g_tune.length, 0x300);
    EXPECT_EQ(std::memcmp(g_tune.image, spec.data.data(), 0x300), 0);
    EXPECT_TRUE(image_is_zero_from(0x300));
    EXPECT_STREQ(g_tune.name, "Test Tune");
    EXPECT_STREQ(g_tune.author, "Tester");
    EXPECT_STREQ(g_tune.copyright, "2026 Tests");
    EXPECT_EQ(std::string(g_tune.path), temp_path("tune.sid"));
}

TEST(SidTuneLoad, FileSizeLimits) {
    // 65,535 bytes is the largest file read; the data run past the top of
    // C64 memory and are trimmed there.
    PsidSpec spec = acceptable(65535 - 0x7C);
    EXPECT_EQ(load(spec).verdict, SidVerdict::Accepted);
    EXPECT_EQ(g_tune.length, 0x10000 - 0x1000);

    spec.data.push_back(1);  // 65,536 bytes
    EXPECT_EQ(load(spec).verdict, SidVerdict::TooLarge);
    expect_cleared_without_path();

    spec.data.resize(100000);
    EXPECT_EQ(load(spec).verdict, SidVerdict::TooLarge);
    expect_cleared_without_path();

    const std::string empty = write_file("empty.sid", {});
    EXPECT_EQ(sid_tune_load(empty.c_str(), g_tune).verdict, SidVerdict::Empty);
    expect_cleared_without_path();
}

TEST(SidTuneLoad, UnopenablePathIsRefusedButKeepsItsPath) {
    load(acceptable());  // leave stale bytes in the file buffer
    const std::string missing = temp_path("no/such/dir/tune.sid");
    EXPECT_EQ(sid_tune_load(missing.c_str(), g_tune).verdict, SidVerdict::Unreadable);
    EXPECT_EQ(g_tune.songs, 0);
    EXPECT_EQ(g_tune.length, 0);
    EXPECT_EQ(std::string(g_tune.path), missing);
    EXPECT_EQ(sid_tune_load(nullptr, g_tune).verdict, SidVerdict::Unreadable);
    EXPECT_STREQ(g_tune.path, "");
}

TEST(SidTuneLoad, NothingOfAnEarlierFileSurvives) {
    PsidSpec long_one = acceptable(0x4000);
    long_one.name = "Long Name For The First";
    long_one.songs = 9;
    ASSERT_EQ(load(long_one).verdict, SidVerdict::Accepted);

    // A 20-byte file: everything past byte 19 must read as zero, not as the
    // previous file's bytes still in the buffer. It ends before its data, so
    // it is accepted with an all-zero image.
    std::vector<uint8_t> stub = make_psid(acceptable());
    stub.resize(20);
    const std::string path = write_file("stub.sid", stub);
    EXPECT_EQ(sid_tune_load(path.c_str(), g_tune).verdict, SidVerdict::Accepted);
    EXPECT_EQ(g_tune.songs, 1);
    EXPECT_STREQ(g_tune.name, "");
    EXPECT_STREQ(g_tune.author, "");
    EXPECT_EQ(g_tune.length, 0x10000 - 0x1000);
    EXPECT_TRUE(image_is_zero_from(0));
}

TEST(SidTuneLoad, NoImageByteOfAnEarlierTuneSurvives) {
    // Whatever an earlier load left beyond the new data must be gone: a long
    // tune, a tune trimmed at the top (its tail past the length stays in the
    // image) and a refused tune (cleared), each followed by a short one.
    PsidSpec trimmed = acceptable(0x2000);
    trimmed.load = 0xF000;
    trimmed.init = 0xF000;
    trimmed.play = 0xF003;
    PsidSpec refused = acceptable(0x3000);
    refused.load = 0x0801;
    refused.init = 0x0801;
    const PsidSpec earlier[] = {acceptable(0x4000), trimmed, refused};
    for (const PsidSpec& first : earlier) {
        load(first, "first.sid");
        if (g_tune.songs == 0) {
            EXPECT_TRUE(image_is_zero_from(0));
        }
        ASSERT_EQ(load(acceptable(0x100), "second.sid").verdict, SidVerdict::Accepted);
        EXPECT_TRUE(image_is_zero_from(0x100)) << first.load;
    }
}

TEST(SidTuneLoad, FileEndingAtOrBeforeItsData) {
    PsidSpec spec = acceptable(0);
    spec.load = 0x4000;
    spec.init = 0x4000;
    spec.play = 0x4003;
    std::vector<uint8_t> bytes = make_psid(spec);
    ASSERT_EQ(bytes.size(), 0x7Cu);
    std::string path = write_file("at_offset.sid", bytes);
    EXPECT_EQ(sid_tune_load(path.c_str(), g_tune).verdict, SidVerdict::Accepted);
    EXPECT_EQ(g_tune.length, 0);

    // Ends ten bytes before the data: the negative count wraps, then is
    // trimmed to the top of memory; the image stays all zero.
    bytes.resize(0x7C - 10);
    path = write_file("before_offset.sid", bytes);
    EXPECT_EQ(sid_tune_load(path.c_str(), g_tune).verdict, SidVerdict::Accepted);
    EXPECT_EQ(g_tune.length, 0x10000 - 0x4000);
    EXPECT_TRUE(image_is_zero_from(0));
}

TEST(SidTuneLoad, LoadAddressCarriedInTheData) {
    PsidSpec spec = acceptable(0x100);
    spec.load_in_data = true;
    spec.load = 0x1000;
    EXPECT_EQ(load(spec).verdict, SidVerdict::Accepted);
    EXPECT_EQ(g_tune.load_address, 0x1000);
    EXPECT_EQ(g_tune.length, 0x100);  // the two address bytes are not image
    EXPECT_EQ(g_tune.image[0], spec.data[0]);
    EXPECT_EQ(std::memcmp(g_tune.image, spec.data.data(), 0x100), 0);
}

TEST(SidTuneLoad, TrimsAtTheTopOfMemory) {
    PsidSpec spec = acceptable(8192);
    spec.load = 0xF000;
    spec.init = 0xF000;
    spec.play = 0xF003;
    EXPECT_EQ(load(spec).verdict, SidVerdict::Accepted);
    EXPECT_EQ(g_tune.length, 0x1000);
    // The trimmed tail stays in the image (the info dump shows it) but is
    // never part of the length.
    EXPECT_EQ(g_tune.image[0x1000], spec.data[0x1000]);
}

struct Bound {
    uint16_t load, init, play;
    size_t data;
    SidVerdict verdict;
};

TEST(SidTuneLoad, AcceptanceBounds) {
    const Bound cases[] = {
        {0x03EF, 0x1000, 0x1003, 0x1000, SidVerdict::LoadBelowMinimum},
        {0x03F0, 0x1000, 0x1003, 0x1000, SidVerdict::Accepted},
        {0x1000, 0x1000, 0xCFFF, 0x100, SidVerdict::Accepted},
        {0x1000, 0x1000, 0xD000, 0x100, SidVerdict::PlayInIoArea},
        {0x1000, 0x1000, 0xDFFF, 0x100, SidVerdict::PlayInIoArea},
        {0x1000, 0x1000, 0xE000, 0x100, SidVerdict::Accepted},
        {0xC000, 0xCFFF, 0xC003, 0x1000, SidVerdict::Accepted},
        {0xC000, 0xD000, 0xC003, 0x1000, SidVerdict::InitInIoArea},
        {0xC000, 0xDFFF, 0xC003, 0x1000, SidVerdict::InitInIoArea},
        {0xE000, 0xE000, 0xE003, 0x1000, SidVerdict::Accepted},
        {0x1000, 0x1100, 0x1003, 0x100, SidVerdict::Accepted},         // init == load + length
        {0x1000, 0x1101, 0x1003, 0x100, SidVerdict::InitBeyondImage},  // one more
        {0x1000, 0x1000, 0x0000, 0x100, SidVerdict::NoPlayAddress},
        {0x0801, 0x0801, 0x0804, 0x100, SidVerdict::LoadsAtBasicStart},
        {0x0800, 0x0800, 0x0804, 0x100, SidVerdict::Accepted},
        {0x0802, 0x0802, 0x0804, 0x100, SidVerdict::Accepted},
        // Refusal order: the first failing rule is the verdict.
        {0x0100, 0xD000, 0x0000, 0x100, SidVerdict::LoadBelowMinimum},
        {0x1000, 0xD400, 0xD400, 0x100, SidVerdict::PlayInIoArea},
        {0x0801, 0x9000, 0x0000, 0x100, SidVerdict::InitBeyondImage},
        {0x0801, 0x0801, 0x0000, 0x100, SidVerdict::NoPlayAddress},
    };
    for (const Bound& c : cases) {
        PsidSpec spec = acceptable(c.data);
        spec.load = c.load;
        spec.init = c.init;
        spec.play = c.play;
        SCOPED_TRACE(testing::Message() << std::hex << "load " << c.load << " init " << c.init
                                        << " play " << c.play);
        EXPECT_EQ(load(spec).verdict, c.verdict);
        EXPECT_EQ(g_tune.songs != 0, c.verdict == SidVerdict::Accepted);
        if (c.verdict != SidVerdict::Accepted) {
            EXPECT_EQ(g_tune.load_address, 0);
            EXPECT_EQ(g_tune.length, 0);
            EXPECT_TRUE(image_is_zero_from(0));
            EXPECT_EQ(std::string(g_tune.path), temp_path("tune.sid"));  // kept when refused
        }
    }
}

TEST(SidTuneLoad, InitAtTheTopDoesNotWrapAround) {
    // load + length reaches exactly 0x10000; a 16-bit sum would wrap to 0
    // and refuse an init address that is in fact inside the image.
    PsidSpec spec = acceptable(0x1000);
    spec.load = 0xF000;
    spec.init = 0xFFF0;
    spec.play = 0xF003;
    EXPECT_EQ(load(spec).verdict, SidVerdict::Accepted);
}

TEST(SidTuneLoad, PatchesTheOpcodeAt20B5OnlyForInit20B0) {
    auto with_byte_at_20b5 = [](uint16_t init, uint16_t load_at, uint8_t value) {
        PsidSpec spec = acceptable(0x400);
        spec.load = load_at;
        spec.init = init;
        spec.play = static_cast<uint16_t>(load_at + 3);
        if (load_at <= 0x20B5) spec.data[0x20B5 - load_at] = value;
        return spec;
    };
    EXPECT_EQ(load(with_byte_at_20b5(0x20B0, 0x2000, 0x20)).verdict, SidVerdict::Accepted);
    EXPECT_EQ(g_tune.image[0xB5], 0x4C);
    load(with_byte_at_20b5(0x20B0, 0x2000, 0x21));
    EXPECT_EQ(g_tune.image[0xB5], 0x21);
    load(with_byte_at_20b5(0x20B1, 0x2000, 0x20));
    EXPECT_EQ(g_tune.image[0xB5], 0x20);
    load(with_byte_at_20b5(0x20B0, 0x20B5, 0x20));  // patch byte is image[0]
    EXPECT_EQ(g_tune.image[0], 0x4C);
    // Loaded above $20B5: nothing to patch, and nothing before the image touched.
    PsidSpec above = with_byte_at_20b5(0x20B0, 0x2100, 0);
    EXPECT_EQ(load(above).verdict, SidVerdict::Accepted);
    EXPECT_EQ(std::memcmp(g_tune.image, above.data.data(), above.data.size()), 0);
}

TEST(SidTuneLoad, RefusesTheCia2AddressAnywhereInTheSentImage) {
    PsidSpec spec = acceptable(0x100);
    spec.data[0xFE] = 0x0E;
    spec.data[0xFF] = 0xDD;
    EXPECT_EQ(load(spec).verdict, SidVerdict::TouchesCia2);
    EXPECT_EQ(g_tune.songs, 0);

    spec.data[0xFE] = 0xDD;
    spec.data[0xFF] = 0x0E;  // reversed, and a lone final $0E
    EXPECT_EQ(load(spec).verdict, SidVerdict::Accepted);

    spec.data[0] = 0x0E;
    spec.data[1] = 0xDD;  // at the very start
    EXPECT_EQ(load(spec).verdict, SidVerdict::TouchesCia2);

    // The pair straddling the end of the sent length (the tail past the top
    // of memory is not sent) does not count.
    PsidSpec top = acceptable(0x1000 + 1);
    top.load = 0xF000;
    top.init = 0xF000;
    top.play = 0xF003;
    top.data[0x0FFF] = 0x0E;
    top.data[0x1000] = 0xDD;
    EXPECT_EQ(load(top).verdict, SidVerdict::Accepted);
    EXPECT_EQ(g_tune.length, 0x1000);
}

TEST(SidTuneLoad, SongFieldsUseOnlyTheirLowByte) {
    PsidSpec spec = acceptable();
    spec.songs = 0x0100;
    spec.start_song = 0x0102;
    EXPECT_EQ(load(spec).verdict, SidVerdict::Accepted);  // the rules pass...
    EXPECT_EQ(g_tune.songs, 0);                           // ...but nothing to play
    EXPECT_EQ(g_tune.start_song, 2);
}

TEST(SidTuneLoad, TextsAreCutAt32AndAlwaysTerminated) {
    PsidSpec spec = acceptable();
    spec.name = std::string(32, 'N');
    spec.author = std::string(32, 'A');
    spec.copyright = std::string(32, 'C');
    load(spec);
    EXPECT_EQ(std::string(g_tune.name), std::string(32, 'N'));
    EXPECT_EQ(std::string(g_tune.author), std::string(32, 'A'));
    EXPECT_EQ(std::string(g_tune.copyright), std::string(32, 'C'));
}

TEST(SidTuneLoad, DataOffsetIsReadUnsignedAndNeverPointsOutside) {
    // Offsets from $80 up point past the header, not before it.
    for (uint16_t offset : std::initializer_list<uint16_t>{0x80, 0xC0, 0xFF}) {
        PsidSpec spec = acceptable(0x100);
        spec.data_offset = offset;
        SCOPED_TRACE(offset);
        EXPECT_EQ(load(spec).verdict, SidVerdict::Accepted);
        EXPECT_EQ(g_tune.length, 0x100);
        EXPECT_EQ(g_tune.image[0], spec.data[0]);
    }
    // Only the low byte counts: $0180 is read as $80.
    PsidSpec spec = acceptable(0x100);
    spec.data_offset = 0x80;
    std::vector<uint8_t> bytes = make_psid(spec);
    bytes[6] = 0x01;
    const std::string path = write_file("high_offset.sid", bytes);
    sid_tune_load(path.c_str(), g_tune);
    EXPECT_EQ(g_tune.image[0], spec.data[0]);
}

#ifdef __GLIBC__
TEST(SidTuneLoad, OneReadEndsTheFileAndNothingIsAllocated) {
    // A pipe whose writer hands over the whole file at once but keeps its
    // end open: a loader that reads again to find the end waits for it.
    const std::vector<uint8_t> bytes = make_psid(acceptable(0x700));
    ASSERT_LE(bytes.size(), 4096u);  // one atomic pipe write
    const std::string path = temp_path("pipe.sid");
    unlink(path.c_str());
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::atomic<bool> loaded{false};
    std::thread writer([&] {
        const int fd = open(path.c_str(), O_WRONLY);
        if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return;
        for (int i = 0; i < 300 && !loaded; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        close(fd);
    });
    const long mallocs = g_mallocs.load();
    const auto start = std::chrono::steady_clock::now();
    sid_tune_load(path.c_str(), g_tune);
    const auto took_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    const long allocated = g_mallocs.load() - mallocs;
    loaded = true;
    writer.join();
    unlink(path.c_str());
    EXPECT_LT(took_ms, 1000);
    EXPECT_EQ(allocated, 0);
    EXPECT_EQ(g_tune.songs, 1);
    EXPECT_EQ(g_tune.length, 0x700);
}
#endif

TEST(SidTuneLoadBytes, NeverReadsPastTheGivenSize) {
    // Exactly-sized heap copies let the sanitizers catch any read past size.
    const std::vector<uint8_t> full = make_psid(acceptable(0x40));
    for (size_t size = 0; size <= full.size(); ++size) {
        std::vector<uint8_t> exact(full.begin(), full.begin() + static_cast<long>(size));
        sid_tune_load_bytes(exact.data(), static_cast<uint32_t>(size), "x", g_tune);
        if (size < 16) {
            EXPECT_EQ(g_tune.songs, 0);
        }
    }
}

TEST(SidIsOurFile, LooksOnlyAtTheFirstFourBytes) {
    EXPECT_EQ(sid_is_our_file(write_file("any.mp3", {'P', 'S', 'I', 'D'}).c_str()), 1);
    EXPECT_EQ(sid_is_our_file(write_file("ours.sid", make_psid(acceptable())).c_str()), 1);
    EXPECT_EQ(sid_is_our_file(write_file("short.sid", {'P', 'S', 'I'}).c_str()), 0);
    EXPECT_EQ(sid_is_our_file(write_file("rsid.sid", {'R', 'S', 'I', 'D', 0}).c_str()), 0);
    EXPECT_EQ(sid_is_our_file(write_file("lower.sid", {'p', 's', 'i', 'd'}).c_str()), 0);
    EXPECT_EQ(sid_is_our_file(temp_path("missing.sid").c_str()), 0);
    EXPECT_EQ(sid_is_our_file(nullptr), 0);
}

TEST(SidVerdictNames, EveryVerdictHasANameAndAText) {
    for (int v = 0; v <= static_cast<int>(SidVerdict::TouchesCia2); ++v) {
        EXPECT_STRNE(sid_verdict_name(static_cast<SidVerdict>(v)), "unknown");
        EXPECT_STRNE(sid_verdict_text(static_cast<SidVerdict>(v)), "unknown verdict");
    }
}

}  // namespace
