#pragma once
// The data-centre dialogue with terminals, as a pure function: one received block
// in, the ordered list of things the console must do out. The TCP and UDP consoles
// execute the list; only the executor waits (each Reply waits its delay first).
#include <cstddef>
#include <string>
#include <vector>

#include "protocol/bytes.h"
#include "protocol/fields.h"
#include "protocol/readings.h"

namespace ht6630::dialogue {

enum class Channel { Tcp, Udp };

// What the handling reads from the console when the block arrives.
struct ConsoleState {
    bool Handshaken = false;
    bool PendingSetting = false;
    bool ConfigMode = true;          // opMode(0) "配置模式" chosen
    std::string TermAddr;
    std::string OpName;
    std::string txtBarCode;          // current text of the bar-code field
    std::string TxtDQID;             // current text of the current-bar-code field
};

// Local date and time when the block is handled (0x9C acknowledgement, heat-meter lines).
struct LocalTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

struct Action {
    enum class Kind {
        LogReceived,        // ShowBaoWen(bytes, RX); `bytes` holds the whole block
        SetStatus,          // LblInf = text
        ClearOpName,        // OpName = ""
        SetOpName,          // OpName = text (not used by the handling itself; for completeness)
        SetFields,          // write `fields` into the parameter pages
        SetBarCodeText,     // txtBarCode = text
        SetTxtDQID,         // TxtDQID = text
        SetTermAddr,        // TermAddr = text
        SetClientBarCode,   // TCP: ClientBarCode(connection index) = text
        MarkOnline,         // TCP: append text to List1 unless present; remove first equal entry of List2
        NetLog,             // TCP: WriteNetLog(text) into frmInfo
        SetHandshaken,      // Handshaken = True
        AppendDataReceive,  // DataReceive text += text
        Reply,              // wait delaySeconds, log `bytes` as TX, RecvLen = 0, send `bytes` to the peer
        SendPendingFrame,   // wait delaySeconds, log PendingFrame as TX, RecvLen = 0, send PendingFrame
        ClearPendingSetting,// PendingSetting = False
        BarCodeUpdate,      // TCP after 0x73: List1 entries equal to TxtDQID removed (last to first),
                            // txtBarCode's text appended; then TxtDQID = txtBarCode's text
    };
    Kind kind;
    std::string text;
    Bytes bytes;
    FieldValues fields;
    double delaySeconds = 0.0;
    // AppendDataReceive of a room-temperature upload: its values.
    std::optional<RoomUpload> roomUpload;
    // AppendDataReceive of heat-meter records: the terminal's bar code and the records.
    std::string heatBarCode;
    std::vector<HeatMeterRecord> heatRecords;
};

inline constexpr double kReplyDelay = 1.0;
inline constexpr double kUdpPendingDelay = 0.1;
// The UDP count is a 16-bit signed number: a longer datagram is only logged as received.
inline constexpr std::size_t kMaxUdpDatagram = 32767;

// Handles one block (RecvBuf/RecvLen). Never reads past the block.
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
// The enumerator's name ("Reply", "SetStatus", ...), for logs and test messages.
const char* KindName(Action::Kind kind);

}  // namespace ht6630::dialogue
