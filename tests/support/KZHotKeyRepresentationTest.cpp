#include <tuple>

#include <gtest/gtest.h>

#include "platform/KZHotKeyKeys.h"
#include "support/KZHotKeyRepresentation.h"
#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

constexpr quint64 kSpace = 49;

TEST(KZHotKeyRepresentation, ReadsAndWritesTheStoredForm)
{
    struct Row
    {
        const char *text;
        bool valid;
        quint64 keyCode, flags;
        bool enabled;
    } rows[] = {
        {"KZHotKeyRepresentation-49-1048576-1", true, 49, 1048576, true},
        {"anything-49-1048576-0", true, 49, 1048576, false},
        {"-12abc-zz-7", true, 12, 0, true},
        {"KZHotKeyRepresentation-49-1048576", false, 0, 0, false},
        {"KZHotKeyRepresentation-49-1048576-1-1", false, 0, 0, false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.text);
        const auto rep = KZHotKeyRepresentation::initWithStringRepresentation(QString::fromLatin1(r.text));
        ASSERT_EQ(rep.has_value(), r.valid);
        if (rep) {
            EXPECT_EQ(std::make_tuple(rep->keyCode(), rep->modifierFlags(), rep->isEnabled()),
                      std::make_tuple(r.keyCode, r.flags, r.enabled));
        }
    }
    KZHotKeyRepresentation(kSpace, KZModifierCommand, true).saveToUserDefaults();
    KZUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().stringForKey(QStringLiteral("HotKey-StringRepresentation")),
              QStringLiteral("KZHotKeyRepresentation-49-1048576-1"));
    EXPECT_EQ(KZHotKeyRepresentation::hotKeyRepresentationFromUserDefaults()->keyCode(), kSpace);
}

} // namespace
