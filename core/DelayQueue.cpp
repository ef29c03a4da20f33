#include "DelayQueue.h"

#include <cmath>

#include "core/MonotonicClock.h"

namespace core {

struct DelayQueue::UntilDeadline {
    DelayQueue* queue;
    qint64 deadlineNs;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> h) const { queue->add(deadlineNs, h); }
    void await_resume() const noexcept {}
};

DelayQueue::DelayQueue(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { resumeDue(); });
}

// The queue lives as long as the program; waits still suspended at its end are
// never resumed.
DelayQueue::~DelayQueue() = default;

QCoro::Task<> DelayQueue::wait(double seconds) {
    const qint64 wantNs = seconds > 0 ? static_cast<qint64>(std::ceil(seconds * 1e9)) : 0;
    co_await UntilDeadline{this, MonotonicNs() + wantNs};
}

void DelayQueue::add(qint64 deadlineNs, std::coroutine_handle<> h) {
    const bool earliest = waiting_.empty() || deadlineNs < waiting_.begin()->first;
    waiting_.emplace(deadlineNs, h);   // equal deadlines keep their order
    if (earliest || !timer_.isActive()) arm();
}

void DelayQueue::arm() {
    if (waiting_.empty()) {
        timer_.stop();
        return;
    }
    const qint64 leftNs = waiting_.begin()->first - MonotonicNs();
    timer_.start(leftNs <= 0 ? 0 : static_cast<int>((leftNs + 999'999) / 1'000'000));
}

void DelayQueue::resumeDue() {
    // Only what is due now: a wait started while resuming (even a zero one) lets
    // the event loop run before it resumes.
    const qint64 now = MonotonicNs();
    while (!waiting_.empty() && waiting_.begin()->first <= now) {
        const auto [deadlineNs, h] = *waiting_.begin();
        waiting_.erase(waiting_.begin());
        lateness_.add(MonotonicNs() - deadlineNs);
        h.resume();
    }
    arm();
}

}  // namespace core
