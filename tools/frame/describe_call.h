#pragma once
// The decode path of the frame tool: the protocol library's frame description.
#include <string>

#include "protocol/bytes.h"

#if __has_include("protocol/describe.h")
#include "protocol/describe.h"
inline std::string DescribeFrameText(ht6630::ByteView frame) { return ht6630::DescribeFrame(frame); }
#else
// Until the library describes frames: the bytes and whether their CRC holds.
#include "protocol/frame.h"
inline std::string DescribeFrameText(ht6630::ByteView frame) {
    return "frame " + ht6630::ToHexSpaced(frame) + "\ncrc=" +
           (ht6630::ReceivedCrcIsCorrect(frame) ? "ok" : "mismatch") + "\n";
}
#endif
