// The frame tool's decode path and the decoded log panel's on arbitrary bytes:
// no read past the end; a line read back as a frame describes like any frame,
// and a frame's own traffic line reads back as that frame.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/FrameDescription.h"
#include "protocol/TrafficLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ht6630::ByteView bytes(data, size);
    std::string text = ht6630::DescribeFrame(bytes);
    if (text.rfind("kind=", 0) != 0) __builtin_trap();

    const std::string_view asLine(reinterpret_cast<const char*>(data), size);
    if (const auto shown = ht6630::ParseTrafficLine(asLine)) {
        if (shown->bytes.empty()) __builtin_trap();
        (void)ht6630::DescribeFrame(shown->bytes);
    }
    if (size > 0 && size <= 201) {   // longer sent arrays hide their preamble
        const auto back = ht6630::ParseTrafficLine(ht6630::TrafficLine(bytes, size % 2 == 0, "08:30:00"));
        if (!back || back->sent != (size % 2 == 0) || back->bytes != ht6630::Bytes(data, data + size)) __builtin_trap();
    }
    return 0;
}
