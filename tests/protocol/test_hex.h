#pragma once
// Bytes from hex text ("51 56 01 …"), as the protocol tests write their frames.
#include <gtest/gtest.h>

#include <string_view>

#include "protocol/Bytes.h"

namespace ht6630::testing {

inline Bytes Hex(std::string_view text) {
    Bytes out;
    EXPECT_TRUE(ParseHex(text, out)) << text;
    return out;
}

}  // namespace ht6630::testing
