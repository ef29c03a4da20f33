// Arbitrary blocks and console states through the dialogue, on both channels.
// Checks, besides the sanitizers: the intake comes first, the block is never read
// past its end, and each channel emits only the actions that belong to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

// The protocol library is built without coverage instrumentation; compiling the code
// under test into this program lets the fuzzer see its branches. The library's copy
// is then never pulled from the archive.
#include "protocol/Dialogue.cpp"

using namespace ht6630;
using namespace ht6630::dialogue;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

std::string TakeText(const std::uint8_t*& data, std::size_t& size) {
    if (size == 0) return {};
    std::size_t n = data[0] % 20;
    ++data;
    --size;
    if (n > size) n = size;
    std::string s(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t bits = data[0];
    const Channel channel = (bits & 1) ? Channel::Udp : Channel::Tcp;
    ConsoleState st;
    st.handshaken = bits & 2;
    st.pendingSetting = bits & 4;
    st.configMode = bits & 8;
    LocalTime now{1990 + data[1] % 120, 1 + data[2] % 12, 1 + data[3] % 31, data[1] % 24,
                  data[2] % 60, data[3] % 60};
    data += 4;
    size -= 4;
    if (bits & 16) {
        st.pendingOperation = TakeText(data, size);
        st.currentTerminal = TakeText(data, size);
        st.terminalBarCode = TakeText(data, size);
        st.termAddr = TakeText(data, size);
    }
    // The block lives in its own allocation, so reading past it is caught.
    Bytes block(data, data + size);
    const auto actions = HandleBlock(channel, ByteView(block.data(), block.size()), st, now);

    Check(!actions.empty());
    Check(actions[0].kind == Action::Kind::LogReceived && actions[0].bytes == block);
    if (channel == Channel::Udp && block.size() > kMaxUdpDatagram) {
        Check(actions.size() == 1);
        return 0;
    }
    Check(actions.size() >= 2 && actions[1].kind == Action::Kind::ShowStatus && actions[1].text.empty());
    int replies = 0;
    for (std::size_t i = 1; i < actions.size(); ++i) {
        const Action& a = actions[i];
        Check(a.kind != Action::Kind::LogReceived && a.kind != Action::Kind::SetPendingOperation);
        if (channel == Channel::Udp) {
            Check(a.kind != Action::Kind::MarkOnline && a.kind != Action::Kind::NetLog &&
                  a.kind != Action::Kind::SetConnectionBarCode && a.kind != Action::Kind::RenameCurrentTerminal);
        } else {
            Check(a.kind != Action::Kind::SetCurrentTerminal);
        }
        if (a.kind == Action::Kind::Reply) {
            ++replies;
            Check(a.delaySeconds == kReplyDelay);
            Check(a.bytes.size() == 5 || a.bytes.size() >= 15);
        }
        if (a.kind == Action::Kind::SendPendingFrame) {
            Check(st.pendingSetting && !st.configMode);
            Check(a.delaySeconds == (channel == Channel::Udp ? kUdpPendingDelay : kReplyDelay));
        }
        if (a.kind == Action::Kind::ClearPendingSetting) Check(st.pendingSetting);
    }
    Check(replies <= 2);
    if (block.size() <= 14) Check(actions.size() == 4);
    return 0;
}
