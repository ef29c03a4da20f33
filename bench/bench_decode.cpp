// Decoding speed of a full room-temperature upload and a full heat-meter frame.
#include <benchmark/benchmark.h>

#include "protocol/Frame.h"
#include "protocol/Upload.h"

namespace {

using ht6630::Bytes;

Bytes UploadFrame(unsigned records) {
    Bytes p = {0x10, 0x02, 0x13, 0x80, 0x01, 0x23, 0x45, 0x67, 0x89, 0x01, 0x70,
               0x24, 0x05, 0x06, 0x09, 0x03, 0x00, 0x0F,
               static_cast<std::uint8_t>(records >> 8), static_cast<std::uint8_t>(records)};
    for (unsigned j = 0; j < records; ++j) {
        int temp = -200 + static_cast<int>(j) * 13;
        unsigned humi = 300 + j * 7;
        p.push_back(static_cast<std::uint8_t>((temp >> 8) & 0xFF));
        p.push_back(static_cast<std::uint8_t>(temp & 0xFF));
        p.push_back(static_cast<std::uint8_t>(humi >> 8));
        p.push_back(static_cast<std::uint8_t>(humi & 0xFF));
    }
    return ht6630::MakeFrame_Request(0x2C, "02012345678901", static_cast<int>(p.size()), p);
}

Bytes HeatMeterFrame(unsigned records) {
    Bytes p = {0x00, 0x00, 0x03, 0x05, static_cast<std::uint8_t>(records)};
    for (unsigned i = 0; i < records; ++i) {
        Bytes m(59, 0x00);
        m[0] = 0x68;
        const std::uint8_t addr[] = {0x78, 0x56, 0x34, 0x12, static_cast<std::uint8_t>(i)};
        std::copy(addr, addr + 5, m.begin() + 2);
        m[9] = 0x81;
        const std::uint8_t values[] = {0x50, 0x34, 0x12, 0x00, 0, 0x00, 0x00, 0x13, 0x00, 0,
                                       0x00, 0x50, 0x00, 0x00, 0, 0x00, 0x25, 0x01, 0x00, 0,
                                       0x00, 0x00, 0x99, 0x00, 0x37, 0x45, 0x00, 0x12, 0x40, 0x00,
                                       0x34, 0x12, 0x00, 0x00, 0x30, 0x08, 0x17, 0x05, 0x24, 0x20,
                                       0x05};
        std::copy(values, values + sizeof values, m.begin() + 15);
        unsigned sum = 0;
        for (int k = 0; k <= 56; ++k) sum += m[static_cast<std::size_t>(k)];
        m[57] = static_cast<std::uint8_t>(sum);
        m[58] = 0x16;
        p.push_back(static_cast<std::uint8_t>(i + 1));
        p.push_back(0x00);
        p.push_back(0x00);
        p.insert(p.end(), m.begin(), m.end());
    }
    return ht6630::MakeFrame_Request(0x2C, "02012345678901", static_cast<int>(p.size()), p);
}

void BM_DealData_Upload_48Records(benchmark::State& state) {
    const Bytes frame = UploadFrame(48);
    std::size_t chars = 0;
    for (auto _ : state) {
        std::string text = ht6630::DealData_Upload(frame);
        chars += text.size();
        benchmark::DoNotOptimize(text);
    }
    state.counters["chars"] = static_cast<double>(chars) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DealData_Upload_48Records);

void BM_DealData_HeatMeter_3Records(benchmark::State& state) {
    const Bytes frame = HeatMeterFrame(3);
    std::size_t chars = 0;
    for (auto _ : state) {
        std::string text = ht6630::DealData_HeatMeter(frame, "14:03:27");
        chars += text.size();
        benchmark::DoNotOptimize(text);
    }
    state.counters["chars"] = static_cast<double>(chars) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DealData_HeatMeter_3Records);

}  // namespace
