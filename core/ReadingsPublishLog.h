#pragma once
// Readings a consumer (the MQTT publisher) has not yet had acknowledged, kept in
// the readings file so they survive a broker away for days and a restart.
//
// Triggers append every newly stored reading and heat-meter record to
// `publish_log` (id ascending: the order they were stored, so each terminal's
// readings stay in order; `meter` is set for heat-meter records);
// `publish_marks` holds each consumer's last id handed on for good.
// Log rows at or below every mark are deleted. The tables exist only while a
// consumer is registered, and leave the schema version alone: readers never
// look at them, so older programs still read the file.
//
// All SQL runs on the store's writer thread; results come back as queued calls
// on this object's thread.
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include "protocol/Readings.h"

namespace core {

class ReadingsStore;

struct PublishedReading {
    qint64 id = 0;                   // the log id
    QString barCode, time, received; // local ISO 8601 texts as stored (time: the meter's clock for heat)
    double temperature = 0, humidity = 0;
    std::optional<double> battery;
    std::shared_ptr<const ht6630::HeatMeterRecord> heat;   // set for a heat-meter record (then no room values)
};

struct PublishBatch {
    qint64 mark = 0;                 // the consumer's saved mark when the batch was read
    qint64 lastId = 0;               // the last log id looked at (readings pruned since are skipped)
    int scanned = 0;                 // log rows looked at: equal to the limit when more may follow
    qint64 newest = 0;               // the highest log id given so far (ids are never reused)
    std::vector<PublishedReading> readings;
};

class ReadingsPublishLog : public QObject {
    Q_OBJECT
public:
    ReadingsPublishLog(ReadingsStore& store, const QString& consumer, QObject* parent = nullptr);
    ~ReadingsPublishLog() override;

    // Registers the consumer; readings enqueued after this call are logged for it.
    // A consumer registered before keeps its mark (its back-log).
    void start();
    // Reads up to `limit` logged readings after `afterId` (negative: after the saved
    // mark) and emits fetched().
    void fetch(qint64 afterId, int limit);
    // Reads the saved mark and the highest log id given so far, no readings, and
    // emits peeked() (fetchFailed() when it cannot): how much is waiting, cheaply.
    void peek();
    // Everything up to `id` is handed on; saved with the store's next batch.
    void setMark(qint64 id);

    // Unregisters `consumer` (its back-log is dropped); with no consumer left the
    // log and its trigger go.
    static void Forget(ReadingsStore& store, const QString& consumer);

signals:
    void fetched(const core::PublishBatch& batch);
    void fetchFailed(const QString& error);   // instead of fetched() or peeked()
    void peeked(qint64 mark, qint64 newest);
    void failed(const QString& error);        // registering or saving the mark

private:
    struct Shared;
    ReadingsStore& store_;
    const QString consumer_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace core
