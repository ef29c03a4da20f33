// Lines per second the traffic-log panel appends, with auto-clear on and off.
// With auto-clear off the text grows without bound: the cost of a line must not
// grow with the text already held (100,000 lines in one run).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>

#include <cstdio>

#include "ui/LogTextBox.h"
#include "ui/TrafficLogPanel.h"

namespace {
const QByteArray kFrame = QByteArray::fromHex("5156049999999999999900010" "0e2100d");
const QByteArray kPreamble = QByteArray(201, '\0') + kFrame;

void BM_AppendAutoClearOn(benchmark::State& state) {
    TrafficLogPanel panel;
    for (auto _ : state) panel.append(kFrame, true);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AppendAutoClearOn);

void BM_AppendPreambleFrame(benchmark::State& state) {
    TrafficLogPanel panel;
    for (auto _ : state) panel.append(kPreamble, true);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AppendPreambleFrame);

// Auto-clear off: `range(0)` lines per run, the text growing all the while.
void BM_AppendAutoClearOff(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto* panel = new TrafficLogPanel;
        panel->CheckClear()->setChecked(false);
        state.ResumeTiming();
        for (int64_t i = 0; i < state.range(0); ++i) panel->append(kFrame, (i & 1) != 0);
        state.PauseTiming();
        if (panel->txtBaoWen()->length() < state.range(0) * 60) state.SkipWithError("lines lost");
        delete panel;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AppendAutoClearOff)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The last 10,000 of 100,000 lines cost about as much as the first 10,000.
void BM_LateLinesCostLikeEarlyOnes(benchmark::State& state) {
    for (auto _ : state) {
        TrafficLogPanel panel;
        panel.CheckClear()->setChecked(false);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 10000; ++i) panel.append(kFrame, true);
        const double first = double(t.nsecsElapsed());
        for (int i = 0; i < 80000; ++i) panel.append(kFrame, true);
        t.restart();
        for (int i = 0; i < 10000; ++i) panel.append(kFrame, true);
        const double last = double(t.nsecsElapsed());
        state.counters["last_over_first"] = last / first;
    }
}
BENCHMARK(BM_LateLinesCostLikeEarlyOnes)->Unit(benchmark::kMillisecond)->Iterations(1);
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
