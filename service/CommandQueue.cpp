#include "CommandQueue.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include "CommandDesk.h"
#include "CommandMessage.h"

namespace service {

namespace {
// A request no node says anything about within this long is the steward's.
constexpr int kQuietMs = 1000;
constexpr int kSweepMs = 1000;
qint64 NowMs() { return QDateTime::currentMSecsSinceEpoch(); }
}  // namespace

CommandQueue::CommandQueue(const QString& node, const QString& storePath, int arrivalDelayMs, int answerWaitMs,
                           CommandDesk& desk, ServiceLog& log, Keep keep, QObject* parent)
    : QObject(parent), node_(node), arrivalDelayMs_(arrivalDelayMs), answerWaitMs_(answerWaitMs), desk_(desk), serviceLog_(log), keep_(std::move(keep)),
      doneLog_(storePath, log) {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CommandQueue::sweep);
    timer->start(kSweepMs);
}

CommandQueue::~CommandQueue() = default;

bool CommandQueue::steward() const {
    if (stopping_) return false;
    for (const QString& n : online_)
        if (n < node_) return false;
    return true;
}

bool CommandQueue::heldElsewhere(const QString& barCode, const QString& id) const {
    const auto it = seen_.constFind(barCode);
    return it != seen_.constEnd() && it->id == id && it->state == QLatin1String("queued") && it->node != node_ &&
           online_.contains(it->node);
}

void CommandQueue::commandReceived(const QString& barCode, const QByteArray& payload) {
    if (payload.isEmpty()) {
        // A kept copy cleared: what it held has been sent or ended, or a newer one follows.
        const auto it = kept_.find(barCode);
        if (it != kept_.end() && done(barCode, it->id)) kept_.erase(it);
        return;
    }
    const CommandParse p = ParseCommand(payload);
    if (p.id.isNull() || p.id.isUndefined()) {
        // Without an id nothing can follow it: refused where it is held, else by the steward.
        if (!desk_.command(barCode, payload) && steward())
            desk_.result(barCode, p.id, CommandOutcome::Refused, p.error);
        return;
    }
    const QString id = IdText(p.id);
    if (p.cancel) {
        cancel(barCode, id);
        return;
    }
    if (done(barCode, id)) {
        // Ids name requests: one sent or ended is never taken again (a replay, or an id used twice).
        serviceLog_.info(QStringLiteral("cmd %1 for %2: sent or ended before, ignored").arg(id, barCode));
        return;
    }
    const auto it = kept_.find(barCode);
    if (it != kept_.end() && it->id == id) {
        // A copy of the request waiting (perhaps this node's own, with queued_at).
        if (p.queuedAtMs) {
            it->queuedAtMs = *p.queuedAtMs;
            it->copied = true;
        }
        if (!desk_.holds(barCode, id)) hand(barCode);
        return;
    }
    Kept previous;
    const bool valid = p.command && !BuildRequestFrame(*p.command, barCode).frame.isEmpty();
    if (valid) {
        if (it != kept_.end()) previous = kept_.take(barCode);
        Kept& k = kept_[barCode];
        k.idValue = p.id;
        k.id = id;
        k.payload = payload;
        k.queuedAtMs = p.queuedAtMs.value_or(NowMs());
        k.copied = p.queuedAtMs.has_value();
        k.expiresMs = qint64(p.command->expiresS) * 1000;
    }
    if (!valid) {
        // Refused where it is held; a request waiting stays.
        if (!desk_.command(barCode, payload))
            QTimer::singleShot(kQuietMs, this, [this, barCode, id, payload] { afterQuiet(barCode, id, payload, {}); });
        return;
    }
    if (hand(barCode)) {
        if (!previous.id.isEmpty() && !done(barCode, previous.id) && !heldElsewhere(barCode, previous.id))
            desk_.result(barCode, previous.idValue, CommandOutcome::Replaced, QStringLiteral("replaced by a newer request"));
        return;
    }
    QTimer::singleShot(kQuietMs, this, [this, barCode, id, payload, previous] { afterQuiet(barCode, id, payload, previous); });
}

bool CommandQueue::hand(const QString& barCode) {
    if (stopping_) return false;
    const auto it = kept_.find(barCode);
    if (it == kept_.end() || done(barCode, it->id) || desk_.holds(barCode, it->id)) return false;
    if (NowMs() >= it->queuedAtMs + it->expiresMs) return false;   // the sweep ends it
    const QString id = it->id;
    if (!desk_.command(barCode, it->payload)) return false;
    // Kept for an upload end: its copy survives this node (a request sent now is claimed at once).
    const auto k = kept_.find(barCode);
    if (k != kept_.end() && k->id == id && !k->copied && desk_.holds(barCode, id) && !done(barCode, id)) {
        const CommandParse p = ParseCommand(k->payload);
        if (p.command && p.command->atUploadEnd) keepCopy(barCode, *k);
    }
    return true;
}

void CommandQueue::afterQuiet(const QString& barCode, const QString& id, const QByteArray& payload, const Kept& previous) {
    if (!steward() || done(barCode, id) || desk_.holds(barCode, id)) return;
    const auto s = seen_.constFind(barCode);
    if (s != seen_.constEnd() && s->id == id) return;   // a node holding it spoke
    const CommandParse p = ParseCommand(payload);
    if (!p.command) {
        desk_.result(barCode, p.id, CommandOutcome::Refused, p.error);
        return;
    }
    const RequestFrame request = BuildRequestFrame(*p.command, barCode);
    if (request.frame.isEmpty()) {
        desk_.result(barCode, p.id, CommandOutcome::Refused, request.refusal);
        return;
    }
    if (!previous.id.isEmpty() && !done(barCode, previous.id) && !desk_.holds(barCode, previous.id))
        desk_.result(barCode, previous.idValue, CommandOutcome::Replaced, QStringLiteral("replaced by a newer request"));
    const auto k = kept_.find(barCode);
    if (k == kept_.end() || k->id != id) return;   // replaced meanwhile
    if (!k->copied) keepCopy(barCode, *k);
    desk_.progress(barCode, k->idValue, QStringLiteral("queued"));
}

