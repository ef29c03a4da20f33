#pragma once
// Keeps what a data centre decodes: its uploads, heat-meter records and
// terminal events go into the readings store as they are emitted.
#include "core/DataCentre.h"
#include "core/ReadingsStore.h"

namespace core {

// Connects `engine` to `store` for as long as both exist.
void RecordReadings(DataCentre& engine, ReadingsStore& store, Channel channel);

// Where the console keeps its readings: HT6630_READINGS_DB when set (tests), else
// Data/readings.db in `programFolder`, beside data.mdb.
QString ReadingsDatabasePath(const QString& programFolder);

}  // namespace core
