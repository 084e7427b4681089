// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of the MIDI layers run against the built-in virtual ports.
#include <benchmark/benchmark.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("RDN417_MIDI_BACKEND", "virtual", 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
