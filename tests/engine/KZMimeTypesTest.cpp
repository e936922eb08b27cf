#include <gtest/gtest.h>

#include "platform/KZMimeTypes.h"

using kzplatform::KZMimeTypes;

TEST(KZMimeTypes, TypesComeFromTheNameAndTheSuffixCacheNeverAnswersForSpecialNames)
{
    EXPECT_TRUE(KZMimeTypes::typeNameForFileName(nullptr, 0).isEmpty());
    // Plain suffixes warm the cache first, then the other way round: names
    // matched by a whole-name or double-suffix pattern never inherit the
    // cached answer of their last suffix, and case-sensitive suffixes stay apart.
    const std::pair<const char *, const char *> plainFirst[] = {
        {"a.txt", "text/plain"},     {"a.gz", "application/gzip"},  {"CMakeLists.txt", "text/x-cmake"},
        {"backup.tar.gz", "application/x-compressed-tar"},          {"Makefile", "text/x-makefile"},
        {"PHOTO.PNG", "image/png"},  {"main.c", "text/x-csrc"},      {"main.C", "text/x-c++src"},
        {"other.c", "text/x-csrc"},  {"no-such-suffix.zzqqy", "application/octet-stream"},
    };
    for (bool reversed : {false, true}) {
        KZMimeTypes::clearCaches();
        for (int i = 0; i < 10; ++i) {
            const auto &[name, type] = plainFirst[reversed ? 9 - i : i];
            EXPECT_EQ(KZMimeTypes::typeNameForFileName(QString::fromUtf8(name)), QString::fromUtf8(type)) << name;
        }
    }
}

TEST(KZMimeTypes, Conformance)
{
    const struct {
        const char *type, *identifier;
        bool conforms;
    } cases[] = {
        {"image/png", "image/png", true},                 // the type itself
        {"image/svg+xml", "text/xml", true},              // an alias of an ancestor
        {"text/plain", "text/x-csrc", false},
        {"image/png", "text/plain", false},
        {"application/pdf", "image/*", false},
        {"application/pdf", "imag/*", false},
        {"application/x-unknown-to-all", "*/*", true},
        {"", "*/*", false},
        {"image/png", "", false},
    };
    // Asked twice: the cached answer is the same.
    for (int round = 0; round < 2; ++round)
        for (const auto &c : cases)
            EXPECT_EQ(KZMimeTypes::typeConformsTo(QString::fromUtf8(c.type), QString::fromUtf8(c.identifier)), c.conforms)
                << c.type << " " << c.identifier;
}
