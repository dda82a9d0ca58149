// zorbin_rig.exe: the player stand-in.
//   zorbin_rig.exe --dll PATH [--fixed-dll PATH] [--shots DIR]
//                  [--receiver PRG --demo-tune SID] [gtest options]
//   zorbin_rig.exe --demo PATH-TO-DLL TUNE [RECEIVER-PRG]     play the demo tune
//       (into the simulated receiver, or with a receiver .prg into an
//       emulated C64 running it)
//   zorbin_rig.exe --child-cancel PATH-TO-DLL                 (used by a test)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "rig/host/c64_session.h"
#include "rig/host/player_host.h"
#include "rig/host/rig_fixture.h"
#include "rig/host/port_trap.h"
#include "rig/host/rig_support.h"

std::string g_dll_path;
std::string g_fixed_dll_path;
std::string g_shots_dir;
std::string g_receiver_prg;
std::string g_demo_tune;

void shoot(HWND window, const char* name) {
    if (g_shots_dir.empty() || window == nullptr) return;
    // The window paints on its own thread when that thread is idle, which
    // nothing here can observe: the picture only, no check, waits for it.
    Sleep(300);
    save_window_bitmap(window, (g_shots_dir + "\\" + name + ".bmp").c_str());
}

namespace {

InModule* load_or_die(const char* dll) {
    std::string error;
    InModule* module = host_load(dll, error);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", dll, error.c_str());
        std::exit(2);
    }
    return module;
}

// Plays a tune that stalls mid-image and answers the question with Cancel:
// the plug-in must end this process with status 0 before play returns.
int child_cancel(const char* dll) {
    rig_write_settings(0x378, 600000, 1);
    port_trap_install();
    InModule* module = load_or_die(dll);
    {
        SimLock lock;
        port_trap_sim().stall_after(5 + 100);
    }
    BoxAnswerer* box = new BoxAnswerer("Error", IDCANCEL);  // outlives play on purpose
    (void)box;
    const std::string path = rig_tune_file("cancel.sid", rig_tune(1000, 1));
    module->play(const_cast<char*>(path.c_str()));
    return 3;  // play came back: Cancel did not end the host
}

void print_cable(const char* what, size_t& seen) {
    SimLock lock;
    const C64ReceiverSim& sim = port_trap_sim();
    std::printf("%s: %u bytes on the cable\n", what,
                static_cast<unsigned>(sim.bytes().size() - seen));
    seen = sim.bytes().size();
}

void print_host_log(size_t& set_info_seen) {
    const HostLog& log = host_log();
    for (; set_info_seen < log.set_info.size(); ++set_info_seen) {
        const SetInfoCall& c = log.set_info[set_info_seen];
        std::printf("  set-info(%d, %d, %d, %d): song %d of %d\n", c.bitrate, c.sample_rate,
                    c.stereo, c.synched, c.bitrate, c.sample_rate);
    }
}

int demo(const char* dll, const char* tune) {
    const DWORD playing_time_ms = 2000;
    rig_write_settings(0x378, playing_time_ms, 1);
    port_trap_install();
    InModule* module = load_or_die(dll);
    size_t bytes_seen = 0, set_info_seen = 0;

    std::printf("play %s\n", tune);
    const int result = module->play(const_cast<char*>(tune));
    std::printf("  play returned %d; length %d ms (one second per sub-song)\n", result,
                module->get_length());
    print_cable("  upload", bytes_seen);
    print_host_log(set_info_seen);
    if (result != 0) return 1;

    std::printf("seek to 1000 ms (sub-song 2)\n");
    module->set_output_time(1000);
    print_cable("  song change", bytes_seen);
    print_host_log(set_info_seen);

    std::printf("wait for the end of the track (playing time %lu ms)\n",
                static_cast<unsigned long>(playing_time_ms));
    const DWORD start = GetTickCount();
    host_pump_until([] { return host_log().end_of_track > 0; }, 10000);
    std::printf("  end-of-track message after %lu ms (repeat query answered 'off')\n",
                static_cast<unsigned long>(GetTickCount() - start));

    std::printf("stop\n");
    module->stop();
    print_cable("  stop", bytes_seen);

    SimLock lock;
    std::printf("\nwhat the C64 received, command by command:\n%s",
                port_trap_sim().describe_commands().c_str());
    const PortTrapCounts counts = port_trap_counts();
    std::printf("trapped port instructions: %u OUT, %u IN (word), %u IN (byte)\n", counts.out8,
                counts.in16, counts.in8);
    return 0;
}

