// The heat-meter decoder on arbitrary frames: no read past the end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/Upload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = ht6630::DealData_HeatMeter(ht6630::ByteView(data, size), "12:34:56");
    if (!text.empty() && (size < 79 || data[16] == 0 || data[16] > 3)) __builtin_trap();
    if (size >= 1) {
        std::string digit(1, static_cast<char>(data[0]));
        (void)ht6630::HexDigitToBits(digit);
    }
    return 0;
}
