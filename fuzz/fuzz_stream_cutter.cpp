// Arbitrary arrivals through the stream cutter. Invariants: the blocks handed on,
// followed by what is held, are exactly the bytes fed, in order; no block is empty;
// what is held never exceeds the limit; a block that starts a frame never runs past
// that frame's end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The protocol library is built without coverage instrumentation; compiling the code
// under test into this program lets the fuzzer see its branches. The library's copy
// is then never pulled from the archive.
#include "protocol/StreamCutter.cpp"

using namespace ht6630;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckBlock(const Bytes& b, std::size_t limit) {
    Check(!b.empty());
    const bool frame = b.size() >= 2 && ((b[0] == 0x51 && b[1] == 0x56) || (b[0] == 0x71 && b[1] == 0x76));
    if (!frame) return;
    if (b.size() >= 12) {
        const std::size_t total = 15 + static_cast<std::size_t>(b[10]) * 256 + b[11];
        Check(b.size() == total || (b.size() < total && b.size() > limit));
    } else {
        Check(b.size() > limit);   // only the limit hands on a frame's head
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t limit = (data[0] & 0x80) ? 64 * 1024 : data[0];
    const std::uint8_t split = data[1];
    data += 2;
    size -= 2;
    StreamCutter cutter(limit);
    Bytes out;
    std::size_t pos = 0, step = 0;
    while (pos < size) {
        // Piece lengths follow the input's own bytes, so any split can be reached.
        std::size_t n = 1 + (data[pos] ^ split ^ static_cast<std::uint8_t>(step * 37)) % 64;
        if (n > size - pos) n = size - pos;
        Bytes piece(data + pos, data + pos + n);
        for (const Bytes& b : cutter.feed(piece)) {
            CheckBlock(b, limit);
            out.insert(out.end(), b.begin(), b.end());
        }
        Check(cutter.heldBytes() <= limit);
        pos += n;
        ++step;
        if (split == 0xFF && step % 7 == 0) {
            const Bytes f = cutter.flush();
            out.insert(out.end(), f.begin(), f.end());
        }
    }
    const Bytes rest = cutter.flush();
    out.insert(out.end(), rest.begin(), rest.end());
    Check(!cutter.holding());
    Check(out.size() == size && std::equal(out.begin(), out.end(), data));
    return 0;
}
