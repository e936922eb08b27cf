// The bookmark blob of a favourite folder: decoded, re-encoded, resolved
// against the real file system (read only: stat and folder listings) and
// loaded into a folder reference as a relaunch does.
#include <QCborMap>

#include "platform/KZFolderBookmark.h"
#include "scope/KZBookmarkFileURL.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace kzplatform;
    const QByteArray blob = kzFuzzBytes(data, size);
    const std::optional<KZFolderBookmark> bookmark = kzDecodeBookmarkData(blob);
    if (bookmark) {
        const std::optional<KZFolderBookmark> again = kzDecodeBookmarkData(kzEncodeBookmark(*bookmark));
        KZ_FUZZ_CHECK(again && again->path == bookmark->path && again->device == bookmark->device
                      && again->inode == bookmark->inode && again->volume == bookmark->volume);
    }

    QByteArray resolved;
    const KZBookmarkResolution resolution = kzResolveBookmarkData(blob, &resolved, 100);
    KZ_FUZZ_CHECK((resolution == KZBookmarkResolution::Invalid) == !bookmark);
    KZ_FUZZ_CHECK((resolution == KZBookmarkResolution::Resolved) == resolved.startsWith('/'));

    const QCborMap archived{{QStringLiteral("serializedPath"), QStringLiteral("/nonexistent/folder")},
                            {QStringLiteral("bookmarkData"), blob}};
    const std::shared_ptr<KZBookmarkFileURL> ref = KZBookmarkFileURL::fromArchive(archived);
    KZ_FUZZ_CHECK(ref);
    const int status = ref->updateStatus();
    ref->displayName();
    KZ_FUZZ_CHECK(status == 0 || !ref->path().isEmpty());
    return 0;
}
