// Checks on the shipped files themselves, as built by the cross build.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "tools/pe_image.h"

namespace {

const std::string kDist = ZORBIN_DIST_DIR;
const std::string kDriver = ZORBIN_CROSS_DIR "/driver/userport.sys";

PeImage read(const std::string& path) {
    PeImage image;
    std::string error;
    EXPECT_TRUE(pe_read(path, image, error)) << path << ": " << error;
    return image;
}

TEST(ReleaseDriver, IsANativeI386DriverUsingOnlyTheKernel) {
    const PeImage driver = read(kDriver);
    EXPECT_EQ(driver.machine, 0x14C);
    EXPECT_EQ(driver.subsystem, 1);  // native
    ASSERT_FALSE(driver.imports.empty());
    for (const PeImport& i : driver.imports)
        EXPECT_TRUE(i.dll == "ntoskrnl.exe" || i.dll == "hal.dll") << i.dll << "!" << i.function;
    EXPECT_TRUE(driver.exports.empty());
}

TEST(ReleaseDlls, ExportOnlyTheModuleGetter) {
    for (const char* build : {"full", "fixed"}) {
        const PeImage dll = read(kDist + "/" + build + "/in_zorbin.dll");
        EXPECT_EQ(dll.machine, 0x14C) << build;
        EXPECT_EQ(dll.exports, std::vector<std::string>{"winampGetInModule2"}) << build;
    }
}

TEST(ReleaseDlls, OnlyTheFullBuildCarriesResources) {
    EXPECT_TRUE(read(kDist + "/full/in_zorbin.dll").has_resources);
    EXPECT_FALSE(read(kDist + "/fixed/in_zorbin.dll").has_resources);
}

TEST(ReleaseDlls, FullBuildLoadsWithTheFirstCommonControls) {
    // InitCommonControlsEx needs common controls 4.70; a Windows 95 without
    // them would refuse to load the DLL at all.
    bool plain = false;
    for (const PeImport& i : read(kDist + "/full/in_zorbin.dll").imports) {
        EXPECT_NE(i.function, "InitCommonControlsEx");
        plain = plain || (i.dll == "COMCTL32.DLL" && i.function == "InitCommonControls");
    }
    EXPECT_TRUE(plain);
}

std::set<std::string> allowed_imports(const std::string& build) {
    std::ifstream list(std::string(ZORBIN_SOURCE_DIR "/plugin/imports-") + build + ".txt");
    std::set<std::string> allowed;
    for (std::string line; std::getline(list, line);)
        if (!line.empty() && line[0] != '#') allowed.insert(line);
    return allowed;
}

TEST(ReleaseDlls, ImportOnlyListedFunctionsOfTheSystem) {
    for (const char* build : {"full", "fixed"}) {
        const std::set<std::string> allowed = allowed_imports(build);
        ASSERT_FALSE(allowed.empty()) << build;
        std::set<std::string> dlls;  // the system DLLs the list names
        for (const std::string& entry : allowed) dlls.insert(entry.substr(0, entry.find('!')));
        const PeImage dll = read(kDist + "/" + build + "/in_zorbin.dll");
        ASSERT_FALSE(dll.imports.empty());
        for (const PeImport& i : dll.imports) {
            EXPECT_TRUE(dlls.count(i.dll)) << build << " imports from " << i.dll;
            EXPECT_TRUE(allowed.count(i.dll + "!" + i.function))
                << build << " imports " << i.dll << "!" << i.function;
        }
    }
}

}  // namespace
