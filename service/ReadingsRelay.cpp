#include "ReadingsRelay.h"

#include <QTimer>

#include <algorithm>
#include <utility>

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
// Readings read ahead of the window: one read of the store (a round trip through its
// writer thread, behind whatever batch it is committing) feeds many acknowledgements.
constexpr int kReadAhead = 4096;
// Records in one upload message at most (an upload holds a few dozen).
constexpr int kUploadMessageRecords = 256;
// While the broker is away: how often the log's growth is looked at, at most.
constexpr int kPeekGapMs = 1000;
}  // namespace

const QString ReadingsRelay::kConsumer = QStringLiteral("mqtt");

ReadingsRelay::ReadingsRelay(core::ReadingsStore& store, MqttPublisher& mqtt, ServiceLog& log, const QString& node,
                             int window, ReadingTopics topics, QObject* parent)
    : QObject(parent),
      log_(store, kConsumer),
      mqtt_(mqtt),
      serviceLog_(log),
      node_(node),
      window_(std::max(1, window)),
      topics_(topics) {
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, [this] {
        more_ = true;
        fetchIfDue();
    });
    republish_ = new QTimer(this);
    republish_->setSingleShot(true);
    connect(republish_, &QTimer::timeout, this, &ReadingsRelay::fetchIfDue);
    peekLater_ = new QTimer(this);
    peekLater_->setSingleShot(true);
    connect(peekLater_, &QTimer::timeout, this, &ReadingsRelay::peekIfDue);
    connect(&log_, &core::ReadingsPublishLog::fetched, this, &ReadingsRelay::onFetched);
    connect(&log_, &core::ReadingsPublishLog::failed, this, [this](const QString& error) {
        serviceLog_.error(QStringLiteral("mqtt: readings store: %1").arg(error));
    });
    connect(&log_, &core::ReadingsPublishLog::fetchFailed, this, [this](const QString& error) {
        serviceLog_.error(QStringLiteral("mqtt: readings store: %1; trying again").arg(error));
        if (std::exchange(peeking_, false)) return;
        fetching_ = false;
        retry_->start(kRetryMs);
    });
    connect(&log_, &core::ReadingsPublishLog::peeked, this, [this](qint64 mark, qint64 newest) {
        peeking_ = false;
        if (mark_ < 0) mark_ = mark;
        newest_ = std::max(newest_, newest);
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
        if (readings <= 0) return;
        readingsArrived();
        peekIfDue();
    });
}

void ReadingsRelay::start() {
    log_.start();
    peekIfDue();   // what is waiting from before, known before the broker is
}

std::optional<qint64> ReadingsRelay::waiting() const {
    if (newest_ < 0 || mark_ < 0) return std::nullopt;
    return std::max<qint64>(0, newest_ - mark_);
}

void ReadingsRelay::peekIfDue() {
    if (finished_ || connected_ || fetching_) return;
    if (peeking_ || (sincePeek_.isValid() && sincePeek_.elapsed() < kPeekGapMs)) {
        // Readings stored meanwhile are looked at once the gap is over.
        const int wait = peeking_ ? kPeekGapMs : std::max<int>(1, int(kPeekGapMs - sincePeek_.elapsed()));
        if (!peekLater_->isActive()) peekLater_->start(wait);
        return;
    }
    sincePeek_.start();
    peeking_ = true;
    log_.peek();
}

void ReadingsRelay::readingsArrived() {
    more_ = true;
    fetchIfDue();
}

void ReadingsRelay::finish() { finished_ = true; }

void ReadingsRelay::fetchIfDue() {
    publishAhead();
    if (finished_ || !connected_ || fetching_ || !more_) return;
    const int room = kReadAhead - int(ahead_.size());
    // Read again once half of what was read ahead has gone out, not a few rows at a time.
    if (room < kReadAhead / 2) return;
    if (!draining_ && sinceFetch_.isValid() && sinceFetch_.elapsed() < kMinFetchGapMs) {
        if (!retry_->isActive()) retry_->start(int(kMinFetchGapMs - sinceFetch_.elapsed()));
        return;
    }
    sinceFetch_.start();
    fetching_ = true;
    more_ = false;
    fetchLimit_ = room;
    log_.fetch(lastRead_, room);
}

