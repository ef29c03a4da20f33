#pragma once
// The command catalogue: the fifteen configuration requests, their value checks,
// payloads and expected responses. Texts are UTF-8.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/bytes.h"
#include "protocol/fields.h"

namespace ht6630 {

enum class Op {
    ReadBarCode, SetBarCode, ReadIp, SetIp, ReadSpareIp, SetSpareIp, ReadLive, ReadAll,
    SetAcquisition, SetUpload, SetCommType, SetHeartbeat, SetSilence, SetSleep, SetClock
};

struct CatalogueEntry {
    Op op;
    std::string_view name;          // the OpName, e.g. "设置心跳包时间间隔"
    std::string_view button;        // e.g. "cmdHear"
    std::uint8_t functionCode;
    int requestLength;              // n of the request payload
    int responseLength;             // ExpectLen: the whole response frame
    std::uint8_t responseCode;      // functionCode + 0x70
};

const std::array<CatalogueEntry, 15>& Catalogue();
const CatalogueEntry& Entry(Op op);
// By operation name or button name; nullptr when unknown.
const CatalogueEntry* FindEntry(std::string_view nameOrButton);

enum class MsgIcon { None, Critical, Exclamation, Information, Question };

// A failed value check: the message box the console shows. When useAppTitle is set
// the box carries the application's title (the console's constant), else `title`.
struct CheckFailure {
    std::string text;
    std::string title;
    MsgIcon icon = MsgIcon::Critical;
    bool useAppTitle = true;
};

struct PayloadResult {
    std::optional<CheckFailure> failure;   // set: nothing may be sent
    Bytes payload;                         // request payload when no failure
};

// Runs the entry's value checks in their order, then builds the request payload.
// The bar-code checks of the target address belong to the consoles, except for
// SetBarCode, whose value is the bar code in txtBarCode.
PayloadResult BuildPayload(Op op, const FieldInputs& in);

// "0" followed by the trimmed bar code: the address string of a terminal.
std::string TerminalAddress(std::string_view barCodeText);

}  // namespace ht6630
