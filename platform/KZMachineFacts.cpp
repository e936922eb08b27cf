#include "platform/KZMachineFacts.h"

#include <unistd.h>

#include <QFile>
#include <QHash>

namespace kzplatform {

namespace {

QByteArray readSmallFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(1 << 20);
}

QHash<QByteArray, QByteArray> osRelease(const QString &path)
{
    QHash<QByteArray, QByteArray> values;
    const QByteArray text = readSmallFile(path);
    for (const QByteArray &rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const int eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        QByteArray value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        values.insert(line.left(eq), value);
    }
    return values;
}

} // namespace

uint64_t kzPhysicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

std::optional<KZMemoryStatistics> kzMemoryStatistics(const QString &meminfoPath)
{
    const QByteArray text = readSmallFile(meminfoPath);
    if (text.isEmpty())
        return std::nullopt;
    QHash<QByteArray, uint64_t> kib;
    for (const QByteArray &line : text.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        QByteArray rest = line.mid(colon + 1).trimmed();
        const int space = rest.indexOf(' ');
        if (space > 0)
            rest = rest.left(space);
        bool ok = false;
        const uint64_t v = rest.toULongLong(&ok);
        if (ok)
            kib.insert(line.left(colon), v);
    }
    if (!kib.contains("MemFree"))
        return std::nullopt;
    const uint64_t pageKiB = static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) / 1024;
    const auto pages = [&](std::initializer_list<const char *> keys) {
        uint64_t total = 0;
        for (const char *k : keys)
            total += kib.value(k);
        return pageKiB ? total / pageKiB : 0;
    };
    KZMemoryStatistics s;
    s.freePages = pages({"MemFree"});
    s.activePages = pages({"Active"});
    s.inactivePages = pages({"Inactive"});
    s.wiredPages = pages({"Unevictable", "Mlocked", "KernelStack", "PageTables"});
    return s;
}

QString kzMachineModel(const QString &dmiDir)
{
    const QString vendor = QString::fromUtf8(readSmallFile(dmiDir + QStringLiteral("/sys_vendor")).trimmed());
    const QString product = QString::fromUtf8(readSmallFile(dmiDir + QStringLiteral("/product_name")).trimmed());
    if (vendor.isEmpty())
        return product;
    if (product.isEmpty())
        return vendor;
    return vendor + QLatin1Char(' ') + product;
}

double kzProcessorMHz(const QString &cpuinfoPath)
{
    const QByteArray text = readSmallFile(cpuinfoPath);
    for (const QByteArray &line : text.split('\n')) {
        if (!line.startsWith("cpu MHz"))
            continue;
        const int colon = line.indexOf(':');
        bool ok = false;
        const double mhz = line.mid(colon + 1).trimmed().toDouble(&ok);
        if (ok && mhz > 0)
            return mhz;
    }
    bool ok = false;
    const double khz = readSmallFile(QStringLiteral("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq")).trimmed().toDouble(&ok);
    return ok ? khz / 1000.0 : 0.0;
}

long kzProcessorCount()
{
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? n : 1;
}

double kzUptimeSeconds(const QString &uptimePath)
{
    const QByteArray text = readSmallFile(uptimePath).trimmed();
    const int space = text.indexOf(' ');
    bool ok = false;
    const double secs = (space > 0 ? text.left(space) : text).toDouble(&ok);
    return ok ? secs : -1.0;
}

QString kzOperatingSystemName(const QString &osReleasePath)
{
    const auto values = osRelease(osReleasePath);
    const QByteArray name = values.value("NAME");
    const QByteArray version = values.value("VERSION_ID");
    if (!name.isEmpty() && !version.isEmpty())
        return QString::fromUtf8(name + ' ' + version);
    return QString::fromUtf8(values.value("PRETTY_NAME", name));
}

QString kzOperatingSystemVersion(const QString &osReleasePath)
{
    return QString::fromUtf8(osRelease(osReleasePath).value("VERSION_ID"));
}

} // namespace kzplatform
