#pragma once
// A terminal's parameters as the operator enters them and as a response shows
// them, by meaning. Which control shows which is the parameter pages' business.
#include <array>
#include <optional>
#include <string>

namespace ht6630 {

// What the operator has entered, as texts exactly as typed (untrimmed).
struct FieldInputs {
    std::string barCode;                          // the terminal bar code
    std::array<std::string, 5> dataCentre;        // data centre: four octets, then the port
    std::array<std::string, 5> spareCentre;       // spare data centre, the same
    std::string acquisitionMinutes;               // acquisition interval
    std::string uploadMinutes;                    // upload interval
    int commType = 0;                             // 0 TCP, 1 UDP, -1 nothing selected
    std::string heartbeatSeconds;                 // heart-beat interval
    int silenceChoice = -1;                       // 0 off ("禁用"), 1 on ("启用"), -1 neither chosen
    std::array<std::string, 4> silenceDates;      // start month, start day, end month, end day
    int sleepChoice = 0;                          // 0 sleep now, 1 upload now, -1 neither chosen
    std::array<std::string, 6> clock;             // year, month, day, hour, minute, second
};

// What a decoded response shows; unset members are left alone.
struct FieldValues {
    std::optional<std::string> barCode;
    std::optional<std::array<std::string, 5>> dataCentre;
    std::optional<std::array<std::string, 5>> spareCentre;
    std::optional<std::string> temperature, humidity;
    std::optional<std::string> firmware, acquisitionMinutes, uploadMinutes, heartbeatSeconds;
    std::optional<int> commType;            // entry to select
    std::optional<int> silenceChoice;       // 0, 1, or -1 = leave both options unchosen
    std::optional<std::array<std::string, 4>> silenceDates;
    std::optional<std::array<std::string, 6>> clock;

    bool empty() const;
};

}  // namespace ht6630
