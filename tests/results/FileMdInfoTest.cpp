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
    // A few entries of the catalogue, each for a rule of the lookup.
    const Case cases[] = {
        {"kMDItemFSSize", true, 2, 2, 1},          {"kMDItemOrientation", true, 4, 2, 2},
        {"kMDItemContentTypeTree", true, 1, 5, 0}, // declared as "CFArray of CFStringRef"
        {"kMDItemLastUsedDate", true, 1, 4, 0},    // the date, not the later date list
        {"_kTimeMachineOldestSnapshot", true, 3, 4, 0},
        {"kMDItemNoSuchAttribute", false, -1, -1, -1}, {"kmditemfssize", false, -1, -1, -1},
        {nullptr, false, -1, -1, -1},
    };
    for (const Case &c : cases) {
        const QString key = c.key ? QString::fromLatin1(c.key) : QString();
        int category = -1, valueClass = -1, display = -1;
        EXPECT_EQ(FileMdInfo::getInfos(&category, &valueClass, &display, key), c.found) << c.key;
        // A key in no table leaves the outputs as they were.
        EXPECT_EQ(std::tuple(category, valueClass, display), std::tuple(c.category, c.valueClass, c.display)) << c.key;
        int categoryOnly = -1;
        EXPECT_EQ(FileMdInfo::getInfos(&categoryOnly, nullptr, nullptr, key), c.found);
        EXPECT_EQ(categoryOnly, c.category);
    }
}
