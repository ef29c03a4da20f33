#pragma once
// The cmd requests for the terminals this node holds: checks each with the consoles'
// rules, claims it on the broker before its frame leaves, hands it to the engine that
// holds its terminal (now, or kept for the upload end), and ends it with one final
// state: the terminal's response, a refusal, a newer request, the timeout, a cancel or
// its expiry. One request per terminal. A request not yet sent when its terminal
// leaves, or when the node stops, is not ended: it waits for the terminal's next
// visit in the queue (CommandQueue).
//
// The claim: the state "sent" is published (retained) and acknowledged by the broker,
// the request's id is written to this node's store, and only then does the frame leave
// (for a kept request: the claim starts with the upload end, the frame follows it by the
// reply delay). Every node ignores an id once it has been sent, so a request runs once.
#include <QHash>
#include <QJsonValue>
#include <QObject>

#include <functional>
#include <optional>

#include "CommandMessage.h"
#include "ServiceLog.h"

class QTimer;

namespace core {
class DataCentre;
}

namespace service {

// How a cmd request ended: the terminal answered (success or failure), its checks
// refused it (malformed, unknown, a value out of range), a newer request replaced it,
// it timed out, the terminal left or the service stopped after it was sent, the
// terminal could not be reached, it expired, it was cancelled, or the node that sent it
// went away without ending it.
enum class CommandOutcome { Ok, Failed, Refused, Replaced, Timeout, TerminalLeft, ServiceStopping, NotHeld, Expired, Cancelled,
                            NodeLeft };
inline constexpr int kCommandOutcomes = 11;
// "ok", "failed", "refused", "replaced", "timeout", "terminal_left", "service_stopping", "not_held",
// "expired", "cancelled", "node_left".
const char* CommandOutcomeName(CommandOutcome outcome);
// The state a result says for it: "answered", "refused", "replaced", "timeout", "expired", "cancelled".
QString CommandStateName(CommandOutcome outcome);

class CommandDesk : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // The engine holding a terminal now (nullptr: none on this node).
        std::function<core::DataCentre*(const QString& barCode)> engineFor;
        // Publishes a result JSON for a terminal (retained): the message id, -1 when refused.
        std::function<int(const QString& barCode, const QByteArray& json)> publish;
        // A request's state other than "queued" went out ("sent" once the broker has it).
        std::function<void(const QString& barCode, const QString& id, const QString& state)> stateSaid;
        // Another node sent or ended this id first.
        std::function<bool(const QString& barCode, const QString& id)> takenElsewhere;
    };

    CommandDesk(int timeoutMs, const QString& node, ServiceLog& log, Hooks hooks, QObject* parent = nullptr);
    ~CommandDesk() override;

    // Follows an engine's responses, upload ends and the requests it sends at upload ends.
    void watch(core::DataCentre& engine);
    // A cmd request for a terminal: false when no engine here holds it (nothing said).
    bool command(const QString& barCode, const QByteArray& payload);
    // The broker acknowledged message `mid`: a claim may go on.
    void acknowledged(int mid);
    // The terminal is no longer held by `engine`.
    void terminalLeft(const QString& barCode, const core::DataCentre* engine);
    // The service stops: requests sent and unanswered end "timeout" with `message`.
    void endAll(const QString& message);
    // The request `id` waiting here: true when it was (then cancelled, or left alone once sent).
    bool cancel(const QString& barCode, const QString& id);
    // Ends the request `id` "expired" when it waits here unsent; true when it did.
    bool expire(const QString& barCode, const QString& id);
    bool holds(const QString& barCode, const QString& id) const;

    // Results said for requests that never reached an engine here (CommandQueue).
    void progress(const QString& barCode, const QJsonValue& id, const QString& state);
    void result(const QString& barCode, const QJsonValue& id, CommandOutcome outcome, const QString& message,
                const ht6630::FieldValues& fields = {});

signals:
    // Each final result published, as it is.
    void ended(service::CommandOutcome outcome);

private:
    struct Pending {
        QJsonValue id;
        ht6630::Op op;
        core::DataCentre* engine = nullptr;
        bool atUploadEnd = false;
        QByteArray frame;          // for a request sent now: written once claimed
        int claimMid = -1;         // the "sent" state in flight to the broker
        bool claimed = false;      // the broker has it
        bool sent = false;
        QTimer* timer = nullptr;   // runs from the moment the request left
    };

    void claim(const QString& barCode, Pending& p);
    void startTimer(const QString& barCode, Pending& p);
    void onUploadEnd(core::DataCentre* engine, const QString& barCode);
    void onSent(core::DataCentre* engine, const QString& barCode);
    void onResponded(core::DataCentre* engine, const QString& barCode, int code, const QString& status,
                     const ht6630::FieldValues& fields);
    void finish(const QString& barCode, CommandOutcome outcome, const QString& message,
                const ht6630::FieldValues& fields = {});
    // Forgets it without a result: it waits in the queue, or another node has it.
    void drop(const QString& barCode);

    const int timeoutMs_;
    const QString node_;
    ServiceLog& log_;
    Hooks hooks_;
    QHash<QString, Pending> pending_;
    QHash<int, QString> claims_;   // message id of a "sent" -> its terminal
};

}  // namespace service
