// CRC-16/MODBUS throughput: the table loop against the plain bitwise loop, same run.
// The ratio shows in the two bytes_per_second figures of each size.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

#include "protocol/Frame.h"

namespace {

ht6630::Bytes RandomBytes(std::size_t n) {
    std::mt19937 rng(12345);
    ht6630::Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

void BM_Crc16Table(benchmark::State& state) {
    const auto data = RandomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ht6630::Crc16Modbus(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc16Bitwise(benchmark::State& state) {
    const auto data = RandomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ht6630::Crc16ModbusBitwise(data));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// A whole request frame (16 bytes) as the consoles build it.
void BM_MakeFrameRequest(benchmark::State& state) {
    const ht6630::Bytes payload{0x04, 0x3C};
    for (auto _ : state) benchmark::DoNotOptimize(ht6630::MakeFrame_Request(0x0A, "02012345678901", 2, payload));
}

// Both loops over the same buffer, timed in turn; the counter "speedup" is how many
// times faster the table loop is than the bitwise loop.
void BM_Crc16Speedup(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const auto data = RandomBytes(static_cast<std::size_t>(state.range(0)));
    constexpr int kTableRounds = 16;
    Clock::duration table{}, bitwise{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (int i = 0; i < kTableRounds; ++i) benchmark::DoNotOptimize(ht6630::Crc16Modbus(data));
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(ht6630::Crc16ModbusBitwise(data));
        const auto t2 = Clock::now();
        table += t1 - t0;
        bitwise += t2 - t1;
    }
    const double tablePerRound = std::chrono::duration<double>(table).count() / kTableRounds;
    const double bitwiseTotal = std::chrono::duration<double>(bitwise).count();
    state.counters["speedup"] = tablePerRound > 0 ? bitwiseTotal / tablePerRound : 0.0;
}

}  // namespace

BENCHMARK(BM_Crc16Speedup)->Arg(1024)->Arg(32 * 1024);
BENCHMARK(BM_Crc16Table)->Arg(1024)->Arg(32 * 1024);
BENCHMARK(BM_Crc16Bitwise)->Arg(1024)->Arg(32 * 1024);
BENCHMARK(BM_MakeFrameRequest);
