#include <gtest/gtest.h>

#include <cstring>

#include "engine/KZCFileTools.h"

TEST(KZCFileTools, HiddenNamesAtTheTopOfAVolumeAndOfTheSystem)
{
    // name, hidden at a volume's top, hidden at the root in mode 0, in mode 1
    const struct {
        const char *name;
        bool volume, system0, system1;
    } cases[] = {
        {".Trashes", true, true, true},      {"lost+found", true, true, true},
        {".Spotlight-V100", true, true, true}, {".PKInstallSandboxManager-SystemSoftware", true, true, true},
        {".Trash", false, false, false},     {".trashes", false, false, false},
        {".Trashes2", false, false, false},  {"lost+found2", false, false, false},
        {".DS_Store", false, false, false},  {"Volumes", false, true, true},
        {"proc", false, true, true},         {"snap", false, true, true},
        {"usr", false, true, false},         {"lib64", false, true, false},
        {"root", false, true, false},        {"media", false, false, false},
        {"Dev", false, false, false},        {"", false, false, false},
    };
    for (const auto &c : cases) {
        const size_t n = std::strlen(c.name);
        EXPECT_EQ(KZIsVolumeHiddenFilename(c.name, n), c.volume) << c.name;
        EXPECT_EQ(KZIsVolumeSystemHiddenFilename(c.name, n, 0), c.system0) << c.name;
        EXPECT_EQ(KZIsVolumeSystemHiddenFilename(c.name, n, 1), c.system1) << c.name;
    }
}

TEST(KZCFileTools, TheLengthGivenSelectsTheCandidates)
{
    EXPECT_TRUE(KZIsVolumeHiddenFilename(".HFS+ Private Directory Data\r", 29));
    // Without its carriage return the name is an ordinary one.
    EXPECT_FALSE(KZIsVolumeHiddenFilename(".HFS+ Private Directory Data", 28));
    // ".Trashes" read with a shorter length is ".Trash", which is not hidden.
    EXPECT_FALSE(KZIsVolumeHiddenFilename(".Trashes", 6));
    EXPECT_FALSE(KZIsVolumeHiddenFilename(nullptr, 4));
    const char longName[] = ".Trashes.........................................";
    EXPECT_FALSE(KZIsVolumeHiddenFilename(longName, 41));
    EXPECT_FALSE(KZIsVolumeSystemHiddenFilename(longName, 51, 0));
}