// The demo again, with our receiver in an emulated C64 at the other end:
// what the C64 does with the tune, frame by frame.
void print_frames(C64Session& session, uint64_t from, uint16_t play_address, const char* what) {
    const C64Session::Activity a = session.activity_since(from, play_address);
    std::printf("  %s: %.2f s of C64 time, %u play calls, %u SID writes in %u frames "
                "(%.1f writes a frame)\n",
                what, a.seconds, a.play_calls, a.sid_writes, a.frames_with_writes,
                a.frames_with_writes ? static_cast<double>(a.sid_writes) / a.frames_with_writes : 0.0);
}

int demo_c64(const char* dll, const char* tune, const char* receiver) {
    rig_write_settings(0x378, 600000, 1);
    port_trap_install();
    C64Session session(receiver, 0x378);
    if (!session.booted()) {
        std::fprintf(stderr, "cannot start the receiver %s\n", receiver);
        return 2;
    }
    std::printf("emulated C64 (PAL) running our receiver on port 0x378\n");
    InModule* module = load_or_die(dll);
    C64Machine& c64 = session.c64();
    c64.watch(0x1003);
    const uint64_t before = c64.cycle();
    std::printf("play %s\n", tune);
    const int result = module->play(const_cast<char*>(tune));
    std::printf("  play returned %d; the upload took %.3f s of C64 time\n", result,
                static_cast<double>(c64.cycle() - before) / kPalClockHz);
    if (result != 0) return 1;
    uint64_t mark = c64.cycle();
    session.run_ms(2000);
    print_frames(session, mark, 0x1003, "song 1");
    module->set_output_time(1000);
    mark = c64.cycle();
    session.run_ms(2000);
    print_frames(session, mark, 0x1003, "song 2");
    module->stop();
    mark = c64.cycle();
    session.run_ms(1000);
    print_frames(session, mark, 0x1003, "after stop (the receiver silences the SID)");
    std::printf("SID register writes of the last frames before the stop:\n");
    const std::vector<SidWrite>& writes = c64.sid_writes();
    size_t shown = 0;
    for (size_t i = writes.size(); i-- > 0 && shown < 8;) {
        if (writes[i].cycle >= mark) continue;
        std::printf("  cycle %llu: $D4%02X = $%02X\n",
                    static_cast<unsigned long long>(writes[i].cycle), writes[i].reg, writes[i].value);
        ++shown;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child-cancel") == 0) return child_cancel(argv[2]);
    if (argc >= 5 && std::strcmp(argv[1], "--demo") == 0) return demo_c64(argv[2], argv[3], argv[4]);
    if (argc >= 4 && std::strcmp(argv[1], "--demo") == 0) return demo(argv[2], argv[3]);
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dll") == 0 && i + 1 < argc) g_dll_path = argv[++i];
        else if (std::strcmp(argv[i], "--fixed-dll") == 0 && i + 1 < argc) g_fixed_dll_path = argv[++i];
        else if (std::strcmp(argv[i], "--receiver") == 0 && i + 1 < argc) g_receiver_prg = argv[++i];
        else if (std::strcmp(argv[i], "--demo-tune") == 0 && i + 1 < argc) g_demo_tune = argv[++i];
        else if (std::strcmp(argv[i], "--shots") == 0 && i + 1 < argc) g_shots_dir = argv[++i];
    }
    if (g_dll_path.empty()) {
        std::fprintf(stderr, "usage: zorbin_rig.exe --dll PATH [--fixed-dll PATH] [--shots DIR] [gtest options]\n");
        return 2;
    }
    port_trap_install();
    return RUN_ALL_TESTS();
}
