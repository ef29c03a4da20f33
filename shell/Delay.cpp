#include "shell/Delay.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <coroutine>
#include <map>

namespace modDtu {

namespace {

// Monotonic, so a wait never ends early at midnight.
qint64 NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Every suspended wait, ordered by its deadline, and one precise timer armed for
// the earliest. Thousands of pending replies cost one timer, not one each.
class DeadlineQueue : public QObject {
public:
    explicit DeadlineQueue(QObject* parent) : QObject(parent) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { resumeDue(); });
    }

    void add(qint64 deadlineNs, std::coroutine_handle<> h) {
        const bool earliest = waiting_.empty() || deadlineNs < waiting_.begin()->first;
        waiting_.emplace(deadlineNs, h);   // equal deadlines keep their order
        if (earliest || !timer_.isActive()) arm();
    }

    int size() const { return static_cast<int>(waiting_.size()); }

private:
    void arm() {
        if (waiting_.empty()) {
            timer_.stop();
            return;
        }
        const qint64 leftNs = waiting_.begin()->first - NowNs();
        timer_.start(leftNs <= 0 ? 0 : static_cast<int>((leftNs + 999'999) / 1'000'000));
    }

    void resumeDue() {
        // Only what is due now: a wait started while resuming (even a zero one)
        // lets the event loop run before it resumes.
        const qint64 now = NowNs();
        while (!waiting_.empty() && waiting_.begin()->first <= now) {
            const std::coroutine_handle<> h = waiting_.begin()->second;
            waiting_.erase(waiting_.begin());
            h.resume();
        }
        arm();
    }

    std::multimap<qint64, std::coroutine_handle<>> waiting_;
    QTimer timer_;
};

QPointer<DeadlineQueue> gQueue;

DeadlineQueue* Queue() {
    if (!gQueue) gQueue = new DeadlineQueue(QCoreApplication::instance());
    return gQueue;
}

struct UntilDeadline {
    qint64 deadlineNs;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> h) const { Queue()->add(deadlineNs, h); }
    void await_resume() const noexcept {}
};

}  // namespace

// The coroutine suspends; the event loop keeps running; nothing nests. A zero
// wait still lets pending events run once.
QCoro::Task<> Delay(double seconds) {
    const qint64 wantNs = seconds > 0 ? static_cast<qint64>(std::ceil(seconds * 1e9)) : 0;
    co_await UntilDeadline{NowNs() + wantNs};
}

int PendingDelays() { return gQueue ? gQueue->size() : 0; }

}  // namespace modDtu
