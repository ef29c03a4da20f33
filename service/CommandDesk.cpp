#include "CommandDesk.h"

#include <QTimer>

#include "core/DataCentre.h"

namespace service {

namespace {
const QString kSuccessEnd = QStringLiteral("成功！");

QString OpName(ht6630::Op op) {
    const auto button = ht6630::Entry(op).button;
    return QString::fromLatin1(button.data(), static_cast<qsizetype>(button.size()));
}
}  // namespace

const char* CommandOutcomeName(CommandOutcome outcome) {
    switch (outcome) {
    case CommandOutcome::Ok: return "ok";
    case CommandOutcome::Failed: return "failed";
    case CommandOutcome::Refused: return "refused";
    case CommandOutcome::Replaced: return "replaced";
    case CommandOutcome::Timeout: return "timeout";
    case CommandOutcome::TerminalLeft: return "terminal_left";
    case CommandOutcome::ServiceStopping: return "service_stopping";
    case CommandOutcome::NotHeld: return "not_held";
    case CommandOutcome::Expired: return "expired";
    case CommandOutcome::Cancelled: return "cancelled";
    case CommandOutcome::NodeLeft: return "node_left";
    }
    return "";
}

QString CommandStateName(CommandOutcome outcome) {
    switch (outcome) {
    case CommandOutcome::Ok:
    case CommandOutcome::Failed: return QStringLiteral("answered");
    case CommandOutcome::Refused: return QStringLiteral("refused");
    case CommandOutcome::Replaced: return QStringLiteral("replaced");
    case CommandOutcome::Expired: return QStringLiteral("expired");
    case CommandOutcome::Cancelled: return QStringLiteral("cancelled");
    // Sent and not answered: the terminal may have applied it.
    case CommandOutcome::Timeout:
    case CommandOutcome::TerminalLeft:
    case CommandOutcome::ServiceStopping:
    case CommandOutcome::NotHeld:
    case CommandOutcome::NodeLeft: return QStringLiteral("timeout");
    }
    return {};
}

CommandDesk::CommandDesk(int timeoutMs, const QString& node, ServiceLog& log, Hooks hooks, QObject* parent)
    : QObject(parent), timeoutMs_(timeoutMs), node_(node), log_(log), hooks_(std::move(hooks)) {}

CommandDesk::~CommandDesk() = default;

void CommandDesk::watch(core::DataCentre& engine) {
    core::DataCentre* e = &engine;
    connect(e, &core::DataCentre::terminalRequestSent, this, [this, e](const QString& barCode) { onSent(e, barCode); });
    connect(e, &core::DataCentre::terminalResponded, this,
            [this, e](const QString& barCode, int code, const QString& status, const ht6630::FieldValues& fields) {
                onResponded(e, barCode, code, status, fields);
            });
    connect(e, &core::DataCentre::terminalEvent, this, [this, e](const QString& barCode, const QString& kind, const QString&) {
        if (kind == QLatin1String("upload-end")) onUploadEnd(e, barCode);
    });
}

bool CommandDesk::command(const QString& barCode, const QByteArray& payload) {
    core::DataCentre* engine = hooks_.engineFor(barCode);
    if (!engine) return false;
    const CommandParse parsed = ParseCommand(payload);
    if (!parsed.command) {
        log_.warning(QStringLiteral("cmd %1 for %2 refused: %3").arg(IdText(parsed.id), barCode, parsed.error));
        result(barCode, parsed.id, CommandOutcome::Refused, parsed.error);
        return true;
    }
    const Command& c = *parsed.command;
    const RequestFrame request = BuildRequestFrame(c, barCode);
    if (request.frame.isEmpty()) {
        // A refused value: nothing is sent, a request already waiting stays.
        log_.info(QStringLiteral("cmd %1 for %2 (%3) refused: %4").arg(IdText(parsed.id), barCode, OpName(c.op), request.refusal));
        result(barCode, parsed.id, CommandOutcome::Refused, request.refusal);
        return true;
    }
    if (pending_.contains(barCode)) finish(barCode, CommandOutcome::Replaced, QStringLiteral("replaced by a newer request"));
    log_.info(QStringLiteral("cmd %1 for %2: %3 %4")
                  .arg(IdText(parsed.id), barCode, OpName(c.op),
                       c.atUploadEnd ? QStringLiteral("kept for the upload end") : QStringLiteral("sent now")));
    Pending& p = pending_[barCode];
    p.id = parsed.id;
    p.op = c.op;
    p.engine = engine;
    p.atUploadEnd = c.atUploadEnd;
    p.frame = request.frame;
    if (!c.atUploadEnd) {
        claim(barCode, p);
        return true;
    }
    engine->submitTerminalRequest(barCode, c.op, request.frame, true);
    progress(barCode, p.id, QStringLiteral("queued"));
    return true;
}

void CommandDesk::claim(const QString& barCode, Pending& p) {
    p.claimMid = hooks_.publish(barCode, ResultJson(p.id, QStringLiteral("sent"), std::nullopt, QStringLiteral("sent"), node_));
    if (p.claimMid >= 0) {
        claims_.insert(p.claimMid, barCode);
        return;
    }
    // Nothing claimed, nothing sent: it waits for the terminal's next visit.
    log_.warning(QStringLiteral("cmd %1 for %2: the broker cannot take its state now; it waits").arg(IdText(p.id), barCode));
    drop(barCode);
}

void CommandDesk::acknowledged(int mid) {
    const QString barCode = claims_.take(mid);
    if (barCode.isEmpty()) return;
    const auto it = pending_.find(barCode);
    if (it == pending_.end() || it->claimMid != mid) return;
    const QString id = IdText(it->id);
    if (hooks_.takenElsewhere(barCode, id)) {
        log_.info(QStringLiteral("cmd %1 for %2: another node sent it first").arg(id, barCode));
        drop(barCode);
        return;
    }
    it->claimed = true;
    hooks_.stateSaid(barCode, id, QStringLiteral("sent"));   // written to the store before the frame leaves
    if (it->atUploadEnd) return;                           // its frame follows the upload end's answer
    core::DataCentre* engine = hooks_.engineFor(barCode);
    if (engine != it->engine || !engine->submitTerminalRequest(barCode, it->op, it->frame, false)) {
        finish(barCode, CommandOutcome::NotHeld, QStringLiteral("terminal not reachable"));
        return;
    }
    startTimer(barCode, *it);
}

void CommandDesk::startTimer(const QString& barCode, Pending& p) {
    p.sent = true;
    p.timer = new QTimer(this);
    p.timer->setSingleShot(true);
    connect(p.timer, &QTimer::timeout, this, [this, barCode] { finish(barCode, CommandOutcome::Timeout, QStringLiteral("timeout")); });
    p.timer->start(timeoutMs_);
}

void CommandDesk::onUploadEnd(core::DataCentre* engine, const QString& barCode) {
    const auto it = pending_.find(barCode);
    if (it == pending_.end() || it->engine != engine || !it->atUploadEnd || it->claimMid >= 0) return;
    claim(barCode, *it);
}

void CommandDesk::onSent(core::DataCentre* engine, const QString& barCode) {
    const auto it = pending_.find(barCode);
    if (it == pending_.end() || it->engine != engine || it->sent) return;
    startTimer(barCode, *it);
}

void CommandDesk::onResponded(core::DataCentre* engine, const QString& barCode, int code, const QString& status,
                              const ht6630::FieldValues& fields) {
    const auto it = pending_.constFind(barCode);
    // Only the response a sent request expects ends it.
    if (it == pending_.constEnd() || it->engine != engine || !it->sent) return;
    if (code != ht6630::Entry(it->op).responseCode) return;
    finish(barCode, status.endsWith(kSuccessEnd) ? CommandOutcome::Ok : CommandOutcome::Failed, status, fields);
}

void CommandDesk::terminalLeft(const QString& barCode, const core::DataCentre* engine) {
    const auto it = pending_.constFind(barCode);
    if (it == pending_.constEnd() || it->engine != engine) return;
    // Sent (or being claimed) and unanswered: perhaps applied, so never sent again.
    if (it->sent || it->claimMid >= 0) finish(barCode, CommandOutcome::TerminalLeft, QStringLiteral("terminal left"));
    else drop(barCode);
}

void CommandDesk::endAll(const QString& message) {
    const QStringList terminals = pending_.keys();
    for (const QString& barCode : terminals) {
        const Pending& p = pending_[barCode];
        if (p.sent || p.claimMid >= 0) finish(barCode, CommandOutcome::ServiceStopping, message);
        else drop(barCode);   // still queued on the broker for the next node
    }
}

bool CommandDesk::cancel(const QString& barCode, const QString& id) {
    const auto it = pending_.constFind(barCode);
    if (it == pending_.constEnd() || IdText(it->id) != id) return false;
    if (it->sent || it->claimMid >= 0) log_.info(QStringLiteral("cmd %1 for %2: already sent, not cancelled").arg(id, barCode));
    else finish(barCode, CommandOutcome::Cancelled, QStringLiteral("cancelled"));
    return true;
}

bool CommandDesk::expire(const QString& barCode, const QString& id) {
    const auto it = pending_.constFind(barCode);
    if (it == pending_.constEnd() || IdText(it->id) != id || it->sent || it->claimMid >= 0) return false;
    finish(barCode, CommandOutcome::Expired, QStringLiteral("expired"));
    return true;
}

bool CommandDesk::holds(const QString& barCode, const QString& id) const {
    const auto it = pending_.constFind(barCode);
    return it != pending_.constEnd() && IdText(it->id) == id;
}

void CommandDesk::finish(const QString& barCode, CommandOutcome outcome, const QString& message,
                         const ht6630::FieldValues& fields) {
    const Pending p = pending_.take(barCode);
    if (p.timer) {
        p.timer->stop();
        p.timer->deleteLater();
    }
    if (p.engine) p.engine->dropTerminalRequest(barCode);
    result(barCode, p.id, outcome, message, fields);
}

void CommandDesk::drop(const QString& barCode) {
    const Pending p = pending_.take(barCode);
    if (p.timer) {
        p.timer->stop();
        p.timer->deleteLater();
    }
    if (p.engine) p.engine->dropTerminalRequest(barCode);
}

void CommandDesk::progress(const QString& barCode, const QJsonValue& id, const QString& state) {
    log_.info(QStringLiteral("cmd %1 for %2: %3").arg(IdText(id), barCode, state));
    hooks_.publish(barCode, ResultJson(id, state, std::nullopt, state, node_));
}

void CommandDesk::result(const QString& barCode, const QJsonValue& id, CommandOutcome outcome, const QString& message,
                         const ht6630::FieldValues& fields) {
    const bool ok = outcome == CommandOutcome::Ok;
    const QString state = CommandStateName(outcome);
    log_.info(QStringLiteral("cmd %1 for %2: %3: %4").arg(IdText(id), barCode, ok ? QStringLiteral("ok") : QStringLiteral("failed"), message));
    hooks_.publish(barCode, ResultJson(id, state, ok, message, node_, fields));
    if (id.isString() || id.isDouble()) hooks_.stateSaid(barCode, IdText(id), state);
    emit ended(outcome);
}

}  // namespace service
