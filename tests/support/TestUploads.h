#pragma once
// Room uploads for the store, publish-log and roster tests: `records` readings
// `stepMinutes` apart from `first` (within its day), -5.3 °C and 45.6 % rising a
// tenth a record, battery 3.61 V.
#include <string>

#include "protocol/Readings.h"

namespace testing_support {

inline ht6630::RoomUpload TestUpload(const std::string& barCode, ht6630::CivilTime first, int records,
                                     int stepMinutes = 60) {
    ht6630::RoomUpload u;
    u.barCode = barCode;
    u.batteryCentivolts = 361;
    for (int i = 0; i < records; ++i) {
        const int minutes = first.hour * 60 + first.minute + i * stepMinutes;
        ht6630::CivilTime t = first;
        t.hour = minutes / 60;
        t.minute = minutes % 60;
        u.records.push_back({t, -53 + i, 456 + i});
    }
    return u;
}

}  // namespace testing_support
