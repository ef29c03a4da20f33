#include "LatenessHistogram.h"

#include <algorithm>
#include <cmath>

namespace core {

void LatenessHistogram::add(qint64 lateNs) {
    lateNs = std::max<qint64>(lateNs, 0);
    const qint64 ms = lateNs / 1'000'000;
    std::size_t i;
    if (ms < kFine) i = static_cast<std::size_t>(ms);
    else if (ms < 10'000) i = static_cast<std::size_t>(kFine + (ms - kFine) / 10);
    else i = buckets_.size() - 1;
    ++buckets_[i];
    ++count_;
    maxNs_ = std::max(maxNs_, lateNs);
    sumNs_ += lateNs;
}

quint64 LatenessHistogram::countBelowMs(int edgeMs) const {
    std::size_t end;   // buckets [0, end) lie below the edge
    if (edgeMs <= 0) end = 0;
    else if (edgeMs <= kFine) end = static_cast<std::size_t>(edgeMs);
    else if (edgeMs < 10'000) end = static_cast<std::size_t>(kFine + (edgeMs - kFine) / 10);
    else end = buckets_.size() - 1;
    quint64 n = 0;
    for (std::size_t i = 0; i < end; ++i) n += buckets_[i];
    return n;
}

double LatenessHistogram::percentileMs(double p) const {
    if (count_ == 0) return 0;
    const auto want = static_cast<quint64>(std::ceil(std::clamp(p, 0.0, 1.0) * static_cast<double>(count_)));
    quint64 seen = 0;
    for (std::size_t i = 0; i < buckets_.size(); ++i) {
        seen += buckets_[i];
        if (seen < std::max<quint64>(want, 1)) continue;
        if (i + 1 == buckets_.size()) return maxMs();
        const double upper = i < kFine ? static_cast<double>(i + 1) : kFine + 10.0 * static_cast<double>(i - kFine + 1);
        return std::min(upper, maxMs());
    }
    return maxMs();
}

}  // namespace core
