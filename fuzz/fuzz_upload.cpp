// The room-temperature upload decoder on arbitrary frames: no read past the end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/Upload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = ht6630::DealData_Upload(ht6630::ByteView(data, size));
    // Header-less frames give nothing; every block ends with its two empty lines.
    if (size < 32 && !text.empty()) __builtin_trap();
    if (size >= 32 && (text.size() < 6 || text.compare(text.size() - 6, 6, "\r\n\r\n\r\n") != 0)) {
        __builtin_trap();
    }
    return 0;
}
