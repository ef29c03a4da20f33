#pragma once
// Waits that keep the UI running without nesting event loops: a coroutine
// suspends on a precise single-shot timer and resumes no earlier than asked.
// After every co_await the caller must re-check (QPointer) whatever it touches.
#include <QCoroTask>

namespace modDtu {

QCoro::Task<> Delay(double seconds);

}  // namespace modDtu
