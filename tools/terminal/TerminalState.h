#pragma once
// One simulated HT6630-QN terminal: its parameters, its clock, its answers to the
// configuration requests and the frames it sends of its own accord.
#include <QDateTime>

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/Bytes.h"

namespace sim {

using ht6630::ByteView;
using ht6630::Bytes;

struct Params {
    std::string barCode = "2012345678901";
    std::array<std::uint8_t, 4> ip{127, 0, 0, 1};
    std::uint16_t port = 2020;
    std::array<std::uint8_t, 4> spareIp{127, 0, 0, 1};
    std::uint16_t sparePort = 2021;
    std::uint16_t acquisition = 15;   // minutes
    std::uint16_t upload = 60;        // minutes
    std::uint8_t comm = 0;            // 0 TCP, 1 UDP
    std::uint8_t heartbeat = 60;      // seconds
    std::uint8_t silenceFlag = 0xAA;  // 0xAA off, 0x55 on
    std::array<std::uint8_t, 4> silence{11, 15, 3, 15};  // start month/day, end month/day
    std::uint8_t fwMajor = 1, fwMinor = 5;
    std::int16_t temperature = 235;   // tenths of a degree
    std::uint16_t humidity = 456;     // tenths of a per cent
    std::uint16_t battery = 368;      // hundredths of a volt
    std::string phone = "13800138000";
    std::uint8_t sleepChoice = 1;     // 1 sleep now, 2 upload now
};

// Names accepted by --set, with a one-line description each (for --help).
const char* SetHelp();

class TerminalState {
public:
    TerminalState();

    Params p;
    bool clockRuns = true;

    // Applies NAME=VALUE; an error text when the name or value is not accepted.
    std::optional<std::string> set(std::string_view name, std::string_view value);

    std::string address() const { return "0" + p.barCode; }

    // The clock as six BCD bytes: year (two digits), month, day, hour, minute, second.
    std::array<std::uint8_t, 6> clockBcd() const;
    void setClockBcd(const std::array<std::uint8_t, 6>& bcd);

    struct Answer {
        std::optional<Bytes> response;   // unset: no answer
        std::string ignored;             // why there is no answer
        std::string op;                  // operation name of the request, when known
        bool uploadNow = false;          // the request chose "upload now"
    };
    // A complete "QV" request frame (no preamble). Checks start bytes, terminator,
    // CRC and address, applies writes, and builds the response.
    Answer handleRequest(ByteView frame);

    // Terminal-initiated frames.
    Bytes registration() const;
    Bytes heartbeatFrame() const;
    // A room-temperature upload with `records` records of the synthetic curve.
    Bytes upload(int records);
    // An upload of `records` records whatever its size, built without the builders'
    // size limit (for the oversized fault).
    Bytes rawUpload(int records);
    // A heat-meter upload holding k records; with overcount it announces one more
    // record than it holds (the last one cut short).
    Bytes heatUpload(int k, bool overcount);
    Bytes uploadEnd() const;

    int phase = 0;   // offsets the synthetic curve between terminals

private:
    Bytes uploadPayload(int records);
    QDateTime clockBase_;
    qint64 clockSetAtMs_ = 0;
    std::optional<std::array<std::uint8_t, 6>> rawClock_;   // not a valid date: kept as set
    long sample_ = 0;
    long heatCounter_ = 0;
};

// The 59-byte meter data frame of heat meter `i` (0x68 … 0x81 … checksum 0x16).
Bytes MeterFrame(int i, long counter, const std::array<std::uint8_t, 6>& clock);

// Frame assembly without the builders' limits (CRC correct).
Bytes AssembleFrame(bool reply, int code, std::string_view address, ByteView payload);

}  // namespace sim
