// Frame builders and the CRC routines on arbitrary arguments.
//
// Input: mode byte, function code (int16 LE), length (int16 LE), address length,
// address characters, then the payload. Mode bits: 0-1 builder (request, reply,
// preamble, CRC only); bit 2 keeps the function code within a byte; bit 3 makes
// the length the payload size. A builder either throws FrameBuildError for
// arguments it must refuse, or returns a well-formed frame.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "protocol/Frame.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ht6630;
    const ByteView all(data, size);
    // The CRC routines on the raw input: the table loop agrees with the bitwise loop.
    const unsigned crc = Crc16Modbus(all);
    Check(crc == Crc16ModbusBitwise(all));
    Check(crc <= 0xFFFF);
    Check(Crc16_Frame(all) == crc);
    Check(Crc16_Received(all) == (size > 3 ? Crc16ModbusBitwise(all.first(size - 3)) : 0xFFFFu));
    Check(Crc16_Infrared(all) == (size > 201 ? Crc16ModbusBitwise(all.subspan(201)) : 0xFFFFu));
    (void)ReceivedCrcIsCorrect(all);
    (void)BarCodeFromAddress(all);

    if (size < 6) return 0;
    const std::uint8_t mode = data[0];
    std::int16_t code16, length16;
    std::memcpy(&code16, data + 1, 2);
    std::memcpy(&length16, data + 3, 2);
    int functionCode = code16;
    int length = length16;
    const std::size_t addressLength = std::min<std::size_t>(data[5], size - 6);
    const std::string_view address(reinterpret_cast<const char*>(data + 6), addressLength);
    const ByteView payload = all.subspan(6 + addressLength);
    if (mode & 0x04) functionCode &= 0xFF;
    if (mode & 0x08) length = static_cast<int>(payload.size());
    const int builder = mode & 0x03;
    if (builder == 3) return 0;

    const bool infrared = builder == 2;
    const int limit = infrared ? kMaxPayloadInfrared : kMaxPayloadRequest;
    const bool valid = functionCode >= 0 && functionCode <= 255 && length >= 0 && length <= limit &&
                       payload.size() >= static_cast<std::size_t>(length);
    Bytes frame;
    try {
        if (builder == 0) frame = MakeFrame_Request(functionCode, address, length, payload);
        if (builder == 1) frame = MakeFrame_Reply(functionCode, address, length, payload);
        if (builder == 2) frame = MakeFrame_Infrared(functionCode, address, length, payload);
    } catch (const FrameBuildError& e) {
        Check(!valid);
        const bool indexError = e.kind() == FrameBuildError::Kind::Index;
        const bool argumentsInRange = functionCode >= 0 && functionCode <= 255 && length >= 0 && length <= limit;
        Check(indexError == argumentsInRange);
        return 0;
    }
    Check(valid);
    const std::size_t base = infrared ? kPreambleLength : 0;
    Check(frame.size() == base + static_cast<std::size_t>(length) + kFrameOverhead);
    for (std::size_t i = 0; i < base; ++i) Check(frame[i] == 0);
    const ByteView f = ByteView(frame).subspan(base);
    Check(f[0] == (builder == 1 ? kReplyStart1 : kRequestStart1));
    Check(f[1] == (builder == 1 ? kReplyStart2 : kRequestStart2));
    Check(f[2] == functionCode);
    const auto packed = PackAddress(address);
    Check(std::memcmp(f.data() + 3, packed.data(), 7) == 0);
    Check(f[10] * 256 + f[11] == length);
    Check(length == 0 || std::memcmp(f.data() + 12, payload.data(), static_cast<std::size_t>(length)) == 0);
    Check(ReceivedCrcIsCorrect(f));
    if (infrared) Check(Crc16_Infrared(ByteView(frame).first(frame.size() - 3)) == f[f.size() - 3] + 256u * f[f.size() - 2]);
    Check(f[f.size() - 1] == kTerminator);
    Check(Crc16ModbusBitwise(f.first(f.size() - 3)) == f[f.size() - 3] + 256u * f[f.size() - 2]);
    return 0;
}
