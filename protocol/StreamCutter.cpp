#include "protocol/StreamCutter.h"

#include <iterator>

namespace ht6630 {

namespace {

constexpr std::size_t kHeaderLength = 12;    // start bytes, code, address, length field
constexpr std::size_t kFrameOverhead = 15;   // header, CRC and terminator

// The terminal's upload-end notice: a 15-byte block that begins with these bytes.
constexpr std::uint8_t kNotice[] = {0x71, 0x05, 0x02, 0x00, 0xAB};
constexpr std::size_t kNoticeLength = 15;

// 'Q' 'V' or 'q' 'v': the start of a frame whose length field decides where it ends.
bool IsFrameStart1(std::uint8_t b) { return b == 0x51 || b == 0x71; }
bool IsFrameStart2(std::uint8_t first, std::uint8_t second) {
    return (first == 0x51 && second == 0x56) || (first == 0x71 && second == 0x76);
}

// The `avail` bytes at `p` agree with the notice's first bytes (as many as are there).
bool MatchesNotice(const std::uint8_t* p, std::size_t avail) {
    const std::size_t n = avail < std::size(kNotice) ? avail : std::size(kNotice);
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != kNotice[i]) return false;
    }
    return true;
}

}  // namespace

StreamCutter::StreamCutter(std::size_t limit) : limit_(limit) {}

std::vector<Bytes> StreamCutter::feed(ByteView data) {
    std::vector<Bytes> blocks;
    held_.insert(held_.end(), data.begin(), data.end());
    std::size_t pos = 0;   // start of what is still held
    auto handOnRest = [&] {
        blocks.emplace_back(held_.begin() + static_cast<std::ptrdiff_t>(pos), held_.end());
        pos = held_.size();
    };
    while (pos < held_.size()) {
        const std::size_t avail = held_.size() - pos;
        const std::uint8_t first = held_[pos];
        if (!IsFrameStart1(first)) {
            handOnRest();                              // not a frame: as it came
            break;
        }
        if (avail < 2) break;                          // a lone 'Q'/'q': wait for the next byte
        if (!IsFrameStart2(first, held_[pos + 1])) {
            // A partial upload-end notice waits for its rest; bytes that stop matching
            // it go on as they came, and so does a whole one with whatever came after
            // it, unless a frame or another notice follows: a response sent just after
            // the notice, read with it, must not be lost inside the notice's block.
            const bool notice = MatchesNotice(&held_[pos], avail);
            if (notice && avail < kNoticeLength) break;
            if (notice && avail > kNoticeLength) {
                const std::size_t next = pos + kNoticeLength;
                const std::size_t after = avail - kNoticeLength;
                if (after == 1 && IsFrameStart1(held_[next])) break;   // the next byte decides
                if (after >= 2 && (IsFrameStart2(held_[next], held_[next + 1]) || MatchesNotice(&held_[next], after))) {
                    const auto begin = held_.begin() + static_cast<std::ptrdiff_t>(pos);
                    blocks.emplace_back(begin, begin + static_cast<std::ptrdiff_t>(kNoticeLength));
                    pos = next;
                    continue;
                }
            }
            handOnRest();
            break;
        }
        if (avail < kHeaderLength) break;              // length field not here yet
        const std::size_t length = static_cast<std::size_t>(held_[pos + 10]) * 256u + held_[pos + 11];
        const std::size_t total = kFrameOverhead + length;
        if (avail < total) break;                      // the rest of the frame is still to come
        const auto begin = held_.begin() + static_cast<std::ptrdiff_t>(pos);
        blocks.emplace_back(begin, begin + static_cast<std::ptrdiff_t>(total));
        pos += total;
    }
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(pos));
    if (held_.size() > limit_) {
        // A partial frame may not grow without bound: hand on what is held.
        blocks.push_back(std::move(held_));
        held_.clear();
    }
    return blocks;
}

Bytes StreamCutter::flush() {
    Bytes out = std::move(held_);
    held_.clear();
    return out;
}

}  // namespace ht6630
