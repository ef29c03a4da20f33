#include "core/CommitGate.h"

#include <utility>

#include "core/MonotonicClock.h"
#include "core/ReadingsStore.h"

namespace core {

CommitGate::CommitGate(ReadingsStore& store, QObject* parent) : QObject(parent), store_(store) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { resume(false); });
    // Both come from the writer thread: queued, so waiters resume from this thread's loop.
    connect(&store, &ReadingsStore::batchCommitted, this, [this] { resume(true); }, Qt::QueuedConnection);
    connect(&store, &ReadingsStore::failingChanged, this, [this] { resume(true); }, Qt::QueuedConnection);
}

CommitGate::~CommitGate() = default;

std::uint64_t CommitGate::mark() const { return store_.enqueuedMark(); }

CommitGate::State CommitGate::state(const Ticket& t) const {
    if (t.empty() || store_.committed(t.from, t.to)) return State::Committed;
    return store_.failing() ? State::Failing : State::Waiting;
}

CommitGate::Next CommitGate::next(qint64 deadlineNs) { return Next{this, deadlineNs}; }

void CommitGate::add(qint64 deadlineNs, std::coroutine_handle<> h) {
    // The writer would commit within its batch interval anyway; an acknowledgement is due now.
    store_.commitSoon();
    const bool earliest = waiting_.empty() || deadlineNs < waiting_.begin()->first;
    waiting_.emplace(deadlineNs, h);
    if (earliest || !timer_.isActive()) arm();
}

void CommitGate::arm() {
    if (waiting_.empty()) {
        timer_.stop();
        return;
    }
    const qint64 leftNs = waiting_.begin()->first - MonotonicNs();
    timer_.start(leftNs <= 0 ? 0 : static_cast<int>((leftNs + 999'999) / 1'000'000));
}

void CommitGate::resume(bool all) {
    // Taken first: a waiter that finds its rows still uncommitted suspends here again.
    std::multimap<qint64, std::coroutine_handle<>> due;
    if (all) {
        due.swap(waiting_);
    } else {
        const auto end = waiting_.upper_bound(MonotonicNs());
        due.insert(waiting_.begin(), end);
        waiting_.erase(waiting_.begin(), end);
    }
    for (const auto& [deadlineNs, h] : due) h.resume();
    arm();
}

}  // namespace core
