#include "MqttPublisher.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>

namespace service {

namespace {
constexpr int kKeepAliveSeconds = 30;
constexpr int kQos = 1;
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

QString IsoLocal(const QDateTime& t) { return t.toString(Qt::ISODate); }
}  // namespace

MqttPublisher::MqttPublisher(const ServiceConfig& config, ServiceLog& log, QObject* parent)
    : QObject(parent), config_(config), log_(log) {}

MqttPublisher::~MqttPublisher() {
    if (!client_) return;
    if (looping_) {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, true);
    }
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
    // The relay's readings (256 at most) plus status, heat and results; beyond this
    // libmosquitto queues, and it walks the in-flight list on every acknowledgement.
    mosquitto_max_inflight_messages_set(client_, 400);
    mosquitto_reconnect_delay_set(client_, 1, 30, true);
    const QByteArray nodeTopic = topic(QStringLiteral("nodes/") + config_.nodeName);
    mosquitto_will_set(client_, nodeTopic.constData(), kOffline.size(), kOffline.constData(), kQos, true);
    if (!config_.mqttUser.isEmpty())
        mosquitto_username_pw_set(client_, config_.mqttUser.toUtf8().constData(),
                                  config_.mqttPassword.isEmpty() ? nullptr : config_.mqttPassword.toUtf8().constData());
    if (config_.mqttTls) {
        const QByteArray ca = config_.mqttCaFile.toUtf8();
        const int rc = mosquitto_tls_set(client_, ca.isEmpty() ? nullptr : ca.constData(),
                                         ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            log_.error(QStringLiteral("mqtt: TLS setup failed: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
            return false;
        }
    }
    // The callbacks run on the library's thread: hand them to the event loop.
    mosquitto_connect_callback_set(client_, [](mosquitto*, void* obj, int rc) {
        auto* self = static_cast<MqttPublisher*>(obj);
        QMetaObject::invokeMethod(self, [self, rc] { self->onConnect(rc); }, Qt::QueuedConnection);
    });
    mosquitto_disconnect_callback_set(client_, [](mosquitto*, void* obj, int rc) {
        auto* self = static_cast<MqttPublisher*>(obj);
        QMetaObject::invokeMethod(self, [self, rc] { self->onDisconnect(rc); }, Qt::QueuedConnection);
    });
    mosquitto_publish_callback_set(client_, [](mosquitto*, void* obj, int mid) {
        auto* self = static_cast<MqttPublisher*>(obj);
        // Queued first: once stop() sees nothing in flight, every acknowledgement is queued.
        QMetaObject::invokeMethod(self, [self, mid] { emit self->acknowledged(mid); }, Qt::QueuedConnection);
        self->inFlight_.fetch_sub(1);
    });
    mosquitto_message_callback_set(client_, [](mosquitto*, void* obj, const mosquitto_message* m) {
        auto* self = static_cast<MqttPublisher*>(obj);
        QByteArray topic(m->topic);
        QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
        QMetaObject::invokeMethod(
            self, [self, topic = std::move(topic), payload = std::move(payload)] { self->onMessage(topic, payload); },
            Qt::QueuedConnection);
    });
    mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* obj, int mid, int count, const int* granted) {
        auto* self = static_cast<MqttPublisher*>(obj);
        const int qos = count > 0 ? granted[0] : 0x80;
        QMetaObject::invokeMethod(self, [self, mid, qos] { self->onSubscribed(mid, qos); }, Qt::QueuedConnection);
    });
    const QByteArray host = config_.mqttHost.toUtf8();
    const int rc = mosquitto_connect_async(client_, host.constData(), config_.mqttPort, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        log_.warning(QStringLiteral("mqtt: cannot connect to %1:%2 yet (%3); retrying")
                         .arg(config_.mqttHost).arg(config_.mqttPort).arg(QString::fromUtf8(mosquitto_strerror(rc))));
        retryFirstConnect(1000);
    }
    if (mosquitto_loop_start(client_) != MOSQ_ERR_SUCCESS) {
        log_.error(QStringLiteral("mqtt: cannot start the client thread"));
        return false;
    }
    looping_ = true;
    return true;
}

// A first connection refused at once leaves libmosquitto's thread waiting for a
// connection attempt that never comes (its own reconnecting starts only after one
// succeeded): retry it from here, backing off like the library, up to 30 s.
void MqttPublisher::retryFirstConnect(int delayMs) {
    QTimer::singleShot(delayMs, this, [this, delayMs] {
        if (!looping_) return;
        if (mosquitto_reconnect_async(client_) != MOSQ_ERR_SUCCESS) retryFirstConnect(std::min(2 * delayMs, 30000));
    });
}

