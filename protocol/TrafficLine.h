#pragma once
// The line the traffic-log panel appends for a frame.
#include <optional>
#include <string>
#include <string_view>

#include "protocol/Bytes.h"

namespace ht6630 {

// "TX: " or "RX: ", each byte as two upper-case hex digits and a space, five
// spaces, the time "hh:mm:ss", CR LF. A sent array longer than 201 bytes shows
// only bytes 201 onward (the wake-up preamble is not shown). Empty array: "".
std::string TrafficLine(ByteView bytes, bool sent, std::string_view timeOfDay);

// The bytes a traffic line shows, read back from the line as shown (with or
// without its CR LF); `sent` says TX. Empty for anything else (a line of another
// log, a line cut short, a byte that is not two hex digits).
struct ShownFrame {
    bool sent = false;
    Bytes bytes;
};
std::optional<ShownFrame> ParseTrafficLine(std::string_view line);

// "hh:mm:ss" of a number of seconds since midnight.
std::string TimeOfDayText(int secondsSinceMidnight);

}  // namespace ht6630
