// The update checker's version file and the minimum-system comparison.
#include "tests/fuzz/FuzzSupport.h"
#include "update/KZUpdateVersionFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const KZUpdateVersionFile file = KZUpdateVersionFile::parse(kzFuzzBytes(data, size));
    if (file.kind == KZUpdateVersionFile::Offer) {
        KZ_FUZZ_CHECK(!file.displayVersion.isEmpty() && !file.downloadLink.isEmpty());
        KZ_FUZZ_CHECK(file.sha256.isEmpty() || file.sha256.size() == 32);
        // A system never is older than itself; the order is strict.
        const QString minimum = file.minimumSystem;
        KZ_FUZZ_CHECK(!kzSystemIsOlderThan(minimum, minimum));
        KZ_FUZZ_CHECK(
            !(kzSystemIsOlderThan(file.displayVersion, minimum) && kzSystemIsOlderThan(minimum, file.displayVersion)));
    } else if (file.kind == KZUpdateVersionFile::Malformed) {
        KZ_FUZZ_CHECK(file.message.isEmpty() && file.sha256.isEmpty());
    }
    return 0;
}
