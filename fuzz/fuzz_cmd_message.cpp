// Arbitrary payloads on a terminal's cmd topic, for a terminal bar code taken from
// the input too. Checks, besides the sanitizers: a refusal always says why and keeps
// no command; an accepted command builds a request frame whose CRC holds or a refusal
// with the consoles' message, never both; the result message is a JSON object that
// carries the id it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QJsonDocument>
#include <QJsonObject>

#include "CommandMessage.h"
#include "protocol/Frame.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // First byte: the bar code's length (0..15), then the bar code, then the payload.
    std::size_t barLength = data[0] % 16;
    ++data;
    --size;
    if (barLength > size) barLength = size;
    const QString barCode = QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(barLength));
    const QByteArray payload(reinterpret_cast<const char*>(data + barLength), static_cast<qsizetype>(size - barLength));

    const service::CommandParse parsed = service::ParseCommand(payload);
    Check((parsed.command.has_value() || parsed.cancel) == parsed.error.isEmpty());
    if (parsed.command) {
        Check(parsed.id.isString() || parsed.id.isDouble());
        const service::RequestFrame built = service::BuildRequestFrame(*parsed.command, barCode);
        Check(built.frame.isEmpty() != built.refusal.isEmpty());
        if (!built.frame.isEmpty()) {
            const ht6630::ByteView bytes(reinterpret_cast<const std::uint8_t*>(built.frame.constData()),
                                         static_cast<std::size_t>(built.frame.size()));
            Check(ht6630::ReceivedCrcIsCorrect(bytes));
        }
    }
    const QByteArray result = service::ResultJson(parsed.id, QStringLiteral("refused"), false, parsed.error, QStringLiteral("fuzz"));
    const QJsonDocument back = QJsonDocument::fromJson(result);
    Check(back.isObject());
    Check(back.object().value(QStringLiteral("id")) == (parsed.id.isUndefined() ? QJsonValue() : parsed.id));
    return 0;
}
