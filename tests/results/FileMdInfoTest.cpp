#include <gtest/gtest.h>

#include "results/FileMdInfo.h"
#include "tests/testlib/TestEnvironment.h"

TEST(FileMdInfo, LookupsAnswerTheFirstEntryOfTheFirstCategory)
{
    struct Case {
        const char *key;
        bool found;
        int category, valueClass, display;
    };
    const Case cases[] = {
        {"kMDItemFSSize", true, 2, 2, 1},
        {"kMDItemPhysicalSize", true, 2, 2, 1},
        {"kMDItemOrientation", true, 4, 2, 2},
        {"kMDItemContentTypeTree", true, 1, 5, 0}, // declared as "CFArray of CFStringRef"
        {"kMDItemLastUsedDate", true, 1, 4, 0},    // the date, not the later date list
        {"kMDItemUsedDates", true, 1, 7, 0},
        {"kMDItemFSInvisible", true, 2, 3, 0},
        {"_kTimeMachineOldestSnapshot", true, 3, 4, 0},
        {"kMDItemCodecs", true, 5, 5, 0},
        {"kMDItemAudioTrackNumber", true, 6, 2, 0},
        {"kMDItemNoSuchAttribute", false, -1, -1, -1},
        {"kmditemfssize", false, -1, -1, -1},
        {nullptr, false, -1, -1, -1},
    };
    for (const Case &c : cases) {
        const QString key = c.key ? QString::fromLatin1(c.key) : QString();
        int category = -1, valueClass = -1, display = -1;
        EXPECT_EQ(FileMdInfo::getInfos(&category, &valueClass, &display, key), c.found) << c.key;
        // A key in no table leaves the outputs as they were.
        EXPECT_EQ(category, c.category) << c.key;
        EXPECT_EQ(valueClass, c.valueClass) << c.key;
        EXPECT_EQ(display, c.display) << c.key;
        int categoryOnly = -1;
        EXPECT_EQ(FileMdInfo::getInfos(&categoryOnly, nullptr, nullptr, key), c.found);
        EXPECT_EQ(categoryOnly, c.category);
    }
}
