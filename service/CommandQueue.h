#pragma once
// The cmd requests kept until their terminal comes, on the broker itself:
//
// - the request waits as the retained message of <prefix>/<barcode>/cmd, "queued_at"
//   added (one waiting request per terminal; a newer one replaces it). A request
//   published without it is kept again with it by the node holding the terminal, or,
//   when none says anything about it within a second, by the steward: the online node
//   (<prefix>/nodes/+) with the smallest name, which also says "queued", and ends the
//   requests no node holds: "refused", "replaced", "expired", "cancelled";
// - the latest state per terminal is the retained <prefix>/<barcode>/cmd/result. A node
//   takes the results before the requests (MqttPublisher subscribes in that order), and
//   every id it has seen "sent" or ended goes to its store (CommandLog);
// - a request runs where its terminal is held (now, on its arrival at any node, or at its
//   upload end): CommandDesk claims it ("sent", acknowledged by the broker, in the store),
//   clears the kept copy and only then writes the frame. An id sent or ended is never
//   taken again, by any node, after any restart: that is why a request runs once.
#include <QHash>
#include <QJsonValue>
#include <QObject>
#include <QSet>

#include <functional>
#include <memory>

#include "CommandLog.h"
#include "ServiceLog.h"

namespace service {

class CommandDesk;

class CommandQueue : public QObject {
    Q_OBJECT
public:
    // `keep` publishes the retained copy of a terminal's request (empty: clears it).
    using Keep = std::function<void(const QString& barCode, const QByteArray& payload)>;

    // `arrivalDelayMs`: how long after a terminal's arrival its waiting request goes
    // (its registration answered first).
    // `answerWaitMs`: a request "sent" by a node that is gone (or by this node before a
    // restart) and not ended this long after is ended "timeout", "node left".
    CommandQueue(const QString& node, const QString& storePath, int arrivalDelayMs, int answerWaitMs, CommandDesk& desk,
                 ServiceLog& log, Keep keep, QObject* parent = nullptr);
    ~CommandQueue() override;

    // A message on <prefix>/<barcode>/cmd (retained or not), and on its cmd/result.
    void commandReceived(const QString& barCode, const QByteArray& payload);
    void resultReceived(const QString& barCode, const QByteArray& payload);
    // <prefix>/nodes/<node> said "online" or "offline".
    void nodeState(const QString& node, const QByteArray& payload);
    // The terminal is held here now: the request waiting for it goes to the desk.
    void terminalArrived(const QString& barCode);
    // The node stops: nothing more goes to the desk, nothing more is said as steward.
    void stop() { stopping_ = true; }

    // For the desk: another node sent or ended `id` before this one.
    bool takenElsewhere(const QString& barCode, const QString& id) const;
    // For the desk: a state of `id` other than "queued" was published by this node.
    void stateSaid(const QString& barCode, const QString& id, const QString& state);

private:
    struct Kept {
        QJsonValue idValue;      // as the request gave it
        QString id;
        QByteArray payload;      // as received
        qint64 queuedAtMs = 0;
        qint64 expiresMs = 0;
        bool copied = false;     // the broker's copy carries queued_at
    };
    struct Seen {
        QJsonValue idValue;
        QString id, state, node;
    };

    bool steward() const;
    // Another online node said "queued" for it last: that node holds it.
    bool heldElsewhere(const QString& barCode, const QString& id) const;
    // The waiting request to the desk when a local engine holds its terminal; true when taken.
    bool hand(const QString& barCode);
    void afterQuiet(const QString& barCode, const QString& id, const QByteArray& payload, const Kept& previous);
    void cancel(const QString& barCode, const QString& id);
    void sweep();
    // "sent" states whose sender can no longer end them.
    void endOrphans(qint64 now);
    void keepCopy(const QString& barCode, Kept& k);
    bool done(const QString& barCode, const QString& id) const { return doneLog_.contains(barCode, id); }

    static QString key(const QString& barCode, const QString& id) { return barCode + QLatin1Char('\n') + id; }

    const QString node_;
    const int arrivalDelayMs_;
    const int answerWaitMs_;
    CommandDesk& desk_;
    ServiceLog& serviceLog_;
    Keep keep_;
    CommandLog doneLog_;
    QHash<QString, Kept> kept_;     // terminal -> its waiting request
    QHash<QString, Seen> seen_;     // terminal -> the latest result the broker had
    QSet<QString> online_;          // nodes saying "online"
    QHash<QString, QString> sentBy_;   // key -> the other node that said "sent"
    QSet<QString> endedElsewhere_;     // keys another node ended
    QHash<QString, qint64> orphanSince_;   // terminal -> when its "sent" was first seen without a sender
    bool stopping_ = false;
};

}  // namespace service
