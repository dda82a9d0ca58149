// The library route in the real DLL: a stand-in inpout32.dll beside a copy
// of the plug-in, whose own IN/OUT the trap refuses, as a system without our
// driver would; and 64-bit Windows as far as Wine can be made to report it.
#include <windows.h>

#include <cstring>
#include <vector>

#include "link/c64_link.h"
#include "rig/host/rig_fixture.h"

namespace {

// A folder of its own with a copy of the plug-in and, unless `variant` is
// null, the stand-in of that variant ("open", "closed", "bare") as
// inpout32.dll beside it. Returns the copy's path.
// The folder the rig keeps a stand-in variant in.
std::string standin_folder(const char* variant) {
    char rig[MAX_PATH];
    std::string folder(rig, GetModuleFileNameA(nullptr, rig, sizeof rig));
    folder.resize(folder.find_last_of('\\'));
    return folder + "\\inpout_standin\\" + variant;
}

std::string player_folder(const char* name, const char* variant) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "zorbin_library_" + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string dll = folder + "\\in_zorbin.dll", library = folder + "\\inpout32.dll";
    CopyFileA(g_dll_path.c_str(), dll.c_str(), FALSE);
    DeleteFileA(library.c_str());
    if (variant != nullptr) {
        const std::string standin = standin_folder(variant) + "\\inpout32.dll";
        EXPECT_TRUE(CopyFileA(standin.c_str(), library.c_str(), FALSE)) << standin;
    }
    return dll;
}

// What a player process would drop at its end: a library the plug-in kept.
void forget_library() {
    for (int i = 0; i < 8; ++i) {
        HMODULE left = GetModuleHandleA("inpout32.dll");
        if (left == nullptr) return;
        FreeLibrary(left);
    }
}

using IsWow64Process = BOOL(WINAPI*)(HANDLE, BOOL*);

IsWow64Process system_is_wow64() {
    return reinterpret_cast<IsWow64Process>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
}

BOOL WINAPI answer_wow64(HANDLE, BOOL* wow64) { return *wow64 = TRUE; }

// While alive, IsWow64Process (the system's own, wherever the plug-in looks
// it up) answers TRUE: its entry jumps to answer_wow64.
class ReportWow64 {
public:
    ReportWow64() {
        uint8_t jump[5] = {0xE9};
        const int32_t distance = reinterpret_cast<uint8_t*>(&answer_wow64) - (entry_ + sizeof jump);
        std::memcpy(jump + 1, &distance, sizeof distance);
        std::memcpy(saved_, entry_, sizeof saved_);
        write(jump);
    }
    ~ReportWow64() { write(saved_); }

private:
    void write(const uint8_t* bytes) {
        DWORD old;
        VirtualProtect(entry_, sizeof saved_, PAGE_EXECUTE_READWRITE, &old);
        std::memcpy(entry_, bytes, sizeof saved_);
        VirtualProtect(entry_, sizeof saved_, old, &old);
        FlushInstructionCache(GetCurrentProcess(), entry_, sizeof saved_);
    }
    uint8_t* const entry_ = reinterpret_cast<uint8_t*>(system_is_wow64());
    uint8_t saved_[5];
};

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\UserPort";

std::string driver_file() {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\System32\\Drivers\\UserPort.sys";
}

void remove_our_driver() {
    rig_remove_driver_service();
    DeleteFileA(driver_file().c_str());
}

// The base the driver reads as it starts; 0 when none is stored.
DWORD stored_port_base() {
    DWORD base = 0, size = sizeof base;
    return RegGetValueA(HKEY_LOCAL_MACHINE, kServiceKey, "PortBase", RRF_RT_REG_DWORD, nullptr,
                        &base, &size) == ERROR_SUCCESS
               ? base
               : 0;
}

DWORD service_state() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, "UserPort", SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};  // a state of 0: no such service
    if (service != nullptr) {
        QueryServiceStatus(service, &status);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return status.dwCurrentState;
}

struct Traffic {
    std::vector<uint8_t> writes, bytes;
    PortTrapCounts counts;
    std::vector<int> songs_shown;
};

