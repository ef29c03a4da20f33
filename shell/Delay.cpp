#include "shell/Delay.h"

#include <QCoroTimer>
#include <QElapsedTimer>
#include <QTimer>

#include <cmath>

namespace modDtu {

// Measured on the monotonic clock, so a wait never ends early at midnight.
// The coroutine suspends; the event loop keeps running; nothing nests.
QCoro::Task<> Delay(double seconds) {
    const qint64 wantNs = seconds > 0 ? static_cast<qint64>(std::ceil(seconds * 1e9)) : 0;
    QElapsedTimer clock;
    clock.start();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    if (wantNs == 0) {   // a zero wait still lets pending events run once
        timer.start(0);
        co_await timer;
    }
    for (;;) {
        const qint64 leftNs = wantNs - clock.nsecsElapsed();
        if (leftNs <= 0) break;
        timer.start(static_cast<int>((leftNs + 999'999) / 1'000'000));
        co_await timer;
    }
}

}  // namespace modDtu
