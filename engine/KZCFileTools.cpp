#include "engine/KZCFileTools.h"

#include <cstring>
#include <string_view>

namespace {

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> candidates)
{
    for (std::string_view c : candidates)
        if (c == name)
            return true;
    return false;
}

} // namespace

bool KZIsVolumeHiddenFilename(const char *name, size_t length)
{
    if (!name || length < 1 || length > 40)
        return false;
    const std::string_view n(name, length);
    // ext2/3/4 keep their fsck folder at the top of every volume.
    if (n == "lost+found")
        return true;
    if (name[0] != '.')
        return false;
    return isOneOf(n, {".vol", ".file", ".Trashes", ".fseventsd", ".Spotlight-V100", ".hotfiles.btree",
                       ".DocumentRevisions-V100", std::string_view(".HFS+ Private Directory Data\r", 29),
                       ".PKInstallSandboxManager-SystemSoftware"});
}

bool KZIsVolumeSystemHiddenFilename(const char *name, size_t length, int mode)
{
    if (!name || length < 1 || length > 50)
        return false;
    if (KZIsVolumeHiddenFilename(name, length))
        return true;
    const std::string_view n(name, length);
    if (isOneOf(n, {"dev", "net", "home", "cores", "mach_kernel", "mach.sym", "mach", "Network", "Volumes",
                    // Linux virtual file systems and system-managed folders
                    "proc", "sys", "run", "boot", "snap"}))
        return true;
    if (mode == 0)
        return isOneOf(n, {"etc", "var", "tmp", "bin", "sbin", "usr", "private", "lib", "lib32", "lib64", "libx32",
                           "opt", "srv", "root"});
    return false;
}
