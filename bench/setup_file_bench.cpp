// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a setup from a file of about 1 MB, the largest one read: the same messages (other
// devices' System Exclusive, then the converter's) as binary .syx, as a Standard MIDI File and
// as hex text. The two other forms should take at most twice as long as .syx for their size.
#include "converter/ConverterSetup.h"
#include "converter/MidiFile.h"
#include "converter/SetupFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Other devices' messages of 64 bytes, then the setup's, as many as fit in `bytes`.
std::vector<Bytes> Messages(std::size_t bytes) {
    const ConverterSetup setup{3, 54, true, true, 74};
    std::vector<Bytes> messages;
    Bytes other(64, 0x11);
    other.front() = 0xF0;
    other[1] = 0x41;
    other.back() = 0xF7;
    for (std::size_t total = 0; total + 2 * other.size() < bytes; total += other.size())
        messages.push_back(other);
    for (const auto& message : setup.messages())
        messages.push_back(message);
    return messages;
}

Bytes Syx(const std::vector<Bytes>& messages) {
    Bytes all;
    for (const Bytes& message : messages)
        all.insert(all.end(), message.begin(), message.end());
    return all;
}

Bytes HexText(const std::vector<Bytes>& messages) {
    Bytes text;
    for (const Bytes& message : messages) {
        for (const std::uint8_t byte : message) {
            char digits[4];
            std::snprintf(digits, sizeof digits, "%02X ", byte);
            text.insert(text.end(), digits, digits + 3);
        }
        text.back() = '\n';
    }
    return text;
}

void Read(benchmark::State& state, const Bytes& file) {
    for (auto _ : state) {
        const SetupFileContents read = ParseSetupFile(file, ConverterSetup{});
        if (!read.error.empty()) {
            state.SkipWithError(read.error.c_str());
            break;
        }
        benchmark::DoNotOptimize(read.setup);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

void BM_ReadSyx(benchmark::State& state) {
    Read(state, Syx(Messages(kMaxSetupFileBytes)));
}
BENCHMARK(BM_ReadSyx)->Unit(benchmark::kMillisecond);

void BM_ReadMidiFile(benchmark::State& state) {
    Read(state, MidiFileOf(Messages(kMaxSetupFileBytes * 9 / 10)));
}
BENCHMARK(BM_ReadMidiFile)->Unit(benchmark::kMillisecond);

void BM_ReadHexText(benchmark::State& state) {
    Read(state, HexText(Messages(kMaxSetupFileBytes / 3)));
}
BENCHMARK(BM_ReadHexText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