void MqttPublisher::onConnect(int rc) {
    if (rc != 0) {
        log_.error(QStringLiteral("mqtt: %1:%2 refused the connection: %3")
                       .arg(config_.mqttHost).arg(config_.mqttPort).arg(QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    connected_ = true;
    log_.info(QStringLiteral("mqtt: connected to %1:%2").arg(config_.mqttHost).arg(config_.mqttPort));
    publish(topic(QStringLiteral("nodes/") + config_.nodeName), kOnline, true);
    // A clean session forgets subscriptions: follow the terminals' cmd topics again.
    for (const QString& barCode : std::as_const(commandTerminals_)) subscribe(barCode);
    emit connectionChanged(true);
}

void MqttPublisher::subscribeCommands(const QString& barCode) {
    if (commandTerminals_.contains(barCode)) return;
    commandTerminals_.insert(barCode);
    if (connected_) subscribe(barCode);
}

void MqttPublisher::unsubscribeCommands(const QString& barCode) {
    if (!commandTerminals_.remove(barCode) || !client_ || !connected_) return;
    const QByteArray t = topic(barCode + QStringLiteral("/cmd"));
    mosquitto_unsubscribe(client_, nullptr, t.constData());
    log_.debug(QStringLiteral("mqtt: unsubscribed from %1").arg(QString::fromUtf8(t)));
}

void MqttPublisher::subscribe(const QString& barCode) {
    if (!client_) return;
    const QByteArray t = topic(barCode + QStringLiteral("/cmd"));
    int mid = 0;
    const int rc = mosquitto_subscribe(client_, &mid, t.constData(), kQos);
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
}

void MqttPublisher::onMessage(const QByteArray& t, const QByteArray& payload) {
    // <prefix>/<barcode>/cmd, for a terminal still followed.
    const QList<QByteArray> levels = t.split('/');
    if (levels.size() != 3 || levels[0] != config_.mqttPrefix.toUtf8() || levels[2] != "cmd") return;
    const QString barCode = QString::fromUtf8(levels[1]);
    if (commandTerminals_.contains(barCode)) emit commandReceived(barCode, payload);
}

void MqttPublisher::publishCommandResult(const QString& barCode, const QByteArray& json) {
    publish(topic(barCode + QStringLiteral("/cmd/result")), json, false);
}

void MqttPublisher::onDisconnect(int rc) {
    if (!connected_) return;
    connected_ = false;
    emit connectionChanged(false);
    if (rc != 0) log_.warning(QStringLiteral("mqtt: connection lost (%1); reconnecting").arg(QString::fromUtf8(mosquitto_strerror(rc))));
}

int MqttPublisher::publish(const QByteArray& t, const QByteArray& payload, bool retain) {
    if (!client_) return -1;
    inFlight_.fetch_add(1);
    int mid = -1;
    const int rc = mosquitto_publish(client_, &mid, t.constData(), static_cast<int>(payload.size()), payload.constData(),
                                     kQos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        inFlight_.fetch_sub(1);
        log_.debug(QStringLiteral("mqtt: %1 not published: %2").arg(QString::fromUtf8(t), QString::fromUtf8(mosquitto_strerror(rc))));
        return -1;
    }
    return mid;
}

int MqttPublisher::publishMeasurement(const QString& tail, const QByteArray& payload) {
    return publish(topic(tail), payload, false);
}

void MqttPublisher::publishStatus(const QString& barCode, bool online, const QString& channel, const QString& address,
                                  const QDateTime& since) {
    QJsonObject o;
    o.insert(QStringLiteral("online"), online);
    o.insert(QStringLiteral("node"), config_.nodeName);
    o.insert(QStringLiteral("channel"), channel);
    o.insert(QStringLiteral("address"), address);
    o.insert(QStringLiteral("since"), IsoLocal(since));
    publish(topic(barCode + QStringLiteral("/status")), QJsonDocument(o).toJson(QJsonDocument::Compact), true);
}

void MqttPublisher::stop(int graceMs) {
    if (!client_ || !looping_) {
        emit stopped();
        return;
    }
    // A clean disconnect sends no last will: say "offline" ourselves.
    publish(topic(QStringLiteral("nodes/") + config_.nodeName), kOffline, true);
    const QDeadlineTimer deadline(graceMs);
    auto* poll = new QTimer(this);
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [this, poll, deadline] {
        if (inFlight_.load() > 0 && connected_ && !deadline.hasExpired()) return;
        poll->stop();
        if (inFlight_.load() > 0) log_.warning(QStringLiteral("mqtt: %1 message(s) not acknowledged at the stop").arg(inFlight_.load()));
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        looping_ = false;
        emit stopped();
    });
    poll->start();
}

}  // namespace service
