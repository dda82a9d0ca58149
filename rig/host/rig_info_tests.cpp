// Playlist titles, the Song info dialog, the About box and the version
// resource of the full build.
#include <cstring>

#include "resources/resource_ids.h"
#include "rig/host/rig_fixture.h"
#include "zorbin_release.h"

namespace {

struct FileInfo {
    std::string title;
    int length;
};

FileInfo file_info(InModule* module, const char* file) {
    char title[1024] = "untouched";
    int length = -2;
    module->get_file_info(const_cast<char*>(file), title, &length);
    return FileInfo{title, length};
}

PsidSpec named_tune(const std::string& author, const std::string& name) {
    PsidSpec spec = rig_tune(64, 3);
    spec.author = author;
    spec.name = name;
    spec.copyright = "";
    return spec;
}

TEST_F(PlayerRig, TitlesAndLengthsForThePlaylist) {
    const std::string good = rig_tune_file("ab.sid", named_tune("A", "B"));
    PsidSpec refused = named_tune("C", "D");
    refused.load = 0x0801;
    const std::string bad = rig_tune_file("cd.sid", refused);
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    const std::string empty = std::string(dir) + "zorbin_rig_empty.sid";
    CloseHandle(CreateFileA(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::string missing = std::string(dir) + "zorbin_rig_missing.sid";

    // Before any play: no current tune, so an absent or empty path names nothing.
    EXPECT_EQ(file_info(module_, nullptr).title, " - ");
    EXPECT_EQ(file_info(module_, "").title, " - ");
    EXPECT_EQ(file_info(module_, good.c_str()).title, "A - B");
    EXPECT_EQ(file_info(module_, bad.c_str()).title, " - ");
    EXPECT_EQ(file_info(module_, empty.c_str()).title, " - ");
    EXPECT_EQ(file_info(module_, missing.c_str()).title, " - ");
    for (const std::string& f : {good, bad, empty, missing})
        EXPECT_EQ(file_info(module_, f.c_str()).length, static_cast<int>(kNoTime)) << f;

    ASSERT_EQ(play(rig_tune_file("played.sid", named_tune("", "Played"))), 0);
    EXPECT_EQ(file_info(module_, nullptr).title, " - Played");
    EXPECT_EQ(file_info(module_, "").title, " - Played");
}

TEST_F(PlayerRig, AFileAnotherProgramWritesIsStillRead) {
    const std::string path = rig_tune_file("held.sid", named_tune("Held", "Open"));
    // As an editor or a download in progress keeps it: open for writing,
    // sharing reads only.
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(module_->is_our_file(const_cast<char*>(path.c_str())), 1);
    EXPECT_EQ(file_info(module_, path.c_str()).title, "Held - Open");
    EXPECT_EQ(play(path), 0);
    CloseHandle(writer);
    EXPECT_EQ(with_sim([](C64ReceiverSim& sim) { return sim.image_length(); }), 64);
}

struct FileCalls {
    decltype(&CreateFileA) create;
    decltype(&ReadFile) read;
    decltype(&CloseHandle) close;
    int creates, reads, closes;
} g_file_calls;

HANDLE WINAPI counted_create(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                             DWORD disposition, DWORD flags, HANDLE templ) {
    ++g_file_calls.creates;
    return g_file_calls.create(name, access, share, sa, disposition, flags, templ);
}
BOOL WINAPI counted_read(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED o) {
    ++g_file_calls.reads;
    return g_file_calls.read(file, buffer, size, got, o);
}
BOOL WINAPI counted_close(HANDLE handle) {
    ++g_file_calls.closes;
    return g_file_calls.close(handle);
}

TEST_F(PlayerRig, ALoadIsOneOpenOneReadOneClose) {
    // The host asks about every file of a playlist: a read that returns less
    // than asked for has met the end of the file, no second read needed.
    const std::string path = rig_tune_file("calls.sid", rig_tune(2000, 1));
    HMODULE dll = reinterpret_cast<HMODULE>(module_->instance);
    g_file_calls = FileCalls{};
    g_file_calls.create = reinterpret_cast<decltype(&CreateFileA)>(
        rig_patch_import(dll, "KERNEL32.dll", "CreateFileA", reinterpret_cast<void*>(counted_create)));
    g_file_calls.read = reinterpret_cast<decltype(&ReadFile)>(
        rig_patch_import(dll, "KERNEL32.dll", "ReadFile", reinterpret_cast<void*>(counted_read)));
    g_file_calls.close = reinterpret_cast<decltype(&CloseHandle)>(
        rig_patch_import(dll, "KERNEL32.dll", "CloseHandle", reinterpret_cast<void*>(counted_close)));
    ASSERT_TRUE(g_file_calls.create && g_file_calls.read && g_file_calls.close);
    const FileInfo info = file_info(module_, path.c_str());
    EXPECT_EQ(g_file_calls.creates, 1);
    EXPECT_EQ(g_file_calls.reads, 1);
    EXPECT_EQ(g_file_calls.closes, 1);
    EXPECT_EQ(info.length, static_cast<int>(kNoTime));
    EXPECT_EQ(module_->is_our_file(const_cast<char*>(path.c_str())), 1);
    EXPECT_EQ(g_file_calls.reads, 2);
}

TEST_F(PlayerRig, FileInfoNeverDisturbsThePlayingTune) {
    ASSERT_EQ(play(rig_tune_file("playing.sid", rig_tune(64, 3))), 0);
    PsidSpec other = rig_tune(64, 2);
    other.load = 0x2000;
    other.init = 0x2000;
    other.play = 0x2003;
    file_info(module_, rig_tune_file("other.sid", other).c_str());
    with_sim([](C64ReceiverSim& sim) { return sim.reset(), 0; });
    module_->set_output_time(2000);
    with_sim([](C64ReceiverSim& sim) {
        EXPECT_EQ(sim.init_address(), 0x1234);
        EXPECT_EQ(sim.play_address(), 0x1567);
        EXPECT_EQ(sim.song_index(), 2);
        return 0;
    });
    EXPECT_EQ(module_->get_length(), 2999);
}

struct InfoFields {
    bool opened = false;
    std::string path, author, name, copyright, songs, load, init, play, dump;
};

// Opens the info box for `file` (modal here) and reads every field.
InfoFields info_box(InModule* module, const char* file, const char* shot = nullptr) {
    InfoFields f;
    OnThread hand([&] {
        HWND d = wait_for_window("#32770", "Song info", 5000);
        if (d == nullptr) return;
        wait_until([&] { return GetWindowTextLengthA(GetDlgItem(d, kIdInfoDump)) > 0; });  // the dump
        f.opened = true;
        f.path = control_text(d, kIdInfoPath);
        f.author = control_text(d, kIdInfoAuthor);
        f.name = control_text(d, kIdInfoName);
        f.copyright = control_text(d, kIdInfoCopyright);
        f.songs = control_text(d, kIdInfoSongs);
        f.load = control_text(d, kIdInfoLoad);
        f.init = control_text(d, kIdInfoInit);
        f.play = control_text(d, kIdInfoPlay);
        char dump[70000];
        GetDlgItemTextA(d, kIdInfoDump, dump, sizeof dump);
        f.dump = dump;
        if (shot) shoot(d, shot);
        press_button(d, IDOK);
    });
    EXPECT_EQ(module->info_box(const_cast<char*>(file), host_main_window()), 0);
    return f;
}

TEST_F(PlayerRig, SongInfoShowsEveryField) {
    PsidSpec spec = rig_tune(64, 7);
    spec.author = std::string(32, 'Q');
    spec.name = "Song";
    spec.copyright = "2026 Test";
    spec.data[0] = 0x41;
    spec.data[1] = 0x00;
    spec.data[2] = 0xFF;
    spec.data[3] = 0x7F;
    const std::string path = rig_tune_file("info.sid", spec);
    const InfoFields f = info_box(module_, path.c_str(), "song-info");
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.path, path);
    EXPECT_EQ(f.author, std::string(32, 'Q'));
    EXPECT_EQ(f.name, "Song");
    EXPECT_EQ(f.copyright, "2026 Test");
    EXPECT_EQ(f.songs, "7");
    EXPECT_EQ(f.load, "$1234");
    EXPECT_EQ(f.init, "$1234");
    EXPECT_EQ(f.play, "$1567");
    ASSERT_GE(f.dump.size(), 39u);
    EXPECT_EQ(f.dump.substr(0, 9), "1234 A  \x7F");
    EXPECT_EQ(f.dump.substr(37, 2), "\r\n");
}

TEST_F(PlayerRig, SongInfoForNothingAndForMissingFiles) {
    const DWORD start = GetTickCount();
    EXPECT_EQ(module_->info_box(nullptr, host_main_window()), 0);
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_EQ(find_window("#32770", "Song info"), nullptr);

    InfoFields f = info_box(module_, "");
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.path, "");
    EXPECT_EQ(f.author, "");
    EXPECT_EQ(f.songs, "0");
    EXPECT_EQ(f.load, "$0");
    EXPECT_EQ(f.dump.substr(0, 39), "0000 " + std::string(32, ' ') + "\r\n");
    EXPECT_EQ(f.dump.substr(39, 5), "0020 ");

    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    const std::string missing = std::string(dir) + "zorbin_rig_missing.sid";
    f = info_box(module_, missing.c_str());
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.path, missing);
    EXPECT_EQ(f.name, "");
    EXPECT_EQ(f.init, "$0");
}

