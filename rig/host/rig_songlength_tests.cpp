// Song lengths from a collection's database, in the real DLL: a small
// collection tree in the temp folder, its DOCUMENTS\Songlengths.md5 written
// with MD5s from the system's own CryptoAPI (not the plug-in's code).
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "rig/host/rig_fixture.h"

namespace {

std::string md5_hex(const std::vector<uint8_t>& bytes) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[16];
    DWORD size = sizeof digest;
    CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
    CryptCreateHash(provider, CALG_MD5, 0, 0, &hash);
    CryptHashData(hash, bytes.data(), static_cast<DWORD>(bytes.size()), 0);
    CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

void write_file(const std::string& path, const std::string& bytes) {
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// One tune of the tree: its file and its MD5.
struct TreeTune {
    std::string path, md5;
};

// C64Music\DOCUMENTS and C64Music\MUSICIANS\X\Y under a fresh folder.
class RigSongLengths : public PlayerRig {
protected:
    void SetUp() override {
        rig_delete_setting("SongLengths");
        rig_delete_setting("SongLengthsFile");
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string dir = std::string(temp) + "zorbin_songlengths";
        CreateDirectoryA(dir.c_str(), nullptr);
        for (const char* part : {test->name(), "C64Music", "DOCUMENTS"}) {
            dir += std::string("\\") + part;
            CreateDirectoryA(dir.c_str(), nullptr);
            if (std::string(part) == "C64Music") root_ = dir;
        }
        database_ = dir + "\\Songlengths.md5";
        DeleteFileA(database_.c_str());
        for (const char* part : {"\\MUSICIANS", "\\MUSICIANS\\X", "\\MUSICIANS\\X\\Y"})
            CreateDirectoryA((root_ + part).c_str(), nullptr);
        timed_ = tune("MUSICIANS\\X\\timed.sid", rig_tune(100, 3, 1));
        untimed_ = tune("MUSICIANS\\X\\untimed.sid", rig_tune(101, 3, 1));
        deep_ = tune("MUSICIANS\\X\\Y\\deep.sid", rig_tune(102, 2, 2));
    }
    void TearDown() override {
        PlayerRig::TearDown();
        rig_delete_setting("SongLengths");
        rig_delete_setting("SongLengthsFile");
    }
    TreeTune tune(const std::string& name, const PsidSpec& spec) {
        const std::string path = root_ + "\\" + name;
        const std::vector<uint8_t> bytes = make_psid(spec);
        write_file(path, std::string(bytes.begin(), bytes.end()));
        return {path, md5_hex(bytes)};
    }
    void write_database(const std::string& text) { write_file(database_, text); }
    int file_info_length(const std::string& path) {
        char title[1024] = "";
        int length = -2;
        module_->get_file_info(const_cast<char*>(path.c_str()), title, &length);
        return length;
    }
    // Milliseconds from now until the track's end is posted (-1: not within `limit`).
    int ms_until_end(DWORD limit) {
        const DWORD start = GetTickCount();
        if (!host_pump_until([] { return host_log().end_of_track > 0; }, limit)) return -1;
        return static_cast<int>(GetTickCount() - start);
    }
    std::string root_, database_;
    TreeTune timed_, untimed_, deep_;
};

TEST_F(RigSongLengths, PlaylistShowsEachTunesStartSongLength) {
    write_database("[Database]\r\n; /MUSICIANS/X/timed.sid\r\n" + timed_.md5 +
                   "=0:02 0:03 0:00\r\n; /MUSICIANS/X/Y/deep.sid\r\n" + deep_.md5 + "=0:01 1:02.500\r\n");
    load(30000);
    DWORD on = 0;
    EXPECT_TRUE(rig_read_setting("SongLengths", on));  // written with its default
    EXPECT_EQ(on, 1u);
    EXPECT_EQ(file_info_length(timed_.path), 2000);
    EXPECT_EQ(file_info_length(deep_.path), 62500);     // start song 2, two folders down
    EXPECT_EQ(file_info_length(untimed_.path), 30000);  // no entry
    EXPECT_EQ(file_info_length(rig_tune_file("outside.sid", rig_tune(103, 1))), 30000);
    ASSERT_EQ(play(timed_.path), 0);
    EXPECT_EQ(file_info_length(""), 2000);  // the playing tune
    EXPECT_EQ(module_->get_length(), 2999);  // the seek bar still picks sub-songs

    // A changed file is read again, within the same process.
    write_database("[Database]\r\n" + timed_.md5 + "=0:05\r\n");
    EXPECT_EQ(file_info_length(timed_.path), 5000);
}

TEST_F(RigSongLengths, ATrackEndsAfterItsSubSongsLengthAndAChangeGetsItsOwn) {
    write_database("[Database]\n" + timed_.md5 + "=0:02 0:03\n");
    load(kNoTime);
    ASSERT_EQ(play(timed_.path), 0);
    const int first = ms_until_end(6000);
    EXPECT_GE(first, 1700);
    EXPECT_LE(first, 2700);
    EXPECT_EQ(host_log().repeat_queries, 1);

    host_clear_log();
    ASSERT_EQ(play(timed_.path), 0);
    host_pump(1200);
    module_->set_output_time(1000);  // song 2, counted from here
    EXPECT_LT(module_->get_output_time(), 400);
    const int second = ms_until_end(6000);
    EXPECT_GE(second, 2700);
    EXPECT_LE(second, 3700);
}

TEST_F(RigSongLengths, ASongWithoutATimeGetsThePlayingTimeFromTheChange) {
    write_database("[Database]\n" + timed_.md5 + "=0:02\n");
    load(3000);
    ASSERT_EQ(play(timed_.path), 0);
    host_pump(1200);
    module_->set_output_time(2000);  // song 3: no time of its own
    const int after_change = ms_until_end(6000);
    EXPECT_GE(after_change, 2700);  // not the 1.8 s left of the track's 3 s
    EXPECT_LE(after_change, 3700);
}

TEST_F(RigSongLengths, ATuneWithoutAnEntryKeepsThePlayingTimeOverChanges) {
    write_database("[Database]\n" + timed_.md5 + "=0:05\n");
    load(2000);
    ASSERT_EQ(play(untimed_.path), 0);
    host_pump(1000);
    module_->set_output_time(1000);
    const int after_change = ms_until_end(6000);
    EXPECT_GE(after_change, 700);  // the track's 2 s, counted from its start
    EXPECT_LE(after_change, 1500);
}

TEST_F(RigSongLengths, TheSwitchTurnsItAllOff) {
    write_database("[Database]\n" + timed_.md5 + "=0:01\n");
    const DWORD off = 0;
    rig_write_setting("SongLengths", REG_DWORD, &off, sizeof off);
    load(2500);
    EXPECT_EQ(file_info_length(timed_.path), 2500);
    ASSERT_EQ(play(timed_.path), 0);
    const int end = ms_until_end(6000);
    EXPECT_GE(end, 2200);
    EXPECT_LE(end, 3200);
}

TEST_F(RigSongLengths, TheStoredPathOverridesTheSearch) {
    write_database("[Database]\n" + timed_.md5 + "=0:02\n");
    const std::string elsewhere = root_ + "\\..\\elsewhere.md5";
    write_file(elsewhere, "[Database]\n" + timed_.md5 + "=0:07\n");
    rig_write_setting("SongLengthsFile", REG_SZ, elsewhere.c_str(), static_cast<DWORD>(elsewhere.size() + 1));
    load(30000);
    EXPECT_EQ(file_info_length(timed_.path), 7000);
    unload();

    const std::string missing = root_ + "\\..\\missing.md5";  // no search instead
    rig_write_setting("SongLengthsFile", REG_SZ, missing.c_str(), static_cast<DWORD>(missing.size() + 1));
    load(30000);
    EXPECT_EQ(file_info_length(timed_.path), 30000);
}

TEST_F(RigSongLengths, MalformedDatabasesChangeNothingButTheLength) {
    std::string binary;
    for (uint32_t i = 0, x = 5; i < 4096; ++i) binary += static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    const std::string entry = timed_.md5 + "=0:02";
    const struct {
        const char* what;
        std::string text;
        int length;
    } cases[] = {
        {"empty", "", 30000},
        {"binary", "[Database]\n" + binary, 30000},
        {"no [Database]", entry + "\n", 30000},
        {"truncated mid-line", "[Database]\n" + entry.substr(0, entry.size() - 1), 30000},
        {"overlong line", "[Database]\n; " + std::string(200000, 'x') + "\n" + entry + "\n", 2000},
        {"99:99", "[Database]\n" + timed_.md5 + "=99:99\n", 30000},
        {"-:--", "[Database]\n" + timed_.md5 + "=-:--\n", 30000},
        {"negative", "[Database]\n" + timed_.md5 + "=-0:02\n", 30000},
        {"overflowing", "[Database]\n" + timed_.md5 + "=4294967296:00\n", 30000},
        {"malformed hash", "[Database]\n" + timed_.md5.substr(1) + "g=0:02\n", 30000},
        {"duplicates", "[Database]\n" + entry + "\n" + timed_.md5 + "=0:09\n", 2000},
    };
    for (const auto& c : cases) {
        write_database(c.text);
        load(30000);
        EXPECT_EQ(file_info_length(timed_.path), c.length) << c.what;
        EXPECT_EQ(play(timed_.path), 0) << c.what;
        EXPECT_TRUE(with_sim([](C64ReceiverSim& sim) { return sim.playing(); })) << c.what;
        unload();
    }

    write_database("[Database]\n" + entry + "\n");  // held open by another program, unshared
    const HANDLE held = CreateFileA(database_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    load(30000);
    EXPECT_EQ(file_info_length(timed_.path), 30000);
    EXPECT_EQ(play(timed_.path), 0);
    CloseHandle(held);
    EXPECT_EQ(file_info_length(timed_.path), 2000);  // readable again: taken
}

TEST_F(RigSongLengths, TheFixedBuildLooksNothingUp) {
    if (g_fixed_dll_path.empty()) GTEST_SKIP() << "no --fixed-dll given";
    write_database("[Database]\n" + timed_.md5 + "=0:02\n");
    bool imports_search = true;
    load_as_is(g_fixed_dll_path, 0x278, [&](HMODULE dll) {
        imports_search = rig_patch_import(dll, "KERNEL32.dll", "GetFileAttributesA",
                                          reinterpret_cast<void*>(&GetFileAttributesA)) != nullptr;
    });
    EXPECT_FALSE(imports_search);
    EXPECT_EQ(file_info_length(timed_.path), 150000);
}

}  // namespace
