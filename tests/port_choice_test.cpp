#include "port/port_choice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "link/c64_link.h"
#include "port/library_port.h"
#include "link/steady_clock.h"
#include "port/inpout32.h"
#include "sim/receiver_sim.h"

namespace {

constexpr uint32_t kWindows = 1, kNt = 2;

TEST(PortChoice, SystemKindFromVersionAndWow64) {
    EXPECT_EQ(windows_kind(true, kWindows, false), WindowsKind::Win9x);
    EXPECT_EQ(windows_kind(true, kNt, false), WindowsKind::Nt32);
    EXPECT_EQ(windows_kind(true, kNt, true), WindowsKind::Wow64);
    // No version: treated as the family that needs nothing, as before.
    EXPECT_EQ(windows_kind(false, kNt, true), WindowsKind::Win9x);
    EXPECT_EQ(windows_kind(true, kWindows, true), WindowsKind::Win9x);
}

TEST(PortChoice, OurDriverIsSetUpOnlyOn32BitNt) {
    for (uint32_t flag : {0u, 1u, 7u}) {
        EXPECT_EQ(driver_set_up(WindowsKind::Win9x, flag), DriverSetUp::Nothing);
        EXPECT_EQ(driver_set_up(WindowsKind::Wow64, flag), DriverSetUp::Nothing) << flag;
    }
    EXPECT_EQ(driver_set_up(WindowsKind::Nt32, 0), DriverSetUp::InstallAndOpen);
    EXPECT_EQ(driver_set_up(WindowsKind::Nt32, 1), DriverSetUp::OpenDevice);
    EXPECT_EQ(driver_set_up(WindowsKind::Nt32, 7), DriverSetUp::OpenDevice);
}

TEST(PortChoice, BackendForEveryCombination) {
    const PortLibrary libraries[] = {PortLibrary::Absent, PortLibrary::NoExports,
                                     PortLibrary::DriverClosed, PortLibrary::Ready};
    for (WindowsKind kind : {WindowsKind::Win9x, WindowsKind::Nt32}) {
        EXPECT_TRUE(try_direct_access(kind));
        for (PortLibrary library : libraries) {
            const bool ready = library == PortLibrary::Ready;
            // Granted direct access always wins; the library is only a stand-by.
            EXPECT_EQ(port_backend(kind, DirectAccess::Granted, library), PortBackend::Direct);
            EXPECT_EQ(port_backend(kind, DirectAccess::Refused, library),
                      ready ? PortBackend::Library : PortBackend::None);
            EXPECT_EQ(port_backend(kind, DirectAccess::NotTried, library), PortBackend::None);
        }
    }
    // 64-bit Windows: direct access is never tried nor trusted.
    EXPECT_FALSE(try_direct_access(WindowsKind::Wow64));
    for (DirectAccess direct :
         {DirectAccess::Granted, DirectAccess::Refused, DirectAccess::NotTried}) {
        for (PortLibrary library : libraries) {
            EXPECT_EQ(port_backend(WindowsKind::Wow64, direct, library),
                      library == PortLibrary::Ready ? PortBackend::Library : PortBackend::None);
        }
    }
}

TEST(PortChoice, RefusedPortMessageSaysWhatToDo) {
    const auto text = [](WindowsKind kind, PortLibrary library, DriverGrant driver) {
        return std::string(no_access_text(kind, kInpOut32, library, driver));
    };
    for (WindowsKind kind : {WindowsKind::Win9x, WindowsKind::Nt32, WindowsKind::Wow64}) {
        for (PortLibrary library : {PortLibrary::Absent, PortLibrary::NoExports,
                                    PortLibrary::DriverClosed}) {
            for (DriverGrant driver : {DriverGrant::NotRunning, DriverGrant::BaseNotOpened,
                                       DriverGrant::BaseRefused}) {
                EXPECT_EQ(text(kind, library, driver).rfind("No access to the parallel port.\n", 0),
                          0u);
            }
        }
    }
    // 32-bit NT without the library: the message users of our driver know.
    EXPECT_EQ(text(WindowsKind::Nt32, PortLibrary::Absent, DriverGrant::NotRunning),
              "No access to the parallel port.\nThe UserPort port driver is not running; "
              "start the player once as an administrator.");
    const struct {
        WindowsKind kind;
        PortLibrary library;
        DriverGrant driver;
        const char* says;
    } hints[] = {
        {WindowsKind::Wow64, PortLibrary::Absent, DriverGrant::NotRunning, "64-bit Windows"},
        {WindowsKind::Wow64, PortLibrary::Absent, DriverGrant::BaseNotOpened, "InpOut32"},
        {WindowsKind::Wow64, PortLibrary::NoExports, DriverGrant::NotRunning, "Out32"},
        {WindowsKind::Nt32, PortLibrary::DriverClosed, DriverGrant::NotRunning, "driver is not open"},
        {WindowsKind::Nt32, PortLibrary::Absent, DriverGrant::BaseNotOpened,
         "is running but has not opened this port address: after changing the port, start the "
         "player once as an administrator"},
        {WindowsKind::Nt32, PortLibrary::Absent, DriverGrant::BaseRefused, "never opens this port"}};
    for (const auto& hint : hints)
        EXPECT_NE(text(hint.kind, hint.library, hint.driver).find(hint.says), std::string::npos)
            << hint.says;
}

TEST(PortChoice, WhatTheRunningDriverDidWithTheBase) {
    const auto grant = [](bool running, unsigned base) {
        return driver_grant(running, static_cast<uint16_t>(base));
    };
    for (unsigned base : {0x378u, 0xD010u, 0x3F8u})
        EXPECT_EQ(grant(false, base), DriverGrant::NotRunning);
    // A legacy base refused by a running driver: not ours, or not this session's.
    for (unsigned base : {0x378u, 0x3BCu, 0xD010u, 0x3010u})
        EXPECT_EQ(grant(true, base), DriverGrant::BaseNotOpened) << base;
    for (unsigned base : {0x3F8u, 0x3C0u, 0xCF8u, 0xD014u, 0x80u})
        EXPECT_EQ(grant(true, base), DriverGrant::BaseRefused) << base;
}

// The library's entry points, forwarding to a simulated receiver.
C64ReceiverSim* g_sim = nullptr;
void ZORBIN_LIBRARY_CALL fake_out32(short port, short value) {
    g_sim->io_write(static_cast<uint16_t>(port), static_cast<uint8_t>(value));
}
short ZORBIN_LIBRARY_CALL fake_inp32(short port) {
    return static_cast<short>(g_sim->io_read8(static_cast<uint16_t>(port)));
}

template <typename Port>
void play(Port& port, uint16_t base, const SidTune& tune) {
    SteadyClock clock;
    std::atomic<int32_t> progress{0};
    C64Link<Port, SteadyClock> link(port, clock, base, kFullBuildLink);
    EXPECT_TRUE(link.ready());
    EXPECT_TRUE(link.upload(tune, 1, progress));
    EXPECT_TRUE(link.select_song(tune, 0));
}

std::vector<uint8_t> upload_writes(C64ReceiverSim& sim, bool via_library) {
    SidTune tune;
    sid_tune_clear(tune);
    tune.load_address = tune.init_address = 0x1000;
    tune.play_address = 0x1003;
    tune.songs = tune.start_song = 1;
    tune.length = 300;
    for (int i = 0; i < tune.length; ++i) tune.image[i] = static_cast<uint8_t>(i * 7);
    LibraryPort library;
    library.write = fake_out32;
    library.read = fake_inp32;
    SimPort direct{sim};
    if (via_library) play(library, sim.port_base(), tune);
    else play(direct, sim.port_base(), tune);
    return sim.data_writes();
}

// A PCIe card's base above 0x7FFF passes through the library's `short`.
TEST(LibraryPort, SameWireAsDirectAccessAtAHighBase) {
    for (uint16_t base : {uint16_t{0x378}, uint16_t{0xD010}}) {
        C64ReceiverSim direct(base), library(base);
        g_sim = &library;
        EXPECT_EQ(upload_writes(library, true), upload_writes(direct, false)) << base;
        EXPECT_EQ(library.bytes(), direct.bytes());
        EXPECT_EQ(library.status_reads(), direct.status_reads());
        EXPECT_EQ(library.image_length(), 300);
        g_sim = nullptr;
    }
}

}  // namespace
