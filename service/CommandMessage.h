#pragma once
// The cmd messages operators publish to <prefix>/<barcode>/cmd and the results the
// service publishes back: JSON in, the request frame the consoles would build out.
//
//   {"id": "...", "op": "cmdHear", "fields": {"txtHeartbeat": "60"}, "when": "now" | "upload-end",
//    "expires_s": 604800}
//   {"cancel": "..."}
//   {"id": "...", "state": "...", "ok": true|false|null, "message": "...", "fields": {...}, "node": "..."}
//
// "op" takes the frame tool's operation names (button or operation name), "fields"
// its --set names; "fields", "when" (default "now") and "expires_s" (default 7 days)
// may be left out. The copy a node keeps on the broker adds "queued_at", the time
// the request was first seen (ms since the epoch).
#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

#include "protocol/Catalogue.h"
#include "protocol/Fields.h"

namespace service {

struct Command {
    ht6630::Op op = ht6630::Op::ReadBarCode;
    ht6630::FieldInputs inputs;
    bool atUploadEnd = false;
    int expiresS = 7 * 24 * 3600;   // how long it may wait for its terminal
};

struct CommandParse {
    QJsonValue id;                    // a string or number; Null when there is no usable one
    std::optional<Command> command;   // empty: `error` says why
    QString error;
    std::optional<qint64> queuedAtMs;   // "queued_at" of a kept copy
    bool cancel = false;                // {"cancel": id}: `id` is the request to cancel
};

// An empty payload (a kept copy cleared) is refused like any other that is not JSON.
CommandParse ParseCommand(const QByteArray& payload);

struct RequestFrame {
    QByteArray frame;   // empty when refused
    QString refusal;    // the consoles' message for a refused value
};

// The request frame for terminal `barCode`, after the consoles' value checks in
// their order (the values, then the target bar code).
RequestFrame BuildRequestFrame(const Command& command, const QString& barCode);

// "queued" and "sent" carry "ok": null; the final states true or false.
QByteArray ResultJson(const QJsonValue& id, const QString& state, std::optional<bool> ok, const QString& message,
                      const QString& node, const ht6630::FieldValues& fields = {});

// The request as kept on the broker: `payload` with "queued_at" set.
QByteArray KeptCopy(const QByteArray& payload, qint64 queuedAtMs);

// An id as the log and the stores write it.
QString IdText(const QJsonValue& id);

}  // namespace service
