#pragma once
// A readable account of one frame, for field engineers reading hex logs.
#include <string>

#include "protocol/Bytes.h"

namespace ht6630 {

// Identifies the frame and lists its fields, one "key=value" line each ('\n' ends).
// The first line is "kind=<kind>": request, response, reply, registration, heart beat,
// room-temperature upload, heat-meter upload, upload, upload-end notice,
// upload-end answer, setting follow-up, ignored, unknown.
// Full frames get "crc=ok" or "crc=mismatch (expected XXXX, found YYYY)".
// Uploads end with exactly the text the data centre shows for an upload (CR LF lines);
// heat-meter lines carry the collection time 00:00:00.
// Never reads past the end of the frame.
std::string DescribeFrame(ByteView frame);

}  // namespace ht6630
