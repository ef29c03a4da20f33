#include "ReadingsRelay.h"

#include <QTimer>

#include <algorithm>

#include "MqttPayloads.h"
#include "MqttPublisher.h"
#include "ServiceLog.h"
#include "core/ReadingsStore.h"

namespace service {

namespace {
// After a store that could not be read or a refused message: try again this much later.
constexpr int kRetryMs = 1000;
// New readings are fetched at most this often: each fetch makes the store's writer
// commit at once, and a fleet uploading together should still be written in batches.
constexpr int kMinFetchGapMs = 50;
}  // namespace

const QString ReadingsRelay::kConsumer = QStringLiteral("mqtt");

ReadingsRelay::ReadingsRelay(core::ReadingsStore& store, MqttPublisher& mqtt, ServiceLog& log, const QString& node,
                             int window, QObject* parent)
    : QObject(parent), log_(store, kConsumer), mqtt_(mqtt), serviceLog_(log), node_(node), window_(std::max(1, window)) {
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, [this] {
        more_ = true;
        fetchIfDue();
    });
    connect(&log_, &core::ReadingsPublishLog::fetched, this, &ReadingsRelay::onFetched);
    connect(&log_, &core::ReadingsPublishLog::failed, this, [this](const QString& error) {
        serviceLog_.error(QStringLiteral("mqtt: readings store: %1").arg(error));
    });
    connect(&log_, &core::ReadingsPublishLog::fetchFailed, this, [this](const QString& error) {
        serviceLog_.error(QStringLiteral("mqtt: readings store: %1; trying again").arg(error));
        fetching_ = false;
        retry_->start(kRetryMs);
    });
    connect(&mqtt_, &MqttPublisher::connectionChanged, this, [this](bool connected) {
        connected_ = connected;
        if (!connected) return;
        more_ = true;
        fetchIfDue();
    });
    connect(&mqtt_, &MqttPublisher::acknowledged, this, &ReadingsRelay::onAcknowledged);
    // A backstop for readings committed without a readingsArrived() call seeing them
    // (a long back-log written in several batches, a store that could not be written).
    connect(&store, &core::ReadingsStore::batchCommitted, this, [this](int readings) {
        if (readings > 0) readingsArrived();
    });
}

void ReadingsRelay::start() { log_.start(); }

void ReadingsRelay::readingsArrived() {
    more_ = true;
    fetchIfDue();
}

void ReadingsRelay::finish() { finished_ = true; }

void ReadingsRelay::fetchIfDue() {
    if (finished_ || !connected_ || fetching_ || !more_) return;
    const int room = window_ - int(inFlight_.size());
    // Wait for a quarter of the window to be acknowledged rather than read a few rows at a time.
    if (room < std::max(1, window_ / 4)) return;
    if (!draining_ && sinceFetch_.isValid() && sinceFetch_.elapsed() < kMinFetchGapMs) {
        if (!retry_->isActive()) retry_->start(int(kMinFetchGapMs - sinceFetch_.elapsed()));
        return;
    }
    sinceFetch_.start();
    fetching_ = true;
    more_ = false;
    fetchLimit_ = room;
    log_.fetch(lastQueued_, room);
}

void ReadingsRelay::onFetched(const core::PublishBatch& batch) {
    fetching_ = false;
    if (finished_) return;
    if (lastQueued_ < 0) {
        lastQueued_ = batch.mark;
        if (!batch.readings.empty())
            serviceLog_.info(QStringLiteral("mqtt: publishing the stored readings after log id %1").arg(batch.mark));
    }
    bool refused = false;
    for (const core::PublishedReading& r : batch.readings) {
        const int mid = mqtt_.publishMeasurement(r.barCode + QStringLiteral("/reading"), ReadingPayload(r, node_));
        if (mid < 0) {
            // The library is not taking messages now: this reading and the rest are read again later.
            refused = true;
            retry_->start(kRetryMs);
            break;
        }
        inFlight_[mid] = r.id;
        unacknowledged_.insert(r.id);
        lastQueued_ = r.id;
    }
    if (!refused) {
        lastQueued_ = std::max(lastQueued_, batch.lastId);   // log rows of pruned readings are passed over
        draining_ = batch.scanned >= fetchLimit_;   // a back-log: read on without a pause
        if (draining_) more_ = true;
    }
    advanceMark();
    fetchIfDue();
}

void ReadingsRelay::onAcknowledged(int mid) {
    const auto it = inFlight_.find(mid);
    if (it == inFlight_.end()) return;   // a status or heat message
    unacknowledged_.erase(it->second);
    inFlight_.erase(it);
    advanceMark();
    fetchIfDue();
}

void ReadingsRelay::advanceMark() {
    if (lastQueued_ < 0) return;
    log_.setMark(unacknowledged_.empty() ? lastQueued_ : *unacknowledged_.begin() - 1);
}

}  // namespace service
