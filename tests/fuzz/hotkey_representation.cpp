// The reader of the saved global shortcut ("HotKey-StringRepresentation"): any
// text either reads as none or as a shortcut whose own text reads back the same.
#include "support/KZHotKeyRepresentation.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(kzFuzzBytes(data, size));
    const std::optional<KZHotKeyRepresentation> rep = KZHotKeyRepresentation::initWithStringRepresentation(text);
    KZ_FUZZ_CHECK(rep.has_value() == (text.count(QLatin1Char('-')) == 3));
    if (!rep)
        return 0;
    const std::optional<KZHotKeyRepresentation> again =
        KZHotKeyRepresentation::initWithStringRepresentation(rep->stringRepresentation());
    KZ_FUZZ_CHECK(again && again->keyCode() == rep->keyCode() && again->modifierFlags() == rep->modifierFlags()
                  && again->isEnabled() == rep->isEnabled());
    return 0;
}
