#include "memory_trend.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace {

using e2e::memoryGrowthFault;
using e2e::memoryTrend;

constexpr int spanFrames = 1000;

// Median VmRSS, KiB, of ten spans of 1,000 frames, as soaks recorded them.
// Debian 13, no leak: swings of 300-900 KiB both ways, 92 KiB lower at the end.
const std::vector<long> wobble{98972, 99296, 98400, 99004, 99260,
                               99140, 98468, 98752, 99244, 98880};
// Debian 12, a seeded leak of 300 bytes a frame, hidden until the last spans.
const std::vector<long> lateLeak{97132, 97132, 97132, 97132, 97132,
                                 97132, 97132, 97132, 97644, 115188};
// Debian 12, no leak.
const std::vector<long> flat{92612, 92680, 92680, 92680, 92680, 92680, 92680, 92680, 92680, 92680};

// `series` with 300 bytes a frame more each span: 2.6 MiB over the ten, under
// the bound on the total, so only the slope can catch it.
std::vector<long> climbing(std::vector<long> series)
{
    for (std::size_t i = 0; i < series.size(); ++i)
        series[i] += static_cast<long>(i * 300 * spanFrames / 1024);
    return series;
}

TEST(MemoryTrendTest, AWobbleIsNotGrowth)
{
    EXPECT_EQ(memoryGrowthFault(wobble, spanFrames), "");
    EXPECT_EQ(memoryGrowthFault(flat, spanFrames), "");
}

TEST(MemoryTrendTest, OneBlockKeptHalfwayIsNotALeak)
{
    std::vector<long> series = flat;
    for (std::size_t i = 5; i < series.size(); ++i)
        series[i] += 1024;
    EXPECT_EQ(memoryGrowthFault(series, spanFrames), "");
}

TEST(MemoryTrendTest, ALateJumpFailsOnTheTotalAndIsNotCalledSteady)
{
    const std::string fault = memoryGrowthFault(lateLeak, spanFrames);
    EXPECT_NE(fault.find("VmRSS grew: 0 bytes a frame"), std::string::npos) << fault;
    EXPECT_NE(fault.find("18056 KiB from the first span to the last"), std::string::npos) << fault;
    EXPECT_EQ(fault.find("steadily"), std::string::npos) << fault;
}

TEST(MemoryTrendTest, ASteadyClimbFailsOnTheSlope)
{
    const std::vector<long> climb = climbing(flat);
    EXPECT_NEAR(memoryTrend(climb, spanFrames).bytesPerFrame, 300.0, 1.0);
    const std::string fault = memoryGrowthFault(climb, spanFrames);
    EXPECT_NE(fault.find("VmRSS grows steadily: 300 bytes a frame"), std::string::npos) << fault;
    EXPECT_NE(fault.find(" 92612 92972 "), std::string::npos) << fault;
}

TEST(MemoryTrendTest, AWobbleDoesNotHideASteadyClimb)
{
    const std::string fault = memoryGrowthFault(climbing(wobble), spanFrames);
    EXPECT_NE(fault.find("VmRSS grows steadily"), std::string::npos) << fault;
}

} // namespace
