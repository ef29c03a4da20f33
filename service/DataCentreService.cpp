#include "DataCentreService.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "CommandDesk.h"
#include "CommandQueue.h"
#include "HomeAssistantDiscovery.h"
#include "MetricsServer.h"
#include "MqttPayloads.h"
#include "MqttPublisher.h"
#include "ReadingsRelay.h"
#include "core/CommitGate.h"
#include "ServiceMetrics.h"
#include "core/MonotonicClock.h"
#include "core/ReadingsPublishLog.h"
#include "core/ReadingsRecording.h"
#include "core/ReadingsStore.h"
#include "core/TcpDataCentre.h"
#include "core/UdpDataCentre.h"

namespace service {

namespace {
QString ChannelName(core::Channel c) { return c == core::Channel::Tcp ? QStringLiteral("tcp") : QStringLiteral("udp"); }
// The broker's share of the stop: the store is flushed by then.
constexpr int kMqttGraceMs = 700;
// Readings published and not yet acknowledged at most (the relay reads further ahead
// from the store). Of these libmosquitto sends 64 at a time (MqttPublisher) and
// queues the rest; it walks its message list on every acknowledgement, and on a broker
// a few hundred microseconds away a few hundred carry the fleet's readings.
constexpr int kRelayWindow = 256;
QString FromStd(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
qint64 MonotonicMs() { return core::MonotonicNs() / 1'000'000; }
// Discovery's expire_after while a terminal's upload interval is not known: three of
// the hourly uploads terminals make with their default parameters.
constexpr int kDefaultExpireAfterS = 3 * 3600;
// A request waiting for a terminal goes this long after the reply to its arrival is due.
constexpr int kArrivalMarginMs = 300;
}  // namespace

DataCentreService::DataCentreService(const ServiceConfig& config, ServiceLog& log, QObject* parent)
    : QObject(parent), config_(config), log_(log) {}

DataCentreService::~DataCentreService() {
    metricsServer_.reset();
    queue_.reset();
    commands_.reset();
    relay_.reset();
    mqtt_.reset();
    delete tcp_;
    delete udp_;
}

void DataCentreService::applyDialogueSettings() {
    for (core::DataCentre* e : {static_cast<core::DataCentre*>(tcp_), static_cast<core::DataCentre*>(udp_)}) {
        if (!e) continue;
        e->setReplyDelay(config_.replyDelayMs / 1000.0);
        e->setConfigMode(config_.configMode);
    }
    if (tcp_) tcp_->setMaxConnections(config_.maxConnections);
    if (udpSweep_) {
        // A tenth of the silence allowed, so a terminal goes offline at most 10 % late.
        udpSweep_->setInterval(std::clamp(config_.udpOfflineAfterS * 100, 100, 30000));
        if (config_.udpOfflineAfterS > 0) udpSweep_->start();
        else udpSweep_->stop();
    }
    if (overdueSweep_)
        // One sweep over the held terminals; a tenth of a fixed silence, else once a second.
        overdueSweep_->setInterval(config_.overdueAfterS > 0 ? std::clamp(config_.overdueAfterS * 100, 100, 1000) : 1000);
    if (store_) store_->setRetentionDays(config_.retentionDays);
    log_.setLevel(config_.logLevel);
}

bool DataCentreService::start() {
    QDir().mkpath(QFileInfo(config_.storePath).absolutePath());
    store_ = std::make_unique<core::ReadingsStore>(config_.storePath);
    gate_ = new core::CommitGate(*store_, store_.get());
    storeSince_ = QDateTime::currentDateTime();
    // From the writer thread, queued here: said once when the store fails, once when it writes again.
    connect(store_.get(), &core::ReadingsStore::failingChanged, this, &DataCentreService::storeFailingChanged);
    connect(store_.get(), &core::ReadingsStore::statusChanged, this, [this](const QString& text) {
        // Changes while a failure lasts (rows dropped from memory are also a warning of the store's own).
        if (!text.isEmpty()) log_.debug(QStringLiteral("readings store %1: %2").arg(store_->path(), text));
    });
    log_.info(QStringLiteral("readings store %1").arg(config_.storePath));
    if (config_.metrics.enabled()) {
        metrics_ = std::make_unique<ServiceMetrics>();
        metrics_->watch(*store_);
    }
    if (!config_.mqttHost.isEmpty()) {
        mqtt_ = std::make_unique<MqttPublisher>(config_, log_);
        publishStoreStatus();   // sent with the node's "online" once connected
        if (!mqtt_->start()) return false;
        CommandDesk::Hooks hooks;
        hooks.engineFor = [this](const QString& barCode) { return engineFor(barCode); };
        hooks.publish = [this](const QString& barCode, const QByteArray& json) { return mqtt_->publishCommandResult(barCode, json); };
        hooks.stateSaid = [this](const QString& barCode, const QString& id, const QString& state) {
            if (queue_) queue_->stateSaid(barCode, id, state);
        };
        hooks.takenElsewhere = [this](const QString& barCode, const QString& id) {
            return queue_ && queue_->takenElsewhere(barCode, id);
        };
        commands_ = std::make_unique<CommandDesk>(config_.cmdTimeoutMs, config_.nodeName, log_, std::move(hooks));
        queue_ = std::make_unique<CommandQueue>(
            config_.nodeName, config_.storePath, config_.replyDelayMs + kArrivalMarginMs, config_.cmdTimeoutMs, *commands_, log_,
            [this](const QString& barCode, const QByteArray& payload) { mqtt_->publishKeptCommand(barCode, payload); });
        connect(mqtt_.get(), &MqttPublisher::commandReceived, queue_.get(), &CommandQueue::commandReceived);
        connect(mqtt_.get(), &MqttPublisher::commandResultReceived, queue_.get(), &CommandQueue::resultReceived);
        connect(mqtt_.get(), &MqttPublisher::nodeStateReceived, queue_.get(), &CommandQueue::nodeState);
        // From inside the library's read: the claim goes on from the event loop.
        connect(mqtt_.get(), &MqttPublisher::acknowledged, commands_.get(), &CommandDesk::acknowledged, Qt::QueuedConnection);
        if (metrics_) metrics_->watch(*commands_);
        if (config_.mqttDiscovery) {
            // Home Assistant (re)started: every terminal held here, announced again.
            connect(mqtt_.get(), &MqttPublisher::homeAssistantOnline, this, [this] {
                log_.info(QStringLiteral("mqtt: home assistant online: announcing %1 terminal(s)").arg(held_.all().size()));
                for (auto it = held_.all().cbegin(); it != held_.all().cend(); ++it) publishDiscovery(it.key());
            });
        }
        log_.info(QStringLiteral("mqtt: publishing to %1://%2:%3 under %4/ (%5)")
                      .arg(config_.mqttTls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), config_.mqttHost)
                      .arg(config_.mqttPort)
                      .arg(config_.mqttPrefix)
                      .arg(config_.mqttReadings == ReadingTopics::Upload ? QStringLiteral("readings per upload")
                           : config_.mqttReadings == ReadingTopics::Each ? QStringLiteral("one message per reading")
                                                                         : QStringLiteral("readings per upload and per reading")));
        relay_ = std::make_unique<ReadingsRelay>(*store_, *mqtt_, log_, config_.nodeName, kRelayWindow,
                                                 config_.mqttReadings);
        relay_->start();
    } else {
        // No broker any more: stop logging readings for one.
        core::ReadingsPublishLog::Forget(*store_, ReadingsRelay::kConsumer);
    }

