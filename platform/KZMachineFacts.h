// Facts about the machine, read from Linux sources: /sys/devices/virtual/dmi/id,
// /proc/cpuinfo, /proc/meminfo, /proc/uptime, /etc/os-release and sysconf.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace kzplatform {

struct KZMemoryStatistics {
    // Page counts, in units of the system page size.
    uint64_t freePages = 0;
    uint64_t activePages = 0;
    uint64_t inactivePages = 0;
    uint64_t wiredPages = 0; // kernel memory that cannot be swapped (unevictable + mlocked + kernel stack + page tables)
};

// Total physical memory in bytes (sysconf), 0 when unknown.
uint64_t kzPhysicalMemory();
// From /proc/meminfo (or another file, for tests). nullopt when unreadable.
std::optional<KZMemoryStatistics> kzMemoryStatistics(const QString &meminfoPath = QStringLiteral("/proc/meminfo"));
// The hardware model: DMI vendor and product name ("LENOVO 20HRCTO1WW"), or empty.
QString kzMachineModel(const QString &dmiDir = QStringLiteral("/sys/devices/virtual/dmi/id"));
// Processor frequency in MHz (the first "cpu MHz" of /proc/cpuinfo, else the
// cpufreq maximum), 0 when unknown.
double kzProcessorMHz(const QString &cpuinfoPath = QStringLiteral("/proc/cpuinfo"));
// Online processor count.
long kzProcessorCount();
// Seconds since boot, or -1 when unreadable.
double kzUptimeSeconds(const QString &uptimePath = QStringLiteral("/proc/uptime"));
// "NAME VERSION_ID" of os-release ("Debian GNU/Linux 12"); PRETTY_NAME when
// VERSION_ID is missing; empty when unreadable.
QString kzOperatingSystemName(const QString &osReleasePath = QStringLiteral("/etc/os-release"));
// VERSION_ID of os-release, or empty.
QString kzOperatingSystemVersion(const QString &osReleasePath = QStringLiteral("/etc/os-release"));

} // namespace kzplatform