TEST_F(PlayerRig, AboutClosesWithOkEscapeAndTheCloseBox) {
    std::string text;
    const UINT ways[] = {0, 1, 2};
    for (UINT way : ways) {
        OnThread hand([&] {
            HWND d = wait_for_window("#32770", "About", 5000);
            if (d == nullptr) return;
            wait_until([&] { return !control_text(d, kIdAboutText).empty(); });
            if (way == 0) {
                text = control_text(d, kIdAboutText);
                shoot(d, "about");
                press_button(d, IDOK);
            } else if (way == 1) {
                PostMessageA(GetDlgItem(d, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
            } else {
                PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
        });
        const DWORD start = GetTickCount();
        module_->about(host_main_window());
        EXPECT_LT(GetTickCount() - start, 5000u) << way;
    }
    EXPECT_EQ(text.substr(0, 2), "\r\n");
    EXPECT_EQ(text.find("SID Zorbin plugin by "), 2u);
    EXPECT_NE(text.find("\r\nVersion 2.0 (2004-05-16)\r\n\r\nWhats new:\r\n"), std::string::npos);
    EXPECT_NE(text.find("UserPort.sys"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 27), "I co sie tak gapisz czopku?");
}

// Tab must not land in the About text (it would select it all) nor in the
// configuration's hidden buddy of the up-down control.
TEST_F(PlayerRig, TabSkipsTheAboutTextAndTheHiddenBuddy) {
    struct {
        const char* title;
        int id;
        LONG style = -1;
    } cases[] = {{"About", kIdAboutText}, {"Configuration", kIdConfigTimeBuddy}};
    for (auto& c : cases) {
        OnThread hand([&] {
            HWND d = wait_for_window("#32770", c.title, 5000);
            if (d == nullptr) return;
            c.style = GetWindowLongA(GetDlgItem(d, c.id), GWL_STYLE);
            press_button(d, IDCANCEL);
        });
        if (c.id == kIdAboutText) module_->about(host_main_window());
        else module_->config(host_main_window());
    }
    for (const auto& c : cases) {
        ASSERT_NE(c.style, -1) << c.title;
        EXPECT_EQ(c.style & WS_TABSTOP, 0) << c.title;
    }
    EXPECT_NE(cases[0].style & ES_READONLY, 0);  // the right control was read
}

TEST(RigVersion, VersionResourceOfTheFullBuild) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(g_dll_path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(g_dll_path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const WORD version[] = {ZORBIN_VERSION_NUMBERS};
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(version[1], version[0])));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(version[3], version[2])));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation[0], 1045);
    for (const char* field : {"FileDescription", "InternalName", "OriginalFilename", "ProductName"}) {
        char query[128];
        wsprintfA(query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], field);
        char* value = nullptr;
        ASSERT_TRUE(VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &length))
            << field;
        EXPECT_STREQ(value, "in_zorbin") << field;
    }
}

}  // namespace
