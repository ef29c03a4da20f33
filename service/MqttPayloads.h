#pragma once
// The JSON objects the service publishes for measurements: compact, English
// snake_case keys, numbers as numbers, local ISO 8601 times without a zone.
#include <QByteArray>
#include <QString>

#include <deque>

#include "core/ReadingsPublishLog.h"
#include "protocol/Readings.h"

namespace service {

// Readings as the relay holds them, read ahead from the store.
using ReadingIt = std::deque<core::PublishedReading>::const_iterator;

// <prefix>/<barcode>/reading: barcode, time, temperature (°C), humidity (%),
// battery (V, left out when not known), node, received.
QByteArray ReadingPayload(const core::PublishedReading& reading, const QString& node);

// <prefix>/<barcode>/readings: the records of one upload in order, one message:
// {"barcode", "node", "readings": [{"battery", "humidity", "temperature", "time"}, ...],
// "received"}; battery left out of a record when not known. `first`..`last` share
// bar code and receipt (ReadingsOfOneUpload); `last` is the final record, not past it.
QByteArray UploadPayload(ReadingIt first, ReadingIt last, const QString& node);

// How many readings from `first` (up to `end`, at most `limit`) came in the same upload:
// the same terminal, received at the same moment, room-temperature records.
int ReadingsOfOneUpload(ReadingIt first, ReadingIt end, int limit);

// <prefix>/<barcode>/heat: one heat-meter record with its status bits spelled out.
// `received` as stored: local ISO 8601 without a zone.
QByteArray HeatPayload(const QString& barCode, const ht6630::HeatMeterRecord& record, const QString& node,
                       const QString& received);

// <prefix>/nodes/<node>/store, retained: {"store": "ok" | "failing", "node", "since"},
// with "reason" (SQLite's words) while failing: uploads are then not acknowledged.
QByteArray StoreStatusPayload(bool failing, const QString& reason, const QString& node, const QString& since);

}  // namespace service
