#pragma once
// The export formats of stored readings: CSV per RFC 4180 and JSON, UTF-8,
// numbers always with "." and no more digits than the value needs.
#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include "core/ReadingsQuery.h"

namespace core {

QByteArray NumberText(double value);   // shortest text that reads back as the same double

extern const char kCsvHeader[];        // "barcode,time,…" with CR LF
QByteArray CsvLine(const StoredReading& r);
QByteArray JsonReading(const StoredReading& r);

QByteArray TerminalsJson(const std::vector<TerminalSummary>& terminals);
QByteArray TerminalsTable(const std::vector<TerminalSummary>& terminals);

}  // namespace core
