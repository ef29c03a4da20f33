#include "protocol/FrameDescription.h"

#include <algorithm>

#include "protocol/Catalogue.h"
#include "protocol/FieldNames.h"
#include "protocol/Frame.h"
#include "protocol/Responses.h"
#include "protocol/Upload.h"

namespace ht6630 {

namespace {

void Line(std::string& out, std::string_view key, std::string_view value) {
    out += key;
    out += '=';
    out += value;
    out += '\n';
}

std::string Hex4(unsigned v) { return Hex2(static_cast<std::uint8_t>(v >> 8)) + Hex2(static_cast<std::uint8_t>(v)); }

// The catalogue entry of a request, found by its function code (and the selector
// byte, the first payload byte, for the set-parameter command 0x0A).
const CatalogueEntry* RequestEntry(std::uint8_t code, ByteView payload) {
    for (const CatalogueEntry& e : Catalogue()) {
        if (e.functionCode != code) continue;
        if (code != 0x0A) return &e;
        if (payload.empty()) return nullptr;
        // Selectors 01..07 name the parameters in catalogue order.
        static constexpr Op kBySelector[] = {Op::SetAcquisition, Op::SetUpload,  Op::SetCommType,
                                             Op::SetHeartbeat,   Op::SetSilence, Op::SetSleep,
                                             Op::SetClock};
        std::uint8_t sel = payload[0];
        if (sel < 1 || sel > 7) return nullptr;
        return &Entry(kBySelector[sel - 1]);
    }
    return nullptr;
}

void ListFields(std::string& out, const FieldValues& f) {
    for (const auto& [name, value] : NamedFieldValues(f)) Line(out, name, value);
}

void DescribeTerminalFrame(std::string& out, ByteView f) {
    const std::uint8_t code = f[2];
    if (code == 0x2C) {
        // Bytes beyond the frame count as "test not met".
        const bool room = f.size() > 13 && f[12] == 0x10 && f[13] == 0x02;
        const bool heat = f.size() > 15 && f[14] == 0x03 && f[15] == 0x05;
        if (room) {
            out += "kind=room-temperature upload\n";
        } else if (heat) {
            out += "kind=heat-meter upload\n";
        } else {
            out += "kind=upload\n";
        }
        return;
    }
    if (code == 0x01) {
        out += "kind=registration\n";
        return;
    }
    if (code == 0x02) {
        out += "kind=heart beat\n";
        return;
    }
    out += "kind=request\n";
}

// Everything after the header lines of a terminal-initiated or request frame.
void DescribeTerminalBody(std::string& out, ByteView f, ByteView payload) {
    const std::uint8_t code = f[2];
    if (code == 0x01 || code == 0x02) return;
    if (code == 0x2C) {
        const bool room = f.size() > 13 && f[12] == 0x10 && f[13] == 0x02;
        const bool heat = f.size() > 15 && f[14] == 0x03 && f[15] == 0x05;
        if (!room && !heat) {
            Line(out, "payload", ToHexSpaced(payload));
            return;
        }
        if (room) {
            // A frame that is both is handled as both by the consoles.
            if (heat) Line(out, "also", "heat-meter upload");
            out += DealData_Upload(f);
        }
        if (heat) {
            Line(out, "records", std::to_string(f.size() > 16 ? f[16] : 0));
            out += DealData_HeatMeter(f, "00:00:00");
        }
        return;
    }
    const CatalogueEntry* e = RequestEntry(code, payload);
    if (e) {
        Line(out, "operation", e->name);
        Line(out, "button", e->button);
    } else {
        Line(out, "operation", "unknown");
    }
    Line(out, "payload", ToHexSpaced(payload));
}

void DescribeResponseBody(std::string& out, ByteView f, ByteView payload) {
    const std::uint8_t code = f[2];
    if (code == 0x71 || code == 0x72 || code == 0x9C) {
        Line(out, "answers", code == 0x71 ? "registration" : code == 0x72 ? "heart beat" : "upload");
        if (code == 0x9C && payload.size() == 7) {
            std::string clock = Hex2(payload[0]) + "-" + Hex2(payload[1]) + "-" + Hex2(payload[2]) + " " +
                                Hex2(payload[3]) + ":" + Hex2(payload[4]) + ":" + Hex2(payload[5]);
            Line(out, "clock", clock);
            Line(out, "mode", Hex2(payload[6]));
        }
        Line(out, "payload", ToHexSpaced(payload));
        return;
    }
    // Catalogue responses: the response code names the entry (0x7A serves seven of them).
    const CatalogueEntry* entry = nullptr;
    for (const CatalogueEntry& e : Catalogue()) {
        if (e.responseCode == code) {
            entry = &e;
            break;
        }
    }
    if (!entry) {
        if ((code == 0x7B || code == 0x7C) && f.size() > 15) Line(out, "sub-code", Hex2(f[15]));
        Line(out, "operation", "unknown");
        Line(out, "payload", ToHexSpaced(payload));
        return;
    }
    if (f.size() != static_cast<std::size_t>(entry->responseLength)) {
        Line(out, "response-length",
             "mismatch (expected " + std::to_string(entry->responseLength) + ", found " +
                 std::to_string(f.size()) + ")");
    }
    auto fields = DecodeResponseFields(entry->op, f);
    if (!fields) {
        Line(out, "operation", entry->name);
        Line(out, "fields", "missing (frame too short)");
        return;
    }
    if (fields->empty()) {
        if (code != 0x7A) Line(out, "operation", entry->name);
        Line(out, "ack", Hex2(code));
        return;
    }
    Line(out, "operation", entry->name);
    ListFields(out, *fields);
}

}  // namespace

std::string DescribeFrame(ByteView f) {
    std::string out;
    const std::size_t n = f.size();

    // A request behind the wake-up preamble: describe the frame after it.
    if (n >= static_cast<std::size_t>(kPreambleLength) + kFrameOverhead &&
        std::all_of(f.begin(), f.begin() + kPreambleLength, [](std::uint8_t b) { return b == 0; }) &&
        f[kPreambleLength] != 0) {
        std::string inner = DescribeFrame(f.subspan(kPreambleLength));
        auto firstEnd = inner.find('\n');
        return inner.substr(0, firstEnd + 1) + "preamble=" + std::to_string(kPreambleLength) + "\n" +
               inner.substr(firstEnd + 1);
    }

    // Bare five-byte frames of the upload-end exchange.
    if (n == 5 && f[0] == 0x51 && f[2] == 0x02 && f[4] == 0xAB) {
        if (f[3] == 0x00 && (f[1] == 0x05 || f[1] == 0x06 || f[1] == 0x07)) {
            out += "kind=upload-end answer\n";
            Line(out, "code", Hex2(f[1]));
            Line(out, "answer", f[1] == 0x05   ? "no setting"
                                : f[1] == 0x06 ? "setting follows"
                                               : "configuration mode");
            return out;
        }
        if (f[1] == 0x06 && f[3] == 0xAA) {
            out += "kind=setting follow-up\n";
            return out;
        }
    }

    const bool qvStart = n >= 2 && f[0] == kRequestStart1 && f[1] == kRequestStart2;
    const bool replyStart = n >= 2 && f[0] == kReplyStart1 && f[1] == kReplyStart2;
    const bool ends = n > 0 && f[n - 1] == kTerminator;

    if ((qvStart || replyStart) && ends && n >= static_cast<std::size_t>(kFrameOverhead)) {
        // The payload as the frame holds it: between the length field and the CRC.
        ByteView payload = f.subspan(12, n - kFrameOverhead);
        const unsigned declared = f[10] * 256u + f[11];
        if (qvStart) {
            DescribeTerminalFrame(out, f);
        } else {
            const std::uint8_t code = f[2];
            out += (code == 0x71 || code == 0x72 || code == 0x9C) ? "kind=reply\n" : "kind=response\n";
        }
        Line(out, "code", Hex2(f[2]));
        std::string address;
        for (std::size_t i = 3; i < 10; ++i) address += Hex2(f[i]);
        Line(out, "address", address);
        Line(out, "barcode", BarCodeFromAddress(f.subspan(3, 7)));
        if (declared == payload.size()) {
            Line(out, "length", std::to_string(declared));
        } else {
            Line(out, "length", "mismatch (declared " + std::to_string(declared) + ", frame holds " +
                                    std::to_string(payload.size()) + ")");
        }
        const unsigned expected = Crc16_Received(f);
        const unsigned found = f[n - 3] + 256u * f[n - 2];
        if (expected == found) {
            Line(out, "crc", "ok");
        } else {
            Line(out, "crc", "mismatch (expected " + Hex4(expected) + ", found " + Hex4(found) + ")");
        }
        if (qvStart) {
            DescribeTerminalBody(out, f, payload);
        } else {
            DescribeResponseBody(out, f, payload);
        }
        return out;
    }

    if (n >= 5 && f[0] == 0x71 && f[1] == 0x05 && f[2] == 0x02 && f[3] == 0x00 && f[4] == 0xAB) {
        out += "kind=upload-end notice\n";
        Line(out, "length", std::to_string(n));
        return out;
    }
    if (n >= 3 && f[1] == 0xFE && f[2] == 0x68) {
        out += "kind=ignored\n";
        Line(out, "length", std::to_string(n));
        return out;
    }
    out += "kind=unknown\n";
    Line(out, "length", std::to_string(n));
    if (n == 0) {
        Line(out, "reason", "no bytes");
    } else if ((qvStart || replyStart) && ends) {
        Line(out, "reason", "shorter than the 15 bytes of a frame");
    } else {
        Line(out, "reason", "start or end bytes not recognised");
    }
    return out;
}

}  // namespace ht6630
