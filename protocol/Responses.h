#pragma once
// Turning response frames back into the values the consoles show.
#include <optional>
#include <string>

#include "protocol/Bytes.h"
#include "protocol/Catalogue.h"
#include "protocol/Fields.h"

namespace ht6630 {

// Fields of a catalogue response, read at the catalogue offsets (B(i) = block[i]).
// Returns nullopt when the block is shorter than the bytes the decoding reads.
// Acknowledgements (0x73, 0x75, 0x77, 0x7A) give empty FieldValues.
std::optional<FieldValues> DecodeResponseFields(Op op, ByteView block);

// Number formats used when showing values.
std::string FormatTenths(int tenths);               // 235 -> "23.5", 250 -> "25", -100 -> "-10"
std::string FormatVersion(std::uint8_t major, std::uint8_t minor);  // "V1.05"
int SignedBigEndian16(std::uint8_t high, std::uint8_t low);

}  // namespace ht6630
