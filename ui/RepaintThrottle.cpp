#include "ui/RepaintThrottle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>

RepaintThrottle* RepaintThrottle::install(QCoreApplication* app, int intervalMs) {
    auto* t = new RepaintThrottle(intervalMs, app);
    app->installEventFilter(t);
    return t;
}

RepaintThrottle::RepaintThrottle(int intervalMs, QObject* parent) : QObject(parent), intervalMs_(intervalMs) {
    clock_.start();
}

bool RepaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    // A window's pending changes are painted when it receives this request.
    if (event->type() != QEvent::UpdateRequest || !watched->isWidgetType() || watched == passing_) return false;
    const qint64 now = clock_.elapsed();
    auto it = windows_.find(watched);
    if (it == windows_.end()) {
        it = windows_.insert(watched, Window{now - intervalMs_, false});
        connect(watched, &QObject::destroyed, this, [this, watched] { windows_.remove(watched); });
    }
    Window& w = *it;
    if (!w.pending && now - w.lastMs >= intervalMs_) {
        w.lastMs = now;
        return false;   // paint now
    }
    if (!w.pending) repaintLater(watched, w, now);
    ++deferred_;
    return true;   // the repaint at the end of the interval covers this request
}

void RepaintThrottle::repaintLater(QObject* window, Window& w, qint64 nowMs) {
    w.pending = true;
    const int wait = static_cast<int>(std::max<qint64>(0, w.lastMs + intervalMs_ - nowMs));
    // The window is the timer's context: a window that goes away takes its timer along.
    QTimer::singleShot(wait, Qt::PreciseTimer, window, [this, window] {
        auto it = windows_.find(window);
        if (it == windows_.end()) return;
        it->pending = false;
        it->lastMs = clock_.elapsed();
        QEvent request(QEvent::UpdateRequest);
        passing_ = window;
        QCoreApplication::sendEvent(window, &request);
        passing_ = nullptr;
    });
}