class RigLibrary : public PlayerRig {
protected:
    void SetUp() override {}
    void TearDown() override {
        unload();
        port_trap_refuse_module(nullptr);
        port_trap_grant_base(0);
        forget_library();
    }
    // A copy of the plug-in with the stand-in `variant` beside it, its own
    // port instructions refused.
    void load_beside(const char* name, const char* variant, DWORD port = 0x378) {
        rig_write_settings(port, kNoTime, 1);
        load_as_is(player_folder(name, variant), static_cast<uint16_t>(port));
        port_trap_refuse_module(module_->instance);
    }
    void unload_all() { TearDown(); }

    // Play (start song 3 of 5), seek to song 2, stop.
    Traffic session(const std::string& tune) {
        port_trap_reset_counts();
        EXPECT_EQ(play(tune), 0);
        module_->set_output_time(1500);
        module_->stop();
        Traffic t;
        with_sim([&](C64ReceiverSim& sim) {
            t.writes = sim.data_writes();
            t.bytes = sim.bytes();
            EXPECT_EQ(sim.image(), rig_tune(3000, 5, 3).data);
            return 0;
        });
        t.counts = port_trap_counts();
        for (const SetInfoCall& c : host_log().set_info) t.songs_shown.push_back(c.bitrate);
        return t;
    }
};

TEST_F(RigLibrary, PlaySeekAndStopThroughTheLibraryAtAPcieBase) {
    const std::string tune = rig_tune_file("library.sid", rig_tune(3000, 5, 3));
    // Direct access as our driver grants it when installed with this base.
    rig_write_settings(0xD010, kNoTime, 1);
    load_as_is(g_dll_path, 0xD010);
    port_trap_grant_base(0xD010);
    const Traffic direct = session(tune);
    port_trap_grant_base(0);
    unload_all();

    load_beside("open", "open", 0xD010);
    const Traffic library = session(tune);
    EXPECT_EQ(library.bytes.size(), 3000u + 12u + 10u + 3u);
    EXPECT_EQ(library.writes, direct.writes);  // every strobe and nibble alike, so every byte
    EXPECT_EQ(library.songs_shown, (std::vector<int>{3, 2}));
    EXPECT_EQ(library.songs_shown, direct.songs_shown);
    // The plug-in's own probe was refused once per entry; everything else
    // went through the library, which reads the status as a byte.
    EXPECT_EQ(library.counts.refused, 3u);
    EXPECT_EQ(library.counts.in16, 0u);
    EXPECT_EQ(library.counts.out8, direct.counts.out8);
    // Outside the legacy ranges the direct probe also proves the word read
    // and the data register, under its guard: two reads more per entry.
    EXPECT_EQ(library.counts.in8 + 3u * 2u, direct.counts.in8 + direct.counts.in16);
}

// The probe and the bounded waits behave over the library as over IN/OUT.
TEST_F(RigLibrary, NoC64AndASilentC64ThroughTheLibrary) {
    load_beside("silent", "open");
    with_sim([](C64ReceiverSim& sim) { return sim.set_port_base(0x278), 0; });
    {
        BoxAnswerer box("Error", IDOK);
        EXPECT_EQ(play(rig_tune_file("absent.sid", rig_tune(64, 1))), 1);
        ASSERT_TRUE(box.finish());
        EXPECT_EQ(box.text, "C64 not ready. Check cable.");
    }
    with_sim([](C64ReceiverSim& sim) {
        sim.set_port_base(0x378);
        sim.stall_after(5 + 100 + 2);  // silent after the image
        return 0;
    });
    BoxAnswerer box("Error", IDOK);
    const DWORD start = GetTickCount();
    EXPECT_EQ(play(rig_tune_file("silent.sid", rig_tune(100, 2))), 1);
    const DWORD took = GetTickCount() - start;
    // The stalled receiver still shows its resting lines (a C64 that is on
    // and wired, busy in a long init): the link waits the long limit.
    EXPECT_GE(took, 11900u);
    EXPECT_LT(took, 18000u);
    ASSERT_TRUE(box.finish());
    EXPECT_EQ(box.text, "C64 not responding. Check cable.");
    EXPECT_GT(port_trap_counts().refused, 0u);  // it was the library's way
}

