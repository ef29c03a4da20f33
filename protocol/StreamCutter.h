#pragma once
// Cuts a TCP byte stream into the blocks the dialogue handles. A block that begins
// "QV" or "qv" ends after 15 + its length field bytes; other bytes are handed on as
// they came. The terminal's upload-end notice (15 bytes beginning 71 05 02 00 AB) is
// held until 15 bytes are there, then what is held goes on as it came. A partial
// frame or notice is held until its rest arrives, until the connection has been
// quiet for a while (the caller calls flush()), or until `limit` bytes are held;
// then what is held goes on as one block.
#include <cstddef>
#include <vector>

#include "protocol/Bytes.h"

namespace ht6630 {

class StreamCutter {
public:
    explicit StreamCutter(std::size_t limit = 64 * 1024);
    std::vector<Bytes> feed(ByteView data);   // blocks complete after this arrival, in order
    Bytes flush();                            // what is held, as one block (empty if nothing)
    bool holding() const { return !held_.empty(); }
    std::size_t heldBytes() const { return held_.size(); }
private:
    std::size_t limit_;
    Bytes held_;
};

}  // namespace ht6630
