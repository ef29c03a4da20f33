#pragma once
// The JSON objects the service publishes for measurements: compact, English
// snake_case keys, numbers as numbers, local ISO 8601 times without a zone.
#include <QByteArray>
#include <QString>

#include "core/ReadingsPublishLog.h"
#include "protocol/Readings.h"

namespace service {

// <prefix>/<barcode>/reading: barcode, time, temperature (°C), humidity (%),
// battery (V, left out when not known), node, received.
QByteArray ReadingPayload(const core::PublishedReading& reading, const QString& node);

// <prefix>/<barcode>/heat: one heat-meter record with its status bits spelled out.
// `received` as stored: local ISO 8601 without a zone.
QByteArray HeatPayload(const QString& barCode, const ht6630::HeatMeterRecord& record, const QString& node,
                       const QString& received);

}  // namespace service
