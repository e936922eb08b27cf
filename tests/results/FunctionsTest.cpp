#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include "results/Functions.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

::testing::AssertionResult near(QRgb actual, int r, int g, int b, int a, int tolerance = 2)
{
    if (std::abs(qRed(actual) - r) <= tolerance && std::abs(qGreen(actual) - g) <= tolerance
        && std::abs(qBlue(actual) - b) <= tolerance && std::abs(qAlpha(actual) - a) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "rgba(" << qRed(actual) << "," << qGreen(actual) << "," << qBlue(actual)
                                         << "," << qAlpha(actual) << ") expected (" << r << "," << g << "," << b
                                         << "," << a << ")";
}

} // namespace

TEST(Functions, SharedColours)
{
    const QColor bg = Functions::viewBgColor();
    EXPECT_NEAR(bg.redF(), 0.96, 0.002);
    EXPECT_EQ(bg.red(), bg.green());
    EXPECT_EQ(bg.green(), bg.blue());
    EXPECT_EQ(bg.alpha(), 255);
    const QColor line = Functions::sepLineColor();
    EXPECT_EQ(line, QColor(214, 214, 214));
    EXPECT_EQ(line.alpha(), 255);
}

TEST(Functions, OffImageDimsOnlyWhatIsDrawn)
{
    QImage source(3, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(255, 255, 255, 255)); // opaque white
    source.setPixel(1, 0, qRgba(0, 0, 0, 0));         // transparent
    source.setPixel(2, 0, qRgba(255, 0, 0, 128));     // half-transparent red
    const QImage off = Functions::offImageFromImage(source).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(off.size(), source.size());
    // 33 % black over the drawn parts: 255 * 0.67 = 171; the shape keeps its alpha.
    EXPECT_TRUE(near(off.pixel(0, 0), 171, 171, 171, 255));
    EXPECT_EQ(qAlpha(off.pixel(1, 0)), 0);
    EXPECT_TRUE(near(off.pixel(2, 0), 171, 0, 0, 128, 3));

    // A high-resolution image keeps its pixel ratio and pixel size.
    QImage retina(32, 32, QImage::Format_ARGB32_Premultiplied);
    retina.fill(Qt::white);
    retina.setDevicePixelRatio(2.0);
    const QImage offRetina = Functions::offImageFromImage(retina);
    EXPECT_EQ(offRetina.size(), QSize(32, 32));
    EXPECT_DOUBLE_EQ(offRetina.devicePixelRatio(), 2.0);
    EXPECT_TRUE(near(offRetina.convertToFormat(QImage::Format_ARGB32).pixel(31, 31), 171, 171, 171, 255));

    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::white);
    const QPixmap offPixmap = Functions::offImageFromImage(pixmap);
    EXPECT_EQ(offPixmap.size(), QSize(8, 8));
    EXPECT_TRUE(near(offPixmap.toImage().convertToFormat(QImage::Format_ARGB32).pixel(4, 4), 171, 171, 171, 255));

    EXPECT_TRUE(Functions::offImageFromImage(QImage()).isNull());
    EXPECT_TRUE(Functions::offImageFromImage(QPixmap()).isNull());
}

TEST(Functions, PathAbbreviationBelowTheScopeFolder)
{
    const QString me = QStringLiteral("/Users/me");
    EXPECT_EQ(Functions::pathByAbbreviating(QStringLiteral("/Users/me/Documents/a"), me), QStringLiteral("Documents/a"));
    EXPECT_EQ(Functions::pathByAbbreviating(QStringLiteral("/Users/meyer/x"), me), QStringLiteral("/Users/meyer/x"));
    EXPECT_EQ(Functions::pathByAbbreviating(me, me), me); // the scope folder itself
    EXPECT_EQ(Functions::pathByAbbreviating(QStringLiteral("/Users/me/"), me), QString(QLatin1String("")));
    EXPECT_EQ(Functions::pathByAbbreviating(QStringLiteral("/Users/me/\u00e9t\u00e9/caf\u00e9"), me),
              QStringLiteral("\u00e9t\u00e9/caf\u00e9"));
    // With the root as scope, the prefix would be "//": nothing is abbreviated.
    EXPECT_EQ(Functions::pathByAbbreviating(QStringLiteral("/etc/hosts"), QStringLiteral("/")),
              QStringLiteral("/etc/hosts"));
    EXPECT_TRUE(Functions::pathByAbbreviating(QString(), me).isNull());
    EXPECT_TRUE(Functions::pathByAbbreviating(QStringLiteral("/a"), QString()).isNull());
}
