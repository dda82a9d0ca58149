// pe-check: prints what the release checks look at in a 32-bit PE file,
// one "key: value" per line, imports as "import: DLL!function".
#include <cstdio>

#include "tools/pe_image.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pe-check FILE\n");
        return 2;
    }
    PeImage image;
    std::string error;
    if (!pe_read(argv[1], image, error)) {
        std::fprintf(stderr, "pe-check: %s\n", error.c_str());
        return 1;
    }
    std::printf("machine: 0x%X\nsubsystem: %u\nresources: %s\n", image.machine, image.subsystem,
                image.has_resources ? "yes" : "no");
    for (const std::string& e : image.exports) std::printf("export: %s\n", e.c_str());
    for (const PeImport& i : image.imports) std::printf("import: %s!%s\n", i.dll.c_str(), i.function.c_str());
    return 0;
}
