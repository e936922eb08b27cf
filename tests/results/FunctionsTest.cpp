#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include "results/Functions.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

::testing::AssertionResult near(QRgb actual, int r, int g, int b, int a, int tolerance = 3)
{
    if (std::abs(qRed(actual) - r) <= tolerance && std::abs(qGreen(actual) - g) <= tolerance
        && std::abs(qBlue(actual) - b) <= tolerance && std::abs(qAlpha(actual) - a) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "rgba(" << qRed(actual) << "," << qGreen(actual) << "," << qBlue(actual)
                                         << "," << qAlpha(actual) << ")";
}

} // namespace

TEST(Functions, OffImageDimsOnlyWhatIsDrawn)
{
    QImage source(3, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(255, 255, 255, 255)); // opaque white
    source.setPixel(1, 0, qRgba(0, 0, 0, 0));         // transparent
    source.setPixel(2, 0, qRgba(255, 0, 0, 128));     // half-transparent red
    source.setDevicePixelRatio(2.0);
    const QImage off = Functions::offImageFromImage(source);
    // A high-resolution image keeps its pixel ratio and pixel size.
    EXPECT_EQ(off.size(), source.size());
    EXPECT_DOUBLE_EQ(off.devicePixelRatio(), 2.0);
    // 33 % black over the drawn parts: 255 * 0.67 = 171; the shape keeps its alpha.
    const QImage argb = off.convertToFormat(QImage::Format_ARGB32);
    EXPECT_TRUE(near(argb.pixel(0, 0), 171, 171, 171, 255));
    EXPECT_EQ(qAlpha(argb.pixel(1, 0)), 0);
    EXPECT_TRUE(near(argb.pixel(2, 0), 171, 0, 0, 128));

    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::white);
    EXPECT_TRUE(near(Functions::offImageFromImage(pixmap).toImage().convertToFormat(QImage::Format_ARGB32).pixel(4, 4),
                     171, 171, 171, 255));
    EXPECT_TRUE(Functions::offImageFromImage(QImage()).isNull());
    EXPECT_TRUE(Functions::offImageFromImage(QPixmap()).isNull());
}

TEST(Functions, PathAbbreviationBelowTheScopeFolder)
{
    const std::pair<const char *, const char *> belowMe[] = {
        {"/Users/me/Documents/a", "Documents/a"},
        {"/Users/meyer/x", "/Users/meyer/x"},
        {"/Users/me", "/Users/me"}, // the scope folder itself
        {"/Users/me/", ""},
        {"/Users/me/\u00e9t\u00e9/caf\u00e9", "\u00e9t\u00e9/caf\u00e9"},
    };
    for (const auto &[path, shown] : belowMe)
        EXPECT_EQ(Functions::pathByAbbreviating(QString::fromUtf8(path), QStringLiteral("/Users/me")), QString::fromUtf8(shown));
    // With the root as scope, the prefix would be "//": nothing is abbreviated.
    EXPECT_EQ(Functions::pathByAbbreviating(QStringLiteral("/etc/hosts"), QStringLiteral("/")), QStringLiteral("/etc/hosts"));
    EXPECT_TRUE(Functions::pathByAbbreviating(QString(), QStringLiteral("/a")).isNull());
    EXPECT_TRUE(Functions::pathByAbbreviating(QStringLiteral("/a"), QString()).isNull());
}
