#include "memory_trend.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace e2e {

MemoryTrend memoryTrend(const std::vector<long> &spanKiB, int spanFrames)
{
    MemoryTrend trend;
    if (spanKiB.size() < 2)
        return trend;
    trend.growthKiB = spanKiB.back() - spanKiB.front();
    std::vector<double> slopes;
    for (std::size_t i = 0; i < spanKiB.size(); ++i) {
        for (std::size_t j = i + 1; j < spanKiB.size(); ++j)
            slopes.push_back(static_cast<double>(spanKiB[j] - spanKiB[i]) / (j - i));
    }
    const std::size_t half = slopes.size() / 2;
    std::nth_element(slopes.begin(), slopes.begin() + half, slopes.end());
    double median = slopes[half];
    if (slopes.size() % 2 == 0)
        median = (median + *std::max_element(slopes.begin(), slopes.begin() + half)) / 2.0;
    trend.bytesPerFrame = median * 1024.0 / spanFrames;
    return trend;
}

std::string memoryGrowthFault(const std::vector<long> &spanKiB, int spanFrames)
{
    const MemoryTrend trend = memoryTrend(spanKiB, spanFrames);
    const bool steady = trend.bytesPerFrame > maxBytesPerFrame;
    if (!steady && trend.growthKiB <= maxGrowthKiB)
        return "";
    char text[256];
    std::snprintf(text, sizeof text,
                  "VmRSS %s: %.0f bytes a frame in the median slope between spans (at most "
                  "%.0f), %ld KiB from the first span to the last (at most %ld); KiB each %d "
                  "frames:",
                  steady ? "grows steadily" : "grew", trend.bytesPerFrame, maxBytesPerFrame,
                  trend.growthKiB, maxGrowthKiB, spanFrames);
    std::string fault = text;
    for (const long kib : spanKiB)
        fault += " " + std::to_string(kib);
    return fault;
}

} // namespace e2e