void ReadingsRelay::onFetched(const core::PublishBatch& batch) {
    fetching_ = false;
    newest_ = std::max(newest_, batch.newest);
    if (mark_ < 0) mark_ = batch.mark;
    if (finished_) return;
    if (lastRead_ < 0) {
        lastRead_ = batch.mark;
        if (!batch.readings.empty())
            serviceLog_.info(QStringLiteral("mqtt: publishing the stored readings after log id %1").arg(batch.mark));
    }
    for (const core::PublishedReading& r : batch.readings) ahead_.push_back(r);
    lastRead_ = std::max(lastRead_, batch.lastId);   // log rows of pruned readings are passed over
    draining_ = batch.scanned >= fetchLimit_;        // a back-log: read on without a pause
    if (draining_) more_ = true;
    fetchIfDue();
    advanceMark();
}

void ReadingsRelay::publishAhead() {
    if (finished_ || !connected_ || republish_->isActive()) return;
    while (!ahead_.empty() && int(inFlight_.size()) < window_) {
        const int taken = publishFront();
        if (taken == 0) {
            // The library is not taking messages now: these readings and the rest go later.
            republish_->start(kRetryMs);
            return;
        }
        ahead_.erase(ahead_.begin(), ahead_.begin() + taken);
    }
}

int ReadingsRelay::publishFront() {
    const core::PublishedReading& r = ahead_.front();
    if (r.heat)
        return track(mqtt_.publishMeasurement(r.barCode + QStringLiteral("/heat"),
                                              HeatPayload(r.barCode, *r.heat, node_, r.received)),
                     r.id, 1)
                   ? 1
                   : 0;
    if (topics_ == ReadingTopics::Each)
        return track(mqtt_.publishMeasurement(r.barCode + QStringLiteral("/reading"), ReadingPayload(r, node_)), r.id, 1)
                   ? 1
                   : 0;
    const int n = ReadingsOfOneUpload(ahead_.cbegin(), ahead_.cend(), kUploadMessageRecords);
    const ReadingIt last = ahead_.cbegin() + (n - 1);
    if (!track(mqtt_.publishMeasurement(r.barCode + QStringLiteral("/readings"), UploadPayload(ahead_.cbegin(), last, node_)),
               r.id, n))
        return 0;
    // The newest reading stays with the broker for whoever subscribes later; a later
    // upload replaces it, so it is not waited for.
    mqtt_.publishRetained(r.barCode + QStringLiteral("/state"), ReadingPayload(*last, node_));
    if (topics_ == ReadingTopics::Both) {
        // Each record on its own too; a refusal here waits with the rest.
        for (ReadingIt it = ahead_.cbegin(); it <= last; ++it)
            if (!track(mqtt_.publishMeasurement(r.barCode + QStringLiteral("/reading"), ReadingPayload(*it, node_)), r.id, 0))
                return 0;
    }
    return n;
}

bool ReadingsRelay::track(int mid, qint64 logId, int readings) {
    if (mid < 0) return false;
    inFlight_[mid] = Sent{logId, readings};
    ++unacknowledged_[logId];
    return true;
}

void ReadingsRelay::onAcknowledged(int mid) {
    const auto it = inFlight_.find(mid);
    if (it == inFlight_.end()) return;   // a status or command-result message
    acknowledgedReadings_ += quint64(it->second.readings);
    const auto u = unacknowledged_.find(it->second.logId);
    if (u != unacknowledged_.end() && --u->second == 0) unacknowledged_.erase(u);
    inFlight_.erase(it);
    fetchIfDue();
    advanceMark();
}

void ReadingsRelay::advanceMark() {
    if (lastRead_ < 0) return;
    // Just below the oldest reading not yet acknowledged: in flight, else read ahead.
    const qint64 mark = !unacknowledged_.empty() ? unacknowledged_.begin()->first - 1
                        : ahead_.empty()        ? lastRead_
                                                : ahead_.front().id - 1;
    mark_ = std::max(mark_, mark);
    log_.setMark(mark);
}

}  // namespace service
