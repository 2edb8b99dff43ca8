#ifndef BUMPMAP_MEMORY_TREND_H
#define BUMPMAP_MEMORY_TREND_H

#include <string>
#include <vector>

namespace e2e {

// How a program's resident size moved over equal spans of frames, from the
// median VmRSS of each span.
struct MemoryTrend {
    // The median of the slopes between every two spans (Theil-Sen): a span or
    // two that swing, or one 1 MiB block kept or given back, cannot carry it.
    double bytesPerFrame = 0.0;
    // The last span less the first: a leak that the C library first serves
    // from memory already resident shows only here, in one late jump.
    long growthKiB = 0;
};

// Over ten spans of 1,000 frames, one 1 MiB block kept halfway moves the
// slope by 1 MiB / 8,000 frames, 131 bytes a frame; a climb steeper than this
// bound is steady. Four such blocks in all are a leak, however they came.
constexpr double maxBytesPerFrame = 200.0;
constexpr long maxGrowthKiB = 4096;

MemoryTrend memoryTrend(const std::vector<long> &spanKiB, int spanFrames);

// Empty when the series keeps within both bounds; else what grew, by how
// much, and the series.
std::string memoryGrowthFault(const std::vector<long> &spanKiB, int spanFrames);

} // namespace e2e

#endif
