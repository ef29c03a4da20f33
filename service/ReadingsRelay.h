#pragma once
// Stored readings to the broker, none lost while it is away. Every reading and
// heat-meter record goes into the readings store first; the relay reads what the store logged for
// "mqtt" (ReadingsPublishLog) in id order, a few thousand ahead, and publishes
// it, at most `window` messages unacknowledged at a time, so a back-log of
// millions costs no memory and one read of the store feeds many acknowledgements.
// A reading counts as handed on once the broker acknowledged it (PUBACK); the
// saved mark is just below the oldest reading still unacknowledged. After a
// restart or a reconnect publishing resumes from there: a reading is published
// once, and at least once after a crash.
//
// Readings go out one message per upload (its records in order, consecutive in the
// log) and, per record, on the older topic where the configuration asks for it; a
// message counts for the oldest log id it carries.
//
// Messages already given to libmosquitto when the connection drops stay with
// it and are sent again when it reconnects; the relay adds no more meanwhile.
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <deque>
#include <map>
#include <optional>

#include "ServiceConfig.h"
#include "core/ReadingsPublishLog.h"

class QTimer;

namespace core {
class ReadingsStore;
}

namespace service {

class MqttPublisher;
class ServiceLog;

class ReadingsRelay : public QObject {
    Q_OBJECT
public:
    ReadingsRelay(core::ReadingsStore& store, MqttPublisher& mqtt, ServiceLog& log, const QString& node, int window,
                  ReadingTopics topics = ReadingTopics::Upload, QObject* parent = nullptr);

    // Registers with the store; call before the engines start, so no reading is missed.
    void start();
    // New readings were enqueued to the store: publish them soon.
    void readingsArrived();
    // No more publishing; the mark of what was acknowledged goes to the store.
    void finish();

    // Readings (and heat-meter records) the broker acknowledged since the start.
    quint64 acknowledgedReadings() const { return acknowledgedReadings_; }
    // Log rows after the mark of what the broker acknowledged: stored, not yet
    // acknowledged. As of the last read of the log (while the broker is away, the
    // log is looked at once a second at most as readings are stored); empty before
    // the first read.
    std::optional<qint64> waiting() const;

    static const QString kConsumer;   // "mqtt"

private:
    void fetchIfDue();
    void onFetched(const core::PublishBatch& batch);
    void onAcknowledged(int mid);
    void publishAhead();
    // Publishes the front of what was read ahead: a heat-meter record, or one upload's
    // readings; how many readings it took, 0 when the library refused the message.
    int publishFront();
    bool track(int mid, qint64 logId, int readings);
    void advanceMark();
    // While nothing is fetched (the broker away): how far the log has grown, at most once a second.
    void peekIfDue();

    core::ReadingsPublishLog log_;
    MqttPublisher& mqtt_;
    ServiceLog& serviceLog_;
    const QString node_;
    const int window_;
    const ReadingTopics topics_;
    QTimer* retry_ = nullptr;          // a fetch later: after a failure, or paced
    QTimer* republish_ = nullptr;      // publishing again after the library refused a message
    QTimer* peekLater_ = nullptr;      // a look at the log's growth, paced
    QElapsedTimer sinceFetch_;
    struct Sent {
        qint64 logId;    // the oldest log id it carries
        int readings;    // the readings it counts for (a per-record copy of an upload's: none)
    };
    std::map<int, Sent> inFlight_;     // message id -> what it carries
    std::map<qint64, int> unacknowledged_;   // those log ids, oldest first -> messages in flight for it
    std::deque<core::PublishedReading> ahead_;   // read from the store, not yet handed to the library
    qint64 lastRead_ = -1;             // the last log id read from the store; -1: start from the mark
    bool connected_ = false;
    bool fetching_ = false;
    int fetchLimit_ = 0;               // the limit of the fetch under way
    bool more_ = true;                 // the log may hold readings after lastQueued_
    bool draining_ = false;            // the last batch was full
    bool finished_ = false;
    quint64 acknowledgedReadings_ = 0;
    qint64 newest_ = -1;               // the log's highest id at the last read; -1: not read yet
    qint64 mark_ = -1;                 // the mark last given to the log (or read from it)
    bool peeking_ = false;
    QElapsedTimer sincePeek_;
};

}  // namespace service
