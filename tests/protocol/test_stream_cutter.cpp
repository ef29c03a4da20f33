// Cutting the TCP byte stream into the blocks the dialogue handles.
#include <gtest/gtest.h>

#include "protocol/Frame.h"
#include "protocol/StreamCutter.h"

namespace ht6630 {
namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kRegistration = MakeFrame_Request(0x01, "02012345678901", 0, {});
Bytes Upload() {
    Bytes p(24, 0x00);
    p[0] = 0x10;
    p[1] = 0x02;
    p[19] = 0x01;   // one record
    return MakeFrame_Request(0x2C, "02012345678901", static_cast<int>(p.size()), p);
}
const Bytes kResponse = MakeFrame_Reply(0x7A, "02012345678901", 3, Bytes{0x0A, 0x04, 0x00});
const Bytes kNotice{0x71, 0x05, 0x02, 0x00, 0xAB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST(StreamCutter, WholeFrameGivesExactlyThatBlock) {
    StreamCutter c;
    for (const Bytes& f : {kRegistration, Upload(), kResponse}) {
        auto blocks = c.feed(f);
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(blocks[0], f);
        EXPECT_FALSE(c.holding());
    }
    EXPECT_TRUE(c.feed({}).empty());
    EXPECT_TRUE(c.flush().empty());
}

TEST(StreamCutter, CoalescedFramesAreSplit) {
    StreamCutter c;
    const Bytes up = Upload();
    auto blocks = c.feed(Cat({kRegistration, up}));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], kRegistration);
    EXPECT_EQ(blocks[1], up);
    // Three frames and half of a fourth: three blocks, the half held.
    blocks = c.feed(Cat({kResponse, kRegistration, kResponse, Bytes(up.begin(), up.begin() + 20)}));
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[2], kResponse);
    EXPECT_EQ(c.heldBytes(), 20u);
    blocks = c.feed(Bytes(up.begin() + 20, up.end()));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], up);
}

TEST(StreamCutter, OneBytePieces) {
    StreamCutter c;
    const Bytes stream = Cat({kRegistration, Upload(), kResponse});
    std::vector<Bytes> got;
    std::vector<std::size_t> completedAt;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        for (auto& b : c.feed(ByteView(&stream[i], 1))) {
            got.push_back(std::move(b));
            completedAt.push_back(i + 1);
        }
    }
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], kRegistration);
    EXPECT_EQ(got[1], Upload());
    EXPECT_EQ(got[2], kResponse);
    // Each block leaves the moment its last byte arrives.
    EXPECT_EQ(completedAt[0], kRegistration.size());
    EXPECT_EQ(completedAt[1], kRegistration.size() + Upload().size());
    EXPECT_EQ(completedAt[2], stream.size());
    EXPECT_FALSE(c.holding());
}

TEST(StreamCutter, OtherBytesAreHandedOnAsTheyCame) {
    StreamCutter c;
    // Garbage, then a frame, in one arrival: one block, as it came.
    const Bytes garbage{0x00, 0xFE, 0x68, 0x01};
    auto blocks = c.feed(Cat({garbage, kRegistration}));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], Cat({garbage, kRegistration}));
    // Garbage alone, then the frame in its own arrival: two blocks.
    blocks = c.feed(garbage);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], garbage);
    blocks = c.feed(kRegistration);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], kRegistration);
    // A frame followed by garbage: the frame, then the rest as one block.
    blocks = c.feed(Cat({kResponse, garbage}));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], kResponse);
    EXPECT_EQ(blocks[1], garbage);
    // 'Q' followed by something other than 'V' is not a frame start.
    blocks = c.feed(Bytes{0x51, 0x57, 0x00});
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], (Bytes{0x51, 0x57, 0x00}));
    blocks = c.feed(Bytes{0x71, 0x56, 0x00});   // 'q' 'V' mixed: not a frame start either
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_FALSE(c.holding());
}

TEST(StreamCutter, UploadEndNoticeAfterAnUpload) {
    StreamCutter c;
    const Bytes up = Upload();
    auto blocks = c.feed(Cat({up, kNotice}));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], up);
    EXPECT_EQ(blocks[1], kNotice);
    // The notice arriving whole: handed on at once.
    blocks = c.feed(kNotice);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], kNotice);
    // Its first byte 'q' alone at the end of an arrival waits for the next byte.
    blocks = c.feed(Cat({kResponse, Bytes{0x71}}));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(c.heldBytes(), 1u);
    blocks = c.feed(Bytes(kNotice.begin() + 1, kNotice.end()));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], kNotice);
}