void CommandQueue::keepCopy(const QString& barCode, Kept& k) {
    keep_(barCode, KeptCopy(k.payload, k.queuedAtMs));
    k.copied = true;
}

void CommandQueue::cancel(const QString& barCode, const QString& id) {
    if (desk_.cancel(barCode, id)) return;
    const auto it = kept_.constFind(barCode);
    if (it == kept_.constEnd() || it->id != id || done(barCode, id)) {
        serviceLog_.info(QStringLiteral("cmd %1 for %2: nothing waiting to cancel").arg(id, barCode));
        return;
    }
    if (steward() && !heldElsewhere(barCode, id))
        desk_.result(barCode, it->idValue, CommandOutcome::Cancelled, QStringLiteral("cancelled"));
}

void CommandQueue::sweep() {
    const qint64 now = NowMs();
    QList<QPair<QString, QJsonValue>> due;
    for (auto it = kept_.cbegin(); it != kept_.cend(); ++it)
        if (now >= it->queuedAtMs + it->expiresMs && !done(it.key(), it->id)) due.append({it.key(), it->idValue});
    for (const auto& [barCode, idValue] : due) {
        const QString id = IdText(idValue);
        if (desk_.expire(barCode, id) || desk_.holds(barCode, id)) continue;   // ended here, or sent here
        if (steward() && !heldElsewhere(barCode, id)) desk_.result(barCode, idValue, CommandOutcome::Expired, QStringLiteral("expired"));
    }
    endOrphans(now);
}

// A node killed after its claim left "sent": nobody would end it. This node's own from
// before a restart are its to end, those of a node that is offline the steward's, once
// the answer could no longer come.
void CommandQueue::endOrphans(qint64 now) {
    if (stopping_) return;
    QList<QPair<QString, QJsonValue>> ending;
    for (auto it = seen_.cbegin(); it != seen_.cend(); ++it) {
        const Seen& s = it.value();
        const bool orphan = s.state == QLatin1String("sent") &&
                            (s.node == node_ ? !desk_.holds(it.key(), s.id) : !online_.contains(s.node) && steward());
        if (!orphan) {
            orphanSince_.remove(it.key());
            continue;
        }
        const qint64 since = orphanSince_.value(it.key(), now);
        orphanSince_.insert(it.key(), since);
        if (now - since >= answerWaitMs_) ending.append({it.key(), s.idValue});
    }
    for (const auto& [barCode, idValue] : ending) {
        orphanSince_.remove(barCode);
        serviceLog_.info(QStringLiteral("cmd %1 for %2: sent by a node that left").arg(IdText(idValue), barCode));
        desk_.result(barCode, idValue, CommandOutcome::NodeLeft, QStringLiteral("node left"));
    }
}

void CommandQueue::resultReceived(const QString& barCode, const QByteArray& payload) {
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    const QJsonValue idValue = o.value(QStringLiteral("id"));
    if (!idValue.isString() && !idValue.isDouble()) return;
    Seen s{idValue, IdText(idValue), o.value(QStringLiteral("state")).toString(), o.value(QStringLiteral("node")).toString()};
    if (s.state.isEmpty()) return;   // a result of an older release
    // This node's own claim coming back: remembered once the broker acknowledged it.
    const bool ownClaim = s.node == node_ && s.state == QLatin1String("sent") && desk_.holds(barCode, s.id);
    if (s.state != QLatin1String("queued") && !ownClaim) {
        doneLog_.remember(barCode, s.id, s.state);
        if (s.node != node_) {
            if (s.state == QLatin1String("sent")) sentBy_.insert(key(barCode, s.id), s.node);
            else endedElsewhere_.insert(key(barCode, s.id));
        }
        const auto it = kept_.find(barCode);
        if (it != kept_.end() && it->id == s.id) kept_.erase(it);
    }
    seen_.insert(barCode, s);
}

bool CommandQueue::takenElsewhere(const QString& barCode, const QString& id) const {
    const QString k = key(barCode, id);
    if (endedElsewhere_.contains(k)) return true;
    // Two nodes claiming at once: the smaller name goes on.
    if (const auto it = sentBy_.constFind(k); it != sentBy_.constEnd()) return *it < node_;
    return doneLog_.contains(barCode, id);   // sent before this run
}

void CommandQueue::stateSaid(const QString& barCode, const QString& id, const QString& state) {
    doneLog_.remember(barCode, id, state);
    const auto it = kept_.find(barCode);
    if (it == kept_.end() || it->id != id) return;
    // Sent or ended: no copy of it may wait on the broker (one published retained, or ours).
    kept_.erase(it);
    keep_(barCode, {});
}

void CommandQueue::nodeState(const QString& node, const QByteArray& payload) {
    if (payload == "online") online_.insert(node);
    else online_.remove(node);
}

void CommandQueue::terminalArrived(const QString& barCode) {
    if (!kept_.contains(barCode)) return;
    // After its registration's answer: a request written before it would cross it.
    QTimer::singleShot(arrivalDelayMs_, this, [this, barCode] { hand(barCode); });
}

}  // namespace service
