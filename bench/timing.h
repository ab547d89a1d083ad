// What the direct benchmark drivers share: the median time of runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace kiv::bench {

// The median wall time of `runs` calls of `work`, in seconds.
inline double median_seconds(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace kiv::bench
