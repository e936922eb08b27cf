#include <gtest/gtest.h>

#include "engine/KZCBufferContainer.h"
#include "tests/testlib/TestEnvironment.h"

TEST(KZCBufferContainer, GrowsOnlyAndKeepsItsAllocationForSmallerSizes)
{
    KZCBufferContainer c;
    KZCBufferContainerNew(&c, 64, false);
    EXPECT_EQ(c.capacity, 64u);
    EXPECT_EQ(c.allocated, 0u);
    EXPECT_EQ(c.data, nullptr);

    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 10));
    char *first = c.data;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(c.allocated, 10u);
    EXPECT_EQ(c.length, 10u);

    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 4));
    EXPECT_EQ(c.data, first);
    EXPECT_EQ(c.allocated, 10u);
    EXPECT_EQ(c.length, 4u);

    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 8));
    EXPECT_EQ(c.data, first);
    EXPECT_EQ(c.allocated, 10u);
    EXPECT_EQ(c.length, 8u);

    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 0));
    EXPECT_EQ(c.allocated, 10u);
    EXPECT_EQ(c.length, 0u);

    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 64));
    EXPECT_EQ(c.allocated, 64u);
    EXPECT_EQ(c.length, 64u);
    KZCBufferContainerFree(&c);
    EXPECT_EQ(c.data, nullptr);
}

TEST(KZCBufferContainer, RefusesToGrowBeyondItsCapacityAndKeepsTheEarlierAllocation)
{
    kztest::LogCapture log;
    KZCBufferContainer c;
    KZCBufferContainerNew(&c, 32, false);
    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 10));
    char *data = c.data;
    EXPECT_FALSE(KZCBufferContainerSetSize(&c, 33));
    EXPECT_EQ(c.data, data);
    EXPECT_EQ(c.allocated, 10u);
    EXPECT_EQ(c.length, 10u);
    EXPECT_TRUE(log.contains(QStringLiteral("KZCBufferContainerSetSize(")));
    EXPECT_TRUE(log.contains(QStringLiteral("newSize>bufferContainer->capacity newSize:33 capacity:32")));
    KZCBufferContainerFree(&c);
}

TEST(KZCBufferContainer, AllocatesTheWholeCapacityAtOnceWhenAskedAndCanBeReusedAfterFree)
{
    KZCBufferContainer c;
    KZCBufferContainerNew(&c, 4096, true);
    ASSERT_NE(c.data, nullptr);
    EXPECT_EQ(c.allocated, 4096u);
    c.data[4095] = 'x'; // the whole allocation is usable
    KZCBufferContainerFree(&c);
    EXPECT_EQ(c.allocated, 0u);
    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 100));
    EXPECT_EQ(c.allocated, 100u);
    KZCBufferContainerFree(&c);
}

TEST(KZCBufferContainer, ReportsAFailedAllocationAndIsLeftEmpty)
{
    kztest::LogCapture log;
    KZCBufferContainer c;
    // A capacity no allocator can satisfy: malloc fails, not the capacity check.
    KZCBufferContainerNew(&c, UINT64_MAX, false);
    ASSERT_TRUE(KZCBufferContainerSetSize(&c, 16));
    EXPECT_FALSE(KZCBufferContainerSetSize(&c, UINT64_MAX / 2));
    EXPECT_EQ(c.data, nullptr);
    EXPECT_EQ(c.allocated, 0u);
    EXPECT_TRUE(log.contains(QStringLiteral("bufferContainer->ptr=malloc(newSize))==NULL")));
    KZCBufferContainerFree(&c);
}
