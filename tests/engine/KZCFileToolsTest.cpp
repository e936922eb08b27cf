#include <gtest/gtest.h>

#include <cstring>

#include "engine/KZCFileTools.h"

namespace {
bool volumeHidden(const char *name)
{
    return KZIsVolumeHiddenFilename(name, std::strlen(name));
}
bool systemHidden(const char *name, int mode)
{
    return KZIsVolumeSystemHiddenFilename(name, std::strlen(name), mode);
}
} // namespace

TEST(KZCFileTools, VolumeHiddenNames)
{
    for (const char *name : {".vol", ".file", ".Trashes", ".fseventsd", ".Spotlight-V100", ".hotfiles.btree",
                             ".DocumentRevisions-V100", ".PKInstallSandboxManager-SystemSoftware", "lost+found"})
        EXPECT_TRUE(volumeHidden(name)) << name;
    EXPECT_TRUE(KZIsVolumeHiddenFilename(".HFS+ Private Directory Data\r", 29));
    // Without its carriage return the name is an ordinary one.
    EXPECT_FALSE(KZIsVolumeHiddenFilename(".HFS+ Private Directory Data", 28));
    for (const char *name : {".Trash", ".trashes", ".Trashes2", "Trashes", "vol", ".DS_Store", "lost+found2", ""})
        EXPECT_FALSE(volumeHidden(name)) << name;
}

TEST(KZCFileTools, TheLengthGivenSelectsTheCandidates)
{
    // ".Trashes" read with a shorter length is ".Trash", which is not hidden.
    EXPECT_FALSE(KZIsVolumeHiddenFilename(".Trashes", 6));
    EXPECT_FALSE(KZIsVolumeHiddenFilename(nullptr, 4));
    const char longName[] = ".Trashes.........................................";
    EXPECT_FALSE(KZIsVolumeHiddenFilename(longName, 41));
    EXPECT_FALSE(KZIsVolumeSystemHiddenFilename(longName, 51, 0));
}

TEST(KZCFileTools, SystemHiddenNamesByMode)
{
    for (int mode : {0, 1}) {
        for (const char *name : {"Volumes", "Network", "dev", "net", "home", "cores", "mach_kernel", "mach.sym", "mach",
                                 "proc", "sys", "run", "boot", "snap", ".Trashes", "lost+found"})
            EXPECT_TRUE(systemHidden(name, mode)) << name << " mode " << mode;
    }
    for (const char *name : {"usr", "private", "etc", "var", "tmp", "bin", "sbin", "lib", "lib32", "lib64", "libx32",
                             "opt", "srv", "root"}) {
        EXPECT_TRUE(systemHidden(name, 0)) << name;
        EXPECT_FALSE(systemHidden(name, 1)) << name;
    }
    for (const char *name : {"Users", "media", "mnt", "work", "Dev", ".Trash", "usr2"}) {
        EXPECT_FALSE(systemHidden(name, 0)) << name;
        EXPECT_FALSE(systemHidden(name, 1)) << name;
    }
}
