// How much the timed loop adds to its own clock readings, and how the
// histogram and report scale with the number of samples.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "measure/sleep_sampling.h"
#include "report/report_text.h"

namespace {

constexpr uint32_t kLoopLimitMs = 60000;

// A clock read through a call, as timeGetTime is, that advances by one on
// every reading; its sleep does nothing, so what is left is the loop's own
// bookkeeping around the readings.
uint32_t gTicks = 0;

__attribute__((noinline)) uint32_t ReadTicks() {
    return ++gTicks;
}

struct TrivialClock {
    uint32_t Now() { return ReadTicks(); }
    void Sleep1() {}
};

// Passes the loop makes with TrivialClock: two readings a pass.
uint32_t PassesFor(uint32_t limitMs) {
    TrivialClock clock;
    return static_cast<uint32_t>(SampleSleeps(limitMs, clock).size());
}

void BM_SampleLoop(benchmark::State& state) {
    const uint32_t passes = PassesFor(kLoopLimitMs);
    for (auto _ : state) {
        TrivialClock clock;
        SampleBuffer samples = SampleSleeps(kLoopLimitMs, clock);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * passes);
}
BENCHMARK(BM_SampleLoop);

// The floor: the same buffer, the same two readings and one store a pass,
// without the sleep call and the stop test.
void BM_SampleLoopFloor(benchmark::State& state) {
    const uint32_t passes = PassesFor(kLoopLimitMs);
    for (auto _ : state) {
        TrivialClock clock;
        SampleBuffer samples(kLoopLimitMs);
        uint32_t* out = samples.data();
        for (uint32_t i = 0; i < passes; ++i) {
            const uint32_t before = clock.Now();
            const uint32_t after = clock.Now();
            out[i] = after - before;
        }
        samples.resize(passes);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * passes);
}
BENCHMARK(BM_SampleLoopFloor);

// Durations as a desktop machine gives them: mostly 1 and 2 ms, some 0,
// a tail up to a timer tick and a few long stalls.
SampleBuffer RealisticSamples(size_t count) {
    std::mt19937 random(20261208);
    std::discrete_distribution<int> bucket({6, 70, 18, 4, 1.5, 0.5});
    std::uniform_int_distribution<uint32_t> tail(3, 16);
    std::uniform_int_distribution<uint32_t> stall(17, 250);
    SampleBuffer samples(count);
    for (uint32_t& sample : samples) {
        switch (bucket(random)) {
        case 0: sample = 0; break;
        case 1: sample = 1; break;
        case 2: sample = 2; break;
        case 3: sample = 3; break;
        case 4: sample = tail(random); break;
        default: sample = stall(random); break;
        }
    }
    return samples;
}

void BM_HistogramAndReport(benchmark::State& state) {
    const SampleBuffer samples = RealisticSamples(static_cast<size_t>(state.range(0)));
    DelayHistogram histogram;
    for (auto _ : state) {
        BuildHistogram(samples, histogram);
        std::wstring text = BuildReportText(histogram);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["keys"] = static_cast<double>(histogram.size());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_HistogramAndReport)->Arg(60000)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

// Prints the usual table, then the figures the targets are stated in.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                // In nanoseconds, whatever unit the benchmark reports in.
                ns_[run.benchmark_name()] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintSummary() {
        const double loop = Ns("BM_SampleLoop");
        const double floor = Ns("BM_SampleLoopFloor");
        if (loop > 0 && floor > 0) {
            std::printf("sample loop / floor, per pass: %.3f  (target <= 1.10)\n", loop / floor);
        }
        const double small = Ns("BM_HistogramAndReport/60000");
        const double big = Ns("BM_HistogramAndReport/10000000");
        if (small > 0) {
            std::printf("histogram + report, 60,000 samples: %.1f us  (target < 1000 us)\n", small / 1000);
        }
        if (small > 0 && big > 0) {
            std::printf("10,000,000 / 60,000 samples: time x%.1f for samples x%.1f\n", big / small,
                        10000000.0 / 60000.0);
        }
    }

private:
    double Ns(const std::string& name) const {
        auto found = ns_.find(name);
        return found == ns_.end() ? 0 : found->second;
    }
    std::map<std::string, double> ns_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
