#include "LoopLagProbe.h"

#include <chrono>

namespace service {

namespace {
constexpr int kIntervalMs = 50;

qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

LoopLagProbe::LoopLagProbe(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        lag_.add(NowNs() - dueNs_);
        arm();
    });
    arm();
}

void LoopLagProbe::arm() {
    dueNs_ = NowNs() + kIntervalMs * 1'000'000LL;
    timer_.start(kIntervalMs);
}

}  // namespace service
