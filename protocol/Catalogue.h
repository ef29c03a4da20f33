#pragma once
// The command catalogue: the fifteen configuration requests, their value checks,
// payloads and expected responses. Texts are UTF-8.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/Bytes.h"
#include "protocol/Fields.h"

namespace ht6630 {

enum class Op {
    ReadBarCode, SetBarCode, ReadIp, SetIp, ReadSpareIp, SetSpareIp, ReadLive, ReadAll,
    SetAcquisition, SetUpload, SetCommType, SetHeartbeat, SetSilence, SetSleep, SetClock
};

struct CatalogueEntry {
    Op op;
    std::string_view name;          // the operation name, e.g. "设置心跳包时间间隔"
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
// SetBarCode, whose value is the bar code entered.
PayloadResult BuildPayload(Op op, const FieldInputs& in);

// "0" followed by the trimmed bar code: the address string of a terminal.
std::string TerminalAddress(std::string_view barCodeText);

// Number of characters of a UTF-8 text (each multi-byte sequence counts once),
// as the consoles count the length of a typed bar code.
std::size_t CharacterCount(std::string_view text);

// The check of a bar code that serves as the target address: an empty text (no
// characters) fails with `emptyMessage`; a trimmed text that is not 13 characters
// long fails with "条形码应该为13位". Error icon, application title.
std::optional<CheckFailure> CheckTargetBarCode(std::string_view barCodeText, std::string_view emptyMessage);

// The serial console's text for an empty target bar code: "请先读取或输入条形码" for
// SetCommType and SetClock, "请输入条形码" for the others; empty for ReadBarCode and
// SetBarCode, which are sent to the bar-code address and check no target.
std::string_view EmptyTargetMessage(Op op);

// True for the two bar-code commands, which go to "99999999999999".
bool UsesBarCodeAddress(Op op);

// The address string of a request: "99999999999999" for the bar-code commands,
// else TerminalAddress(targetBarCode).
std::string RequestAddress(Op op, std::string_view targetBarCode);

}  // namespace ht6630
