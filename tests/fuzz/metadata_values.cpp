// The parsers of the numbers and dates that image, media and document headers
// carry as text: whatever they accept is finite, and reads back the same.
#include <cmath>

#include "platform/metadata/KZMetadataValues.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace kzplatform;
    const QString text = QString::fromUtf8(kzFuzzBytes(data, size));

    if (const std::optional<double> n = kzMetadataNumber(text)) {
        KZ_FUZZ_CHECK(std::isfinite(*n));
        const std::optional<double> again = kzMetadataNumber(QString::number(*n, 'g', 17));
        KZ_FUZZ_CHECK(again && *again == *n);
    }

    const QDateTime date = kzMetadataDate(text);
    if (date.isValid()) {
        KZ_FUZZ_CHECK(date.date().year() >= 1);
        const QDateTime again = kzMetadataDate(date.toUTC().toString(Qt::ISODate));
        KZ_FUZZ_CHECK(again.isValid() && again.toSecsSinceEpoch() == date.toSecsSinceEpoch());
    }
    return 0;
}
