#include <gtest/gtest.h>

#include "engine/KZCBufferContainer.h"
#include "tests/testlib/TestEnvironment.h"

TEST(KZCBufferContainer, GrowsOnlyUpToItsCapacityAndKeepsItsAllocationOtherwise)
{
    kztest::LogCapture log;
    KZCBufferContainer c;
    KZCBufferContainerNew(&c, 64, false);
    EXPECT_EQ(c.data, nullptr);
    // size asked -> accepted, bytes allocated afterwards, whether the block is kept
    const struct {
        uint64_t size;
        bool ok;
        uint64_t allocated;
        bool keepsBlock;
    } steps[] = {{10, true, 10, false}, {4, true, 10, true},   {10, true, 10, true},
                 {0, true, 10, true},   {65, false, 10, true}, {64, true, 64, false}};
    for (const auto &step : steps) {
        const char *before = c.data;
        const uint64_t lengthBefore = c.length;
        EXPECT_EQ(KZCBufferContainerSetSize(&c, step.size), step.ok) << step.size;
        EXPECT_EQ(c.allocated, step.allocated) << step.size;
        EXPECT_EQ(c.length, step.ok ? step.size : lengthBefore) << step.size;
        if (step.keepsBlock)
            EXPECT_EQ(c.data, before) << step.size;
        else
            EXPECT_NE(c.data, nullptr) << step.size;
    }
    EXPECT_TRUE(log.contains(QStringLiteral("newSize:65 capacity:64")));
    KZCBufferContainerFree(&c);
    EXPECT_EQ(c.data, nullptr);
    EXPECT_EQ(c.allocated, 0u);
    // Reusable after a free; with allocateNow the whole capacity is there at once.
    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 20));
    KZCBufferContainerFree(&c);
    KZCBufferContainerNew(&c, 4096, true);
    ASSERT_NE(c.data, nullptr);
    EXPECT_EQ(c.allocated, 4096u);
    c.data[4095] = 'x';
    KZCBufferContainerFree(&c);
}

TEST(KZCBufferContainer, AFailedAllocationIsReportedAndLeavesItEmpty)
{
    kztest::LogCapture log;
    KZCBufferContainer c;
    // A capacity no allocator can satisfy: malloc fails, not the capacity check.
    KZCBufferContainerNew(&c, UINT64_MAX, false);
    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 16));
    EXPECT_FALSE(KZCBufferContainerSetSize(&c, UINT64_MAX / 2));
    EXPECT_EQ(c.data, nullptr);
    EXPECT_EQ(c.allocated, 0u);
    KZCBufferContainerFree(&c);
}
