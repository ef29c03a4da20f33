#pragma once
// Waits that keep the UI running without nesting event loops: a coroutine
// suspends in a deadline-ordered queue served by one shared precise timer and
// resumes no earlier than asked (waits due at the same moment resume in the
// order they were started). After every co_await the caller must re-check
// (QPointer) whatever it touches.
#include <QCoroTask>

namespace modDtu {

QCoro::Task<> Delay(double seconds);

// Waits suspended now (for tests and diagnostics).
int PendingDelays();

}  // namespace modDtu
