#pragma once
// Decoding of uploads: room-temperature records and heat-meter records.
#include <string>

#include "protocol/Bytes.h"

namespace ht6630 {

// The text block shown for a room-temperature upload frame,
// including the final extra CR LF (so it ends with two empty lines). Never reads
// past the frame: records the frame does not hold are not written.
std::string DealData_Upload(ByteView frame);

// The lines (each ending CR LF) of the heat-meter records of an upload frame.
// timeOfDay is the computer's time "hh:mm:ss" for the "采集时间:" piece.
// Records the frame does not hold completely are skipped.
std::string DealData_HeatMeter(ByteView frame, std::string_view timeOfDay);

// "5" -> "0101"; anything but one character 0-9/A-F gives "".
std::string HexDigitToBits(std::string_view digit);

}  // namespace ht6630