    if (config_.tcp.enabled()) {
        tcp_ = new core::TcpDataCentre(session_);
        tcp_->setServiceMode(true);
        watch(*tcp_, core::Channel::Tcp);
        session_.localIp = config_.tcp.host;
        session_.localPort = config_.tcp.port;
        if (const auto failure = tcp_->start()) {
            log_.error(QStringLiteral("cannot listen on tcp %1:%2: %3")
                           .arg(config_.tcp.host).arg(config_.tcp.port).arg(tcp_->listener()->errorString()));
            return false;
        }
        log_.info(QStringLiteral("listening on tcp %1:%2").arg(config_.tcp.host).arg(tcp_->listeningPort()));
    }
    if (config_.udp.enabled()) {
        udp_ = new core::UdpDataCentre(session_);
        udp_->setServiceMode(true);
        watch(*udp_, core::Channel::Udp);
        session_.localIp = config_.udp.host;
        session_.localPort = config_.udp.port;
        if (!udp_->start()) {
            log_.error(QStringLiteral("cannot listen on udp %1:%2: %3")
                           .arg(config_.udp.host).arg(config_.udp.port).arg(udp_->socket()->errorString()));
            return false;
        }
        log_.info(QStringLiteral("listening on udp %1:%2").arg(config_.udp.host).arg(udp_->boundPort()));
        udpSweep_ = new QTimer(this);
        connect(udpSweep_, &QTimer::timeout, this, &DataCentreService::expireSilentUdpTerminals);
    }
    if (tracksHeld()) {
        overdueSweep_ = new QTimer(this);
        connect(overdueSweep_, &QTimer::timeout, this, &DataCentreService::sweepOverdue);
        overdueSweep_->start();
    }
    if (metrics_) {
        metricsServer_ = std::make_unique<MetricsServer>([this] { return metricsText(); });
        if (!metricsServer_->listen(config_.metrics.host, config_.metrics.port)) {
            log_.error(QStringLiteral("cannot listen for metrics on %1:%2: %3")
                           .arg(config_.metrics.host).arg(config_.metrics.port).arg(metricsServer_->errorString()));
            return false;
        }
        log_.info(QStringLiteral("metrics on http://%1:%2/metrics")
                      .arg(config_.metrics.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + config_.metrics.host + QLatin1Char(']')
                                                                          : config_.metrics.host)
                      .arg(metricsServer_->port()));
    }
    applyDialogueSettings();
    log_.info(QStringLiteral("dialogue: reply delay %1 ms, %2 mode, at most %3 tcp connections")
                  .arg(config_.replyDelayMs)
                  .arg(config_.configMode ? QStringLiteral("configuration") : QStringLiteral("sleep"))
                  .arg(config_.maxConnections));
    return true;
}

void DataCentreService::watch(core::DataCentre& engine, core::Channel channel) {
    core::RecordReadings(engine, *store_, channel);
    engine.setCommitGate(gate_);
    connect(&engine, &core::DataCentre::uploadNotAcknowledged, this, &DataCentreService::uploadNotAcknowledged);
    if (commands_) commands_->watch(engine);
    if (metrics_) metrics_->watch(engine, channel);
    const QString ch = ChannelName(channel);
    connect(&engine, &core::DataCentre::terminalOnline, this,
            [this, ch, channel](const QString& barCode, int connection, const QString& peer) {
                if (channel == core::Channel::Udp) {
                    if (!udpOnline_.arrived(barCode, peer, QDateTime::currentMSecsSinceEpoch())) return;
                    log_.info(QStringLiteral("terminal %1 online (udp from %2)").arg(barCode, peer));
                } else {
                    const QString before = tcpOnline_.value(connection);
                    if (before == barCode) return;
                    tcpOnline_.insert(connection, barCode);
                    if (!before.isEmpty()) tcpTerminalGone(before);   // registered again under a new bar code
                    log_.info(QStringLiteral("terminal %1 online (tcp connection %2 from %3)").arg(barCode).arg(connection).arg(peer));
                }
                const QDateTime now = QDateTime::currentDateTime();
                if (tracksHeld()) held_.online(barCode, ch, peer, now, MonotonicMs());
                if (mqtt_) {
                    // First seen by this process: Home Assistant hears of it before its status.
                    if (config_.mqttDiscovery && !discovered_.contains(barCode)) {
                        discovered_.insert(barCode, QString());
                        publishDiscovery(barCode);
                    }
                    mqtt_->publishStatus(barCode, true, ch, peer, now);
                    mqtt_->subscribeCommands(barCode);
                }
                if (queue_) queue_->terminalArrived(barCode);
            });
    connect(&engine, &core::DataCentre::terminalOffline, this,
            [this, ch](const QString& barCode, int connection, const QString& peer) {
                tcpOnline_.remove(connection);
                if (mqtt_ && !barCode.isEmpty()) mqtt_->publishStatus(barCode, false, ch, peer, QDateTime::currentDateTime());
                if (!barCode.isEmpty()) tcpTerminalGone(barCode);
                log_.info(QStringLiteral("terminal %1 offline (tcp connection %2 from %3)")
                              .arg(barCode.isEmpty() ? QStringLiteral("(unregistered)") : barCode)
                              .arg(connection)
                              .arg(peer));
            });
    connect(&engine, &core::DataCentre::terminalEvent, this,
            [this, ch, channel](const QString& barCode, const QString& kind, const QString& peer) {
                if (channel == core::Channel::Udp) udpOnline_.heard(barCode, peer, QDateTime::currentMSecsSinceEpoch());
                if (tracksHeld())
                    heard(barCode, kind == QLatin1String("heartbeat") ? HeldTerminals::Frame::Heartbeat : HeldTerminals::Frame::Other);
                const QString line = QStringLiteral("%1 %2 from %3 (%4)").arg(kind, barCode, peer, ch);
                if (kind == QLatin1String("registration")) log_.info(line);
                else log_.debug(line);
            });
    connect(&engine, &core::DataCentre::roomUploadDecoded, this, [this, ch](const ht6630::RoomUpload& u) {
        if (relay_) relay_->readingsArrived();   // stored by RecordReadings just before
        const QString barCode = FromStd(u.barCode);
        if (tracksHeld()) heard(barCode, HeldTerminals::Frame::Upload);
        log_.info(QStringLiteral("upload %1: %2 record(s), battery %3 V (%4)")
                      .arg(barCode)
                      .arg(u.records.size())
                      .arg(u.batteryCentivolts / 100.0, 0, 'f', 2)
                      .arg(ch));
    });
    connect(&engine, &core::DataCentre::heatMeterDecoded, this, [this, ch](const core::HeatMeterUpload& u) {
        if (relay_) relay_->readingsArrived();   // stored by RecordReadings just before, published from the store
        if (tracksHeld()) heard(u.barCode, HeldTerminals::Frame::Other);
        log_.info(QStringLiteral("heat-meter upload %1: %2 record(s) (%3)").arg(u.barCode).arg(u.records.size()).arg(ch));
    });
    connect(&engine, &core::DataCentre::terminalResponded, this,
            [this](const QString& barCode, int, const QString&, const ht6630::FieldValues& fields) {
                if (!tracksHeld()) return;
                heard(barCode, HeldTerminals::Frame::Other);
                // What the terminal says of itself: its heart-beat interval, its firmware (the device's version).
                if (fields.heartbeatSeconds)
                    held_.reportedHeartbeat(barCode, QString::fromStdString(*fields.heartbeatSeconds).toInt());
                if (fields.firmware && config_.mqttDiscovery) {
                    const QString firmware = FromStd(*fields.firmware);
                    const auto it = discovered_.find(barCode);
                    if (it != discovered_.end() && *it != firmware) {
                        *it = firmware;
                        publishDiscovery(barCode);
                    }
                }
            });
    connect(&engine, &core::DataCentre::netLog, this, [this, ch](const QString& text) {
        // The engines' network log: socket errors are worth a warning, the rest is detail.
        if (text.startsWith(QStringLiteral("错误代码"))) log_.warning(ch + QStringLiteral(": ") + text);
        else log_.debug(ch + QStringLiteral(": ") + text);
    });
    connect(&engine, &core::DataCentre::statusChanged, this, [this, ch](const QString& text) {
        if (text.contains(QStringLiteral("失败")) || text.contains(QStringLiteral("无效")))
            log_.warning(ch + QStringLiteral(": ") + text);
        else if (!text.isEmpty())
            log_.debug(ch + QStringLiteral(": ") + text);
    });
}

core::DataCentre* DataCentreService::engineFor(const QString& barCode) const {
    if (tcp_ && tcp_->table().firstLoadedWith(barCode)) return tcp_;
    if (udp_ && udpOnline_.contains(barCode)) return udp_;
    return nullptr;
}

void DataCentreService::tcpTerminalGone(const QString& barCode) {
    if (tcp_ && tcp_->table().firstLoadedWith(barCode)) return;   // another connection still has it
    if (!udpOnline_.contains(barCode)) held_.offline(barCode);
    if (commands_) commands_->terminalLeft(barCode, tcp_);
    if (mqtt_ && !udpOnline_.contains(barCode)) mqtt_->unsubscribeCommands(barCode);
}

void DataCentreService::expireSilentUdpTerminals() {
    const QDateTime now = QDateTime::currentDateTime();
    for (const UdpPresence::Silent& t :
         udpOnline_.expire(now.toMSecsSinceEpoch(), qint64(config_.udpOfflineAfterS) * 1000)) {
        log_.info(QStringLiteral("terminal %1 offline (udp, nothing from %2 for %3 s)")
                      .arg(t.barCode, t.peer)
                      .arg((now.toMSecsSinceEpoch() - t.lastMs) / 1000));
        if (commands_) commands_->terminalLeft(t.barCode, udp_);
        if (tcp_ && tcp_->table().firstLoadedWith(t.barCode)) continue;   // TCP still holds it
        held_.offline(t.barCode);
        if (!mqtt_) continue;
        mqtt_->publishStatus(t.barCode, false, QStringLiteral("udp"), t.peer, now);
        mqtt_->unsubscribeCommands(t.barCode);
    }
}

void DataCentreService::storeFailingChanged(bool failing, const QString& reason) {
    if (failing == storeFailing_ || !store_) return;
    storeFailing_ = failing;
    storeSince_ = QDateTime::currentDateTime();
    if (failing) {
        storeReason_ = reason;
        withheld_ = 0;
        log_.error(QStringLiteral("readings store %1 cannot be written (%2): uploads are not acknowledged until it "
                                  "can be; registrations, heart beats and upload ends are answered")
                       .arg(store_->path(), reason));
    } else {
        storeReason_.clear();
        log_.info(QStringLiteral("readings store %1 is written again: uploads are acknowledged again "
                                 "(%2 acknowledgement(s) withheld meanwhile)")
                      .arg(store_->path())
                      .arg(withheld_));
    }
    publishStoreStatus();
}

void DataCentreService::uploadNotAcknowledged(const QString& barCode, bool storeFailing) {
    ++withheld_;
    ++withheldTotal_;
    log_.debug(QStringLiteral("upload %1 not acknowledged: its records are not stored").arg(barCode));
    if (storeFailing) return;
    // The store writes but fell behind: worth a warning, at most one a minute.
    ++slowWithheld_;
    if (slowSaid_.isValid() && slowSaid_.elapsed() < 60000) return;
    slowSaid_.start();
    log_.warning(QStringLiteral("upload %1 not acknowledged: the readings store did not commit its records within "
                                "%2 ms of the reply's time (%3 upload(s) so far)")
                     .arg(barCode)
                     .arg(core::CommitGate::kMaxWaitMs)
                     .arg(slowWithheld_));
}

void DataCentreService::publishStoreStatus() {
    if (!mqtt_) return;
    mqtt_->setStoreStatus(StoreStatusPayload(storeFailing_, storeReason_, config_.nodeName,
                                             storeSince_.toString(Qt::ISODate)));
}

void DataCentreService::heard(const QString& barCode, HeldTerminals::Frame frame) {
    if (!held_.heard(barCode, frame, MonotonicMs())) return;
    log_.info(QStringLiteral("terminal %1 reports again").arg(barCode));
    publishHeldStatus(barCode, false);
}

void DataCentreService::sweepOverdue() {
    const qint64 now = MonotonicMs();
    for (const QString& barCode : held_.sweep(now, qint64(config_.overdueAfterS) * 1000)) {
        const HeldTerminals::Terminal* t = held_.find(barCode);
        log_.warning(QStringLiteral("terminal %1 overdue: nothing for %2 s (%3 from %4)")
                         .arg(barCode)
                         .arg((now - t->lastMs) / 1000)
                         .arg(t->channel, t->peer));
        publishHeldStatus(barCode, true);
    }
}

// The status it came online with, "overdue" added while it is.
void DataCentreService::publishHeldStatus(const QString& barCode, bool overdue) {
    const HeldTerminals::Terminal* t = held_.find(barCode);
    if (mqtt_ && t) mqtt_->publishStatus(barCode, true, t->channel, t->peer, t->since, overdue);
}

void DataCentreService::publishDiscovery(const QString& barCode) {
    if (!mqtt_) return;
    // A few of its uploads: the state it reads changes only with an upload.
    int expireAfterS = kDefaultExpireAfterS;
    if (const HeldTerminals::Terminal* t = held_.find(barCode))
        if (const auto mean = t->uploads.meanSeconds()) expireAfterS = std::max(60, int(std::ceil(3 * *mean)));
    for (const DiscoveryMessage& m :
         DiscoveryConfigs(config_.mqttDiscoveryPrefix, config_.mqttPrefix, barCode, discovered_.value(barCode), expireAfterS))
        mqtt_->publishDiscovery(m.topic, m.payload);
}

QByteArray DataCentreService::metricsText() const {
    MetricsSnapshot m;
    m.version = QString::fromLatin1(HT6630_VERSION);
    m.node = config_.nodeName;
    m.tcp = tcp_ != nullptr;
    m.udp = udp_ != nullptr;
    m.terminalsOnline[0] = int(tcpOnline_.size());
    m.terminalsOnline[1] = udpOnline_.size();
    m.tcpConnections = tcp_ ? tcp_->table().loadedCount() : 0;
    m.terminalsOverdue = held_.overdue();
    m.counters = metrics_ ? &metrics_->counters() : nullptr;
    m.replyLateness = &session_.replyQueue.lateness();
    m.loopLateness = &loopLag_.lag();
    m.mqtt = mqtt_ != nullptr;
    if (mqtt_) m.brokerConnected = mqtt_->connected();
    if (relay_) {
        m.readingsPublished = relay_->acknowledgedReadings();
        m.readingsWaiting = relay_->waiting();
    }
    return RenderMetrics(m);
}

void DataCentreService::reload(const ServiceConfig& config) {
    const QStringList restart = RestartOnlyChanges(config_, config);
    // Keep what only a restart can apply; take the rest.
    ServiceConfig next = config_;
    next.replyDelayMs = config.replyDelayMs;
    next.configMode = config.configMode;
    next.retentionDays = config.retentionDays;
    next.logLevel = config.logLevel;
    next.maxConnections = config.maxConnections;
    next.udpOfflineAfterS = config.udpOfflineAfterS;
    next.overdueAfterS = config.overdueAfterS;
    config_ = next;
    applyDialogueSettings();
    log_.info(QStringLiteral("configuration reloaded: reply delay %1 ms, %2 mode, retention %3 day(s), at most %4 tcp connections")
                  .arg(config_.replyDelayMs)
                  .arg(config_.configMode ? QStringLiteral("configuration") : QStringLiteral("sleep"))
                  .arg(config_.retentionDays)
                  .arg(config_.maxConnections));
    if (!restart.isEmpty())
        log_.warning(QStringLiteral("changed but applied only after a restart: %1").arg(restart.join(QStringLiteral(", "))));
}

void DataCentreService::stop(int graceMs) {
    if (stopping_) return;
    stopping_ = true;
    if (tcp_) tcp_->stopListening();
    if (udp_) udp_->stopReceiving();
    if (udpSweep_) udpSweep_->stop();   // no terminal goes offline one by one while the node goes
    if (overdueSweep_) overdueSweep_->stop();
    log_.info(QStringLiteral("stopping: %1 repl(ies) still waiting").arg(session_.replyQueue.pending()));
    // Poll the reply queue from the event loop: replies leave on their own timers.
    const QDeadlineTimer deadline(graceMs);
    drain_ = new QTimer(this);
    drain_->setInterval(20);
    connect(drain_, &QTimer::timeout, this, [this, deadline] {
        const bool waiting = session_.replyQueue.pending() > 0 || (gate_ && gate_->waiting() > 0);
        if (waiting && !deadline.hasExpired()) return;
        drain_->stop();
        finishStop();
    });
    drain_->start();
}

void DataCentreService::finishStop() {
    const int left = session_.replyQueue.pending() + (gate_ ? gate_->waiting() : 0);
    if (left > 0) log_.warning(QStringLiteral("%1 repl(ies) not sent: the stop could not wait longer").arg(left));
    if (withheldTotal_ > 0)
        log_.info(QStringLiteral("uploads not acknowledged because their records were not stored: %1").arg(withheldTotal_));
    // How late replies left, and how long the loop kept work waiting (a frame's intake).
    const core::LatenessHistogram& late = session_.replyQueue.lateness();
    const core::LatenessHistogram& lag = loopLag_.lag();
    log_.info(QStringLiteral("replies: %1 sent, late by %2 ms at p50, %3 ms at p99, %4 ms at most; "
                             "event loop late by %5 ms at p99, %6 ms at most")
                  .arg(late.count())
                  .arg(late.percentileMs(0.5), 0, 'f', 1)
                  .arg(late.percentileMs(0.99), 0, 'f', 1)
                  .arg(late.maxMs(), 0, 'f', 1)
                  .arg(lag.percentileMs(0.99), 0, 'f', 1)
                  .arg(lag.maxMs(), 0, 'f', 1));
    // Results go out before the broker hears the node is offline; requests not yet sent
    // stay on the broker for the node that holds their terminal next.
    if (queue_) queue_->stop();
    if (commands_) commands_->endAll(QStringLiteral("service stopping"));
    if (tcp_) tcp_->stop();
    if (udp_) udp_->stop();
    if (store_ && !store_->flush(1000))
        log_.error(QStringLiteral("readings store: not everything was written (no upload among it was acknowledged: "
                                  "its terminal sends it again)"));
    if (!mqtt_) {
        store_.reset();
        emit stopped();
        return;
    }
    // The store outlives the broker's goodbye: acknowledgements arriving meanwhile still
    // move the publish mark, so a clean restart publishes nothing twice.
    if (relay_) relay_->finish();
    connect(mqtt_.get(), &MqttPublisher::stopped, this, [this] {
        // Queued: the acknowledgements queued before the stop are handled first.
        QMetaObject::invokeMethod(this, [this] {
            relay_.reset();
            store_.reset();   // saves the mark
            emit stopped();
        }, Qt::QueuedConnection);
    });
    mqtt_->stop(kMqttGraceMs);
}

}  // namespace service