TEST_F(RigLibrary, BrokenOrMissingLibraryEndsInTheRefusedMessage) {
    const std::string tune = rig_tune_file("nolibrary.sid", rig_tune(64, 1));
    const struct {
        const char* variant;
        const char* says;
    } cases[] = {
        {"closed", "its driver is not open"},
        {"bare", "Out32, Inp32 or IsInpOutDriverOpen is missing"},
        {nullptr, "The UserPort port driver is not running"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant ? c.variant : "none");
        remove_our_driver();  // its device would tell a running driver
        load_beside(c.variant ? c.variant : "none", c.variant);
        {
            BoxAnswerer box("Error", IDOK);
            EXPECT_EQ(play(tune), 1);
            ASSERT_TRUE(box.finish());
            EXPECT_EQ(box.text.rfind("No access to the parallel port.\n", 0), 0u) << box.text;
            EXPECT_NE(box.text.find(c.says), std::string::npos) << box.text;
        }
        module_->set_output_time(1000);
        EXPECT_EQ(with_sim([](C64ReceiverSim& sim) { return sim.writes_seen(); }), 0u);
        EXPECT_EQ(GetModuleHandleA("inpout32.dll"), nullptr);  // an unusable copy is let go
        unload_all();
    }
}

TEST_F(RigLibrary, SixtyFourBitWindowsGetsNoDriverAndGoesStraightToTheLibrary) {
    ReportWow64 wow64;
    BOOL reported = FALSE;
    ASSERT_TRUE(system_is_wow64()(GetCurrentProcess(), &reported));
    ASSERT_TRUE(reported) << "Wine could not be made to report 64-bit Windows";

    remove_our_driver();
    rig_write_settings(0x378, kNoTime, 0);  // on 32-bit NT this start would install
    {
        BoxAnswerer no_box("UserPort", IDOK, 1500);
        load_as_is(player_folder("wow64_none", nullptr));
        EXPECT_FALSE(no_box.finish());
    }
    EXPECT_EQ(GetFileAttributesA(driver_file().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(service_state(), 0u);
    port_trap_reset_counts();
    {
        BoxAnswerer box("Error", IDOK);
        EXPECT_EQ(play(rig_tune_file("wow64.sid", rig_tune(64, 1))), 1);
        ASSERT_TRUE(box.finish());
        EXPECT_NE(box.text.find("64-bit Windows cannot load"), std::string::npos) << box.text;
        EXPECT_NE(box.text.find("InpOut32"), std::string::npos) << box.text;
    }
    PortTrapCounts counts = port_trap_counts();
    EXPECT_EQ(counts.in8 + counts.in16 + counts.out8, 0u);  // no IN/OUT tried
    unload_all();

    // With the library there, it carries everything; the plug-in's own
    // IN/OUT (not refused here) are never tried.
    rig_write_settings(0x378, kNoTime, 0);
    load_as_is(player_folder("wow64_open", "open"));
    port_trap_reset_counts();
    EXPECT_EQ(play(rig_tune_file("wow64.sid", rig_tune(64, 1))), 0);
    counts = port_trap_counts();
    EXPECT_EQ(counts.in16, 0u);  // the direct link reads words; the library bytes
    EXPECT_EQ(counts.out8, 5u * (64u + 12u) + kSetupDataWrites + kSetupControlWrites);
    EXPECT_TRUE(with_sim([](C64ReceiverSim& sim) { return sim.playing(); }));
    EXPECT_EQ(GetFileAttributesA(driver_file().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(RigLibrary, InstallStoresTheConfiguredBaseForTheDriver) {
    remove_our_driver();
    rig_write_settings(0xD010, kNoTime, 0);
    load_as_is(g_dll_path, 0xD010);
    DWORD base = 0, size = sizeof base;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kServiceKey, "PortBase", RRF_RT_REG_DWORD, nullptr,
                           &base, &size),
              ERROR_SUCCESS);  // only as a REG_DWORD
    EXPECT_EQ(base, 0xD010u);
    // The driver started with the value there.
    EXPECT_EQ(service_state(), static_cast<DWORD>(SERVICE_RUNNING));
    // Wine's driver grants nothing; the trap plays the part of ours.
    port_trap_grant_base(0xD010);
    EXPECT_EQ(play(rig_tune_file("d010.sid", rig_tune(64, 1))), 0);
}

// The legacy bases are opened anyway (and 0x3BC's eight registers would
// reach the display adapter); others only clear of the system's devices.
TEST_F(RigLibrary, TheDriverIsGivenOnlyABaseClearOfSystemDevices) {
    const std::string tune = rig_tune_file("refused.sid", rig_tune(64, 1));
    remove_our_driver();
    rig_write_settings(0xD010, kNoTime, 0);
    load_as_is(g_dll_path, 0xD010);
    ASSERT_EQ(stored_port_base(), 0xD010u);
    unload_all();
    for (DWORD base : {0x3BCu, 0x3F8u, 0xD014u}) {
        SCOPED_TRACE(base);
        rig_write_settings(base, kNoTime, 0);  // an administrator's start: installs anew
        load_as_is(g_dll_path, static_cast<uint16_t>(base));
        EXPECT_EQ(stored_port_base(), 0u);  // nor the earlier base's value
        port_trap_grant_base(static_cast<uint16_t>(stored_port_base()));
        if (base == 0x3BC) {
            EXPECT_EQ(play(tune), 0);
        } else {
            BoxAnswerer box("Error", IDOK);
            EXPECT_EQ(play(tune), 1);
            ASSERT_TRUE(box.finish());
            EXPECT_EQ(box.text, "No access to the parallel port.\nThe UserPort port driver never "
                                "opens this port address: it is not a multiple of 8 or it lies on "
                                "other system hardware. Set the address of the parallel port itself.");
        }
        unload_all();
    }
}

TEST_F(RigLibrary, ARunningDriverInstalledForAnotherBaseSaysWhatToDo) {
    remove_our_driver();
    rig_write_settings(0x378, kNoTime, 0);
    load_as_is();  // installed and started for the legacy ports alone
    unload_all();
    rig_write_settings(0xD010, kNoTime, 1);  // then the port changed, without an administrator
    load_as_is(g_dll_path, 0xD010);
    BoxAnswerer box("Error", IDOK);
    EXPECT_EQ(play(rig_tune_file("unopened.sid", rig_tune(64, 1))), 1);
    ASSERT_TRUE(box.finish());
    EXPECT_NE(box.text.find("is running but has not opened this port address: after changing the "
                            "port, start the player once as an administrator"),
              std::string::npos)
        << box.text;
}

// A working library where a bare name would find it, and nowhere else.
TEST_F(RigLibrary, ALibraryOnlyInTheCurrentFolderOrOnThePathIsNeverLoaded) {
    const std::string tune = rig_tune_file("planted.sid", rig_tune(64, 1));
    const std::string planted = standin_folder("open");
    char saved_folder[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved_folder, saved_folder);
    char saved_path[32768];
    GetEnvironmentVariableA("PATH", saved_path, sizeof saved_path);
    remove_our_driver();
    for (bool on_path : {false, true}) {
        SCOPED_TRACE(on_path ? "on PATH" : "in the current folder");
        if (on_path) SetEnvironmentVariableA("PATH", (planted + ";" + saved_path).c_str());
        else SetCurrentDirectoryA(planted.c_str());
        load_beside("planted", nullptr);
        for (int entry = 0; entry < 2; ++entry) {  // and not on a later try either
            BoxAnswerer box("Error", IDOK);
            EXPECT_EQ(play(tune), 1);
            ASSERT_TRUE(box.finish());
            EXPECT_NE(box.text.find("driver is not running"), std::string::npos) << box.text;
        }
        EXPECT_EQ(GetModuleHandleA("inpout32.dll"), nullptr);
        SetCurrentDirectoryA(saved_folder);
        SetEnvironmentVariableA("PATH", saved_path);
        unload_all();
    }
}

// The two other places a user may have put it.
TEST_F(RigLibrary, ALibraryInThePlayersFolderOrTheSystemFolderIsUsed) {
    const std::string tune = rig_tune_file("found.sid", rig_tune(64, 1));
    char rig[MAX_PATH], system[MAX_PATH];
    std::string rig_folder(rig, GetModuleFileNameA(nullptr, rig, sizeof rig));
    rig_folder.resize(rig_folder.find_last_of('\\'));
    GetSystemDirectoryA(system, sizeof system);
    for (const std::string& folder : {rig_folder, std::string(system)}) {
        SCOPED_TRACE(folder);
        const std::string library = folder + "\\inpout32.dll";
        ASSERT_TRUE(CopyFileA((standin_folder("open") + "\\inpout32.dll").c_str(),
                              library.c_str(), TRUE));
        load_beside("elsewhere", nullptr);
        port_trap_reset_counts();
        EXPECT_EQ(play(tune), 0);
        EXPECT_GT(port_trap_counts().refused, 0u);  // the library's way
        unload_all();
        EXPECT_TRUE(DeleteFileA(library.c_str()));
    }
}

}  // namespace
