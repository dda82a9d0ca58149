// zorbin-inspect: tells whether the plug-in would play a PSID file and why
// not, and with --wire shows the exact bytes an upload puts on the cable.
// Output: one "key: value" line each, a blank line between files.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "link/c64_link.h"
#include "link/steady_clock.h"
#include "sim/receiver_sim.h"
#include "tune/sid_tune.h"

namespace {

SidTune g_tune;  // 64 KiB image: static, like the plug-in's own

void print_usage(std::FILE* out) {
    std::fputs("usage: zorbin-inspect [--wire] FILE...\n"
               "  Prints, for each PSID file, whether the plug-in would play it (and if not,\n"
               "  why), its addresses, songs, length and texts. --wire adds the bytes an\n"
               "  upload with the start song sends over the cable, in hex.\n"
               "  Exit status: 0 all playable, 1 some refused, 2 usage error.\n",
               out);
}

// Header texts are arbitrary bytes: anything but printable ASCII is shown
// as \xNN so that every value stays on its one line.
void print_text(const char* key, const char* text) {
    std::printf("%s: ", key);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '\\') std::printf("\\\\");
        else if (*p < 0x20 || *p >= 0x7F) std::printf("\\x%02X", *p);
        else std::putchar(*p);
    }
    std::putchar('\n');
}

void print_wire(const SidTune& tune) {
    if (tune.songs == 0) {
        std::printf("wire-bytes: 0\nwire: -\n");
        return;
    }
    C64ReceiverSim sim;
    sim.record_writes(false);
    SimPort port{sim};
    SteadyClock clock;
    std::atomic<int32_t> progress{0};
    C64Link<SimPort, SteadyClock> link(port, clock, sim.port_base(), kFullBuildLink);
    const bool sent = link.upload(tune, tune.start_song, progress);
    std::printf("wire-bytes: %u\nwire:", static_cast<unsigned>(sim.bytes().size()));
    for (uint8_t byte : sim.bytes()) std::printf(" %02X", byte);
    std::printf("\n");
    if (!sent) std::printf("wire-error: the simulated receiver stopped answering\n");
}

bool inspect(const char* file, bool wire) {
    const SidLoadReport report = sid_tune_load(file, g_tune);
    const bool playable = g_tune.songs != 0;
    print_text("file", file);
    // The host hands a file to the plug-in by its ".sid" extension or, for
    // other names, by this content test; the loader itself does not ask.
    std::printf("psid-magic: %s\n", sid_is_our_file(file) ? "yes" : "no");
    std::printf("playable: %s\n", playable ? "yes" : "no");
    if (report.verdict != SidVerdict::Accepted) {
        std::printf("reason: %s (%s)\n", sid_verdict_name(report.verdict),
                    sid_verdict_text(report.verdict));
    } else if (!playable) {
        std::printf("reason: no-songs (the song count's low byte is 0)\n");
    }
    const bool judged = report.verdict != SidVerdict::Accepted &&
                        report.verdict != SidVerdict::Empty &&
                        report.verdict != SidVerdict::TooLarge &&
                        report.verdict != SidVerdict::Unreadable;
    if (judged) {
        // The record is cleared for a refused tune; show what the rules saw.
        std::printf("judged-load: $%04X\njudged-init: $%04X\njudged-play: $%04X\n"
                    "judged-length: %u\n",
                    report.load_address, report.init_address, report.play_address,
                    static_cast<unsigned>(report.length));
    }
    std::printf("load: $%04X\ninit: $%04X\nplay: $%04X\n", g_tune.load_address,
                g_tune.init_address, g_tune.play_address);
    std::printf("songs: %u\nstart-song: %u\nlength: %u\n", static_cast<unsigned>(g_tune.songs),
                static_cast<unsigned>(g_tune.start_song), static_cast<unsigned>(g_tune.length));
    print_text("name", g_tune.name);
    print_text("author", g_tune.author);
    print_text("copyright", g_tune.copyright);
    print_text("path", g_tune.path);
    if (wire) print_wire(g_tune);
    return playable;
}

}  // namespace

int main(int argc, char** argv) {
    bool wire = false;
    int first_file = 1;
    for (; first_file < argc && argv[first_file][0] == '-'; ++first_file) {
        if (std::strcmp(argv[first_file], "--wire") == 0) {
            wire = true;
        } else if (std::strcmp(argv[first_file], "--help") == 0) {
            print_usage(stdout);
            return 0;
        } else if (std::strcmp(argv[first_file], "--") == 0) {
            ++first_file;
            break;
        } else {
            print_usage(stderr);
            return 2;
        }
    }
    if (first_file >= argc) {
        print_usage(stderr);
        return 2;
    }
    bool all_playable = true;
    for (int i = first_file; i < argc; ++i) {
        if (i > first_file) std::printf("\n");
        all_playable = inspect(argv[i], wire) && all_playable;
    }
    return all_playable ? 0 : 1;
}
