// The frame tool's decode path on arbitrary bytes: no read past the end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/FrameDescription.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = ht6630::DescribeFrame(ht6630::ByteView(data, size));
    if (text.rfind("kind=", 0) != 0) __builtin_trap();
    return 0;
}
