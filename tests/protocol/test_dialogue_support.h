#pragma once
// Frame builders and an action printer shared by the dialogue tests.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "protocol/Bytes.h"
#include "protocol/Dialogue.h"
#include "protocol/Frame.h"
#include "test_hex.h"

namespace ht6630::dialogue::test_support {

inline constexpr LocalTime kNow{2024, 5, 17, 8, 30, 5};
inline constexpr std::string_view kBarCode = "2012345678901";
inline constexpr std::string_view kAddr = "02012345678901";

using ht6630::testing::Hex;

inline std::string Describe(const FieldValues& f) {
    std::string s;
    auto put = [&](const char* name, const std::string& v) { s += std::string(" ") + name + "=" + v; };
    auto join = [](const auto& arr) {
        std::string j;
        for (const auto& x : arr) j += (j.empty() ? "" : ",") + x;
        return j;
    };
    if (f.barCode) put("txtBarCode", *f.barCode);
    if (f.dataCentre) put("txtIp", join(*f.dataCentre));
    if (f.spareCentre) put("txtSpareIp", join(*f.spareCentre));
    if (f.temperature) put("txtTemp", *f.temperature);
    if (f.humidity) put("txtHumi", *f.humidity);
    if (f.firmware) put("txtVer", *f.firmware);
    if (f.acquisitionMinutes) put("txtCJ", *f.acquisitionMinutes);
    if (f.uploadMinutes) put("txtSC", *f.uploadMinutes);
    if (f.commType) put("Combo1", std::to_string(*f.commType));
    if (f.heartbeatSeconds) put("txtHeartbeat", *f.heartbeatSeconds);
    if (f.silenceChoice) put("optEnabled", std::to_string(*f.silenceChoice));
    if (f.silenceDates) put("txtDate", join(*f.silenceDates));
    if (f.clock) put("Txtrq", join(*f.clock));
    return s;
}

// One line per action: kind, then what it carries. ShowUpload texts are long
// and are checked separately; the line shows only the kind.
inline std::string Describe(const Action& a) {
    std::string s = KindName(a.kind);
    switch (a.kind) {
    case Action::Kind::LogReceived:
        return s + " " + ToHexSpaced(a.bytes);
    case Action::Kind::Reply:
    case Action::Kind::SendPendingFrame: {
        char delay[32];
        std::snprintf(delay, sizeof delay, " %.1f", a.delaySeconds);
        s += delay;
        if (!a.bytes.empty()) s += " " + ToHexSpaced(a.bytes);
        return s;
    }
    case Action::Kind::ShowParameters:
        return s + Describe(a.fields);
    case Action::Kind::ShowUpload:
    case Action::Kind::SetHandshaken:
    case Action::Kind::ClearPendingOperation:
    case Action::Kind::ClearPendingSetting:
    case Action::Kind::RenameCurrentTerminal:
        return s;
    default:
        return s + " " + a.text;
    }
}

inline std::vector<std::string> Describe(const std::vector<Action>& actions) {
    std::vector<std::string> out;
    for (const auto& a : actions) out.push_back(Describe(a));
    return out;
}

// The actions after the intake's received line and its emptied status line.
inline std::vector<std::string> AfterIntake(Channel ch, const Bytes& block, const ConsoleState& st,
                                            const LocalTime& now = kNow) {
    auto all = Describe(HandleBlock(ch, block, st, now));
    EXPECT_GE(all.size(), 2u);
    if (all.size() < 2) return all;
    EXPECT_EQ(all[0], "LogReceived " + ToHexSpaced(block));
    EXPECT_EQ(all[1], "ShowStatus ");
    return {all.begin() + 2, all.end()};
}

inline std::vector<std::string> AppendedTexts(const std::vector<Action>& actions) {
    std::vector<std::string> out;
    for (const auto& a : actions)
        if (a.kind == Action::Kind::ShowUpload) out.push_back(a.text);
    return out;
}

inline Bytes Request(int code, std::string_view addr, const Bytes& payload) {
    return MakeFrame_Request(code, addr, static_cast<int>(payload.size()), payload);
}

// A response frame ("qv") of exactly `total` bytes: code, sub-code at B(15) and
// `fields` from B(16) on, padded with zeros.
inline Bytes Response(int code, std::size_t total, int sub = -1, const Bytes& fields = {}) {
    Bytes payload(total >= 15 ? total - 15 : 0, 0x00);
    if (sub >= 0 && payload.size() > 3) payload[3] = static_cast<std::uint8_t>(sub);
    for (std::size_t i = 0; i < fields.size() && 4 + i < payload.size(); ++i) payload[4 + i] = fields[i];
    return MakeFrame_Reply(code, kAddr, static_cast<int>(payload.size()), payload);
}

// Room-temperature upload: type 10 02, phone, battery, time, interval, count, records.
inline Bytes RoomUpload(std::string_view addr, const Bytes& phone, const std::vector<Bytes>& records) {
    Bytes p{0x10, 0x02};
    p.insert(p.end(), phone.begin(), phone.end());
    for (std::uint8_t b : Hex("01 70 24 05 17 08 30 00 0F")) p.push_back(b);
    p.push_back(static_cast<std::uint8_t>(records.size() >> 8));
    p.push_back(static_cast<std::uint8_t>(records.size() & 0xFF));
    for (const auto& r : records) p.insert(p.end(), r.begin(), r.end());
    return Request(0x2C, addr, p);
}

// One 62-byte heat-meter record (tag, two unread bytes, a valid 59-byte meter frame).
inline Bytes MeterRecord(std::uint8_t tag) {
    Bytes m = Hex("68 20 78 56 34 12 00 00 00 81 00 00 00 00 00 50 34 12 00 00 00 00 13 00 00"
                  " 00 50 00 00 00 00 25 01 00 00 00 00 99 00 50 45 00 00 40 00 34 12 00"
                  " 00 30 08 17 05 24 20 05 00");
    unsigned sum = 0;
    for (std::uint8_t b : m) sum += b;
    m.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    m.push_back(0x16);
    Bytes r{tag, 0x00, 0x00};
    r.insert(r.end(), m.begin(), m.end());
    return r;
}

// Heat-meter upload: B(12) B(13) as given, 03 05, the announced count, the records.
inline Bytes HeatUpload(std::string_view addr, std::uint8_t announced, const std::vector<Bytes>& records,
                        std::uint8_t b12 = 0x00, std::uint8_t b13 = 0x00) {
    Bytes p{b12, b13, 0x03, 0x05, announced};
    for (const auto& r : records) p.insert(p.end(), r.begin(), r.end());
    return Request(0x2C, addr, p);
}

}  // namespace ht6630::dialogue::test_support
