#pragma once
// Judging one block received on the serial link against the request sent last.
// Standard C++ only: the console applies the result to its fields and status label.
#include <string>
#include <string_view>

#include "protocol/Bytes.h"
#include "protocol/Fields.h"

namespace ht6630 {

struct SerialJudgement {
    std::string status;     // the status label's new text; empty when nothing is to be said
    FieldValues fields;     // the fields to fill (empty unless the response was accepted)
};

// Tests the block in this order: a "QV" block of the expected length with a bad CRC
// (handshake failure), the "qv" start bytes and the length, the CRC, then the
// operation's own test (function code or length) and its decoding.
// Never reads past the block.
SerialJudgement JudgeSerialBlock(ByteView block, std::string_view opName, int expectLen);

// The CRC check of a received block: its third-last and second-last bytes hold the
// CRC of everything before them, low byte first. Blocks of fewer than 3 bytes fail.
bool SerialCrcIsCorrect(ByteView block);

}  // namespace ht6630
