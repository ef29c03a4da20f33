#pragma once
// Thinning a long series for a plot: the visible time range is cut into equal
// buckets (one per pixel column) and each non-empty bucket keeps its lowest and
// its highest point, so a spike of a single reading still reaches the screen.
// Standard C++ only.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace core {

// Indices into `times`/`values` of the points kept, in time order: for each
// non-empty bucket of [from, to] its minimum and its maximum (one index when
// they are the same point; the earlier point wins a tie). Bucket b holds the
// times t with floor((t - from) * buckets / (to - from + 1)) == b. `times` must
// be sorted ascending; points outside [from, to] are never looked at.
std::vector<std::size_t> MinMaxDownsample(std::span<const std::int64_t> times, std::span<const double> values,
                                          std::int64_t from, std::int64_t to, int buckets);

}  // namespace core
