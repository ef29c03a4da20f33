#include "CommandDesk.h"

#include <QJsonDocument>
#include <QTimer>

#include "core/DataCentre.h"

namespace service {

namespace {
const QString kSuccessEnd = QStringLiteral("成功！");

QString IdText(const QJsonValue& id) {
    if (id.isString()) return id.toString();
    if (id.isDouble()) return QString::number(id.toDouble(), 'g', 17);
    return QStringLiteral("(no id)");
}

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
    }
    return "";
}

CommandDesk::CommandDesk(int timeoutMs, ServiceLog& log, EngineFor engineFor, Publish publish, QObject* parent)
    : QObject(parent), timeoutMs_(timeoutMs), log_(log), engineFor_(std::move(engineFor)), publish_(std::move(publish)) {}

CommandDesk::~CommandDesk() = default;

void CommandDesk::watch(core::DataCentre& engine) {
    core::DataCentre* e = &engine;
    connect(e, &core::DataCentre::terminalRequestSent, this, [this, e](const QString& barCode) { onSent(e, barCode); });
    connect(e, &core::DataCentre::terminalResponded, this,
            [this, e](const QString& barCode, int code, const QString& status, const ht6630::FieldValues& fields) {
                onResponded(e, barCode, code, status, fields);
            });
}

void CommandDesk::command(const QString& barCode, const QByteArray& payload) {
    const CommandParse parsed = ParseCommand(payload);
    if (!parsed.command) {
        log_.warning(QStringLiteral("cmd %1 for %2 refused: %3").arg(IdText(parsed.id), barCode, parsed.error));
        result(barCode, parsed.id, CommandOutcome::Refused, parsed.error);
        return;
    }
    const Command& c = *parsed.command;
    const RequestFrame request = BuildRequestFrame(c, barCode);
    if (request.frame.isEmpty()) {
        // A refused value: nothing is sent, a request already waiting stays.
        log_.info(QStringLiteral("cmd %1 for %2 (%3) refused: %4").arg(IdText(parsed.id), barCode, OpName(c.op), request.refusal));
        result(barCode, parsed.id, CommandOutcome::Refused, request.refusal);
        return;
    }
    core::DataCentre* engine = engineFor_(barCode);
    if (!engine) {
        result(barCode, parsed.id, CommandOutcome::NotHeld, QStringLiteral("terminal not connected to this node"));
        return;
    }
    if (pending_.contains(barCode)) finish(barCode, CommandOutcome::Replaced, QStringLiteral("replaced by a newer request"));
    log_.info(QStringLiteral("cmd %1 for %2: %3 %4")
                  .arg(IdText(parsed.id), barCode, OpName(c.op),
                       c.atUploadEnd ? QStringLiteral("kept for the upload end") : QStringLiteral("sent now")));
    if (!engine->submitTerminalRequest(barCode, c.op, request.frame, c.atUploadEnd)) {
        result(barCode, parsed.id, CommandOutcome::NotHeld, QStringLiteral("terminal not reachable"));
        return;
    }
    Pending& p = pending_[barCode];
    p.id = parsed.id;
    p.op = c.op;
    p.engine = engine;
    if (!c.atUploadEnd) startTimer(barCode, p);
}

void CommandDesk::startTimer(const QString& barCode, Pending& p) {
    p.sent = true;
    p.timer = new QTimer(this);
    p.timer->setSingleShot(true);
    connect(p.timer, &QTimer::timeout, this, [this, barCode] { finish(barCode, CommandOutcome::Timeout, QStringLiteral("timeout")); });
    p.timer->start(timeoutMs_);
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
    if (it != pending_.constEnd() && it->engine == engine)
        finish(barCode, CommandOutcome::TerminalLeft, QStringLiteral("terminal left"));
}

void CommandDesk::endAll(const QString& message) {
    const QStringList terminals = pending_.keys();
    for (const QString& barCode : terminals) finish(barCode, CommandOutcome::ServiceStopping, message);
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

void CommandDesk::result(const QString& barCode, const QJsonValue& id, CommandOutcome outcome, const QString& message,
                         const ht6630::FieldValues& fields) {
    const bool ok = outcome == CommandOutcome::Ok;
    log_.info(QStringLiteral("cmd %1 for %2: %3: %4").arg(IdText(id), barCode, ok ? QStringLiteral("ok") : QStringLiteral("failed"), message));
    publish_(barCode, ResultJson(id, ok, message, fields));
    emit ended(outcome);
}

}  // namespace service
