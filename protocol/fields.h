#pragma once
// The console fields that requests read and responses fill, by their control names.
#include <array>
#include <optional>
#include <string>

namespace ht6630 {

// What the operator has entered, as texts exactly as typed (untrimmed).
struct FieldInputs {
    std::string txtBarCode;
    std::array<std::string, 5> txtIp;       // four octets, then the port
    std::array<std::string, 5> txtSpareIp;
    std::string txtCJ;                      // acquisition interval, minutes
    std::string txtSC;                      // upload interval, minutes
    int Combo1 = 0;                         // 0 "TCP", 1 "UDP", -1 nothing selected
    std::string txtHeartbeat;               // seconds
    int optEnabled = -1;                    // 0 "禁用", 1 "启用", -1 neither chosen
    std::array<std::string, 4> txtDate;     // start month, start day, end month, end day
    int opSleep = 0;                        // 0 "立即休眠", 1 "立即上传", -1 neither chosen
    std::array<std::string, 6> Txtrq;       // year, month, day, hour, minute, second
};

// What a decoded response writes into the console; unset members are left alone.
struct FieldValues {
    std::optional<std::string> txtBarCode;
    std::optional<std::array<std::string, 5>> txtIp;
    std::optional<std::array<std::string, 5>> txtSpareIp;
    std::optional<std::string> txtTemp, txtHumi;
    std::optional<std::string> txtVer, txtCJ, txtSC, txtHeartbeat;
    std::optional<int> Combo1;              // entry to select
    std::optional<int> optEnabled;          // 0, 1, or -1 = leave both options unchosen
    std::optional<std::array<std::string, 4>> txtDate;
    std::optional<std::array<std::string, 6>> Txtrq;

    bool empty() const;
};

}  // namespace ht6630
