#pragma once
// The line the traffic-log panel appends for a frame.
#include <string>

#include "protocol/Bytes.h"

namespace ht6630 {

// "TX: " or "RX: ", each byte as two upper-case hex digits and a space, five
// spaces, the time "hh:mm:ss", CR LF. A sent array longer than 201 bytes shows
// only bytes 201 onward (the wake-up preamble is not shown). Empty array: "".
std::string TrafficLine(ByteView bytes, bool sent, std::string_view timeOfDay);

// "hh:mm:ss" of a number of seconds since midnight.
std::string TimeOfDayText(int secondsSinceMidnight);

}  // namespace ht6630
