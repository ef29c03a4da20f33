#pragma once
// Waits that keep the event loop running without nesting it: a coroutine
// suspends in a deadline-ordered queue served by one precise timer and resumes
// no earlier than asked (waits due at the same moment resume in the order they
// were started). After every co_await the caller must re-check (QPointer)
// whatever it touches. Thousands of pending replies cost one timer.
#include <QObject>
#include <QTimer>

#include <QCoroTask>

#include "core/LatenessHistogram.h"

#include <coroutine>
#include <map>

namespace core {

class DelayQueue : public QObject {
public:
    explicit DelayQueue(QObject* parent = nullptr);
    ~DelayQueue() override;

    // Suspends for `seconds` (a zero wait still lets pending events run once).
    QCoro::Task<> wait(double seconds);
    // Waits suspended now.
    int pending() const { return static_cast<int>(waiting_.size()); }
    // How much later than asked each wait resumed (the timer's and the event loop's share).
    const LatenessHistogram& lateness() const { return lateness_; }

private:
    struct UntilDeadline;
    void add(qint64 deadlineNs, std::coroutine_handle<> h);
    void arm();
    void resumeDue();

    std::multimap<qint64, std::coroutine_handle<>> waiting_;
    QTimer timer_;
    LatenessHistogram lateness_;
};

}  // namespace core
