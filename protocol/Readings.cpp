#include "protocol/Readings.h"

#include <chrono>
#include <cstdio>

#include "protocol/Frame.h"

namespace ht6630 {

namespace {

constexpr std::size_t kHeaderEnd = 32;   // the record count ends at offset 31

unsigned BigEndian16(ByteView f, std::size_t at) { return static_cast<unsigned>(f[at]) * 256u + f[at + 1]; }

std::optional<int> FromBcd(std::uint8_t b) {
    if ((b >> 4) > 9 || (b & 0x0F) > 9) return std::nullopt;
    return (b >> 4) * 10 + (b & 0x0F);
}

// yy mm dd hh mm as BCD; empty when any is no BCD or the date does not exist.
std::optional<CivilTime> UploadTime(ByteView f) {
    int v[5];
    for (std::size_t i = 0; i < 5; ++i) {
        const auto d = FromBcd(f[23 + i]);
        if (!d) return std::nullopt;
        v[i] = *d;
    }
    const std::chrono::year_month_day date{std::chrono::year(2000 + v[0]), std::chrono::month(unsigned(v[1])),
                                           std::chrono::day(unsigned(v[2]))};
    if (!date.ok() || v[3] > 23 || v[4] > 59) return std::nullopt;
    return CivilTime{2000 + v[0], v[1], v[2], v[3], v[4], 0};
}

CivilTime MinutesEarlier(const CivilTime& t, long long minutes) {
    using namespace std::chrono;
    const sys_days day = year_month_day{year(t.year), month(unsigned(t.month)), std::chrono::day(unsigned(t.day))};
    const sys_time<std::chrono::minutes> at = day + hours(t.hour) + std::chrono::minutes(t.minute) -
                                              std::chrono::minutes(minutes);
    const sys_days d = floor<days>(at);
    const year_month_day ymd{d};
    const auto rest = duration_cast<std::chrono::minutes>(at - d).count();
    return CivilTime{int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), int(rest / 60),
                     int(rest % 60), 0};
}

}  // namespace

std::string IsoText(const CivilTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

std::optional<RoomUpload> DecodeRoomUpload(ByteView f) {
    if (f.size() < kHeaderEnd) return std::nullopt;
    RoomUpload u;
    u.barCode = BarCodeFromAddress(f.subspan(3, 7));
    for (std::size_t i = 14; i < 21; ++i) u.phone += Hex2(f[i]);
    u.batteryCentivolts = static_cast<int>(BigEndian16(f, 21));
    u.uploadTime = UploadTime(f);
    u.intervalMinutes = static_cast<int>(BigEndian16(f, 28));
    u.announcedCount = static_cast<int>(BigEndian16(f, 30));
    // Only records the frame holds completely; the count is not trusted.
    const std::size_t held = std::min<std::size_t>(static_cast<std::size_t>(u.announcedCount),
                                                   (f.size() - kHeaderEnd) / 4);
    u.records.reserve(held);
    for (std::size_t j = 0; j < held; ++j) {
        const std::size_t at = kHeaderEnd + 4 * j;
        RoomRecord r;
        int temp = static_cast<int>(BigEndian16(f, at));
        if (temp >= 0x8000) temp -= 0x10000;
        r.temperatureTenths = temp;
        r.humidityTenths = static_cast<int>(BigEndian16(f, at + 2));
        if (u.uploadTime) {
            const long long older = static_cast<long long>(u.announcedCount) - 1 - static_cast<long long>(j);
            r.time = MinutesEarlier(*u.uploadTime, older * u.intervalMinutes);
        }
        u.records.push_back(r);
    }
    return u;
}

}  // namespace ht6630
