#include "MqttPublisher.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include "HomeAssistantDiscovery.h"
#include "core/MqttConnection.h"

namespace service {

namespace {
constexpr int kQos = 1;
constexpr int kLibraryWindow = 64;
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

QString IsoLocal(const QDateTime& t) { return t.toString(Qt::ISODate); }
}  // namespace

MqttPublisher::MqttPublisher(const ServiceConfig& config, ServiceLog& log, QObject* parent)
    : QObject(parent), config_(config), log_(log) {}

MqttPublisher::~MqttPublisher() = default;

QByteArray MqttPublisher::topic(const QString& tail) const { return (config_.mqttPrefix + QLatin1Char('/') + tail).toUtf8(); }

bool MqttPublisher::connected() const { return connection_ && connection_->isConnected(); }

bool MqttPublisher::start() {
    core::MqttSettings s;
    s.host = config_.mqttHost;
    s.port = config_.mqttPort;
    s.clientId = (QStringLiteral("ht6630-datacentre-") + config_.nodeName).toUtf8();
    s.user = config_.mqttUser;
    s.password = config_.mqttPassword;
    s.tls = config_.mqttTls;
    s.caFile = config_.mqttCaFile;
    s.certFile = config_.mqttCertFile;
    s.keyFile = config_.mqttKeyFile;
    s.willTopic = topic(QStringLiteral("nodes/") + config_.nodeName);
    s.willPayload = kOffline;
    // Sent and unacknowledged at most; the rest of the relay's window (and status, heat
    // and results) waits in the library's queue, in order. Every publish and every
    // acknowledgement walks the list from its head while this window has room, so a
    // small window with the queue behind it (the walk then stops at once) costs far
    // less than all of it in flight; the next message goes out as each PUBACK is read.
    s.maxInflight = kLibraryWindow;
    connection_ = new core::MqttConnection(s, this);
    connect(connection_, &core::MqttConnection::connected, this, &MqttPublisher::onConnect);
    connect(connection_, &core::MqttConnection::refused, this,
            [this](int, const QString& reason) { onRefused(reason); });
    connect(connection_, &core::MqttConnection::attemptFailed, this,
            [this](int, const QString& reason) { sayFailedAttempt(reason); });
    connect(connection_, &core::MqttConnection::lost, this, &MqttPublisher::onLost);
    connect(connection_, &core::MqttConnection::acknowledged, this, &MqttPublisher::acknowledged);
    connect(connection_, &core::MqttConnection::message, this,
            [this](const QByteArray& t, const QByteArray& payload, bool) { onMessage(t, payload); });
    connect(connection_, &core::MqttConnection::subscribed, this, &MqttPublisher::onSubscribed);
    connect(connection_, &core::MqttConnection::notSubscribed, this, [this](const QByteArray& t, const QString& reason) {
        // Not connected after all: the next connection subscribes again.
        log_.debug(QStringLiteral("mqtt: %1 not subscribed: %2").arg(QString::fromUtf8(t), reason));
    });
    connect(connection_, &core::MqttConnection::notPublished, this, [this](const QByteArray& t, const QString& reason) {
        log_.debug(QStringLiteral("mqtt: %1 not published: %2").arg(QString::fromUtf8(t), reason));
    });
    QString error;
    if (!connection_->start(&error)) {
        log_.error(QStringLiteral("mqtt: ") + error);
        return false;
    }
    return true;
}

void MqttPublisher::onRefused(const QString& reason) {
    failureSaid_ = true;   // the disconnect that follows says nothing more
    log_.error(QStringLiteral("mqtt: %1:%2 refused the connection: %3").arg(config_.mqttHost).arg(config_.mqttPort).arg(reason));
}

void MqttPublisher::onConnect() {
    failureSaid_ = false;
    log_.info(QStringLiteral("mqtt: connected to %1:%2").arg(config_.mqttHost).arg(config_.mqttPort));
    publish(topic(QStringLiteral("nodes/") + config_.nodeName), kOnline, true);
    // Also when nothing changed: a state retained by an earlier run may be stale.
    if (!storeStatus_.isEmpty()) publish(topic(QStringLiteral("nodes/") + config_.nodeName + QStringLiteral("/store")), storeStatus_, true);
    // A clean session forgets subscriptions: follow the cmd topics again.
    subscribeAllCommands();
    if (config_.mqttDiscovery) subscribe(DiscoveryStatusTopic(config_.mqttDiscoveryPrefix));
    emit connectionChanged(true);
}

void MqttPublisher::subscribeCommands(const QString& barCode) {
    if (commandTerminals_.contains(barCode)) return;
    commandTerminals_.insert(barCode);
    if (log_.level() == LogLevel::Debug)
        log_.debug(QStringLiteral("mqtt: following %1").arg(QString::fromUtf8(topic(barCode + QStringLiteral("/cmd")))));
}

void MqttPublisher::unsubscribeCommands(const QString& barCode) {
    if (!commandTerminals_.remove(barCode)) return;
    if (log_.level() == LogLevel::Debug)
        log_.debug(QStringLiteral("mqtt: no longer following %1").arg(QString::fromUtf8(topic(barCode + QStringLiteral("/cmd")))));
}

// One subscription for every terminal's cmd topic: a terminal coming or going costs
// the broker nothing; CommandQueue keeps the requests for terminals held elsewhere or
// nowhere. The results first: <prefix>/+/cmd follows their acknowledgement (onSubscribed).
void MqttPublisher::subscribeAllCommands() {
    subscribe(topic(QStringLiteral("+/cmd/result")));
    subscribe(topic(QStringLiteral("nodes/+")));
}

void MqttPublisher::subscribe(const QByteArray& t) {
    if (connection_) connection_->subscribe(t, kQos);
}

void MqttPublisher::onSubscribed(const QByteArray& t, int grantedQos) {
    if (grantedQos > 2) log_.warning(QStringLiteral("mqtt: the broker refused the subscription to %1").arg(QString::fromUtf8(t)));
    else log_.debug(QStringLiteral("mqtt: subscribed to %1").arg(QString::fromUtf8(t)));
    // The broker queues a subscription's retained messages with its acknowledgement, so
    // the retained results come before anything of +/cmd subscribed only now.
    if (t == topic(QStringLiteral("+/cmd/result"))) subscribe(topic(QStringLiteral("+/cmd")));
}

void MqttPublisher::onMessage(const QByteArray& t, const QByteArray& payload) {
    if (config_.mqttDiscovery && t == DiscoveryStatusTopic(config_.mqttDiscoveryPrefix)) {
        if (payload == kOnline) emit homeAssistantOnline();
        return;
    }
    // <prefix>/<barcode>/cmd, <prefix>/<barcode>/cmd/result, <prefix>/nodes/<node>.
    const QList<QByteArray> levels = t.split('/');
    if (levels.size() < 3 || levels[0] != config_.mqttPrefix.toUtf8()) return;
    const QString second = QString::fromUtf8(levels[1]);
    if (levels.size() == 3 && levels[1] == "nodes") emit nodeStateReceived(QString::fromUtf8(levels[2]), payload);
    else if (levels.size() == 3 && levels[2] == "cmd") emit commandReceived(second, payload);
    else if (levels.size() == 4 && levels[2] == "cmd" && levels[3] == "result") emit commandResultReceived(second, payload);
}

int MqttPublisher::publishCommandResult(const QString& barCode, const QByteArray& json) {
    return publish(topic(barCode + QStringLiteral("/cmd/result")), json, true);
}

int MqttPublisher::publishKeptCommand(const QString& barCode, const QByteArray& payload) {
    return publish(topic(barCode + QStringLiteral("/cmd")), payload, true);
}

void MqttPublisher::setStoreStatus(const QByteArray& json) {
    storeStatus_ = json;
    if (connected()) publish(topic(QStringLiteral("nodes/") + config_.nodeName + QStringLiteral("/store")), json, true);
}

void MqttPublisher::onLost(int rc, const QString& reason) {
    emit connectionChanged(false);
    failureSaid_ = rc != 0;
    if (rc != 0) log_.warning(QStringLiteral("mqtt: connection lost (%1); reconnecting").arg(reason));
}

// The first failed attempt of a run is a warning, its retries only debug lines.
void MqttPublisher::sayFailedAttempt(const QString& reason) {
    const QString text = QStringLiteral("mqtt: cannot connect to %1:%2 (%3); retrying")
                             .arg(config_.mqttHost).arg(config_.mqttPort).arg(reason);
    if (failureSaid_) log_.debug(text);
    else log_.warning(text);
    failureSaid_ = true;
}

int MqttPublisher::publish(const QByteArray& t, const QByteArray& payload, bool retain, int qos) {
    return connection_ ? connection_->publish(t, payload, retain, qos) : -1;
}

int MqttPublisher::publishMeasurement(const QString& tail, const QByteArray& payload) {
    return publish(topic(tail), payload, false);
}

void MqttPublisher::publishRetained(const QString& tail, const QByteArray& payload) {
    // QoS 0: no acknowledgement to read; a value lost with the connection is replaced by the next.
    publish(topic(tail), payload, true, 0);
}

void MqttPublisher::publishDiscovery(const QByteArray& t, const QByteArray& payload) { publish(t, payload, true); }

void MqttPublisher::publishStatus(const QString& barCode, bool online, const QString& channel, const QString& address,
                                  const QDateTime& since, bool overdue) {
    QJsonObject o;
    o.insert(QStringLiteral("online"), online);
    if (overdue) o.insert(QStringLiteral("overdue"), true);
    o.insert(QStringLiteral("node"), config_.nodeName);
    o.insert(QStringLiteral("channel"), channel);
    o.insert(QStringLiteral("address"), address);
    o.insert(QStringLiteral("since"), IsoLocal(since));
    publish(topic(barCode + QStringLiteral("/status")), QJsonDocument(o).toJson(QJsonDocument::Compact), true);
}

void MqttPublisher::stop(int graceMs) {
    if (!connection_ || !connection_->isRunning()) {
        emit stopped();
        return;
    }
    // A clean disconnect sends no last will: say "offline" ourselves.
    publish(topic(QStringLiteral("nodes/") + config_.nodeName), kOffline, true);
    const QDeadlineTimer deadline(graceMs);
    auto* poll = new QTimer(this);
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [this, poll, deadline] {
        core::MqttConnection& c = *connection_;
        if (c.isRunning()) {
            if (c.inFlight() > 0 && c.isConnected() && !deadline.hasExpired()) return;
            if (c.inFlight() > 0) log_.warning(QStringLiteral("mqtt: %1 message(s) not acknowledged at the stop").arg(c.inFlight()));
            c.disconnectFromBroker();
        }
        // The library closes the socket once the DISCONNECT is written.
        if (c.socketOpen() && !deadline.hasExpired()) return;
        poll->stop();
        c.stopTimers();
        emit stopped();
    });
    poll->start();
}

}  // namespace service
