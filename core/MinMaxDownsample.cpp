#include "core/MinMaxDownsample.h"

#include <algorithm>

namespace core {

std::vector<std::size_t> MinMaxDownsample(std::span<const std::int64_t> times, std::span<const double> values,
                                          std::int64_t from, std::int64_t to, int buckets) {
    std::vector<std::size_t> kept;
    if (buckets <= 0 || from > to || values.size() < times.size()) return kept;
    const std::size_t first = std::size_t(std::lower_bound(times.begin(), times.end(), from) - times.begin());
    const std::size_t last = std::size_t(std::upper_bound(times.begin(), times.end(), to) - times.begin());
    kept.reserve(std::min(last - first, 2 * std::size_t(buckets)));
    // 128 bits: a span of milliseconds times the bucket count can pass 2^63.
    using Wide = unsigned __int128;
    // Differences in unsigned arithmetic: exact for any from <= t <= to, never overflowing.
    const Wide width = Wide(std::uint64_t(to) - std::uint64_t(from)) + 1;
    std::size_t i = first;
    while (i < last) {
        const std::uint64_t offset = std::uint64_t(times[i]) - std::uint64_t(from);
        const Wide bucket = Wide(offset) * Wide(buckets) / width;
        // The first offset of the next bucket: ceil((bucket + 1) * width / buckets).
        // One division per bucket, not per point.
        const Wide next = ((bucket + 1) * width + Wide(buckets) - 1) / Wide(buckets);
        std::size_t lo = i, hi = i;
        for (++i; i < last && Wide(std::uint64_t(times[i]) - std::uint64_t(from)) < next; ++i) {
            if (values[i] < values[lo]) lo = i;
            if (values[i] > values[hi]) hi = i;
        }
        if (lo == hi) {
            kept.push_back(lo);
        } else {
            kept.push_back(std::min(lo, hi));
            kept.push_back(std::max(lo, hi));
        }
    }
    return kept;
}

}  // namespace core
