#pragma once
// One connection to an MQTT broker through libmosquitto, run from this thread's
// event loop: the library's socket is watched for reading (and for writing while it
// has something queued), a timer keeps the connection alive, and a lost connection
// (or a failed attempt) is made again from here, 1 s after the first failure, the
// delay doubling up to 30 s. The library's callbacks run on this thread, inside its
// read and write calls; they become this object's signals. No thread of its own.
//
// What is said about the connection (log lines, status texts) is the owner's: the
// signals carry the library's reason texts.
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

struct mosquitto;
class QSocketNotifier;
class QTimer;

namespace core {

// libmosquitto's set-up (TLS, random numbers) for a program's life: one, in main().
class MqttLibrary {
public:
    MqttLibrary();
    ~MqttLibrary();
    MqttLibrary(const MqttLibrary&) = delete;
    MqttLibrary& operator=(const MqttLibrary&) = delete;
};

struct MqttSettings {
    QString host;
    quint16 port = 1883;
    QByteArray clientId;              // empty: the library makes one up
    QString user, password;           // no user: no login
    bool tls = false;
    QString caFile;                   // with tls; empty: the system's CA folder
    QString certFile, keyFile;        // a client certificate and its key (not encrypted)
    QByteArray willTopic, willPayload;   // no topic: no last will (QoS 1, retained)
    int maxInflight = 0;              // QoS 1/2 messages sent and unacknowledged at most; 0: the library's
    bool retryAfterRefusal = true;    // false: a broker that refuses the login ends the attempts
};

class MqttConnection : public QObject {
    Q_OBJECT
public:
    explicit MqttConnection(MqttSettings settings, QObject* parent = nullptr);
    ~MqttConnection() override;   // no signal from here on; disconnects when running

    // Sets the client up and starts connecting (and keeps trying). False, with the
    // reason in `error`, when the client cannot be made or its TLS set up.
    bool start(QString* error);
    // Publishes; the message id, or -1 when the library refused it (notPublished says why).
    // A message written while the connection is down stays with the library under its
    // id and goes out once it reconnects.
    int publish(const QByteArray& topic, const QByteArray& payload, bool retain, int qos);
    // False (notSubscribed says why) when not connected: the next connection is the time.
    bool subscribe(const QByteArray& topic, int qos);
    void unsubscribe(const QByteArray& topic);
    // Stops the attempts and disconnects cleanly (written now, or once the socket takes it).
    void disconnectFromBroker();
    void stopTimers();

    bool isConnected() const { return connected_; }
    bool isRunning() const { return running_; }
    bool socketOpen() const { return socket_ >= 0; }
    int inFlight() const { return inFlight_; }   // messages published and not yet written or acknowledged
    const MqttSettings& settings() const { return settings_; }

    static QString ErrorText(int rc);      // mosquitto_strerror
    static QString RefusalText(int rc);    // mosquitto_connack_string

signals:
    void connected();
    // The broker answered the login with `rc` (its reason in `text`): not connected.
    void refused(int rc, const QString& text);
    // An attempt that reached no broker (refused socket, unreachable, failed TLS handshake).
    void attemptFailed(int rc, const QString& text);
    // A connection that was up ended (rc 0: our own disconnect).
    void lost(int rc, const QString& text);
    void message(const QByteArray& topic, const QByteArray& payload, bool retained);
    void acknowledged(int mid);
    // grantedQos above 2: the broker refused the subscription.
    void subscribed(const QByteArray& topic, int grantedQos);
    void notPublished(const QByteArray& topic, const QString& reason);
    void notSubscribed(const QByteArray& topic, const QString& reason);

private:
    void connectLater();
    void reconnect();
    // After each call into the library: follow its socket, watch for writing while it wants to.
    void serviceSocket();
    void watchWrites();
    void dropSocket();
    void onConnect(int rc);
    void onDisconnect(int rc);
    void onSubscribed(int mid, int grantedQos);

    const MqttSettings settings_;
    mosquitto* client_ = nullptr;
    bool running_ = false;           // started and not stopped: reconnect when the connection is lost
    bool connected_ = false;         // from the callbacks
    int inFlight_ = 0;
    int socket_ = -1;                // the library's socket the notifiers watch
    QSocketNotifier* readable_ = nullptr;
    QSocketNotifier* writable_ = nullptr;
    QTimer* misc_ = nullptr;         // keep-alive
    QTimer* reconnect_ = nullptr;
    int reconnectDelayMs_ = 0;
    QHash<int, QByteArray> subscribing_;   // message id -> topic, until the broker acknowledges
};

}  // namespace core
