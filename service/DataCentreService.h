#pragma once
// The headless data centre: the TCP and UDP engines in service mode, the readings
// store they record into, and the log lines an operator reads in the journal.
// It starts, applies a reloaded configuration, and stops in order: no new
// terminals, replies still waiting leave, the store is flushed.
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

#include "HeldTerminals.h"
#include "ServiceConfig.h"
#include "LoopLagProbe.h"
#include "ServiceLog.h"
#include "UdpPresence.h"
#include "core/ConsoleSession.h"
#include "core/ReadingsRows.h"

class QTimer;

namespace core {
class CommitGate;
class DataCentre;
class ReadingsStore;
class TcpDataCentre;
class UdpDataCentre;
}  // namespace core

namespace service {

class CommandDesk;
class CommandQueue;
class MetricsServer;
class MqttPublisher;
class ReadingsRelay;
class ServiceMetrics;

class DataCentreService : public QObject {
    Q_OBJECT
public:
    DataCentreService(const ServiceConfig& config, ServiceLog& log, QObject* parent = nullptr);
    ~DataCentreService() override;

    // Opens the store and starts the configured listeners; false (logged) when one fails.
    bool start();
    // Takes over what can change while running; names in the log what needs a restart.
    void reload(const ServiceConfig& config);
    // Stops accepting, lets waiting replies leave (at most `graceMs`), flushes the
    // store, says goodbye to the broker, then emits stopped().
    void stop(int graceMs);

    const ServiceConfig& config() const { return config_; }
    core::TcpDataCentre* tcp() const { return tcp_; }
    core::UdpDataCentre* udp() const { return udp_; }
    core::ReadingsStore* store() const { return store_.get(); }
    // GET /metrics's text now ([metrics] listen).
    QByteArray metricsText() const;

signals:
    void stopped();

private:
    void applyDialogueSettings();
    void watch(core::DataCentre& engine, core::Channel channel);
    void finishStop();
    // The engine holding a terminal now: TCP while a connection has it registered, else UDP once it sent.
    core::DataCentre* engineFor(const QString& barCode) const;
    // A TCP connection no longer carries `barCode`: its cmd request ends, and its cmd
    // topic is left when nothing on this node holds it.
    void tcpTerminalGone(const QString& barCode);
    // UDP terminals silent for [udp] offline_after_s go offline, as a closed connection does.
    void expireSilentUdpTerminals();
    // The store could not be written, or can again: the log (once each way) and the node's status.
    void storeFailingChanged(bool failing, const QString& reason);
    void uploadNotAcknowledged(const QString& barCode, bool storeFailing);
    void publishStoreStatus();
    // Held terminals silent past three heart beats (or [dialogue] overdue_after_s) are overdue.
    void sweepOverdue();
    // Something from a held terminal; an overdue one that reports again is said to be back.
    void heard(const QString& barCode, HeldTerminals::Frame frame);
    void publishHeldStatus(const QString& barCode, bool overdue);
    // Home Assistant discovery: the terminal's sensors, retained.
    void publishDiscovery(const QString& barCode);
    bool tracksHeld() const { return mqtt_ || metrics_; }

    ServiceConfig config_;
    ServiceLog& log_;
    core::ConsoleSession session_;
    std::unique_ptr<core::ReadingsStore> store_;
    QPointer<core::CommitGate> gate_;       // the store's child: upload acknowledgements wait for its commits
    std::unique_ptr<MqttPublisher> mqtt_;   // when [mqtt] url is set
    std::unique_ptr<CommandDesk> commands_; // with mqtt_: the terminals' cmd requests
    std::unique_ptr<CommandQueue> queue_;   // ... and those waiting for their terminal
    std::unique_ptr<ReadingsRelay> relay_;  // stored readings to mqtt_
    std::unique_ptr<ServiceMetrics> metrics_;      // when [metrics] listen is set
    std::unique_ptr<MetricsServer> metricsServer_;
    core::TcpDataCentre* tcp_ = nullptr;
    core::UdpDataCentre* udp_ = nullptr;
    QHash<int, QString> tcpOnline_;   // connection -> bar code: an upload re-announces a registered terminal
    UdpPresence udpOnline_;     // UDP has no connection: online from its registration or upload until silent
    QTimer* udpSweep_ = nullptr;
    HeldTerminals held_;          // with MQTT or metrics: overdue terminals, the status a republish says
    QTimer* overdueSweep_ = nullptr;
    QHash<QString, QString> discovered_;   // discovery: terminals announced by this process -> firmware
    QTimer* drain_ = nullptr;
    LoopLagProbe loopLag_;
    bool stopping_ = false;
    // The store's state as the log and the broker were told.
    bool storeFailing_ = false;
    QString storeReason_;
    QDateTime storeSince_;
    quint64 withheld_ = 0;                  // upload acknowledgements withheld since the store last failed
    quint64 withheldTotal_ = 0;             // ... since the start
    quint64 slowWithheld_ = 0;              // withheld with the store writing (its commit came too late)
    QElapsedTimer slowSaid_;                // the last warning about those
};

}  // namespace service
