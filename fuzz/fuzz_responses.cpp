// Every catalogue response decoder on arbitrary blocks: no read past the end.
#include <cstddef>
#include <cstdint>

#include "protocol/Catalogue.h"
#include "protocol/Responses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ht6630::ByteView block(data, size);
    for (const ht6630::CatalogueEntry& e : ht6630::Catalogue()) {
        auto fields = ht6630::DecodeResponseFields(e.op, block);
        // A decoder that claims fields must have had the bytes for them.
        if (fields && !fields->empty() && size < 18) __builtin_trap();
    }
    if (size >= 2) {
        (void)ht6630::FormatVersion(data[0], data[1]);
        int t = ht6630::SignedBigEndian16(data[0], data[1]);
        if (t < -32768 || t > 32767) __builtin_trap();
        (void)ht6630::FormatTenths(t);
    }
    return 0;
}
