#include "core/MqttConnection.h"

#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>

namespace core {

namespace {
constexpr int kKeepAliveSeconds = 30;
}  // namespace

MqttLibrary::MqttLibrary() { mosquitto_lib_init(); }
MqttLibrary::~MqttLibrary() { mosquitto_lib_cleanup(); }

QString MqttConnection::ErrorText(int rc) { return QString::fromUtf8(mosquitto_strerror(rc)); }
QString MqttConnection::RefusalText(int rc) { return QString::fromUtf8(mosquitto_connack_string(rc)); }

MqttConnection::MqttConnection(MqttSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {}

MqttConnection::~MqttConnection() {
    if (!client_) return;
    // Nothing of this object is reached from the library any more.
    mosquitto_connect_callback_set(client_, nullptr);
    mosquitto_disconnect_callback_set(client_, nullptr);
    mosquitto_publish_callback_set(client_, nullptr);
    mosquitto_message_callback_set(client_, nullptr);
    mosquitto_subscribe_callback_set(client_, nullptr);
    if (running_) mosquitto_disconnect(client_);
    dropSocket();
    mosquitto_destroy(client_);
}

bool MqttConnection::start(QString* error) {
    client_ = mosquitto_new(settings_.clientId.isEmpty() ? nullptr : settings_.clientId.constData(), true, this);
    if (!client_) {
        if (error) *error = QStringLiteral("cannot create the client");
        return false;
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (settings_.maxInflight > 0) mosquitto_max_inflight_messages_set(client_, unsigned(settings_.maxInflight));
    if (!settings_.willTopic.isEmpty())
        mosquitto_will_set(client_, settings_.willTopic.constData(), int(settings_.willPayload.size()),
                           settings_.willPayload.constData(), 1, true);
    if (!settings_.user.isEmpty())
        mosquitto_username_pw_set(client_, settings_.user.toUtf8().constData(),
                                  settings_.password.isEmpty() ? nullptr : settings_.password.toUtf8().constData());
    if (settings_.tls) {
        const QByteArray ca = settings_.caFile.toUtf8();
        const QByteArray cert = settings_.certFile.toUtf8();
        const QByteArray key = settings_.keyFile.toUtf8();
        const int rc = mosquitto_tls_set(client_, ca.isEmpty() ? nullptr : ca.constData(),
                                         ca.isEmpty() ? "/etc/ssl/certs" : nullptr, cert.isEmpty() ? nullptr : cert.constData(),
                                         key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            if (error) *error = QStringLiteral("TLS setup failed: %1").arg(ErrorText(rc));
            return false;
        }
    }
    // The callbacks run on this thread, inside mosquitto_loop_read/write/misc (or a
    // publish): messages published from them are queued and written by the next write.
    mosquitto_connect_callback_set(client_, [](mosquitto*, void* obj, int rc) { static_cast<MqttConnection*>(obj)->onConnect(rc); });
    mosquitto_disconnect_callback_set(client_, [](mosquitto*, void* obj, int rc) {
        static_cast<MqttConnection*>(obj)->onDisconnect(rc);
    });
    mosquitto_publish_callback_set(client_, [](mosquitto*, void* obj, int mid) {
        auto* self = static_cast<MqttConnection*>(obj);
        --self->inFlight_;
        emit self->acknowledged(mid);
    });
    mosquitto_message_callback_set(client_, [](mosquitto*, void* obj, const mosquitto_message* m) {
        const QByteArray payload(static_cast<const char*>(m->payload), m->payloadlen);
        emit static_cast<MqttConnection*>(obj)->message(QByteArray(m->topic), payload, m->retain);
    });
    mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* obj, int mid, int count, const int* granted) {
        static_cast<MqttConnection*>(obj)->onSubscribed(mid, count > 0 ? granted[0] : 0x80);
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
    connect(reconnect_, &QTimer::timeout, this, &MqttConnection::reconnect);
    running_ = true;

    const QByteArray host = settings_.host.toUtf8();
    const int rc = mosquitto_connect_async(client_, host.constData(), settings_.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        emit attemptFailed(rc, ErrorText(rc));
        connectLater();
    }
    serviceSocket();
    return true;
}

// The next attempt 1 s after the first failure, doubling up to 30 s; a connection
// accepted by the broker starts again from 1 s.
void MqttConnection::connectLater() {
    if (!running_ || reconnect_->isActive()) return;
    reconnectDelayMs_ = reconnectDelayMs_ == 0 ? 1000 : std::min(2 * reconnectDelayMs_, 30000);
    reconnect_->start(reconnectDelayMs_);
}

void MqttConnection::reconnect() {
    if (!running_) return;
    const int rc = mosquitto_reconnect_async(client_);
    if (rc != MOSQ_ERR_SUCCESS) {
        emit attemptFailed(rc, ErrorText(rc));
        connectLater();
    }
    serviceSocket();
}

// A lost connection or a failed attempt has been reported to onDisconnect() by then.
void MqttConnection::serviceSocket() {
    const int fd = mosquitto_socket(client_);
    if (fd != socket_) {
        // The library closed its socket (and maybe opened another) during the call.
        dropSocket();
        if (fd >= 0) {
            socket_ = fd;
            readable_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(readable_, &QSocketNotifier::activated, this, [this] {
                mosquitto_loop_read(client_, 1);
                serviceSocket();
            });
            writable_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            writable_->setEnabled(false);
            connect(writable_, &QSocketNotifier::activated, this, [this] {
                mosquitto_loop_write(client_, 1);
                serviceSocket();
            });
        }
    }
    if (writable_) writable_->setEnabled(mosquitto_want_write(client_));
}

// After a publish or (un)subscription: what the socket did not take at once (or all of
// it, inside a callback) waits for the write notifier.
void MqttConnection::watchWrites() {
    if (writable_ && !writable_->isEnabled() && mosquitto_want_write(client_)) writable_->setEnabled(true);
}

void MqttConnection::dropSocket() {
    // Perhaps called from one of their own signals: disabled now, deleted later.
    for (QSocketNotifier* n : {readable_, writable_}) {
        if (!n) continue;
        n->setEnabled(false);
        n->deleteLater();
    }
    readable_ = writable_ = nullptr;
    socket_ = -1;
}

void MqttConnection::onConnect(int rc) {
    if (rc != 0) {
        if (!settings_.retryAfterRefusal) {
            running_ = false;
            reconnect_->stop();
        }
        emit refused(rc, RefusalText(rc));
        return;
    }
    connected_ = true;
    reconnectDelayMs_ = 0;
    emit connected();
}

void MqttConnection::onDisconnect(int rc) {
    // Called with the socket closed: after a lost connection, a failed attempt or our own disconnect.
    connectLater();
    if (!connected_) {
        if (running_) emit attemptFailed(rc, ErrorText(rc));   // refused, unreachable, a TLS handshake that failed
        return;
    }
    connected_ = false;
    emit lost(rc, ErrorText(rc));
}

bool MqttConnection::subscribe(const QByteArray& t, int qos) {
    if (!client_) return false;
    int mid = 0;
    const int rc = mosquitto_subscribe(client_, &mid, t.constData(), qos);
    watchWrites();
    if (rc != MOSQ_ERR_SUCCESS) {
        emit notSubscribed(t, ErrorText(rc));
        return false;
    }
    subscribing_.insert(mid, t);
    return true;
}

void MqttConnection::unsubscribe(const QByteArray& t) {
    if (!client_ || !connected_) return;
    mosquitto_unsubscribe(client_, nullptr, t.constData());
    watchWrites();
}

void MqttConnection::onSubscribed(int mid, int grantedQos) {
    const QByteArray t = subscribing_.take(mid);
    if (!t.isEmpty()) emit subscribed(t, grantedQos);
}

int MqttConnection::publish(const QByteArray& t, const QByteArray& payload, bool retain, int qos) {
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
        emit notPublished(t, ErrorText(rc));
        return -1;
    }
    ++inFlight_;
    return mid;
}

void MqttConnection::disconnectFromBroker() {
    if (!client_) return;
    running_ = false;
    reconnect_->stop();
    mosquitto_disconnect(client_);   // written now, or once the socket takes it
    serviceSocket();
}

void MqttConnection::stopTimers() {
    if (misc_) misc_->stop();
    if (reconnect_) reconnect_->stop();
}

}  // namespace core
