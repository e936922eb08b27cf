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

TEST(FileMdInfo, TablesAndTitles)
{
    const std::pair<const FileMdInfo::InfoList *, qsizetype> tables[] = {
        {&FileMdInfo::commonAttributeInfos(), 68}, {&FileMdInfo::fileSytemAttributeInfos(), 19},
        {&FileMdInfo::backupAttributeInfos(), 3},  {&FileMdInfo::imageAttributeInfos(), 39},
        {&FileMdInfo::videoAttributeInfos(), 12},  {&FileMdInfo::audioAttributeInfos(), 19},
    };
    for (const auto &[table, size] : tables)
        EXPECT_EQ(table->size(), size);
    EXPECT_EQ(&FileMdInfo::imageAttributeInfos(), &FileMdInfo::imageAttributeInfos());

    // The common table's second "kMDItemLastUsedDate" is a date list.
    const FileMdInfo::InfoList &common = FileMdInfo::commonAttributeInfos();
    QStringList lastUsedClasses;
    for (const QVariantMap &info : common) {
        if (info.value(QStringLiteral("key")) == QStringLiteral("kMDItemLastUsedDate"))
            lastUsedClasses.append(info.value(QStringLiteral("valueClass")).toString());
    }
    EXPECT_EQ(lastUsedClasses, (QStringList{QStringLiteral("CFDate"), QStringLiteral("CFArray of CFDates")}));
    EXPECT_EQ(FileMdInfo::searchInfosForAttribute(QStringLiteral("kMDItemFSSize"), common), nullptr);

    EXPECT_EQ(FileMdInfo::localizedCategory(1), QStringLiteral("Common"));
    EXPECT_EQ(FileMdInfo::localizedCategory(2), QStringLiteral("File System"));
    EXPECT_EQ(FileMdInfo::localizedCategory(6), QStringLiteral("Audio"));
    EXPECT_TRUE(FileMdInfo::localizedCategory(0).isNull());
    EXPECT_TRUE(FileMdInfo::localizedCategory(7).isNull());
}
