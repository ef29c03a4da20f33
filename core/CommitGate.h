#pragma once
// Service mode: an upload's acknowledgement tells the terminal it may forget its
// records, so it leaves only once the readings store has committed them. The
// engine takes the store's mark before and after it hands the upload over (a
// ticket for the upload's rows); when the acknowledgement is due and the rows are
// not committed yet, it waits here for the store's next commit, wakes the writer,
// and gives up (the acknowledgement is withheld, the terminal sends its records
// again) when the store is failing or the commit has not come within kMaxWaitMs.
//
// Waiters are resumed from the event loop (the store's signals, a timer), never
// inside a caller; like the reply queue, the gate outlives the engines, and waits
// still suspended when it goes are never resumed.
#include <QObject>
#include <QTimer>

#include <coroutine>
#include <cstdint>
#include <map>

namespace core {

class ReadingsStore;

class CommitGate : public QObject {
    Q_OBJECT
public:
    // How long past its due time an acknowledgement waits for its rows' commit.
    static constexpr int kMaxWaitMs = 2000;

    struct Ticket {
        std::uint64_t from = 0, to = 0;   // the upload's rows in the store's enqueue order
        bool empty() const { return to <= from; }
    };
    enum class State { Committed, Waiting, Failing };

    explicit CommitGate(ReadingsStore& store, QObject* parent = nullptr);
    ~CommitGate() override;

    // The store's position now: before and after an upload is handed over.
    std::uint64_t mark() const;
    State state(const Ticket& ticket) const;

    // Suspends until the store commits a batch or fails, or until `deadlineNs`
    // (MonotonicNs), whichever comes first; the writer is asked to commit now.
    struct Next;
    Next next(qint64 deadlineNs);
    // Waits suspended now.
    int waiting() const { return static_cast<int>(waiting_.size()); }

private:
    void add(qint64 deadlineNs, std::coroutine_handle<> h);
    void resume(bool all);
    void arm();

    ReadingsStore& store_;
    std::multimap<qint64, std::coroutine_handle<>> waiting_;
    QTimer timer_;
};

struct CommitGate::Next {
    CommitGate* gate;
    qint64 deadlineNs;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> h) const { gate->add(deadlineNs, h); }
    void await_resume() const noexcept {}
};

}  // namespace core
