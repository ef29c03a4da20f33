#pragma once
// The monotonic clock in nanoseconds: waits and lateness never jump with the wall clock.
#include <QtGlobal>

#include <chrono>

namespace core {

inline qint64 MonotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace core
