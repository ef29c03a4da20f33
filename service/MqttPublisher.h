#pragma once
// Readings and terminal states to an MQTT broker through core::MqttConnection
// (libmosquitto run from this thread's event loop, reconnecting with a back-off up
// to 30 s): this class says what is published where and writes the log lines.
//
//   <prefix>/<barcode>/readings one JSON object per upload with its records in order, QoS 1 (ReadingsRelay)
//   <prefix>/<barcode>/state    retained JSON: the newest reading, QoS 0
//   <prefix>/<barcode>/reading  one JSON object per room-temperature record, QoS 1 ([mqtt] readings = each)
//   <prefix>/<barcode>/heat     one JSON object per heat-meter record, QoS 1
//   <prefix>/<barcode>/status   retained JSON: online, node, channel, address, since
//   <prefix>/nodes/<node>       retained "online"; the broker's last will sets "offline"
//   <prefix>/nodes/<node>/store retained JSON: whether the readings store can be written
//   <prefix>/<barcode>/cmd/result  retained JSON: the latest state of the terminal's cmd request, QoS 1
//   <prefix>/<barcode>/cmd      retained: the request kept for the terminal (CommandQueue), QoS 1
//   <discovery_prefix>/sensor/...  retained Home Assistant discovery, QoS 1 ([mqtt] discovery)
// and subscribes to <prefix>/+/cmd/result and <prefix>/nodes/+, then, once the broker
// acknowledged the first, to <prefix>/+/cmd: on one connection the retained results
// arrive before the retained requests (and, with discovery, to <discovery_prefix>/status,
// Home Assistant's "online").
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>

#include "ServiceConfig.h"
#include "ServiceLog.h"
#include "protocol/Readings.h"

namespace core {
class MqttConnection;
}

namespace service {

class MqttPublisher : public QObject {
    Q_OBJECT
public:
    MqttPublisher(const ServiceConfig& config, ServiceLog& log, QObject* parent = nullptr);
    ~MqttPublisher() override;

    // Starts connecting (and keeps trying); false (logged) when the client cannot be set up.
    bool start();
    // QoS 1, not retained, under <prefix>/<tail>; the message id for acknowledged(),
    // -1 when the library refused it.
    int publishMeasurement(const QString& tail, const QByteArray& payload);
    // QoS 0, retained, under <prefix>/<tail>: a latest value that replaces the one before.
    void publishRetained(const QString& tail, const QByteArray& payload);
    // `overdue` adds "overdue": true (a held terminal silent past three heart beats).
    void publishStatus(const QString& barCode, bool online, const QString& channel, const QString& address,
                       const QDateTime& since, bool overdue = false);
    // QoS 1, retained, under a topic of its own (not under the prefix).
    void publishDiscovery(const QByteArray& topic, const QByteArray& payload);
    bool connected() const;
    // QoS 1, retained: a cmd request's state, and the request kept for the terminal (empty:
    // cleared). The message id for acknowledged(), -1 when the library refused it.
    int publishCommandResult(const QString& barCode, const QByteArray& json);
    int publishKeptCommand(const QString& barCode, const QByteArray& payload);
    // The node's store state (StoreStatusPayload), retained: published now and on each connection.
    void setStoreStatus(const QByteArray& json);
    // The terminal is held here (or no longer): said in the debug log; every terminal's
    // requests arrive through the one subscription to <prefix>/+/cmd.
    void subscribeCommands(const QString& barCode);
    void unsubscribeCommands(const QString& barCode);

    // Publishes the node's "offline", waits (at most `graceMs`) for what is in flight,
    // disconnects cleanly and emits stopped().
    void stop(int graceMs);

signals:
    void stopped();
    // A message on a terminal's cmd topic (any terminal's), and on its cmd/result topic.
    void commandReceived(const QString& barCode, const QByteArray& payload);
    void commandResultReceived(const QString& barCode, const QByteArray& payload);
    // <prefix>/nodes/<node>: "online" or "offline".
    void nodeStateReceived(const QString& node, const QByteArray& payload);
    void connectionChanged(bool connected);
    // The broker acknowledged message `mid` (PUBACK); emitted from inside the library's read.
    void acknowledged(int mid);
    // Home Assistant said "online" on <discovery_prefix>/status (it started, or came back).
    void homeAssistantOnline();

private:
    int publish(const QByteArray& topic, const QByteArray& payload, bool retain, int qos = 1);
    QByteArray topic(const QString& tail) const;
    void onConnect();
    void onRefused(const QString& reason);
    void onLost(int rc, const QString& reason);
    void sayFailedAttempt(const QString& reason);
    void onMessage(const QByteArray& topic, const QByteArray& payload);
    void onSubscribed(const QByteArray& topic, int grantedQos);
    void subscribeAllCommands();
    void subscribe(const QByteArray& topic);

    const ServiceConfig config_;
    ServiceLog& log_;
    core::MqttConnection* connection_ = nullptr;
    bool failureSaid_ = false;       // this run of failed attempts is in the log already
    QSet<QString> commandTerminals_; // held here: their cmd topic followed (the log says so)
    QByteArray storeStatus_;         // the latest store state, for each new connection
};

}  // namespace service
