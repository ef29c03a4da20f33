#pragma once
// Every terminal ever seen, one row each, for the terminals view: seeded from
// the readings database when the console starts, then kept live from the data
// centres' and the serial link's events. Rows are appended and never move, so
// a view can address them by index.
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

#include "core/ReadingsRows.h"
#include "protocol/Readings.h"

class QTimer;

namespace core {

class DataCentre;
struct TerminalSummary;

// Heart-beat intervals as observed: running mean and spread (Welford), so a
// terminal that beats every 60 s shows 60.0 and a small spread.
struct HeartbeatStats {
    qint64 lastMs = 0;          // 0: none seen yet
    int intervals = 0;
    double meanS = 0, m2 = 0;
    void add(qint64 atMs);
    // A beat after a silence that was no interval (the terminal was overdue): the
    // next interval counts from here.
    void resume(qint64 atMs) { lastMs = atMs; }
    std::optional<double> meanSeconds() const;
    std::optional<double> spreadSeconds() const;   // standard deviation, needs two intervals
};

// A terminal is overdue once it has sent nothing for more than three of its
// heart-beat intervals: the one it reported (a read of its parameters), else the
// mean observed, else the longest a terminal can be set to.
inline constexpr int kOverdueBeats = 3;
inline constexpr int kLongestHeartbeatS = 240;
qint64 OverdueAfterMs(const HeartbeatStats& beats, int reportedS = 0);

struct TerminalRow {
    QString barCode;
    bool online = false;
    QString channel, peer;
    // Times in ms since the epoch, 0 when not known: cheap to compare and sort by.
    qint64 firstSeenMs = 0, lastSeenMs = 0;
    QString firmware;
    std::optional<double> temperature, humidity, batteryV;
    qint64 lastRecordMs = 0;
    qint64 readings = 0;
    HeartbeatStats heartbeat;
    int reportedHeartbeatS = 0;           // read from the terminal; 0 when not known
    bool overdue = false;                 // online, and silent past OverdueAfterMs
    std::optional<qint64> clockOffsetS;   // newest record time minus the host's time of receipt
};

class TerminalRoster : public QObject {
    Q_OBJECT
public:
    explicit TerminalRoster(QObject* parent = nullptr);
    ~TerminalRoster() override;   // waits for a seeding still running

    // Reads the database's terminals on a worker thread and merges them in
    // (rows seen live meanwhile keep their live values). A missing file is no error.
    void seedFrom(const QString& databasePath);

    // Follows an engine's events until it is destroyed; its terminals then go offline.
    void watch(DataCentre& engine, Channel channel);

    // The events themselves (what watch() connects; also the serial console's live read).
    void noteEvent(const QString& barCode, const QString& kind, Channel channel, const QString& peer,
                   const QDateTime& at);
    void noteOnline(const QString& barCode, bool online, Channel channel, const QString& peer, const QDateTime& at);
    void noteUpload(const ht6630::RoomUpload& upload, Channel channel, const QDateTime& receivedAt);
    void noteLiveReading(const QString& barCode, double temperature, double humidity, const QDateTime& at);
    void noteFirmware(const QString& barCode, const QString& firmware);
    void noteHeartbeatSetting(const QString& barCode, int seconds);

    // Marks the online terminals silent past OverdueAfterMs at `nowMs` overdue and
    // the others not; the roster's own timer runs it every two seconds.
    void sweepOverdue(qint64 nowMs);
    int overdueCount() const { return overdue_; }

    int size() const { return int(rows_.size()); }
    const TerminalRow& row(int index) const { return rows_[std::size_t(index)]; }
    int indexOf(const QString& barCode) const { return index_.value(barCode, -1); }

signals:
    void rowAdded(int index);
    void rowChanged(int index);
    void seeded(int terminals, const QString& error);

private:
    // The row of a bar code, made (and announced) when new; -1 for an empty bar code.
    int rowFor(const QString& barCode);
    void touch(int index, Channel channel, const QString& peer, const QDateTime& at);
    void merge(const std::vector<TerminalSummary>& stored);
    void setOverdue(TerminalRow& r, bool overdue);

    std::vector<TerminalRow> rows_;
    QHash<QString, int> index_;
    int overdue_ = 0;
    QTimer* overdueSweep_ = nullptr;
    class QThread* seeding_ = nullptr;
};

// "2024-05-17T08:30:00" as the store writes it, as a local time.
QDateTime StoredTime(const QString& text);

}  // namespace core
