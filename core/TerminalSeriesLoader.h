#pragma once
// One terminal's readings as plot data, read straight from a readings database:
// times in milliseconds since the epoch, temperature and humidity beside them.
// Built for a million rows in a fraction of a second (one prepared statement on
// the file opened read-only, the time text parsed here), and safe to run on a
// worker thread: it touches no Qt object but the strings it is given.
#include <QString>

#include <atomic>
#include <cstdint>
#include <vector>

namespace core {

struct TerminalSeries {
    std::vector<std::int64_t> timesMs;   // ascending: the file keeps readings in (bar code, time) order
    std::vector<double> temperatureC, humidityPct;
    std::size_t size() const { return timesMs.size(); }
};

struct TerminalSeriesLoad {
    TerminalSeries series;
    QString error;   // empty when the file was read; then an empty series means "no readings"
};

// Never creates or changes the file. A missing, locked, damaged or foreign file
// gives an error text. Setting `cancel` stops the read early (a busy wait too);
// the result is then incomplete and carries an error text.
// `afterTime` ("YYYY-MM-DDTHH:MM:SS"), when given, reads only the readings after it.
TerminalSeriesLoad LoadTerminalSeries(const QString& path, const QString& barCode,
                                      const std::atomic<bool>* cancel = nullptr, const QString& afterTime = {});

// Puts `more` into `into`, keeping time order; a reading at a time `into` has already is left out.
void MergeReadings(TerminalSeries& into, const TerminalSeries& more);

// "YYYY-MM-DDTHH:MM:SS" as local time -> milliseconds since the epoch; false for
// any other text. Exposed for the tests.
bool ParseLocalIsoTime(const char* text, std::size_t length, std::int64_t* ms);

}  // namespace core
