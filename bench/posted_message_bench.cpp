// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of PostMessageA and of one posted message's trip from another thread to the window
// procedure, beside a Qt queued call measured the same way in the same run.
#include "await.h"
#include "platform/win32.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

void reportLatencies(benchmark::State& state, std::vector<double>& microseconds) {
    if (microseconds.empty())
        return;
    std::sort(microseconds.begin(), microseconds.end());
    state.counters["median_us"] = microseconds[microseconds.size() / 2];
    state.counters["p99_us"] = microseconds[microseconds.size() * 99 / 100];
}

// A thread that, each time it is asked, stamps the time and runs `send`.
template <typename Send>
class Poster {
  public:
    explicit Poster(Send send) : send_(send), thread_([this] { run(); }) {}
    ~Poster() {
        stop_.store(true);
        thread_.join();
    }
    void fire() { requests_.fetch_add(1, std::memory_order_release); }

  private:
    void run() {
        int served = 0;
        while (!stop_.load()) {
            if (requests_.load(std::memory_order_acquire) > served) {
                ++served;
                send_(nowNs());
            } else {
                std::this_thread::yield();
            }
        }
    }

    Send send_;
    std::atomic<int> requests_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void BM_PostMessageA(benchmark::State& state) {
    platform::MessageWindow window([](HWND, UINT, WPARAM, LPARAM) { return LRESULT{0}; });
    int posted = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PostMessageA(window.handle(), WM_USER, 1, 2));
        if (++posted == 5000) {
            state.PauseTiming();
            while (platform::PumpMessages(0) > 0) {
            }
            posted = 0;
            state.ResumeTiming();
        }
    }
    while (platform::PumpMessages(0) > 0) {
    }
}
BENCHMARK(BM_PostMessageA);

void BM_QtQueuedCallPost(benchmark::State& state) {
    QObject receiver;
    int posted = 0;
    for (auto _ : state) {
        QMetaObject::invokeMethod(
            &receiver, [] {}, Qt::QueuedConnection);
        if (++posted == 5000) {
            state.PauseTiming();
            QCoreApplication::processEvents();
            posted = 0;
            state.ResumeTiming();
        }
    }
    QCoreApplication::processEvents();
}
BENCHMARK(BM_QtQueuedCallPost);

void BM_PostedMessageTrip(benchmark::State& state) {
    std::vector<double> latencies;
    bool arrived = false;
    std::int64_t sentAt = 0;
    platform::MessageWindow window([&](HWND, UINT, WPARAM, LPARAM lParam) {
        sentAt = lParam;
        arrived = true;
        return LRESULT{0};
    });
    HWND target = window.handle();
    Poster poster([target](std::int64_t stamp) { PostMessageA(target, WM_USER, 0, stamp); });
    for (auto _ : state) {
        arrived = false;
        poster.fire();
        if (!Await(
                state, "the posted message", [&] { return arrived; }, 1,
                [] { platform::PumpMessages(10); }))
            break;
        const double us = static_cast<double>(nowNs() - sentAt) / 1000.0;
        latencies.push_back(us);
        state.SetIterationTime(us / 1e6);
    }
    reportLatencies(state, latencies);
}
BENCHMARK(BM_PostedMessageTrip)->UseManualTime()->Iterations(20000);

void BM_QtQueuedCallTrip(benchmark::State& state) {
    std::vector<double> latencies;
    QObject receiver;
    bool arrived = false;
    std::int64_t sentAt = 0;
    Poster poster([&](std::int64_t stamp) {
        QMetaObject::invokeMethod(
            &receiver,
            [&, stamp] {
                sentAt = stamp;
                arrived = true;
            },
            Qt::QueuedConnection);
    });
    // Wakes the waiting event loop now and then, so that the wait's deadline is seen.
    QTimer wake;
    wake.start(100);
    for (auto _ : state) {
        arrived = false;
        poster.fire();
        if (!Await(
                state, "the queued call", [&] { return arrived; }, 1,
                [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }))
            break;
        const double us = static_cast<double>(nowNs() - sentAt) / 1000.0;
        latencies.push_back(us);
        state.SetIterationTime(us / 1e6);
    }
    reportLatencies(state, latencies);
}
BENCHMARK(BM_QtQueuedCallTrip)->UseManualTime()->Iterations(20000);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
