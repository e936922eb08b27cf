// The mountinfo parser and what is derived from the table: the access kind of
// each mount, the visible mounts, the volumes offered to the user and the
// mount that holds a path.
#include <QSet>

#include "platform/KZMountTable.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace kzplatform;
    const QList<KZMountEntry> entries = kzParseMountInfo(kzFuzzBytes(data, size));
    for (const KZMountEntry &e : entries) {
        KZ_FUZZ_CHECK(e.mountPoint.startsWith('/'));
        kzMountAccess(e);
    }

    const QList<KZMountEntry> visible = kzVisibleMounts(entries);
    KZ_FUZZ_CHECK(visible.size() <= entries.size());
    for (const KZMountEntry &e : visible) {
        // A mount point is held by the mount on top of it.
        const std::optional<KZMountEntry> holder = kzMountHoldingPath(entries, e.mountPoint);
        KZ_FUZZ_CHECK(holder && holder->mountPoint == e.mountPoint && holder->mountId == e.mountId
                      && holder->source == e.source);
        if (e.mountPoint != "/" && e.mountPoint.endsWith('/'))
            continue;
        const QByteArray below = e.mountPoint == "/" ? QByteArray("/x") : e.mountPoint + "/x";
        const std::optional<KZMountEntry> belowHolder = kzMountHoldingPath(entries, below);
        KZ_FUZZ_CHECK(belowHolder && belowHolder->mountPoint.size() >= e.mountPoint.size());
    }

    const QList<QByteArray> volumes = kzMountedVolumePaths(entries);
    KZ_FUZZ_CHECK(!volumes.isEmpty() && volumes.first() == "/");
    KZ_FUZZ_CHECK(QSet<QByteArray>(volumes.begin(), volumes.end()).size() == volumes.size());
    return 0;
}
