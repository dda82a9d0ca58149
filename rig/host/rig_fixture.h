// The fixture every rig test starts from: a fresh copy of the plug-in DLL,
// loaded and initialised like the player does it, with a fresh simulated
// receiver behind the port trap.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "rig/host/fast_clock.h"
#include "rig/host/player_host.h"
#include "rig/host/port_trap.h"
#include "rig/host/rig_support.h"

extern std::string g_dll_path;        // the full build, set by main
extern std::string g_fixed_dll_path;  // the fixed build ("" = not tested)
extern std::string g_shots_dir;       // where screenshots go ("" = none)

constexpr DWORD kNoTime = 600000;

// Loads a fresh copy of the DLL (so init reads the settings written first)
// and a fresh receiver on 0x378. Named apart from the native tests' link
// and CPU helpers, which are called Rig in their own programs.
class PlayerRig : public testing::Test {
protected:
    void load(DWORD time_ms = kNoTime, DWORD port = 0x378) {
        rig_write_settings(port, time_ms, 1);
        load_as_is();
    }
    // Loads with the registry as the test left it.
    void load_as_is(const std::string& dll = g_dll_path, uint16_t c64_port = 0x378,
                    const std::function<void(HMODULE)>& before_init = nullptr) {
        {
            SimLock lock;
            port_trap_sim() = C64ReceiverSim(c64_port);
        }
        port_trap_enable(true);
        host_clear_log();
        host_set_repeat(false);
        std::string error;
        module_ = host_load(dll.c_str(), error, before_init);
        ASSERT_NE(module_, nullptr) << error;
    }
    void SetUp() override { load(); }
    void TearDown() override { unload(); }
    void unload() {
        if (module_ != nullptr) module_->stop();
        module_ = nullptr;
        port_trap_enable(true);
        host_unload();
    }
    int play(const std::string& path) { return module_->play(const_cast<char*>(path.c_str())); }
    // Runs the loaded DLL's clock `scale` times fast (see fast_clock.h).
    bool run_clock_fast(DWORD scale) {
        return fast_clock_install(reinterpret_cast<HMODULE>(module_->instance), scale);
    }
    // Pumps until the DLL's fast clock reads `dll_ms` more than now.
    bool pump_dll_time(DWORD dll_ms, DWORD real_limit_ms = 30000) {
        const DWORD start = fast_clock_now();
        return host_pump_until([&] { return fast_clock_now() - start >= dll_ms; }, real_limit_ms);
    }
    template <class F>
    auto with_sim(F f) {
        SimLock lock;
        return f(port_trap_sim());
    }
    InModule* module_ = nullptr;
};


// Saves a window's picture as NAME.bmp in the screenshot folder, if any.
void shoot(HWND window, const char* name);
