// Feeds arbitrary blocks, operation names and expected lengths to the serial judge.
// First byte: which operation name; next two bytes: ExpectLen; the rest: the block.
// Half of the inputs get a correct CRC so that the decoding behind it is reached.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/Catalogue.h"
#include "protocol/Frame.h"
#include "protocol/SerialJudge.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const auto& cat = ht6630::Catalogue();
    const std::uint8_t pick = data[0];
    std::string_view op = pick % 17 < cat.size() ? cat[pick % 17].name : (pick % 17 == 15 ? "" : "?");
    const bool mendCrc = (pick & 0x80) != 0;
    int expect = static_cast<std::int16_t>((data[1] << 8) | data[2]);
    ht6630::Bytes block(data + 3, data + size);
    if (mendCrc && block.size() >= 3) {
        const unsigned crc = ht6630::Crc16Modbus(ht6630::ByteView(block).first(block.size() - 3));
        block[block.size() - 3] = static_cast<std::uint8_t>(crc & 0xFF);
        block[block.size() - 2] = static_cast<std::uint8_t>(crc >> 8);
    }
    if ((pick & 0x40) != 0) expect = static_cast<int>(block.size());
    // An exact-size heap copy so that any read past the block is caught.
    const ht6630::SerialJudgement j = ht6630::JudgeSerialBlock(block, op, expect);
    if (j.status.empty() && !j.fields.empty()) __builtin_trap();   // fields only come with a verdict
    return 0;
}
