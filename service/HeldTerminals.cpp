#include "HeldTerminals.h"

namespace service {

void HeldTerminals::online(const QString& barCode, const QString& channel, const QString& peer, const QDateTime& since,
                           qint64 nowMs) {
    Terminal& t = terminals_[barCode];
    if (t.overdue) --overdue_;
    t.channel = channel;
    t.peer = peer;
    t.since = since;
    t.lastMs = nowMs;
    t.overdue = false;
}

bool HeldTerminals::heard(const QString& barCode, Frame frame, qint64 nowMs) {
    const auto it = terminals_.find(barCode);
    if (it == terminals_.end()) return false;
    Terminal& t = *it;
    const bool wasOverdue = t.overdue;
    t.lastMs = nowMs;
    if (frame == Frame::Heartbeat) {
        // The silence that made it overdue was no heart-beat interval.
        if (wasOverdue) t.beats.resume(nowMs);
        else t.beats.add(nowMs);
    } else if (frame == Frame::Upload) {
        t.uploads.add(nowMs);
    }
    if (!wasOverdue) return false;
    t.overdue = false;
    --overdue_;
    return true;
}

void HeldTerminals::reportedHeartbeat(const QString& barCode, int seconds) {
    const auto it = terminals_.find(barCode);
    if (it != terminals_.end() && seconds > 0) it->reportedHeartbeatS = seconds;
}

QStringList HeldTerminals::sweep(qint64 nowMs, qint64 fixedMs) {
    QStringList late;
    for (auto it = terminals_.begin(); it != terminals_.end(); ++it) {
        Terminal& t = *it;
        if (t.overdue) continue;
        const qint64 after = fixedMs > 0 ? fixedMs : core::OverdueAfterMs(t.beats, t.reportedHeartbeatS);
        if (nowMs - t.lastMs <= after) continue;
        t.overdue = true;
        ++overdue_;
        late.append(it.key());
    }
    return late;
}

const HeldTerminals::Terminal* HeldTerminals::find(const QString& barCode) const {
    const auto it = terminals_.constFind(barCode);
    return it == terminals_.constEnd() ? nullptr : &*it;
}

}  // namespace service
