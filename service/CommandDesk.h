#pragma once
// The cmd requests of the terminals this node holds: checks each with the consoles'
// rules, hands it to the engine that holds its terminal (now, or kept for the upload
// end), and ends it with exactly one result: the terminal's response, a refusal,
// a newer request, the timeout, or the terminal leaving. One request per terminal.
#include <QHash>
#include <QJsonValue>
#include <QObject>

#include <functional>

#include "CommandMessage.h"
#include "ServiceLog.h"

class QTimer;

namespace core {
class DataCentre;
}

namespace service {

// How a cmd request ended: the terminal answered (success or failure), its checks
// refused it (malformed, unknown, a value out of range), a newer request replaced it,
// it timed out, the terminal left, the service stopped, or no engine here holds the terminal.
enum class CommandOutcome { Ok, Failed, Refused, Replaced, Timeout, TerminalLeft, ServiceStopping, NotHeld };
inline constexpr int kCommandOutcomes = 8;
// "ok", "failed", "refused", "replaced", "timeout", "terminal_left", "service_stopping", "not_held".
const char* CommandOutcomeName(CommandOutcome outcome);

class CommandDesk : public QObject {
    Q_OBJECT
public:
    // The engine holding a terminal now (nullptr: none on this node).
    using EngineFor = std::function<core::DataCentre*(const QString& barCode)>;
    // Publishes a result JSON for a terminal.
    using Publish = std::function<void(const QString& barCode, const QByteArray& json)>;

    CommandDesk(int timeoutMs, ServiceLog& log, EngineFor engineFor, Publish publish, QObject* parent = nullptr);
    ~CommandDesk() override;

    // Follows an engine's responses and the requests it sends at upload ends.
    void watch(core::DataCentre& engine);
    // A cmd message for a terminal.
    void command(const QString& barCode, const QByteArray& payload);
    // The terminal is no longer held by `engine`: its request there ends.
    void terminalLeft(const QString& barCode, const core::DataCentre* engine);
    // Ends every request still open with `message` (the service stops).
    void endAll(const QString& message);

signals:
    // Each result published, as it is.
    void ended(service::CommandOutcome outcome);

private:
    struct Pending {
        QJsonValue id;
        ht6630::Op op;
        core::DataCentre* engine = nullptr;
        bool sent = false;
        QTimer* timer = nullptr;   // runs from the moment the request left
    };

    void startTimer(const QString& barCode, Pending& p);
    void onSent(core::DataCentre* engine, const QString& barCode);
    void onResponded(core::DataCentre* engine, const QString& barCode, int code, const QString& status,
                     const ht6630::FieldValues& fields);
    void finish(const QString& barCode, CommandOutcome outcome, const QString& message,
                const ht6630::FieldValues& fields = {});
    void result(const QString& barCode, const QJsonValue& id, CommandOutcome outcome, const QString& message,
                const ht6630::FieldValues& fields = {});

    const int timeoutMs_;
    ServiceLog& log_;
    EngineFor engineFor_;
    Publish publish_;
    QHash<QString, Pending> pending_;
};

}  // namespace service
