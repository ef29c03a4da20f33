#pragma once
// Frame codec and CRC-16/MODBUS.
//
// Layout: start bytes, function code, 7-byte address, 16-bit big-endian
// payload length, payload, CRC low byte first, 0x0D. Requests and terminal-
// initiated frames start "QV" (0x51 0x56); replies and responses "qv".
#include <array>
#include <stdexcept>
#include <string_view>

#include "protocol/Bytes.h"

namespace ht6630 {

inline constexpr std::uint8_t kRequestStart1 = 0x51, kRequestStart2 = 0x56;
inline constexpr std::uint8_t kReplyStart1 = 0x71, kReplyStart2 = 0x76;
inline constexpr std::uint8_t kTerminator = 0x0D;
inline constexpr int kPreambleLength = 201;
inline constexpr int kMaxPayloadRequest = 32756;   // keeps the last index within a 16-bit count
inline constexpr int kMaxPayloadInfrared = 32555;
inline constexpr int kFrameOverhead = 15;
inline constexpr std::string_view kBarCodeAddress = "99999999999999";

// A builder that cannot build its frame throws; no malformed frame is ever returned.
class FrameBuildError : public std::runtime_error {
public:
    enum class Kind { Overflow, Index };
    FrameBuildError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }
private:
    Kind kind_;
};

// functionCode must lie in 0..255; 0 <= length <= limit; payload must hold >= length bytes.
Bytes MakeFrame_Request(int functionCode, std::string_view address, int length, ByteView payload);
Bytes MakeFrame_Reply(int functionCode, std::string_view address, int length, ByteView payload);
// 201 zero bytes, then exactly the MakeFrame_Request frame.
Bytes MakeFrame_Infrared(int functionCode, std::string_view address, int length, ByteView payload);

// CRC-16/MODBUS over [0, last], [0, last-3] and [201, last] respectively.
// Ranges that are empty give 0xFFFF; arrays too short for their range never read out of bounds.
unsigned Crc16_Frame(ByteView bytes);
unsigned Crc16_Received(ByteView bytes);
unsigned Crc16_Infrared(ByteView bytes);
// Plain CRC-16/MODBUS of a byte range (the primitive behind the three above).
unsigned Crc16Modbus(ByteView bytes);
// Reference bitwise loop, kept for tests and benchmarks.
unsigned Crc16ModbusBitwise(ByteView bytes);

// True when the block's third-last and second-last bytes hold Crc16_Received (low byte first).
bool ReceivedCrcIsCorrect(ByteView block);

// The 7 address bytes of a 14-character address string, each pair parsed as hex
// leniently: parsing stops at the first non-hex character; missing characters give 0.
std::array<std::uint8_t, 7> PackAddress(std::string_view address);

// The 13-digit bar code of 7 address bytes: the low hex digit of the first byte,
// then two upper-case hex digits of each of the other six. Needs 7 bytes.
// Fewer than 7 bytes give an empty text (nothing is read past the end).
std::string BarCodeFromAddress(ByteView sevenBytes);

}  // namespace ht6630
