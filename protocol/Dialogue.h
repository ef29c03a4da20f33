#pragma once
// The data-centre dialogue with terminals, as a pure function: one received block
// in, the ordered list of things the data centre must do out. The TCP and UDP
// engines execute the list; only the executor waits (each Reply waits its delay first).
#include <cstddef>
#include <string>
#include <vector>

#include "protocol/Bytes.h"
#include "protocol/Fields.h"
#include "protocol/Readings.h"

namespace ht6630::dialogue {

enum class Channel { Tcp, Udp };

// What the handling reads from the data centre when the block arrives.
struct ConsoleState {
    bool handshaken = false;         // a terminal has registered or uploaded
    bool pendingSetting = false;     // a request waits for the next upload end
    bool configMode = true;          // configuration mode (requests leave at once), else sleep mode
    std::string termAddr;            // the address replies carry
    std::string pendingOperation;    // the operation requested last (its Chinese name)
    std::string terminalBarCode;     // the terminal bar code as shown now
    std::string currentTerminal;     // the terminal requests go to
};

// Local date and time when the block is handled (0x9C acknowledgement, heat-meter lines).
struct LocalTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

struct Action {
    enum class Kind {
        LogReceived,        // the traffic log shows `bytes` (the whole block) as received
        ShowStatus,         // the status line = text
        ClearPendingOperation,  // pending operation = ""
        SetPendingOperation,    // pending operation = text (not used by the handling itself)
        ShowParameters,     // show `fields` (a response's decoded parameters)
        ShowTerminalBarCode,// terminal bar code = text
        SetCurrentTerminal, // current terminal = text
        SetTermAddr,        // the reply address = text
        SetConnectionBarCode, // TCP: the connection's registered bar code = text
        MarkOnline,         // TCP: text joins the online list unless there; leaves the offline list once
        NetLog,             // TCP: a network-log line
        SetHandshaken,      // handshaken = true
        ShowUpload,         // the decoded upload: its text (and values, below)
        Reply,              // wait delaySeconds, send `bytes` to the peer, log them as sent
        SendPendingFrame,   // wait delaySeconds, send the pending request, log it as sent
        ClearPendingSetting,// pending setting = false
        RenameCurrentTerminal, // TCP after 0x73: online entries equal to the current terminal
                            // replaced by the terminal bar code, which becomes the current terminal
    };
    Kind kind;
    std::string text;
    Bytes bytes;
    FieldValues fields;
    double delaySeconds = 0.0;
    // ShowUpload of a room-temperature upload: its values.
    std::optional<RoomUpload> roomUpload;
    // ShowUpload of heat-meter records: the terminal's bar code and the records.
    std::string heatBarCode;
    std::vector<HeatMeterRecord> heatRecords;
};

inline constexpr double kReplyDelay = 1.0;
inline constexpr double kUdpPendingDelay = 0.1;
// The UDP count is a 16-bit signed number: a longer datagram is only logged as received.
inline constexpr std::size_t kMaxUdpDatagram = 32767;

// Handles one received block. Never reads past the block.
std::vector<Action> HandleBlock(Channel channel, ByteView block, const ConsoleState& state,
                                const LocalTime& now);

// Pieces of the handling, exposed for the consoles' tests and tools.
// 0x9C acknowledgement of a room-temperature upload: yy mm dd hh mm ss as BCD, then
// 0x01 in configuration mode, 0x00 otherwise.
Bytes UploadAckPayload(const LocalTime& now, bool configMode);
// 0x9C acknowledgement of heat-meter records: 03 05 k, then the tags of the k records
// the block holds completely (k = the announced count when the block holds them all).
Bytes HeatMeterAckPayload(ByteView block);
// "hh:mm:ss" of `now`.
std::string TimeOfDayText(const LocalTime& now);
// The enumerator's name ("Reply", "ShowStatus", ...), for logs and test messages.
const char* KindName(Action::Kind kind);

}  // namespace ht6630::dialogue