TEST(StreamCutter, SplitUploadEndNoticeIsHeldUntilWhole) {
    for (std::size_t k = 1; k < kNotice.size(); ++k) {
        SCOPED_TRACE(k);
        StreamCutter c;
        EXPECT_TRUE(c.feed(ByteView(kNotice.data(), k)).empty());
        EXPECT_EQ(c.heldBytes(), k);
        auto blocks = c.feed(ByteView(kNotice.data() + k, kNotice.size() - k));
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(blocks[0], kNotice);
        EXPECT_FALSE(c.holding());
    }
    // After an upload in the same arrival: the upload goes on, the notice's head waits.
    StreamCutter c;
    const Bytes up = Upload();
    auto blocks = c.feed(Cat({up, Bytes(kNotice.begin(), kNotice.begin() + 3)}));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], up);
    EXPECT_EQ(c.heldBytes(), 3u);
    // A quiet connection hands on the partial notice as it is.
    EXPECT_EQ(c.flush(), Bytes(kNotice.begin(), kNotice.begin() + 3));
    EXPECT_FALSE(c.holding());
}

TEST(StreamCutter, BytesThatStopMatchingTheNoticeGoOnAsTheyCame) {
    StreamCutter c;
    EXPECT_TRUE(c.feed(Bytes{0x71, 0x05}).empty());
    auto blocks = c.feed(Bytes{0x03, 0x00});
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], (Bytes{0x71, 0x05, 0x03, 0x00}));
    EXPECT_FALSE(c.holding());
    // Mismatch at the last notice byte, in one arrival.
    blocks = c.feed(Bytes{0x71, 0x05, 0x02, 0x00, 0xAC, 0x01});
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], (Bytes{0x71, 0x05, 0x02, 0x00, 0xAC, 0x01}));
    EXPECT_FALSE(c.holding());
}

// A request sent as the terminal sends its upload-end notice is answered at once:
// notice and response can be read together, and the response must come out whole.
TEST(StreamCutter, FrameAfterAWholeNoticeIsCutOff) {
    StreamCutter c;
    auto blocks = c.feed(Cat({kNotice, kResponse}));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], kNotice);
    EXPECT_EQ(blocks[1], kResponse);
    // Its first byte alone waits for the second; other trailing bytes stay with the notice.
    EXPECT_TRUE(c.feed(Cat({kNotice, Bytes{0x71}})).empty());
    blocks = c.feed(Bytes(kResponse.begin() + 1, kResponse.end()));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1], kResponse);
    blocks = c.feed(Cat({kNotice, Bytes{0x00, 0x0D}}));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], Cat({kNotice, Bytes{0x00, 0x0D}}));
}

TEST(StreamCutter, PartialHeaderWaits) {
    StreamCutter c;
    // Eleven bytes of a frame: its length is not known yet.
    EXPECT_TRUE(c.feed(ByteView(kResponse.data(), 11)).empty());
    EXPECT_EQ(c.heldBytes(), 11u);
    // The twelfth tells the length; still incomplete.
    EXPECT_TRUE(c.feed(ByteView(kResponse.data() + 11, 1)).empty());
    auto blocks = c.feed(ByteView(kResponse.data() + 12, kResponse.size() - 12));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], kResponse);
}

TEST(StreamCutter, FlushHandsOnWhatIsHeld) {
    StreamCutter c;
    const Bytes up = Upload();
    EXPECT_TRUE(c.feed(Bytes(up.begin(), up.begin() + 30)).empty());
    EXPECT_TRUE(c.holding());
    EXPECT_EQ(c.flush(), Bytes(up.begin(), up.begin() + 30));
    EXPECT_FALSE(c.holding());
    EXPECT_TRUE(c.flush().empty());
    // After a flush the next frame starts afresh.
    auto blocks = c.feed(kRegistration);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], kRegistration);
}

TEST(StreamCutter, LimitBoundsWhatIsHeld) {
    StreamCutter c(64);
    // A header announcing 1000 payload bytes: held while at most 64 bytes are held.
    Bytes big = MakeFrame_Request(0x2C, "02012345678901", 1000, Bytes(1000, 0x11));
    EXPECT_TRUE(c.feed(ByteView(big.data(), 64)).empty());
    EXPECT_EQ(c.heldBytes(), 64u);
    auto blocks = c.feed(ByteView(big.data() + 64, 1));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], Bytes(big.begin(), big.begin() + 65));
    EXPECT_FALSE(c.holding());
    // The rest of that frame is then just bytes that do not start a frame.
    blocks = c.feed(ByteView(big.data() + 65, 100));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].size(), 100u);
    // A complete frame larger than the limit arriving whole is still one block.
    blocks = c.feed(big);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], big);
    // The default limit is 64 KiB: the largest frame (65,550 bytes) fed in pieces is
    // handed on once more than 65,536 bytes are held.
    StreamCutter d;
    Bytes header{0x51, 0x56, 0x2C, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    EXPECT_TRUE(d.feed(header).empty());
    Bytes chunk(4096, 0x22);
    std::size_t handed = 0;
    for (int i = 0; i < 17 && handed == 0; ++i) {
        for (auto& b : d.feed(chunk)) handed += b.size();
    }
    EXPECT_EQ(handed, 12u + 16u * 4096u);
    EXPECT_LE(d.heldBytes(), 64u * 1024u);
}

}  // namespace
}  // namespace ht6630
