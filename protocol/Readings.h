#pragma once
// Uploaded measurements as values rather than text: what a store, a chart or a
// broker takes from the same frames the upload texts are written from.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/Bytes.h"

namespace ht6630 {

// A local date and time to the minute (or second); year with four digits.
struct CivilTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const CivilTime&) const = default;
};

// "2024-05-17T08:30:00" (ISO 8601 local time, no zone).
std::string IsoText(const CivilTime& t);

struct RoomRecord {
    std::optional<CivilTime> time;   // empty when the upload time is no valid date
    int temperatureTenths = 0;       // tenths of a degree Celsius, signed
    int humidityTenths = 0;          // tenths of a percent
};

// A room-temperature upload. The newest record carries the upload time; each
// earlier one is one acquisition interval older.
struct RoomUpload {
    std::string barCode;             // 13 digits from the frame's address
    std::string phone;               // 14 hex digits
    int batteryCentivolts = 0;       // hundredths of a volt
    std::optional<CivilTime> uploadTime;
    int intervalMinutes = 0;
    int announcedCount = 0;          // the count the frame states
    std::vector<RoomRecord> records; // the records the frame holds completely
};

// Empty when the frame is too short for the upload header.
std::optional<RoomUpload> DecodeRoomUpload(ByteView frame);

// One heat-meter record of a heat-meter upload, with the values its text line shows.
struct HeatMeterRecord {
    std::string meterAddress;        // 10 digits
    double lastHeat = 0, heat = 0, power = 0, flow = 0, totalFlow = 0;
    float supplyTemperature = 0, returnTemperature = 0;
    double workingHours = 0;
    std::uint8_t flags = 0;          // the status byte (bit 7 first: supply open … pipes reversed)
    std::string meterClock;          // "YYYY-MM-DD hh:mm:ss" as the meter reports it
};

// The records that pass their checks (start, control, end and checksum bytes,
// readable values); records the frame does not hold completely are skipped.
std::vector<HeatMeterRecord> DecodeHeatMeterRecords(ByteView frame);

}  // namespace ht6630
