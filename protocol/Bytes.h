#pragma once
// Byte arrays as the protocol routines pass them around.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ht6630 {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// "51 56 04" style: upper-case pairs separated by single spaces.
std::string ToHexSpaced(ByteView bytes);
// Two upper-case hex digits, leading zero kept ("05", "3A").
std::string Hex2(std::uint8_t b);
// Upper-case hex without leading zeros ("5", "3A", "0").
std::string HexNoPad(unsigned value);
// Parses hex text such as "51 56 04" or "515604" (blanks ignored).
// Returns false on an odd digit count or a non-hex character.
bool ParseHex(std::string_view text, Bytes& out);

}  // namespace ht6630
