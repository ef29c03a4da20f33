#include "CommandMessage.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

#include "protocol/FieldNames.h"
#include "protocol/Frame.h"

namespace service {

namespace {

QString FromStd(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

constexpr int kMaxExpiresS = 366 * 24 * 3600;

bool UsableId(const QJsonValue& v) { return (v.isString() && !v.toString().isEmpty()) || v.isDouble(); }

// A field's value as the operator would have typed it: strings as they are, numbers
// with 17 significant digits (read back, the same value; whole numbers without an
// exponent up to 17 digits). Anything else has no typed form.
std::optional<QString> TypedText(const QJsonValue& v) {
    if (v.isString()) return v.toString();
    if (v.isDouble()) return QString::number(v.toDouble(), 'g', 17);
    return std::nullopt;
}

CommandParse Refuse(CommandParse p, const QString& error) {
    p.command.reset();
    p.error = error;
    return p;
}

}  // namespace

CommandParse ParseCommand(const QByteArray& payload) {
    CommandParse p;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &parseError);
    if (doc.isNull()) return Refuse(p, QStringLiteral("malformed JSON: %1").arg(parseError.errorString()));
    if (!doc.isObject()) return Refuse(p, QStringLiteral("malformed request: expected a JSON object"));
    const QJsonObject o = doc.object();
    if (o.contains(QStringLiteral("cancel"))) {
        if (!UsableId(o.value(QStringLiteral("cancel"))))
            return Refuse(p, QStringLiteral("unusable \"cancel\" (a non-empty string or a number)"));
        p.id = o.value(QStringLiteral("cancel"));
        p.cancel = true;
        return p;
    }
    if (UsableId(o.value(QStringLiteral("id")))) p.id = o.value(QStringLiteral("id"));
    else return Refuse(p, QStringLiteral("missing or unusable \"id\" (a non-empty string or a number)"));

    const QJsonValue op = o.value(QStringLiteral("op"));
    if (!op.isString()) return Refuse(p, QStringLiteral("missing \"op\" (e.g. \"cmdHear\")"));
    const QByteArray opName = op.toString().toUtf8();
    const ht6630::CatalogueEntry* entry = ht6630::FindEntry(std::string_view(opName.constData(), size_t(opName.size())));
    if (!entry) return Refuse(p, QStringLiteral("unknown op \"%1\"").arg(op.toString()));

    Command c;
    c.op = entry->op;
    const QJsonValue when = o.value(QStringLiteral("when"));
    if (when.isString() && when.toString() == QLatin1String("upload-end")) c.atUploadEnd = true;
    else if (!when.isUndefined() && !(when.isString() && when.toString() == QLatin1String("now")))
        return Refuse(p, QStringLiteral("\"when\" must be \"now\" or \"upload-end\""));

    const QJsonValue queuedAt = o.value(QStringLiteral("queued_at"));
    if (queuedAt.isDouble()) p.queuedAtMs = qint64(queuedAt.toDouble());
    const QJsonValue expires = o.value(QStringLiteral("expires_s"));
    if (!expires.isUndefined()) {
        const double s = expires.toDouble(-1);
        if (!expires.isDouble() || s != std::floor(s) || s < 1 || s > kMaxExpiresS)
            return Refuse(p, QStringLiteral("\"expires_s\" must be a whole number of seconds from 1 to %1").arg(kMaxExpiresS));
        c.expiresS = int(s);
    }

    const QJsonValue fields = o.value(QStringLiteral("fields"));
    if (!fields.isUndefined() && !fields.isObject()) return Refuse(p, QStringLiteral("\"fields\" must be an object"));
    const QJsonObject f = fields.toObject();
    for (auto it = f.begin(); it != f.end(); ++it) {
        const std::optional<QString> text = TypedText(it.value());
        if (!text) return Refuse(p, QStringLiteral("field \"%1\" must be a string or a number").arg(it.key()));
        const QByteArray name = it.key().toUtf8();
        const QByteArray value = text->toUtf8();
        const auto error = ht6630::SetInputField(c.inputs, std::string_view(name.constData(), size_t(name.size())),
                                                 std::string_view(value.constData(), size_t(value.size())));
        if (!error) continue;
        if (error->kind == ht6630::FieldNameError::Kind::UnknownField)
            return Refuse(p, QStringLiteral("unknown field \"%1\"").arg(it.key()));
        return Refuse(p, FromStd(error->text));
    }
    p.command = c;
    return p;
}

RequestFrame BuildRequestFrame(const Command& command, const QString& barCode) {
    const ht6630::CatalogueEntry& entry = ht6630::Entry(command.op);
    const ht6630::PayloadResult result = ht6630::BuildPayload(command.op, command.inputs);
    if (result.failure) return {{}, FromStd(result.failure->text)};
    const QByteArray target = barCode.toUtf8();
    const std::string_view targetView(target.constData(), size_t(target.size()));
    if (!ht6630::UsesBarCodeAddress(command.op)) {
        if (auto failure = ht6630::CheckTargetBarCode(targetView, ht6630::EmptyTargetMessage(command.op)))
            return {{}, FromStd(failure->text)};
    }
    const std::string address = ht6630::RequestAddress(command.op, targetView);
    const ht6630::Bytes frame = ht6630::MakeFrame_Request(entry.functionCode, address,
                                                          static_cast<int>(result.payload.size()), result.payload);
    return {QByteArray(reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(frame.size())), {}};
}

QString IdText(const QJsonValue& id) {
    if (id.isString()) return id.toString();
    if (id.isDouble()) return QString::number(id.toDouble(), 'g', 17);
    return QStringLiteral("(no id)");
}

QByteArray KeptCopy(const QByteArray& payload, qint64 queuedAtMs) {
    QJsonObject o = QJsonDocument::fromJson(payload).object();
    o.insert(QStringLiteral("queued_at"), double(queuedAtMs));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray ResultJson(const QJsonValue& id, const QString& state, std::optional<bool> ok, const QString& message,
                      const QString& node, const ht6630::FieldValues& fields) {
    QJsonObject named;
    for (const auto& [name, value] : ht6630::NamedFieldValues(fields)) named.insert(FromStd(name), FromStd(value));
    QJsonObject o;
    o.insert(QStringLiteral("id"), id.isUndefined() ? QJsonValue(QJsonValue::Null) : id);
    o.insert(QStringLiteral("state"), state);
    o.insert(QStringLiteral("ok"), ok ? QJsonValue(*ok) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("message"), message);
    o.insert(QStringLiteral("fields"), named);
    o.insert(QStringLiteral("node"), node);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace service
