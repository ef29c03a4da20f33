#pragma once
// The service fleet as seen through its broker: the terminals every node reports
// (retained <prefix>/<barcode>/status and /state), the configuration requests this
// client sends on <prefix>/<barcode>/cmd and their results (<prefix>/<barcode>/cmd/result),
// and the readings of the terminals someone follows (<prefix>/<barcode>/readings).
// One MqttConnection, reconnecting by itself; windows only observe this object.
//
// Terminals are kept in the order they were first heard of, so a row number stays
// the same terminal for the client's life (a view appends, never reorders).
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

#include "core/TerminalSeriesLoader.h"
#include "protocol/Catalogue.h"
#include "protocol/Fields.h"

namespace core {

class MqttConnection;

struct FleetSettings {
    QString url;        // mqtt://host[:port] or mqtts://host[:port]
    QString user, password;
    QString caFile, certFile, keyFile;
    QString prefix = QStringLiteral("ht6630");
};

struct BrokerAddress {
    QString host;
    quint16 port = 1883;
    bool tls = false;
};
// The broker of an mqtt:// or mqtts:// URL (default ports 1883 and 8883); nothing for any other text.
std::optional<BrokerAddress> ParseBrokerUrl(const QString& url);

struct FleetTerminal {
    QString barCode;
    bool online = false;
    bool overdue = false;
    QString node, channel, address;
    QDateTime since;                 // the status's "since"
    QDateTime lastSeen;              // the newest "since" or "received" heard of
    std::optional<double> temperature, humidity, battery;
    QString readingTime;             // the newest reading's own time, as published
};

// A request's states as the service reports them; Published: sent to the broker, no node has said more.
enum class FleetRequestState { Published, Queued, Sent, Answered, Refused, Timeout, Replaced, Expired, Cancelled };
// "published", "queued", "sent", "answered", …
QString FleetRequestStateName(FleetRequestState state);

struct FleetRequest {
    QString id, barCode;
    ht6630::Op op = ht6630::Op::ReadBarCode;
    bool atUploadEnd = false;
    FleetRequestState state = FleetRequestState::Published;
    QDateTime made;
    bool cancellable() const { return state == FleetRequestState::Published || state == FleetRequestState::Queued; }
};

struct FleetResult {
    FleetRequest request;            // with its final state
    std::optional<bool> ok;
    QString message;                 // answered: the consoles' status text
    ht6630::FieldValues fields;      // answered: the decoded values
    QString node;
};

// What the consoles' status line shows for a request of this client: "准备…" once a
// node keeps it for the upload end, "正在…" while it goes to the terminal, and at its
// end the text the local data centre would show for the terminal's answer (or why
// there was none).
QString FleetRequestText(const FleetRequest& request);
QString FleetResultText(const FleetResult& result);

class FleetClient : public QObject {
    Q_OBJECT
public:
    enum class State { Disconnected, Connecting, Connected, Reconnecting, Refused };
    Q_ENUM(State)

    explicit FleetClient(QObject* parent = nullptr);
    ~FleetClient() override;

    // Connects (and keeps reconnecting). False, with the reason, for a URL that is not
    // mqtt:// or mqtts:// or a client that cannot be set up. The terminals known stay.
    bool connectTo(const FleetSettings& settings, QString* error);
    void disconnectFromBroker();
    State state() const { return state_; }
    QString stateDetail() const { return detail_; }
    const FleetSettings& settings() const { return settings_; }

    int terminalCount() const { return int(terminals_.size()); }
    const FleetTerminal& terminal(int row) const { return terminals_[std::size_t(row)]; }
    int rowOf(const QString& barCode) const { return rows_.value(barCode, -1); }

    // Publishes a request for `barCode` with the fields its operation takes; its id
    // (empty when not connected, with nothing sent).
    QString sendRequest(const QString& barCode, ht6630::Op op, const ht6630::FieldInputs& inputs, bool atUploadEnd);
    // Asks the node to drop a request still queued; false when it cannot be cancelled.
    bool cancelRequest(const QString& id);
    // Requests sent and not ended, oldest first.
    QList<FleetRequest> waiting() const { return waiting_; }

    // <prefix>/<barcode>/readings is followed while anyone follows it.
    void followReadings(const QString& barCode);
    void unfollowReadings(const QString& barCode);

signals:
    void stateChanged(core::FleetClient::State state, const QString& detail);
    void terminalAdded(int row);
    void terminalChanged(int row);
    // A terminal's online state as its status says it (first heard of, or changed).
    void onlineChanged(const QString& barCode, bool online);
    void requestsChanged();
    void requestStateChanged(const core::FleetRequest& request);   // queued or sent
    void requestEnded(const core::FleetResult& result);
    void readingsReceived(const QString& barCode, const core::TerminalSeries& readings);

private:
    void setState(State state, const QString& detail);
    void onConnected();
    void onMessage(const QByteArray& topic, const QByteArray& payload);
    void onStatus(const QString& barCode, const QByteArray& payload);
    void onState(const QString& barCode, const QByteArray& payload);
    void onResult(const QString& barCode, const QByteArray& payload);
    void onReadings(const QString& barCode, const QByteArray& payload);
    FleetTerminal& terminalFor(const QString& barCode, int* row);
    QByteArray topic(const QString& tail) const;

    FleetSettings settings_;
    MqttConnection* connection_ = nullptr;
    State state_ = State::Disconnected;
    QString detail_;
    std::vector<FleetTerminal> terminals_;
    QHash<QString, int> rows_;
    QList<FleetRequest> waiting_;
    QHash<QString, int> followed_;   // bar code -> followers
    const QString idTag_;            // makes this run's request ids its own
    int nextId_ = 0;
};

}  // namespace core
