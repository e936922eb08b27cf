#include <gtest/gtest.h>

#include "platform/KZMimeTypes.h"

using kzplatform::KZMimeTypes;

namespace {
QString typeOf(const char *name)
{
    return KZMimeTypes::typeNameForFileName(QString::fromUtf8(name));
}
} // namespace

TEST(KZMimeTypes, TypesComeFromTheNameAlone)
{
    KZMimeTypes::clearCaches();
    EXPECT_EQ(typeOf("photo.png"), QStringLiteral("image/png"));
    EXPECT_EQ(typeOf("PHOTO.PNG"), QStringLiteral("image/png"));
    EXPECT_EQ(typeOf("notes.txt"), QStringLiteral("text/plain"));
    EXPECT_EQ(typeOf("no-such-suffix.zzqqy"), QStringLiteral("application/octet-stream"));
    EXPECT_EQ(KZMimeTypes::directoryTypeName(), QStringLiteral("inode/directory"));
    EXPECT_TRUE(KZMimeTypes::typeNameForFileName(nullptr, 0).isEmpty());
}

TEST(KZMimeTypes, TheSuffixCacheNeverAnswersForWholeNameOrDoubleSuffixPatterns)
{
    KZMimeTypes::clearCaches();
    // Warm the cache with the plain suffixes first: the special names must not inherit them.
    EXPECT_EQ(typeOf("a.txt"), QStringLiteral("text/plain"));
    EXPECT_EQ(typeOf("a.gz"), QStringLiteral("application/gzip"));
    EXPECT_EQ(typeOf("CMakeLists.txt"), QStringLiteral("text/x-cmake"));
    EXPECT_EQ(typeOf("backup.tar.gz"), QStringLiteral("application/x-compressed-tar"));
    EXPECT_EQ(typeOf("other.gz"), QStringLiteral("application/gzip"));
    // And the other way round: special names first, plain ones after.
    KZMimeTypes::clearCaches();
    EXPECT_EQ(typeOf("backup.tar.gz"), QStringLiteral("application/x-compressed-tar"));
    EXPECT_EQ(typeOf("other.gz"), QStringLiteral("application/gzip"));
    EXPECT_EQ(typeOf("CMakeLists.txt"), QStringLiteral("text/x-cmake"));
    EXPECT_EQ(typeOf("b.txt"), QStringLiteral("text/plain"));
    EXPECT_EQ(typeOf("Makefile"), QStringLiteral("text/x-makefile"));
}

TEST(KZMimeTypes, CaseSensitiveSuffixesStayApart)
{
    KZMimeTypes::clearCaches();
    const QString lowerC = typeOf("main.c");
    const QString upperC = typeOf("main.C");
    EXPECT_EQ(lowerC, QStringLiteral("text/x-csrc"));
    EXPECT_EQ(upperC, QStringLiteral("text/x-c++src"));
    EXPECT_EQ(typeOf("other.c"), lowerC);
    EXPECT_EQ(typeOf("other.C"), upperC);
}

TEST(KZMimeTypes, Conformance)
{
    // The type itself, an ancestor, an alias of an ancestor.
    EXPECT_TRUE(KZMimeTypes::typeConformsTo(QStringLiteral("image/png"), QStringLiteral("image/png")));
    EXPECT_TRUE(KZMimeTypes::typeConformsTo(QStringLiteral("text/x-csrc"), QStringLiteral("text/plain")));
    EXPECT_TRUE(KZMimeTypes::typeConformsTo(QStringLiteral("image/svg+xml"), QStringLiteral("application/xml")));
    EXPECT_TRUE(KZMimeTypes::typeConformsTo(QStringLiteral("image/svg+xml"), QStringLiteral("text/xml")));
    EXPECT_FALSE(KZMimeTypes::typeConformsTo(QStringLiteral("text/plain"), QStringLiteral("text/x-csrc")));
    EXPECT_FALSE(KZMimeTypes::typeConformsTo(QStringLiteral("image/png"), QStringLiteral("text/plain")));
    // Families, through ancestors too: an SVG is an image and, through XML, text.
    EXPECT_TRUE(KZMimeTypes::typeConformsTo(QStringLiteral("image/png"), QStringLiteral("image/*")));
    EXPECT_TRUE(KZMimeTypes::typeConformsTo(QStringLiteral("image/svg+xml"), QStringLiteral("text/*")));
    EXPECT_FALSE(KZMimeTypes::typeConformsTo(QStringLiteral("application/pdf"), QStringLiteral("image/*")));
    EXPECT_FALSE(KZMimeTypes::typeConformsTo(QStringLiteral("application/pdf"), QStringLiteral("imag/*")));
    // Every type at all, unknown ones included; no type conforms to nothing.
    EXPECT_TRUE(KZMimeTypes::typeConformsTo(QStringLiteral("application/octet-stream"), QStringLiteral("*/*")));
    EXPECT_TRUE(KZMimeTypes::typeConformsTo(QStringLiteral("inode/directory"), QStringLiteral("*/*")));
    EXPECT_FALSE(KZMimeTypes::typeConformsTo(QString(), QStringLiteral("*/*")));
    EXPECT_FALSE(KZMimeTypes::typeConformsTo(QStringLiteral("image/png"), QString()));
    // Asked twice (cached), the answer is the same.
    EXPECT_TRUE(KZMimeTypes::typeConformsTo(QStringLiteral("text/x-csrc"), QStringLiteral("text/plain")));
    EXPECT_FALSE(KZMimeTypes::typeConformsTo(QStringLiteral("text/plain"), QStringLiteral("text/x-csrc")));
}
