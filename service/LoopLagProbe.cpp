#include "LoopLagProbe.h"

#include "core/MonotonicClock.h"

namespace service {

namespace {
constexpr int kIntervalMs = 50;
}  // namespace

LoopLagProbe::LoopLagProbe(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        lag_.add(core::MonotonicNs() - dueNs_);
        arm();
    });
    arm();
}

void LoopLagProbe::arm() {
    dueNs_ = core::MonotonicNs() + kIntervalMs * 1'000'000LL;
    timer_.start(kIntervalMs);
}

}  // namespace service
