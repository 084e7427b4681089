// SPDX-License-Identifier: GPL-3.0-or-later
// Median and 99th percentile of latencies collected over a benchmark's iterations.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

class LatencyRecorder {
  public:
    using Clock = std::chrono::steady_clock;

    // Records one latency and makes it the iteration's time (for UseManualTime).
    void add(benchmark::State& state, Clock::time_point start) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        samples_.push_back(seconds * 1e6);
        state.SetIterationTime(seconds);
    }

    void report(benchmark::State& state) {
        if (samples_.empty())
            return;
        std::sort(samples_.begin(), samples_.end());
        state.counters["median_us"] = samples_[samples_.size() / 2];
        state.counters["p99_us"] = samples_[samples_.size() * 99 / 100];
    }

  private:
    std::vector<double> samples_;
};
