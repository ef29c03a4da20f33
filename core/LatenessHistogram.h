#pragma once
// How late things happened, kept as counts rather than samples: 1 ms steps below
// 100 ms, 10 ms steps up to 10 s, one bucket beyond. A few kilobytes however long
// a service runs; a percentile reads as the upper edge of its bucket, and the counts
// below a bucket edge give the cumulative buckets of an exported histogram.
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
    // Everything added, in seconds (an exported histogram's sum).
    double sumSeconds() const { return static_cast<double>(sumNs_) / 1e9; }
    // How many were later by less than `edgeMs`; an edge between two bucket edges
    // (above 100 ms, not a multiple of 10 ms) counts up to the bucket edge below it,
    // an edge at or above 10 s counts everything but the last bucket.
    quint64 countBelowMs(int edgeMs) const;

private:
    static constexpr int kFine = 100;            // 0..99 ms by 1 ms
    static constexpr int kCoarse = 990;          // 100..9,999 ms by 10 ms
    std::array<quint64, kFine + kCoarse + 1> buckets_{};
    quint64 count_ = 0;
    qint64 maxNs_ = 0;
    qint64 sumNs_ = 0;
};

}  // namespace core
