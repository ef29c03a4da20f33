#pragma once
// Read-only access to a readings database: the terminal list and the stored
// readings in (bar code, time) order, for the export tool and the terminal
// views. Opening never creates or changes the file.
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace core {

struct TerminalSummary {
    QString barCode;
    QString firstSeen, lastSeen;          // ISO 8601 local times
    qint64 readings = 0;                  // readings stored
    std::optional<double> lastTemperature, lastHumidity, batteryV;
    QString lastRecordTime;               // time of the newest reading, empty when none
    QString lastReceived;                 // when the newest reading arrived, empty when none
    QString channel, peer;                // of the newest event, empty when none
    bool online = false;                  // the file does not know: false unless a live engine says so
};

struct StoredReading {
    QString barCode, time;
    double temperatureC = 0, humidityPct = 0;
    std::optional<double> batteryV;
    QString source, received;
};

class ReadingsQuery {
public:
    // Opens `path` read-only; error() says why when it could not (missing file,
    // locked, not a readings database, damaged).
    explicit ReadingsQuery(const QString& path);
    ~ReadingsQuery();
    ReadingsQuery(const ReadingsQuery&) = delete;
    ReadingsQuery& operator=(const ReadingsQuery&) = delete;

    bool isOpen() const { return open_; }
    QString error() const { return error_; }

    // One summary per bar code ever seen, in bar-code order; empty with error() set on failure.
    std::optional<std::vector<TerminalSummary>> terminals();

    // Calls `row` for each reading of the bar codes (empty: all) with from <= time <= to
    // (empty: unbounded), in (bar code, time) order; `row` returns false to stop.
    // False with error() set when the file could not be read.
    bool readings(const QStringList& barCodes, const QString& from, const QString& to,
                  const std::function<bool(const StoredReading&)>& row);

private:
    bool fail(const QString& text);

    const QString connectionName_;
    bool open_ = false;
    QString error_;
};

}  // namespace core
