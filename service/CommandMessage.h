#pragma once
// The cmd messages operators publish to <prefix>/<barcode>/cmd and the results the
// service publishes back: JSON in, the request frame the consoles would build out.
//
//   {"id": "...", "op": "cmdHear", "fields": {"txtHeartbeat": "60"}, "when": "now" | "upload-end"}
//   {"id": "...", "ok": true|false, "message": "...", "fields": {...}}
//
// "op" takes the frame tool's operation names (button or operation name), "fields"
// its --set names; "fields" and "when" (default "now") may be left out.
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
};

struct CommandParse {
    QJsonValue id;                    // a string or number; Null when there is no usable one
    std::optional<Command> command;   // empty: `error` says why
    QString error;
};

CommandParse ParseCommand(const QByteArray& payload);

struct RequestFrame {
    QByteArray frame;   // empty when refused
    QString refusal;    // the consoles' message for a refused value
};

// The request frame for terminal `barCode`, after the consoles' value checks in
// their order (the values, then the target bar code).
RequestFrame BuildRequestFrame(const Command& command, const QString& barCode);

QByteArray ResultJson(const QJsonValue& id, bool ok, const QString& message,
                      const ht6630::FieldValues& fields = {});

}  // namespace service
