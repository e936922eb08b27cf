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
    // text, then key code, modifier flags and enabled when it reads
    const std::pair<const char *, std::optional<std::tuple<quint64, quint64, bool>>> rows[] = {
        {"KZHotKeyRepresentation-49-1048576-1", std::tuple{49, 1048576, true}},
        {"anything-49-1048576-0", std::tuple{49, 1048576, false}},
        {"-12abc-zz-7", std::tuple{12, 0, true}},
        {"KZHotKeyRepresentation-49-1048576", std::nullopt},
        {"KZHotKeyRepresentation-49-1048576-1-1", std::nullopt},
    };
    for (const auto &[text, expected] : rows) {
        const auto rep = KZHotKeyRepresentation::initWithStringRepresentation(QString::fromLatin1(text));
        ASSERT_EQ(rep.has_value(), expected.has_value()) << text;
        if (rep)
            EXPECT_EQ(std::make_tuple(rep->keyCode(), rep->modifierFlags(), rep->isEnabled()), *expected) << text;
    }
    KZHotKeyRepresentation(kSpace, KZModifierCommand, true).saveToUserDefaults();
    KZUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().stringForKey(QStringLiteral("HotKey-StringRepresentation")),
              QStringLiteral("KZHotKeyRepresentation-49-1048576-1"));
    EXPECT_EQ(KZHotKeyRepresentation::hotKeyRepresentationFromUserDefaults()->keyCode(), kSpace);
}

} // namespace
