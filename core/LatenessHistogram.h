#pragma once
// How late things happened, kept as counts rather than samples: 1 ms steps below
// 100 ms, 10 ms steps up to 10 s, one bucket beyond. A few kilobytes however long
// a service runs; a percentile reads as the upper edge of its bucket.
#include <QtGlobal>

#include <array>

namespace core {

class LatenessHistogram {
public:
    void add(qint64 lateNs);
    quint64 count() const { return count_; }
    // The smallest bucket edge at or below which a share `p` (0..1) of the counts lies; 0 when empty.
    double percentileMs(double p) const;
    double maxMs() const { return static_cast<double>(maxNs_) / 1e6; }

private:
    static constexpr int kFine = 100;            // 0..99 ms by 1 ms
    static constexpr int kCoarse = 990;          // 100..9,999 ms by 10 ms
    std::array<quint64, kFine + kCoarse + 1> buckets_{};
    quint64 count_ = 0;
    qint64 maxNs_ = 0;
};

}  // namespace core
