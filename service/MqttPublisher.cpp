#include "MqttPublisher.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>

#include "HomeAssistantDiscovery.h"

#include <algorithm>

namespace service {

namespace {
constexpr int kKeepAliveSeconds = 30;
constexpr int kQos = 1;
constexpr int kLibraryWindow = 64;
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

QString IsoLocal(const QDateTime& t) { return t.toString(Qt::ISODate); }
}  // namespace

MqttPublisher::MqttPublisher(const ServiceConfig& config, ServiceLog& log, QObject* parent)
    : QObject(parent), config_(config), log_(log) {}

MqttPublisher::~MqttPublisher() {
    if (!client_) return;
    // Nothing of this object is reached from the library any more.
    mosquitto_disconnect_callback_set(client_, nullptr);
    mosquitto_publish_callback_set(client_, nullptr);
    if (running_) mosquitto_disconnect(client_);
    dropSocket();
    mosquitto_destroy(client_);
}

QByteArray MqttPublisher::topic(const QString& tail) const { return (config_.mqttPrefix + QLatin1Char('/') + tail).toUtf8(); }

bool MqttPublisher::start() {
    const QByteArray id = (QStringLiteral("ht6630-datacentre-") + config_.nodeName).toUtf8();
    client_ = mosquitto_new(id.constData(), true, this);
    if (!client_) {
        log_.error(QStringLiteral("mqtt: cannot create the client"));
        return false;
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Sent and unacknowledged at most; the rest of the relay's window (and status, heat
    // and results) waits in the library's queue, in order. Every publish and every
    // acknowledgement walks the list from its head while this window has room, so a
    // small window with the queue behind it (the walk then stops at once) costs far
    // less than all of it in flight; the next message goes out as each PUBACK is read.
    mosquitto_max_inflight_messages_set(client_, kLibraryWindow);
    const QByteArray nodeTopic = topic(QStringLiteral("nodes/") + config_.nodeName);
    mosquitto_will_set(client_, nodeTopic.constData(), kOffline.size(), kOffline.constData(), kQos, true);
    if (!config_.mqttUser.isEmpty())
        mosquitto_username_pw_set(client_, config_.mqttUser.toUtf8().constData(),
                                  config_.mqttPassword.isEmpty() ? nullptr : config_.mqttPassword.toUtf8().constData());
    if (config_.mqttTls) {
        const QByteArray ca = config_.mqttCaFile.toUtf8();
        const QByteArray cert = config_.mqttCertFile.toUtf8();
        const QByteArray key = config_.mqttKeyFile.toUtf8();
        const int rc = mosquitto_tls_set(client_, ca.isEmpty() ? nullptr : ca.constData(),
                                         ca.isEmpty() ? "/etc/ssl/certs" : nullptr, cert.isEmpty() ? nullptr : cert.constData(),
                                         key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            log_.error(QStringLiteral("mqtt: TLS setup failed: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
            return false;
        }
    }
    // The callbacks run on this thread, inside mosquitto_loop_read/write/misc (or a
    // publish): messages published from them are queued and written by the next write.
    mosquitto_connect_callback_set(client_, [](mosquitto*, void* obj, int rc) { static_cast<MqttPublisher*>(obj)->onConnect(rc); });
    mosquitto_disconnect_callback_set(client_, [](mosquitto*, void* obj, int rc) {
        static_cast<MqttPublisher*>(obj)->onDisconnect(rc);
    });
    mosquitto_publish_callback_set(client_, [](mosquitto*, void* obj, int mid) {
        auto* self = static_cast<MqttPublisher*>(obj);
        --self->inFlight_;
        emit self->acknowledged(mid);
    });
    mosquitto_message_callback_set(client_, [](mosquitto*, void* obj, const mosquitto_message* m) {
        const QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
        static_cast<MqttPublisher*>(obj)->onMessage(QByteArray(m->topic), payload);
    });
    mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* obj, int mid, int count, const int* granted) {
        static_cast<MqttPublisher*>(obj)->onSubscribed(mid, count > 0 ? granted[0] : 0x80);
    });

    misc_ = new QTimer(this);
    misc_->setInterval(1000);
    connect(misc_, &QTimer::timeout, this, [this] {
        mosquitto_loop_misc(client_);
        serviceSocket();
    });
    misc_->start();
    reconnect_ = new QTimer(this);
    reconnect_->setSingleShot(true);
    connect(reconnect_, &QTimer::timeout, this, &MqttPublisher::reconnect);
    running_ = true;

    const QByteArray host = config_.mqttHost.toUtf8();
    const int rc = mosquitto_connect_async(client_, host.constData(), config_.mqttPort, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        sayFailedAttempt(rc);
        connectLater();
    }
    serviceSocket();
    return true;
}

// The next attempt 1 s after the first failure, doubling up to 30 s; a connection
// accepted by the broker starts again from 1 s.
void MqttPublisher::connectLater() {
    if (!running_ || reconnect_->isActive()) return;
    reconnectDelayMs_ = reconnectDelayMs_ == 0 ? 1000 : std::min(2 * reconnectDelayMs_, 30000);
    reconnect_->start(reconnectDelayMs_);
}

void MqttPublisher::reconnect() {
    if (!running_) return;
    const int rc = mosquitto_reconnect_async(client_);
    if (rc != MOSQ_ERR_SUCCESS) {
        sayFailedAttempt(rc);
        connectLater();
    }
    serviceSocket();
}

void MqttPublisher::onReadable() {
    mosquitto_loop_read(client_, 1);
    serviceSocket();
}

void MqttPublisher::onWritable() {
    mosquitto_loop_write(client_, 1);
    serviceSocket();
}

// A lost connection or a failed attempt has been reported to onDisconnect() by then.
void MqttPublisher::serviceSocket() {
    const int fd = mosquitto_socket(client_);
    if (fd != socket_) {
        // The library closed its socket (and maybe opened another) during the call.
        dropSocket();
        if (fd >= 0) {
            socket_ = fd;
            readable_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(readable_, &QSocketNotifier::activated, this, &MqttPublisher::onReadable);
            writable_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            writable_->setEnabled(false);
            connect(writable_, &QSocketNotifier::activated, this, &MqttPublisher::onWritable);
        }
    }
    if (writable_) writable_->setEnabled(mosquitto_want_write(client_));
}

// After a publish or (un)subscription: what the socket did not take at once (or all of
// it, inside a callback) waits for the write notifier.
void MqttPublisher::watchWrites() {
    if (writable_ && !writable_->isEnabled() && mosquitto_want_write(client_)) writable_->setEnabled(true);
}

void MqttPublisher::dropSocket() {
    // Perhaps called from one of their own signals: disabled now, deleted later.
    for (QSocketNotifier* n : {readable_, writable_}) {
        if (!n) continue;
        n->setEnabled(false);
        n->deleteLater();
    }
    readable_ = writable_ = nullptr;
    socket_ = -1;
}

void MqttPublisher::onConnect(int rc) {
    if (rc != 0) {
        failureSaid_ = true;   // the disconnect that follows says nothing more
        log_.error(QStringLiteral("mqtt: %1:%2 refused the connection: %3")
                       .arg(config_.mqttHost).arg(config_.mqttPort).arg(QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    connected_ = true;
    failureSaid_ = false;
    reconnectDelayMs_ = 0;
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
    if (!client_) return;
    int mid = 0;
    const int rc = mosquitto_subscribe(client_, &mid, t.constData(), kQos);
    watchWrites();
    if (rc != MOSQ_ERR_SUCCESS) {
        // Not connected after all: the next connection subscribes again.
        log_.debug(QStringLiteral("mqtt: %1 not subscribed: %2").arg(QString::fromUtf8(t), QString::fromUtf8(mosquitto_strerror(rc))));
        return;
    }
    subscribing_.insert(mid, t);
}

void MqttPublisher::onSubscribed(int mid, int grantedQos) {
    const QByteArray t = subscribing_.take(mid);
    if (t.isEmpty()) return;
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
    if (connected_) publish(topic(QStringLiteral("nodes/") + config_.nodeName + QStringLiteral("/store")), json, true);
}

void MqttPublisher::onDisconnect(int rc) {
    // Called with the socket closed: after a lost connection, a failed attempt or our own disconnect.
    connectLater();
    if (!connected_) {
        if (running_) sayFailedAttempt(rc);   // refused, unreachable, a TLS handshake that failed
        return;
    }
    connected_ = false;
    emit connectionChanged(false);
    failureSaid_ = rc != 0;
    if (rc != 0) log_.warning(QStringLiteral("mqtt: connection lost (%1); reconnecting").arg(QString::fromUtf8(mosquitto_strerror(rc))));
}

// The first failed attempt of a run is a warning, its retries only debug lines.
void MqttPublisher::sayFailedAttempt(int rc) {
    const QString text = QStringLiteral("mqtt: cannot connect to %1:%2 (%3); retrying")
                             .arg(config_.mqttHost).arg(config_.mqttPort).arg(QString::fromUtf8(mosquitto_strerror(rc)));
    if (failureSaid_) log_.debug(text);
    else log_.warning(text);
    failureSaid_ = true;
}

int MqttPublisher::publish(const QByteArray& t, const QByteArray& payload, bool retain, int qos) {
    if (!client_) return -1;
    int mid = 0;
    const int rc = mosquitto_publish(client_, &mid, t.constData(), static_cast<int>(payload.size()), payload.constData(),
                                     qos, retain);
    // Outside a callback the library writes the message at once; what the socket did not
    // take waits for the write notifier. A write that failed leaves the message with the
    // library (queued under `mid`), sent again once it reconnects.
    watchWrites();
    const bool kept = rc == MOSQ_ERR_SUCCESS ||
                      (mid > 0 && (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_ERRNO || rc == MOSQ_ERR_NO_CONN));
    if (!kept) {
        log_.debug(QStringLiteral("mqtt: %1 not published: %2").arg(QString::fromUtf8(t), QString::fromUtf8(mosquitto_strerror(rc))));
        return -1;
    }
    ++inFlight_;
    return mid;
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
    if (!client_ || !running_) {
        emit stopped();
        return;
    }
    // A clean disconnect sends no last will: say "offline" ourselves.
    publish(topic(QStringLiteral("nodes/") + config_.nodeName), kOffline, true);
    const QDeadlineTimer deadline(graceMs);
    auto* poll = new QTimer(this);
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [this, poll, deadline] {
        if (running_) {
            if (inFlight_ > 0 && connected_ && !deadline.hasExpired()) return;
            if (inFlight_ > 0) log_.warning(QStringLiteral("mqtt: %1 message(s) not acknowledged at the stop").arg(inFlight_));
            running_ = false;
            reconnect_->stop();
            mosquitto_disconnect(client_);   // written now, or once the socket takes it
            serviceSocket();
        }
        // The library closes the socket once the DISCONNECT is written.
        if (socket_ >= 0 && !deadline.hasExpired()) return;
        poll->stop();
        misc_->stop();
        emit stopped();
    });
    poll->start();
}

}  // namespace service
