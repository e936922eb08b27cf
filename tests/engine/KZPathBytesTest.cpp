#include <gtest/gtest.h>

#include "platform/KZPathBytes.h"

using kzplatform::kzPathBytes;
using kzplatform::kzPathFromBytes;

// File names that are not UTF-8 lost their odd bytes on the way through a
// QString (they became U+FFFD), so such a folder could not be searched.
TEST(KZPathBytes, EveryByteStringSurvivesTheRoundTrip)
{
    const std::pair<QByteArray, bool> cases[] = { // bytes, valid UTF-8
        {"/plain", true},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", true},
        {"dir\xff" "bad \x80\xbf", false},                      // bytes that never start or continue
        {"\xc0\x80 \xed\xa0\x80 \xf4\x90\x80\x80", false},      // overlong, a surrogate, beyond U+10FFFF
        {"\xf0\x9f\x98\x80\xff\xc3\xa9 cut \xe2\x82", false}, // between valid pairs, truncated
    };
    for (const auto &[bytes, utf8] : cases) {
        bool exact = false;
        const QString text = kzPathFromBytes(bytes, &exact);
        EXPECT_EQ(kzPathBytes(text), bytes) << bytes.toHex().constData();
        EXPECT_EQ(exact, utf8) << bytes.toHex().constData();
        EXPECT_EQ(text == QString::fromUtf8(bytes), utf8) << bytes.toHex().constData();
    }
    // Text made elsewhere encodes as UTF-8, whatever it holds.
    const QString lone = QString(QChar(0xd800)) + QStringLiteral("x");
    EXPECT_EQ(kzPathBytes(lone), lone.toUtf8());
}
